// The program started with arguments: a CSV report of the credential mappings for scheduled
// audits, or its usage. No window is created and no message box shown; every message goes
// to standard error (the usage asked for with /? to standard output), failures also to the
// activity log, and the exit code tells a scheduler the outcome.
#pragma once
#include <string>
#include <vector>

namespace vcm {

struct ReportCall {
    enum class Kind {
        Usage,          // /?: the usage on standard output, exit 0
        Report,         // /report <file>: the report
        UnknownSwitch,  // the usage on standard error after naming the argument, exit 3
        NoFile,         // /report without a file name: the same
    };
    Kind kind = Kind::Usage;
    std::wstring file;
    std::wstring badArgument;  // the argument an UnknownSwitch names
    bool notResolvedOnly = false;  // /deleted
    bool onlyCustom = false;       // /custom
    bool noPrimary = false;        // /noprimary
};

// The arguments after the program's name, as the system splits the command line.
std::vector<std::wstring> CommandLineArguments();

// Reads `/report <file> [/deleted] [/custom] [/noprimary]` or `/?`, in any order. Switches
// are matched without regard to case and may begin with '-' as well as '/'. The argument
// after /report is the file unless it begins with '/' or '-'.
ReportCall ParseReportCall(const std::vector<std::wstring>& arguments);

// Runs the call with the window's start (priority, language library, version and connector
// checks, log) and returns the process's exit code: 0 written and every account resolved,
// 1 written with a Deleted account, 2 written with an Unverified one (none Deleted), 3
// refused, wrong call or failed.
int RunReportCommand(const ReportCall& call);

}  // namespace vcm
