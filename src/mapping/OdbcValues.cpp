#include "mapping/OdbcValues.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "mapping/OdbcConnection.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// The text as narrow characters into out (text.size() of them); false when it is empty or
// not plain ASCII.
bool Ascii(std::wstring_view text, char* out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] > 0x7F)
            return false;
        out[i] = static_cast<char>(text[i]);
    }
    return !text.empty();
}

template <class Number>
bool Parse(std::wstring_view text, Number& value)
{
    // Numbers are short: their text goes through a buffer on the stack, not the heap.
    char local[64];
    std::string heap;
    char* ascii = local;
    if (text.size() > sizeof(local)) {
        heap.resize(text.size());
        ascii = heap.data();
    }
    if (!Ascii(text, ascii))
        return false;
    const char* end = ascii + text.size();
    const auto [ptr, ec] = std::from_chars(ascii, end, value);
    return ec == std::errc() && ptr == end;
}

// Reads a value in pieces of kUnits. The indicator counts the bytes still to come, this
// piece included, or is SQL_NO_TOTAL when the driver does not know; a text piece keeps
// one unit for the terminator the driver writes.
template <class Unit, size_t kUnits, bool kTerminated>
bool ReadPieces(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, std::vector<Unit>& value)
{
    value.clear();
    Unit buffer[kUnits];
    constexpr SQLLEN kRoom = static_cast<SQLLEN>(kUnits) - (kTerminated ? 1 : 0);
    for (;;) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, cType, buffer, sizeof(buffer), &ind);
        if (rc == SQL_NO_DATA)
            return true;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLGetData");
        if (ind == SQL_NULL_DATA)
            return false;
        const bool complete = ind != SQL_NO_TOTAL && ind / static_cast<SQLLEN>(sizeof(Unit)) <= kRoom;
        const SQLLEN units = complete ? ind / static_cast<SQLLEN>(sizeof(Unit)) : kRoom;
        value.insert(value.end(), buffer, buffer + units);
        if (complete)
            return true;
    }
}

}  // namespace

ValueKind KindOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return ValueKind::Bytes;
    case SQL_BIT:
        return ValueKind::Boolean;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return ValueKind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ValueKind::Float;
    default:
        return ValueKind::Text;
    }
}

bool ReadText(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<wchar_t>& value)
{
    return ReadPieces<wchar_t, 512, true>(stmt, col, SQL_C_WCHAR, value);
}

bool ReadBytes(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<unsigned char>& value)
{
    return ReadPieces<unsigned char, 1024, false>(stmt, col, SQL_C_BINARY, value);
}

bool ParseTyped(ValueKind kind, std::wstring_view text, FieldValue& value)
{
    switch (kind) {
    case ValueKind::Integer:
        if (long long n; Parse(text, n))
            return value = n, true;
        break;
    case ValueKind::Float:
        if (double d; Parse(text, d))
            return value = d, true;
        break;
    case ValueKind::Boolean:
        if (long long n; Parse(text, n))
            return value = n != 0, true;
        if (EqualsNoCase(text, L"true"))
            return value = true, true;
        if (EqualsNoCase(text, L"false"))
            return value = false, true;
        break;
    default:
        break;
    }
    return false;
}

std::wstring QuoteName(std::wstring_view name) { return Enclose(name, L'[', L']'); }

void BindValue(SQLHSTMT stmt, SQLUSMALLINT number, BoundValue& p)
{
    static unsigned char empty = 0;
    SQLRETURN rc = SQL_ERROR;
    if (auto* text = std::get_if<std::wstring>(&p.value)) {
        const SQLULEN chars = text->size();
        p.ind = static_cast<SQLLEN>(chars * sizeof(wchar_t));
        rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_WCHAR, chars > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                              std::max<SQLULEN>(chars, 1), 0, text->data(),
                              static_cast<SQLLEN>((chars + 1) * sizeof(wchar_t)), &p.ind);
    } else if (auto* n = std::get_if<long long>(&p.value)) {
        rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, n, 0, &p.ind);
    } else if (auto* d = std::get_if<double>(&p.value)) {
        rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, d, 0, &p.ind);
    } else if (auto* b = std::get_if<bool>(&p.value)) {
        p.bit = *b ? 1 : 0;
        rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &p.bit, 0, &p.ind);
    } else if (auto* bytes = std::get_if<std::vector<unsigned char>>(&p.value)) {
        const SQLULEN size = bytes->size();
        p.ind = static_cast<SQLLEN>(size);
        rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_BINARY,
                              size > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY, std::max<SQLULEN>(size, 1), 0,
                              bytes->empty() ? &empty : bytes->data(), static_cast<SQLLEN>(size), &p.ind);
    }
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLBindParameter");
}

}  // namespace vcm
