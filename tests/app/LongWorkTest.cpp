// The long-work runner on a real window: the window answers and paints while a real
// database statement waits on another connection's lock, its input waits for the end,
// chunks of real account lookups run on several workers with the same result as one, and
// Stop and failures reach the window's thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ScriptedDialogs.h"
#include "TestDb.h"
#include "WindowTesting.h"
#include "app/LongWork.h"
#include "app/frmMain.h"
#include "app/frmProgress.h"
#include "localize/modLocalize.h"
#include "mapping/AccountLookup.h"
#include "mapping/OdbcConnection.h"
#include "platform/Error.h"
#include "platform/TextConv.h"
#include "resource.h"

namespace vcm {
namespace {

using namespace std::chrono_literals;

// What the owner window saw, and whether the work was running when it did.
struct OwnerLog {
    std::atomic<bool> working{false};
    int paintsWhileWorking = 0;
    int inputWhileWorking = 0;
    int inputAfterWork = 0;
};
OwnerLog* g_log = nullptr;

LRESULT CALLBACK OwnerProcedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_log) {
        const bool input = msg == WM_COMMAND || msg == WM_KEYDOWN || msg == WM_LBUTTONDOWN ||
                           (msg == WM_NCLBUTTONDOWN && wParam == HTMENU);
        if (msg == WM_PAINT && g_log->working)
            ++g_log->paintsWhileWorking;
        if (input)
            ++(g_log->working ? g_log->inputWhileWorking : g_log->inputAfterWork);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

std::wstring TextOf(HWND hwnd)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Presses and releases a key, or the left button at the centre of a window, through the
// system's input queue as a person would.
void PressKey(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void ClickCentre(HWND hwnd)
{
    RECT r = {};
    GetWindowRect(hwnd, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof(INPUT));
}

HWND CreateOwner()
{
    static const ATOM atom = [] {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = OwnerProcedure;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"VeltoCredentialsMap.LongWorkOwner";
        return RegisterClassExW(&wc);
    }();
    if (!atom)
        return nullptr;
    HWND hwnd = CreateWindowExW(0, L"VeltoCredentialsMap.LongWorkOwner", L"Long work owner", WS_OVERLAPPEDWINDOW,
                                60, 60, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);
    return hwnd;
}

// Another thread asks the window every 100 ms, as a person's desktop does, and gives the
// window 0.5 s to answer each time; it also invalidates it so that it must paint.
class Prober {
public:
    explicit Prober(HWND target) : m_thread([this, target] { Loop(target); }) {}
    ~Prober() { Stop(); }
    // The window's thread goes on answering until the last probe is in: a probe sent just
    // as the work ended must not wait for a thread that is blocked in join.
    void Stop()
    {
        m_stop = true;
        while (!m_finished)
            test::PumpFor(20);
        if (m_thread.joinable())
            m_thread.join();
    }
    int Probes() const { return m_probes; }
    int Unanswered() const { return m_unanswered; }

private:
    void Loop(HWND target)
    {
        while (!m_stop) {
            DWORD_PTR answer = 0;
            ++m_probes;
            if (!SendMessageTimeoutW(target, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &answer))
                ++m_unanswered;
            RedrawWindow(target, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
            std::this_thread::sleep_for(100ms);
        }
        m_finished = true;
    }
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_probes{0};
    std::atomic<int> m_unanswered{0};
    std::thread m_thread;
};

class LongWorkTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_log = &log;
        owner = CreateOwner();
        ASSERT_NE(owner, nullptr);
        test::Pump();
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        test::Pump();
        g_log = nullptr;
    }

    OwnerLog log;
    HWND owner = nullptr;
};

}  // namespace

// The statement waits on a lock that another connection holds until its time-out; all
// that time the window answers every probe and paints, the commands and keys sent to it
// wait for the end, and the statement's failure is thrown on the window's thread.
TEST_F(LongWorkTest, WindowAnswersEveryProbeWhileAStatementWaitsOnALock)
{
    std::wstring connection =
        test::CreateTestDb(L"long_work.db", {L"CREATE TABLE Things (Name TEXT)", L"INSERT INTO Things VALUES ('a')"});
    constexpr unsigned kSeconds = 3;
    const bool sqlServer = test::SqlServerPersonality();
    // SQLite's own driver ignores the statement time-out and waits its busy time-out.
    const std::wstring workConnection = sqlServer ? connection : connection + L";Timeout=" + std::to_wstring(kSeconds * 1000);
    SetStatementTimeout(kSeconds);
    OdbcConnection locker(connection);
    locker.Execute(L"BEGIN EXCLUSIVE");

    LongWorkRunner runner(owner);
    Prober prober(owner);
    PostMessageW(owner, WM_COMMAND, 1, 0);
    PostMessageW(owner, WM_KEYDOWN, VK_F5, 0);
    PostMessageW(owner, WM_NCLBUTTONDOWN, HTMENU, 0);  // a click on the menu bar
    std::wstring failure;
    const auto start = std::chrono::steady_clock::now();
    try {
        log.working = true;
        runner.Run([&](LongWork&) {
            OdbcConnection db(workConnection);
            db.Execute(L"SELECT Name FROM Things");
        });
    } catch (const Error& e) {
        failure = e.Description();
    }
    log.working = false;
    const auto waited = std::chrono::steady_clock::now() - start;
    prober.Stop();
    locker.Execute(L"ROLLBACK");
    SetStatementTimeout(kStatementTimeoutSeconds);

    EXPECT_NE(failure.find(sqlServer ? L"HYT00" : L"locked"), std::wstring::npos) << ToUtf8(failure);
    EXPECT_GE(waited, std::chrono::seconds(kSeconds) - 200ms);
    EXPECT_GE(prober.Probes(), 15);
    EXPECT_EQ(prober.Unanswered(), 0);
    EXPECT_GT(log.paintsWhileWorking, 5);
    // About one wake per probe and paint; a spinning loop would wake thousands of times.
    EXPECT_LT(runner.Wakes(), 40 * static_cast<int>(kSeconds) + 50);
    EXPECT_EQ(log.inputWhileWorking, 0);
    test::Pump();
    EXPECT_EQ(log.inputAfterWork, 3);
}

// Real input in the queue (a click through the system) also waits, and does not keep the
// window's thread spinning while it waits.
TEST_F(LongWorkTest, TypedInputWaitsWithoutSpinning)
{
    SetForegroundWindow(owner);
    test::Pump();
    RECT client = {};
    GetClientRect(owner, &client);
    POINT centre = test::Centre(client);
    ClientToScreen(owner, &centre);
    SetCursorPos(centre.x, centre.y);
    test::Pump();

    LongWorkRunner runner(owner);
    log.working = true;
    runner.Run([&](LongWork&) {
        INPUT input[2] = {};
        input[0].type = input[1].type = INPUT_MOUSE;
        input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(2, input, sizeof(INPUT));
        std::this_thread::sleep_for(1500ms);
    });
    log.working = false;
    EXPECT_EQ(log.inputWhileWorking, 0);
    EXPECT_LT(runner.Wakes(), 30);
    test::PumpFor(300);
    EXPECT_EQ(log.inputAfterWork, 1) << "the click reaches the window once the work has ended";
}

// Chunks of real account lookups (one lookup and policy handle per chunk) give every
// identifier the names one lookup gives, whatever the number of workers, and the count
// reaches N of N.
TEST_F(LongWorkTest, ChunkedLookupsMatchOneLookupForAnyThreadCount)
{
    std::vector<std::vector<unsigned char>> sids;
    const wchar_t* known[] = {L"S-1-1-0", L"S-1-5-32-544", L"S-1-5-18", L"S-1-5-32-545"};
    for (int i = 0; i < 1200; ++i) {
        if (i % 7 == 0)
            sids.push_back(test::SidBytes(known[(i / 7) % 4]));
        else
            sids.push_back(test::SidBytes(L"S-1-5-21-1-2-3-" + std::to_wstring(1000 + i)));
    }
    std::vector<AccountName> expected;
    {
        AccountLookup one;
        std::vector<AccountLookup::SidId> ids;
        for (const auto& sid : sids)
            ids.push_back(one.Add(sid));
        one.Resolve();
        for (AccountLookup::SidId id : ids)
            expected.push_back(one.Name(id));
    }
    ASSERT_EQ(expected[0].name, L"Everyone");

    constexpr size_t kChunk = 150;
    const size_t chunks = (sids.size() + kChunk - 1) / kChunk;
    for (unsigned threads : {1u, 2u, 3u, 0u}) {  // 0: the machine's count
        SCOPED_TRACE(threads);
        std::vector<AccountName> names(sids.size());
        std::vector<std::pair<uint64_t, uint64_t>> shown;
        LongWorkRunner runner(owner);
        runner.SetProgressDisplay([&](uint64_t done, uint64_t total) { shown.emplace_back(done, total); });
        runner.RunChunks(chunks, threads, [&](size_t chunk, LongWork& work) {
            work.SetTotal(sids.size());
            AccountLookup lookup;
            const size_t first = chunk * kChunk;
            const size_t end = std::min(sids.size(), first + kChunk);
            std::vector<AccountLookup::SidId> ids;
            for (size_t i = first; i < end; ++i)
                ids.push_back(lookup.Add(sids[i]));
            lookup.Resolve();
            for (size_t i = first; i < end; ++i)
                names[i] = lookup.Name(ids[i - first]);
            work.Advance(end - first);
        });
        for (size_t i = 0; i < sids.size(); ++i) {
            EXPECT_EQ(names[i].domain, expected[i].domain) << i;
            EXPECT_EQ(names[i].name, expected[i].name) << i;
        }
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back(), std::make_pair(uint64_t{sids.size()}, uint64_t{sids.size()}));
        for (size_t i = 1; i < shown.size(); ++i)
            EXPECT_LE(shown[i - 1].first, shown[i].first) << "the count never goes back";
    }
}

// Stop and a failing chunk both end the run early; only the failure is thrown, on the
// window's thread, with its own number.
TEST_F(LongWorkTest, StopAndFailureEndTheRunEarly)
{
    struct Case {
        const char* what;
        bool stopAtThree;    // the display asks for Stop once three chunks are done
        int failingChunk;    // -1: none
    };
    const Case cases[] = {
        {"Stop after three chunks", true, -1},
        {"chunk five fails", false, 5},
        {"neither: every chunk runs", false, -1},
    };
    constexpr size_t kChunks = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::atomic<int> ran{0};
        LongWorkRunner runner(owner);
        runner.SetProgressDisplay([&](uint64_t done, uint64_t) {
            if (c.stopAtThree && done >= 3)
                runner.RequestStop();
        });
        long thrown = 0;
        try {
            runner.RunChunks(kChunks, 2, [&](size_t chunk, LongWork& work) {
                ++ran;
                if (static_cast<int>(chunk) == c.failingChunk)
                    throw Error(4242, L"chunk failed");
                std::this_thread::sleep_for(60ms);
                work.Advance();
            });
        } catch (const Error& e) {
            thrown = e.Number();
        }
        EXPECT_EQ(thrown, c.failingChunk >= 0 ? 4242 : 0);
        EXPECT_EQ(runner.Stopped(), c.stopAtThree);
        if (c.stopAtThree || c.failingChunk >= 0)
            EXPECT_LT(ran.load(), static_cast<int>(kChunks) / 2);
        else
            EXPECT_EQ(ran.load(), static_cast<int>(kChunks));
    }
    LongWorkRunner runner(owner);
    EXPECT_EQ(runner.Run([](LongWork&) { return std::wstring(L"result"); }), L"result");
    EXPECT_FALSE(LongWorkRunner::AnyRunning());
}

// The progress window counts the work and its Stop, clicked or pressed as Esc while the
// owner's input waits, ends the work after its current unit.
TEST_F(LongWorkTest, ProgressWindowCountsAndItsStopEndsTheWork)
{
    enum class How { Click, Escape };
    for (How how : {How::Click, How::Escape}) {
        SCOPED_TRACE(how == How::Click ? "click on Stop" : "Esc");
        LongWorkRunner runner(owner);
        frmProgress progress;
        progress.Open(owner, runner);
        EXPECT_EQ(TextOf(progress.Hwnd()), myLoadResString(IDS_PROGRESS_CAPTION));
        EXPECT_EQ(TextOf(progress.StopButton()), L"Stop");
        const HWND stop = progress.StopButton();
        constexpr uint64_t kUnits = 400;
        const uint64_t done = runner.Run([&](LongWork& work) {
            work.SetTotal(kUnits);
            uint64_t n = 0;
            for (; n < kUnits && !work.StopRequested(); ++n) {
                if (n == 20)
                    how == How::Click ? ClickCentre(stop) : PressKey(VK_ESCAPE);
                std::this_thread::sleep_for(10ms);
                work.Advance();
            }
            return n;
        });
        EXPECT_TRUE(runner.Stopped());
        EXPECT_GE(done, 20u);
        EXPECT_LT(done, kUnits / 2) << "Stop reached the work while it ran";
        EXPECT_EQ(TextOf(progress.CountLabel()), std::to_wstring(done) + L" of 400");
        EXPECT_NEAR(SendMessageW(progress.Bar(), PBM_GETPOS, 0, 0), static_cast<double>(done * 10000 / kUnits), 1);
        EXPECT_FALSE(IsWindowEnabled(stop)) << "asked once";
        EXPECT_EQ(log.inputWhileWorking, 0);
    }
}

// The main window's member runs the work with the wait window counting accounts; the wait
// window has its message back when hidden, and closing the main window during the work
// ends the program at once.
TEST_F(LongWorkTest, MainWindowCountsAccountsAndEndsWhenClosedDuringTheWork)
{
    test::ScriptedDialogs dialogs;
    frmMain main(dialogs);
    std::vector<bool> endedWhileWorking;
    main.SetProcessEnder([&](UINT) { endedWhileWorking.push_back(LongWorkRunner::AnyRunning()); });
    main.Create();
    main.Show(SW_SHOWNORMAL);
    frmSplashScreen& splash = main.SplashScreen();
    splash.Create(L"Gathering credential information, please wait...");
    splash.ShowAndPaint();

    std::wstring shownDuringWork;
    const int answer = main.RunLongWork(
        [&](LongWork& work) {
            work.SetTotal(2500);
            work.Advance(1200);
            std::this_thread::sleep_for(400ms);
            shownDuringWork = TextOf(splash.Label1());
            PostMessageW(main.Hwnd(), WM_CLOSE, 0, 0);
            std::this_thread::sleep_for(400ms);
            work.Advance(1300);
            return 42;
        },
        frmMain::LongWorkDisplay::WaitWindowCount);
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(shownDuringWork, L"Resolving accounts: 1200 of 2500");
    EXPECT_EQ(TextOf(splash.Label1()), L"Resolving accounts: 2500 of 2500");
    EXPECT_EQ(endedWhileWorking, std::vector<bool>{true}) << "the close did not wait for the work";
    splash.Hide();
    EXPECT_EQ(TextOf(splash.Label1()), L"Gathering credential information, please wait...");
}

// The program itself: its main window is closed while a worker waits inside a database
// call on another process's lock. The process ends at once with exit code 0, neither
// waiting for the statement's time-out nor crashing. The test runs this test program again
// as that process (only then does the child part below run).
TEST_F(LongWorkTest, ClosingDuringTheWorkEndsTheProcessAtOnce)
{
    const std::wstring file = L"long_work_close.db";
    if (GetEnvironmentVariableW(L"VCM_LONG_WORK_CHILD", nullptr, 0) != 0) {
        test::ScriptedDialogs dialogs;
        frmMain main(dialogs);  // with the program's own way of ending the process
        main.Create();
        main.Show(SW_SHOWNORMAL);
        main.RunLongWork([&](LongWork&) {
            test::Execute(test::ConnectionString(L"long_work_mark.db"), {L"CREATE TABLE Reached (x INT)"});
            PostMessageW(main.Hwnd(), WM_CLOSE, 0, 0);
            OdbcConnection db(test::ConnectionString(file));
            db.Execute(L"SELECT Name FROM Things");
        });
        ADD_FAILURE() << "the process went on after its window was closed";
        return;
    }
    const std::wstring connection =
        test::CreateTestDb(file, {L"CREATE TABLE Things (Name TEXT)", L"INSERT INTO Things VALUES ('a')"});
    const std::wstring mark = test::CreateTestDb(L"long_work_mark.db");
    OdbcConnection locker(connection);
    locker.Execute(L"BEGIN EXCLUSIVE");

    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=LongWorkTest.ClosingDuringTheWork*";
    SetEnvironmentVariableW(L"VCM_LONG_WORK_CHILD", L"1");
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const auto start = std::chrono::steady_clock::now();
    const BOOL started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                        &startup, &process);
    SetEnvironmentVariableW(L"VCM_LONG_WORK_CHILD", nullptr);
    ASSERT_TRUE(started) << GetLastError();
    const DWORD waited = WaitForSingleObject(process.hProcess, 25000);
    const auto took = std::chrono::steady_clock::now() - start;
    DWORD exitCode = 1234;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    locker.Execute(L"ROLLBACK");

    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the program hung";
    EXPECT_EQ(test::QueryRows(mark, L"SELECT COUNT(*) FROM Reached"), std::vector<test::TextRow>{{L"0"}})
        << "the work began";
    EXPECT_EQ(exitCode, 0u);
    // The statement alone would wait 30 s (SQL Server) or SQLite's busy time-out.
    EXPECT_LT(took, 15s);
}

}  // namespace vcm
