// The Restore Removed Mappings window on a real database and restore file: what it lists, the
// keys that tick and cancel, and what a restore puts back and says.
#include <gtest/gtest.h>

#include <functional>

#include "ScriptedDialogs.h"
#include "TempFolder.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "VeltoCredentialsMapResCONST.h"
#include "WindowTesting.h"
#include "app/frmRestore.h"
#include "localize/modLocalize.h"
#include "mapping/BulkRemoval.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

// The person at the window: each step runs on a timer while the window's own loop runs.
std::vector<std::function<void(HWND window)>> g_steps;

void CALLBACK NextStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND window = FindWindowW(L"VeltoCredentialsMap.frmRestore", nullptr);
    if (!window || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return;
    if (g_steps.empty()) {
        KillTimer(nullptr, timer);
        return;
    }
    auto step = std::move(g_steps.front());
    g_steps.erase(g_steps.begin());
    step(window);
}

void Key(HWND window, UINT key)
{
    HWND list = GetDlgItem(window, frmRestore::IDC_LIST);
    PostMessageW(GetFocus() ? GetFocus() : list, WM_KEYDOWN, key, 1);
    PostMessageW(GetFocus() ? GetFocus() : list, WM_KEYUP, key, 0xC0000001);
}

std::wstring CellText(HWND list, int row, int col)
{
    wchar_t text[256] = {};
    ListView_GetItemText(list, row, col, text, 256);
    return text;
}

class RestoreWindow : public testing::Test {
protected:
    void SetUp() override
    {
        const std::wstring sid = test::SidLiteral(L"S-1-5-21-0-0-0-4100");
        connection = test::CreateVeltoDb(L"restore_window.db", {
            L"INSERT INTO Subscriber VALUES ('S1','jdoe','jdoe','John')",
            L"INSERT INTO Credential VALUES ('S1'," + sid + L",1," + test::Quote(test::Key(L"K1")) + L")",
            L"INSERT INTO Credential VALUES ('S1'," + sid + L",0," + test::Quote(test::Key(L"K2")) + L")",
            L"INSERT INTO Credential VALUES ('S1'," + sid + L",NULL," + test::Quote(test::Key(L"K3")) + L")",
        });
        original = test::QueryRows(connection, L"SELECT * FROM Credential ORDER BY msrepl_tran_version");
        BulkRemovalContext context;
        context.connection = connection;
        context.major = 4;
        context.restoreFile = File();
        context.removedBy = L"VM\\root";
        std::vector<RemovalCandidate> candidates;
        for (const wchar_t* key : {L"K1", L"K2", L"K3"})
            candidates.push_back({test::Key(key), test::SidBytes(L"S-1-5-21-0-0-0-4100"), L"S1",
                                  std::wstring(L"account ") + key, std::wstring(L"alias ") + key});
        ASSERT_EQ(RemoveMappings(candidates, context).removed.size(), 3u);
        owner = test::CreateTestParent(L"owner", 400, 300);
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        g_steps.clear();
    }

    std::wstring File() const { return folder.Path() + L"\\CredentialsRemoved.txt"; }
    bool Show()
    {
        // The steps' timer ends with the window, so that no later test of this program
        // finds it still ticking.
        const UINT_PTR timer = SetTimer(nullptr, 0, 30, NextStep);
        frmRestore window({connection, 4, File()}, dialogs);
        const bool restored = window.ShowModal(owner);
        KillTimer(nullptr, timer);
        return restored;
    }

    test::TempFolder folder{L"restore_window"};
    std::wstring connection;
    std::vector<test::TextRow> original;
    test::ScriptedDialogs dialogs;
    HWND owner = nullptr;
};

TEST_F(RestoreWindow, ListsNewestFirstAndRestoresTheTickedRows)
{
    std::vector<std::wstring> listed;
    g_steps = {
        [&](HWND window) {
            HWND list = GetDlgItem(window, frmRestore::IDC_LIST);
            for (int row = 0; row < ListView_GetItemCount(list); ++row)
                listed.push_back(CellText(list, row, 1) + L"|" + CellText(list, row, 2) + L"|" +
                                 CellText(list, row, 3));
            for (int row = 0; row < ListView_GetItemCount(list); ++row)
                EXPECT_FALSE(ListView_GetCheckState(list, row)) << "row " << row << " starts ticked";
            Key(window, VK_SPACE);  // ticks the focused first row
        },
        [](HWND window) { Key(window, VK_DOWN); },
        [](HWND window) { Key(window, VK_DOWN); },
        [](HWND window) { Key(window, VK_SPACE); },
        [](HWND window) { Key(window, VK_DOWN); },  // one more Down stays on the last row
        [](HWND window) { Key(window, VK_SPACE); },  // and unticks it again
        [](HWND window) { Key(window, VK_SPACE); },
        [](HWND window) { SendMessageW(GetDlgItem(window, frmRestore::IDC_RESTORE_CHECKED), BM_CLICK, 0, 0); },
    };
    EXPECT_TRUE(Show());
    // Removed in key order within one second: the last written is the newest.
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"account K3|alias K3|VM\\root", L"account K2|alias K2|VM\\root",
                                                 L"account K1|alias K1|VM\\root"}));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, myLoadResString(IDS_RESTORE_DONE) + L"2\r\n" +
                                            myLoadResString(IDS_RESTORE_SKIPPED) + L"0\r\n\r\n" +
                                            myLoadResString(IDS_RESTORE_FILE) + File());
    std::vector<test::TextRow> expected = original;
    std::erase_if(expected, [](const test::TextRow& row) { return row[3] == test::Key(L"K2"); });  // K2 stays removed
    EXPECT_EQ(test::QueryRows(connection, L"SELECT * FROM Credential ORDER BY msrepl_tran_version"), expected);
    EXPECT_TRUE(IsWindowEnabled(owner));

    // Only K2 is left to restore; Esc closes without a change.
    g_steps = {[&](HWND window) {
        EXPECT_EQ(ListView_GetItemCount(GetDlgItem(window, frmRestore::IDC_LIST)), 1);
        Key(window, VK_ESCAPE);
    }};
    EXPECT_FALSE(Show());
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(test::CountRows(connection, L"Credential"), 2);
}

TEST_F(RestoreWindow, SaysWhatItCannotUseAndWhenThereIsNothingToRestore)
{
    // A hand-edited line is named before the window opens; the others still list.
    std::string bytes = test::FileBytes(File());
    bytes.replace(bytes.find("alias K1"), 8, "alias K9");
    ASSERT_TRUE(test::WriteBytes(File(), bytes));
    g_steps = {[](HWND window) {
        EXPECT_EQ(ListView_GetItemCount(GetDlgItem(window, frmRestore::IDC_LIST)), 2);
        SendMessageW(GetDlgItem(window, frmRestore::IDC_RESTORE_CHECKED), BM_CLICK, 0, 0);  // nothing ticked
    },
               [](HWND window) { SendMessageW(GetDlgItem(window, IDCANCEL), BM_CLICK, 0, 0); }};
    EXPECT_FALSE(Show());
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text,
              myLoadResString(IDS_RESTORE_REFUSED_LINES) + L"\r\n" + myLoadResString(IDS_LINE) + L"1: " +
                  myLoadResString(IDS_LINE_CHECKSUM));
    EXPECT_EQ(dialogs.messages[1].text, myLoadResString(IDS_RESTORE_NONE_CHECKED));

    ASSERT_TRUE(DeleteFileW(File().c_str()));
    EXPECT_FALSE(Show());
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages[2].text, myLoadResString(IDS_RESTORE_EMPTY) + File());
    EXPECT_EQ(test::CountRows(connection, L"Credential"), 0);
}

}  // namespace
}  // namespace vcm
