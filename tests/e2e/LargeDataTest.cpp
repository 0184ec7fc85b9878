// The program on a database of 100,000 mappings, the size of `scripts/run.sh --large`:
// prints how long the start, a sort by header click and scrolling to the end take, and
// checks only that each gives the right result. All through the load and through a removal
// that waits on another session's lock, the program must answer the system: a window that
// does not answer a message for five seconds is marked Not Responding.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>

#include "Driver.h"
#include "TestDb.h"
#include "VeltoCredentialsMapResCONST.h"
#include "mapping/OdbcConnection.h"

namespace vcm::e2e {
namespace {

constexpr int kMappings = 100000;
constexpr int kRowsPerStatement = 500;

std::wstring Number(const wchar_t* format, int n)
{
    wchar_t text[64];
    swprintf(text, 64, format, n);
    return text;
}

std::wstring Alias(int n) { return Number(L"user%06d", n); }
std::wstring Key(int n) { return Number(L"00005EED-0000-0000-0000-%012X", n); }

// As the demo's large database: one subscriber per mapping; every tenth mapping a
// well-known group, the others accounts of a domain that no longer answers; every third primary.
std::vector<std::wstring> LargeData()
{
    std::vector<std::wstring> statements;
    std::wstring subscribers, credentials;
    for (int n = 1; n <= kMappings; ++n) {
        subscribers += (subscribers.empty() ? L"INSERT INTO Subscriber VALUES " : L",") + std::wstring(L"(") +
                       test::Quote(Number(L"OBJ-%07d", n)) + L"," + test::Quote(Alias(n)) + L"," +
                       test::Quote(Alias(n)) + L"," + test::Quote(Number(L"User %d", n)) + L")";
        const std::wstring sid = n % 10 == 0 ? L"S-1-5-32-545" : Number(L"S-1-5-21-1-2-3-%d", 1000 + n);
        credentials += (credentials.empty() ? L"INSERT INTO Credential VALUES " : L",") + std::wstring(L"(") +
                       test::Quote(Number(L"OBJ-%07d", n)) + L"," + test::SidLiteral(sid) + L"," +
                       (n % 3 == 0 ? L"1" : L"0") + L"," + test::Quote(Key(n)) + L")";
        if (n % kRowsPerStatement == 0) {
            statements.push_back(std::move(subscribers));
            statements.push_back(std::move(credentials));
            subscribers.clear();
            credentials.clear();
        }
    }
    return statements;
}

double Elapsed(LARGE_INTEGER from)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Time since `from` once `done` holds and the list has painted everything it invalidated;
// a failure of the test when that does not happen in time.
double MillisecondsUntilShown(LARGE_INTEGER from, HWND list, const std::function<bool()>& done)
{
    const ULONGLONG giveUp = GetTickCount64() + 120000;
    while (GetTickCount64() < giveUp) {
        // A sent message is taken only between the program's handlers, and painting waits
        // until no other message is pending.
        SendMessageTimeoutW(list, WM_NULL, 0, 0, SMTO_NORMAL, 120000, nullptr);
        if (done() && !GetUpdateRect(list, nullptr, FALSE))
            return Elapsed(from);
        Sleep(1);
    }
    ADD_FAILURE() << "what was waited for was not shown within two minutes";
    return Elapsed(from);
}

LARGE_INTEGER Stamp()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

void Report(const char* what, double milliseconds)
{
    std::printf("[ figures  ] %-44s %9.0f ms\n", what, milliseconds);
    std::fflush(stdout);
    testing::Test::RecordProperty(what, std::to_string(static_cast<long long>(milliseconds)));
}

// Asks the window's thread every 100 ms, as the system does before it marks a window Not
// Responding, until `done` holds; every probe must be answered within half a second.
struct ProbeRecord {
    int probes = 0;
    int unanswered = 0;
    DWORD slowestMs = 0;
};

ProbeRecord ProbeUntil(HWND window, const std::function<bool()>& done, DWORD timeoutMs)
{
    ProbeRecord record;
    const ULONGLONG giveUp = GetTickCount64() + timeoutMs;
    while (!done() && GetTickCount64() < giveUp && IsWindow(window)) {
        const ULONGLONG sent = GetTickCount64();
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 500, &result))
            ++record.unanswered;
        ++record.probes;
        const DWORD took = static_cast<DWORD>(GetTickCount64() - sent);
        record.slowestMs = std::max(record.slowestMs, took);
        Sleep(took < 100 ? 100 - took : 0);
    }
    return record;
}

// The texts of a window's children, joined. GetWindowTextW reads another process's window
// text without a message to its thread, so a busy program cannot hold the probe up here.
std::wstring ChildTexts(HWND window)
{
    std::wstring texts;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[256] = {};
        GetWindowTextW(child, text, 256);
        texts += text;
        texts += L"|";
    }
    return texts;
}

// The built-in catalogue, which every test binary carries as the program does.
std::wstring Text(int id)
{
    const wchar_t* text = nullptr;
    const int length = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text, static_cast<size_t>(std::max(length, 0)));
}

TEST(LargeData, LoadSortAndScrollHundredThousandMappings)
{
    ScenarioFolder folder(L"large");
    folder.AddProgram();
    ProductRegistry registry(ProductValues{});
    LARGE_INTEGER t = Stamp();
    const std::wstring connection = folder.CreateDatabase(LargeData());
    Report("making the database (test setup)", Elapsed(t));

    t = Stamp();
    Program program(folder);
    // The wait window stands while the main window is loading; the thread behind both answers.
    const HWND wait = program.WaitForWindow(L"VeltoCredentialsMap.frmSplashScreen", 60000);
    ASSERT_NE(wait, nullptr) << "no wait window";
    const std::wstring resolving = Text(IDS_RESOLVING_ACCOUNTS).substr(0, Text(IDS_RESOLVING_ACCOUNTS).find(L"%1"));
    bool counted = false;
    const ProbeRecord load = ProbeUntil(
        wait,
        [&] {
            counted = counted || ChildTexts(wait).find(resolving) != std::wstring::npos;
            return !program.Running() || !program.Windows(L"VeltoCredentialsMap.frmMain").empty();
        },
        600000);
    std::printf("[ figures  ] load: %d probes, slowest answer %lu ms\n", load.probes, load.slowestMs);
    EXPECT_EQ(load.unanswered, 0) << "of " << load.probes << " probes during the load";
    EXPECT_GE(load.probes, 10) << "the load was too short to tell";
    EXPECT_TRUE(counted) << "the wait window never counted the accounts";
    const HWND main = program.WaitForMainWindow(600000);
    ASSERT_NE(main, nullptr) << "no main window";
    GridProbe grid(program, main);
    Report("start to loaded grid", MillisecondsUntilShown(t, grid.List(), [&] { return grid.Count() == kMappings; }));
    ASSERT_EQ(grid.Count(), kMappings);
    EXPECT_EQ(grid.Row(0), (GridRow{L"", L"", false, Alias(1), Key(1)}));
    EXPECT_EQ(grid.Row(9), (GridRow{L"BUILTIN", L"Users", false, Alias(10), Key(10)}));
    EXPECT_EQ(grid.Row(kMappings - 1), (GridRow{L"BUILTIN", L"Users", false, Alias(kMappings), Key(kMappings)}));

    // Velto Alias: the first click sorts up (the order it had), the second down. The pointer
    // rests on the header first, and the clicks are far enough apart not to make a double-click.
    constexpr int kVeltoAlias = 4;
    Activate(main);
    const POINT header = grid.HeaderPoint(kVeltoAlias);
    SetCursorPos(header.x, header.y);
    Sleep(GetDoubleClickTime() + 100);
    t = Stamp();
    PressButton();
    Report("sort up by header click, to repainted",
           MillisecondsUntilShown(t, grid.List(), [&] { return grid.SortMark(kVeltoAlias) == HDF_SORTUP; }));
    EXPECT_EQ(grid.Row(0).veltoAlias, Alias(1));
    Sleep(GetDoubleClickTime() + 100);
    t = Stamp();
    PressButton();
    Report("sort down by header click, to repainted",
           MillisecondsUntilShown(t, grid.List(), [&] { return grid.SortMark(kVeltoAlias) == HDF_SORTDOWN; }));
    EXPECT_EQ(grid.Row(0), (GridRow{L"BUILTIN", L"Users", false, Alias(kMappings), Key(kMappings)}));
    EXPECT_EQ(grid.Row(kMappings - 1).veltoAlias, Alias(1));

    // Scrolling: End from the first row, Home back, then the list told to show the last row.
    Click(grid.RowPoint(0));
    ASSERT_TRUE(WaitUntil([&] { return grid.Selected() == 0; }, 5000));
    auto atEnd = [&] { return grid.TopIndex() >= kMappings - grid.PerPage(); };
    t = Stamp();
    PressKey(VK_END);
    Report("End key to last row shown",
           MillisecondsUntilShown(t, grid.List(), [&] { return grid.Selected() == kMappings - 1 && atEnd(); }));
    EXPECT_TRUE(atEnd());
    t = Stamp();
    PressKey(VK_HOME);
    Report("Home key to first row shown",
           MillisecondsUntilShown(t, grid.List(), [&] { return grid.Selected() == 0 && grid.TopIndex() == 0; }));
    EXPECT_EQ(grid.Selected(), 0);
    EXPECT_EQ(grid.TopIndex(), 0);
    t = Stamp();
    SendMessageW(grid.List(), LVM_ENSUREVISIBLE, kMappings - 1, FALSE);
    Report("LVM_ENSUREVISIBLE of the last row", MillisecondsUntilShown(t, grid.List(), atEnd));
    EXPECT_TRUE(atEnd());
    EXPECT_EQ(grid.Row(kMappings - 1).veltoAlias, Alias(1));

    // Another session holds the database locked while the question is on screen: after the
    // Yes the program waits for the lock and keeps answering, then removes the row once the
    // lock is gone, with the usual message.
    SendMessageW(grid.List(), LVM_ENSUREVISIBLE, 0, FALSE);
    ASSERT_TRUE(PickFromRowPopup(program, main, grid, 0, 0)) << "no removal command";
    const auto confirm = WaitForMessageBox(program);
    ASSERT_TRUE(confirm.has_value()) << "no confirmation";
    OdbcConnection locker(connection);
    locker.Execute(L"BEGIN EXCLUSIVE");
    Press(confirm->box, IDYES);
    const ULONGLONG lockedUntil = GetTickCount64() + 3000;
    const ProbeRecord removal = ProbeUntil(main, [&] { return GetTickCount64() >= lockedUntil; }, 10000);
    EXPECT_EQ(removal.unanswered, 0) << "of " << removal.probes << " probes while the removal waited";
    EXPECT_GE(removal.probes, 10);
    EXPECT_TRUE(MessageBoxes(program).empty()) << "the removal ended while the table was locked";
    locker.Execute(L"ROLLBACK");
    const auto done = WaitForMessageBox(program, 60000);
    ASSERT_TRUE(done.has_value()) << "no message after the removal";
    EXPECT_EQ(done->text, Text(IDS_MAP_DELETED));
    Press(done->box, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return grid.Count() == kMappings - 1; }, 10000));
}

}  // namespace
}  // namespace vcm::e2e
