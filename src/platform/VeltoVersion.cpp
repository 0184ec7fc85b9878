#include "platform/VeltoVersion.h"

#include <cwchar>
#include <string>

#include "platform/RegistryAPI.h"

namespace vcm {

ProductVersion gProductVersion;

namespace {
const wchar_t kVersionKey[] = L"Software\\Orvanto\\";

// The eight upper-case hexadecimal digits of a 32-bit number, negative ones as their
// two's complement.
std::wstring HexDigits(long number)
{
    wchar_t text[9] = {};
    std::swprintf(text, 9, L"%08lX", static_cast<unsigned long>(static_cast<DWORD>(number)));
    return text;
}

// Reads the leading decimal digits of a four-character group and stops at the first other
// character, so "000A" reads 0 and "1E02" reads 1 (the letter is not taken as an exponent).
// At most four digits, so the result always fits a short.
short DecimalGroup(const std::wstring& group)
{
    short value = 0;
    for (const wchar_t c : group) {
        if (c < L'0' || c > L'9')
            break;
        value = static_cast<short>(value * 10 + (c - L'0'));
    }
    return value;
}

long ReadNumber(const wchar_t* valueName)
{
    return RegValueNumber(ReadRegistryValue(HKEY_LOCAL_MACHINE, kVersionKey, valueName, kRegNumber, RegValue{}));
}

ProductVersion SplitVeltoVersion(long versionNumber, long buildNumber)
{
    const std::wstring version = HexDigits(versionNumber);
    const std::wstring build = HexDigits(buildNumber);
    ProductVersion result;
    result.Major = DecimalGroup(version.substr(0, 4));
    result.Minor = DecimalGroup(version.substr(4, 4));
    result.BuildHigh = DecimalGroup(build.substr(0, 4));
    result.BuildLow = static_cast<short>(static_cast<WORD>(static_cast<DWORD>(buildNumber) & 0xFFFF));
    return result;
}
}  // namespace

ProductVersion GetVeltoVersion()
{
    const long versionNumber = ReadNumber(L"Version Number");
    const long buildNumber = ReadNumber(L"Build Number");
    return SplitVeltoVersion(versionNumber, buildNumber);
}

bool VersionAccepted(const ProductVersion& version)
{
    return version.Major > 3 || (version.Major == 3 && version.Minor >= 1);
}

}  // namespace vcm
