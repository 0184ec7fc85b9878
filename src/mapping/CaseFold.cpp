#include "mapping/CaseFold.h"

#include <windows.h>

#include "platform/TextConv.h"

namespace vcm {

namespace {
wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }
}  // namespace

// Upper case with the invariant table, the same for every user locale. Plain ASCII, by far
// the common case for ids, is mapped here without a call into the system.
std::wstring FoldCase(std::wstring_view text)
{
    std::wstring out(text);
    bool ascii = true;
    for (wchar_t& c : out) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - (L'a' - L'A'));
    }
    if (ascii || text.empty())
        return out;
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                          nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0)
        return std::wstring(text);
    out.assign(static_cast<size_t>(n), L'\0');
    n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), out.data(),
                      n, nullptr, nullptr, 0);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

// Equal after case folding. Upper-case mapping keeps the length, so the lengths must match.
bool FoldedEqual(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const wchar_t x = a[i];
        const wchar_t y = b[i];
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return FoldCase(a) == FoldCase(b);
        if (AsciiUpper(x) != AsciiUpper(y))
            return false;
    }
    return true;
}

// Column names compare without regard to case, as the system compares them; plain ASCII
// names, the usual case, are compared here without a call into the system.
bool SameName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] >= 0x80 || b[i] >= 0x80)
            return EqualsNoCase(a, b);
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

// FNV-1a over the case-folded text, so that texts equal after folding hash alike.
uint64_t FoldedHash(std::wstring_view text)
{
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : text) {
        if (c >= 0x80) {
            hash = 14695981039346656037ull;
            for (wchar_t f : FoldCase(text))
                hash = (hash ^ static_cast<uint16_t>(f)) * 1099511628211ull;
            return hash;
        }
        hash = (hash ^ static_cast<uint16_t>(AsciiUpper(c))) * 1099511628211ull;
    }
    return hash;
}

}  // namespace vcm
