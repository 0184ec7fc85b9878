#include "platform/TextConv.h"

#include <windows.h>

namespace vcm {

namespace {
std::string Narrow(UINT codePage, std::wstring_view text)
{
    if (text.empty())
        return {};
    const bool ansi = codePage == CP_ACP;
    const int len = static_cast<int>(text.size());
    int needed = WideCharToMultiByte(codePage, 0, text.data(), len, nullptr, 0, ansi ? "?" : nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), len, out.data(), needed, ansi ? "?" : nullptr, nullptr);
    return out;
}

std::wstring Widen(UINT codePage, std::string_view bytes)
{
    if (bytes.empty())
        return {};
    const int len = static_cast<int>(bytes.size());
    int needed = MultiByteToWideChar(codePage, 0, bytes.data(), len, nullptr, 0);
    std::wstring out(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), len, out.data(), needed);
    return out;
}
}  // namespace

std::string ToAnsi(std::wstring_view text) { return Narrow(CP_ACP, text); }
std::wstring FromAnsi(std::string_view bytes) { return Widen(CP_ACP, bytes); }
std::string ToUtf8(std::wstring_view text) { return Narrow(CP_UTF8, text); }
std::wstring FromUtf8(std::string_view bytes) { return Widen(CP_UTF8, bytes); }

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring TrimBlanks(std::wstring_view text)
{
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos)
        return {};
    const size_t last = text.find_last_not_of(L' ');
    return std::wstring(text.substr(first, last - first + 1));
}

std::wstring Enclose(std::wstring_view text, wchar_t open, wchar_t close)
{
    std::wstring out(1, open);
    out.reserve(text.size() + 2);
    for (wchar_t c : text) {
        out.push_back(c);
        if (c == close)
            out.push_back(close);
    }
    out.push_back(close);
    return out;
}

std::wstring WithUnixLineEnds(std::wstring_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r') {
            out += L'\n';
            if (i + 1 < text.size() && text[i + 1] == L'\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace vcm
