#include "app/ReportCommand.h"

#include <windows.h>
#include <shellapi.h>

#include <initializer_list>

#include "VeltoCredentialsMapResCONST.h"
#include "app/StartupChecks.h"
#include "localize/modLocalize.h"
#include "mapping/MappingLoader.h"
#include "mapping/MappingReport.h"
#include "platform/ConsoleOutput.h"
#include "platform/Dialogs.h"
#include "platform/ErrorCodes.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/VeltoVersion.h"
#include "platform/mdlPriority.h"

namespace vcm {

namespace {

// A failure the administrator must hear about: on standard error, and in the log once it
// is open.
void Tell(ConsoleOutput& console, const std::wstring& text) noexcept
{
    console.Err(text);
    try {
        WriteLog(GeneralDateNow() + L": " + text);
    } catch (...) {
        // Out of memory for the log line: standard error has it.
    }
}

// Whatever would wait for a person in the window is told instead: the catalogue's and the
// language discovery's own error reports among them.
class ConsoleDialogs final : public IDialogs {
public:
    explicit ConsoleDialogs(ConsoleOutput& console) : m_console(console) {}
    int Message(const std::wstring& text, const std::wstring&, UINT) override
    {
        Tell(m_console, text);
        return IDOK;
    }
    std::optional<std::wstring> SaveFile(const SaveFileRequest&) override { return std::nullopt; }

private:
    ConsoleOutput& m_console;
};

// Puts AppDialogs back when the command ends, so that nothing is left pointing at it.
class DialogsScope {
public:
    explicit DialogsScope(IDialogs& dialogs) { SetAppDialogs(&dialogs); }
    ~DialogsScope() { SetAppDialogs(nullptr); }
    DialogsScope(const DialogsScope&) = delete;
    DialogsScope& operator=(const DialogsScope&) = delete;
};

// A catalogue text with %1, %2, ... replaced by the values.
std::wstring Format(int id, std::initializer_list<std::wstring> values)
{
    const std::wstring pattern = myLoadResString(id);
    std::wstring text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t n = i + 1 < pattern.size() ? static_cast<size_t>(pattern[i + 1] - L'1') : values.size();
        if (pattern[i] == L'%' && n < values.size()) {
            text += values.begin()[n];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

// "(error):5 (Access is denied.)", the number and description as the window reports them.
std::wstring ErrorText(const Error& error)
{
    return myLoadResString(IDS_ERROR_PREFIX) + std::to_wstring(error.Number()) + L" (" + error.Description() + L")";
}

bool IsSwitch(const std::wstring& argument, const wchar_t* name)
{
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           EqualsNoCase(std::wstring_view(argument).substr(1), name);
}

bool LooksLikeSwitch(const std::wstring& argument)
{
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-');
}

std::wstring Usage() { return Format(IDS_REPORT_USAGE, {ExeBaseName() + L".exe"}); }

void Fail(ConsoleOutput& console, int leadIn, const Error& error)
{
    Tell(console, myLoadResString(leadIn) + ErrorText(error));
}

// From the checks to the file; the window's start up to here has run.
int ProduceReport(const ReportCall& call, ConsoleOutput& console)
{
    StepRunner step([&](const Error& e) { Tell(console, ErrorText(e)); });
    if (const int refusal = CheckServer(step)) {
        console.Err(myLoadResString(refusal));
        return kReportFailed;
    }
    OpenLog(ActivityLogPath(), true);

    LoadSettings settings;
    settings.connection = kConnectionString;
    settings.major = gProductVersion.Major;
    settings.showOnlyCustom = call.onlyCustom;
    settings.showPrimary = !call.noPrimary;
    const MappingLoad load = LoadMappings(settings);
    if (load.report.mappingTable) {
        Fail(console, IDS_REPORT_READ_FAILED, *load.report.mappingTable);
        return kReportFailed;
    }
    // The rows of such accounts stay Unverified, which the exit code tells.
    if (load.report.accountLookup)
        Fail(console, IDS_REPORT_LOOKUP_FAILED, *load.report.accountLookup);

    ReportCounts counts;
    try {
        counts = WriteMappingReport(*load.model, call.notResolvedOnly, call.file);
    } catch (...) {
        Fail(console, IDS_REPORT_WRITE_FAILED, CurrentError());
        return kReportFailed;
    }
    console.Err(Format(IDS_REPORT_WRITTEN, {std::to_wstring(counts.rows), call.file, std::to_wstring(counts.deleted),
                                            std::to_wstring(counts.unverified)}));
    return ReportExitCode(counts);
}

int Run(const ReportCall& call, ConsoleOutput& console)
{
    DWORD priority = kBelowNormalPriority;
    SetProcessPriority(priority);
    InitalizeLanguages();

    switch (call.kind) {
    case ReportCall::Kind::Usage:
        console.Out(Usage());
        return 0;
    case ReportCall::Kind::UnknownSwitch:
        console.Err(myLoadResString(IDS_REPORT_UNKNOWN_SWITCH) + call.badArgument);
        console.Err(Usage());
        return kReportFailed;
    case ReportCall::Kind::NoFile:
        console.Err(myLoadResString(IDS_REPORT_NO_FILE));
        console.Err(Usage());
        return kReportFailed;
    case ReportCall::Kind::Report:
        break;
    }
    const int exitCode = ProduceReport(call, console);
    CloseLog();
    return exitCode;
}

}  // namespace

std::vector<std::wstring> CommandLineArguments()
{
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words)
        return {};
    std::vector<std::wstring> arguments(words + (count > 0 ? 1 : 0), words + count);
    LocalFree(words);
    return arguments;
}

ReportCall ParseReportCall(const std::vector<std::wstring>& arguments)
{
    ReportCall call;
    bool report = false;
    bool usage = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (IsSwitch(argument, L"?")) {
            usage = true;
        } else if (IsSwitch(argument, L"report") && !report) {
            report = true;
            if (i + 1 < arguments.size() && !LooksLikeSwitch(arguments[i + 1]) && !arguments[i + 1].empty())
                call.file = arguments[++i];
        } else if (IsSwitch(argument, L"deleted")) {
            call.notResolvedOnly = true;
        } else if (IsSwitch(argument, L"custom")) {
            call.onlyCustom = true;
        } else if (IsSwitch(argument, L"noprimary")) {
            call.noPrimary = true;
        } else if (call.kind != ReportCall::Kind::UnknownSwitch) {
            call.kind = ReportCall::Kind::UnknownSwitch;
            call.badArgument = argument;
        }
    }
    if (usage)
        call.kind = ReportCall::Kind::Usage;
    else if (call.kind != ReportCall::Kind::UnknownSwitch)
        call.kind = call.file.empty() ? ReportCall::Kind::NoFile : ReportCall::Kind::Report;
    return call;
}

int RunReportCommand(const ReportCall& call)
{
    ConsoleOutput console;
    ConsoleDialogs dialogs(console);
    const DialogsScope scope(dialogs);
    try {
        return Run(call, console);
    } catch (...) {
        Tell(console, ErrorText(CurrentError()));
        return kReportFailed;
    }
}

}  // namespace vcm
