// Edit > Remove Deleted Accounts and File > Restore Removed Mappings on the real program:
// a database with resolved, deleted and unverified accounts, the preview driven from the
// keyboard, a row changed by another connection after the load, the window probed while the
// removal runs, then everything put back and compared with the table as it was.
#include <windows.h>
#include <commctrl.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Driver.h"
#include "TestDb.h"
#include "VeltoCredentialsMapResCONST.h"
#include "mapping/OdbcConnection.h"
#include "platform/TextConv.h"

namespace vcm::e2e {
namespace {

constexpr wchar_t kPreviewClass[] = L"VeltoCredentialsMap.frmRemoveDeleted";
constexpr wchar_t kRestoreClass[] = L"VeltoCredentialsMap.frmRestore";
constexpr wchar_t kProgressClass[] = L"VeltoCredentialsMap.frmProgress";
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

// The SID of this machine's own account domain, as the local authority names it.
std::wstring MachineDomainSid()
{
    LSA_OBJECT_ATTRIBUTES attributes = {};
    LSA_HANDLE policy = nullptr;
    if (LsaOpenPolicy(nullptr, &attributes, POLICY_VIEW_LOCAL_INFORMATION, &policy) != 0)
        return {};
    POLICY_ACCOUNT_DOMAIN_INFO* info = nullptr;
    std::wstring text;
    if (LsaQueryInformationPolicy(policy, PolicyAccountDomainInformation, reinterpret_cast<void**>(&info)) == 0) {
        wchar_t* sid = nullptr;
        if (info->DomainSid && ConvertSidToStringSidW(info->DomainSid, &sid)) {
            text = sid;
            LocalFree(sid);
        }
        LsaFreeMemory(info);
    }
    LsaClose(policy);
    return text;
}

// Accounts as this machine answers for them: numbers of the machine's own domain that no
// account holds are Deleted; another domain's SID and bytes that hold no SID are Unverified.
struct Mapping {
    std::wstring sid;  // empty: bytes that hold no SID
    std::wstring key;
};
struct Accounts {
    std::wstring deleted1, deletedUnticked, deletedChanged, deleted2;
    std::vector<Mapping> mappings;
};

Accounts MakeAccounts()
{
    const std::wstring domain = MachineDomainSid();
    Accounts a{domain + L"-4091", domain + L"-4092", domain + L"-4093", domain + L"-4094", {}};
    a.mappings = {
        {L"S-1-5-32-544", L"B-1"},         // Resolved
        {a.deleted1, L"B-2"},              // Deleted
        {L"S-1-5-21-1-2-3-1001", L"B-3"},  // Unverified: unknown domain
        {a.deletedUnticked, L"B-4"},       // Deleted, left unticked
        {L"", L"B-5"},                     // Unverified: bad bytes
        {a.deletedChanged, L"B-6"},        // Deleted, changed after the load
        {a.deleted2, L"B-7"},              // Deleted
    };
    return a;
}

std::vector<std::wstring> Statements(const Accounts& accounts)
{
    std::vector<std::wstring> statements = {L"INSERT INTO Subscriber VALUES ('OBJ-1', 'ops', 'ops', 'Operators')",
                                            L"INSERT INTO Subscriber VALUES ('OBJ-2', 'dev', 'dev', 'Developers')"};
    for (const Mapping& m : accounts.mappings)
        statements.push_back(L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, msrepl_tran_version) "
                             L"VALUES ('OBJ-1', " +
                             (m.sid.empty() ? std::wstring(L"X'0105AB'") : test::SidLiteral(m.sid.c_str())) + L", 0, " +
                             test::Quote(test::Key(m.key)) + L")");
    return statements;
}

// How many times the text occurs.
size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
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
    const Accounts accounts = MakeAccounts();
    ASSERT_TRUE(accounts.deleted1.starts_with(L"S-1-5-21-")) << "no machine domain";
    ScenarioFolder folder(L"bulk_removal");
    ProductRegistry registry(ProductValues{});
    folder.AddProgram();
    const std::wstring connection = folder.CreateDatabase(Statements(accounts));
    // Wine traces each ReportEventW call, with its strings, on the event log channel.
    Program program(folder, "+eventlog", L"trace.txt");
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
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{accounts.deleted1, accounts.deletedUnticked, accounts.deletedChanged,
                                                 accounts.deleted2}))
        << "exactly the deleted accounts";
    EXPECT_EQ(Ticks(list), std::vector<bool>(4, true));

    // One row is unticked from the keyboard.
    const std::vector<std::wstring> order = FirstColumn(program, list);
    const int unticked =
        static_cast<int>(std::find(order.begin(), order.end(), accounts.deletedUnticked) - order.begin());
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
    // Another session holds the database locked for three seconds after the Yes: the pass
    // waits for it behind its progress window, and the window answers every probe meanwhile.
    OdbcConnection locker(connection);
    locker.Execute(L"BEGIN EXCLUSIVE");
    Press(question->box, IDYES);
    const auto findSummary = [&]() -> std::optional<MessageBoxView> {
        for (const MessageBoxView& box : MessageBoxes(program))
            if (box.text.starts_with(Text(IDS_BULK_REMOVED)))
                return box;
        return std::nullopt;
    };
    const auto probe = [&](int n) {
        DWORD_PTR result = 0;
        EXPECT_NE(SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 500, &result), 0)
            << "the window did not answer within 0.5 s (probe " << n << ")";
        Sleep(100);
    };
    int probes = 0;
    for (const ULONGLONG lockedUntil = GetTickCount64() + 3000; GetTickCount64() < lockedUntil;)
        probe(++probes);
    EXPECT_GE(probes, 10);
    EXPECT_FALSE(program.Windows(kProgressClass).empty()) << "no progress window while the pass waits";
    EXPECT_FALSE(findSummary().has_value()) << "the pass ended while the table was locked";
    locker.Execute(L"ROLLBACK");

    // The window answers a 0.5 s probe until the summary stands.
    std::optional<MessageBoxView> summary;
    while (!(summary = findSummary())) {
        probe(++probes);
        ASSERT_LT(probes, 600) << "no summary";
    }
    const std::wstring restoreFile = folder.Path(L"CredentialsRemoved.txt");
    EXPECT_EQ(summary->text, L"Mappings removed: 2\r\nMappings skipped: 1\r\n" + accounts.deletedChanged + L": " + Text(IDS_SKIP_CHANGED) +
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
    for (const std::wstring& sid : {accounts.deleted1, accounts.deleted2})
        EXPECT_NE(log.find("Deleted credential map for " + ToUtf8(sid) + "\r\n"), std::string::npos) << ToUtf8(sid);
    EXPECT_EQ(log.find(ToUtf8(accounts.deletedChanged)), std::string::npos);
    EXPECT_EQ(log.find(ToUtf8(accounts.deletedUnticked)), std::string::npos);

    // One information entry of the program's kind per removed row, naming account, alias and
    // the operator who ran the program.
    wchar_t user[256] = {};
    DWORD userLength = 256;
    ASSERT_TRUE(GetUserNameW(user, &userLength));
    std::string trace;
    EXPECT_TRUE(WaitUntil([&] { return Occurrences(trace = folder.ReadBytes(L"trace.txt"), "trace:eventlog:ReportEventW") >= 2; }, 5000))
        << trace;
    EXPECT_EQ(Occurrences(trace, "trace:eventlog:ReportEventW"), 2u) << trace;
    EXPECT_EQ(Occurrences(trace, "0x0004,0x0000,0x000003e8"), 2u) << trace;
    for (const std::wstring& sid : {accounts.deleted1, accounts.deleted2})
        EXPECT_NE(trace.find("Deleted credential map for " + ToUtf8(sid) + " (Velto alias ops) by "), std::string::npos)
            << ToUtf8(sid) << "\n" << trace;
    EXPECT_NE(trace.find("\\\\" + ToUtf8(user)), std::string::npos) << "the operator\n" << trace;
    EXPECT_EQ(trace.find(ToUtf8(accounts.deletedChanged)), std::string::npos) << trace;

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
