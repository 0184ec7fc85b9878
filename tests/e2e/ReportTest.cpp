// The command-line report run as a scheduler runs it: the real exe with arguments in a
// folder with a real database, its exit code, its standard streams, the file read back by
// an RFC 4180 reader, and the windows it creates (none).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "Driver.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "VeltoCredentialsMapResCONST.h"
#include "mapping/AccountLookup.h"
#include "mapping/AccountPlatform.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

namespace vcm::e2e {
namespace {

using Record = std::vector<std::wstring>;

// The built-in catalogue, which every test binary carries as the program does.
std::wstring Text(int id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text, static_cast<size_t>(std::max(length, 0)));
}

// RFC 4180: records end with CR LF (the last one too); a field is plain or in double
// quotes with inner quotes doubled, and only a quoted field may hold a comma, a quote or a
// line break. Nothing when the text breaks these rules.
std::optional<std::vector<Record>> ReadCsv(std::wstring_view text)
{
    std::vector<Record> records;
    Record record;
    std::wstring field;
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == L'"') {
            for (++i;; ++i) {
                if (i >= text.size())
                    return std::nullopt;
                if (text[i] == L'"') {
                    if (i + 1 < text.size() && text[i + 1] == L'"')
                        ++i;
                    else
                        break;
                }
                field += text[i];
            }
            ++i;
        } else {
            while (i < text.size() && text[i] != L',' && text[i] != L'\r') {
                if (text[i] == L'"' || text[i] == L'\n')
                    return std::nullopt;
                field += text[i++];
            }
        }
        record.push_back(std::move(field));
        field.clear();
        if (i < text.size() && text[i] == L',') {
            ++i;
            continue;
        }
        if (text.substr(i, 2) != L"\r\n")
            return std::nullopt;
        i += 2;
        records.push_back(std::move(record));
        record.clear();
    }
    return records;
}

// The account domain of this machine, whose unused numbers its own authority calls deleted.
std::wstring MachineDomain() { return SidString(SystemAccountPlatform()->AccountDomainSid()); }

struct Mapping {
    std::wstring subscriber;
    std::wstring uid;       // the subscriber's alias; no subscriber row when empty and subscriber is OBJ-9
    std::wstring sid;       // SQL literal of the stored bytes
    const wchar_t* primary;
    Record expected;        // the report's record
};

// In table order: resolved, deleted and unverified accounts, aliases with commas, quotes,
// line breaks and letters outside any ANSI code page.
std::vector<Mapping> Mappings()
{
    const std::wstring deleted = MachineDomain() + L"-4242";
    return {
        {L"OBJ-1", L"administrators", test::SidLiteral(L"S-1-5-32-544"), L"1",
         {L"BUILTIN", L"Administrators", L"1", L"administrators", L"S-1-5-32-544", L"Resolved"}},
        {L"OBJ-2", L"Smith, John", test::SidLiteral(L"S-1-5-32-545"), L"0",
         {L"BUILTIN", L"Users", L"0", L"Smith, John", L"S-1-5-32-545", L"Resolved"}},
        {L"OBJ-3", L"O\"Brien", test::SidLiteral(L"S-1-5-18"), L"NULL",
         {L"NT AUTHORITY", L"SYSTEM", L"0", L"O\"Brien", L"S-1-5-18", L"Resolved"}},
        {L"OBJ-4", L"line one\r\nline two", test::SidLiteral(L"S-1-1-0"), L"0",
         {L"", L"Everyone", L"0", L"line one\r\nline two", L"S-1-1-0", L"Resolved"}},
        {L"OBJ-5", L"J\u00FCrgen \u0141ukasz \u65E5\u672C", test::SidLiteral(deleted), L"1",
         {L"", L"", L"1", L"J\u00FCrgen \u0141ukasz \u65E5\u672C", deleted, L"Deleted"}},
        // A domain nobody here answers for; the empty alias equals the empty name: not custom.
        {L"OBJ-6", L"", test::SidLiteral(L"S-1-5-21-7-7-7-4242"), L"0",
         {L"", L"", L"0", L"", L"S-1-5-21-7-7-7-4242", L"Unverified"}},
        {L"OBJ-7", L"", L"X'0105'", L"0", {L"", L"", L"0", L"", L"0x0105", L"Unverified"}},
        {L"OBJ-9", L"", L"NULL", L"1", {L"", L"", L"1", L"ERROR!", L"", L"Unverified"}},
    };
}

struct Layout {
    DWORD versionNumber;
    const wchar_t* table;
    const wchar_t* subscriberColumn;
    const wchar_t* sidColumn;
};
constexpr Layout kVersion3 = {0x00030001, L"SIDHistory", L"ParentObjectID", L"SID"};
constexpr Layout kVersion4 = {0x00040000, L"Credential", L"SubscriberObjectID", L"Credentials"};

std::vector<std::wstring> Statements(const Layout& layout, const std::vector<Mapping>& mappings)
{
    std::vector<std::wstring> statements;
    int n = 0;
    for (const Mapping& m : mappings) {
        ++n;
        if (m.subscriber != L"OBJ-9")
            statements.push_back(L"INSERT INTO Subscriber VALUES (" + test::Quote(m.subscriber) + L", " +
                                 test::Quote(m.uid) + L", " + test::Quote(m.uid) + L", 'x')");
        wchar_t key[40];
        swprintf(key, 40, L"00000000-0000-0000-0000-%012d", n);
        statements.push_back(std::wstring(L"INSERT INTO ") + layout.table + L" (" + layout.subscriberColumn + L", " +
                             layout.sidColumn + L", IsPrimary, msrepl_tran_version) VALUES (" +
                             test::Quote(m.subscriber) + L", " + m.sid + L", " + m.primary + L", '" + key + L"')");
    }
    return statements;
}

// A folder with the program, a database and the product's registry values.
struct Scene {
    Scene(const std::wstring& name, const Layout& layout, ProductValues values = {})
        : folder(name), registry([&] {
              values.versionNumber = layout.versionNumber;
              return values;
          }())
    {
        folder.AddProgram();
        connection = folder.CreateDatabase(Statements(layout, Mappings()));
    }
    CommandResult Run(const std::wstring& arguments) const { return RunCommand(folder.Path(), arguments); }

    ScenarioFolder folder;
    ProductRegistry registry;
    std::wstring connection;
};

void ExpectNoWindow(const CommandResult& r)
{
    EXPECT_TRUE(r.ended) << "the command did not end";
    EXPECT_TRUE(r.windowsCreated.empty()) << "created a window of class " << ToUtf8(r.windowsCreated.front());
}

// The file's records: a byte-order mark, then CSV in UTF-8.
std::vector<Record> ReadReport(const ScenarioFolder& folder, const std::wstring& file)
{
    const std::string bytes = folder.ReadBytes(file);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << "no byte-order mark";
    const auto records = ReadCsv(FromUtf8(bytes.substr(3)));
    EXPECT_TRUE(records.has_value()) << "not RFC 4180: " << bytes;
    return records.value_or(std::vector<Record>{});
}

TEST(Report, EachSwitchWritesTheMappingsItSelectsWithTheExitCodeTheyCall)
{
    const Record header = {L"Domain", L"AD_Alias", L"Primary", L"Velto_Alias", L"SID", L"Account"};
    const struct {
        const wchar_t* switches;
        std::vector<int> rows;  // indexes into Mappings()
        DWORD exitCode;
    } cases[] = {
        {L"", {0, 1, 2, 3, 4, 5, 6, 7}, 1},               // everything; one account deleted
        {L"/deleted", {4, 5, 6, 7}, 1},                    // only what is not resolved
        {L"-CUSTOM", {1, 2, 3, 4, 7}, 1},                  // as the View option; '-' and any case
        {L"/NoPrimary", {1, 2, 3, 5, 6}, 2},               // the deleted account is primary
        {L"/custom /noprimary", {1, 2, 3}, 0},             // only resolved accounts left
        {L"/noprimary /deleted", {5, 6}, 2},
        {L"/deleted /custom -noprimary", {}, 0},           // nothing to write is no failure
    };
    const std::vector<Mapping> mappings = Mappings();
    for (const Layout& layout : {kVersion4, kVersion3}) {
        Scene scene(L"report", layout);
        for (const auto& c : cases) {
            SCOPED_TRACE(ToUtf8(std::wstring(layout.table) + L" " + c.switches));
            const CommandResult r = scene.Run(std::wstring(L"/report audit.csv ") + c.switches);
            ExpectNoWindow(r);
            EXPECT_EQ(r.exitCode, c.exitCode) << ToUtf8(r.err);
            EXPECT_TRUE(r.out.empty()) << ToUtf8(r.out);
            std::vector<Record> expected = {header};
            size_t deleted = 0, unverified = 0;
            for (int row : c.rows) {
                expected.push_back(mappings[row].expected);
                deleted += mappings[row].expected.back() == L"Deleted";
                unverified += mappings[row].expected.back() == L"Unverified";
            }
            EXPECT_EQ(ReadReport(scene.folder, L"audit.csv"), expected);
            EXPECT_EQ(r.err, std::to_wstring(c.rows.size()) + L" mappings written to audit.csv: " +
                                 std::to_wstring(deleted) + L" deleted, " + std::to_wstring(unverified) +
                                 L" unverified.\r\n");
        }
    }
}

TEST(Report, RefusedOrFailedWritesNothingAndExitsWithThree)
{
    constexpr wchar_t kExchange[] = L"ZrDsExchange.ZrIDCExchange.1";
    const std::string previous = "an earlier report\r\n";
    const struct {
        const char* what;
        DWORD version;
        const wchar_t* connector;
        const wchar_t* arguments;
        std::wstring errStart;             // the reason on standard error
        std::vector<std::wstring> setUp;   // statements run on the database first
        bool readOnlyTarget = false;
        bool logged = false;               // the failure is in the log too
    } cases[] = {
        {"version below 3.1", 0x00030000, kExchange, L"/report audit.csv", Text(IDS_REFUSED_VERSION) + L"\r\n", {}},
        {"refused connector", 0x00040000, L"zrdsdomino.zridcdomino.1", L"/report audit.csv",
         Text(IDS_REFUSED_CONNECTOR) + L"\r\n", {}},
        {"mapping table missing", 0x00040000, kExchange, L"/report audit.csv", Text(IDS_REPORT_READ_FAILED) + Text(IDS_ERROR_PREFIX),
         {L"DROP TABLE Credential"}, false, true},
        {"read-only file", 0x00040000, kExchange, L"/report audit.csv", Text(IDS_REPORT_WRITE_FAILED) + Text(IDS_ERROR_PREFIX), {}, true,
         true},
        {"folder that does not exist", 0x00040000, kExchange, L"/report no-such-folder\\audit.csv",
         Text(IDS_REPORT_WRITE_FAILED) + Text(IDS_ERROR_PREFIX), {}, false, true},
        {"no file name", 0x00040000, kExchange, L"/report /deleted",
         Text(IDS_REPORT_NO_FILE) + L"\r\n" + Text(IDS_REPORT_USAGE).substr(0, 6), {}},
        {"unknown switch", 0x00040000, kExchange, L"/report audit.csv /all",
         Text(IDS_REPORT_UNKNOWN_SWITCH) + L"/all\r\n" + Text(IDS_REPORT_USAGE).substr(0, 6), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProductValues values;
        values.connector = c.connector;
        Scene scene(L"refused", {c.version, kVersion4.table, kVersion4.subscriberColumn, kVersion4.sidColumn}, values);
        if (!c.setUp.empty())
            test::Execute(scene.connection, c.setUp);
        const std::wstring target = scene.folder.Path(L"audit.csv");
        ASSERT_TRUE(test::WriteBytes(target, previous));
        if (c.readOnlyTarget)
            SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);

        const CommandResult r = scene.Run(c.arguments);
        ExpectNoWindow(r);
        EXPECT_EQ(r.exitCode, 3u);
        EXPECT_TRUE(r.err.starts_with(c.errStart)) << ToUtf8(r.err);
        EXPECT_TRUE(r.out.empty()) << ToUtf8(r.out);
        EXPECT_EQ(scene.folder.ReadBytes(L"audit.csv"), previous) << "the earlier file changed";
        SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        // Nothing else in the folder: no temporary file, and a log only when the start got that far.
        std::vector<std::wstring> expected = {L"audit.csv", L"VeltoCredentialsMap.exe", L"VeltoDb"};
        const std::string log = scene.folder.ReadBytes(L"CredentialsLog.txt");
        if (c.logged) {
            expected.insert(expected.begin(), L"CredentialsLog.txt");
            const std::wstring lastLine = r.err.substr(0, r.err.find(L"\r\n"));
            EXPECT_NE(log.find(ToAnsi(L": " + lastLine + L"\r\n")), std::string::npos) << log;
        }
        std::vector<std::wstring> names = ListFileNames(scene.folder.Path());
        // The SQL Server personality's driver keeps its record of time-outs beside the database.
        std::erase(names, L"VeltoDb.calls");
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
}

TEST(Report, UsageOnStandardOutputForTheAskingAndNothingElse)
{
    Scene scene(L"usage", kVersion4);
    const CommandResult r = scene.Run(L"/?");
    ExpectNoWindow(r);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.err.empty()) << ToUtf8(r.err);
    EXPECT_TRUE(r.out.starts_with(L"Usage: VeltoCredentialsMap.exe /report <file>")) << ToUtf8(r.out);
    EXPECT_EQ(r.out.find(L'\n'), r.out.find(L"\r\n") + 1) << "line ends are CR LF";
    EXPECT_FALSE(scene.folder.Exists(L"CredentialsLog.txt"));
}

// The watch that proves no window was made must see the windows the same program makes
// when it starts as a window.
TEST(Report, TheWindowWatchSeesTheWindowsOfAWindowedStart)
{
    Scene scene(L"windowed", kVersion4);
    const CommandResult r = RunCommand(scene.folder.Path(), L"", 8000);
    EXPECT_FALSE(r.ended) << "the window program ended by itself: " << r.exitCode;
    EXPECT_NE(std::find(r.windowsCreated.begin(), r.windowsCreated.end(), L"VeltoCredentialsMap.frmMain"),
              r.windowsCreated.end())
        << "the watch saw " << r.windowsCreated.size() << " windows";
}

}  // namespace
}  // namespace vcm::e2e
