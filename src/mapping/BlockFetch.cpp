#include "mapping/BlockFetch.h"

#include <algorithm>

#include "mapping/OdbcConnection.h"
#include "platform/ErrorCodes.h"

namespace vcm {

namespace {

// Bounded character and binary columns up to SQL Server's widest non-max types fit a block.
constexpr SQLULEN kMaxTextWidth = 4000;
constexpr SQLULEN kMaxBinaryWidth = 8000;
// A number, Boolean or date in text form: a decimal(38) with its sign and point takes 40.
constexpr size_t kScalarWidth = 64;
// A GUID reads as 36 characters; the SQL Server driver fails a buffer without room for the
// terminator as well.
constexpr size_t kGuidWidth = 36;
// The buffers of one block take at most this many bytes.
constexpr size_t kBlockBytes = 1024 * 1024;

SQLRETURN SetPointer(SQLHSTMT stmt, SQLINTEGER attribute, void* value)
{
    return SQLSetStmtAttrW(stmt, attribute, value, SQL_IS_POINTER);
}

SQLRETURN SetArraySize(SQLHSTMT stmt, SQLULEN rows)
{
    return SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), SQL_IS_UINTEGER);
}

}  // namespace

size_t BlockFetch::Width(const ColumnShape& column)
{
    switch (column.sqlType) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return column.size >= 1 && column.size <= kMaxTextWidth ? static_cast<size_t>(column.size) : 0;
    case SQL_BINARY:
    case SQL_VARBINARY:
        return column.size >= 1 && column.size <= kMaxBinaryWidth ? static_cast<size_t>(column.size) : 0;
    case SQL_GUID:
        return kGuidWidth;
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
        return kScalarWidth;
    default:
        return 0;
    }
}

bool BlockFetch::Bind(SQLHSTMT stmt, const std::vector<ColumnShape>& columns)
{
    m_stmt = stmt;
    m_columns.assign(columns.size(), Column{});
    size_t rowBytes = 0;
    for (size_t c = 0; c < columns.size(); ++c) {
        Column& column = m_columns[c];
        column.width = Width(columns[c]);
        if (column.width == 0)
            return false;
        column.binary = columns[c].sqlType == SQL_BINARY || columns[c].sqlType == SQL_VARBINARY;
        rowBytes += sizeof(SQLLEN) + (column.binary ? column.width : (column.width + 1) * sizeof(wchar_t));
    }
    const size_t rows = std::min(kMaxRows, kBlockBytes / std::max<size_t>(rowBytes, 1));
    if (columns.empty() || rows < 2)
        return false;

    // The driver may answer 01S02 and keep a smaller array; the block then holds what it says.
    if (!SQL_SUCCEEDED(SetArraySize(stmt, rows)))
        return false;
    SQLULEN granted = 0;
    if (!SQL_SUCCEEDED(SQLGetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, SQL_IS_UINTEGER, nullptr)) ||
        granted < 2 || granted > rows) {
        Release();
        return false;
    }
    m_status.assign(granted, SQL_ROW_NOROW);
    bool bound = SQL_SUCCEEDED(SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                               reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), SQL_IS_UINTEGER)) &&
                 SQL_SUCCEEDED(SetPointer(stmt, SQL_ATTR_ROW_STATUS_PTR, m_status.data())) &&
                 SQL_SUCCEEDED(SetPointer(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched));
    for (size_t c = 0; bound && c < m_columns.size(); ++c) {
        Column& column = m_columns[c];
        column.ind.assign(granted, 0);
        SQLRETURN rc;
        if (column.binary) {
            column.bytes.assign(granted * column.width, 0);
            rc = SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_BINARY, column.bytes.data(),
                            static_cast<SQLLEN>(column.width), column.ind.data());
        } else {
            column.text.assign(granted * (column.width + 1), L'\0');
            rc = SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_WCHAR, column.text.data(),
                            static_cast<SQLLEN>((column.width + 1) * sizeof(wchar_t)), column.ind.data());
        }
        bound = SQL_SUCCEEDED(rc);
    }
    if (!bound) {
        Release();
        return false;
    }
    return true;
}

void BlockFetch::Release()
{
    SQLFreeStmt(m_stmt, SQL_UNBIND);
    SetArraySize(m_stmt, 1);
    SetPointer(m_stmt, SQL_ATTR_ROW_STATUS_PTR, nullptr);
    SetPointer(m_stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr);
    m_columns.clear();
    m_status.clear();
    m_fetched = 0;
}

size_t BlockFetch::Fetch()
{
    m_fetched = 0;
    const SQLRETURN rc = SQLFetch(m_stmt);
    if (rc == SQL_NO_DATA)
        return 0;
    CheckOdbc(rc, SQL_HANDLE_STMT, m_stmt, L"SQLFetch");
    // A fetch that succeeded holds at least one row; a driver that says otherwise would
    // make the rest of the result look like its end.
    if (m_fetched == 0 || m_fetched > m_status.size())
        throw ProviderError(L"The driver fetched a block without telling its rows.", L"SQLFetch");
    const size_t rows = m_fetched;
    for (size_t r = 0; r < rows; ++r)
        if (m_status[r] == SQL_ROW_ERROR)
            throw OdbcError(SQL_HANDLE_STMT, m_stmt, L"SQLFetch");
    return rows;
}

BlockFetch::Cell BlockFetch::State(size_t row, size_t col) const
{
    const Column& column = m_columns[col];
    const SQLLEN ind = column.ind[row];
    if (ind == SQL_NULL_DATA)
        return Cell::Null;
    // The indicator counts the whole value; a value longer than the buffer was cut.
    const size_t room = column.binary ? column.width : column.width * sizeof(wchar_t);
    if (ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) > room)
        return Cell::Truncated;
    return Cell::Value;
}

std::wstring_view BlockFetch::Text(size_t row, size_t col) const
{
    const Column& column = m_columns[col];
    return {column.text.data() + row * (column.width + 1), static_cast<size_t>(column.ind[row]) / sizeof(wchar_t)};
}

std::span<const unsigned char> BlockFetch::Bytes(size_t row, size_t col) const
{
    const Column& column = m_columns[col];
    return {column.bytes.data() + row * column.width, static_cast<size_t>(column.ind[row])};
}

}  // namespace vcm
