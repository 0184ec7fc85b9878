// Which version of the Velto product is installed, as the product's setup records it in
// the registry, and whether this tool may run on it.
#pragma once
#include <windows.h>

namespace vcm {

struct ProductVersion {
    short Major = 0;
    short Minor = 0;
    short BuildHigh = 0;
    short BuildLow = 0;
};

// The program-wide version: all zero until the startup sequence assigns it once.
extern ProductVersion gProductVersion;

// Reads HKLM "Software\Orvanto\" "Version Number" and "Build Number" (32-bit numbers; a
// missing key or value counts as 0) and splits each into two 16-bit groups. The product
// writes its version digits as hexadecimal digits, so 0x00030001 means 3.1: Major, Minor
// and BuildHigh read their four hexadecimal digits as a decimal number, while BuildLow is
// the low word taken as a signed 16-bit number (0x0069 gives 105, 0xFFFF gives -1).
// Errors of the registry reader reach the caller.
ProductVersion GetVeltoVersion();

// The tool runs on 3.1 and later; the build is not compared.
bool VersionAccepted(const ProductVersion& version);

}  // namespace vcm
