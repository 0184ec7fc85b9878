// One ODBC connection opened with a connection string through the wide API, and the
// transaction scope the database writes run in. The recordset, the test databases and the
// benchmark all connect through this.
#pragma once
#include <string>

#include "platform/Handles.h"
#include "platform/Odbc.h"

namespace vcm {

// Throws the handle's ODBC diagnostics as an Error unless rc reports success (an
// informational SQL_SUCCESS_WITH_INFO is success).
void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const wchar_t* call);

// No wait is unbounded: SQL Server waits for another session's locks for ever unless the
// statement has a time-out, and a connect to an unreachable server hangs without one.
inline constexpr unsigned kConnectTimeoutSeconds = 15;
inline constexpr unsigned kStatementTimeoutSeconds = 30;

// The statement time-out every new statement gets; kStatementTimeoutSeconds unless a test
// shortens it, so that a test meeting a lock does not wait half a minute.
unsigned StatementTimeout();
void SetStatementTimeout(unsigned seconds);

class OdbcConnection {
public:
    OdbcConnection() = default;
    // Connects without prompting; throws an Error with the driver's diagnostics on failure.
    explicit OdbcConnection(const std::wstring& connectionString);

    SQLHDBC Handle() const noexcept { return m_dbc.get(); }
    explicit operator bool() const noexcept { return static_cast<bool>(m_dbc); }

    // A statement with the statement time-out set.
    UniqueSqlStmt NewStatement() const;
    // Runs one statement and hands it back for fetching; a statement that matched no row
    // (SQL_NO_DATA) is no failure.
    UniqueSqlStmt Execute(const std::wstring& sql) const;

private:
    // The connection is freed before its environment (members go in reverse order).
    UniqueSqlEnv m_env;
    UniqueSqlDbc m_dbc;
};

// Autocommit off for the life of the scope; rolls back unless committed.
class OdbcTransaction {
public:
    explicit OdbcTransaction(SQLHDBC dbc);
    ~OdbcTransaction();
    OdbcTransaction(const OdbcTransaction&) = delete;
    OdbcTransaction& operator=(const OdbcTransaction&) = delete;

    void Commit();

private:
    SQLHDBC m_dbc;
    bool m_done = false;
};

}  // namespace vcm
