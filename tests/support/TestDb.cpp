#include "TestDb.h"

#include <cwchar>
#include <fstream>
#include <stdexcept>

#include "mapping/OdbcConnection.h"
#include "platform/Error.h"
#include "platform/TextConv.h"

namespace vcm::test {

namespace {

// Runs statements in one transaction on a connection of their own.
void RunAll(const std::wstring& connection, const std::vector<std::wstring>& statements)
{
    OdbcConnection db(connection);
    OdbcTransaction transaction(db.Handle());
    for (const std::wstring& statement : statements)
        db.Execute(statement);
    transaction.Commit();
}

}  // namespace

// Whether the driver registered as "SQL Server" is the personality driver: it answers a
// connect with SQL Server's informational "changed database context" (5701), which the
// SQLite driver never gives.
bool PersonalityDriverAnswers()
{
    constexpr wchar_t kProbe[] = L"personality-probe.db";
    SQLHANDLE handle = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle)))
        return false;
    UniqueSqlEnv env(handle);
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), &handle)))
        return false;
    UniqueSqlDbc dbc(handle);
    std::wstring text = ConnectionString(kProbe);
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(text.data()), SQL_NTS,
                                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    bool answered = false;
    for (SQLSMALLINT record = 1; rc == SQL_SUCCESS_WITH_INFO; ++record) {
        SQLWCHAR state[6] = {};
        SQLWCHAR message[512] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRecW(SQL_HANDLE_DBC, dbc.get(), record, state, &native, message, 512, &length)))
            break;
        answered = answered || native == 5701;
    }
    dbc.reset();
    DeleteFileW(kProbe);
    return answered;
}

bool SqlServerPersonality()
{
    // Asked once per test program; a run whose driver is not the one it names is a broken
    // set-up, and every database test under it would prove nothing.
    static const bool personality = [] {
        wchar_t value[32] = {};
        const DWORD n = GetEnvironmentVariableW(L"VCM_DB_PERSONALITY", value, 32);
        const bool named = n > 0 && n < 32 && EqualsNoCase(value, L"sqlserver");
        if (named != PersonalityDriverAnswers())
            throw std::runtime_error(named ? "VCM_DB_PERSONALITY=sqlserver, but the SQL Server personality driver "
                                             "is not the one registered as \"SQL Server\" (ODBCSYSINI)"
                                           : "the SQL Server personality driver is registered as \"SQL Server\", "
                                             "but VCM_DB_PERSONALITY does not name it");
        return named;
    }();
    return personality;
}

std::wstring ConnectionString(const std::wstring& file)
{
    return L"Driver={SQL Server};server=;database=" + file;
}

std::wstring CreateTestDb(const std::wstring& file, const std::vector<std::wstring>& statements)
{
    for (const std::wstring& name : {file, file + L".server", file + L".calls"})
        if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
            ThrowLastError(L"DeleteFileW " + name);
    const std::wstring connection = ConnectionString(file);
    RunAll(connection, statements);
    return connection;
}

const std::vector<std::wstring>& VeltoSchema()
{
    // Kept in step with scripts/demo/schema.sql.
    static const std::vector<std::wstring> schema = [] {
        const std::wstring ci = SqlServerPersonality() ? L" COLLATE NOCASE" : L"";
        const std::wstring text = L"NVARCHAR(64)" + ci;
        const std::wstring guid = L"UNIQUEIDENTIFIER" + ci;
        return std::vector<std::wstring>{
            L"CREATE TABLE Subscriber (SubscriberObjectID " + text + L", UID " + text + L", Alias " + text +
                L", DisplayName NVARCHAR(128)" + ci + L")",
            L"CREATE TABLE Credential (SubscriberObjectID " + text + L", Credentials VARBINARY(85), IsPrimary BIT, "
                L"msrepl_tran_version " + guid + L")",
            L"CREATE TABLE SIDHistory (ParentObjectID " + text + L", SID VARBINARY(85), IsPrimary BIT, "
                L"msrepl_tran_version " + guid + L")",
        };
    }();
    return schema;
}

std::wstring CreateVeltoDb(const std::wstring& file, const std::vector<std::wstring>& statements)
{
    std::vector<std::wstring> all = VeltoSchema();
    all.insert(all.end(), statements.begin(), statements.end());
    return CreateTestDb(file, all);
}

std::wstring Key(std::wstring_view label)
{
    if (!SqlServerPersonality())
        return std::wstring(label);
    // Two FNV-1a hashes of the label give the GUID's 128 bits.
    unsigned long long high = 14695981039346656037ull;
    unsigned long long low = 1099511628211ull;
    for (wchar_t c : label) {
        high = (high ^ static_cast<unsigned long long>(c)) * 1099511628211ull;
        low = (low ^ static_cast<unsigned long long>(c)) * 14695981039346656037ull;
    }
    wchar_t text[37];
    swprintf(text, 37, L"%08llX-%04llX-%04llX-%04llX-%012llX", high >> 32, (high >> 16) & 0xFFFF, high & 0xFFFF,
             low >> 48, low & 0xFFFFFFFFFFFFull);
    return text;
}

std::vector<unsigned char> SidBytes(std::wstring_view text)
{
    // S-<revision>-<authority>-<sub>-<sub>...
    std::vector<unsigned long long> parts;
    if (text.substr(0, 2) != L"S-")
        throw std::invalid_argument("not a SID text");
    size_t pos = 2;
    while (pos <= text.size()) {
        const size_t dash = text.find(L'-', pos);
        const std::wstring part(text.substr(pos, dash == std::wstring_view::npos ? std::wstring_view::npos : dash - pos));
        parts.push_back(std::wcstoull(part.c_str(), nullptr, 10));
        if (dash == std::wstring_view::npos)
            break;
        pos = dash + 1;
    }
    if (parts.size() < 2)
        throw std::invalid_argument("not a SID text");
    std::vector<unsigned char> bytes;
    bytes.push_back(static_cast<unsigned char>(parts[0]));
    bytes.push_back(static_cast<unsigned char>(parts.size() - 2));
    for (int shift = 40; shift >= 0; shift -= 8)  // authority: 6 bytes, big-endian
        bytes.push_back(static_cast<unsigned char>(parts[1] >> shift));
    for (size_t i = 2; i < parts.size(); ++i)  // sub-authorities: little-endian
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<unsigned char>(parts[i] >> shift));
    return bytes;
}

std::wstring BlobLiteral(const std::vector<unsigned char>& bytes)
{
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring out = L"X'";
    for (unsigned char b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    out.push_back(L'\'');
    return out;
}

std::wstring SidLiteral(std::wstring_view text) { return BlobLiteral(SidBytes(text)); }

std::wstring Quote(std::wstring_view text) { return Enclose(text, L'\'', L'\''); }

void SetServerBehaviour(const std::wstring& file, const std::vector<std::string>& settings)
{
    std::ofstream out((file + L".server").c_str(), std::ios::binary | std::ios::trunc);
    for (const std::string& setting : settings)
        out << setting << '\n';
    if (!out)
        throw std::runtime_error("cannot write the server settings");
}

std::vector<std::string> TakeTimeoutRecord(const std::wstring& file)
{
    const std::wstring name = file + L".calls";
    std::vector<std::string> lines;
    {
        std::ifstream in(name.c_str(), std::ios::binary);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
    }
    DeleteFileW(name.c_str());
    return lines;
}

void Execute(const std::wstring& connection, const std::vector<std::wstring>& statements)
{
    RunAll(connection, statements);
}

std::vector<TextRow> QueryRows(const std::wstring& connection, const std::wstring& query)
{
    OdbcConnection db(connection);
    UniqueSqlStmt stmt = db.Execute(query);
    SQLSMALLINT columns = 0;
    CheckOdbc(SQLNumResultCols(stmt.get(), &columns), SQL_HANDLE_STMT, stmt.get(), L"SQLNumResultCols");
    std::vector<TextRow> rows;
    while (SQL_SUCCEEDED(SQLFetch(stmt.get()))) {
        TextRow row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            SQLWCHAR buffer[1024];
            SQLLEN ind = 0;
            CheckOdbc(SQLGetData(stmt.get(), c, SQL_C_WCHAR, buffer, sizeof(buffer), &ind), SQL_HANDLE_STMT, stmt.get(),
                  L"SQLGetData");
            if (ind == SQL_NULL_DATA)
                row.emplace_back();
            else
                row.emplace_back(reinterpret_cast<const wchar_t*>(buffer));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

long long CountRows(const std::wstring& connection, const std::wstring& table)
{
    const auto rows = QueryRows(connection, L"SELECT COUNT(*) FROM " + table);
    if (rows.size() != 1 || !rows[0][0])
        throw std::runtime_error("count failed");
    return std::stoll(*rows[0][0]);
}

}  // namespace vcm::test
