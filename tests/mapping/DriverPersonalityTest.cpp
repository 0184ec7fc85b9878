// The test driver that gives SQLite the SQL Server driver's manners: each manner the
// program is held to, shown once through the same ODBC path the program takes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "TestDb.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"
#include "mapping/OdbcConnection.h"
#include "platform/Error.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

SQLWCHAR* Sql(std::wstring& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }

// The SQLSTATE and native code of a statement's first diagnostic record, as "HY000 0".
std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle)
{
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[512] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, handle, 1, state, &native, message, 512, &length)))
        return "no diagnostics";
    return ToUtf8(reinterpret_cast<wchar_t*>(state)) + " " + std::to_string(native);
}

std::string Exec(SQLHSTMT stmt, std::wstring sql)
{
    const SQLRETURN rc = SQLExecDirectW(stmt, Sql(sql), SQL_NTS);
    return rc == SQL_ERROR ? Diagnostic(SQL_HANDLE_STMT, stmt) : "ok";
}

std::wstring ColumnText(SQLHSTMT stmt, SQLUSMALLINT column, SQLUSMALLINT field)
{
    SQLWCHAR text[128] = {};
    SQLSMALLINT bytes = 0;
    SQLColAttributeW(stmt, column, field, text, sizeof(text), &bytes, nullptr);
    return reinterpret_cast<wchar_t*>(text);
}

TEST(DriverPersonality, SqlServerManners)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "runs under the SQL Server driver personality only";
    const std::wstring db = test::CreateTestDb(L"personality.db", {
        L"CREATE TABLE Things (Id UNIQUEIDENTIFIER, Sid VARBINARY(85), Flag BIT, Name NVARCHAR(40), Notes NTEXT)",
        L"INSERT INTO Things VALUES ('{6f9619ff-8b86-d011-b42d-00c04fc964ff}', X'0102', 1, 'a', 'long')",
        L"INSERT INTO Things VALUES ('6f9619ff-8b86-d011-b42d-00c04fc96500', X'03', 0, 'b', 'longer')",
    });
    OdbcConnection connection(db);
    const auto statement = [&] { return connection.NewStatement(); };

    const struct {
        const char* manner;
        std::function<std::string()> observe;
        std::string expected;
    } cases[] = {
        // Informational replies on connect are SQL_SUCCESS_WITH_INFO with 01000.
        {"connect informs", [&] {
             UniqueSqlEnv env;
             UniqueSqlDbc dbc;
             SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env.put());
             SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
             SQLAllocHandle(SQL_HANDLE_DBC, env.get(), dbc.put());
             std::wstring text = db;
             const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, Sql(text), SQL_NTS, nullptr, 0, nullptr,
                                                    SQL_DRIVER_NOPROMPT);
             const std::string result = std::to_string(rc) + " " + Diagnostic(SQL_HANDLE_DBC, dbc.get());
             SQLDisconnect(dbc.get());
             return result;
         },
         "1 01000 5701"},
        // A plain SELECT names no base table, base column, table, schema or catalog.
        {"no base names", [&] {
             UniqueSqlStmt stmt = statement();
             Exec(stmt.get(), L"SELECT Id, Name FROM Things");
             std::wstring names;
             for (SQLUSMALLINT field : {SQL_DESC_BASE_TABLE_NAME, SQL_DESC_BASE_COLUMN_NAME, SQL_DESC_TABLE_NAME,
                                        SQL_DESC_SCHEMA_NAME, SQL_DESC_CATALOG_NAME})
                 names += ColumnText(stmt.get(), 2, field) + L";";
             return ToUtf8(names + ColumnText(stmt.get(), 2, SQL_DESC_NAME));
         },
         ";;;;;Name"},
        // SQL Server's type codes for the declared types.
        {"types", [&] {
             UniqueSqlStmt stmt = statement();
             Exec(stmt.get(), L"SELECT * FROM Things");
             std::string types;
             for (SQLUSMALLINT col = 1; col <= 5; ++col) {
                 SQLSMALLINT type = 0;
                 SQLULEN size = 0;
                 SQLDescribeColW(stmt.get(), col, nullptr, 0, nullptr, &type, &size, nullptr, nullptr);
                 types += std::to_string(type) + " ";
             }
             return types;
         },
         "-11 -3 -7 -9 -10 "},
        // A GUID reads as its 36-character upper-case form and needs room for all of it.
        {"guid text", [&] {
             UniqueSqlStmt stmt = statement();
             Exec(stmt.get(), L"SELECT Id FROM Things");
             SQLFetch(stmt.get());
             SQLWCHAR text[40] = {};
             SQLLEN ind = 0;
             SQLGetData(stmt.get(), 1, SQL_C_WCHAR, text, sizeof(text), &ind);
             SQLFetch(stmt.get());
             SQLWCHAR small[36] = {};
             const SQLRETURN rc = SQLGetData(stmt.get(), 1, SQL_C_WCHAR, small, sizeof(small), &ind);
             return ToUtf8(reinterpret_cast<wchar_t*>(text)) + " " +
                    (rc == SQL_ERROR ? Diagnostic(SQL_HANDLE_STMT, stmt.get()) : "fits");
         },
         "6F9619FF-8B86-D011-B42D-00C04FC964FF 22003 0"},
        // Bound in a block, GUIDs come in the same form; a forward-only block cursor gives no
        // single value through SQLGetData (no SQL_GD_BLOCK).
        {"guids in a block", [&] {
             UniqueSqlStmt stmt = statement();
             Exec(stmt.get(), L"SELECT Id FROM Things");
             SQLULEN fetched = 0;
             SQLSetStmtAttrW(stmt.get(), SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), SQL_IS_UINTEGER);
             SQLSetStmtAttrW(stmt.get(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, SQL_IS_POINTER);
             SQLWCHAR ids[2][37] = {};
             SQLLEN ind[2] = {};
             SQLBindCol(stmt.get(), 1, SQL_C_WCHAR, ids, sizeof(ids[0]), ind);
             SQLFetch(stmt.get());
             SQLWCHAR one[40] = {};
             SQLLEN oneInd = 0;
             const SQLRETURN rc = SQLGetData(stmt.get(), 1, SQL_C_WCHAR, one, sizeof(one), &oneInd);
             return std::to_string(fetched) + " " + ToUtf8(reinterpret_cast<wchar_t*>(ids[0])) + " " +
                    ToUtf8(reinterpret_cast<wchar_t*>(ids[1])) + " " + std::to_string(ind[1]) + " " +
                    (rc == SQL_ERROR ? Diagnostic(SQL_HANDLE_STMT, stmt.get()) : "a value");
         },
         "2 6F9619FF-8B86-D011-B42D-00C04FC964FF 6F9619FF-8B86-D011-B42D-00C04FC96500 72 HY109 0"},
        // One active statement per connection: unread rows keep the connection busy.
        {"one active statement", [&] {
             UniqueSqlStmt first = statement();
             UniqueSqlStmt second = statement();
             Exec(first.get(), L"SELECT Name FROM Things");
             SQLFetch(first.get());
             const std::string busy = Exec(second.get(), L"SELECT 1");
             SQLCloseCursor(first.get());
             return busy + ", after close " + Exec(second.get(), L"SELECT 1");
         },
         "HY000 0, after close ok"},
        // A statement that fails keeps the underlying driver's diagnostics for the caller.
        {"failure explained", [&] { return Exec(statement().get(), L"SELECT * FROM NoSuchTable"); }, "HY000 1"},
        // The row count of a SELECT is not known.
        {"select row count", [&] {
             UniqueSqlStmt stmt = statement();
             Exec(stmt.get(), L"SELECT Name FROM Things");
             SQLLEN count = 0;
             SQLRowCount(stmt.get(), &count);
             return std::to_string(count);
         },
         "-1"},
        // ntext cannot be compared with '='; IS NULL is fine.
        {"no = on ntext", [&] {
             const std::string equal = Exec(statement().get(), L"SELECT Name FROM Things WHERE [Notes] = 'long'");
             return equal + ", " + Exec(statement().get(), L"SELECT Name FROM Things WHERE Notes IS NULL");
         },
         "42000 402, ok"},
        // A lock waits until the statement time-out and ends with HYT00.
        {"lock ends at the time-out", [&] {
             OdbcConnection locker(db);
             locker.Execute(L"BEGIN EXCLUSIVE");
             UniqueSqlStmt stmt = statement();
             SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), SQL_IS_UINTEGER);
             const auto start = std::chrono::steady_clock::now();
             const std::string result = Exec(stmt.get(), L"SELECT Name FROM Things");
             const auto waited = std::chrono::steady_clock::now() - start;
             // Not before the time-out; how much later on a loaded machine does not matter, HYT00 says who ended it.
             const bool inTime = waited >= std::chrono::milliseconds(900);
             return result + (inTime ? " in time" : " waited " + std::to_string(waited.count() / 1000000) + " ms");
         },
         "HYT00 0 in time"},
        // A uniqueidentifier holds GUIDs only: other text is refused when stored and when compared.
        {"guid refuses other text", [&] {
             std::string result;
             for (const wchar_t* sql : {L"INSERT INTO Things (Id) VALUES ('K1')", L"UPDATE Things SET Id = 'K1'",
                                        L"SELECT Name FROM Things WHERE Id = 'K1'",
                                        L"SELECT Name FROM Things WHERE Id = '6F9619FF-8B86-D011-B42D-00C04FC964FF'"})
                 result += (result.empty() ? "" : ", ") + Exec(statement().get(), sql);
             return result;
         },
         "22018 8169, 22018 8169, 22018 8169, ok"},
        // A trigger's count comes first, the statement's own through SQLMoreResults; NOCOUNT gives none.
        {"counts of a server with triggers or NOCOUNT", [&] {
             std::string counts;
             for (const char* server : {"trigger-count 3", "nocount"}) {
                 test::SetServerBehaviour(L"personality.db", {server});
                 OdbcConnection other(db);
                 OdbcTransaction transaction(other.Handle());  // rolled back: the rows stay for the other cases
                 UniqueSqlStmt stmt = other.NewStatement();
                 Exec(stmt.get(), L"DELETE FROM Things WHERE Name = 'a'");
                 for (SQLRETURN rc = SQL_SUCCESS; rc == SQL_SUCCESS; rc = SQLMoreResults(stmt.get())) {
                     SQLLEN count = 0;
                     SQLRowCount(stmt.get(), &count);
                     counts += std::to_string(count) + " ";
                 }
                 counts += "; ";
             }
             test::SetServerBehaviour(L"personality.db", {});
             return counts;
         },
         "3 1 ; -1 ; "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.observe(), c.expected) << c.manner;
}

// The program asks every connection for the 15 s login time-out and every statement for the
// 30 s statement time-out; a load shows it (the removal and the start have their own checks).
TEST(DriverPersonality, LoadAsksForTheUsualTimeOuts)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "only the personality's driver records what it was asked";
    const std::wstring db = test::CreateVeltoDb(L"timeouts.db", {
        L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')",
        L"INSERT INTO Credential VALUES ('OBJ-1', " + test::SidLiteral(L"S-1-5-32-544") + L", 1, " +
            test::Quote(test::Key(L"K1")) + L")",
    });
    test::TakeTimeoutRecord(L"timeouts.db");
    GridModel grid(MappingGridColumns());
    FillMappingGrid(grid, {db, 4, false, true, {}});
    ASSERT_EQ(grid.Rows(), 2);
    const std::vector<std::string> expected = {"login-timeout 15", "query-timeout 30", "login-timeout 15",
                                               "query-timeout 30"};
    EXPECT_EQ(test::TakeTimeoutRecord(L"timeouts.db"), expected);
}

}  // namespace
}  // namespace vcm
