// A unixODBC driver for the tests that gives the SQLite ODBC driver the manners of the
// Windows "SQL Server" driver: no base names on plain result sets, one active statement per
// connection, uniqueidentifier as SQL_GUID in its 36-character form, SQL Server's type
// codes, informational replies on connect, lock waits that only the statement time-out
// ends (HYT00), error 402 for '=' on a long-text or image column, and 22018 for text that is
// no GUID where a uniqueidentifier is expected.
//
// A test can make the server behave as some servers do by writing a file named after the
// database with ".server" appended, read at each connect, one setting per line:
//   trigger-count N       a changing statement reports a trigger's count N first, then its own
//   nocount               no row counts at all (SET NOCOUNT ON for the connection or server)
//   unanswering           the server never answers: a connect fails with HYT00 at the login
//                         time-out (or after kNoAnswerSeconds when none was set)
//   fetch-blocks-after N  a fetch after the first N rows, or one whose block reaches past
//                         them, waits for the statement time-out, then HYT00 (or after
//                         kNoAnswerSeconds when none was set)
// Each connect and statement writes the time-out it was given to "<database>.calls"
// ("login-timeout N", "query-timeout N"), so tests can see what the program asked for.
//
// It is a native Linux library built with the host compiler. It exports the ANSI entry
// points only (the driver manager converts the wide calls), hands out the SQLite driver's
// own handles and keeps what it needs to know about them in tables of its own.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#ifndef VCM_REAL_DRIVER
#error "VCM_REAL_DRIVER must name the SQLite ODBC driver library"
#endif

namespace {

constexpr char kPrefix[] = "[VeltoTest][SQL Server personality]";
constexpr char kGuidConversion[] = "Conversion failed when converting from a character string to uniqueidentifier.";

struct Diag {
    std::string state;
    SQLINTEGER native;
    std::string message;
};

// How the server behind one connection behaves (see the top of the file).
struct Server {
    std::string database;     // the file the connection opened, as the connection string names it
    long triggerCount = -1;   // >= 0: the count a trigger reports before the statement's own
    bool noCount = false;
    bool unanswering = false;
    long fetchBlocksAfter = -1;
};

// A result column the program bound with SQLBindCol (column-wise, as the program binds).
struct Binding {
    SQLSMALLINT cType = 0;
    SQLPOINTER value = nullptr;
    SQLLEN size = 0;
    SQLLEN* ind = nullptr;
};

struct Statement {
    SQLHDBC dbc = nullptr;
    std::vector<SQLLEN> counts;      // row counts this driver reports, one per result
    size_t result = 0;               // the result SQLRowCount reports from
    bool ownCounts = false;          // counts replace the SQLite driver's
    long fetched = 0;                // rows fetched from the current result
    std::string prepared;            // the text SQLPrepare was given
    SQLULEN timeout = 0;             // seconds; 0 waits for ever
    bool hasResult = false;          // the last execution produced a result set
    std::vector<SQLSMALLINT> types;  // SQL Server's type per column, 0 where SQLite's stands
    std::set<SQLUSMALLINT> guidRead; // GUID columns already handed out for this row
    SQLULEN arraySize = 1;           // rows per fetch (SQL_ATTR_ROW_ARRAY_SIZE)
    SQLULEN* rowsFetched = nullptr;  // SQL_ATTR_ROWS_FETCHED_PTR
    std::map<SQLUSMALLINT, Binding> bindings;
};

// A GUID column bound as text: the SQLite driver fills a buffer of ours, which SQLFetch then
// hands over in the form SQL Server gives.
struct GuidBuffer {
    SQLUSMALLINT col = 0;
    Binding target;
    std::vector<char> raw;
    std::vector<SQLLEN> ind;
};
constexpr SQLLEN kGuidRaw = 256;

std::mutex g_lock;
std::map<SQLHANDLE, std::vector<Diag>> g_diags;  // our own diagnostics, per handle
std::map<SQLHSTMT, Statement> g_stmts;
std::map<SQLHDBC, SQLHSTMT> g_busy;              // connection -> statement with unread rows
std::map<SQLHDBC, Server> g_servers;             // per connected connection
std::map<SQLHDBC, SQLULEN> g_loginTimeouts;      // per connection, as set before connecting

// The longest a server that never answers keeps a caller without a time-out waiting: a
// test that forgot its time-out then fails instead of hanging.
constexpr unsigned kNoAnswerSeconds = 120;

std::string GuidForm(std::string text);
std::string ConnectionValue(const std::string& connection, const std::string& key);
struct Server ServerOf(SQLHSTMT stmt);
void Record(const std::string& database, const std::string& line);
void InstallGuidChecks(SQLHDBC dbc);
double Now();

void* Real(const char* name)
{
    static void* lib = dlopen(VCM_REAL_DRIVER, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    return lib ? dlsym(lib, name) : nullptr;
}

// Calls the SQLite driver's function of the same name.
#define REAL(name, ...)                                                               \
    ([&]() -> SQLRETURN {                                                             \
        static auto fn = reinterpret_cast<decltype(&name)>(Real(#name));              \
        return fn ? fn(__VA_ARGS__) : SQL_ERROR;                                      \
    }())

void Clear(SQLHANDLE handle)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_diags.erase(handle);
}

SQLRETURN Fail(SQLHANDLE handle, const char* state, SQLINTEGER native, const std::string& text)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_diags[handle] = {Diag{state, native, std::string(kPrefix) + text}};
    return SQL_ERROR;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// SQL Server's type code for a declared type name; 0 keeps SQLite's.
SQLSMALLINT ServerType(const std::string& declared)
{
    static const std::map<std::string, SQLSMALLINT> types = {
        {"uniqueidentifier", SQL_GUID}, {"bit", SQL_BIT},           {"varbinary", SQL_VARBINARY},
        {"binary", SQL_BINARY},         {"image", SQL_LONGVARBINARY}, {"nvarchar", SQL_WVARCHAR},
        {"nchar", SQL_WCHAR},           {"ntext", SQL_WLONGVARCHAR}, {"varchar", SQL_VARCHAR},
        {"text", SQL_LONGVARCHAR},      {"int", SQL_INTEGER},       {"bigint", SQL_BIGINT}};
    const std::string name = Lower(declared.substr(0, declared.find('(')));
    const auto it = types.find(name);
    return it == types.end() ? 0 : it->second;
}

bool IsLong(const std::string& declared)
{
    const std::string name = Lower(declared.substr(0, declared.find('(')));
    return name == "text" || name == "ntext" || name == "image";
}

Statement* Find(SQLHSTMT stmt)
{
    const auto it = g_stmts.find(stmt);
    return it == g_stmts.end() ? nullptr : &it->second;
}

// SQL Server's types of the current result's columns, read once per execution.
void LearnTypes(SQLHSTMT stmt, Statement& s)
{
    SQLSMALLINT count = 0;
    s.types.clear();
    s.hasResult = SQL_SUCCEEDED(REAL(SQLNumResultCols, stmt, &count)) && count > 0;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        char name[128] = {};
        SQLSMALLINT length = 0;
        SQLLEN number = 0;
        REAL(SQLColAttribute, stmt, static_cast<SQLUSMALLINT>(i), SQL_DESC_TYPE_NAME, name, sizeof(name), &length,
             &number);
        s.types.push_back(ServerType(name));
    }
}

// Columns of the database's tables whose declared type passes `keep`, by name in lower case.
std::vector<std::string> ColumnsOfType(SQLHDBC dbc, bool (*keep)(const char* type))
{
    std::vector<std::string> columns;
    SQLHSTMT stmt = nullptr;
    if (!SQL_SUCCEEDED(REAL(SQLAllocHandle, SQL_HANDLE_STMT, dbc, &stmt)))
        return columns;
    char sql[] = "SELECT p.name, p.type FROM sqlite_master m JOIN pragma_table_info(m.name) p WHERE m.type='table'";
    if (SQL_SUCCEEDED(REAL(SQLExecDirect, stmt, reinterpret_cast<SQLCHAR*>(sql), SQL_NTS))) {
        while (SQL_SUCCEEDED(REAL(SQLFetch, stmt))) {
            char name[256] = {}, type[128] = {};
            SQLLEN ind = 0;
            REAL(SQLGetData, stmt, 1, SQL_C_CHAR, name, sizeof(name), &ind);
            REAL(SQLGetData, stmt, 2, SQL_C_CHAR, type, sizeof(type), &ind);
            if (keep(type))
                columns.push_back(Lower(name));
        }
    }
    REAL(SQLFreeHandle, SQL_HANDLE_STMT, stmt);
    return columns;
}

// Columns of the database's tables that SQL Server cannot compare with '='.
std::vector<std::string> LongColumns(SQLHDBC dbc)
{
    return ColumnsOfType(dbc, [](const char* type) { return IsLong(type); });
}

bool IdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The long column that the statement's condition compares with '=', or "" when it
// compares none. An assignment (UPDATE ... SET) comes before the WHERE and is no comparison.
std::string ComparedLongColumn(SQLHDBC dbc, const std::string& sql)
{
    const std::string lower = Lower(sql);
    const size_t where = lower.find("where");
    if (where == std::string::npos || lower.find('=', where) == std::string::npos)
        return {};
    const std::string text = lower.substr(where);
    for (const std::string& column : LongColumns(dbc)) {
        for (size_t at = text.find(column); at != std::string::npos; at = text.find(column, at + 1)) {
            if (at > 0 && IdentifierChar(text[at - 1]))
                continue;
            size_t i = at + column.size();
            if (i < text.size() && IdentifierChar(text[i]))
                continue;
            if (i < text.size() && (text[i] == ']' || text[i] == '"'))
                ++i;
            while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
                ++i;
            if (i < text.size() && text[i] == '=' && (i + 1 >= text.size() || text[i + 1] != '='))
                return column;
        }
    }
    return {};
}

// Columns of the database's tables that are uniqueidentifier.
std::vector<std::string> GuidColumns(SQLHDBC dbc)
{
    return ColumnsOfType(dbc, [](const char* type) { return ServerType(type) == SQL_GUID; });
}

// True when the condition compares a uniqueidentifier column with a text literal that is no
// GUID ("WHERE key = 'K1'"), which SQL Server refuses with 22018.
bool ComparesGuidWithNonGuid(SQLHDBC dbc, const std::string& sql)
{
    const std::string lower = Lower(sql);
    const size_t where = lower.find("where");
    if (where == std::string::npos)
        return false;
    for (const std::string& column : GuidColumns(dbc)) {
        for (size_t at = lower.find(column, where); at != std::string::npos; at = lower.find(column, at + 1)) {
            if (IdentifierChar(lower[at - 1]))
                continue;
            size_t i = at + column.size();
            if (i < lower.size() && (lower[i] == ']' || lower[i] == '"'))
                ++i;
            while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i])))
                ++i;
            const size_t op = i;
            if (lower.compare(op, 2, "<>") == 0)
                i += 2;
            else if (op < lower.size() && lower[op] == '=')
                ++i;
            else
                continue;
            while (i < lower.size() && std::isspace(static_cast<unsigned char>(lower[i])))
                ++i;
            if (i >= lower.size() || lower[i] != '\'')
                continue;
            const size_t close = lower.find('\'', i + 1);
            if (close != std::string::npos && GuidForm(sql.substr(i + 1, close - i - 1)).empty())
                return true;
        }
    }
    return false;
}

// Whether a failed statement waits for a lock. Reading the SQLite driver's diagnostic uses
// it up, so it is kept in `seen` for the caller to hand on.
bool Locked(SQLHSTMT stmt, Diag& seen)
{
    SQLCHAR state[6] = {}, message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(REAL(SQLGetDiagRec, SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof(message), &length)))
        return false;
    seen = Diag{reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message)};
    return native == 5 || native == 6;  // SQLITE_BUSY, SQLITE_LOCKED
}

// A failure the lock check read keeps its diagnostic, now served by this driver.
SQLRETURN KeepFailure(SQLHSTMT stmt, SQLRETURN rc, const Diag& seen)
{
    if (rc == SQL_ERROR && !seen.state.empty()) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_diags[stmt] = {seen};
    }
    return rc;
}

double Now()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs an execution the way SQL Server does: refused while another statement of the
// connection has unread rows; waiting for locks until the statement time-out, if any.
// Whether a statement changes rows, so that it reports a row count.
bool Changes(const std::string& sql)
{
    std::string word;
    for (char c : sql) {
        if (std::isalpha(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!word.empty())
            break;
    }
    return word == "delete" || word == "update" || word == "insert";
}

bool DefinesTables(const std::string& sql)
{
    const std::string lower = Lower(sql);
    const size_t first = lower.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (lower.compare(first, 6, "create") == 0 || lower.compare(first, 5, "alter") == 0);
}

// The row counts a server reports for a changing statement: a trigger's first, or none.
void SetCounts(SQLHSTMT stmt, Statement& s, const Server& server, bool changes)
{
    s.counts.clear();
    s.result = 0;
    s.ownCounts = false;
    if (!changes || (server.triggerCount < 0 && !server.noCount))
        return;
    SQLLEN own = 0;
    REAL(SQLRowCount, stmt, &own);
    s.ownCounts = true;
    if (server.noCount)
        s.counts = {-1};
    else
        s.counts = {static_cast<SQLLEN>(server.triggerCount), own};
}

// Runs an execution the way SQL Server does: refused while another statement of the
// connection has unread rows; waiting for locks until the statement time-out, if any.
template <class Run>
SQLRETURN Execute(SQLHSTMT stmt, const std::string& sql, Run run)
{
    Clear(stmt);
    SQLHDBC dbc = nullptr;
    SQLULEN timeout = 0;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement& s = g_stmts[stmt];
        dbc = s.dbc;
        timeout = s.timeout;
        const auto busy = g_busy.find(dbc);
        if (busy != g_busy.end() && busy->second != stmt)
            g_diags[stmt] = {Diag{"HY000", 0, std::string(kPrefix) + "Connection is busy with results for another hstmt"}};
        if (busy != g_busy.end() && busy->second == stmt)
            g_busy.erase(busy);
        if (g_diags.count(stmt))
            return SQL_ERROR;
    }
    const Server server = ServerOf(stmt);
    Record(server.database, "query-timeout " + std::to_string(timeout));
    if (!sql.empty()) {
        const std::string column = ComparedLongColumn(dbc, sql);
        if (!column.empty())
            return Fail(stmt, "42000", 402,
                        "[SQL Server]The data types ntext and nvarchar are incompatible in the equal to operator. (" +
                            column + ")");
        if (ComparesGuidWithNonGuid(dbc, sql))
            return Fail(stmt, "22018", 8169, std::string("[SQL Server]") + kGuidConversion);
    }
    const double start = Now();
    SQLRETURN rc;
    Diag seen;
    while ((rc = run()) == SQL_ERROR && Locked(stmt, seen)) {
        if (timeout > 0 && Now() - start >= static_cast<double>(timeout))
            return Fail(stmt, "HYT00", 0, "Query timeout expired");
        usleep(20000);
    }
    if (rc == SQL_ERROR && seen.message.find(kGuidConversion) != std::string::npos)
        return Fail(stmt, "22018", 8169, std::string("[SQL Server]") + kGuidConversion);
    KeepFailure(stmt, rc, seen);
    if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement& s = g_stmts[stmt];
        LearnTypes(stmt, s);
        s.guidRead.clear();
        s.fetched = 0;
        SetCounts(stmt, s, server, !s.hasResult && Changes(sql));
        if (s.hasResult)
            g_busy[dbc] = stmt;
    }
    if (SQL_SUCCEEDED(rc) && DefinesTables(sql))
        InstallGuidChecks(dbc);
    return rc;
}

void EndResult(SQLHSTMT stmt)
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (auto it = g_busy.begin(); it != g_busy.end(); ++it)
        if (it->second == stmt) {
            g_busy.erase(it);
            break;
        }
}

// The 36-character upper-case form of a GUID text (braces dropped), or "" when it is none.
std::string GuidForm(std::string text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, 36);
    if (text.size() != 36)
        return {};
    for (size_t i = 0; i < 36; ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return {};
    }
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// How a stored value reads as a GUID: its 36-character form, or the text as it is.
std::string GuidText(const std::string& text)
{
    const std::string form = GuidForm(text);
    return form.empty() ? text : form;
}

// SQL Server checks a uniqueidentifier value as it is stored. SQLite stores anything, so each
// connection gets temporary triggers that refuse text that is no GUID; they are made again
// when the connection creates or alters a table.
void InstallGuidChecks(SQLHDBC dbc)
{
    std::vector<std::pair<std::string, std::string>> columns;  // table, column
    SQLHSTMT stmt = nullptr;
    if (!SQL_SUCCEEDED(REAL(SQLAllocHandle, SQL_HANDLE_STMT, dbc, &stmt)))
        return;
    char sql[] = "SELECT m.name, p.name, p.type FROM sqlite_master m JOIN pragma_table_info(m.name) p "
                 "WHERE m.type='table'";
    if (SQL_SUCCEEDED(REAL(SQLExecDirect, stmt, reinterpret_cast<SQLCHAR*>(sql), SQL_NTS))) {
        while (SQL_SUCCEEDED(REAL(SQLFetch, stmt))) {
            char table[256] = {}, name[256] = {}, type[128] = {};
            SQLLEN ind = 0;
            REAL(SQLGetData, stmt, 1, SQL_C_CHAR, table, sizeof(table), &ind);
            REAL(SQLGetData, stmt, 2, SQL_C_CHAR, name, sizeof(name), &ind);
            REAL(SQLGetData, stmt, 3, SQL_C_CHAR, type, sizeof(type), &ind);
            if (ServerType(type) == SQL_GUID)
                columns.emplace_back(table, name);
        }
    }
    REAL(SQLFreeStmt, stmt, SQL_CLOSE);
    const std::string hex = "[0-9A-Fa-f]";
    std::string pattern;
    for (int i = 0; i < 36; ++i)
        pattern += (i == 8 || i == 13 || i == 18 || i == 23) ? std::string("-") : hex;
    for (const auto& [table, column] : columns) {
        const std::string value = "NEW.\"" + column + "\"";
        const std::string bad = value + " IS NOT NULL AND NOT (" + value + " GLOB '" + pattern + "' OR " + value +
                                " GLOB '{" + pattern + "}')";
        for (const char* event : {"INSERT", "UPDATE"}) {
            const std::string trigger = "vcm_guid_" + std::string(event) + "_" + table + "_" + column;
            std::string drop = "DROP TRIGGER IF EXISTS temp.\"" + trigger + "\"";
            std::string create = "CREATE TEMP TRIGGER \"" + trigger + "\" BEFORE " + event + " ON main.\"" + table +
                                 "\" WHEN " + bad + " BEGIN SELECT RAISE(ABORT, '" + kGuidConversion + "'); END";
            REAL(SQLExecDirect, stmt, reinterpret_cast<SQLCHAR*>(drop.data()), SQL_NTS);
            REAL(SQLExecDirect, stmt, reinterpret_cast<SQLCHAR*>(create.data()), SQL_NTS);
        }
    }
    REAL(SQLFreeHandle, SQL_HANDLE_STMT, stmt);
}

std::string ConnectionValue(const std::string& connection, const std::string& key)
{
    const std::string lower = Lower(connection);
    for (size_t at = lower.find(Lower(key) + "="); at != std::string::npos; at = lower.find(Lower(key) + "=", at + 1)) {
        if (at > 0 && lower[at - 1] != ';')
            continue;
        const size_t start = at + key.size() + 1;
        const size_t end = connection.find(';', start);
        return connection.substr(start, end == std::string::npos ? std::string::npos : end - start);
    }
    return {};
}

Server ReadServer(const std::string& database)
{
    Server server;
    server.database = database;
    if (database.empty())
        return server;
    FILE* f = std::fopen((database + ".server").c_str(), "r");
    if (!f)
        return server;
    char line[128];
    while (std::fgets(line, sizeof(line), f)) {
        long n = 0;
        if (std::sscanf(line, "trigger-count %ld", &n) == 1)
            server.triggerCount = n;
        else if (std::sscanf(line, "fetch-blocks-after %ld", &n) == 1)
            server.fetchBlocksAfter = n;
        else if (std::strncmp(line, "nocount", 7) == 0)
            server.noCount = true;
        else if (std::strncmp(line, "unanswering", 11) == 0)
            server.unanswering = true;
    }
    std::fclose(f);
    return server;
}

void Record(const std::string& database, const std::string& line)
{
    if (database.empty())
        return;
    if (FILE* f = std::fopen((database + ".calls").c_str(), "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

Server ServerOf(SQLHSTMT stmt)
{
    std::lock_guard<std::mutex> guard(g_lock);
    const auto s = g_stmts.find(stmt);
    if (s == g_stmts.end())
        return {};
    const auto server = g_servers.find(s->second.dbc);
    return server == g_servers.end() ? Server{} : server->second;
}

// Waits as a server that does not answer: until the time-out, or kNoAnswerSeconds without one.
void WaitUnanswered(SQLULEN timeout)
{
    const unsigned seconds = timeout > 0 && timeout < kNoAnswerSeconds ? static_cast<unsigned>(timeout) : kNoAnswerSeconds;
    const double end = Now() + seconds;
    while (Now() < end)
        usleep(20000);
}

// Rebinds the GUID columns bound as text to buffers of ours for the next fetch.
std::vector<GuidBuffer> BindGuidBuffers(SQLHSTMT stmt, const Statement& s)
{
    std::vector<GuidBuffer> buffers;
    for (const auto& [col, binding] : s.bindings) {
        const bool text = binding.cType == SQL_C_CHAR || binding.cType == SQL_C_WCHAR;
        if (!text || col < 1 || col > s.types.size() || s.types[col - 1] != SQL_GUID)
            continue;
        buffers.push_back(GuidBuffer{col, binding, std::vector<char>(s.arraySize * kGuidRaw),
                                     std::vector<SQLLEN>(s.arraySize)});
        GuidBuffer& b = buffers.back();
        REAL(SQLBindCol, stmt, col, SQL_C_CHAR, b.raw.data(), kGuidRaw, b.ind.data());
    }
    return buffers;
}

// Writes one fetched GUID value into the program's buffer as SQL Server does: 36 characters
// and a terminator, which must fit (22003 otherwise).
bool HandOverGuid(const GuidBuffer& b, size_t row)
{
    SQLLEN* ind = b.target.ind ? b.target.ind + row : nullptr;
    if (b.ind[row] == SQL_NULL_DATA) {
        if (ind)
            *ind = SQL_NULL_DATA;
        return true;
    }
    const std::string text = GuidText(std::string(b.raw.data() + row * kGuidRaw));
    const size_t unit = b.target.cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
    if (b.target.size < static_cast<SQLLEN>((text.size() + 1) * unit))
        return false;
    char* out = static_cast<char*>(b.target.value) + row * static_cast<size_t>(b.target.size);
    for (size_t i = 0; i <= text.size(); ++i) {
        const unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        if (unit == 1)
            out[i] = static_cast<char>(c);
        else
            reinterpret_cast<SQLWCHAR*>(out)[i] = c;
    }
    if (ind)
        *ind = static_cast<SQLLEN>(text.size() * unit);
    return true;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output)
{
    const SQLRETURN rc = REAL(SQLAllocHandle, type, input, output);
    if (SQL_SUCCEEDED(rc) && type == SQL_HANDLE_STMT) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts[*output] = Statement{input};
    }
    return rc;
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle)
{
    Clear(handle);
    if (type == SQL_HANDLE_STMT) {
        EndResult(handle);
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts.erase(handle);
    }
    if (type == SQL_HANDLE_DBC) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_loginTimeouts.erase(handle);
        g_servers.erase(handle);
    }
    return REAL(SQLFreeHandle, type, handle);
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT stmt, SQLUSMALLINT option)
{
    Clear(stmt);
    if (option == SQL_CLOSE || option == SQL_DROP)
        EndResult(stmt);
    if (option == SQL_UNBIND) {
        std::lock_guard<std::mutex> guard(g_lock);
        if (Statement* s = Find(stmt))
            s->bindings.clear();
    }
    if (option == SQL_DROP) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts.erase(stmt);
    }
    return REAL(SQLFreeStmt, stmt, option);
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT stmt)
{
    Clear(stmt);
    EndResult(stmt);
    return REAL(SQLCloseCursor, stmt);
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length)
{
    return REAL(SQLSetEnvAttr, env, attr, value, length);
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV env, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER size, SQLINTEGER* length)
{
    return REAL(SQLGetEnvAttr, env, attr, value, size, length);
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length)
{
    Clear(dbc);
    if (attr == SQL_ATTR_LOGIN_TIMEOUT) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_loginTimeouts[dbc] = reinterpret_cast<SQLULEN>(value);
    }
    return REAL(SQLSetConnectAttr, dbc, attr, value, length);
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC dbc, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER size,
                                    SQLINTEGER* length)
{
    Clear(dbc);
    return REAL(SQLGetConnectAttr, dbc, attr, value, size, length);
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC dbc, SQLHWND window, SQLCHAR* in, SQLSMALLINT inLength, SQLCHAR* out,
                                   SQLSMALLINT outSize, SQLSMALLINT* outLength, SQLUSMALLINT completion)
{
    Clear(dbc);
    // SQLite's own busy wait is cut to nothing: lock waits are this driver's, as on SQL Server.
    std::string text = inLength == SQL_NTS ? std::string(reinterpret_cast<char*>(in))
                                           : std::string(reinterpret_cast<char*>(in), static_cast<size_t>(inLength));
    const Server server = ReadServer(ConnectionValue(text, "database"));
    SQLULEN loginTimeout = 0;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto it = g_loginTimeouts.find(dbc);
        loginTimeout = it == g_loginTimeouts.end() ? 0 : it->second;
    }
    Record(server.database, "login-timeout " + std::to_string(loginTimeout));
    if (server.unanswering) {
        WaitUnanswered(loginTimeout);
        return Fail(dbc, "HYT00", 0, "Login timeout expired");
    }
    text += ";Timeout=1";
    const SQLRETURN rc = REAL(SQLDriverConnect, dbc, window, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, out,
                              outSize, outLength, completion);
    if (rc != SQL_SUCCESS)
        return rc;
    InstallGuidChecks(dbc);
    std::lock_guard<std::mutex> guard(g_lock);
    g_servers[dbc] = server;
    g_diags[dbc] = {Diag{"01000", 5701, std::string(kPrefix) + "[SQL Server]Changed database context to 'VeltoDb'."},
                    Diag{"01000", 5703, std::string(kPrefix) + "[SQL Server]Changed language setting to us_english."}};
    return SQL_SUCCESS_WITH_INFO;
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc)
{
    Clear(dbc);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_busy.erase(dbc);
        g_servers.erase(dbc);
    }
    return REAL(SQLDisconnect, dbc);
}

SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT size, SQLSMALLINT* length)
{
    return REAL(SQLGetInfo, dbc, type, value, size, length);
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion)
{
    Clear(handle);
    return REAL(SQLEndTran, type, handle, completion);
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER length)
{
    Clear(stmt);
    if (attr == SQL_ATTR_QUERY_TIMEOUT) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts[stmt].timeout = reinterpret_cast<SQLULEN>(value);
        return SQL_SUCCESS;
    }
    const SQLRETURN rc = REAL(SQLSetStmtAttr, stmt, attr, value, length);
    if (SQL_SUCCEEDED(rc) && (attr == SQL_ATTR_ROW_ARRAY_SIZE || attr == SQL_ATTR_ROWS_FETCHED_PTR)) {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement& s = g_stmts[stmt];
        if (attr == SQL_ATTR_ROW_ARRAY_SIZE)
            s.arraySize = reinterpret_cast<SQLULEN>(value);
        else
            s.rowsFetched = static_cast<SQLULEN*>(value);
    }
    return rc;
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT stmt, SQLINTEGER attr, SQLPOINTER value, SQLINTEGER size,
                                 SQLINTEGER* length)
{
    Clear(stmt);
    if (attr == SQL_ATTR_QUERY_TIMEOUT && value) {
        std::lock_guard<std::mutex> guard(g_lock);
        *static_cast<SQLULEN*>(value) = g_stmts[stmt].timeout;
        return SQL_SUCCESS;
    }
    return REAL(SQLGetStmtAttr, stmt, attr, value, size, length);
}

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER length)
{
    const std::string text = length == SQL_NTS ? std::string(reinterpret_cast<char*>(sql))
                                               : std::string(reinterpret_cast<char*>(sql), static_cast<size_t>(length));
    return Execute(stmt, text, [&] { return REAL(SQLExecDirect, stmt, sql, length); });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT stmt, SQLCHAR* sql, SQLINTEGER length)
{
    Clear(stmt);
    SQLHDBC dbc;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        dbc = g_stmts[stmt].dbc;
    }
    const std::string text = length == SQL_NTS ? std::string(reinterpret_cast<char*>(sql))
                                               : std::string(reinterpret_cast<char*>(sql), static_cast<size_t>(length));
    const std::string column = ComparedLongColumn(dbc, text);
    if (!column.empty())
        return Fail(stmt, "42000", 402,
                    "[SQL Server]The data types ntext and nvarchar are incompatible in the equal to operator. (" +
                        column + ")");
    SQLRETURN rc;
    Diag seen;
    while ((rc = REAL(SQLPrepare, stmt, sql, length)) == SQL_ERROR && Locked(stmt, seen))
        usleep(20000);
    if (SQL_SUCCEEDED(rc)) {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts[stmt].prepared = text;
    }
    return KeepFailure(stmt, rc, seen);
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT stmt)
{
    std::string sql;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        sql = g_stmts[stmt].prepared;
    }
    return Execute(stmt, sql, [&] { return REAL(SQLExecute, stmt); });
}

SQLRETURN SQL_API SQLBindParameter(SQLHSTMT stmt, SQLUSMALLINT number, SQLSMALLINT io, SQLSMALLINT cType,
                                   SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER value,
                                   SQLLEN bufferLength, SQLLEN* ind)
{
    Clear(stmt);
    return REAL(SQLBindParameter, stmt, number, io, cType, sqlType, size, digits, value, bufferLength, ind);
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT stmt, SQLSMALLINT* count)
{
    return REAL(SQLNumParams, stmt, count);
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT stmt, SQLSMALLINT* count)
{
    Clear(stmt);
    return REAL(SQLNumResultCols, stmt, count);
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT size,
                                 SQLSMALLINT* length, SQLSMALLINT* type, SQLULEN* columnSize, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable)
{
    Clear(stmt);
    const SQLRETURN rc = REAL(SQLDescribeCol, stmt, col, name, size, length, type, columnSize, digits, nullable);
    std::lock_guard<std::mutex> guard(g_lock);
    const Statement* s = Find(stmt);
    if (SQL_SUCCEEDED(rc) && s && col >= 1 && col <= s->types.size() && s->types[col - 1] != 0) {
        if (type)
            *type = s->types[col - 1];
        if (columnSize && s->types[col - 1] == SQL_GUID)
            *columnSize = 36;
    }
    return rc;
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field, SQLPOINTER text,
                                  SQLSMALLINT size, SQLSMALLINT* length, SQLLEN* number)
{
    Clear(stmt);
    switch (field) {
    // A default result set names no table, schema or catalog, and no base column.
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_CATALOG_NAME:
        if (text && size > 0)
            *static_cast<char*>(text) = '\0';
        if (length)
            *length = 0;
        return SQL_SUCCESS;
    default:
        break;
    }
    const SQLRETURN rc = REAL(SQLColAttribute, stmt, col, field, text, size, length, number);
    if (SQL_SUCCEEDED(rc) && number && (field == SQL_DESC_TYPE || field == SQL_DESC_CONCISE_TYPE)) {
        std::lock_guard<std::mutex> guard(g_lock);
        const Statement* s = Find(stmt);
        if (s && col >= 1 && col <= s->types.size() && s->types[col - 1] != 0)
            *number = s->types[col - 1];
    }
    return rc;
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT type, SQLPOINTER value, SQLLEN size,
                             SQLLEN* ind)
{
    Clear(stmt);
    const SQLRETURN rc = REAL(SQLBindCol, stmt, col, type, value, size, ind);
    if (SQL_SUCCEEDED(rc)) {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement& s = g_stmts[stmt];
        if (value || ind)
            s.bindings[col] = Binding{type, value, size, ind};
        else
            s.bindings.erase(col);
    }
    return rc;
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT stmt)
{
    Clear(stmt);
    const Server server = ServerOf(stmt);
    std::vector<GuidBuffer> guids;
    long fetched = 0;
    SQLULEN timeout = 0;
    SQLULEN* rowsFetched = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement& s = g_stmts[stmt];
        timeout = s.timeout;
        fetched = s.fetched;
        rowsFetched = s.rowsFetched;
        guids = BindGuidBuffers(stmt, s);
    }
    const SQLRETURN rc = REAL(SQLFetch, stmt);
    if (rc == SQL_NO_DATA)
        EndResult(stmt);
    const long rows = !SQL_SUCCEEDED(rc) ? 0 : rowsFetched ? static_cast<long>(*rowsFetched) : 1;
    // A server that went silent after N rows: a fetch that needed a later row, or the end of
    // the result after them, never returns.
    const long silentAfter = server.fetchBlocksAfter;
    if (silentAfter >= 0 && (fetched >= silentAfter || fetched + rows > silentAfter)) {
        WaitUnanswered(timeout);
        return Fail(stmt, "HYT00", 0, "Query timeout expired");
    }
    std::lock_guard<std::mutex> guard(g_lock);
    if (Statement* s = Find(stmt)) {
        s->guidRead.clear();
        s->fetched = fetched + rows;
    }
    for (const GuidBuffer& b : guids)
        for (long r = 0; r < rows; ++r)
            if (!HandOverGuid(b, static_cast<size_t>(r))) {
                g_diags[stmt] = {Diag{"22003", 0, std::string(kPrefix) + "Numeric value out of range"}};
                return SQL_ERROR;
            }
    return rc;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT stmt)
{
    Clear(stmt);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        Statement* s = Find(stmt);
        if (s && s->ownCounts) {
            if (++s->result < s->counts.size())
                return SQL_SUCCESS;
            s->ownCounts = false;
            s->counts.clear();
            return SQL_NO_DATA;
        }
    }
    const SQLRETURN rc = REAL(SQLMoreResults, stmt);
    if (rc == SQL_NO_DATA)
        EndResult(stmt);
    return rc;
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, SQLPOINTER value, SQLLEN size,
                             SQLLEN* ind)
{
    Clear(stmt);
    bool guid = false;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const Statement* s = Find(stmt);
        // Without SQL_GD_BLOCK a forward-only cursor gives no single value of a block.
        if (s && s->arraySize > 1) {
            g_diags[stmt] = {Diag{"HY109", 0, std::string(kPrefix) + "Invalid cursor position"}};
            return SQL_ERROR;
        }
        guid = s && col >= 1 && col <= s->types.size() && s->types[col - 1] == SQL_GUID &&
               (cType == SQL_C_CHAR || cType == SQL_C_WCHAR);
        if (guid && s->guidRead.count(col))
            return SQL_NO_DATA;
    }
    if (!guid)
        return REAL(SQLGetData, stmt, col, cType, value, size, ind);

    char raw[256] = {};
    SQLLEN rawInd = 0;
    const SQLRETURN rc = REAL(SQLGetData, stmt, col, SQL_C_CHAR, raw, sizeof(raw), &rawInd);
    if (!SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA)
        return rc;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_stmts[stmt].guidRead.insert(col);
    }
    if (rawInd == SQL_NULL_DATA) {
        if (ind)
            *ind = SQL_NULL_DATA;
        return SQL_SUCCESS;
    }
    const std::string text = GuidText(raw);
    const size_t unit = cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 1;
    // The whole GUID and its terminator must fit, or the call fails.
    if (size < static_cast<SQLLEN>((text.size() + 1) * unit))
        return Fail(stmt, "22003", 0, "Numeric value out of range");
    if (cType == SQL_C_WCHAR) {
        SQLWCHAR* out = static_cast<SQLWCHAR*>(value);
        for (size_t i = 0; i < text.size(); ++i)
            out[i] = static_cast<unsigned char>(text[i]);
        out[text.size()] = 0;
    } else {
        std::memcpy(value, text.c_str(), text.size() + 1);
    }
    if (ind)
        *ind = static_cast<SQLLEN>(text.size() * unit);
    return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT stmt, SQLLEN* count)
{
    Clear(stmt);
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const Statement* s = Find(stmt);
        if (s && s->hasResult && count) {  // rows of a default result set are not counted
            *count = -1;
            return SQL_SUCCESS;
        }
        if (s && s->ownCounts && count) {
            *count = s->counts[s->result];
            return SQL_SUCCESS;
        }
    }
    return REAL(SQLRowCount, stmt, count);
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT stmt)
{
    return REAL(SQLCancel, stmt);
}

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT size, SQLSMALLINT* length)
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto it = g_diags.find(handle);
        if (it != g_diags.end()) {
            if (record < 1 || static_cast<size_t>(record) > it->second.size())
                return SQL_NO_DATA;
            const Diag& d = it->second[static_cast<size_t>(record) - 1];
            if (state)
                std::memcpy(state, d.state.c_str(), 6);
            if (native)
                *native = d.native;
            if (length)
                *length = static_cast<SQLSMALLINT>(d.message.size());
            if (message && size > 0) {
                const size_t n = std::min(d.message.size(), static_cast<size_t>(size) - 1);
                std::memcpy(message, d.message.data(), n);
                message[n] = '\0';
                if (n < d.message.size())
                    return SQL_SUCCESS_WITH_INFO;
            }
            return SQL_SUCCESS;
        }
    }
    return REAL(SQLGetDiagRec, type, handle, record, state, native, message, size, length);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record, SQLSMALLINT field,
                                  SQLPOINTER info, SQLSMALLINT size, SQLSMALLINT* length)
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        const auto it = g_diags.find(handle);
        if (it != g_diags.end()) {
            const std::vector<Diag>& diags = it->second;
            if (record == 0) {
                if (field == SQL_DIAG_NUMBER && info)
                    *static_cast<SQLINTEGER*>(info) = static_cast<SQLINTEGER>(diags.size());
                return field == SQL_DIAG_NUMBER ? SQL_SUCCESS : SQL_NO_DATA;
            }
            if (record < 1 || static_cast<size_t>(record) > diags.size())
                return SQL_NO_DATA;
            const Diag& d = diags[static_cast<size_t>(record) - 1];
            std::string text;
            switch (field) {
            case SQL_DIAG_SQLSTATE: text = d.state; break;
            case SQL_DIAG_MESSAGE_TEXT: text = d.message; break;
            case SQL_DIAG_CLASS_ORIGIN:
            case SQL_DIAG_SUBCLASS_ORIGIN: text = "ODBC 3.0"; break;
            case SQL_DIAG_CONNECTION_NAME:
            case SQL_DIAG_SERVER_NAME: text = ""; break;
            case SQL_DIAG_NATIVE:
                if (info)
                    *static_cast<SQLINTEGER*>(info) = d.native;
                return SQL_SUCCESS;
            case SQL_DIAG_ROW_NUMBER:
                if (info)
                    *static_cast<SQLLEN*>(info) = SQL_ROW_NUMBER_UNKNOWN;
                return SQL_SUCCESS;
            case SQL_DIAG_COLUMN_NUMBER:
                if (info)
                    *static_cast<SQLINTEGER*>(info) = SQL_COLUMN_NUMBER_UNKNOWN;
                return SQL_SUCCESS;
            default:
                return SQL_NO_DATA;
            }
            if (length)
                *length = static_cast<SQLSMALLINT>(text.size());
            if (info && size > 0) {
                const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
                std::memcpy(info, text.data(), n);
                static_cast<char*>(info)[n] = '\0';
            }
            return SQL_SUCCESS;
        }
    }
    return REAL(SQLGetDiagField, type, handle, record, field, info, size, length);
}

SQLRETURN SQL_API SQLTables(SQLHSTMT stmt, SQLCHAR* catalog, SQLSMALLINT catalogLength, SQLCHAR* schema,
                            SQLSMALLINT schemaLength, SQLCHAR* table, SQLSMALLINT tableLength, SQLCHAR* type,
                            SQLSMALLINT typeLength)
{
    return REAL(SQLTables, stmt, catalog, catalogLength, schema, schemaLength, table, tableLength, type, typeLength);
}

}  // extern "C"
