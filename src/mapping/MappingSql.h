// The database statements of bulk removal and restore, in one place: where a product version
// keeps its mappings, what the table's columns are, and the few statements per row, each
// with bound parameters and coded to the SQL Server driver's contract (one active statement
// per connection, GUID keys, no '=' on long text, row counts that triggers may distort).
#pragma once
#include <string>
#include <vector>

#include "mapping/FieldValue.h"
#include "mapping/MappingSource.h"
#include "mapping/OdbcConnection.h"
#include "mapping/RestoreArchive.h"

namespace vcm {

// Where a product version keeps its mappings, as MappingSourceFor decides it.
struct MappingLayout {
    std::wstring table;
    std::wstring sidColumn;
    std::wstring subscriberColumn;
};
MappingLayout LayoutFor(int major);

struct TableColumn {
    std::wstring name;
    short sqlType = 0;
    std::wstring typeName;     // the driver's name of the column's type
    bool serverFilled = false; // identity or row version: the server gives the value
};

// One connection to the mapping table; counts the statements it sends.
class MappingStatements {
public:
    MappingStatements(const std::wstring& connection, MappingLayout layout);

    const MappingLayout& Layout() const noexcept { return m_layout; }
    const std::vector<TableColumn>& Columns() const noexcept { return m_columns; }
    // The column's position by name, without regard to case; -1 when the table has none.
    int ColumnIndex(std::wstring_view name) const;
    SQLHDBC Handle() const noexcept { return m_connection.Handle(); }
    size_t StatementsSent() const noexcept { return m_sent; }

    // Every row that holds the key, each as its columns' values in table order.
    std::vector<std::vector<FieldValue>> RowsByKey(const std::wstring& key);
    long long CountByKey(const std::wstring& key);
    long long CountSubscribers(const std::wstring& objectId);

    // The batch forms, one statement for up to kKeysPerStatement values: every row that holds
    // one of the keys, and the object id of every subscriber whose id equals one of the ids
    // without regard to case (one entry per subscriber row).
    static constexpr size_t kKeysPerStatement = 500;  // well below SQL Server's 2,100 parameters
    std::vector<std::vector<FieldValue>> RowsByKeys(const std::vector<std::wstring>& keys);
    std::vector<std::wstring> SubscribersAmong(const std::vector<std::wstring>& objectIds);
    // Whether a value read from the key column is this key: GUIDs compare without regard to
    // case, as the server compares them; any other key compares exactly.
    bool IsKey(const FieldValue& value, const std::wstring& key) const;
    const FieldValue& KeyOf(const std::vector<FieldValue>& row) const { return row[m_key]; }

    // The rows that hold the key, subscriber id and SID of `row` (a row read by RowsByKey or
    // RowsByKeys), found by the same condition DeleteRow deletes by, and their count.
    std::vector<std::vector<FieldValue>> RowsLike(const std::vector<FieldValue>& row);
    long long CountLike(const std::vector<FieldValue>& row);
    // Deletes the rows whose key, subscriber id and SID hold the values of `row` (a row read
    // by RowsByKey); every result the server sends back is read.
    void DeleteRow(const std::vector<FieldValue>& row);
    // Inserts one row; the server-filled columns and those the record lacks are left out.
    // Returns the row count the driver reported for the insert.
    long long InsertRow(const std::vector<RestoreColumn>& columns);

private:
    // "<column> = ?", with long text compared in a bounded national character form.
    std::wstring Comparison(size_t column, const FieldValue& value, std::vector<FieldValue>& parameters) const;
    // The key, subscriber id and SID of `row` as one condition.
    std::wstring RowCondition(const std::vector<FieldValue>& row, std::vector<FieldValue>& parameters) const;
    std::vector<std::vector<FieldValue>> Rows(const std::wstring& sql, std::vector<FieldValue> parameters);
    UniqueSqlStmt Run(const std::wstring& sql, std::vector<FieldValue> parameters);
    long long Scalar(const std::wstring& sql, std::vector<FieldValue> parameters);

    OdbcConnection m_connection;
    MappingLayout m_layout;
    std::vector<TableColumn> m_columns;
    size_t m_key = 0;
    size_t m_sent = 0;
};

}  // namespace vcm
