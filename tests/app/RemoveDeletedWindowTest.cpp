// Edit > Remove Deleted Accounts on the main window, with a real database, the real account
// lookup of the test machine, a real activity log and restore file: what the preview lists,
// its keys, the question, and what the removal leaves in the grid, the table and the summary.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>

#include "ScriptedDialogs.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "WindowTesting.h"
#include "VeltoCredentialsMapResCONST.h"
#include "app/frmMain.h"
#include "app/frmRemoveDeleted.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "mapping/RestoreArchive.h"
#include "platform/Logging.h"
#include "platform/TextConv.h"
#include "platform/VeltoVersion.h"

namespace vcm {
namespace {

// The person at the preview: each step runs on a timer while the window's own loop runs.
// A preview still open when the steps have run out is closed, so that a test fails rather
// than waits.
std::vector<std::function<void(HWND window)>> g_steps;
UINT_PTR g_timer = 0;

void CALLBACK NextStep(HWND, UINT, UINT_PTR, DWORD)
{
    HWND window = FindWindowW(L"VeltoCredentialsMap.frmRemoveDeleted", nullptr);
    if (!window || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return;
    if (g_steps.empty()) {
        ADD_FAILURE() << "the preview is still open after the last step";
        PostMessageW(window, WM_CLOSE, 0, 0);
        return;
    }
    auto step = std::move(g_steps.front());
    g_steps.erase(g_steps.begin());
    step(window);
}

HWND List(HWND window) { return GetDlgItem(window, frmRemoveDeleted::IDC_LIST); }

void Key(HWND window, UINT key, bool control = false)
{
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
    HWND target = GetFocus() ? GetFocus() : List(window);
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

void Click(HWND window, int id) { PostMessageW(GetDlgItem(window, id), BM_CLICK, 0, 0); }

std::vector<bool> Ticks(HWND window)
{
    std::vector<bool> ticks;
    for (int row = 0; row < ListView_GetItemCount(List(window)); ++row)
        ticks.push_back(ListView_GetCheckState(List(window), row) != 0);
    return ticks;
}

std::wstring Text(HWND control)
{
    wchar_t text[512] = {};
    GetWindowTextW(control, text, 512);
    return text;
}

// Resolved, Unverified and Deleted accounts, as this machine answers for them: BUILTIN
// numbers the machine has no group for are Deleted, another domain's SIDs and bytes that
// hold no SID are Unverified.
const wchar_t* const kDeleted[] = {L"S-1-5-32-998", L"S-1-5-32-997", L"S-1-5-32-996", L"S-1-5-32-995"};

class RemoveDeletedWindow : public testing::Test {
protected:
    void SetUp() override
    {
        gProductVersion = ProductVersion{4, 0, 2, 105};
        DeleteFileW(RestoreFilePath().c_str());
        DeleteFileW(kLog);
        OpenLog(kLog, false);
        const auto mapping = [](const std::wstring& sidLiteral, const wchar_t* key) {
            return L"INSERT INTO Credential VALUES ('S1'," + sidLiteral + L",0," + test::Quote(test::Key(key)) + L")";
        };
        connection = test::CreateVeltoDb(L"remove_deleted.db", {
            L"INSERT INTO Subscriber VALUES ('S1','ops','ops','Operators')",
            L"INSERT INTO Subscriber VALUES ('S2','dev','dev','Developers')",
            mapping(test::SidLiteral(L"S-1-5-32-544"), L"K1"),
            mapping(test::SidLiteral(kDeleted[0]), L"K2"),
            mapping(test::SidLiteral(L"S-1-5-21-1-2-3-1001"), L"K3"),
            mapping(test::SidLiteral(kDeleted[1]), L"K4"),
            mapping(L"X'0105AB'", L"K5"),
            mapping(test::SidLiteral(kDeleted[2]), L"K6"),
            mapping(test::SidLiteral(kDeleted[3]), L"K7"),
        });
        main = std::make_unique<frmMain>(dialogs);
        main->Create();
        main->frmMain_Auto_Init();
        main->SetConnectionString(connection);
        main->Show(SW_SHOWNORMAL);
        main->LoadMappings();
        test::Pump();
    }
    void TearDown() override
    {
        main.reset();
        g_steps.clear();
        // A timer left running would wake the next tests' message loops.
        if (g_timer)
            KillTimer(nullptr, g_timer);
        g_timer = 0;
        CloseLog();
        DeleteFileW(RestoreFilePath().c_str());
        gProductVersion = ProductVersion{};
        test::Pump();
    }

    // The grid's SIDs, top to bottom.
    std::vector<std::wstring> GridSids() const
    {
        std::vector<std::wstring> sids;
        const MappingModel& model = *ShownModel(main->Grid());
        for (int row = 1; row < main->Grid().Rows(); ++row)
            sids.push_back(model.SidText(main->Grid().Record(row)));
        return sids;
    }
    void Run()
    {
        if (g_timer)
            KillTimer(nullptr, g_timer);
        g_timer = SetTimer(nullptr, 0, 30, NextStep);
        main->mnuRemoveDeletedAccounts_Click();
        test::Pump();
    }

    const wchar_t* const kLog = L"remove_deleted_log.txt";
    test::ScriptedDialogs dialogs;
    std::wstring connection;
    std::unique_ptr<frmMain> main;
};

TEST_F(RemoveDeletedWindow, PreviewsTheDeletedRowsAndRemovesTheTickedOnes)
{
    const std::vector<std::wstring> gridBefore = GridSids();
    std::vector<std::wstring> deletedInGridOrder;
    for (const std::wstring& sid : gridBefore)
        if (std::find(std::begin(kDeleted), std::end(kDeleted), sid) != std::end(kDeleted))
            deletedInGridOrder.push_back(sid);
    ASSERT_EQ(deletedInGridOrder.size(), 4u) << "every deleted account is shown";
    ASSERT_EQ(gridBefore.size(), 7u);

    std::vector<std::wstring> listed;
    std::vector<std::wstring> counts;
    dialogs.Answer(IDNO);
    dialogs.Answer(IDYES);
    g_steps = {
        [&](HWND window) {
            for (int row = 0; row < ListView_GetItemCount(List(window)); ++row) {
                wchar_t sid[128] = {};
                ListView_GetItemText(List(window), row, 0, sid, 128);
                listed.push_back(sid);
            }
            EXPECT_EQ(Ticks(window), std::vector<bool>(4, true));
            counts.push_back(Text(GetDlgItem(window, frmRemoveDeleted::IDC_COUNT)));
            Key(window, VK_SPACE);  // unticks the focused first row
        },
        [&](HWND window) {
            EXPECT_EQ(Ticks(window), (std::vector<bool>{false, true, true, true}));
            counts.push_back(Text(GetDlgItem(window, frmRemoveDeleted::IDC_COUNT)));
            Key(window, 'A', true);
        },
        [&](HWND window) {
            Key(window, 'A');  // the Control key is up again
            EXPECT_EQ(Ticks(window), std::vector<bool>(4, true)) << "Ctrl+A ticks all";
        },
        [](HWND window) { Key(window, VK_DOWN); },
        [](HWND window) { Key(window, VK_SPACE); },  // the second stays
        [&](HWND window) {
            EXPECT_EQ(Ticks(window), (std::vector<bool>{true, false, true, true}));
            // Another connection changes the last deleted row after the load: it is skipped.
            test::Execute(connection, {L"UPDATE Credential SET SubscriberObjectID = 'S2' WHERE msrepl_tran_version = " +
                                       test::Quote(test::Key(L"K7"))});
            Click(window, frmRemoveDeleted::IDC_REMOVE_CHECKED);  // No: the preview stays
        },
        [](HWND window) { Click(window, frmRemoveDeleted::IDC_REMOVE_CHECKED); },  // Yes
    };
    Run();

    EXPECT_EQ(listed, deletedInGridOrder) << "exactly the deleted accounts, in grid order";
    EXPECT_EQ(counts, (std::vector<std::wstring>{L"Mappings of deleted accounts: 4 (ticked: 4)",
                                                 L"Mappings of deleted accounts: 4 (ticked: 3)"}));
    ASSERT_EQ(dialogs.messages.size(), 3u);
    for (int i : {0, 1}) {
        EXPECT_EQ(dialogs.messages[i].text,
                  L"Remove 3 mappings of deleted accounts? Each row is first written to the restore file.");
        EXPECT_EQ(dialogs.messages[i].type & (MB_TYPEMASK | MB_DEFMASK), UINT(MB_YESNO | MB_DEFBUTTON2))
            << "No is the default of a bulk question";
    }
    const std::wstring changed = std::wstring(deletedInGridOrder[3]) + L": " + myLoadResString(IDS_SKIP_CHANGED);
    EXPECT_EQ(dialogs.messages[2].text, L"Mappings removed: 2\r\nMappings skipped: 1\r\n" + changed +
                                            L"\r\n\r\nRestore file: " + RestoreFilePath());

    // The grid lost exactly the two removed rows, without a reload; so did the table.
    std::vector<std::wstring> gridAfter = gridBefore;
    for (const std::wstring& gone : {deletedInGridOrder[0], deletedInGridOrder[2]})
        gridAfter.erase(std::find(gridAfter.begin(), gridAfter.end(), gone));
    EXPECT_EQ(GridSids(), gridAfter);
    EXPECT_EQ(test::CountRows(connection, L"Credential"), 5);
    const std::string log = test::FileBytes(kLog);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(log.find("Deleted credential map for " + ToUtf8(deletedInGridOrder[i])) != std::string::npos,
                  i == 0 || i == 2)
            << i;
    EXPECT_EQ(ReadRestoreFile(RestoreFilePath()).records.size(), 2u);
}

TEST_F(RemoveDeletedWindow, NothingGoesWithoutATickAndAYes)
{
    const struct {
        const char* what;
        std::vector<std::function<void(HWND)>> steps;
        std::vector<std::wstring> messages;
    } cases[] = {
        {"Esc", {[](HWND window) { Key(window, VK_ESCAPE); }}, {}},
        {"Cancel", {[](HWND window) { Click(window, IDCANCEL); }}, {}},
        {"nothing ticked",
         {[](HWND window) {
              for (int row = 0; row < 4; ++row)
                  ListView_SetCheckState(List(window), row, FALSE);
              Click(window, frmRemoveDeleted::IDC_REMOVE_CHECKED);
          },
          [](HWND window) { Key(window, VK_ESCAPE); }},
         {L"Tick the mappings to remove first."}},
    };
    for (const auto& c : cases) {
        dialogs.messages.clear();
        g_steps = c.steps;
        Run();
        std::vector<std::wstring> shown;
        for (const auto& message : dialogs.messages)
            shown.push_back(message.text);
        EXPECT_EQ(shown, c.messages) << c.what;
        EXPECT_EQ(test::CountRows(connection, L"Credential"), 7) << c.what;
        EXPECT_EQ(main->Grid().Rows(), 8) << c.what;
        EXPECT_TRUE(IsWindowEnabled(main->Hwnd())) << c.what;
    }

    // Only resolved and unverified accounts left: a box says so instead of the preview.
    test::Execute(connection, {L"DELETE FROM Credential WHERE msrepl_tran_version IN (" +
                               test::Quote(test::Key(L"K2")) + L"," + test::Quote(test::Key(L"K4")) + L"," +
                               test::Quote(test::Key(L"K6")) + L"," + test::Quote(test::Key(L"K7")) + L")"});
    main->LoadMappings();
    dialogs.messages.clear();
    main->mnuRemoveDeletedAccounts_Click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, L"The grid shows no mappings of deleted accounts.");
    EXPECT_EQ(main->Grid().Rows(), 4);
}

}  // namespace
}  // namespace vcm
