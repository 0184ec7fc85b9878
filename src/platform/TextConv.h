// Conversions between the program's UTF-16 text and the byte encodings it meets:
// the system ANSI code page (registry, account lookup, CSV file, log) and UTF-8.
#pragma once
#include <string>
#include <string_view>

namespace vcm {

// Characters the ANSI code page cannot hold become '?'.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

// Case-blind comparison as the Windows user interface compares text (any script).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);

// Leading and trailing blanks (U+0020) removed, nothing else.
std::wstring TrimBlanks(std::wstring_view text);

// The text between open and close, every close character inside doubled: the quoting of
// CSV fields ("), SQL literals (') and SQL names ([ ]).
std::wstring Enclose(std::wstring_view text, wchar_t open, wchar_t close);

// Every line break ("\r\n", a lone "\r" or "\n") as one '\n'.
std::wstring WithUnixLineEnds(std::wstring_view text);

}  // namespace vcm
