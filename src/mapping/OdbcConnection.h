// The program's ODBC home: handle owners, diagnostics as an Error, one connection opened
// with a connection string through the wide API, and the transaction scope the database
// writes run in. The recordset, the test databases and the benchmark all connect through this.
#pragma once
#include <string>
#include <string_view>

#include "mapping/Odbc.h"
#include "platform/Error.h"
#include "platform/Handles.h"

namespace vcm {

template <SQLSMALLINT Type>
struct SqlHandleTraits {
    using Handle = SQLHANDLE;
    static Handle Empty() noexcept { return SQL_NULL_HANDLE; }
    static bool IsEmpty(Handle h) noexcept { return h == SQL_NULL_HANDLE; }
    // A connection is disconnected before it is freed.
    static void Close(Handle h) noexcept
    {
        if constexpr (Type == SQL_HANDLE_DBC)
            SQLDisconnect(h);
        SQLFreeHandle(Type, h);
    }
};

using UniqueSqlEnv = Unique<SqlHandleTraits<SQL_HANDLE_ENV>>;
using UniqueSqlDbc = Unique<SqlHandleTraits<SQL_HANDLE_DBC>>;
using UniqueSqlStmt = Unique<SqlHandleTraits<SQL_HANDLE_STMT>>;

// Builds an Error from the first diagnostic record of an ODBC handle. The number is the
// driver's native error when it gives one, else the generic ODBC failure code; the
// description is "[SQLSTATE] message".
Error OdbcError(SQLSMALLINT handleType, SQLHANDLE handle, std::wstring_view call);

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

// A server that let a connect run into the login time-out is not asked again for one more
// login time-out: connects to the same connection string fail at once with the same error,
// so a command that opens several sets waits once, not once per set. This forgets such
// servers, for a caller that knows one is back.
void ForgetSilentServers();

class OdbcConnection {
public:
    OdbcConnection() = default;
    // Connects without prompting; throws an Error with the driver's diagnostics on failure.
    explicit OdbcConnection(const std::wstring& connectionString);
    OdbcConnection(OdbcConnection&&) noexcept = default;
    // Lets go of the held connection before its environment: an environment that still has
    // a connection cannot be freed (HY010) and would leak.
    OdbcConnection& operator=(OdbcConnection&& other) noexcept;

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
    // Serializable keeps what the transaction read unchanged by others until it ends; the
    // connection keeps that level afterwards.
    enum class Isolation { Default, Serializable };
    explicit OdbcTransaction(SQLHDBC dbc, Isolation isolation = Isolation::Default);
    ~OdbcTransaction();
    OdbcTransaction(const OdbcTransaction&) = delete;
    OdbcTransaction& operator=(const OdbcTransaction&) = delete;

    void Commit();

private:
    SQLHDBC m_dbc;
    bool m_done = false;
};

}  // namespace vcm
