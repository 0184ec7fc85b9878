#include "mapping/CsvExport.h"

#include <windows.h>

#include <optional>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/FileReplace.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

constexpr wchar_t kProposedFile[] = L"c:\\CredentialsMap.csv";
constexpr wchar_t kFilter[] = L"*.CSV";
// Fixed, never translated: other programs read the file by these names.
constexpr wchar_t kHeader[] = L"Domain, AD_Alias, Velto_Alias";

CsvFileWriter g_writer = nullptr;

// A field as written: unchanged, or, when it holds a comma, a double quote, a CR or an LF,
// in double quotes with inner quotes doubled, so that every line reads back as three fields.
std::wstring CsvField(std::wstring_view text)
{
    if (text.find_first_of(L",\"\r\n") == std::wstring_view::npos)
        return std::wstring(text);
    return Enclose(text, L'"', L'"');
}

void WriteCsv(const GridModel& grid, const std::wstring& target)
{
    std::wstring text = kHeader;
    text += L"\r\n";
    const int domainCol = grid.ColIndex(kKeyADDomain);
    const int aliasCol = grid.ColIndex(kKeyADAlias);
    const int veltoCol = grid.ColIndex(kKeyVeltoAlias);
    const int rows = grid.Rows();
    for (int row = 1; row < rows; ++row) {
        text += CsvField(grid.TextMatrix(row, domainCol));
        text += L',';
        text += CsvField(grid.TextMatrix(row, aliasCol));
        text += L',';
        text += CsvField(grid.TextMatrix(row, veltoCol));
        text += L"\r\n";
    }
    WriteFileReplacing(target, ToAnsi(text), g_writer);
}

}  // namespace

void SetCsvFileWriter(CsvFileWriter writer) { g_writer = writer; }

void ExportGridToCsv(const GridModel& grid, IDialogs& dialogs)
{
    StepRunner step([&dialogs](const Error& error) {
        dialogs.Message(TrapMessage(myLoadResString(IDS_ERROR_PREFIX), error, L"mnuExportToCSV_Click", L"frmMain"),
                        kAppTitle, MB_OK);
    });

    if (grid.Rows() < 2) {
        step([&] { dialogs.Message(myLoadResString(IDS_NO_MAPPINGS_TO_EXPORT), kAppTitle, MB_OK); });
        return;
    }

    // Cancel, and any failure while asking, ends the export without a word.
    std::optional<std::wstring> target;
    StepRunner silently;
    silently([&] {
        SaveFileRequest request;
        request.title = myLoadResString(IDS_EXPORT_DIALOG_TITLE);
        request.fileName = kProposedFile;
        request.filter = kFilter;
        // An administrator expects to be asked before a file is replaced.
        request.flags |= OFN_OVERWRITEPROMPT;
        target = dialogs.SaveFile(request);
    });
    if (!target)
        return;

    if (step([&] { WriteCsv(grid, *target); }))
        step([&] { dialogs.Message(myLoadResString(IDS_OUTPUT_COMPLETE), kAppTitle, MB_OK); });
}

}  // namespace vcm
