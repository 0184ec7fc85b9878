// Reads a result a block of rows per fetch: every column bound to an array of its own
// (column-wise binding), so that one SQLFetch brings many rows across the driver manager
// instead of one SQLFetch and one SQLGetData call per value.
#pragma once
#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "mapping/Odbc.h"

namespace vcm {

// A result column as SQLDescribeColW reports it.
struct ColumnShape {
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;  // characters, bytes or digits, as the type counts them; 0 when unbounded
};

class BlockFetch {
public:
    // Rows a block holds at most; fewer where the row is wide.
    static constexpr size_t kMaxRows = 512;

    // What a bound value holds after a fetch.
    enum class Cell { Null, Value, Truncated };

    // Characters (text) or bytes (binary) one value of the column may take in a block, or 0
    // when the column has no width a buffer could hold: long text and binary (text, ntext,
    // image, the max types) and types we do not know. Such a result is read value by value.
    static size_t Width(const ColumnShape& column);

    BlockFetch() = default;
    BlockFetch(const BlockFetch&) = delete;
    BlockFetch& operator=(const BlockFetch&) = delete;

    // Binds every column of an executed statement's result and sets the row array size.
    // The statement must have been executed with a row array size of 1: the SQL Server
    // driver then streams a default result set, and a larger array size set afterwards only
    // takes the rows from it in blocks. False, with nothing bound and the array size back at
    // 1, when a column has no bounded width or the driver keeps to one row per fetch.
    bool Bind(SQLHSTMT stmt, const std::vector<ColumnShape>& columns);
    // Unbinds and sets the row array size back to 1, so the statement reads value by value
    // again (SQLGetData is not allowed on a block cursor).
    void Release();

    // Fetches the next block and returns the rows it holds, 0 at the end of the result.
    // Throws the driver's diagnostics as SQLFetch would, also for a row of the block that
    // failed on its own.
    size_t Fetch();

    // Values of the last block; a truncated value is not handed out.
    Cell State(size_t row, size_t col) const;
    std::wstring_view Text(size_t row, size_t col) const;
    std::span<const unsigned char> Bytes(size_t row, size_t col) const;

private:
    struct Column {
        bool binary = false;
        size_t width = 0;                  // units one value may take
        std::vector<wchar_t> text;         // rows * (width + 1): the driver writes a terminator
        std::vector<unsigned char> bytes;  // rows * width
        std::vector<SQLLEN> ind;           // bytes of each value, SQL_NULL_DATA or SQL_NO_TOTAL
    };

    SQLHSTMT m_stmt = SQL_NULL_HSTMT;
    std::vector<Column> m_columns;
    std::vector<SQLUSMALLINT> m_status;
    SQLULEN m_fetched = 0;
};

}  // namespace vcm
