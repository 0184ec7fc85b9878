// Lowering the process's own priority class.
#include <gtest/gtest.h>

#include <windows.h>

#include "HandleProbe.h"
#include "platform/mdlPriority.h"

namespace vcm {

TEST(SetProcessPriority, SetsValidClassesRefusesOthersAndClosesItsHandle)
{
    const HANDLE before = NextFreeHandle();

    DWORD belowNormal = 0x4000;
    EXPECT_TRUE(SetProcessPriority(belowNormal));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));

    // Not a priority class: refused, and the class stays as it was.
    DWORD bogus = 0x12345;
    EXPECT_FALSE(SetProcessPriority(bogus));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS));

    DWORD normal = NORMAL_PRIORITY_CLASS;
    EXPECT_TRUE(SetProcessPriority(normal));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));

    EXPECT_EQ(NextFreeHandle(), before) << "a process handle was left open";

    SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
}

}  // namespace vcm
