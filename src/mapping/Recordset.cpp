#include "mapping/Recordset.h"

#include <algorithm>
#include <cstring>

#include "mapping/OdbcValues.h"
#include "mapping/RecordsetIndex.h"
#include "mapping/RowDelete.h"
#include "platform/ErrorCodes.h"
#include "platform/Prefetch.h"

namespace vcm {

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

namespace {

// A value's text form, as find and filter compare it: a view of the text itself, else of
// its form written into scratch.
std::wstring_view TextForm(const FieldValue& value, std::wstring& scratch)
{
    if (const auto* text = std::get_if<std::wstring>(&value))
        return *text;
    return scratch = FieldText(value);
}

void Execute(SQLHSTMT stmt, std::wstring& sql)
{
    const SQLRETURN rc = SQLExecDirectW(stmt, Sql(sql), SQL_NTS);
    if (rc != SQL_NO_DATA)
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLExecDirectW");
}

}  // namespace

void Recordset::Open(const std::wstring& query, const std::wstring& connection, int /*cursorType*/, int lockType,
                     int /*options*/, const std::vector<std::wstring>& parameters)
{
    if (m_open)
        throw ObjectOpenError(L"Recordset::Open");
    try {
        m_connection = OdbcConnection(connection);
        UniqueSqlStmt stmt = m_connection.NewStatement();
        std::vector<BoundValue> bound(parameters.size());
        for (size_t i = 0; i < parameters.size(); ++i) {
            bound[i].value = parameters[i];
            BindValue(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i]);
        }
        std::wstring sql = query;
        Execute(stmt.get(), sql);
        ReadResult(stmt.get(), sql);
        // The statement is freed here: nothing stays locked in the database while the set lives.
    } catch (...) {
        Close();
        throw;
    }
    m_readOnly = lockType == kLockReadOnly;
    m_open = true;
}

std::vector<ColumnShape> Recordset::DescribeColumns(SQLHSTMT stmt)
{
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, L"SQLNumResultCols");
    m_columns.assign(static_cast<size_t>(count), Column{});
    m_kinds.assign(m_columns.size(), ValueKind::Text);
    std::vector<ColumnShape> shapes(m_columns.size());
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        Column& c = m_columns[i - 1];
        std::wstring name(256, L'\0');
        SQLSMALLINT nameLength = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        for (;;) {
            CheckOdbc(SQLDescribeColW(stmt, i, Sql(name), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                  &c.sqlType, &size, &digits, &nullable),
                  SQL_HANDLE_STMT, stmt, L"SQLDescribeColW");
            if (static_cast<size_t>(nameLength) < name.size())
                break;
            name.assign(static_cast<size_t>(nameLength) + 1, L'\0');
        }
        name.resize(static_cast<size_t>(nameLength));
        c.name = std::move(name);
        m_kinds[i - 1] = KindOf(c.sqlType);
        shapes[i - 1] = {c.sqlType, size};
    }
    return shapes;
}

void Recordset::ReadResult(SQLHSTMT stmt, std::wstring& sql)
{
    const std::vector<ColumnShape> shapes = DescribeColumns(stmt);
    if (!m_columns.empty()) {
        BlockFetch block;
        if (!block.Bind(stmt, shapes)) {
            ReadRows(stmt);
        } else if (!ReadBlocks(block)) {
            // A value longer than its column's width (SQLite keeps any length) cannot be read
            // again from a forward-only block cursor: read the whole result once more, value by value.
            block.Release();
            CheckOdbc(SQLFreeStmt(stmt, SQL_CLOSE), SQL_HANDLE_STMT, stmt, L"SQLFreeStmt");
            ClearRows();
            Execute(stmt, sql);
            ReadRows(stmt);
        }
    }
    m_kinds.clear();
    m_visible.resize(m_rowCount);
    for (size_t r = 0; r < m_rowCount; ++r)
        m_visible[r] = static_cast<uint32_t>(r);
    m_deleted.assign(m_rowCount, false);
    m_indexes.resize(m_columns.size());
}

bool Recordset::ReadBlocks(BlockFetch& block)
{
    for (size_t rows; (rows = block.Fetch()) != 0;) {
        for (size_t r = 0; r < rows; ++r) {
            AddRow();
            for (size_t c = 0; c < m_columns.size(); ++c) {
                switch (block.State(r, c)) {
                case BlockFetch::Cell::Truncated:
                    return false;
                case BlockFetch::Cell::Null:
                    AddNull();
                    break;
                case BlockFetch::Cell::Value:
                    if (m_kinds[c] == ValueKind::Bytes)
                        AddBytes(block.Bytes(r, c));
                    else
                        AddText(c, block.Text(r, c));
                    break;
                }
            }
        }
    }
    return true;
}

void Recordset::ReadRows(SQLHSTMT stmt)
{
    std::vector<wchar_t> text;
    std::vector<unsigned char> bytes;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLFetch");
        AddRow();
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(m_columns.size()); ++i) {
            if (m_kinds[i - 1] == ValueKind::Bytes) {
                if (ReadBytes(stmt, i, bytes))
                    AddBytes(bytes);
                else
                    AddNull();
            } else if (ReadText(stmt, i, text)) {
                AddText(i - 1, std::wstring_view(text.data(), text.size()));
            } else {
                AddNull();
            }
        }
    }
}

uint32_t Recordset::StoredLength(size_t size)
{
    if (size > StoredCell::kMaxLength)
        throw ProviderError(L"A value is too long for one recordset.", L"Recordset::Open");
    return static_cast<uint32_t>(size);
}

void Recordset::AddRow()
{
    if (m_rowCount >= kNoRow)
        throw ProviderError(L"Too many rows for one recordset.", L"Recordset::Open");
    ++m_rowCount;
}

// Numbers and Booleans become typed values; any other text, and text a number column
// holds in no number's form, is kept as text.
void Recordset::AddText(size_t col, std::wstring_view text)
{
    StoredCell cell;
    if (ParseTyped(m_kinds[col], text, m_typed)) {
        cell = Stored(m_typed);
    } else {
        cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Text);
        cell.length = StoredLength(text.size());
        cell.payload = m_text.Append(text.data(), text.size());
    }
    m_cells.Append(&cell, 1);
}

void Recordset::AddBytes(std::span<const unsigned char> bytes)
{
    StoredCell cell;
    cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Bytes);
    cell.length = StoredLength(bytes.size());
    cell.payload = m_bytes.Append(bytes.data(), bytes.size());
    m_cells.Append(&cell, 1);
}

void Recordset::AddNull()
{
    const StoredCell cell;
    m_cells.Append(&cell, 1);
}

void Recordset::ClearRows()
{
    m_cells.Clear();
    m_text.Clear();
    m_bytes.Clear();
    m_numbers.clear();
    m_rowCount = 0;
}

Recordset::StoredCell Recordset::Stored(const FieldValue& number)
{
    StoredCell cell;
    uint64_t bits = 0;
    if (const long long* n = std::get_if<long long>(&number)) {
        cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Integer);
        std::memcpy(&bits, n, sizeof(*n));
    } else if (const double* d = std::get_if<double>(&number)) {
        cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Float);
        std::memcpy(&bits, d, sizeof(*d));
    } else if (const bool* b = std::get_if<bool>(&number)) {
        cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Boolean);
        cell.payload = *b ? 1 : 0;
        return cell;
    } else {
        return cell;
    }
    if (m_numbers.size() >= kNoRow)
        throw ProviderError(L"Too many numbers for one recordset.", L"Recordset::Open");
    cell.payload = static_cast<uint32_t>(m_numbers.size());
    m_numbers.push_back(bits);
    return cell;
}

FieldValue Recordset::Value(const StoredCell& cell) const
{
    switch (cell.kind()) {
    case StoredCell::Kind::Text:
        if (cell.length == 0)
            return std::wstring();
        return std::wstring(m_text.At(cell.payload), cell.length);
    case StoredCell::Kind::Bytes: {
        if (cell.length == 0)
            return std::vector<unsigned char>();
        const unsigned char* first = m_bytes.At(cell.payload);
        return std::vector<unsigned char>(first, first + cell.length);
    }
    case StoredCell::Kind::Integer: {
        long long n;
        std::memcpy(&n, &m_numbers[cell.payload], sizeof(n));
        return n;
    }
    case StoredCell::Kind::Float: {
        double d;
        std::memcpy(&d, &m_numbers[cell.payload], sizeof(d));
        return d;
    }
    case StoredCell::Kind::Boolean:
        return cell.payload != 0;
    case StoredCell::Kind::Null:
        break;
    }
    return {};
}

std::wstring_view Recordset::TextOf(const StoredCell& cell, std::wstring& scratch) const
{
    if (cell.kind() == StoredCell::Kind::Text)
        return cell.length == 0 ? std::wstring_view(L"") : std::wstring_view(m_text.At(cell.payload), cell.length);
    scratch = vcm::FieldText(Value(cell));
    return scratch;
}

void Recordset::RequireOpen() const
{
    if (!m_open)
        throw ObjectClosedError(L"Recordset");
}

size_t Recordset::RequireColumn(std::wstring_view name) const
{
    RequireOpen();
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (SameName(m_columns[i].name, name))
            return i;
    throw ItemNotFoundError(name);
}

size_t Recordset::RequireCurrent() const
{
    RequireOpen();
    if (m_currentDeleted || m_pos >= m_visible.size())
        throw NoCurrentRecordError(L"Recordset");
    return m_visible[m_pos];
}

void Recordset::MoveFirst()
{
    RequireOpen();
    if (m_visible.empty())
        throw NoCurrentRecordError(L"Recordset::MoveFirst");
    m_pos = 0;
    m_currentDeleted = false;
}

void Recordset::MoveNext()
{
    RequireOpen();
    if (m_currentDeleted) {
        // The row after the deleted one already stands at the current position.
        m_currentDeleted = false;
        return;
    }
    if (m_pos >= m_visible.size())
        throw NoCurrentRecordError(L"Recordset::MoveNext");
    ++m_pos;
}

bool Recordset::IsEOF() const
{
    RequireOpen();
    return !m_currentDeleted && m_pos >= m_visible.size();
}

FieldValue Recordset::Field(std::wstring_view name) const
{
    const size_t col = RequireColumn(name);
    return Value(Cell(RequireCurrent(), col));
}

void Recordset::Field(std::wstring_view name, FieldValue& value) const { Field(RequireColumn(name), value); }

void Recordset::Field(size_t col, FieldValue& value) const
{
    const StoredCell& cell = Cell(RequireCurrent(), RequireColumn(col));
    if (cell.kind() == StoredCell::Kind::Text) {
        const wchar_t* first = cell.length == 0 ? L"" : m_text.At(cell.payload);
        if (auto* text = std::get_if<std::wstring>(&value))
            text->assign(first, cell.length);
        else
            value = std::wstring(first, cell.length);
    } else if (cell.kind() == StoredCell::Kind::Bytes) {
        static const unsigned char kNone = 0;
        const unsigned char* first = cell.length == 0 ? &kNone : m_bytes.At(cell.payload);
        if (auto* bytes = std::get_if<std::vector<unsigned char>>(&value))
            bytes->assign(first, first + cell.length);
        else
            value = std::vector<unsigned char>(first, first + cell.length);
    } else {
        value = Value(cell);
    }
}

size_t Recordset::ColumnOf(std::wstring_view name) const
{
    RequireOpen();
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (SameName(m_columns[i].name, name))
            return i;
    return kNoColumn;
}

size_t Recordset::RequireColumn(size_t col) const
{
    RequireOpen();
    if (col >= m_columns.size())
        throw ItemNotFoundError(L"");
    return col;
}

bool Recordset::FieldIsNull(size_t col) const
{
    return Cell(RequireCurrent(), RequireColumn(col)).kind() == StoredCell::Kind::Null;
}

std::wstring_view Recordset::FieldText(size_t col, std::wstring& scratch) const
{
    return TextOf(Cell(RequireCurrent(), RequireColumn(col)), scratch);
}

const Recordset::ColumnIndex& Recordset::IndexOf(size_t col)
{
    if (!m_indexes[col])
        m_indexes[col] = std::make_unique<ColumnIndex>(*this, col);
    return *m_indexes[col];
}

bool Recordset::IsVisible(uint32_t row, size_t* position) const
{
    if (m_visible.size() == m_rowCount) {  // no filter and no deletion: every row, in order
        *position = row;
        return true;
    }
    const auto it = std::lower_bound(m_visible.begin(), m_visible.end(), row);
    if (it == m_visible.end() || *it != row)
        return false;
    *position = static_cast<size_t>(it - m_visible.begin());
    return true;
}

void Recordset::Find(std::wstring_view column, const FieldValue& value)
{
    const size_t col = RequireColumn(column);
    if (IsNull(value)) {  // Null equals nothing
        m_currentDeleted = false;
        m_pos = m_visible.size();
        return;
    }
    std::wstring scratch;
    Find(col, TextForm(value, scratch));
}

void Recordset::Find(size_t col, std::wstring_view text)
{
    RequireColumn(col);
    m_currentDeleted = false;
    if (m_pos >= m_visible.size())
        return;
    const uint32_t start = m_visible[m_pos];
    const ColumnIndex& index = IndexOf(col);
    for (uint32_t r = index.First(text); r != kNoRow; r = index.Next(r)) {
        size_t position = 0;
        if (r >= start && IsVisible(r, &position)) {
            m_pos = position;
            return;
        }
    }
    m_pos = m_visible.size();
}

std::vector<size_t> Recordset::FindEach(size_t col, std::span<const std::wstring_view> texts)
{
    RequireColumn(col);
    std::vector<size_t> positions(texts.size(), kNoPosition);
    if (m_visible.empty())
        return positions;
    const ColumnIndex& index = IndexOf(col);
    index.FirstEach(texts, [&](size_t i, uint32_t first) {
        for (uint32_t r = first; r != kNoRow; r = index.Next(r))
            if (IsVisible(r, &positions[i]))
                return;
    });
    return positions;
}

void Recordset::MoveTo(size_t position)
{
    RequireOpen();
    if (position >= m_visible.size())
        throw NoCurrentRecordError(L"Recordset::MoveTo");
    m_pos = position;
    m_currentDeleted = false;
}

void Recordset::PrefetchCell(size_t position, size_t col) const
{
    if (position < m_visible.size() && col < m_columns.size())
        Prefetch(&Cell(m_visible[position], col));
}

void Recordset::PrefetchText(size_t position, size_t col) const
{
    if (position >= m_visible.size() || col >= m_columns.size())
        return;
    const StoredCell& cell = Cell(m_visible[position], col);
    if (cell.kind() == StoredCell::Kind::Text && cell.length != 0)
        Prefetch(m_text.At(cell.payload));
}

void Recordset::Filter(std::wstring_view column, const FieldValue& value)
{
    const size_t col = RequireColumn(column);
    const ColumnIndex& index = IndexOf(col);
    m_visible.clear();
    if (!IsNull(value)) {  // Null equals nothing
        std::wstring scratch;
        for (uint32_t r = index.First(TextForm(value, scratch)); r != kNoRow; r = index.Next(r))
            if (!m_deleted[r])
                m_visible.push_back(r);
    }
    m_pos = 0;
    m_currentDeleted = false;
}

long Recordset::RecordCount() const
{
    RequireOpen();
    return static_cast<long>(m_visible.size());
}

void Recordset::Delete(std::wstring_view table, const std::vector<std::wstring>& columns)
{
    RequireOpen();
    if (m_readOnly)
        throw NotUpdatableError(L"Recordset::Delete");
    const size_t row = RequireCurrent();
    if (table.empty() || columns.empty())
        throw ProviderError(L"Insufficient base table information for updating or refreshing.",
              L"Recordset::Delete");

    std::vector<RowCondition> conditions;
    conditions.reserve(columns.size());
    for (const std::wstring& name : columns) {
        const size_t col = RequireColumn(name);
        conditions.push_back({m_columns[col].name, m_columns[col].sqlType, Value(Cell(row, col))});
    }
    DeleteOneRow(m_connection, table, conditions);

    m_deleted[row] = true;
    m_visible.erase(m_visible.begin() + static_cast<std::ptrdiff_t>(m_pos));
    m_currentDeleted = true;
}

void Recordset::Close()
{
    m_open = false;
    m_columns.clear();
    m_cells.Clear();
    m_text.Clear();
    m_bytes.Clear();
    m_numbers = {};
    m_rowCount = 0;
    m_visible.clear();
    m_deleted.clear();
    m_pos = 0;
    m_currentDeleted = false;
    m_indexes.clear();
    m_connection = OdbcConnection();
}

bool Recordset::IsOpen() const { return m_open; }

}  // namespace vcm
