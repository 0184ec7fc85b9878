#include "mapping/Recordset.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iterator>
#include <limits>

#include "platform/Error.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// The numbers and texts callers of a recordset know from the platform's data objects.
constexpr long kItemNotFound = 3265;
constexpr long kNoCurrentRecord = 3021;
constexpr long kObjectClosed = 3704;
constexpr long kObjectOpen = 3705;
constexpr long kNotUpdatable = 3251;
constexpr long kRowNotLocated = -2147217864;  // 0x80040E38
constexpr long kProviderFailure = -2147467259;  // 0x80004005

[[noreturn]] void Throw(long number, const wchar_t* description, const wchar_t* source)
{
    throw Error(number, description, source);
}

[[noreturn]] void ThrowClosed(const wchar_t* source)
{
    Throw(kObjectClosed, L"Operation is not allowed when the object is closed.", source);
}

[[noreturn]] void ThrowNoCurrent(const wchar_t* source)
{
    Throw(kNoCurrentRecord,
          L"Either BOF or EOF is True, or the current record has been deleted. Requested operation requires a "
          L"current record.",
          source);
}

SQLWCHAR* Sql(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// How a column's values are read and what kind of value they become.
enum class Kind { Text, Integer, Float, Boolean, Bytes };

Kind KindOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
        return Kind::Bytes;
    case SQL_BIT:
        return Kind::Boolean;
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
        return Kind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return Kind::Float;
    default:
        return Kind::Text;
    }
}

// Reads a whole text value in pieces into value; false for Null.
bool ReadText(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<wchar_t>& value)
{
    value.clear();
    SQLWCHAR buffer[512];
    constexpr SQLLEN kChars = static_cast<SQLLEN>(std::size(buffer)) - 1;  // room for the terminator
    for (;;) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_WCHAR, buffer, sizeof(buffer), &ind);
        if (rc == SQL_NO_DATA)
            return true;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLGetData");
        if (ind == SQL_NULL_DATA)
            return false;
        // The indicator counts the bytes still to come, this piece included.
        const bool complete = ind != SQL_NO_TOTAL && ind / static_cast<SQLLEN>(sizeof(SQLWCHAR)) <= kChars;
        const SQLLEN chars = complete ? ind / static_cast<SQLLEN>(sizeof(SQLWCHAR)) : kChars;
        const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer);
        value.insert(value.end(), text, text + chars);
        if (complete)
            return true;
    }
}

bool ReadBytes(SQLHSTMT stmt, SQLUSMALLINT col, std::vector<unsigned char>& value)
{
    value.clear();
    unsigned char buffer[1024];
    for (;;) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_BINARY, buffer, sizeof(buffer), &ind);
        if (rc == SQL_NO_DATA)
            return true;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLGetData");
        if (ind == SQL_NULL_DATA)
            return false;
        const bool complete = ind != SQL_NO_TOTAL && ind <= static_cast<SQLLEN>(sizeof(buffer));
        const size_t count = complete ? static_cast<size_t>(ind) : sizeof(buffer);
        value.insert(value.end(), buffer, buffer + count);
        if (complete)
            return true;
    }
}

bool Ascii(std::wstring_view text, std::string& out)
{
    out.clear();
    for (wchar_t c : text) {
        if (c > 0x7F)
            return false;
        out.push_back(static_cast<char>(c));
    }
    return !out.empty();
}

template <class Number>
bool Parse(std::wstring_view text, Number& value)
{
    std::string ascii;
    if (!Ascii(text, ascii))
        return false;
    const char* end = ascii.data() + ascii.size();
    const auto [ptr, ec] = std::from_chars(ascii.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// Numbers and Booleans travel as text and become typed values here, so that a value the
// database holds in a form the column's type does not expect stays readable as text.
// False when the text is to be kept as it is.
bool ParseTyped(Kind kind, std::wstring_view text, FieldValue& value)
{
    switch (kind) {
    case Kind::Integer:
        if (long long n; Parse(text, n))
            return value = n, true;
        break;
    case Kind::Float:
        if (double d; Parse(text, d))
            return value = d, true;
        break;
    case Kind::Boolean:
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

// An identifier quoted so that any character in it stays part of the name.
std::wstring QuoteName(std::wstring_view name) { return Enclose(name, L'[', L']'); }

// Upper case with the invariant table, the same for every user locale. Plain ASCII, by far
// the common case for ids, is mapped here without a call into the system.
std::wstring FoldCase(std::wstring_view text)
{
    std::wstring out(text);
    bool ascii = true;
    for (wchar_t& c : out) {
        if (c >= 0x80) {
            ascii = false;
            break;
        }
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - (L'a' - L'A'));
    }
    if (ascii || text.empty())
        return out;
    int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
                          nullptr, 0, nullptr, nullptr, 0);
    if (n <= 0)
        return std::wstring(text);
    out.assign(static_cast<size_t>(n), L'\0');
    n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()), out.data(),
                      n, nullptr, nullptr, 0);
    out.resize(static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - (L'a' - L'A')) : c; }

// Equal after case folding. Upper-case mapping keeps the length, so the lengths must match.
bool FoldedEqual(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const wchar_t x = a[i];
        const wchar_t y = b[i];
        if (x == y)
            continue;
        if (x >= 0x80 || y >= 0x80)
            return FoldCase(a) == FoldCase(b);
        if (AsciiUpper(x) != AsciiUpper(y))
            return false;
    }
    return true;
}

// Column names compare without regard to case, as the system compares them; plain ASCII
// names, the usual case, are compared here without a call into the system.
bool SameName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] >= 0x80 || b[i] >= 0x80)
            return EqualsNoCase(a, b);
        if (AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
    }
    return true;
}

// FNV-1a over the case-folded text, so that texts equal after folding hash alike.
uint64_t FoldedHash(std::wstring_view text)
{
    uint64_t hash = 14695981039346656037ull;
    for (wchar_t c : text) {
        if (c >= 0x80) {
            hash = 14695981039346656037ull;
            for (wchar_t f : FoldCase(text))
                hash = (hash ^ static_cast<uint16_t>(f)) * 1099511628211ull;
            return hash;
        }
        hash = (hash ^ static_cast<uint16_t>(AsciiUpper(c))) * 1099511628211ull;
    }
    return hash;
}

// One value bound as a statement parameter; lives until the statement has run.
struct BoundValue {
    FieldValue value;
    SQLLEN ind = 0;
    unsigned char bit = 0;
};

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

constexpr uint32_t kNoRow = std::numeric_limits<uint32_t>::max();

}  // namespace

bool IsNull(const FieldValue& value) { return std::holds_alternative<std::monostate>(value); }

std::wstring FieldText(const FieldValue& value)
{
    struct Visitor {
        std::wstring operator()(std::monostate) const { return {}; }
        std::wstring operator()(const std::wstring& s) const { return s; }
        std::wstring operator()(long long n) const { return std::to_wstring(n); }
        std::wstring operator()(double d) const
        {
            char buffer[64];
            const auto result = std::to_chars(buffer, buffer + sizeof(buffer), d);
            return std::wstring(buffer, result.ptr);
        }
        std::wstring operator()(bool b) const { return b ? L"True" : L"False"; }
        std::wstring operator()(const std::vector<unsigned char>& bytes) const
        {
            static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
            std::wstring out;
            out.reserve(bytes.size() * 2);
            for (unsigned char b : bytes) {
                out.push_back(kHex[b >> 4]);
                out.push_back(kHex[b & 0x0F]);
            }
            return out;
        }
    };
    return std::visit(Visitor{}, value);
}

// For one column: every non-Null row chained by its case-folded text, in row order, so that
// a find from any row walks only the rows that hold the value. The table is flat (open
// addressing on the folded hash) and a lookup allocates nothing: one find per mapping row
// must stay cheap for tables of hundreds of thousands of rows.
class Recordset::ColumnIndex {
public:
    ColumnIndex(const Recordset& set, size_t col) : m_set(set), m_col(col), m_next(set.m_rowCount, kNoRow)
    {
        size_t capacity = 16;
        while (capacity < set.m_rowCount * 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot{0, kNoRow});
        std::wstring scratch;
        for (size_t r = set.m_rowCount; r-- > 0;) {
            const StoredCell& cell = set.Cell(r, col);
            if (cell.kind() == StoredCell::Kind::Null)
                continue;
            const std::wstring_view text = set.TextOf(cell, scratch);
            const uint64_t hash = FoldedHash(text);
            Slot& slot = m_slots[Locate(hash, text)];
            slot.tag = Tag(hash);
            if (slot.row != kNoRow)
                m_next[r] = slot.row;
            slot.row = static_cast<uint32_t>(r);  // walking backwards, the head ends as the first row
        }
    }

    uint32_t First(const FieldValue& value) const
    {
        if (IsNull(value))
            return kNoRow;
        std::wstring scratch;
        const std::wstring_view text = std::holds_alternative<std::wstring>(value)
                                           ? std::wstring_view(std::get<std::wstring>(value))
                                           : std::wstring_view(scratch = FieldText(value));
        return m_slots[Locate(FoldedHash(text), text)].row;
    }
    uint32_t Next(uint32_t row) const { return m_next[row]; }

private:
    struct Slot {
        uint32_t tag;  // high half of the folded hash; the low half chose the slot
        uint32_t row;  // first row of the chain, kNoRow for a free slot
    };
    static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

    // The slot holding this text's chain, or the free slot where it would go.
    size_t Locate(uint64_t hash, std::wstring_view text) const
    {
        const size_t mask = m_slots.size() - 1;
        std::wstring scratch;
        for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.row == kNoRow)
                return i;
            if (slot.tag == Tag(hash) && FoldedEqual(m_set.TextOf(m_set.Cell(slot.row, m_col), scratch), text))
                return i;
        }
    }

    const Recordset& m_set;
    size_t m_col;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_next;
};

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::Open(const std::wstring& query, const std::wstring& connection, int cursorType, int lockType,
                     int options, const std::vector<std::wstring>& parameters)
{
    if (m_open)
        Throw(kObjectOpen, L"Operation is not allowed when the object is open.", L"Recordset::Open");
    try {
        m_connection = OdbcConnection(connection);
        UniqueSqlStmt stmt = m_connection.NewStatement();
        std::vector<BoundValue> bound(parameters.size());
        for (size_t i = 0; i < parameters.size(); ++i) {
            bound[i].value = parameters[i];
            BindValue(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i]);
        }
        std::wstring sql = query;
        const SQLRETURN rc = SQLExecDirectW(stmt.get(), Sql(sql), SQL_NTS);
        if (rc != SQL_NO_DATA)
            CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
        ReadResult(stmt.get());
        // The statement is freed here: nothing stays locked in the database while the set lives.
    } catch (...) {
        Close();
        throw;
    }
    m_cursorType = cursorType;
    m_options = options;
    m_readOnly = lockType == kLockReadOnly;
    m_open = true;
}

void Recordset::ReadResult(SQLHSTMT stmt)
{
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(stmt, &count), SQL_HANDLE_STMT, stmt, L"SQLNumResultCols");
    m_columns.assign(static_cast<size_t>(count), Column{});
    std::vector<Kind> kinds(m_columns.size());
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
        kinds[i - 1] = KindOf(c.sqlType);
    }
    if (count == 0)
        return;

    FieldValue typed;
    std::vector<wchar_t> text;
    std::vector<unsigned char> bytes;
    auto length = [](size_t size) {
        if (size > StoredCell::kMaxLength)
            Throw(kProviderFailure, L"A value is too long for one recordset.", L"Recordset::Open");
        return static_cast<uint32_t>(size);
    };
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt);
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLFetch");
        if (m_rowCount >= kNoRow)
            Throw(kProviderFailure, L"Too many rows for one recordset.", L"Recordset::Open");
        for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
            const Kind kind = kinds[i - 1];
            StoredCell cell;
            if (kind == Kind::Bytes) {
                if (ReadBytes(stmt, i, bytes)) {
                    cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Bytes);
                    cell.length = length(bytes.size());
                    cell.payload = m_bytes.Append(bytes.data(), bytes.size());
                }
            } else if (ReadText(stmt, i, text)) {
                const std::wstring_view view(text.data(), text.size());
                if (ParseTyped(kind, view, typed)) {
                    cell = Stored(typed);
                } else {
                    cell.kindBits = static_cast<uint32_t>(StoredCell::Kind::Text);
                    cell.length = length(view.size());
                    cell.payload = m_text.Append(view.data(), view.size());
                }
            }
            m_cells.Append(&cell, 1);
        }
        ++m_rowCount;
    }
    m_visible.resize(m_rowCount);
    for (size_t r = 0; r < m_rowCount; ++r)
        m_visible[r] = static_cast<uint32_t>(r);
    m_deleted.assign(m_rowCount, false);
    m_indexes.resize(m_columns.size());
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
        Throw(kProviderFailure, L"Too many numbers for one recordset.", L"Recordset::Open");
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
    scratch = FieldText(Value(cell));
    return scratch;
}

void Recordset::RequireOpen() const
{
    if (!m_open)
        ThrowClosed(L"Recordset");
}

size_t Recordset::RequireColumn(std::wstring_view name) const
{
    RequireOpen();
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (SameName(m_columns[i].name, name))
            return i;
    throw Error(kItemNotFound,
                L"Item cannot be found in the collection corresponding to the requested name or ordinal.",
                std::wstring(name));
}

size_t Recordset::RequireCurrent() const
{
    RequireOpen();
    if (m_currentDeleted || m_pos >= m_visible.size())
        ThrowNoCurrent(L"Recordset");
    return m_visible[m_pos];
}

void Recordset::MoveFirst()
{
    RequireOpen();
    if (m_visible.empty())
        ThrowNoCurrent(L"Recordset::MoveFirst");
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
        ThrowNoCurrent(L"Recordset::MoveNext");
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

void Recordset::Field(std::wstring_view name, FieldValue& value) const
{
    const size_t col = RequireColumn(name);
    const StoredCell& cell = Cell(RequireCurrent(), col);
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
    m_currentDeleted = false;
    if (m_pos >= m_visible.size())
        return;
    const uint32_t start = m_visible[m_pos];
    const ColumnIndex& index = IndexOf(col);
    for (uint32_t r = index.First(value); r != kNoRow; r = index.Next(r)) {
        size_t position = 0;
        if (r >= start && IsVisible(r, &position)) {
            m_pos = position;
            return;
        }
    }
    m_pos = m_visible.size();
}

void Recordset::Filter(std::wstring_view column, const FieldValue& value)
{
    const size_t col = RequireColumn(column);
    const ColumnIndex& index = IndexOf(col);
    m_visible.clear();
    for (uint32_t r = index.First(value); r != kNoRow; r = index.Next(r))
        if (!m_deleted[r])
            m_visible.push_back(r);
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
        Throw(kNotUpdatable,
              L"Current Recordset does not support updating. This may be a limitation of the provider, or of the "
              L"selected locktype.",
              L"Recordset::Delete");
    const size_t row = RequireCurrent();
    if (table.empty() || columns.empty())
        Throw(kProviderFailure, L"Insufficient base table information for updating or refreshing.",
              L"Recordset::Delete");

    // The values are parameters, never part of the statement text.
    std::wstring sql = L"DELETE FROM " + QuoteName(table) + L" WHERE ";
    std::vector<BoundValue> bound;
    bound.reserve(columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        const size_t col = RequireColumn(columns[i]);
        const short type = m_columns[col].sqlType;
        if (type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY)
            throw Error(kProviderFailure, L"A long text or image column cannot identify a row: " + m_columns[col].name,
                        L"Recordset::Delete");
        if (i > 0)
            sql += L" AND ";
        sql += QuoteName(m_columns[col].name);
        FieldValue value = Value(Cell(row, col));
        if (IsNull(value)) {
            sql += L" IS NULL";
        } else {
            sql += L" = ?";
            bound.push_back(BoundValue{std::move(value)});
        }
    }

    UniqueSqlStmt stmt = m_connection.NewStatement();
    for (size_t i = 0; i < bound.size(); ++i)
        BindValue(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i]);

    {
        OdbcTransaction transaction(m_connection.Handle());
        const SQLRETURN rc = SQLExecDirectW(stmt.get(), Sql(sql), SQL_NTS);
        SQLLEN affected = 0;
        if (rc != SQL_NO_DATA) {  // a delete that matches nothing answers SQL_NO_DATA
            CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
            CheckOdbc(SQLRowCount(stmt.get(), &affected), SQL_HANDLE_STMT, stmt.get(), L"SQLRowCount");
        }
        if (affected == 0)
            Throw(kRowNotLocated,
                  L"Row cannot be located for updating. Some values may have been changed since it was last read.",
                  L"Recordset::Delete");
        if (affected != 1)
            Throw(kProviderFailure,
                  L"Key column information is insufficient or incorrect. Too many rows were affected by update.",
                  L"Recordset::Delete");
        transaction.Commit();
    }

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
