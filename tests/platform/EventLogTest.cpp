// The Application event log entry of a removal, read back from Wine's trace of ReportEventW
// in a copy of this test program started with WINEDEBUG=+eventlog.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TempFolder.h"
#include "TestFiles.h"
#include "platform/EventLog.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

const wchar_t kChildFlag[] = L"VCM_EVENTLOG_CHILD";

// Runs this test program's child half with the event log traced; returns the trace. Wine
// writes its trace to the Unix standard error, which only a Unix shell can redirect.
std::string TracedChildOutput(const std::wstring& folder)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring tracePath = folder + L"\\trace.txt";
    const std::string script = "WINEDEBUG=+eventlog VCM_EVENTLOG_CHILD=1 exec wine '" + test::UnixPath(self) +
                               "' --gtest_filter=EventLogChild.* >/dev/null 2>'" + test::UnixPath(folder) + "/trace.txt'";
    std::wstring command = L"/bin/sh -c \"" + FromUtf8(script) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    EXPECT_TRUE(started) << GetLastError();
    if (!started)
        return {};
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    // The shell may end before the traced program has closed the file.
    for (int i = 0; i < 100 && test::FileBytes(tracePath).find("ReportEventW") == std::string::npos; ++i)
        Sleep(100);
    return test::FileBytes(tracePath);
}

TEST(EventLog, RemovalEntryNamesAccountAliasAndOperator)
{
    test::TempFolder folder(L"eventlog");
    const std::string trace = TracedChildOutput(folder.Path());
    EXPECT_NE(trace.find("ReportEventW"), std::string::npos) << trace;
    // Information level, one string, the program's event id.
    EXPECT_NE(trace.find("0x0004,0x0000,0x000003e8"), std::string::npos) << trace;
    EXPECT_NE(trace.find("Deleted credential map for S-1-5-21-0-0-0-4242 (Velto alias o'brien) by "), std::string::npos)
        << trace;
}

TEST(EventLog, OperatorIsDomainBackslashUserOfTheProcess)
{
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(GetUserNameW(user, &size));
    const std::wstring name = OperatorName();
    const size_t slash = name.find(L'\\');
    ASSERT_NE(slash, std::wstring::npos) << ToUtf8(name);
    EXPECT_GT(slash, 0u);
    EXPECT_TRUE(EqualsNoCase(name.substr(slash + 1), user)) << ToUtf8(name);
}

// The child half: runs only when started by the test above.
TEST(EventLogChild, Report)
{
    if (!GetEnvironmentVariableW(kChildFlag, nullptr, 0))
        GTEST_SKIP() << "started by EventLog.RemovalEntryNamesAccountAliasAndOperator";
    ReportRemovalEvent(RemovalEventText(L"S-1-5-21-0-0-0-4242", L"o'brien", OperatorName()));
}

}  // namespace
}  // namespace vcm
