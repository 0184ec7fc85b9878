#include "mapping/OdbcConnection.h"

#include <chrono>
#include <mutex>
#include <optional>

#include "platform/ErrorCodes.h"

namespace vcm {

namespace {

unsigned g_statementTimeout = kStatementTimeoutSeconds;

// The last server that let a connect run into the login time-out (HYT00), and until when
// it is taken as silent.
struct Silence {
    std::wstring connection;
    std::chrono::steady_clock::time_point until;
    Error failure;
};
std::mutex g_silenceLock;
std::optional<Silence> g_silence;

void ThrowIfSilent(const std::wstring& connection)
{
    std::lock_guard<std::mutex> guard(g_silenceLock);
    if (g_silence && g_silence->connection == connection && std::chrono::steady_clock::now() < g_silence->until)
        throw g_silence->failure;
}

void Remember(const std::wstring& connection, const Error& failure)
{
    std::lock_guard<std::mutex> guard(g_silenceLock);
    if (failure.Description().starts_with(L"[HYT00]"))
        g_silence = Silence{connection, std::chrono::steady_clock::now() + std::chrono::seconds(kConnectTimeoutSeconds),
                            failure};
    else if (g_silence && g_silence->connection == connection)
        g_silence.reset();
}

}  // namespace

Error OdbcError(SQLSMALLINT handleType, SQLHANDLE handle, std::wstring_view call)
{
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT needed = 0;
    std::wstring message(512, L'\0');
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native,
                                  reinterpret_cast<SQLWCHAR*>(message.data()),
                                  static_cast<SQLSMALLINT>(message.size()), &needed);
    if (rc == SQL_SUCCESS_WITH_INFO && needed >= static_cast<SQLSMALLINT>(message.size())) {
        message.assign(static_cast<size_t>(needed) + 1, L'\0');
        rc = SQLGetDiagRecW(handleType, handle, 1, state, &native,
                            reinterpret_cast<SQLWCHAR*>(message.data()),
                            static_cast<SQLSMALLINT>(message.size()), &needed);
    }
    if (!SQL_SUCCEEDED(rc))
        return Error(err::kProviderFailure, L"ODBC call failed without diagnostics", std::wstring(call));
    message.resize(static_cast<size_t>(needed));
    std::wstring description = L"[" + std::wstring(reinterpret_cast<wchar_t*>(state)) + L"] " +
                               TrimLineEnd(std::move(message));
    return Error(native != 0 ? static_cast<long>(native) : err::kProviderFailure, std::move(description),
                 std::wstring(call));
}

void ForgetSilentServers()
{
    std::lock_guard<std::mutex> guard(g_silenceLock);
    g_silence.reset();
}

unsigned StatementTimeout() { return g_statementTimeout; }

void SetStatementTimeout(unsigned seconds) { g_statementTimeout = seconds; }

void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const wchar_t* call)
{
    if (!SQL_SUCCEEDED(rc))
        throw OdbcError(handleType, handle, call);
}

OdbcConnection::OdbcConnection(const std::wstring& connectionString)
{
    ThrowIfSilent(connectionString);
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, m_env.put()), SQL_HANDLE_ENV, SQL_NULL_HANDLE,
              L"SQLAllocHandle");
    CheckOdbc(SQLSetEnvAttr(m_env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
              SQL_HANDLE_ENV, m_env.get(), L"SQLSetEnvAttr");
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, m_env.get(), m_dbc.put()), SQL_HANDLE_ENV, m_env.get(),
              L"SQLAllocHandle");
    // A driver that cannot honour the time-out still connects; it then waits as it always does.
    SQLSetConnectAttrW(m_dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(
                           static_cast<SQLULEN>(kConnectTimeoutSeconds)), SQL_IS_UINTEGER);
    std::wstring text = connectionString;
    const SQLRETURN rc = SQLDriverConnectW(m_dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS,
                                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        Error failure = OdbcError(SQL_HANDLE_DBC, m_dbc.get(), L"SQLDriverConnectW");
        // A handle that never connected must not be disconnected.
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc.release());
        Remember(connectionString, failure);
        throw failure;
    }
}

OdbcConnection& OdbcConnection::operator=(OdbcConnection&& other) noexcept
{
    if (this != &other) {
        m_dbc.reset();
        m_env = std::move(other.m_env);
        m_dbc = std::move(other.m_dbc);
    }
    return *this;
}

UniqueSqlStmt OdbcConnection::NewStatement() const
{
    UniqueSqlStmt stmt;
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, m_dbc.get(), stmt.put()), SQL_HANDLE_DBC, m_dbc.get(),
              L"SQLAllocHandle");
    // Lock waits end with HYT00 after this; a driver that refuses the attribute keeps its own limit.
    SQLSetStmtAttrW(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(StatementTimeout())), SQL_IS_UINTEGER);
    return stmt;
}

UniqueSqlStmt OdbcConnection::Execute(const std::wstring& sql) const
{
    UniqueSqlStmt stmt = NewStatement();
    std::wstring text = sql;
    const SQLRETURN rc = SQLExecDirectW(stmt.get(), reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS);
    if (rc != SQL_NO_DATA)
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLExecDirectW");
    return stmt;
}

OdbcTransaction::OdbcTransaction(SQLHDBC dbc, Isolation isolation) : m_dbc(dbc)
{
    if (isolation == Isolation::Serializable)
        CheckOdbc(SQLSetConnectAttrW(m_dbc, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE),
                                     SQL_IS_UINTEGER),
                  SQL_HANDLE_DBC, m_dbc, L"SQLSetConnectAttrW");
    CheckOdbc(SQLSetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                 SQL_IS_UINTEGER),
              SQL_HANDLE_DBC, m_dbc, L"SQLSetConnectAttrW");
}

OdbcTransaction::~OdbcTransaction()
{
    if (!m_done)
        SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_ROLLBACK);
    SQLSetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
}

void OdbcTransaction::Commit()
{
    CheckOdbc(SQLEndTran(SQL_HANDLE_DBC, m_dbc, SQL_COMMIT), SQL_HANDLE_DBC, m_dbc, L"SQLEndTran");
    m_done = true;
}

}  // namespace vcm
