// The whole program driven from outside: the real VeltoCredentialsMap.exe started in a
// folder of its own with a real database, used through keyboard and mouse, and judged by
// what it shows, by its database, its activity log and its CSV file.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "Driver.h"
#include "TestDb.h"
#include "VeltoCredentialsMapResCONST.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

namespace vcm::e2e {
namespace {

constexpr wchar_t kAboutClass[] = L"VeltoCredentialsMap.frmAbout";
constexpr wchar_t kHelpClass[] = L"VeltoCredentialsMap.frmHelp";
constexpr wchar_t kLogFile[] = L"CredentialsLog.txt";

// Menu positions as the menu bar shows them (separators do not count as items).
struct MenuCommand {
    int menu;
    int item;
};
constexpr MenuCommand kExportToCsv = {0, 0};
constexpr MenuCommand kExit = {0, 2};
constexpr MenuCommand kShowOnlyCustom = {2, 0};
constexpr MenuCommand kShowPrimary = {2, 1};
constexpr MenuCommand kShowHelp = {3, 0};
constexpr MenuCommand kShowAbout = {3, 1};

// Grid columns in design order.
constexpr int kDomainColumn = 1;
constexpr int kAdAliasColumn = 2;
constexpr int kVeltoAliasColumn = 4;

void Pick(HWND window, MenuCommand command) { PickMenu(window, command.menu, command.item); }

// The built-in catalogue, which every test binary carries as the program does.
std::wstring Text(int id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text, static_cast<size_t>(std::max(length, 0)));
}

// A catalogue text as a language library in the scenario folder has it.
std::wstring LibraryText(const std::wstring& library, int id)
{
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {};
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    std::wstring result(text, static_cast<size_t>(std::max(length, 0)));
    FreeLibrary(module);
    return result;
}

// --- The database every scenario starts from -----------------------------------------------

struct Mapping {
    const wchar_t* subscriber;
    const wchar_t* sid;
    const wchar_t* primary;  // SQL literal: 1, 0 or NULL
    std::wstring key;
};

// In the order the table returns them. Accounts are well-known ones every machine resolves,
// plus one of a domain that is gone.
const Mapping kMappings[] = {
    {L"OBJ-1", L"S-1-5-32-544", L"1", test::Key(L"K-1")},          // Administrators -> administrators: not custom
    {L"OBJ-3", L"S-1-5-32-545", L"0", test::Key(L"K-2")},          // Users -> helpdesk
    {L"OBJ-2", L"S-1-5-18", L"1", test::Key(L"K-3")},              // SYSTEM -> jdoe, primary
    {L"OBJ-4", L"S-1-1-0", L"NULL", test::Key(L"K-4")},            // Everyone -> everyone: not custom
    {L"OBJ-2", L"S-1-5-21-1-2-3-1001", L"0", test::Key(L"K-5")},   // an account deleted from its domain
    {L"OBJ-9", L"S-1-5-32-544", L"0", test::Key(L"K-6")},          // no such subscriber
};

// The grid row each mapping gives.
const GridRow kRows[] = {
    {L"BUILTIN", L"Administrators", true, L"administrators", test::Key(L"K-1")},
    {L"BUILTIN", L"Users", false, L"helpdesk", test::Key(L"K-2")},
    {L"NT AUTHORITY", L"SYSTEM", true, L"jdoe", test::Key(L"K-3")},
    {L"", L"Everyone", false, L"everyone", test::Key(L"K-4")},
    {L"", L"", false, L"jdoe", test::Key(L"K-5")},
    {L"BUILTIN", L"Administrators", false, L"ERROR!", test::Key(L"K-6")},
};

std::vector<GridRow> RowsOf(std::initializer_list<int> mappings)
{
    std::vector<GridRow> rows;
    for (int m : mappings)
        rows.push_back(kRows[m]);
    return rows;
}

// Both view options checked, as every run starts.
const std::vector<GridRow> kStartRows = RowsOf({1, 2, 4, 5});

struct Layout {
    DWORD versionNumber;
    const wchar_t* table;
    const wchar_t* subscriberColumn;
    const wchar_t* sidColumn;
    const wchar_t* otherTable;  // the table this version must not read
    const wchar_t* otherSubscriberColumn;
    const wchar_t* otherSidColumn;
};
constexpr Layout kVersion3 = {0x00030001, L"SIDHistory", L"ParentObjectID", L"SID",
                              L"Credential", L"SubscriberObjectID", L"Credentials"};
constexpr Layout kVersion4 = {0x00040000, L"Credential", L"SubscriberObjectID", L"Credentials",
                              L"SIDHistory", L"ParentObjectID", L"SID"};

std::vector<std::wstring> Statements(const Layout& layout)
{
    std::vector<std::wstring> statements = {
        L"INSERT INTO Subscriber VALUES ('OBJ-1', 'administrators', 'administrators', 'Administrators')",
        L"INSERT INTO Subscriber VALUES ('OBJ-2', 'jdoe', 'jdoe', 'John Doe')",
        L"INSERT INTO Subscriber VALUES ('OBJ-3', 'helpdesk', 'helpdesk', 'Help Desk')",
        L"INSERT INTO Subscriber VALUES ('OBJ-4', 'everyone', 'everyone', 'All Users')",
        // A mapping only in the table the version does not use.
        std::wstring(L"INSERT INTO ") + layout.otherTable + L" (" + layout.otherSubscriberColumn + L", " +
            layout.otherSidColumn + L", IsPrimary, msrepl_tran_version) VALUES ('OBJ-3', " +
            test::SidLiteral(L"S-1-5-18") + L", 0, " + test::Quote(test::Key(L"WRONG-TABLE")) + L")",
    };
    for (const Mapping& m : kMappings)
        statements.push_back(std::wstring(L"INSERT INTO ") + layout.table + L" (" + layout.subscriberColumn + L", " +
                             layout.sidColumn + L", IsPrimary, msrepl_tran_version) VALUES (" +
                             test::Quote(m.subscriber) + L", " + test::SidLiteral(m.sid) + L", " + m.primary + L", " +
                             test::Quote(m.key) + L")");
    return statements;
}

// --- One scenario: its folder, the registry values, the running program. ------------------

struct Session {
    Session(const std::wstring& name, const Layout& layout, ProductValues values = {})
        : folder(name), registry([&] {
              values.versionNumber = layout.versionNumber;
              return values;
          }())
    {
        folder.AddProgram();
        connection = folder.CreateDatabase(Statements(layout));
        mappingTable = layout.table;
    }

    // Starts the program and waits for its loaded main window.
    void Start()
    {
        program = std::make_unique<Program>(folder);
        main = program->WaitForMainWindow();
        ASSERT_NE(main, nullptr) << "no main window";
        grid = std::make_unique<GridProbe>(*program, main);
    }

    std::vector<std::wstring> Keys() const
    {
        std::vector<std::wstring> keys;
        for (const test::TextRow& row :
             test::QueryRows(connection, L"SELECT msrepl_tran_version FROM " + mappingTable + L" ORDER BY rowid"))
            keys.push_back(row[0].value_or(L"(null)"));
        return keys;
    }

    std::string Log() const { return folder.ReadBytes(kLogFile); }

    ScenarioFolder folder;
    ProductRegistry registry;
    std::wstring connection;
    std::wstring mappingTable;
    std::unique_ptr<Program> program;  // ends first: the registry and folder outlive it
    HWND main = nullptr;
    std::unique_ptr<GridProbe> grid;
};

// The lines of a text file whose every line ends with CR LF; nothing when a line is cut
// short or a lone CR or LF stands in it.
std::optional<std::vector<std::string>> CrLfLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        const size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos)
            return std::nullopt;
        std::string line = bytes.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string::npos)
            return std::nullopt;
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

// Whether a text is the general date of some second between two moments.
bool IsGeneralDateBetween(const std::wstring& text, SYSTEMTIME from, SYSTEMTIME to)
{
    from.wMilliseconds = 0;
    FILETIME start, end;
    SystemTimeToFileTime(&from, &start);
    SystemTimeToFileTime(&to, &end);
    ULARGE_INTEGER t = {{start.dwLowDateTime, start.dwHighDateTime}};
    const ULARGE_INTEGER last = {{end.dwLowDateTime, end.dwHighDateTime}};
    for (; t.QuadPart <= last.QuadPart; t.QuadPart += 10'000'000ULL) {
        FILETIME ft = {t.LowPart, t.HighPart};
        SYSTEMTIME moment;
        FileTimeToSystemTime(&ft, &moment);
        if (GeneralDate(moment) == text)
            return true;
    }
    return false;
}

SYSTEMTIME Now()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return now;
}

// Checks a log: one run header, then exactly the removal lines given, each dated in the run.
void ExpectLog(const std::string& bytes, const std::vector<std::wstring>& removed, SYSTEMTIME from, SYSTEMTIME to)
{
    const auto lines = CrLfLines(bytes);
    ASSERT_TRUE(lines.has_value()) << "a line of the log is cut short: " << bytes;
    ASSERT_EQ(lines->size(), 5 + removed.size()) << bytes;
    EXPECT_EQ((*lines)[0], "");
    EXPECT_EQ((*lines)[1], std::string(61, '*'));
    EXPECT_EQ((*lines)[2], "Running VeltoCredentialsMap version: 1.0.5");
    EXPECT_TRUE(IsGeneralDateBetween(FromAnsi((*lines)[3]), from, to)) << (*lines)[3];
    EXPECT_EQ((*lines)[4], "");
    for (size_t i = 0; i < removed.size(); ++i) {
        const std::wstring line = FromAnsi((*lines)[5 + i]);
        const std::wstring tail = L": Deleted credential map for " + removed[i];
        ASSERT_GT(line.size(), tail.size()) << ToUtf8(line);
        EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
        EXPECT_TRUE(IsGeneralDateBetween(line.substr(0, line.size() - tail.size()), from, to)) << ToUtf8(line);
    }
}

std::wstring Confirmation(const std::wstring& account, const std::wstring& veltoAlias)
{
    return Text(IDS_REMOVE_WARNING) + account + Text(IDS_TO_LOCAL_ACCOUNT) + Text(IDS_THE_ALIAS) + veltoAlias +
           Text(IDS_NO_ACCESS_ANY_LONGER) + Text(IDS_ARE_YOU_SURE);
}

// Selects a row with the mouse, right-clicks it and picks the popup's only command.
std::optional<MessageBoxView> AskToRemove(Session& s, int item)
{
    if (!PickFromRowPopup(*s.program, s.main, *s.grid, item, 0))
        return std::nullopt;
    return WaitForMessageBox(*s.program);
}

// Answers a box and waits until it has gone and the program's thread is back at its
// messages (a sent message is taken only there), so that the next input finds it ready.
void Answer(const MessageBoxView& box, int button)
{
    const HWND owner = GetWindow(box.box, GW_OWNER);
    Press(box.box, button);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box.box) || !IsWindowVisible(box.box); }, 5000))
        << "the message box stayed: " << ToUtf8(box.text);
    if (owner)
        SendMessageTimeoutW(owner, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr);
}

// Removes the grid's row `item` with a Yes; the deletion message is answered too.
void RemoveRow(Session& s, int item)
{
    auto confirm = AskToRemove(s, item);
    ASSERT_TRUE(confirm.has_value()) << "no confirmation";
    Answer(*confirm, IDYES);
    auto done = WaitForMessageBox(*s.program);
    ASSERT_TRUE(done.has_value()) << "no message after the removal";
    EXPECT_EQ(done->text, Text(IDS_MAP_DELETED));
    Answer(*done, IDOK);
}

// --- Scenarios ---------------------------------------------------------------------------

TEST(EndToEnd, LoadsTheMappingTableOfTheInstalledVersion)
{
    for (const Layout* layout : {&kVersion3, &kVersion4}) {
        SCOPED_TRACE(ToUtf8(layout->table));
        Session s(std::wstring(L"load-") + layout->table, *layout);
        s.Start();
        ASSERT_NE(s.main, nullptr);
        EXPECT_EQ(TextOf(s.main), Text(IDS_MAIN_CAPTION));
        EXPECT_EQ(s.grid->Rows(), kStartRows);
        const std::vector<std::wstring> headers = s.grid->Headers();
        ASSERT_EQ(headers.size(), 8u);  // the last two, the account details, hidden at the start
        EXPECT_EQ(headers[1], Text(IDS_COL_DOMAIN));
        EXPECT_EQ(headers[2], Text(IDS_COL_AD_ALIAS));
        EXPECT_EQ(headers[3], Text(IDS_COL_PRIMARY));
        EXPECT_EQ(headers[4], Text(IDS_COL_VELTO_ALIAS));
    }
}

TEST(EndToEnd, EachViewOptionReloadsAndTogglingBackRestores)
{
    struct Case {
        const char* name;
        MenuCommand option;
        std::vector<GridRow> unchecked;
    };
    const Case cases[] = {
        {"only custom off: every mapping", kShowOnlyCustom, RowsOf({0, 1, 2, 3, 4, 5})},
        {"primary off: custom mappings that are not primary", kShowPrimary, RowsOf({1, 4, 5})},
    };
    Session s(L"view", kVersion4);
    s.Start();
    ASSERT_NE(s.main, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pick(s.main, c.option);
        EXPECT_TRUE(WaitUntil([&] { return s.grid->Rows() == c.unchecked; }, 5000));
        Pick(s.main, c.option);
        EXPECT_TRUE(WaitUntil([&] { return s.grid->Rows() == kStartRows; }, 5000));
    }
    EXPECT_EQ(s.grid->Rows(), kStartRows);
}

TEST(EndToEnd, RemovalAsksThenDeletesExactlyTheSelectedMapping)
{
    Session s(L"removal", kVersion4);
    const SYSTEMTIME started = Now();
    s.Start();
    ASSERT_NE(s.main, nullptr);
    const std::vector<std::wstring> keysBefore = s.Keys();
    const std::string logBefore = s.Log();

    // The first row is BUILTIN\Users, mapped to helpdesk. No leaves everything as it was.
    auto confirm = AskToRemove(s, 0);
    ASSERT_TRUE(confirm.has_value()) << "no confirmation";
    EXPECT_EQ(confirm->title, Text(IDS_CONFIRM_DELETE_TITLE));
    EXPECT_EQ(confirm->text, Confirmation(L"BUILTIN\\Users", L"helpdesk"));
    EXPECT_NE(GetDlgItem(confirm->box, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(confirm->box, IDNO), nullptr);
    Answer(*confirm, IDNO);
    // A No is followed by nothing: the next key reaches the grid, not another message.
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == s.main; }, 5000)) << "a window stands in front";
    Keys({VK_DOWN});
    EXPECT_TRUE(WaitUntil([&] { return s.grid->Selected() == 1; }, 5000)) << "the grid did not take the next key";
    EXPECT_TRUE(MessageBoxes(*s.program).empty()) << "a No is followed by nothing";
    EXPECT_EQ(s.Keys(), keysBefore);
    EXPECT_EQ(s.grid->Rows(), kStartRows);
    EXPECT_EQ(s.Log(), logBefore);

    // Sorted by AD Alias the deleted account, with no name, comes first; the question and
    // the log name it by its SID. Yes on it removes that mapping only, whatever place the
    // row has now.
    Click(s.grid->HeaderPoint(kAdAliasColumn));
    ASSERT_TRUE(WaitUntil([&] { return s.grid->SortMark(kAdAliasColumn) == HDF_SORTUP; }, 5000));
    ASSERT_EQ(s.grid->Rows(), RowsOf({4, 5, 2, 1}));
    confirm = AskToRemove(s, 0);
    ASSERT_TRUE(confirm.has_value()) << "no confirmation";
    EXPECT_EQ(confirm->text, Confirmation(L"S-1-5-21-1-2-3-1001", L"jdoe"));
    Answer(*confirm, IDYES);
    auto done = WaitForMessageBox(*s.program);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->title, L"VeltoCredentialsMap");
    EXPECT_EQ(done->text, Text(IDS_MAP_DELETED));
    Answer(*done, IDOK);

    std::vector<std::wstring> keysAfter = keysBefore;
    keysAfter.erase(std::find(keysAfter.begin(), keysAfter.end(), test::Key(L"K-5")));
    EXPECT_EQ(s.Keys(), keysAfter);
    EXPECT_EQ(s.grid->Rows(), RowsOf({5, 2, 1}));
    ExpectLog(s.Log(), {L"S-1-5-21-1-2-3-1001"}, started, Now());
}

TEST(EndToEnd, ExportWritesTheGridInItsSortedOrder)
{
    Session s(L"export", kVersion4);
    s.Start();
    ASSERT_NE(s.main, nullptr);
    Activate(s.main);

    // AD Alias, twice: up, then down.
    std::vector<GridRow> up = kStartRows;
    std::stable_sort(up.begin(), up.end(), [](const GridRow& a, const GridRow& b) {
        return CompareStringOrdinal(a.adAlias.c_str(), -1, b.adAlias.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::vector<GridRow> down(up.rbegin(), up.rend());
    Click(s.grid->HeaderPoint(kAdAliasColumn));
    EXPECT_TRUE(WaitUntil([&] { return s.grid->SortMark(kAdAliasColumn) == HDF_SORTUP; }, 5000));
    EXPECT_EQ(s.grid->Rows(), up);
    Click(s.grid->HeaderPoint(kAdAliasColumn));
    EXPECT_TRUE(WaitUntil([&] { return s.grid->SortMark(kAdAliasColumn) == HDF_SORTDOWN; }, 5000));
    const std::vector<GridRow> shown = s.grid->Rows();
    EXPECT_EQ(shown, down);

    // Velto Alias dragged in front of Domain: the file keeps its own column order.
    const POINT domain = s.grid->HeaderPoint(kDomainColumn);
    Drag(s.grid->HeaderPoint(kVeltoAliasColumn), {domain.x - 10, domain.y});
    EXPECT_TRUE(WaitUntil([&] { return s.grid->ColumnOrder() == std::vector<int>{0, 4, 1, 2, 3, 5, 6, 7}; }, 3000))
        << "the column was not moved";
    EXPECT_EQ(s.grid->Rows(), shown);

    const std::wstring file = s.folder.Path(L"mappings.csv");
    Pick(s.main, kExportToCsv);
    HWND dialog = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (HWND w : s.program->Windows(L"#32770"))
                if (TextOf(w) == Text(IDS_EXPORT_DIALOG_TITLE))
                    dialog = w;
            return dialog != nullptr;
        },
        10000))
        << "no Save dialog";
    SaveAs(*s.program, dialog, file);
    auto done = WaitForMessageBox(*s.program);
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->text, Text(IDS_OUTPUT_COMPLETE));
    Answer(*done, IDOK);

    std::string expected = "Domain, AD_Alias, Velto_Alias\r\n";
    for (const GridRow& row : shown)
        expected += ToAnsi(row.domain + L"," + row.adAlias + L"," + row.veltoAlias) + "\r\n";
    EXPECT_EQ(s.folder.ReadBytes(L"mappings.csv"), expected);
}

// The menu bar's pixels once they have stopped changing.
std::vector<DWORD> SettledMenuBar(HWND window)
{
    Activate(window);
    std::vector<DWORD> last;
    std::vector<DWORD> now = CapturePixels(MenuBarRect(window));
    for (int i = 0; i < 20 && now != last; ++i) {
        Sleep(50);
        last = std::move(now);
        now = CapturePixels(MenuBarRect(window));
    }
    return now;
}

TEST(EndToEnd, LanguageSwitchInTheAboutWindowRenamesTheMainWindowAndBack)
{
    Session s(L"language", kVersion4);
    s.folder.AddLanguages({L"DEU", L"ENU", L"FRA"});
    s.Start();
    ASSERT_NE(s.main, nullptr);
    const std::wstring german = s.folder.Path(L"VeltoCredentialsMap_DEU.dll");

    // The language menu lists the libraries in the order the folder gives them.
    std::vector<std::wstring> listed;
    for (const std::wstring& name : ListFileNames(s.folder.Path(), L"VeltoCredentialsMap_*.dll"))
        listed.push_back(name.substr(20, 3));
    ASSERT_FALSE(listed.empty());
    auto position = [&](const wchar_t* abbreviation) {
        return static_cast<int>(std::find(listed.begin(), listed.end(), abbreviation) - listed.begin());
    };

    const std::vector<DWORD> englishMenus = SettledMenuBar(s.main);
    ASSERT_FALSE(englishMenus.empty());
    HWND exitButton = FindChild(s.main, L"Button");
    ASSERT_NE(exitButton, nullptr);

    auto switchTo = [&](int item, const std::wstring& linkText, const std::wstring& expectedCaption) {
        Pick(s.main, kShowAbout);
        HWND about = s.program->WaitForWindow(kAboutClass, 5000);
        ASSERT_NE(about, nullptr) << "no About window";
        HWND link = FindChild(about, L"Static", linkText);
        ASSERT_NE(link, nullptr) << "no link " << ToUtf8(linkText);
        Activate(about);
        Click(CentreOf(link));
        ASSERT_TRUE(PickPopupItem(*s.program, item)) << "no language menu";
        EXPECT_TRUE(WaitUntil([&] { return TextOf(s.main) == expectedCaption; }, 5000)) << ToUtf8(TextOf(s.main));
        Activate(about);
        Press(about, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(about); }, 5000));
    };
    auto expectTexts = [&](const std::function<std::wstring(int)>& text) {
        EXPECT_EQ(TextOf(s.main), text(IDS_MAIN_CAPTION));
        EXPECT_EQ(TextOf(exitButton), text(IDS_EXIT));
        const std::vector<std::wstring> headers = s.grid->Headers();
        ASSERT_EQ(headers.size(), 8u);
        EXPECT_EQ(headers[1], text(IDS_COL_DOMAIN));
        EXPECT_EQ(headers[2], text(IDS_COL_AD_ALIAS));
        EXPECT_EQ(headers[3], text(IDS_COL_PRIMARY));
        EXPECT_EQ(headers[4], text(IDS_COL_VELTO_ALIAS));
        EXPECT_EQ(headers[5], L"SID");
        EXPECT_EQ(headers[6], text(IDS_COL_SID));
        EXPECT_EQ(headers[7], text(IDS_COL_ACCOUNT));
    };

    switchTo(position(L"DEU"), Text(IDS_CHANGE_LANGUAGE), LibraryText(german, IDS_MAIN_CAPTION));
    expectTexts([&](int id) { return LibraryText(german, id); });
    EXPECT_NE(SettledMenuBar(s.main), englishMenus) << "the menus kept their English captions";
    EXPECT_EQ(s.grid->Rows(), kStartRows);

    switchTo(position(L"ENU"), LibraryText(german, IDS_CHANGE_LANGUAGE), Text(IDS_MAIN_CAPTION));
    expectTexts(Text);
    EXPECT_EQ(SettledMenuBar(s.main), englishMenus) << "the menus did not return to English";
}

TEST(EndToEnd, HelpOpensOneWindowWithItsCaption)
{
    Session s(L"help", kVersion4);
    s.folder.AddHelpPage();
    s.Start();
    ASSERT_NE(s.main, nullptr);
    Pick(s.main, kShowHelp);
    HWND help = s.program->WaitForWindow(kHelpClass, 10000);
    ASSERT_NE(help, nullptr) << "no help window";
    EXPECT_EQ(TextOf(help), Text(IDS_APP_CAPTION));

    Pick(s.main, kShowHelp);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == help; }, 3000)) << "the open window is not activated";
    EXPECT_EQ(s.program->Windows(kHelpClass), std::vector<HWND>{help});
}

TEST(EndToEnd, EveryWayOutEndsTheProcessWithTheLogComplete)
{
    struct Case {
        const char* name;
        std::function<void(Session&)> leave;
    };
    const Case cases[] = {
        {"File > Exit", [](Session& s) { Pick(s.main, kExit); }},
        {"close box",
         [](Session& s) {
             const std::optional<POINT> box = CloseBoxPoint(s.main);
             ASSERT_TRUE(box.has_value()) << "no close box";
             Activate(s.main);
             Click(*box);
         }},
        {"Exit button",
         [](Session& s) {
             HWND button = FindChild(s.main, L"Button", Text(IDS_EXIT));
             ASSERT_NE(button, nullptr);
             Activate(s.main);
             Click(CentreOf(button));
         }},
        {"Space on the focused Exit button",
         [](Session& s) {
             Activate(s.main);
             Keys({VK_TAB, VK_SPACE});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Session s(L"exit", kVersion4);
        const SYSTEMTIME started = Now();
        s.Start();
        ASSERT_NE(s.main, nullptr);
        RemoveRow(s, 0);  // a line in the log that must survive the way out
        c.leave(s);
        EXPECT_TRUE(s.program->WaitForExit(10000)) << "the process is still running";
        EXPECT_EQ(s.program->ExitCode(), 0u);
        ExpectLog(s.Log(), {L"BUILTIN\\Users"}, started, Now());
    }
}

TEST(EndToEnd, EveryStartAppendsToTheLogAndKeepsWhatWasThere)
{
    // A log an older run left, with a removal line and a character beyond ASCII.
    const std::string older = "\r\n" + std::string(61, '*') +
                              "\r\nRunning VeltoCredentialsMap version: 1.0.4\r\n3/2/2025 9:15:00 AM\r\n\r\n"
                              "3/2/2025 9:16:07 AM: Deleted credential map for SALES\\J\xFCrgen\r\n";
    Session s(L"log", kVersion4);
    const HANDLE file = CreateFileW(s.folder.Path(kLogFile).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, older.data(), static_cast<DWORD>(older.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, older.size());

    std::string before = older;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        const SYSTEMTIME started = Now();
        s.Start();
        ASSERT_NE(s.main, nullptr);
        Pick(s.main, kExit);
        ASSERT_TRUE(s.program->WaitForExit(10000)) << "the process is still running";
        const std::string log = s.Log();
        ASSERT_EQ(log.substr(0, before.size()), before) << "the log lost what it held";
        ExpectLog(log.substr(before.size()), {}, started, Now());
        before = log;
    }
}

TEST(EndToEnd, KeyboardAloneFromStartToExit)
{
    Session s(L"keyboard", kVersion4);
    s.folder.AddHelpPage();
    const SYSTEMTIME started = Now();
    s.Start();
    ASSERT_NE(s.main, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == s.main; }, 5000)) << "the program is not in front";
    const HWND list = s.grid->List();
    const HWND exitButton = FindChild(s.main, L"Button", Text(IDS_EXIT));
    ASSERT_NE(exitButton, nullptr);
    auto focusIs = [&](HWND expected) { return WaitUntil([&] { return FocusIn(s.main) == expected; }, 3000); };

    // The grid has the focus from the start, with no row selected.
    EXPECT_TRUE(focusIs(list)) << "the grid has no focus at the start";
    EXPECT_EQ(s.grid->Selected(), -1);

    // Tab and Shift+Tab go round the grid and the Exit button, either way.
    struct Step {
        const char* name;
        bool backwards;
        HWND then;
    };
    const Step round[] = {
        {"Tab to Exit", false, exitButton},
        {"Tab to the grid", false, list},
        {"Shift+Tab to Exit", true, exitButton},
        {"Shift+Tab to the grid", true, list},
    };
    for (const Step& step : round) {
        SCOPED_TRACE(step.name);
        if (step.backwards)
            Chord({VK_SHIFT}, VK_TAB);
        else
            Keys({VK_TAB});
        EXPECT_TRUE(focusIs(step.then));
    }

    // Del with no row selected gets the removal's own answer.
    Keys({VK_DELETE});
    auto nothing = WaitForMessageBox(*s.program);
    ASSERT_TRUE(nothing.has_value()) << "Del with no row says nothing";
    EXPECT_EQ(nothing->text, Text(IDS_SELECT_ROW_FIRST));
    Keys({VK_RETURN});
    ASSERT_TRUE(WaitUntil([&] { return MessageBoxes(*s.program).empty(); }, 5000));
    EXPECT_TRUE(focusIs(list));

    // Down selects the first row, BUILTIN\Users -> helpdesk; Del asks about it, Y answers Yes.
    Keys({VK_DOWN});
    ASSERT_TRUE(WaitUntil([&] { return s.grid->Selected() == 0; }, 3000)) << "Down selects no row";
    Keys({VK_DELETE});
    auto confirm = WaitForMessageBox(*s.program);
    ASSERT_TRUE(confirm.has_value()) << "Del asks nothing";
    EXPECT_EQ(confirm->title, Text(IDS_CONFIRM_DELETE_TITLE));
    EXPECT_EQ(confirm->text, Confirmation(L"BUILTIN\\Users", L"helpdesk"));
    Keys({'Y'});
    auto done = WaitForMessageBox(*s.program);
    ASSERT_TRUE(done.has_value()) << "no message after the removal";
    EXPECT_EQ(done->text, Text(IDS_MAP_DELETED));
    Keys({VK_RETURN});
    ASSERT_TRUE(WaitUntil([&] { return MessageBoxes(*s.program).empty(); }, 5000));
    EXPECT_TRUE(focusIs(list)) << "the focus did not come back to the grid after the messages";
    EXPECT_EQ(s.grid->Rows(), RowsOf({2, 4, 5}));
    const std::vector<std::wstring> keys = s.Keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), test::Key(L"K-2")), 0);

    // F5 reloads with the view options as they are: a mapping added meanwhile appears.
    test::Execute(s.connection, {L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, "
                                 L"msrepl_tran_version) VALUES ('OBJ-3', " + test::SidLiteral(L"S-1-5-32-545") +
                                 L", 0, " + test::Quote(test::Key(L"K-7")) + L")"});
    Keys({VK_F5});
    std::vector<GridRow> reloaded = RowsOf({2, 4, 5});
    reloaded.push_back({L"BUILTIN", L"Users", false, L"helpdesk", test::Key(L"K-7")});
    EXPECT_TRUE(WaitUntil([&] { return s.grid->Rows() == reloaded; }, 5000)) << "F5 did not reload";
    EXPECT_TRUE(focusIs(list)) << "the focus did not stay on the grid over the reload";

    // Ctrl+C with no row selected leaves the clipboard alone; with a row, Ctrl+C and
    // Ctrl+Insert put that row on it as one tab-separated line, Primary as 1 or 0.
    SetClipboardText(L"left alone");
    ASSERT_EQ(s.grid->Selected(), -1);
    Chord({VK_CONTROL}, 'C');
    // Keys are taken in order: once Down has selected a row, Ctrl+C has been handled.
    Keys({VK_DOWN});
    ASSERT_TRUE(WaitUntil([&] { return s.grid->Selected() == 0; }, 3000));
    EXPECT_EQ(ClipboardText(), std::optional<std::wstring>(L"left alone"));
    auto clipboardHolds = [](const std::wstring& line) {
        return WaitUntil([&] { return ClipboardText() == std::optional<std::wstring>(line); }, 3000);
    };
    Chord({VK_CONTROL}, 'C');
    EXPECT_TRUE(clipboardHolds(L"NT AUTHORITY\tSYSTEM\t1\tjdoe")) << ToUtf8(ClipboardText().value_or(L"(no text)"));
    Keys({VK_DOWN, VK_DOWN});
    ASSERT_TRUE(WaitUntil([&] { return s.grid->Selected() == 2; }, 3000));
    Chord({VK_CONTROL}, VK_INSERT);
    EXPECT_TRUE(clipboardHolds(L"BUILTIN\tAdministrators\t0\tERROR!"))
        << ToUtf8(ClipboardText().value_or(L"(no text)"));

    // F1 opens the help window in front; Esc closes it and the main window has the grid focused again.
    Keys({VK_F1});
    const HWND help = s.program->WaitForWindow(kHelpClass, 10000);
    ASSERT_NE(help, nullptr) << "F1 opened no help";
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == help; }, 5000)) << "the help window is not in front";
    Keys({VK_ESCAPE});
    EXPECT_TRUE(WaitUntil([&] { return s.program->Windows(kHelpClass).empty(); }, 5000)) << "Esc left the help open";
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == s.main; }, 5000)) << "the main window is not in front";
    EXPECT_TRUE(focusIs(list));

    // Tab to Exit, Enter: the program ends with its log complete.
    Keys({VK_TAB});
    EXPECT_TRUE(focusIs(exitButton));
    Keys({VK_RETURN});
    EXPECT_TRUE(s.program->WaitForExit(10000)) << "the process is still running";
    EXPECT_EQ(s.program->ExitCode(), 0u);
    ExpectLog(s.Log(), {L"BUILTIN\\Users"}, started, Now());
}

// F10 opens the menu bar, Shift+F10 and the menu key the grid's popup, and F5 reloads with
// the View options as they stand, not as every run starts.
TEST(EndToEnd, MenuKeysOpenTheirMenusAndF5KeepsTheViewOptions)
{
    Session s(L"menukeys", kVersion4);
    s.Start();
    ASSERT_NE(s.main, nullptr);
    ASSERT_TRUE(Activate(s.main));

    // F10, Right to View, Down opens it on its first item; more Downs go to the next.
    const struct {
        const char* name;
        int downs;
        std::vector<GridRow> rows;
    } options[] = {
        {"F10 unticks Show Only Custom Mappings", 0, RowsOf({0, 1, 2, 3, 4, 5})},
        {"F10 unticks Show Primary Mappings", 1, RowsOf({1, 3, 4, 5})},
    };
    for (const auto& option : options) {
        SCOPED_TRACE(option.name);
        Keys({VK_F10, VK_RIGHT, VK_RIGHT, VK_DOWN});
        ASSERT_TRUE(WaitUntil([&] { return !s.program->Windows(L"#32768").empty(); }, 3000)) << "no menu opened";
        for (int i = 0; i < option.downs; ++i)
            Keys({VK_DOWN});
        Keys({VK_RETURN});
        EXPECT_TRUE(WaitUntil([&] { return s.grid->Rows() == option.rows; }, 5000));
    }

    // Added meanwhile: a mapping that only Show Only Custom Mappings would hide, and a
    // primary one. F5 shows the first and not the second.
    const auto insert = [](const wchar_t* subscriber, const wchar_t* sid, const wchar_t* primary, const wchar_t* key) {
        return std::wstring(L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, msrepl_tran_version) "
                            L"VALUES ('") + subscriber + L"', " + test::SidLiteral(sid) + L", " + primary + L", " +
               test::Quote(test::Key(key)) + L")";
    };
    test::Execute(s.connection, {insert(L"OBJ-4", L"S-1-1-0", L"0", L"K-7"), insert(L"OBJ-1", L"S-1-5-32-545", L"1", L"K-8")});
    Keys({VK_F5});
    std::vector<GridRow> reloaded = RowsOf({1, 3, 4, 5});
    reloaded.push_back({L"", L"Everyone", false, L"everyone", test::Key(L"K-7")});
    EXPECT_TRUE(WaitUntil([&] { return s.grid->Rows() == reloaded; }, 5000)) << "F5 did not keep the View options";

    // Both popup keys open the grid's popup; its command asks about the selected row.
    Keys({VK_DOWN});
    ASSERT_TRUE(WaitUntil([&] { return s.grid->Selected() == 0; }, 3000)) << "Down selects no row";
    const struct {
        const char* name;
        std::function<void()> press;
    } popupKeys[] = {
        {"Shift+F10", [] { Chord({VK_SHIFT}, VK_F10); }},
        {"menu key", [] { Keys({VK_APPS}); }},
    };
    for (const auto& key : popupKeys) {
        SCOPED_TRACE(key.name);
        key.press();
        ASSERT_TRUE(PickPopupItem(*s.program, 0)) << "no popup";
        auto confirm = WaitForMessageBox(*s.program);
        ASSERT_TRUE(confirm.has_value()) << "the popup's command asked nothing";
        EXPECT_EQ(confirm->text, Confirmation(L"BUILTIN\\Users", L"helpdesk"));
        Answer(*confirm, IDNO);
        ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == s.main; }, 5000));
    }
    EXPECT_EQ(s.grid->Rows(), reloaded);
}

TEST(EndToEnd, RefusedStartShowsOneMessageAndLeavesNoLog)
{
    struct Case {
        const char* name;
        ProductValues values;
        int message;
    };
    const Case cases[] = {
        {"version 2.9", {0x00020009, 0, L"ZrDsExchange.ZrIDCExchange.1"}, IDS_REFUSED_VERSION},
        {"the Domino connector", {0x00040000, 0, L"ZrDsDomino.ZrIDCDomino.1"}, IDS_REFUSED_CONNECTOR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Layout layout = kVersion4;
        layout.versionNumber = c.values.versionNumber;
        Session s(L"refused", layout, c.values);
        s.program = std::make_unique<Program>(s.folder);
        auto box = WaitForMessageBox(*s.program, 20000);
        ASSERT_TRUE(box.has_value()) << "no message";
        EXPECT_EQ(box->title, L"VeltoCredentialsMap");
        EXPECT_EQ(box->text, Text(c.message));
        EXPECT_EQ(MessageBoxes(*s.program).size(), 1u);
        EXPECT_TRUE(s.program->Windows(L"VeltoCredentialsMap.frmMain").empty()) << "the main window was shown";
        Press(box->box, IDOK);
        bool another = false;
        EXPECT_TRUE(WaitUntil(
            [&] {
                for (const MessageBoxView& other : MessageBoxes(*s.program))
                    another = another || other.box != box->box;
                return !s.program->Running();
            },
            10000))
            << "the process is still running";
        EXPECT_FALSE(another) << "a second message followed";
        EXPECT_FALSE(s.folder.Exists(kLogFile));
    }
}

}  // namespace
}  // namespace vcm::e2e
