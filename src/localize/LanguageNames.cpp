// Language identifiers, their three-letter abbreviations (the suffix of a language
// library's name) and their display names.
#include "localize/modLocalize.h"

#include <algorithm>
#include <array>

#include "platform/TextConv.h"

namespace vcm {

namespace {

struct LanguageAbbreviation {
    std::wstring_view abbreviation;
    short id;
};

// The Windows abbreviations of the languages a library may be made for.
constexpr std::array<LanguageAbbreviation, 39> kAbbreviations = {{
    {L"ENU", 1033},  {L"ENG", 2057},  {L"ENA", 3081},  {L"ENC", 4105},  {L"ENZ", 5129},
    {L"ENI", 6153},  {L"DEU", 1031},  {L"DES", 2055},  {L"DEA", 3079},  {L"DEL", 4103},
    {L"DEC", 5127},  {L"ESP", 1034},  {L"ESM", 2058},  {L"ESN", 3082},  {L"ESG", 4106},
    {L"ESC", 5130},  {L"ESA", 6154},  {L"ESD", 7178},  {L"ESV", 8202},  {L"ESO", 9226},
    {L"ESR", 10250}, {L"ESS", 11274}, {L"ESH", 18442}, {L"ESI", 19466}, {L"ESU", 20490},
    {L"FRA", 1036},  {L"FRB", 2060},  {L"FRC", 3084},  {L"FRS", 4108},  {L"FRL", 5132},
    {L"ITA", 1040},  {L"ITS", 2064},  {L"JPN", 1041},  {L"NLD", 1043},  {L"NLB", 2067},
    {L"NOR", 1044},  {L"NON", 2068},  {L"PTB", 1046},  {L"PTG", 2070},
}};

constexpr short kEnglishUS = 1033;

// VerLanguageNameA's buffer, in bytes.
constexpr DWORD kNameBufferBytes = 256;

}  // namespace

std::wstring GetLangAbbreviation(short id)
{
    if (id == 0)
        return L"ENU";
    const auto it = std::find_if(kAbbreviations.begin(), kAbbreviations.end(),
                                 [id](const LanguageAbbreviation& entry) { return entry.id == id; });
    return it != kAbbreviations.end() ? std::wstring(it->abbreviation) : std::wstring(L"ERROR");
}

short GetLangIDFromAbbreviation(std::wstring_view abbreviation)
{
    const auto it = std::find_if(
        kAbbreviations.begin(), kAbbreviations.end(),
        [abbreviation](const LanguageAbbreviation& entry) { return entry.abbreviation == abbreviation; });
    return it != kAbbreviations.end() ? it->id : kEnglishUS;
}

std::wstring GetLanguageName(long id)
{
    std::string buffer(kNameBufferBytes, '\0');
    const DWORD length = VerLanguageNameA(static_cast<DWORD>(id), buffer.data(), kNameBufferBytes);
    if (length == 0)
        return L"(error)";
    // Windows counts the name without its terminator, Wine with it; either way the name
    // ends at the first NUL within the count.
    buffer.resize(std::min<size_t>(length, kNameBufferBytes));
    const size_t end = buffer.find('\0');
    if (end != std::string::npos)
        buffer.resize(end);
    return FromAnsi(buffer);
}

std::wstring GetLanguageNameFromAbbreviation(std::wstring_view abbreviation)
{
    return GetLanguageName(GetLangIDFromAbbreviation(abbreviation));
}

}  // namespace vcm
