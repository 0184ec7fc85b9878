#include "mapping/CsvExport.h"

#include <windows.h>

#include <optional>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/Handles.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

constexpr wchar_t kProposedFile[] = L"c:\\CredentialsMap.csv";
constexpr wchar_t kFilter[] = L"*.CSV";
// Fixed, never translated: other programs read the file by these names.
constexpr wchar_t kHeader[] = L"Domain, AD_Alias, Velto_Alias";

CsvFileWriter g_writer = nullptr;

void WriteAll(HANDLE file, const std::string& bytes)
{
    if (const DWORD failure = g_writer ? g_writer(file, bytes) : WriteWhole(file, bytes))
        ThrowWin32(failure, L"WriteFile");
}

// A new file beside the target, in the same folder so that the final move is a rename.
// Owns the file until it has been moved into place; removes it otherwise.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::wstring& target)
    {
        const std::wstring stem = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
        for (unsigned attempt = 0;; ++attempt) {
            std::wstring name = stem + std::to_wstring(attempt) + L".tmp";
            m_file.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (m_file) {
                m_name = std::move(name);
                return;
            }
            const DWORD error = GetLastError();
            if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100)
                ThrowWin32(error, L"CreateFileW " + name);
        }
    }
    ~TemporaryFile()
    {
        m_file.reset();
        if (!m_name.empty())
            DeleteFileW(m_name.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    HANDLE get() const { return m_file.get(); }

    // Flushes, closes and moves the file over the target (replacing it).
    void Replace(const std::wstring& target)
    {
        if (!FlushFileBuffers(m_file.get()))
            ThrowLastError(L"FlushFileBuffers");
        m_file.reset();
        if (!MoveFileExW(m_name.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ThrowLastError(L"MoveFileExW " + target);
        m_name.clear();
    }

private:
    UniqueHandle m_file;
    std::wstring m_name;
};

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
    // A read-only target refuses the export, as it refuses being opened for writing; the
    // final rename alone would not tell (Wine's MoveFileExW replaces read-only files).
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ThrowWin32(ERROR_ACCESS_DENIED, L"GetFileAttributesW " + target);

    TemporaryFile file(target);
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
    WriteAll(file.get(), ToAnsi(text));
    file.Replace(target);
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
