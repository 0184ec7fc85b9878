// Facts about the running program that several parts need: where it lies, what it is
// called, its own version, and the user's general date format.
#pragma once
#include <windows.h>
#include <string>

namespace vcm {

// The folder holding the running executable, without a trailing backslash.
std::wstring AppFolder();
// The executable's file name without extension ("VeltoCredentialsMap").
std::wstring ExeBaseName();

struct OwnVersion {
    int major = 0;
    int minor = 0;
    int revision = 0;
};
// Major, minor and revision from the executable's version resource (FILEVERSION a,b,c,d
// gives a, b, c); zeros when it has none.
OwnVersion ProgramVersion();

// A moment in the user's general date format: short date, a blank and the long time
// ("12/7/2026 3:04:05 PM" under US settings); the date alone at exactly midnight.
std::wstring GeneralDate(const SYSTEMTIME& time);
std::wstring GeneralDateNow();

}  // namespace vcm
