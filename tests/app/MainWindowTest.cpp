// The main window on a real window under the test display: captions and menus, the resize
// rule, the grid's popup, the view options and the exits.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "LanguageState.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "WindowTesting.h"
#include "app/frmMain.h"
#include "localize/frmAbout.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "mapping/OdbcConnection.h"
#include "mapping/Recordset.h"
#include "mapping/RowClipboard.h"
#include "platform/Error.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"
#include "platform/VeltoVersion.h"
#include "resource.h"

namespace vcm {

using test::Pump;
using test::PumpFor;

namespace {

std::vector<std::wstring> MenuTexts(HMENU menu)
{
    std::vector<std::wstring> texts;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        const UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        texts.push_back((state & MF_SEPARATOR) ? L"-" : text);
    }
    return texts;
}

// The popup menu that the thread shows next: its items are read and the menu is closed.
std::vector<std::wstring> g_popupItems;
bool g_popupSeen = false;

void CALLBACK ClosePopup(HWND, UINT, UINT_PTR, DWORD)
{
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (!popup || !IsWindowVisible(popup))
        return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    g_popupItems = MenuTexts(menu);
    g_popupSeen = true;
    EndMenu();
}

class MainWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetAppDialogs(&dialogs);
        gProductVersion = ProductVersion{4, 0, 2, 105};
        const std::wstring everyone = test::SidLiteral(L"S-1-1-0");
        const std::wstring admins = test::SidLiteral(L"S-1-5-32-544");
        connection = test::CreateVeltoDb(
            L"main_window.db",
            {
                L"INSERT INTO Subscriber VALUES ('S1','Everyone','Everyone','All users')",
                L"INSERT INTO Subscriber VALUES ('S2','ops','ops','Operators')",
                // Everyone -> Everyone is a default mapping; the others are custom, one primary.
                L"INSERT INTO Credential VALUES ('S1'," + everyone + L",0," + test::Quote(test::Key(L"K1")) + L")",
                L"INSERT INTO Credential VALUES ('S2'," + admins + L",1," + test::Quote(test::Key(L"K2")) + L")",
                L"INSERT INTO Credential VALUES ('S2'," + everyone + L",0," + test::Quote(test::Key(L"K3")) + L")",
            });
        main = std::make_unique<frmMain>(dialogs);
        main->SetProcessEnder([this](UINT) { ++ended; });
        main->Create();
        main->frmMain_Auto_Init();
        main->SetConnectionString(connection);
        main->Show(SW_SHOWNORMAL);
        main->LoadMappings();
        Pump();
    }

    void TearDown() override
    {
        main.reset();
        CloseLog();
        SetAppDialogs(nullptr);
        gProductVersion = ProductVersion{};
        Pump();
    }

    std::vector<std::wstring> Keys() const
    {
        std::vector<std::wstring> keys;
        GridModel& grid = main->Grid();
        for (int row = 1; row < grid.Rows(); ++row)
            keys.push_back(grid.TextMatrix(row, grid.ColIndex(kKeySID)));
        return keys;
    }

    SIZE OuterTwips() const
    {
        RECT r = {};
        GetWindowRect(main->Hwnd(), &r);
        return {PixelsToTwips(main->Hwnd(), r.right - r.left), PixelsToTwips(main->Hwnd(), r.bottom - r.top)};
    }

    // A control's rectangle in the main window's client coordinates.
    RECT ChildRect(HWND child) const
    {
        RECT r = {};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, main->Hwnd(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }

    void ResizeTwips(int width, int height)
    {
        SetWindowPos(main->Hwnd(), nullptr, 0, 0, TwipsToPixels(main->Hwnd(), width),
                     TwipsToPixels(main->Hwnd(), height), SWP_NOMOVE | SWP_NOZORDER);
        Pump();
    }

    // Presses and releases a mouse button over the first grid row and pumps until a popup
    // was seen and closed, or a while has passed.
    bool PopupAfterPress(UINT down, UINT up, WPARAM keys)
    {
        g_popupSeen = false;
        g_popupItems.clear();
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ClosePopup);
        HWND list = main->GridControl().ListHwnd();
        RECT item = {};
        ListView_GetItemRect(list, 0, &item, LVIR_BOUNDS);
        const LPARAM at = MAKELPARAM(item.left + 40, (item.top + item.bottom) / 2);
        PostMessageW(list, down, keys, at);
        PostMessageW(list, up, 0, at);
        PumpFor(400);
        KillTimer(nullptr, timer);
        return g_popupSeen;
    }

    test::ScriptedDialogs dialogs;
    std::wstring connection;
    std::unique_ptr<frmMain> main;
    int ended = 0;
};

}  // namespace

TEST_F(MainWindowTest, CaptionsMenusAndHeadersComeFromTheCatalogue)
{
    wchar_t caption[128] = {};
    GetWindowTextW(main->Hwnd(), caption, 128);
    EXPECT_STREQ(caption, L"Brenvik Velto Credentials Mapping");
    GetWindowTextW(main->ExitButton(), caption, 128);
    EXPECT_STREQ(caption, L"Exit");

    HMENU bar = GetMenu(main->Hwnd());
    EXPECT_EQ(MenuTexts(bar), (std::vector<std::wstring>{L"File", L"Edit", L"View", L"Help"}));
    // The two hidden items (import, add) appear nowhere.
    EXPECT_EQ(MenuTexts(GetSubMenu(bar, 0)),
              (std::vector<std::wstring>{L"Export Grid Info to CSV", L"Restore Removed Mappings\u2026", L"-", L"Exit"}));
    EXPECT_EQ(MenuTexts(GetSubMenu(bar, 1)),
              (std::vector<std::wstring>{L"Remove Selected Mapping", L"Remove Deleted Accounts\u2026"}));
    EXPECT_EQ(MenuTexts(GetSubMenu(bar, 2)),
              (std::vector<std::wstring>{L"Show Only Custom Mappings", L"Show Primary Mappings", L"Show Account Details"}));
    EXPECT_EQ(MenuTexts(GetSubMenu(bar, 3)), (std::vector<std::wstring>{L"Help", L"-", L"About"}));
    EXPECT_TRUE(main->ShowOnlyCustomChecked());
    EXPECT_TRUE(main->ShowPrimaryChecked());

    GridModel& grid = main->Grid();
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADDomain)), L"Domain");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"AD Alias");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyPrimary)), L"Primary");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyVeltoAlias)), L"Velto Alias");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeySID)), L"SID");
}

TEST_F(MainWindowTest, ResizeRuleKeepsMinimumAndPlacesControls)
{
    struct Row {
        int width, height;            // asked for, outer twips
        int expectWidth, expectHeight;
    };
    const Row rows[] = {
        {9000, 7000, 9000, 7000},  // large: kept
        {3000, 2000, 4000, 3500},  // both too small: snaps to the minimum
        {3990, 6000, 4000, 6000},  // only too narrow
        {6000, 3000, 6000, 3500},  // only too low
        {4000, 3500, 4000, 3500},  // exactly the minimum
    };
    for (const Row& row : rows) {
        ResizeTwips(row.width, row.height);
        const SIZE outer = OuterTwips();
        // One pixel is 15 twips at 96 DPI: allow the rounding of one pixel.
        EXPECT_NEAR(outer.cx, row.expectWidth, 15) << row.width << "x" << row.height;
        EXPECT_NEAR(outer.cy, row.expectHeight, 15) << row.width << "x" << row.height;

        const RECT exitRect = ChildRect(main->ExitButton());
        EXPECT_EQ(exitRect.left, TwipsToPixels(main->Hwnd(), outer.cx - 1050));
        EXPECT_EQ(exitRect.top, TwipsToPixels(main->Hwnd(), outer.cy - 1155));
        const RECT gridRect = ChildRect(main->GridControl().Hwnd());
        EXPECT_EQ(gridRect.left, TwipsToPixels(main->Hwnd(), 30));
        EXPECT_EQ(gridRect.top, TwipsToPixels(main->Hwnd(), 180));
        EXPECT_EQ(gridRect.right - gridRect.left, TwipsToPixels(main->Hwnd(), outer.cx - 165));
        EXPECT_EQ(gridRect.bottom - gridRect.top, TwipsToPixels(main->Hwnd(), outer.cy - 1650));
    }
}

TEST_F(MainWindowTest, MinimizeAndRestoreKeepTheLayout)
{
    ResizeTwips(8000, 6000);
    const RECT exitBefore = ChildRect(main->ExitButton());
    const RECT gridBefore = ChildRect(main->GridControl().Hwnd());
    ShowWindow(main->Hwnd(), SW_MINIMIZE);
    Pump();
    EXPECT_TRUE(IsIconic(main->Hwnd()));
    ShowWindow(main->Hwnd(), SW_RESTORE);
    Pump();
    const RECT exitAfter = ChildRect(main->ExitButton());
    const RECT gridAfter = ChildRect(main->GridControl().Hwnd());
    EXPECT_TRUE(EqualRect(&exitBefore, &exitAfter));
    EXPECT_TRUE(EqualRect(&gridBefore, &gridAfter));
}

TEST_F(MainWindowTest, RightButtonPopsUpTheEditMenuAlone)
{
    ASSERT_GT(main->Grid().Rows(), 1);
    EXPECT_FALSE(PopupAfterPress(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON)) << "left button";
    EXPECT_FALSE(PopupAfterPress(WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON)) << "middle button";
    ASSERT_TRUE(PopupAfterPress(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON)) << "right button";
    EXPECT_EQ(g_popupItems, (std::vector<std::wstring>{L"Remove Selected Mapping", L"Remove Deleted Accounts\u2026"}));

    // The menu key opens the same popup from the keyboard.
    g_popupSeen = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ClosePopup);
    HWND list = main->GridControl().ListHwnd();
    PostMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    PumpFor(400);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(g_popupSeen) << "menu key";
}

TEST_F(MainWindowTest, ViewOptionsInvertTheirMarkAndReload)
{
    struct Step {
        int command;
        bool custom, primary;
        std::vector<std::wstring> keys;  // in query order
    };
    const Step steps[] = {
        {0, true, true, {test::Key(L"K2"), test::Key(L"K3")}},  // start: custom mappings only
        {frmMain::IDM_SHOW_ONLY_CUSTOM, false, true, {test::Key(L"K1"), test::Key(L"K2"), test::Key(L"K3")}},
        {frmMain::IDM_SHOW_PRIMARY, false, false, {test::Key(L"K1"), test::Key(L"K3")}},
        {frmMain::IDM_SHOW_ONLY_CUSTOM, true, false, {test::Key(L"K3")}},
        {frmMain::IDM_SHOW_PRIMARY, true, true, {test::Key(L"K2"), test::Key(L"K3")}},  // both toggled twice: the first view
    };
    int loads = main->LoadCount();
    for (const Step& step : steps) {
        if (step.command != 0) {
            SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(step.command, 0), 0);
            ++loads;
        }
        EXPECT_EQ(main->ShowOnlyCustomChecked(), step.custom);
        EXPECT_EQ(main->ShowPrimaryChecked(), step.primary);
        EXPECT_EQ(Keys(), step.keys) << "after command " << step.command;
        EXPECT_EQ(main->LoadCount(), loads);
    }
    // The wait window is hidden and the grid paints again after every load.
    EXPECT_FALSE(IsWindowVisible(main->SplashScreen().Hwnd()));
    EXPECT_NE(main->Grid().Redraw(), 0);
}

// Show Account Details, unticked at the start, shows and hides two columns of the rows as
// loaded: no reload, the columns copy with the row, and their place is the user's.
TEST_F(MainWindowTest, AccountDetailsShowTwoColumnsWithoutAReload)
{
    GridModel& grid = main->Grid();
    HWND list = main->GridControl().ListHwnd();
    const auto widths = [&] {
        return std::pair(ListView_GetColumnWidth(list, kDesignAccountSid), ListView_GetColumnWidth(list, kDesignAccountStatus));
    };
    const auto checked = [&] {
        return (GetMenuState(GetSubMenu(GetMenu(main->Hwnd()), 2), frmMain::IDM_SHOW_ACCOUNT_DETAILS, MF_BYCOMMAND) &
                MF_CHECKED) != 0;
    };
    EXPECT_FALSE(checked());
    EXPECT_EQ(widths(), std::pair(0, 0));
    grid.SetRow(1);  // K2: BUILTIN\Administrators
    EXPECT_EQ(SelectedRowLine(grid), std::optional<std::wstring>(L"BUILTIN\tAdministrators\t1\tops"));

    // The database changes behind the window's back: only a reload would show it.
    test::Execute(connection, {L"DELETE FROM Credential WHERE msrepl_tran_version = " + test::Quote(test::Key(L"K3"))});
    const int loads = main->LoadCount();
    SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(frmMain::IDM_SHOW_ACCOUNT_DETAILS, 0), 0);
    Pump();
    EXPECT_TRUE(checked());
    EXPECT_EQ(main->LoadCount(), loads);
    EXPECT_EQ(Keys(), (std::vector<std::wstring>{test::Key(L"K2"), test::Key(L"K3")}));
    EXPECT_GT(widths().first, 0);
    EXPECT_GT(widths().second, 0);
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyAccountSid)), L"SID");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyAccountStatus)), L"Account");
    EXPECT_EQ(SelectedRowLine(grid),
              std::optional<std::wstring>(L"BUILTIN\tAdministrators\t1\tops\tS-1-5-32-544\tResolved"));

    // Dragged in front of Domain, the SID column copies there.
    grid.MoveColumn(grid.ColIndex(kKeyAccountSid), 1);
    Pump();
    EXPECT_EQ(SelectedRowLine(grid),
              std::optional<std::wstring>(L"S-1-5-32-544\tBUILTIN\tAdministrators\t1\tops\tResolved"));

    SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(frmMain::IDM_SHOW_ACCOUNT_DETAILS, 0), 0);
    Pump();
    EXPECT_FALSE(checked());
    EXPECT_EQ(widths(), std::pair(0, 0));
    EXPECT_EQ(SelectedRowLine(grid), std::optional<std::wstring>(L"BUILTIN\tAdministrators\t1\tops"));
    EXPECT_EQ(main->LoadCount(), loads);
}

TEST_F(MainWindowTest, ExitsEndTheProcessAndTheWindowExitsCloseTheLog)
{
    const std::wstring logPath = L"exits.log";
    struct Row {
        const char* name;
        std::function<void()> trigger;
        bool logClosed;
    };
    const Row rows[] = {
        {"File > Exit", [&] { SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(frmMain::IDM_EXIT, 0), 0); }, true},
        {"close box", [&] { SendMessageW(main->Hwnd(), WM_CLOSE, 0, 0); }, true},
        // The button ends the process directly; the log closes with the process.
        {"Exit button", [&] { SendMessageW(main->ExitButton(), BM_CLICK, 0, 0); }, false},
    };
    for (const Row& row : rows) {
        DeleteFileW(logPath.c_str());
        OpenLog(logPath, false);
        const int endedBefore = ended;
        row.trigger();
        Pump();
        EXPECT_EQ(ended, endedBefore + 1) << row.name;
        const std::string before = test::FileBytes(logPath);
        WriteLog(L"written after the exit");
        const std::string after = test::FileBytes(logPath);
        EXPECT_EQ(after == before, row.logClosed) << row.name;
        EXPECT_TRUE(IsWindow(main->Hwnd())) << row.name << ": no further window event ran";
        CloseLog();
    }
    DeleteFileW(logPath.c_str());
}

TEST_F(MainWindowTest, WaitWindowStandsCentredBelowTheTopEdge)
{
    SetWindowPos(main->Hwnd(), nullptr, 100, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    main->LoadMappings();
    RECT mainRect = {}, splashRect = {};
    GetWindowRect(main->Hwnd(), &mainRect);
    GetWindowRect(main->SplashScreen().Hwnd(), &splashRect);
    const int mainCentre = (mainRect.left + mainRect.right) / 2;
    const int splashCentre = (splashRect.left + splashRect.right) / 2;
    EXPECT_NEAR(splashCentre, mainCentre, 2);
    EXPECT_NEAR(splashRect.top - mainRect.top, TwipsToPixels(main->Hwnd(), 1700), 1);
    EXPECT_FALSE(IsWindowVisible(main->SplashScreen().Hwnd()));
}

TEST_F(MainWindowTest, LoadProblemsAreShownOnceByTheRoutineThatLoaded)
{
    const std::wstring unreachable = L"Driver={SQL Server};server=;database=no_such_dir/none.db;NoCreat=1";
    // The driver's own number and text: SQLite's "cannot open" (14); the personality drops
    // the SQLite tag as the real driver has tags of its own.
    const std::wstring tableError = test::SqlServerPersonality() ? L"(error):14 ([HY000] connect failed)"
                                                                 : L"(error):14 ([HY000] [SQLite]connect failed)";
    const std::wstring trustError =
        L"(error):" + std::to_wstring(ERROR_TRUSTED_RELATIONSHIP_FAILURE) + L" (" +
        SystemMessage(ERROR_TRUSTED_RELATIONSHIP_FAILURE) + L")";
    const AccountLookup::Translator failing = [](const std::vector<void*>&) -> std::vector<AccountName> {
        ThrowWin32(ERROR_TRUSTED_RELATIONSHIP_FAILURE, L"LsaLookupSids");
    };

    struct Case {
        const char* what;
        std::wstring connection;  // empty: the fixture's database
        bool lookupFails;
        int command;
        std::vector<std::wstring> messages;
        std::vector<std::wstring> keys;
    };
    // The options start ticked; each command inverts one of them.
    const Case cases[] = {
        {"unreadable mapping table: the grid stays empty", unreachable, false, frmMain::IDM_SHOW_PRIMARY,
         {tableError + L" in procedure mnuShowPrimary_Click of Form frmMain"}, {}},
        {"failed lookups: the rows stay, without names", L"", true, frmMain::IDM_SHOW_ONLY_CUSTOM,
         {trustError + L" in procedure mnuShowOnlyCustom_Click of Form frmMain"}, {test::Key(L"K1"), test::Key(L"K3")}},
        {"a sound load says nothing", L"", false, frmMain::IDM_SHOW_ONLY_CUSTOM, {}, {test::Key(L"K3")}},
    };
    for (const Case& c : cases) {
        main->SetConnectionString(c.connection.empty() ? connection : c.connection);
        main->SetAccountTranslator(c.lookupFails ? failing : AccountLookup::Translator{});
        dialogs.messages.clear();
        SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(c.command, 0), 0);
        std::vector<std::wstring> shown;
        for (const auto& m : dialogs.messages) {
            shown.push_back(m.text);
            EXPECT_EQ(m.type, static_cast<UINT>(MB_OK)) << c.what;
        }
        EXPECT_EQ(shown, c.messages) << c.what;
        EXPECT_EQ(Keys(), c.keys) << c.what;
        if (c.lookupFails) {
            GridModel& grid = main->Grid();
            for (int row = 1; row < grid.Rows(); ++row)
                EXPECT_EQ(grid.TextMatrix(row, grid.ColIndex(kKeyADAlias)), L"") << c.what;
        }
        EXPECT_NE(main->Grid().Redraw(), 0) << c.what;
        EXPECT_FALSE(IsWindowVisible(main->SplashScreen().Hwnd())) << c.what;
    }
}

// Someone else holds a write lock: the load gives up at the statement time-out (once for
// each table it reads, as SQLite locks the whole file), leaves the header alone, and the
// window answers and loads again once the lock is gone.
TEST_F(MainWindowTest, LoadThatMeetsALockEndsAtTheStatementTimeOut)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "SQLite's own driver ignores the statement time-out and waits its busy time-out instead";
    constexpr unsigned kSeconds = 2;
    const auto keysBefore = Keys();
    const auto rowsBefore = test::QueryRows(connection, L"SELECT * FROM Credential");
    {
        // The default comes back however the block ends, so later tests never inherit the short wait.
        struct ShortTimeout {
            ShortTimeout() { SetStatementTimeout(kSeconds); }
            ~ShortTimeout() { SetStatementTimeout(kStatementTimeoutSeconds); }
        } shortTimeout;
        OdbcConnection locker(connection);
        locker.Execute(L"BEGIN EXCLUSIVE");
        dialogs.messages.clear();
        const auto start = std::chrono::steady_clock::now();
        SendMessageW(main->Hwnd(), WM_COMMAND, MAKEWPARAM(frmMain::IDK_RELOAD, 1), 0);  // F5
        const auto waited = std::chrono::steady_clock::now() - start;
        // At least the time-out itself; far less than the 30 s default would take, with room
        // for a loaded machine (the HYT00 below says how it ended).
        EXPECT_GE(waited, std::chrono::seconds(kSeconds));
        EXPECT_LT(waited, std::chrono::seconds(2 * kSeconds + 20));
        EXPECT_EQ(main->Grid().Rows(), 1);
        // One message in the usual form says why the grid is empty.
        ASSERT_EQ(dialogs.messages.size(), 1u);
        const std::wstring& text = dialogs.messages[0].text;
        EXPECT_TRUE(text.starts_with(L"(error):")) << ToUtf8(text);
        EXPECT_NE(text.find(L"HYT00"), std::wstring::npos) << ToUtf8(text);
        EXPECT_TRUE(text.ends_with(L") in procedure Form_KeyDown of Form frmMain")) << ToUtf8(text);
        EXPECT_FALSE(IsWindowVisible(main->SplashScreen().Hwnd()));
        Pump();
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(main->Hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer), 0u);
        locker.Execute(L"ROLLBACK");
    }
    EXPECT_EQ(test::QueryRows(connection, L"SELECT * FROM Credential"), rowsBefore);
    main->LoadMappings();
    EXPECT_EQ(Keys(), keysBefore);
}

// Another window takes over and the main window is activated again: the grid or the Exit
// button, whichever had the focus, has it back.
TEST_F(MainWindowTest, FocusComesBackToTheControlThatHadIt)
{
    HWND other = test::CreateTestParent(L"Another window", 200, 100);
    ASSERT_NE(other, nullptr);
    for (HWND control : {main->ExitButton(), main->GridControl().ListHwnd()}) {
        SetForegroundWindow(main->Hwnd());
        SetFocus(control);
        Pump();
        ASSERT_EQ(GetFocus(), control);
        SetForegroundWindow(other);
        Pump();
        ASSERT_NE(GetFocus(), control);
        SetForegroundWindow(main->Hwnd());
        Pump();
        EXPECT_EQ(GetFocus(), control);
    }
    DestroyWindow(other);
}

// Moved to a screen of another DPI, the grid's shown columns keep their width in inches,
// a width the user dragged included; the hidden columns stay at zero.
TEST_F(MainWindowTest, GridColumnWidthsFollowADpiChange)
{
    HWND list = main->GridControl().ListHwnd();
    ListView_SetColumnWidth(list, 2, 173);  // AD Alias, as the user dragged it
    auto widths = [&] {
        std::vector<int> result;
        for (int design = 0; design < main->Grid().Cols(); ++design)
            result.push_back(ListView_GetColumnWidth(list, design));
        return result;
    };
    const std::vector<int> before = widths();
    ASSERT_EQ(before.size(), 8u);  // the account details hidden at the end
    auto changeDpi = [&](UINT dpi) {
        RECT r = {};
        GetWindowRect(main->Hwnd(), &r);
        SendMessageW(main->Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
        Pump();
    };
    const UINT start = WindowDpi(main->Hwnd());
    struct Case {
        const char* name;
        UINT dpi;
    };
    const Case cases[] = {
        {"half as much again", start * 3 / 2},
        {"twice the start", start * 2},
        {"back to the start", start},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        changeDpi(c.dpi);
        const std::vector<int> now = widths();
        for (size_t design = 0; design < before.size(); ++design) {
            const int expected = MulDiv(before[design], static_cast<int>(c.dpi), static_cast<int>(start));
            EXPECT_NEAR(now[design], expected, 1) << "column " << design;
        }
        EXPECT_EQ(now[0], 0);
        EXPECT_EQ(now[5], 0);
        EXPECT_EQ(now[kDesignAccountSid], 0);
    }
}

TEST_F(MainWindowTest, LanguagePickedInAboutTurnsTheMainWindowAtOnce)
{
    // The French library the build makes, beside a program of the shipped name.
    const std::wstring folder = AppFolder() + L"\\app_languages";
    const std::wstring built = AppFolder() + L"\\..\\VeltoCredentialsMap_FRA.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(built.c_str(), (folder + L"\\VeltoCredentialsMap_FRA.dll").c_str(), FALSE));
    HMODULE french = LoadLibraryExW(built.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(french, nullptr);
    auto frenchText = [&](int id) {
        wchar_t text[512] = {};
        LoadStringW(french, static_cast<UINT>(id), text, 512);
        return std::wstring(text);
    };

    frmAbout::SetLanguageFolder(folder, L"VeltoCredentialsMap");
    frmAbout& about = frmAbout::Shared();
    int index = -1;
    for (int i = 0; i < about.LanguageCount(); ++i)
        if (about.LanguageTag(i) == L" 1036")
            index = i;
    ASSERT_GE(index, 0);
    about.mnuLanguageList_Click(index);

    wchar_t caption[256] = {};
    GetWindowTextW(main->Hwnd(), caption, 256);
    EXPECT_EQ(caption, frenchText(IDS_MAIN_CAPTION));
    GetWindowTextW(main->ExitButton(), caption, 256);
    EXPECT_EQ(caption, frenchText(IDS_EXIT));
    HMENU bar = GetMenu(main->Hwnd());
    EXPECT_EQ(MenuTexts(bar)[2], frenchText(IDS_VIEW));
    EXPECT_EQ(MenuTexts(GetSubMenu(bar, 1))[0], frenchText(IDS_REMOVE_MAPPING));
    GridModel& grid = main->Grid();
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyVeltoAlias)), frenchText(IDS_COL_VELTO_ALIAS));
    EXPECT_NE(frenchText(IDS_COL_VELTO_ALIAS), L"Velto Alias");
    EXPECT_EQ(main->Grid().Rows(), 3) << "a language switch does not reload";

    frmAbout::Unload();
    frmAbout::SetLanguageFolder({}, {});
    test::ResetLanguageState();
    FreeLibrary(french);
    DeleteFileW((folder + L"\\VeltoCredentialsMap_FRA.dll").c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace vcm
