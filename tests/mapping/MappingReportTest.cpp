// The report's SID column is made without the system's conversion, for speed; it must read
// exactly as the system's text (and the grid) has it, for every shape stored bytes take.
#include <gtest/gtest.h>

#include "TestDb.h"
#include "mapping/MappingModel.h"
#include "mapping/MappingReport.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using Bytes = std::vector<unsigned char>;

TEST(MappingReport, SidTextReadsAsTheSystemWritesIt)
{
    const Bytes maximal = test::SidBytes(L"S-1-5-21-4294967295-4294967295-1-2-3-4-5-6-7-8-9-10-11-12");
    Bytes padded = test::SidBytes(L"S-1-5-21-1-2-3-1001");
    padded.resize(40, 0xAB);  // a fixed-width column keeps bytes after the SID
    Bytes wrongRevision = test::SidBytes(L"S-1-5-18");
    wrongRevision[0] = 2;
    Bytes cutShort = test::SidBytes(L"S-1-5-21-1-2-3-1001");
    cutShort.pop_back();
    Bytes tooMany = maximal;  // sixteen sub-authorities: more than a SID may have
    tooMany[1] = 16;
    tooMany.insert(tooMany.end(), {1, 0, 0, 0});
    const Bytes wideAuthority = {1, 1, 0, 0, 0x12, 0x34, 0x56, 0x78, 7, 0, 0, 0};
    const Bytes hugeAuthority = {1, 1, 0xAB, 0xCD, 0, 0, 0, 1, 7, 0, 0, 0};
    const Bytes noSubAuthority = {1, 0, 0, 0, 0, 0, 0, 5};

    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"everyone", test::SidBytes(L"S-1-1-0")},
        {"a builtin group", test::SidBytes(L"S-1-5-32-544")},
        {"a domain account", test::SidBytes(L"S-1-5-21-3623811015-3361044348-30300820-1013")},
        {"fifteen sub-authorities at their largest", maximal},
        {"bytes after the SID", padded},
        {"an authority wider than a byte", wideAuthority},
        {"an authority above 32 bits", hugeAuthority},
        {"no sub-authority", noSubAuthority},
        {"revision 2", wrongRevision},
        {"one byte short", cutShort},
        {"sixteen sub-authorities", tooMany},
        {"two bytes", {1, 5}},
        {"nothing", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ReportSidText(c.bytes), SidDisplayText(c.bytes));
    }
}

}  // namespace
}  // namespace vcm
