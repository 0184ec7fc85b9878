// Values across the ODBC boundary: reading a column's value in pieces, binding a value as
// a statement parameter, and quoting a name into statement text.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "mapping/FieldValue.h"
#include "mapping/Odbc.h"

namespace vcm {

inline SQLWCHAR* Sql(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// How a column's values are read and what kind of value they become.
enum class ValueKind { Text, Integer, Float, Boolean, Bytes };

ValueKind KindOf(SQLSMALLINT sqlType);

// Read a whole text or binary value in pieces into value; false for Null.
bool ReadText(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<wchar_t>& value);
bool ReadBytes(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<unsigned char>& value);

// Numbers and Booleans travel as text and become typed values here, so that a value the
// database holds in a form the column's type does not expect stays readable as text.
// False when the text is to be kept as it is.
bool ParseTyped(ValueKind kind, std::wstring_view text, FieldValue& value);

// An identifier quoted so that any character in it stays part of the name.
std::wstring QuoteName(std::wstring_view name);

// One value bound as a statement parameter; lives until the statement has run.
struct BoundValue {
    FieldValue value;
    SQLLEN ind = 0;
    unsigned char bit = 0;
};

void BindValue(SQLHSTMT stmt, SQLUSMALLINT number, BoundValue& p);

}  // namespace vcm
