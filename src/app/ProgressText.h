// The texts that count long work ("n of N"), from catalogue strings with the placeholders
// %1 (done) and %2 (total), so that each language orders the words its own way.
#pragma once
#include <cstdint>
#include <string>

namespace vcm {

// The catalogue text of id with %1 and %2 replaced by the counts, in plain digits.
std::wstring ProgressText(int id, uint64_t done, uint64_t total);

// The same for a text already loaded.
std::wstring FillCounts(std::wstring text, uint64_t done, uint64_t total);

}  // namespace vcm
