// How the command line is read into a report call: the switches in any order, in any case,
// with '/' or '-', and what counts as a missing file name or an unknown switch.
#include <gtest/gtest.h>

#include "app/ReportCommand.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using Kind = ReportCall::Kind;

TEST(ReportCommand, ReadsSwitchesInAnyOrderCaseAndPrefix)
{
    const struct {
        std::vector<std::wstring> arguments;
        Kind kind;
        std::wstring file;
        bool deleted, custom, noPrimary;
        std::wstring bad;
    } cases[] = {
        {{L"/report", L"a.csv"}, Kind::Report, L"a.csv", false, false, false, L""},
        {{L"/deleted", L"-CUSTOM", L"/Report", L"c:\\audit\\x y.csv", L"/NOPRIMARY"}, Kind::Report,
         L"c:\\audit\\x y.csv", true, true, true, L""},
        // The file must follow /report: a switch there leaves it missing.
        {{L"/report", L"/deleted"}, Kind::NoFile, L"", true, false, false, L""},
        {{L"/report", L"-x.csv"}, Kind::UnknownSwitch, L"", false, false, false, L"-x.csv"},
        {{L"/report"}, Kind::NoFile, L"", false, false, false, L""},
        {{L"/report", L""}, Kind::UnknownSwitch, L"", false, false, false, L""},
        {{L"/deleted"}, Kind::NoFile, L"", true, false, false, L""},
        // A second file or a second /report is not taken silently.
        {{L"/report", L"a.csv", L"b.csv"}, Kind::UnknownSwitch, L"a.csv", false, false, false, L"b.csv"},
        {{L"/report", L"a.csv", L"/report", L"b.csv"}, Kind::UnknownSwitch, L"a.csv", false, false, false, L"/report"},
        // The first unknown argument is the one named.
        {{L"/report", L"a.csv", L"/all", L"/none"}, Kind::UnknownSwitch, L"a.csv", false, false, false, L"/all"},
        {{L"report", L"a.csv"}, Kind::UnknownSwitch, L"", false, false, false, L"report"},
        {{L"/reports", L"a.csv"}, Kind::UnknownSwitch, L"", false, false, false, L"/reports"},
        {{L"/"}, Kind::UnknownSwitch, L"", false, false, false, L"/"},
        // Asking for the usage wins over everything else on the line.
        {{L"/?"}, Kind::Usage, L"", false, false, false, L""},
        {{L"/report", L"a.csv", L"-?", L"/bogus"}, Kind::Usage, L"a.csv", false, false, false, L"/bogus"},
    };
    for (const auto& c : cases) {
        std::wstring line;
        for (const std::wstring& a : c.arguments)
            line += L"[" + a + L"]";
        SCOPED_TRACE(ToUtf8(line));
        const ReportCall call = ParseReportCall(c.arguments);
        EXPECT_EQ(call.kind, c.kind);
        EXPECT_EQ(call.file, c.file);
        EXPECT_EQ(call.notResolvedOnly, c.deleted);
        EXPECT_EQ(call.onlyCustom, c.custom);
        EXPECT_EQ(call.noPrimary, c.noPrimary);
        EXPECT_EQ(call.badArgument, c.bad);
    }
}

}  // namespace
}  // namespace vcm
