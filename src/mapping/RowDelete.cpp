#include "mapping/RowDelete.h"

#include "mapping/OdbcValues.h"
#include "platform/ErrorCodes.h"

namespace vcm {

namespace {

bool IsLongText(short type) { return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR; }
bool IsLongBinary(short type) { return type == SQL_LONGVARBINARY; }

// "WHERE ..." over the conditions, and the values it binds in order.
std::wstring WhereClause(const std::vector<RowCondition>& conditions, std::vector<BoundValue>& bound)
{
    std::wstring where;
    for (const RowCondition& c : conditions) {
        if (IsLongBinary(c.sqlType))
            continue;
        where += where.empty() ? L" WHERE " : L" AND ";
        const std::wstring name = QuoteName(c.column);
        if (IsNull(c.value)) {
            where += name + L" IS NULL";
            continue;
        }
        // SQL Server refuses '=' on text and ntext (error 402); a cast is comparable everywhere.
        where += IsLongText(c.sqlType) ? L"CAST(" + name + L" AS NVARCHAR(4000)) = ?" : name + L" = ?";
        bound.push_back(BoundValue{c.value});
    }
    if (where.empty())
        throw ProviderError(L"Insufficient key column information for updating or refreshing.", L"DeleteOneRow");
    return where;
}

UniqueSqlStmt Run(const OdbcConnection& db, const std::wstring& sql, std::vector<BoundValue>& bound)
{
    UniqueSqlStmt stmt = db.NewStatement();
    for (size_t i = 0; i < bound.size(); ++i)
        BindValue(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), bound[i]);
    std::wstring text = sql;
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), Sql(text), SQL_NTS);
    if (rc != SQL_NO_DATA)  // a statement that touched no row answers SQL_NO_DATA
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
    return stmt;
}

long long CountRows(const OdbcConnection& db, const std::wstring& sql, std::vector<BoundValue>& bound)
{
    UniqueSqlStmt stmt = Run(db, sql, bound);
    CheckOdbc(SQLFetch(stmt.get()), SQL_HANDLE_STMT, stmt.get(), L"SQLFetch");
    std::vector<wchar_t> text;
    FieldValue count;
    if (!ReadText(stmt.get(), 1, text) || !ParseTyped(ValueKind::Integer, {text.data(), text.size()}, count))
        throw ProviderError(L"The row count could not be read.", L"DeleteOneRow");
    // The connection has one active statement; its result is finished before the next runs.
    SQLCloseCursor(stmt.get());
    return std::get<long long>(count);
}

// Reads every further result of a statement; an error in any of them is the statement's.
void DrainResults(SQLHSTMT stmt)
{
    for (;;) {
        const SQLRETURN rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA)
            return;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt, L"SQLMoreResults");
    }
}

}  // namespace

void DeleteOneRow(const OdbcConnection& db, std::wstring_view table, const std::vector<RowCondition>& conditions)
{
    std::vector<BoundValue> bound;
    const std::wstring where = WhereClause(conditions, bound);
    const std::wstring count = L"SELECT COUNT(*) FROM " + QuoteName(table) + where;

    // Serializable: no other session can add a matching row between the count and the delete.
    OdbcTransaction transaction(db.Handle(), OdbcTransaction::Isolation::Serializable);
    const long long before = CountRows(db, count, bound);
    if (before == 0)
        throw RowNotLocatedError(L"DeleteOneRow");
    if (before != 1)
        throw ProviderError(L"Key column information is insufficient or incorrect. Too many rows were affected by update.",
                            L"DeleteOneRow");
    {
        UniqueSqlStmt stmt = Run(db, L"DELETE FROM " + QuoteName(table) + where, bound);
        DrainResults(stmt.get());
    }
    if (CountRows(db, count, bound) != 0)
        throw ProviderError(L"The row was still there after it was deleted.", L"DeleteOneRow");
    transaction.Commit();
}

}  // namespace vcm
