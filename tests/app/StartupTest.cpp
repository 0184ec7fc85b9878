// The startup sequence run from the main window's load, on the real registry of the test
// prefix and a real database named as the fixed connection string names it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ScriptedDialogs.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "WindowTesting.h"
#include "app/frmMain.h"
#include "mapping/OdbcConnection.h"
#include "localize/modLocalize.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/VeltoVersion.h"
#include "resource.h"

namespace vcm {

namespace {

constexpr wchar_t kProductKey[] = L"Software\\Orvanto";
constexpr wchar_t kConnectorKey[] = L"SOFTWARE\\Orvanto\\SystemParameters\\1.0";

void SetDword(const wchar_t* key, const wchar_t* name, DWORD value)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    RegSetValueExW(h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(h);
}

void SetText(const wchar_t* key, const wchar_t* name, const std::optional<std::wstring>& value)
{
    HKEY h = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr), ERROR_SUCCESS);
    if (value)
        RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                       static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(h, name);
    RegCloseKey(h);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class StartupTest : public testing::Test {
protected:
    void SetUp() override
    {
        SetAppDialogs(&dialogs);
        logPath = AppFolder() + L"\\CredentialsLog.txt";
        DeleteFileW(logPath.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        // The fixed connection string opens "VeltoDb" in the working folder.
        test::CreateVeltoDb(L"VeltoDb", {
            L"INSERT INTO Subscriber VALUES ('S1','ops','ops','Operators')",
            L"INSERT INTO Credential VALUES ('S1'," + test::SidLiteral(L"S-1-5-32-544") + L",1," + test::Quote(test::Key(L"K1")) + L")",
            L"INSERT INTO SIDHistory VALUES ('S1'," + test::SidLiteral(L"S-1-1-0") + L",0," + test::Quote(test::Key(L"H1")) + L")",
        });
    }

    void TearDown() override
    {
        main.reset();
        CloseLog();
        DeleteFileW(logPath.c_str());
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        SetAppDialogs(nullptr);
        gProductVersion = ProductVersion{};
        test::Pump();
    }

    void Start()
    {
        main = std::make_unique<frmMain>(dialogs);
        main->SetProcessEnder([this](UINT) { ++ended; });
        main->Create();
        main->Form_Load();
    }

    test::ScriptedDialogs dialogs;
    std::unique_ptr<frmMain> main;
    std::wstring logPath;
    int ended = 0;
};

}  // namespace

TEST_F(StartupTest, GateRefusesOldVersionsAndTheDominoConnector)
{
    struct Row {
        const char* name;
        std::optional<DWORD> version;  // nothing: the value is missing
        DWORD build;
        std::optional<std::wstring> connector;
        const wchar_t* refusal;        // nullptr: the program starts
    };
    const wchar_t* versionText =
        L"This tool only runs on servers with Velto 3.1(1) or later installed.  Exiting.";
    const wchar_t* connectorText =
        L"This tool only runs on Velto servers configured with Exchange 5.5 or Exchange 2000";
    const Row rows[] = {
        {"3.1 with any build", 0x00030001, 0x00000001, std::nullopt, nullptr},
        {"3.2", 0x00030002, 0, std::nullopt, nullptr},
        {"4.0", 0x00040000, 0x00020069, std::wstring(L"ZrDsExchange.ZrIDCExchange.1"), nullptr},
        {"3.0 with a high build", 0x00030000, 0x9999FFFF, std::nullopt, versionText},
        {"2.9", 0x00020009, 0, std::nullopt, versionText},
        {"no version value", std::nullopt, 0, std::nullopt, versionText},
        {"Domino connector in lower case", 0x00040000, 0, std::wstring(L"zrdsdomino.zridcdomino.1"), connectorText},
        {"Domino connector with a trailing blank", 0x00040000, 0, std::wstring(L"ZrDsDomino.ZrIDCDomino.1 "), nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kProductKey);
        if (row.version)
            SetDword(kProductKey, L"Version Number", *row.version);
        SetDword(kProductKey, L"Build Number", row.build);
        SetText(kConnectorKey, L"IDCProgID", row.connector);
        dialogs.messages.clear();
        ended = 0;
        gProductVersion = ProductVersion{};

        Start();

        if (row.refusal) {
            ASSERT_EQ(dialogs.messages.size(), 1u);
            EXPECT_EQ(dialogs.messages[0].text, row.refusal);
            EXPECT_EQ(dialogs.messages[0].title, L"VeltoCredentialsMap");
            EXPECT_EQ(dialogs.messages[0].type, static_cast<UINT>(MB_OK));
            EXPECT_EQ(ended, 1);
            EXPECT_FALSE(Exists(logPath)) << "a refused start touches no log";
            EXPECT_EQ(main->LoadCount(), 0);
        } else {
            EXPECT_TRUE(dialogs.messages.empty());
            EXPECT_EQ(ended, 0);
            EXPECT_EQ(main->ConnectionString(), L"Driver={SQL Server};server=;database=VeltoDb");
            EXPECT_EQ(main->LoadCount(), 1);
            EXPECT_TRUE(Exists(logPath));
        }
        main.reset();
        CloseLog();
        DeleteFileW(logPath.c_str());
    }
}

TEST_F(StartupTest, AcceptedServerLoadsItsTableAndWritesTheLogHeader)
{
    struct Row {
        DWORD version;
        std::wstring key;  // the one mapping the version's table holds; empty when the table is gone
    };
    const Row rows[] = {{0x00040000, test::Key(L"K1")}, {0x00030001, test::Key(L"H1")}, {0x00040000, L""}};
    for (const Row& row : rows) {
        SetDword(kProductKey, L"Version Number", row.version);
        SetDword(kProductKey, L"Build Number", 0x00020069);
        std::wstring expectedMessage;
        if (row.key.empty()) {
            // A mapping table that cannot be read is said once, as the startup's own failures are.
            const std::wstring connection = test::ConnectionString(L"VeltoDb");
            test::Execute(connection, {L"DROP TABLE Credential"});
            expectedMessage = std::wstring(L"(error):1 ([HY000] ") + (test::SqlServerPersonality() ? L"" : L"[SQLite]") +
                              L"no such table: credential (1)) in procedure Form_Load of Form frmMain";
        }
        dialogs.messages.clear();
        test::TakeTimeoutRecord(L"VeltoDb");
        Start();
        GridModel& grid = main->Grid();
        if (!row.key.empty()) {
            ASSERT_EQ(grid.Rows(), 2);
            EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(L"SID")), row.key);
            EXPECT_TRUE(dialogs.messages.empty());
            // Under the SQL Server personality the driver saw the usual time-outs, and only them.
            for (const std::string& timeout : test::TakeTimeoutRecord(L"VeltoDb"))
                EXPECT_TRUE(timeout == "login-timeout 15" || timeout == "query-timeout 30") << timeout;
        } else {
            EXPECT_EQ(grid.Rows(), 1);
            ASSERT_EQ(dialogs.messages.size(), 1u);
            EXPECT_EQ(dialogs.messages[0].text, expectedMessage);
            EXPECT_EQ(dialogs.messages[0].type, static_cast<UINT>(MB_OK));
        }
        EXPECT_EQ(gProductVersion.BuildLow, 105);
        main.reset();
        CloseLog();
        const std::string log = test::FileBytes(logPath);
        const std::string header = "\r\n" + std::string(61, '*') + "\r\nRunning " + ToAnsi(ExeBaseName()) +
                                   " version: 1.0.5\r\n";
        EXPECT_EQ(log.rfind(header, 0), 0u) << log;
        DeleteFileW(logPath.c_str());
    }
}

// A server that stops answering: at the start it waits out the login time-out once (not once
// per connection it would open); part way through the rows, each read waits out the statement
// time-out. Either way the start says so once in the trap's form and leaves an empty grid in
// a window that answers.
TEST_F(StartupTest, SilentServerEndsAtItsTimeOut)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "plain SQLite has no server that could keep silent";
    const struct {
        const char* what;
        std::string server;
        unsigned statementSeconds;
        std::chrono::milliseconds atLeast, below;
    } cases[] = {
        // Both sets of the load wait once; a wait without end would not come back at all.
        {"stops after the first row", "fetch-blocks-after 1", 2, std::chrono::milliseconds(1900),
         std::chrono::seconds(12)},
        {"never answers", "unanswering", kStatementTimeoutSeconds, std::chrono::milliseconds(14900),
         std::chrono::seconds(25)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetDword(kProductKey, L"Version Number", 0x00040000);
        SetDword(kProductKey, L"Build Number", 0x00020069);
        test::SetServerBehaviour(L"VeltoDb", {c.server});
        SetStatementTimeout(c.statementSeconds);
        dialogs.messages.clear();
        const auto started = std::chrono::steady_clock::now();
        Start();
        const auto waited = std::chrono::steady_clock::now() - started;
        SetStatementTimeout(kStatementTimeoutSeconds);

        EXPECT_GE(waited, c.atLeast);
        EXPECT_LT(waited, c.below);
        ASSERT_EQ(dialogs.messages.size(), 1u);
        const std::wstring& text = dialogs.messages[0].text;
        EXPECT_TRUE(text.starts_with(L"(error):") && text.find(L"[HYT00]") != std::wstring::npos &&
                    text.ends_with(L") in procedure Form_Load of Form frmMain"))
            << ToUtf8(text);
        EXPECT_EQ(main->Grid().Rows(), 1);
        DWORD_PTR answer = 0;
        EXPECT_NE(SendMessageTimeoutW(main->Hwnd(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer), 0);
        EXPECT_EQ(ended, 0);
        main.reset();
        CloseLog();
        test::SetServerBehaviour(L"VeltoDb", {});
        ForgetSilentServers();
    }
}

// Runs in the process that the test script starts with a German user locale (LC_ALL
// de_DE.UTF-8); a German library named after the test program lies beside it. There a user
// language other than German is a broken set-up, not a reason to skip.
TEST_F(StartupTest, GermanUserOpensWithBuiltInCaptionsButGermanMessages)
{
    wchar_t locale[64] = {};
    const DWORD length = GetEnvironmentVariableW(L"LC_ALL", locale, 64);
    if (length == 0 || length >= 64 || std::wstring_view(locale).substr(0, 3) != L"de_")
        GTEST_SKIP() << "runs in the German suite (LC_ALL=de_DE.UTF-8)";
    ASSERT_EQ(GetUserDefaultLangID(), 0x0407) << "the German suite runs without German (Germany) as user language";
    gCurrentLangID = 0;
    SetDword(kProductKey, L"Version Number", 0x00020009);
    Start();
    ASSERT_NE(gLangLibrary, nullptr) << "the German library beside the test program";
    wchar_t caption[128] = {};
    GetWindowTextW(main->Hwnd(), caption, 128);
    EXPECT_STREQ(caption, L"Brenvik Velto Credentials Mapping");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, myLoadResString(IDS_REFUSED_VERSION));
    EXPECT_NE(dialogs.messages[0].text.find(L"Velto 3.1(1)"), std::wstring::npos);
    EXPECT_EQ(dialogs.messages[0].text.find(L"This tool"), std::wstring::npos);
}

}  // namespace vcm
