// Deleting exactly one table row, proven: the one write the program makes, shared by every
// command that removes a mapping.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "mapping/FieldValue.h"
#include "mapping/OdbcConnection.h"

namespace vcm {

// One column the row must match: its name, its ODBC type as the driver described it, and the
// value the row holds there (Null matches IS NULL).
struct RowCondition {
    std::wstring column;
    short sqlType = 0;
    FieldValue value;
};

// Deletes from `table` the one row that meets every condition, in a serializable transaction
// of its own on `db`:
//  - the conditions are counted first and must match exactly one row;
//  - the DELETE runs, and every result it returns (trigger counts, later errors) is read
//    through SQLMoreResults, so a failure in a trigger is not lost;
//  - the conditions are counted again and must match none; only then is it committed.
// The counts are the proof: SQLRowCount is not trusted, since a trigger's count may come
// first and a server with NOCOUNT on gives none.
// Values are bound parameters. A long text column (text, ntext; a plain SQLite TEXT column)
// is compared through a cast to nvarchar(4000), the form both SQL Server and SQLite accept;
// image and other long binary columns are never compared and are left out.
// Throws an Error and leaves the table unchanged when the row is missing (RowNotLocatedError),
// held more than once, still there after the delete, or the database fails.
void DeleteOneRow(const OdbcConnection& db, std::wstring_view table, const std::vector<RowCondition>& conditions);

}  // namespace vcm
