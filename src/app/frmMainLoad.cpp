// frmMain's startup sequence and the mapping load it runs at startup and on F5, with the
// error reports both make.
#include "app/frmMain.h"

#include "app/StartupChecks.h"
#include "localize/modLocalize.h"
#include "app/MappingLoadWork.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"
#include "platform/ErrorCodes.h"
#include "platform/Logging.h"
#include "platform/StepRunner.h"
#include "platform/Twips.h"
#include "platform/VeltoVersion.h"
#include "platform/mdlPriority.h"
#include "resource.h"

namespace vcm {

namespace {

// The wait window stands this far below the main window's top edge.
constexpr double kSplashBelowTop = 1700.0;

}  // namespace

void frmMain::Form_Load()
{
    DWORD priority = kBelowNormalPriority;
    SetProcessPriority(priority);
    frmMain_Auto_Init();
    InitalizeLanguages();

    // From here an unexpected failure is reported and the sequence goes on with the next step.
    StepRunner step([this](const Error& e) { ReportUnexpected(e, L"Form_Load"); });

    if (const int refusal = CheckServer(step)) {
        m_dialogs.Message(myLoadResString(refusal), kAppTitle, MB_OK);
        EndProgram();
        return;
    }

    step([&] { m_connectionString = kConnectionString; });
    step([] { OpenLog(ActivityLogPath(), true); });
    step([&] { LoadMappings(); });
    ReportLoadProblems(L"Form_Load");
}

void frmMain::ReportUnexpected(const Error& error, std::wstring_view procedure)
{
    m_dialogs.Message(TrapMessage(L"(error):", error, procedure, L"frmMain"), kAppTitle, MB_OK);
}

// A mapping table that could not be read, or an account lookup that failed for another
// reason than a deleted account, would otherwise look like data: an empty grid, or
// accounts that seem deleted. Each is shown once, after the load has finished.
void frmMain::ReportLoadProblems(std::wstring_view procedure)
{
    const std::vector<Error> problems = std::move(m_loadProblems);
    m_loadProblems.clear();
    for (const Error& e : problems)
        ReportUnexpected(e, procedure);
}

void frmMain::LoadMappings()
{
    ++m_loadCount;
    m_loadProblems.clear();
    // Silent throughout: whatever fails, the pointer, the painting and the wait window are restored.
    StepRunner step;
    step([&] {
        m_busy = true;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    });
    step([&] {
        if (!m_splash.IsCreated())
            m_splash.Create(myLoadResString(IDS_GATHERING));
        RECT main = {};
        GetWindowRect(Hwnd(), &main);
        const double mainLeft = PixelsToTwips(Hwnd(), main.left);
        const double mainTop = PixelsToTwips(Hwnd(), main.top);
        const double mainWidth = PixelsToTwips(Hwnd(), main.right - main.left);
        m_splash.MoveTwips(mainWidth / 2 + mainLeft - m_splash.WidthTwips() / 2.0, mainTop + kSplashBelowTop);
    });
    step([&] { m_splash.ShowAndPaint(); });
    step([&] { m_grid.SetRedraw(0); });
    step([&] {
        LoadSettings settings;
        settings.connection = m_connectionString;
        settings.major = gProductVersion.Major;
        settings.showOnlyCustom = ShowOnlyCustomChecked();
        settings.showPrimary = ShowPrimaryChecked();
        settings.translate = m_translate;
        // The reads and lookups run on workers while this thread paints and shows the count;
        // the grid takes the finished rows here.
        LongWorkRunner runner(Hwnd());
        frmProgress noProgress;
        PrepareLongWork(runner, noProgress, LongWorkDisplay::WaitWindowCount);
        MappingLoad load = LoadMappingsOnWorkers(runner, settings);
        ShowMappings(m_grid, std::move(load.model));
        const LoadReport& report = load.report;
        if (report.mappingTable)
            m_loadProblems.push_back(*report.mappingTable);
        if (report.accountLookup)
            m_loadProblems.push_back(*report.accountLookup);
    });
    step([&] { m_grid.SetRedraw(2); });
    step([&] {
        m_busy = false;
        POINT pt;
        GetCursorPos(&pt);
        SetCursorPos(pt.x, pt.y);  // lets the window under the pointer set its own cursor again
        SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    });
    step([&] { m_splash.Hide(); });
}

}  // namespace vcm
