// The program's one database layer: a recordset over ODBC (wide API) that reads a query's
// rows once and then offers the forward walk, field access by name, find, filter, record
// count and delete of the current row that the mapping commands need.
#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mapping/BlockFetch.h"
#include "platform/ChunkedArena.h"
#include "mapping/FieldValue.h"
#include "mapping/OdbcConnection.h"
#include "mapping/OdbcValues.h"
#include "platform/Handles.h"

namespace vcm {

// Cursor and lock kinds as the callers name them.
inline constexpr int kCursorDynamic = 2;
inline constexpr int kLockReadOnly = 1;
inline constexpr int kLockOptimistic = 3;
inline constexpr int kOptionsUnspecified = -1;

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Opens a connection of its own, runs the query with every '?' bound to the matching
    // parameter as text, reads all rows in the order the database returns them and
    // keeps them. The first row (if any) becomes current. A read-only set refuses Delete.
    // Every set reads its rows once, whatever cursor kind and options the caller names.
    void Open(const std::wstring& query, const std::wstring& connection, int cursorType = kCursorDynamic,
              int lockType = kLockReadOnly, int options = kOptionsUnspecified,
              const std::vector<std::wstring>& parameters = {});

    // MoveFirst on an empty or closed set, and MoveNext past the end, throw an Error.
    void MoveFirst();
    void MoveNext();
    // True when there is no current row; throws on a closed set.
    bool IsEOF() const;

    // The current row's value of a column; names match without regard to case.
    FieldValue Field(std::wstring_view name) const;
    // The same into a value the caller keeps, reusing its text or byte storage: a walk over
    // many rows then allocates nothing per value.
    void Field(std::wstring_view name, FieldValue& value) const;

    // A column's position for the overloads below, which a walk over many rows uses to match
    // no names per row; kNoColumn when the set has no such column, which they refuse as the
    // named forms refuse an unknown name.
    static constexpr size_t kNoColumn = static_cast<size_t>(-1);
    size_t ColumnOf(std::wstring_view name) const;
    void Field(size_t col, FieldValue& value) const;
    bool FieldIsNull(size_t col) const;
    // The current row's value in its text form (FieldText), empty for Null: a view into the
    // set for text, valid while the set is open, else into scratch.
    std::wstring_view FieldText(size_t col, std::wstring& scratch) const;

    // Makes current the first visible row, at or after the current one, whose column equals
    // the value; when none does the set is at its end. Equal means: neither side Null and
    // the text forms equal without regard to case. The column's index is built on first use.
    void Find(std::wstring_view column, const FieldValue& value);
    // The same for a value given in its text form (never Null).
    void Find(size_t col, std::wstring_view text);
    // Find for many text forms at once, each sought from the first visible row: for each,
    // the position of the row Find would make current (for MoveTo), or kNoPosition when none
    // equals it. Far faster than one Find after another on a large set.
    static constexpr size_t kNoPosition = static_cast<size_t>(-1);
    std::vector<size_t> FindEach(size_t col, std::span<const std::wstring_view> texts);
    // Makes the visible row at a position FindEach gave current.
    void MoveTo(size_t position);
    // Asks the memory for a field of the visible row at a position well before it is read,
    // as a walk in an order of its own (positions FindEach gave) does: first its cell, and
    // later, once the cell has arrived, the text it points to.
    void PrefetchCell(size_t position, size_t col) const;
    void PrefetchText(size_t position, size_t col) const;
    // Leaves visible only the rows whose column equals the value (as Find compares); the
    // first visible row becomes current. Each filter applies to all rows the set still holds.
    void Filter(std::wstring_view column, const FieldValue& value);
    // The rows visible after the open or the last filter, less the deleted ones.
    long RecordCount() const;

    // Deletes the current row from the table the set was read from, named by the caller:
    // drivers do not tell a plain query's base table. The row is the one whose named columns
    // hold the values the set holds for them; DeleteOneRow (RowDelete.h) proves that exactly
    // that one row went, or changes nothing and throws. The row then leaves the set; there is
    // no current row until the next move.
    void Delete(std::wstring_view table, const std::vector<std::wstring>& columns);

    void Close();
    bool IsOpen() const;

private:
    // One stored value in eight bytes: Booleans inline, text and bytes as a stretch of the
    // set's arenas, other numbers in a side table, so that reading a large table costs no
    // allocation per value and little memory per row.
    struct StoredCell {
        enum class Kind : uint32_t { Null, Text, Integer, Float, Boolean, Bytes };
        static constexpr uint32_t kMaxLength = (1u << 29) - 1;
        uint32_t kindBits : 3 = 0;
        uint32_t length : 29 = 0;  // characters or bytes
        uint32_t payload = 0;      // arena position, index into m_numbers, or the Boolean
        Kind kind() const { return static_cast<Kind>(kindBits); }
    };
    struct Column {
        std::wstring name;
        short sqlType = 0;
    };
    class ColumnIndex;

    void RequireOpen() const;
    size_t RequireColumn(std::wstring_view name) const;
    size_t RequireColumn(size_t col) const;
    size_t RequireCurrent() const;  // storage index of the current row
    const StoredCell& Cell(size_t row, size_t col) const
    {
        return *m_cells.At(static_cast<uint32_t>(row * m_columns.size() + col));
    }
    FieldValue Value(const StoredCell& cell) const;
    StoredCell Stored(const FieldValue& number);  // a number or Boolean
    // A value's text form; a view into the arena for text, else formatted into scratch.
    std::wstring_view TextOf(const StoredCell& cell, std::wstring& scratch) const;
    const ColumnIndex& IndexOf(size_t col);
    bool IsVisible(uint32_t row, size_t* position) const;
    // Reads the executed statement's result into the set: a block of rows per fetch where
    // every column has a bounded width, else value by value. A value that outgrew its
    // column's buffer is never cut: the statement runs again and is read value by value.
    void ReadResult(SQLHSTMT stmt, std::wstring& sql);
    std::vector<ColumnShape> DescribeColumns(SQLHSTMT stmt);
    bool ReadBlocks(BlockFetch& block);  // false when a value was truncated
    void ReadRows(SQLHSTMT stmt);
    static uint32_t StoredLength(size_t size);
    void AddRow();
    void AddText(size_t col, std::wstring_view text);
    void AddBytes(std::span<const unsigned char> bytes);
    void AddNull();
    void ClearRows();

    OdbcConnection m_connection;
    bool m_open = false;
    bool m_readOnly = true;

    std::vector<Column> m_columns;
    std::vector<ValueKind> m_kinds;        // per column, while the result is read
    FieldValue m_typed;                    // scratch of AddText
    ChunkedArena<StoredCell, 14> m_cells;  // row-major, every row the query returned
    ChunkedArena<wchar_t> m_text;
    ChunkedArena<unsigned char> m_bytes;
    std::vector<uint64_t> m_numbers;       // bits of the integer and floating-point values
    size_t m_rowCount = 0;
    std::vector<uint32_t> m_visible;      // storage indices, ascending
    std::vector<bool> m_deleted;          // per storage row
    size_t m_pos = 0;                     // index into m_visible; == size() means end
    bool m_currentDeleted = false;        // the row at m_pos follows a deleted current row
    std::vector<std::unique_ptr<ColumnIndex>> m_indexes;  // per column, built on demand
};

}  // namespace vcm
