// Edit > Remove Deleted Accounts and File > Restore Removed Mappings on the real program:
// a database with resolved, deleted and unverified accounts, the preview driven from the
// keyboard, a row changed by another connection after the load, the window probed while the
// removal runs, then everything put back and compared with the table as it was.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Driver.h"
#include "TestDb.h"
#include "VeltoCredentialsMapResCONST.h"
#include "platform/TextConv.h"

namespace vcm::e2e {
namespace {

constexpr wchar_t kPreviewClass[] = L"VeltoCredentialsMap.frmRemoveDeleted";
constexpr wchar_t kRestoreClass[] = L"VeltoCredentialsMap.frmRestore";
constexpr int kPreviewList = 100;
constexpr int kPreviewRemoveChecked = 102;
constexpr int kRestoreList = 100;
constexpr int kRestoreChecked = 101;

std::wstring Text(int id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text, static_cast<size_t>(std::max(length, 0)));
}

// Accounts as this machine answers for them: BUILTIN numbers it has no group for are
// Deleted; another domain's SID and bytes that hold no SID are Unverified.
struct Mapping {
    const wchar_t* sidLiteral;
    const wchar_t* key;
};
const Mapping kMappings[] = {
    {L"S-1-5-32-544", L"B-1"},         // Resolved
    {L"S-1-5-32-998", L"B-2"},         // Deleted
    {L"S-1-5-21-1-2-3-1001", L"B-3"},  // Unverified: unknown domain
    {L"S-1-5-32-997", L"B-4"},         // Deleted, left unticked
    {L"", L"B-5"},                     // Unverified: bad bytes
    {L"S-1-5-32-996", L"B-6"},         // Deleted, changed after the load
    {L"S-1-5-32-995", L"B-7"},         // Deleted
};

std::vector<std::wstring> Statements()
{
    std::vector<std::wstring> statements = {L"INSERT INTO Subscriber VALUES ('OBJ-1', 'ops', 'ops', 'Operators')",
                                            L"INSERT INTO Subscriber VALUES ('OBJ-2', 'dev', 'dev', 'Developers')"};
    for (const Mapping& m : kMappings)
        statements.push_back(L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, msrepl_tran_version) "
                             L"VALUES ('OBJ-1', " +
                             (*m.sidLiteral ? test::SidLiteral(m.sidLiteral) : std::wstring(L"X'0105AB'")) + L", 0, " +
                             test::Quote(test::Key(m.key)) + L")");
    return statements;
}

// The whole table in key order, every column as text.
std::vector<test::TextRow> Table(const std::wstring& connection)
{
    return test::QueryRows(connection, L"SELECT SubscriberObjectID, hex(Credentials), IsPrimary, msrepl_tran_version "
                                       L"FROM Credential ORDER BY msrepl_tran_version");
}

// The first column of a list view in the program.
std::vector<std::wstring> FirstColumn(const Program& program, HWND list)
{
    RemoteBuffer memory(program, sizeof(LVITEMW) + 512 * sizeof(wchar_t));
    std::vector<std::wstring> texts;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        LVITEMW item = {};
        item.iSubItem = 0;
        item.cchTextMax = 512;
        item.pszText = reinterpret_cast<wchar_t*>(memory.At(sizeof(LVITEMW)));
        memory.Write(0, &item, sizeof item);
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), memory.At());
        texts.push_back(memory.ReadText(sizeof(LVITEMW), 512));
    }
    return texts;
}

std::vector<bool> Ticks(HWND list)
{
    std::vector<bool> ticks;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row)
        ticks.push_back(((SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK) >> 12) - 1) != 0);
    return ticks;
}

void Answer(const MessageBoxView& box, int button)
{
    Press(box.box, button);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box.box) || !IsWindowVisible(box.box); }, 5000));
}

TEST(EndToEndBulk, RemovesTheDeletedAccountsMappingsAndRestoreBringsThemBack)
{
    ScenarioFolder folder(L"bulk_removal");
    ProductRegistry registry(ProductValues{});
    folder.AddProgram();
    const std::wstring connection = folder.CreateDatabase(Statements());
    Program program(folder);
    const HWND main = program.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    GridProbe grid(program, main);
    const int gridRowsBefore = grid.Count();

    ASSERT_TRUE(Activate(main));
    PickMenu(main, 1, 1);  // Edit > Remove Deleted Accounts
    const HWND preview = program.WaitForWindow(kPreviewClass, 10000);
    ASSERT_NE(preview, nullptr) << "no preview";
    const HWND list = GetDlgItem(preview, kPreviewList);
    std::vector<std::wstring> listed = FirstColumn(program, list);
    std::sort(listed.begin(), listed.end(), std::greater<>());
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"S-1-5-32-998", L"S-1-5-32-997", L"S-1-5-32-996", L"S-1-5-32-995"}))
        << "exactly the deleted accounts";
    EXPECT_EQ(Ticks(list), std::vector<bool>(4, true));

    // The row of S-1-5-32-997 is unticked from the keyboard.
    const std::vector<std::wstring> order = FirstColumn(program, list);
    const int unticked = static_cast<int>(std::find(order.begin(), order.end(), L"S-1-5-32-997") - order.begin());
    ASSERT_TRUE(Activate(preview));
    for (int i = 0; i < unticked; ++i)
        Keys({VK_DOWN});
    Keys({VK_SPACE});
    ASSERT_TRUE(WaitUntil([&] { return !Ticks(list)[static_cast<size_t>(unticked)]; }, 5000)) << "Space did not untick";

    // Another connection points B-6 at another subscriber after the load.
    test::Execute(connection, {L"UPDATE Credential SET SubscriberObjectID = 'OBJ-2' WHERE msrepl_tran_version = " +
                               test::Quote(test::Key(L"B-6"))});
    const std::vector<test::TextRow> tableChanged = Table(connection);

    PostMessageW(GetDlgItem(preview, kPreviewRemoveChecked), BM_CLICK, 0, 0);
    const auto question = WaitForMessageBox(program);
    ASSERT_TRUE(question.has_value()) << "no question";
    EXPECT_EQ(question->text, L"Remove 3 mappings of deleted accounts? Each row is first written to the restore file.");
    EXPECT_EQ(GetWindowLongW(GetDlgItem(question->box, IDNO), GWL_STYLE) & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON)
        << "No is the default";
    Press(question->box, IDYES);

    // The window answers a 0.5 s probe until the summary stands.
    int probes = 0;
    std::optional<MessageBoxView> summary;
    while (!(summary = [&]() -> std::optional<MessageBoxView> {
        for (const MessageBoxView& box : MessageBoxes(program))
            if (box.text.starts_with(Text(IDS_BULK_REMOVED)))
                return box;
        return std::nullopt;
    }())) {
        DWORD_PTR result = 0;
        ASSERT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 500, &result), 0)
            << "the window did not answer within 0.5 s (probe " << probes << ")";
        ASSERT_LT(++probes, 600) << "no summary";
        Sleep(50);
    }
    const std::wstring restoreFile = folder.Path(L"CredentialsRemoved.txt");
    EXPECT_EQ(summary->text, L"Mappings removed: 2\r\nMappings skipped: 1\r\nS-1-5-32-996: " + Text(IDS_SKIP_CHANGED) +
                                 L"\r\n\r\nRestore file: " + restoreFile);
    Answer(*summary, IDOK);

    // Exactly B-2 and B-7 went, from the table and the grid; the log names both.
    std::vector<test::TextRow> expected = tableChanged;
    std::erase_if(expected, [](const test::TextRow& row) {
        return row[3] == test::Key(L"B-2") || row[3] == test::Key(L"B-7");
    });
    EXPECT_EQ(Table(connection), expected);
    EXPECT_TRUE(WaitUntil([&] { return grid.Count() == gridRowsBefore - 2; }, 5000)) << "the grid did not lose exactly the removed rows";
    const std::string log = folder.ReadBytes(L"CredentialsLog.txt");
    for (const char* sid : {"S-1-5-32-998", "S-1-5-32-995"})
        EXPECT_NE(log.find(std::string("Deleted credential map for ") + sid + "\r\n"), std::string::npos) << sid;
    EXPECT_EQ(log.find("S-1-5-32-996"), std::string::npos);
    EXPECT_EQ(log.find("S-1-5-32-997"), std::string::npos);

    // File > Restore Removed Mappings: both ticked, both back, byte for byte.
    ASSERT_TRUE(Activate(main));
    PickMenu(main, 0, 1);
    const HWND restore = program.WaitForWindow(kRestoreClass, 10000);
    ASSERT_NE(restore, nullptr) << "no restore window";
    ASSERT_EQ(SendMessageW(GetDlgItem(restore, kRestoreList), LVM_GETITEMCOUNT, 0, 0), 2);
    ASSERT_TRUE(Activate(restore));
    Keys({VK_SPACE, VK_DOWN, VK_SPACE});
    ASSERT_TRUE(WaitUntil([&] { return Ticks(GetDlgItem(restore, kRestoreList)) == std::vector<bool>{true, true}; }, 5000));
    PostMessageW(GetDlgItem(restore, kRestoreChecked), BM_CLICK, 0, 0);
    const auto restored = WaitForMessageBox(program, 30000);
    ASSERT_TRUE(restored.has_value());
    EXPECT_TRUE(restored->text.starts_with(Text(IDS_RESTORE_DONE) + L"2\r\n")) << ToUtf8(restored->text);
    Answer(*restored, IDOK);
    EXPECT_EQ(Table(connection), tableChanged) << "the table is back as it was before the removal";
    EXPECT_TRUE(WaitUntil([&] { return grid.Count() == gridRowsBefore; }, 5000));

    ASSERT_TRUE(Activate(main));
    PickMenu(main, 0, 2);  // File > Exit
    EXPECT_TRUE(program.WaitForExit(10000));
}

}  // namespace
}  // namespace vcm::e2e
