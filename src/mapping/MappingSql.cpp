#include "mapping/MappingSql.h"

#include "mapping/OdbcValues.h"
#include "platform/ErrorCodes.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

bool IsLongText(short type) { return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR; }

std::wstring ColumnText(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field)
{
    wchar_t buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLColAttributeW(stmt, col, field, buffer, sizeof(buffer), &length, nullptr)))
        return {};
    return buffer;
}

// The server fills identity and row-version columns itself and refuses a value for them.
// The driver tells an identity through the auto-unique attribute, a row version through its
// type name (SQL Server's "timestamp", also spelt "rowversion").
bool ServerFilled(SQLHSTMT stmt, SQLUSMALLINT col, const std::wstring& typeName)
{
    SQLLEN autoUnique = SQL_FALSE;
    if (SQL_SUCCEEDED(SQLColAttributeW(stmt, col, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoUnique)) &&
        autoUnique == SQL_TRUE)
        return true;
    return EqualsNoCase(typeName, L"timestamp") || EqualsNoCase(typeName, L"rowversion");
}

std::vector<TableColumn> Describe(const OdbcConnection& connection, const std::wstring& table)
{
    // No row comes back; the statement is read to its end before the next one runs.
    UniqueSqlStmt stmt = connection.Execute(L"SELECT * FROM " + QuoteName(table) + L" WHERE 1=0");
    SQLSMALLINT count = 0;
    CheckOdbc(SQLNumResultCols(stmt.get(), &count), SQL_HANDLE_STMT, stmt.get(), L"SQLNumResultCols");
    std::vector<TableColumn> columns(static_cast<size_t>(count));
    for (SQLUSMALLINT col = 1; col <= static_cast<SQLUSMALLINT>(count); ++col) {
        wchar_t name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        CheckOdbc(SQLDescribeColW(stmt.get(), col, reinterpret_cast<SQLWCHAR*>(name), 256, &nameLength, &type, &size,
                                  &digits, &nullable),
                  SQL_HANDLE_STMT, stmt.get(), L"SQLDescribeColW");
        TableColumn& column = columns[col - 1];
        column.name = name;
        column.sqlType = type;
        column.typeName = ColumnText(stmt.get(), col, SQL_DESC_TYPE_NAME);
        column.serverFilled = ServerFilled(stmt.get(), col, column.typeName);
    }
    SQLCloseCursor(stmt.get());
    return columns;
}

// A value as a parameter; Null travels with a Null indicator in the column's kind.
void Bind(SQLHSTMT stmt, SQLUSMALLINT number, BoundValue& p, short columnType)
{
    if (!IsNull(p.value)) {
        BindValue(stmt, number, p);
        return;
    }
    p.ind = SQL_NULL_DATA;
    const bool binary = KindOf(columnType) == ValueKind::Bytes;
    CheckOdbc(SQLBindParameter(stmt, number, SQL_PARAM_INPUT, binary ? SQL_C_BINARY : SQL_C_WCHAR,
                               binary ? SQL_VARBINARY : SQL_WVARCHAR, 1, 0, nullptr, 0, &p.ind),
              SQL_HANDLE_STMT, stmt, L"SQLBindParameter");
}

std::vector<FieldValue> ReadRow(SQLHSTMT stmt, const std::vector<TableColumn>& columns)
{
    std::vector<FieldValue> row(columns.size());
    std::vector<wchar_t> text;
    for (size_t i = 0; i < columns.size(); ++i) {
        const SQLUSMALLINT col = static_cast<SQLUSMALLINT>(i + 1);
        const ValueKind kind = KindOf(columns[i].sqlType);
        if (kind == ValueKind::Bytes) {
            std::vector<unsigned char> bytes;
            if (ReadBytes(stmt, col, bytes))
                row[i] = std::move(bytes);
        } else if (ReadText(stmt, col, text)) {
            const std::wstring_view view(text.data(), text.size());
            if (!ParseTyped(kind, view, row[i]))
                row[i] = std::wstring(view);
        }
    }
    return row;
}

}  // namespace

MappingLayout LayoutFor(int major)
{
    const MappingSource source = MappingSourceFor(static_cast<short>(major));
    return {source.table, source.sidColumn, source.subscriberColumn};
}

MappingStatements::MappingStatements(const std::wstring& connection, MappingLayout layout)
    : m_connection(connection), m_layout(std::move(layout))
{
    m_columns = Describe(m_connection, m_layout.table);
    ++m_sent;
    const int key = ColumnIndex(kKeyColumn);
    if (key < 0)
        throw ItemNotFoundError(kKeyColumn);
    m_key = static_cast<size_t>(key);
}

int MappingStatements::ColumnIndex(std::wstring_view name) const
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (EqualsNoCase(m_columns[i].name, name))
            return static_cast<int>(i);
    return -1;
}

std::wstring MappingStatements::Comparison(size_t column, const FieldValue& value,
                                           std::vector<FieldValue>& parameters) const
{
    const std::wstring name = QuoteName(m_columns[column].name);
    if (IsNull(value))
        return name + L" IS NULL";
    parameters.push_back(value);
    // SQL Server refuses '=' on ntext and text; a key is short, so its bounded form holds it whole.
    if (IsLongText(m_columns[column].sqlType))
        return L"CAST(" + name + L" AS NVARCHAR(4000)) = ?";
    return name + L" = ?";
}

UniqueSqlStmt MappingStatements::Run(const std::wstring& sql, std::vector<FieldValue> parameters)
{
    UniqueSqlStmt stmt = m_connection.NewStatement();
    std::vector<BoundValue> bound;
    bound.reserve(parameters.size());
    for (FieldValue& value : parameters)
        bound.push_back(BoundValue{std::move(value)});
    for (size_t i = 0; i < bound.size(); ++i)
        Bind(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i], SQL_WVARCHAR);
    std::wstring text = sql;
    ++m_sent;
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), Sql(text), SQL_NTS);
    if (rc != SQL_NO_DATA)
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
    return stmt;
}

long long MappingStatements::Scalar(const std::wstring& sql, std::vector<FieldValue> parameters)
{
    UniqueSqlStmt stmt = Run(sql, std::move(parameters));
    CheckOdbc(SQLFetch(stmt.get()), SQL_HANDLE_STMT, stmt.get(), L"SQLFetch");
    long long value = 0;
    SQLLEN ind = 0;
    CheckOdbc(SQLGetData(stmt.get(), 1, SQL_C_SBIGINT, &value, 0, &ind), SQL_HANDLE_STMT, stmt.get(), L"SQLGetData");
    // Read to the end, so that the connection is free for the next statement.
    SQLCloseCursor(stmt.get());
    return ind == SQL_NULL_DATA ? 0 : value;
}

std::vector<std::vector<FieldValue>> MappingStatements::Rows(const std::wstring& sql, std::vector<FieldValue> parameters)
{
    UniqueSqlStmt stmt = Run(sql, std::move(parameters));
    std::vector<std::vector<FieldValue>> rows;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLFetch");
        rows.push_back(ReadRow(stmt.get(), m_columns));
    }
    return rows;
}

std::vector<std::vector<FieldValue>> MappingStatements::RowsByKey(const std::wstring& key)
{
    std::vector<FieldValue> parameters;
    const std::wstring where = Comparison(m_key, key, parameters);
    return Rows(L"SELECT * FROM " + QuoteName(m_layout.table) + L" WHERE " + where, std::move(parameters));
}

std::vector<std::vector<FieldValue>> MappingStatements::RowsByKeys(const std::vector<std::wstring>& keys)
{
    if (keys.empty())
        return {};
    if (keys.size() > kKeysPerStatement)
        throw Error(err::kInvalidCall, L"Too many keys for one statement", L"RowsByKeys");
    std::wstring column = QuoteName(m_columns[m_key].name);
    if (IsLongText(m_columns[m_key].sqlType))
        column = L"CAST(" + column + L" AS NVARCHAR(4000))";
    std::wstring marks;
    std::vector<FieldValue> parameters;
    for (const std::wstring& key : keys) {
        marks += marks.empty() ? L"?" : L", ?";
        parameters.push_back(key);
    }
    return Rows(L"SELECT * FROM " + QuoteName(m_layout.table) + L" WHERE " + column + L" IN (" + marks + L")",
                std::move(parameters));
}

std::vector<std::wstring> MappingStatements::SubscribersAmong(const std::vector<std::wstring>& objectIds)
{
    if (objectIds.empty())
        return {};
    if (objectIds.size() > kKeysPerStatement)
        throw Error(err::kInvalidCall, L"Too many ids for one statement", L"SubscribersAmong");
    std::wstring marks;
    std::vector<FieldValue> parameters;
    for (const std::wstring& id : objectIds) {
        marks += marks.empty() ? L"UPPER(?)" : L", UPPER(?)";
        parameters.push_back(id);
    }
    UniqueSqlStmt stmt = Run(L"SELECT SubscriberObjectID FROM Subscriber WHERE UPPER(SubscriberObjectID) IN (" +
                                 marks + L")",
                             std::move(parameters));
    std::vector<std::wstring> found;
    std::vector<wchar_t> text;
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLFetch");
        if (ReadText(stmt.get(), 1, text))
            found.emplace_back(text.data(), text.size());
    }
    return found;
}

bool MappingStatements::IsKey(const FieldValue& value, const std::wstring& key) const
{
    if (IsNull(value))
        return false;
    const std::wstring text = FieldText(value);
    return m_columns[m_key].sqlType == SQL_GUID ? EqualsNoCase(text, key) : text == key;
}

std::wstring MappingStatements::RowCondition(const std::vector<FieldValue>& row,
                                             std::vector<FieldValue>& parameters) const
{
    std::wstring where = Comparison(m_key, row[m_key], parameters);
    for (const std::wstring& name : {m_layout.subscriberColumn, m_layout.sidColumn}) {
        const int col = ColumnIndex(name);
        // An image column cannot be compared on every server; the key and the proof around
        // the delete still hold the row.
        if (col >= 0 && m_columns[static_cast<size_t>(col)].sqlType != SQL_LONGVARBINARY)
            where += L" AND " + Comparison(static_cast<size_t>(col), row[static_cast<size_t>(col)], parameters);
    }
    return where;
}

std::vector<std::vector<FieldValue>> MappingStatements::RowsLike(const std::vector<FieldValue>& row)
{
    std::vector<FieldValue> parameters;
    const std::wstring where = RowCondition(row, parameters);
    return Rows(L"SELECT * FROM " + QuoteName(m_layout.table) + L" WHERE " + where, std::move(parameters));
}

long long MappingStatements::CountLike(const std::vector<FieldValue>& row)
{
    std::vector<FieldValue> parameters;
    const std::wstring where = RowCondition(row, parameters);
    return Scalar(L"SELECT COUNT(*) FROM " + QuoteName(m_layout.table) + L" WHERE " + where, std::move(parameters));
}

long long MappingStatements::CountByKey(const std::wstring& key)
{
    std::vector<FieldValue> parameters;
    const std::wstring where = Comparison(m_key, key, parameters);
    return Scalar(L"SELECT COUNT(*) FROM " + QuoteName(m_layout.table) + L" WHERE " + where, std::move(parameters));
}

long long MappingStatements::CountSubscribers(const std::wstring& objectId)
{
    // Ids that differ only in letter case match, as they do for the loader and the single removal.
    return Scalar(L"SELECT COUNT(*) FROM Subscriber WHERE UPPER(SubscriberObjectID) = UPPER(?)", {objectId});
}

void MappingStatements::DeleteRow(const std::vector<FieldValue>& row)
{
    std::vector<FieldValue> parameters;
    const std::wstring where = RowCondition(row, parameters);
    UniqueSqlStmt stmt = Run(L"DELETE FROM " + QuoteName(m_layout.table) + L" WHERE " + where, std::move(parameters));
    // Triggers may send counts of their own after the delete's; all are read, none is trusted.
    while (SQL_SUCCEEDED(SQLMoreResults(stmt.get()))) {
    }
}

long long MappingStatements::InsertRow(const std::vector<RestoreColumn>& columns)
{
    std::wstring names;
    std::wstring marks;
    std::vector<BoundValue> bound;
    std::vector<short> types;
    for (const RestoreColumn& column : columns) {
        const int col = ColumnIndex(column.name);
        if (col < 0 || m_columns[static_cast<size_t>(col)].serverFilled)
            continue;
        names += (names.empty() ? L"" : L", ") + QuoteName(m_columns[static_cast<size_t>(col)].name);
        marks += marks.empty() ? L"?" : L", ?";
        bound.push_back(BoundValue{column.value});
        types.push_back(m_columns[static_cast<size_t>(col)].sqlType);
    }
    UniqueSqlStmt stmt = m_connection.NewStatement();
    for (size_t i = 0; i < bound.size(); ++i)
        Bind(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i], types[i]);
    std::wstring sql = L"INSERT INTO " + QuoteName(m_layout.table) + L" (" + names + L") VALUES (" + marks + L")";
    ++m_sent;
    CheckOdbc(SQLExecDirectW(stmt.get(), Sql(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
    SQLLEN affected = 0;
    CheckOdbc(SQLRowCount(stmt.get(), &affected), SQL_HANDLE_STMT, stmt.get(), L"SQLRowCount");
    while (SQL_SUCCEEDED(SQLMoreResults(stmt.get()))) {
    }
    return affected;
}

}  // namespace vcm
