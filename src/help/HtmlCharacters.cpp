#include "help/HtmlCharacters.h"

#include <array>

namespace vcm {

namespace {

// The HTML 4 names of U+00A0 to U+00FF, in code order.
constexpr std::array<std::wstring_view, 96> kLatin1Names = {
    L"nbsp",   L"iexcl",  L"cent",   L"pound",  L"curren", L"yen",    L"brvbar", L"sect",
    L"uml",    L"copy",   L"ordf",   L"laquo",  L"not",    L"shy",    L"reg",    L"macr",
    L"deg",    L"plusmn", L"sup2",   L"sup3",   L"acute",  L"micro",  L"para",   L"middot",
    L"cedil",  L"sup1",   L"ordm",   L"raquo",  L"frac14", L"frac12", L"frac34", L"iquest",
    L"Agrave", L"Aacute", L"Acirc",  L"Atilde", L"Auml",   L"Aring",  L"AElig",  L"Ccedil",
    L"Egrave", L"Eacute", L"Ecirc",  L"Euml",   L"Igrave", L"Iacute", L"Icirc",  L"Iuml",
    L"ETH",    L"Ntilde", L"Ograve", L"Oacute", L"Ocirc",  L"Otilde", L"Ouml",   L"times",
    L"Oslash", L"Ugrave", L"Uacute", L"Ucirc",  L"Uuml",   L"Yacute", L"THORN",  L"szlig",
    L"agrave", L"aacute", L"acirc",  L"atilde", L"auml",   L"aring",  L"aelig",  L"ccedil",
    L"egrave", L"eacute", L"ecirc",  L"euml",   L"igrave", L"iacute", L"icirc",  L"iuml",
    L"eth",    L"ntilde", L"ograve", L"oacute", L"ocirc",  L"otilde", L"ouml",   L"divide",
    L"oslash", L"ugrave", L"uacute", L"ucirc",  L"uuml",   L"yacute", L"thorn",  L"yuml",
};

struct NamedCharacter {
    std::wstring_view name;
    char32_t code;
};

// The other names a hand-written page is likely to use.
constexpr NamedCharacter kOtherNames[] = {
    {L"amp", 0x26},      {L"lt", 0x3C},       {L"gt", 0x3E},       {L"quot", 0x22},
    {L"apos", 0x27},     {L"OElig", 0x152},   {L"oelig", 0x153},   {L"Scaron", 0x160},
    {L"scaron", 0x161},  {L"Yuml", 0x178},    {L"fnof", 0x192},    {L"circ", 0x2C6},
    {L"tilde", 0x2DC},   {L"ensp", 0x2002},   {L"emsp", 0x2003},   {L"thinsp", 0x2009},
    {L"ndash", 0x2013},  {L"mdash", 0x2014},  {L"lsquo", 0x2018},  {L"rsquo", 0x2019},
    {L"sbquo", 0x201A},  {L"ldquo", 0x201C},  {L"rdquo", 0x201D},  {L"bdquo", 0x201E},
    {L"dagger", 0x2020}, {L"Dagger", 0x2021}, {L"bull", 0x2022},   {L"hellip", 0x2026},
    {L"permil", 0x2030}, {L"lsaquo", 0x2039}, {L"rsaquo", 0x203A}, {L"euro", 0x20AC},
    {L"trade", 0x2122},  {L"larr", 0x2190},   {L"uarr", 0x2191},   {L"rarr", 0x2192},
    {L"darr", 0x2193},   {L"minus", 0x2212},
};

// Browsers read numeric references 128 to 159 as the Windows-1252 characters of those
// bytes; 0 marks the five bytes that code page leaves undefined.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int HexDigitValue(wchar_t c)
{
    if (IsAsciiDigit(c))
        return c - L'0';
    if (c >= L'a' && c <= L'f')
        return c - L'a' + 10;
    if (c >= L'A' && c <= L'F')
        return c - L'A' + 10;
    return -1;
}

void AppendCodePoint(std::wstring& out, char32_t code)
{
    if (code >= 0x80 && code <= 0x9F && kWindows1252High[code - 0x80] != 0)
        code = kWindows1252High[code - 0x80];
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        out += kReplacementCharacter;
    } else if (code >= 0x10000) {
        code -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (code >> 10));
        out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        out += static_cast<wchar_t>(code);
    }
}

}  // namespace

bool IsAsciiLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHtmlSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r' || c == L'\f'; }

std::wstring AsciiLower(std::wstring_view text)
{
    std::wstring lower(text);
    for (wchar_t& c : lower) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return lower;
}

size_t DecodeReference(std::wstring_view html, size_t pos, std::wstring& out)
{
    size_t i = pos + 1;
    if (i < html.size() && html[i] == L'#') {
        ++i;
        const bool hex = i < html.size() && (html[i] == L'x' || html[i] == L'X');
        if (hex)
            ++i;
        const size_t digits = i;
        char32_t value = 0;
        for (; i < html.size(); ++i) {
            const int digit = hex ? HexDigitValue(html[i]) : (IsAsciiDigit(html[i]) ? html[i] - L'0' : -1);
            if (digit < 0)
                break;
            // Anything beyond the last code point decodes to the replacement character.
            value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (i == digits)
            return 0;
        if (i < html.size() && html[i] == L';')
            ++i;
        AppendCodePoint(out, value);
        return i - pos;
    }
    const size_t nameStart = i;
    while (i < html.size() && i - nameStart < 10 && (IsAsciiLetter(html[i]) || IsAsciiDigit(html[i])))
        ++i;
    if (i == nameStart || i >= html.size() || html[i] != L';')
        return 0;
    const std::wstring_view name = html.substr(nameStart, i - nameStart);
    for (size_t k = 0; k < kLatin1Names.size(); ++k) {
        if (kLatin1Names[k] == name) {
            AppendCodePoint(out, static_cast<char32_t>(0xA0 + k));
            return i + 1 - pos;
        }
    }
    for (const NamedCharacter& named : kOtherNames) {
        if (named.name == name) {
            AppendCodePoint(out, named.code);
            return i + 1 - pos;
        }
    }
    return 0;
}

}  // namespace vcm
