// The activity log: real files in the test's working folder.
#include <gtest/gtest.h>

#include <windows.h>
#include <map>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {
const std::wstring kRule(61, L'*');

// The file's lines; every line must end with CR LF.
std::vector<std::wstring> Lines(const std::wstring& path)
{
    const std::string bytes = test::FileBytes(path);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(FromAnsi(bytes.substr(start, end - start)));
    EXPECT_EQ(start, bytes.size()) << "text after the last CR LF";
    return lines;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A header block starting at lines[at], written between the two given moments.
void ExpectHeader(const std::vector<std::wstring>& lines, size_t at, const std::wstring& dateBefore,
                  const std::wstring& dateAfter)
{
    ASSERT_GE(lines.size(), at + 5);
    EXPECT_EQ(lines[at], L"");
    EXPECT_EQ(lines[at + 1], kRule);
    EXPECT_EQ(lines[at + 2], L"Running test_platform version: 1.0.5");
    EXPECT_TRUE(lines[at + 3] == dateBefore || lines[at + 3] == dateAfter) << ToUtf8(lines[at + 3]);
    EXPECT_EQ(lines[at + 4], L"");
}

class ActivityLog : public testing::Test {
protected:
    void SetUp() override { DeleteFileW(kPath.c_str()); }
    void TearDown() override
    {
        CloseLog();
        DeleteFileW(kPath.c_str());
    }

    // Opens the log and returns the general dates just before and just after.
    std::pair<std::wstring, std::wstring> Open(bool append)
    {
        std::wstring before = GeneralDateNow();
        OpenLog(kPath, append);
        return {before, GeneralDateNow()};
    }

    const std::wstring kPath = L"ActivityLog.txt";
};
}  // namespace

TEST_F(ActivityLog, EachRunAppendsItsHeaderAndEntriesAreOnDiskAtOnce)
{
    const auto [first0, first1] = Open(true);
    WriteLog(L"first run entry");
    // Read while the log is open: the line must already be in the file, and others may read.
    std::vector<std::wstring> lines = Lines(kPath);
    ASSERT_EQ(lines.size(), 6u);
    ExpectHeader(lines, 0, first0, first1);
    EXPECT_EQ(lines[5], L"first run entry");
    CloseLog();

    const auto [second0, second1] = Open(true);
    WriteLog(L"second run entry");
    lines = Lines(kPath);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[5], L"first run entry");
    ExpectHeader(lines, 6, second0, second1);
    EXPECT_EQ(lines[11], L"second run entry");
    CloseLog();

    // Without append the old runs are gone.
    const auto [third0, third1] = Open(false);
    lines = Lines(kPath);
    ASSERT_EQ(lines.size(), 5u);
    ExpectHeader(lines, 0, third0, third1);
}

TEST_F(ActivityLog, WritesAnsiTextWithoutMarkAndSplitsEmbeddedLineBreaks)
{
    OpenLog(kPath, false);
    const size_t headerBytes = test::FileBytes(kPath).size();
    WriteLog(L"Jürgen €\r\nsecond");
    WriteLog(L"");
    const std::string bytes = test::FileBytes(kPath);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.substr(0, 2), "\r\n");
    EXPECT_EQ(bytes.substr(headerBytes), "J\xFCrgen \x80\r\nsecond\r\n\r\n");
}

TEST_F(ActivityLog, ClosedOrUnopenableLogIsSilentlyIgnored)
{
    // Before any open, after a close, twice closed, and with a folder that does not exist:
    // nothing is written and nothing is raised.
    CloseLog();
    EXPECT_NO_THROW(WriteLog(L"before open"));
    EXPECT_FALSE(Exists(kPath));

    OpenLog(kPath, true);
    CloseLog();
    CloseLog();
    const std::string closed = test::FileBytes(kPath);
    EXPECT_NO_THROW(WriteLog(L"after close"));
    EXPECT_EQ(test::FileBytes(kPath), closed);

    const std::wstring unwritable = L"No Such Folder\\CredentialsLog.txt";
    EXPECT_NO_THROW(OpenLog(unwritable, true));
    EXPECT_NO_THROW(WriteLog(L"nowhere"));
    EXPECT_FALSE(Exists(unwritable));
    CloseLog();

    // The log works again afterwards.
    OpenLog(kPath, false);
    WriteLog(L"back");
    const std::vector<std::wstring> lines = Lines(kPath);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], L"back");
}

TEST_F(ActivityLog, ReopeningSwitchesToTheNewFile)
{
    const std::wstring other = L"ActivityLogOther.txt";
    DeleteFileW(other.c_str());
    OpenLog(kPath, false);
    OpenLog(other, false);
    WriteLog(L"entry");
    EXPECT_EQ(Lines(kPath).size(), 5u);
    EXPECT_EQ(Lines(other).size(), 6u);
    CloseLog();
    // The first file is no longer held: it can be deleted.
    EXPECT_TRUE(DeleteFileW(kPath.c_str()));
    DeleteFileW(other.c_str());
}

namespace {
std::vector<UINT> gDelivered;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg >= WM_APP)
        gDelivered.push_back(msg);
    return DefWindowProcW(hwnd, msg, wp, lp);
}
}  // namespace

TEST_F(ActivityLog, WriteProcessesPendingMessagesAndKeepsAQuitRequest)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VcmLogPumpTest";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);

    // With or without an open log, the queue is emptied.
    gDelivered.clear();
    PostMessageW(hwnd, WM_APP + 1, 0, 0);
    WriteLog(L"no log open");
    EXPECT_EQ(gDelivered, std::vector<UINT>{WM_APP + 1});

    OpenLog(kPath, false);
    gDelivered.clear();
    PostMessageW(hwnd, WM_APP + 2, 0, 0);
    PostMessageW(hwnd, WM_APP + 3, 0, 0);
    WriteLog(L"entry");
    EXPECT_EQ(gDelivered, (std::vector<UINT>{WM_APP + 2, WM_APP + 3}));

    // A quit request met while pumping must still reach the program's own message loop.
    PostQuitMessage(7);
    WriteLog(L"entry");
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);

    DestroyWindow(hwnd);
    UnregisterClassW(wc.lpszClassName, wc.hInstance);
}

namespace {
constexpr int kLinesPerWriter = 2000;
constexpr wchar_t kWriterVariable[] = L"VCM_LOG_WRITER";

// One writer's numbered line, long enough that a torn write would show.
std::wstring WriterLine(const std::wstring& tag, int i)
{
    return tag + L" " + std::to_wstring(i) + L" " + std::wstring(120, static_cast<wchar_t>(L'a' + i % 26)) + L" end";
}

// Starts this test program as another copy of the tool that writes tagged lines to the log.
HANDLE StartWriter(const std::wstring& tag)
{
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=ActivityLogWriter.* --gtest_brief=1";
    SetEnvironmentVariableW(kWriterVariable, tag.c_str());
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    SetEnvironmentVariableW(kWriterVariable, nullptr);
    if (!started)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}
}  // namespace

// The body of a second running copy; does nothing unless started by the test below.
TEST(ActivityLogWriter, WritesTaggedLines)
{
    wchar_t tag[32] = {};
    if (GetEnvironmentVariableW(kWriterVariable, tag, 32) == 0)
        GTEST_SKIP() << "runs only as a writer process";
    OpenLog(L"SharedLog.txt", true);
    for (int i = 0; i < kLinesPerWriter; ++i)
        WriteLog(WriterLine(tag, i));
    CloseLog();
}

TEST_F(ActivityLog, RunningCopiesAppendWholeLinesToOneLog)
{
    // The first copy holds the log open while two more start and all three write at once.
    const std::wstring path = L"SharedLog.txt";
    DeleteFileW(path.c_str());
    OpenLog(path, true);
    HANDLE writers[] = {StartWriter(L"second"), StartWriter(L"third")};
    ASSERT_NE(writers[0], nullptr);
    ASSERT_NE(writers[1], nullptr);
    for (int i = 0; i < kLinesPerWriter; ++i)
        WriteLog(WriterLine(L"first", i));
    EXPECT_EQ(WaitForMultipleObjects(2, writers, TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE writer : writers) {
        DWORD code = 1;
        GetExitCodeProcess(writer, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(writer);
    }
    CloseLog();

    // Every copy's header and every line are there, each whole, each copy's lines in order.
    const std::vector<std::wstring> lines = Lines(path);
    size_t rules = 0;
    size_t otherLines = 0;  // each header's date line; a torn line would count here too
    std::map<std::wstring, int> next;  // per tag, the number its next line must carry
    for (const std::wstring& line : lines) {
        if (line.ends_with(L" end")) {
            const std::wstring tag = line.substr(0, line.find(L' '));
            ASSERT_EQ(line, WriterLine(tag, next[tag])) << "torn or out of order";
            ++next[tag];
        } else if (line == kRule) {
            ++rules;
        } else if (!line.empty() && line != L"Running test_platform version: 1.0.5") {
            ++otherLines;
        }
    }
    EXPECT_EQ(rules, 3u);
    EXPECT_EQ(otherLines, 3u);
    EXPECT_EQ(next, (std::map<std::wstring, int>{
                        {L"first", kLinesPerWriter}, {L"second", kLinesPerWriter}, {L"third", kLinesPerWriter}}));
    DeleteFileW(path.c_str());
}

TEST(GeneralDate, DateAloneAtMidnightOtherwiseDateAndTime)
{
    auto systemTime = [](WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s, WORD ms = 0) {
        SYSTEMTIME t = {};
        t.wYear = y;
        t.wMonth = mo;
        t.wDay = d;
        t.wHour = h;
        t.wMinute = mi;
        t.wSecond = s;
        t.wMilliseconds = ms;
        return t;
    };
    auto platform = [](const SYSTEMTIME& t, bool withTime) {
        wchar_t date[128] = {};
        wchar_t time[128] = {};
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &t, nullptr, date, 128, nullptr);
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, time, 128);
        return withTime ? std::wstring(date) + L" " + time : std::wstring(date);
    };
    struct Case {
        const char* note;
        SYSTEMTIME time;
        bool withTime;
        const wchar_t* us;  // the text under the tests' US English settings
    };
    const Case cases[] = {
        {"afternoon", systemTime(2026, 12, 7, 15, 4, 5), true, L"12/7/2026 3:04:05 PM"},
        {"exactly midnight", systemTime(2026, 12, 7, 0, 0, 0), false, L"12/7/2026"},
        {"midnight with milliseconds is still midnight", systemTime(2026, 12, 7, 0, 0, 0, 500), false, L"12/7/2026"},
        {"one second after midnight", systemTime(2026, 1, 31, 0, 0, 1), true, L"1/31/2026 12:00:01 AM"},
        {"noon", systemTime(2001, 6, 15, 12, 0, 0), true, L"6/15/2001 12:00:00 PM"},
    };
    const bool us = GetUserDefaultLCID() == 0x0409;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        const std::wstring got = GeneralDate(c.time);
        EXPECT_EQ(got, platform(c.time, c.withTime));
        if (us) {
            EXPECT_EQ(got, c.us);
        }
    }
}

}  // namespace vcm
