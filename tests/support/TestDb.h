// Real SQLite databases for tests, made and inspected through the same ODBC driver the
// program uses (registered as "SQL Server"), in the test's working folder.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vcm::test {

// True when the tests run under the SQL Server driver personality: scripts/test.sh sets
// VCM_DB_PERSONALITY=sqlserver beside the odbcinst.ini that registers that driver.
bool SqlServerPersonality();

// "Driver={SQL Server};server=;database=<file>".
std::wstring ConnectionString(const std::wstring& file);

// Deletes an old file of that name (and the server settings and time-out record beside it,
// see below), creates the database, runs the statements in one
// transaction and returns the connection string. Throws vcm::Error on any failure.
std::wstring CreateTestDb(const std::wstring& file, const std::vector<std::wstring>& statements = {});

// The product's tables (Subscriber, Credential, SIDHistory) with SQL Server's types, as the
// demo schema has them; text compares without regard to case under the SQL Server
// personality, as under SQL Server's default collation.
const std::vector<std::wstring>& VeltoSchema();
// CreateTestDb with the product's tables first, then the statements.
std::wstring CreateVeltoDb(const std::wstring& file, const std::vector<std::wstring>& statements = {});

// A mapping's row key for a fixture: the label itself on plain SQLite, which stores any text;
// under the SQL Server personality a GUID made from the label (upper case, as the server
// reads it out), since a uniqueidentifier column holds nothing else.
std::wstring Key(std::wstring_view label);

// Binary form of a textual SID ("S-1-5-32-544").
std::vector<unsigned char> SidBytes(std::wstring_view text);
// SQL literal of bytes (X'0102...'); SidLiteral for a textual SID.
std::wstring BlobLiteral(const std::vector<unsigned char>& bytes);
std::wstring SidLiteral(std::wstring_view text);
// A text value quoted as an SQL literal, inner quotes doubled.
std::wstring Quote(std::wstring_view text);

// How the server behind a database file behaves under the SQL Server personality, from the
// next connect on: one setting per entry ("trigger-count 3", "nocount", "unanswering",
// "fetch-blocks-after 2"; tests/sqlserver-driver explains them); none is the usual server.
// Plain SQLite ignores them.
void SetServerBehaviour(const std::wstring& file, const std::vector<std::string>& settings);
// The time-outs the personality's driver was given on the file since the database was made
// or the record was last taken, one "login-timeout N" or "query-timeout N" each, in order;
// the record starts again empty. Always empty on plain SQLite.
std::vector<std::string> TakeTimeoutRecord(const std::wstring& file);

// Runs statements on a database in one transaction.
void Execute(const std::wstring& connection, const std::vector<std::wstring>& statements);

// Every row of a query, every cell as text (SQL_C_WCHAR); Null is an empty optional.
using TextRow = std::vector<std::optional<std::wstring>>;
std::vector<TextRow> QueryRows(const std::wstring& connection, const std::wstring& query);
long long CountRows(const std::wstring& connection, const std::wstring& table);

}  // namespace vcm::test
