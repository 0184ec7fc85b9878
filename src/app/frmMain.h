// The main window: the mapping grid, the Exit button, the menus, the view options, the
// startup sequence run from its load, and the ways out of the program.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/LongWork.h"
#include "app/frmProgress.h"
#include "app/frmSplashScreen.h"
#include "mapping/AccountLookup.h"
#include "grid/GridModel.h"
#include "grid/GridView.h"
#include "platform/Dialogs.h"
#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {

class frmMain final : public Form {
public:
    // Command and control ids.
    enum : int {
        IDC_GRID = 100,
        IDC_CMDEXIT,
        IDM_EXPORT_TO_CSV = 200,
        IDM_EXIT,
        IDM_REMOVE_MAPPING,
        IDM_SHOW_ONLY_CUSTOM,
        IDM_SHOW_PRIMARY,
        IDM_SHOW_HELP,
        IDM_SHOW_ABOUT,
        IDM_RESTORE_REMOVED,
        IDM_SHOW_ACCOUNT_DETAILS,
        IDM_REMOVE_DELETED,
        // Keyboard commands without a menu item of their own.
        IDK_RELOAD = 300,
        IDK_COPY_ROW,
    };

    explicit frmMain(IDialogs& dialogs);
    ~frmMain() override;

    std::wstring_view Name() const override { return L"frmMain"; }

    // Creates the window hidden at its design size, centred on the screen, with its
    // controls and menus. Form_Load then runs the startup sequence; Show makes it visible.
    void Create();
    void Form_Load();
    void Show(int showCommand);

    void frmMain_Auto_Init();
    void LoadMappings();

    // Commands, one handler each.
    void mnuExportToCSV_Click();
    void mnuRestoreRemoved_Click();
    void mnuRemoveMapping_Click();
    void mnuRemoveDeletedAccounts_Click();
    void mnuShowOnlyCustom_Click();
    void mnuShowPrimary_Click();
    void mnuShowAccountDetails_Click();
    void mnuShowHelp_Click();
    void mnuShowAbout_Click();
    void mnuExit_Click();
    void cmdExit_Click();
    void myGrid_MouseDown(int button, int shift, int x, int y);
    // The Edit menu as a popup at x, y in the grid's client pixels.
    void ShowEditPopup(int x, int y);
    void Form_Resize();
    // Puts the selected row on the clipboard (Ctrl+C, Ctrl+Insert).
    void CopySelectedRow();

    GridModel& Grid() noexcept { return m_grid; }
    GridView& GridControl() noexcept { return m_gridView; }
    HWND ExitButton() const noexcept { return m_cmdExit; }
    bool ShowOnlyCustomChecked() const;
    bool ShowPrimaryChecked() const;
    const std::wstring& ConnectionString() const noexcept { return m_connectionString; }
    void SetConnectionString(std::wstring connection) { m_connectionString = std::move(connection); }
    frmSplashScreen& SplashScreen() noexcept { return m_splash; }
    int LoadCount() const noexcept { return m_loadCount; }
    // The account lookup the loads use; tests put a failing one in place. Empty: the platform's.
    void SetAccountTranslator(AccountLookup::Translator translate) { m_translate = std::move(translate); }

    // How the process ends (at once, without any further window event). Tests replace it
    // to observe the exits without losing their own process.
    void SetProcessEnder(std::function<void(UINT exitCode)> ender) { m_endProcess = std::move(ender); }

    // Long work off the window's thread: the window paints and answers meanwhile, its input
    // waits until the work ends, what the work throws is thrown here. The wait window counts
    // accounts ("Resolving accounts: n of N"); the progress window shows a bar and Stop.
    enum class LongWorkDisplay { None, WaitWindowCount, ProgressWindow };
    template <class F>
    auto RunLongWork(F&& work, LongWorkDisplay display = LongWorkDisplay::None)
    {
        LongWorkRunner runner(Hwnd());
        frmProgress progress;
        PrepareLongWork(runner, progress, display);
        return runner.Run(std::forward<F>(work));
    }
    // The same, for work in chunks on several workers (threads 0: the machine's count).
    void RunLongWorkChunks(size_t chunks, unsigned threads, const std::function<void(size_t, LongWork&)>& chunk,
                           LongWorkDisplay display = LongWorkDisplay::None);

    // The window's keys: the accelerators (Del, F5, Ctrl+C, Ctrl+Insert, F1), Tab and
    // Shift+Tab between the grid and the Exit button, Enter on the Exit button.
    bool PreTranslateMessage(MSG& msg) override;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    UniqueHMenu BuildMenus();
    void ToggleCheck(UINT id);
    void ExitRoutine();
    void EndProgram(UINT exitCode = 0);
    void OnCommand(int id);
    void PlaceControlsTwips(int outerWidthTwips, int outerHeightTwips);
    void MoveFocus(bool backwards);
    void RestoreFocus();
    void Form_KeyDownReload();
    void ReportUnexpected(const Error& error, std::wstring_view procedure);
    void ReportLoadProblems(std::wstring_view procedure);
    void PrepareLongWork(LongWorkRunner& runner, frmProgress& progress, LongWorkDisplay display);

    IDialogs& m_dialogs;
    GridModel m_grid;
    GridView m_gridView;
    frmSplashScreen m_splash;
    HWND m_cmdExit = nullptr;
    HMENU m_menuBar = nullptr;
    HMENU m_mnuFile = nullptr;
    HMENU m_mnuEdit = nullptr;
    HMENU m_mnuView = nullptr;
    HMENU m_mnuHelp = nullptr;
    // Captions of the two items that are never shown; kept so that a language switch
    // refreshes them like every other caption.
    std::wstring m_mnuImportFromCSVCaption;
    std::wstring m_mnuAddNewMappingCaption;
    std::wstring m_connectionString;
    UniqueHFont m_font;
    UniqueAccelerators m_accelerators;
    // The control that had the focus when the window last lost activation; it gets the
    // focus back when the window is activated again.
    HWND m_lastFocus = nullptr;
    bool m_busy = false;
    int m_loadCount = 0;
    std::vector<Error> m_loadProblems;  // of the last load, for the routine that ran it to show
    AccountLookup::Translator m_translate;
    std::function<void(UINT)> m_endProcess;
};

}  // namespace vcm
