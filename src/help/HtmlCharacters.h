// HTML at the level of characters: the character classes the page reader needs and the
// decoding of character references (named, decimal and hexadecimal).
#pragma once
#include <string>
#include <string_view>

namespace vcm {

inline constexpr wchar_t kReplacementCharacter = L'\uFFFD';

bool IsAsciiLetter(wchar_t c);
bool IsAsciiDigit(wchar_t c);
bool IsHtmlSpace(wchar_t c);
std::wstring AsciiLower(std::wstring_view text);

// Decodes the character reference that starts at html[pos] ('&') into `out`; returns the
// number of characters it spans, or 0 when the ampersand starts no known reference and
// stands for itself.
size_t DecodeReference(std::wstring_view html, size_t pos, std::wstring& out);

}  // namespace vcm
