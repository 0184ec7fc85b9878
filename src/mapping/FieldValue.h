// A field's value as the recordset hands it out, and its text form.
#pragma once
#include <string>
#include <variant>
#include <vector>

namespace vcm {

// Null, text, integer, floating point, Boolean (BIT) or bytes (binary).
using FieldValue =
    std::variant<std::monostate, std::wstring, long long, double, bool, std::vector<unsigned char>>;

bool IsNull(const FieldValue& value);
// Text form: Null -> "", Boolean -> "True"/"False", numbers in decimal (floating point in
// its shortest exact form), bytes as upper-case hex digits, two per byte, no prefix.
std::wstring FieldText(const FieldValue& value);

}  // namespace vcm
