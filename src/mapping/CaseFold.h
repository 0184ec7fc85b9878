// Comparing and hashing text without regard to case, the same for every user locale: the
// recordset's column names, finds and filters all compare this way.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace vcm {

// Upper case with the invariant table.
std::wstring FoldCase(std::wstring_view text);
// Equal after case folding.
bool FoldedEqual(std::wstring_view a, std::wstring_view b);
// Column names compare without regard to case, as the system compares them.
bool SameName(std::wstring_view a, std::wstring_view b);
// A hash over the case-folded text: texts equal after folding hash alike.
uint64_t FoldedHash(std::wstring_view text);

}  // namespace vcm
