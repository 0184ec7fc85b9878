// Times FillMappingGrid on databases of N mappings and N subscribers against a bare ODBC
// scan of the same two queries (every column fetched, nothing else done), for SIDs the
// system resolves at once and for SIDs of deleted domain accounts. Also reports the
// platform lookup calls of a load, the heap the load takes at its peak and keeps in the
// grid (per grid row), the time of a header-click sort of the loaded grid, and the time of
// the command-line report (the same load without a grid, and the CSV file written) beside
// the window's load.
//   bench [N ...]        default: 10000 100000 200000
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "mapping/AccountLookup.h"
#include "grid/GridModel.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"
#include "mapping/MappingReport.h"
#include "mapping/OdbcConnection.h"
#include "mapping/Recordset.h"
#include "platform/Error.h"
#include "platform/Handles.h"
#include "mapping/Odbc.h"

// Every C++ heap block of the process is counted, so that a load's peak and what its grid
// keeps can be read off: live bytes now, and the highest since the last reset.
namespace heap {
std::atomic<long long> live{0};
std::atomic<long long> peak{0};

void* Take(size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (!p)
        throw std::bad_alloc();
    const long long now = live += static_cast<long long>(_msize(p));
    long long high = peak.load();
    while (now > high && !peak.compare_exchange_weak(high, now)) {
    }
    return p;
}

void Give(void* p) noexcept
{
    if (!p)
        return;
    live -= static_cast<long long>(_msize(p));
    std::free(p);
}
}  // namespace heap

void* operator new(size_t size) { return heap::Take(size); }
void* operator new[](size_t size) { return heap::Take(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    try {
        return heap::Take(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { heap::Give(p); }
void operator delete[](void* p) noexcept { heap::Give(p); }
void operator delete(void* p, size_t) noexcept { heap::Give(p); }
void operator delete[](void* p, size_t) noexcept { heap::Give(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { heap::Give(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { heap::Give(p); }

namespace {

using namespace vcm;
using Clock = std::chrono::steady_clock;

SQLWCHAR* Sql(std::wstring& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

enum class SidKind { Quick, Deleted };

std::vector<unsigned char> Sid(unsigned char authority, std::vector<unsigned> subs)
{
    std::vector<unsigned char> bytes = {1, static_cast<unsigned char>(subs.size()), 0, 0, 0, 0, 0, authority};
    for (unsigned s : subs)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<unsigned char>(s >> shift));
    return bytes;
}

std::vector<unsigned char> MappingSid(SidKind kind, int i)
{
    if (kind == SidKind::Deleted)  // distinct accounts of a domain that is gone
        return Sid(5, {21, 1, 2, 3, 1000u + static_cast<unsigned>(i)});
    static const std::vector<std::vector<unsigned char>> wellKnown = {
        Sid(1, {0}), Sid(5, {18}), Sid(5, {19}), Sid(5, {20}), Sid(5, {32, 544}), Sid(5, {32, 545}),
        Sid(5, {32, 546}), Sid(5, {11}),
    };
    return wellKnown[static_cast<size_t>(i) % wellKnown.size()];
}

// One transaction, one prepared insert per table with bound parameters.
void CreateDb(const std::wstring& file, int n, SidKind kind)
{
    DeleteFileW(file.c_str());
    OdbcConnection db(L"Driver={SQL Server};server=;database=" + file);
    db.Execute(L"CREATE TABLE Subscriber (SubscriberObjectID VARCHAR(64), UID NVARCHAR(64), Alias NVARCHAR(64), "
           L"DisplayName NVARCHAR(128))");
    db.Execute(L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64), Credentials VARBINARY(68), IsPrimary BIT, "
           L"msrepl_tran_version VARCHAR(36))");
    OdbcTransaction transaction(db.Handle());

    wchar_t text[4][64];
    SQLLEN ind[4];
    auto bindText = [&](SQLHSTMT stmt, int p) {
        CheckOdbc(SQLBindParameter(stmt, static_cast<SQLUSMALLINT>(p + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 63,
                               0, text[p], sizeof(text[p]), &ind[p]),
              SQL_HANDLE_STMT, stmt, L"SQLBindParameter");
    };
    auto setText = [&](int p, const wchar_t* format, int value) {
        const int len = swprintf(text[p], 64, format, value);
        ind[p] = static_cast<SQLLEN>(len) * static_cast<SQLLEN>(sizeof(wchar_t));
    };

    {
        UniqueSqlStmt stmt = db.NewStatement();
        std::wstring sql = L"INSERT INTO Subscriber VALUES (?, ?, ?, ?)";
        CheckOdbc(SQLPrepareW(stmt.get(), Sql(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get(), L"SQLPrepareW");
        for (int p = 0; p < 4; ++p)
            bindText(stmt.get(), p);
        for (int i = 1; i <= n; ++i) {
            setText(0, L"OBJ-%07d", i);
            setText(1, L"user%06d", i);
            setText(2, L"user%06d", i);
            setText(3, L"User %d", i);
            CheckOdbc(SQLExecute(stmt.get()), SQL_HANDLE_STMT, stmt.get(), L"SQLExecute");
        }
    }
    {
        UniqueSqlStmt stmt = db.NewStatement();
        std::wstring sql = L"INSERT INTO Credential VALUES (?, ?, ?, ?)";
        CheckOdbc(SQLPrepareW(stmt.get(), Sql(sql), SQL_NTS), SQL_HANDLE_STMT, stmt.get(), L"SQLPrepareW");
        unsigned char sid[68];
        SQLLEN sidInd = 0;
        SQLINTEGER primary = 0;
        bindText(stmt.get(), 0);
        CheckOdbc(SQLBindParameter(stmt.get(), 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARBINARY, 68, 0, sid, sizeof(sid),
                               &sidInd),
              SQL_HANDLE_STMT, stmt.get(), L"SQLBindParameter");
        CheckOdbc(SQLBindParameter(stmt.get(), 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &primary, 0, nullptr),
              SQL_HANDLE_STMT, stmt.get(), L"SQLBindParameter");
        CheckOdbc(SQLBindParameter(stmt.get(), 4, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 63, 0, text[3],
                               sizeof(text[3]), &ind[3]),
              SQL_HANDLE_STMT, stmt.get(), L"SQLBindParameter");
        for (int i = 1; i <= n; ++i) {
            // Mappings point to subscribers all over the table, not in table order.
            setText(0, L"OBJ-%07d", static_cast<int>((static_cast<long long>(i) * 7919) % n) + 1);
            const std::vector<unsigned char> bytes = MappingSid(kind, i);
            std::copy(bytes.begin(), bytes.end(), sid);
            sidInd = static_cast<SQLLEN>(bytes.size());
            primary = i % 3 == 0 ? 1 : 0;
            setText(3, L"5EED0000-0000-0000-0000-%012d", i);
            CheckOdbc(SQLExecute(stmt.get()), SQL_HANDLE_STMT, stmt.get(), L"SQLExecute");
        }
    }
    transaction.Commit();
}

// Fetches every column of every row of a query and does nothing with it.
long ScanQuery(const std::wstring& connection, std::wstring query)
{
    OdbcConnection db(connection);
    UniqueSqlStmt stmt = db.Execute(query);
    SQLSMALLINT count = 0;
    SQLNumResultCols(stmt.get(), &count);
    std::vector<SQLSMALLINT> cType(static_cast<size_t>(count));
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
        SQLWCHAR name[128];
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLDescribeColW(stmt.get(), c, name, 128, &nameLength, &type, &size, &digits, &nullable);
        const bool binary = type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
        cType[c - 1] = binary ? SQL_C_BINARY : SQL_C_WCHAR;
    }
    long rows = 0;
    unsigned char buffer[1024];
    for (;;) {
        const SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA)
            break;
        CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), L"SQLFetch");
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(count); ++c) {
            SQLLEN ind = 0;
            CheckOdbc(SQLGetData(stmt.get(), c, cType[c - 1], buffer, sizeof(buffer), &ind), SQL_HANDLE_STMT, stmt.get(),
                  L"SQLGetData");
        }
        ++rows;
    }
    return rows;
}

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Result {
    double load = 0;
    double raw = 0;
    double sort = 0;
    double sets = 0;
    double report = 0;
    int gridRows = 0;
    int lookupCalls = 0;
    double peakBytesPerRow = 0;  // heap at the load's peak, above what was live before it
    double keptBytesPerRow = 0;  // heap the loaded grid holds
};

Result Measure(const std::wstring& connection, int repeats)
{
    Result best{1e30, 1e30, 1e30, 1e30, 1e30, 0, 0, 0, 0};
    for (int i = 0; i < repeats; ++i) {
        const long long before = heap::live.load();
        heap::peak.store(before);
        auto grid = std::make_unique<GridModel>(MappingGridColumns());
        auto start = Clock::now();
        const LoadReport report = FillMappingGrid(*grid, {connection, 4, false, true, {}});
        best.load = std::min(best.load, Seconds(start));
        best.gridRows = grid->Rows() - 1;
        best.lookupCalls = report.lookupCalls;
        const double rows = std::max(1, best.gridRows);
        best.peakBytesPerRow = static_cast<double>(heap::peak.load() - before) / rows;
        best.keptBytesPerRow = static_cast<double>(heap::live.load() - before) / rows;

        // A header click on AD Alias, then on it again (the order turned round).
        const int column = grid->ColIndex(kKeyADAlias);
        start = Clock::now();
        grid->Sort(column, true);
        best.sort = std::min(best.sort, Seconds(start));
        start = Clock::now();
        grid->Sort(column, false);
        best.sort = std::min(best.sort, Seconds(start));
        grid.reset();

        // The report of every mapping, as the command line without switches makes it.
        start = Clock::now();
        {
            LoadSettings settings{connection, 4, false, true, {}, {}};
            const MappingLoad load = LoadMappings(settings);
            WriteMappingReport(*load.model, false, L"bench_report.csv");
        }
        best.report = std::min(best.report, Seconds(start));
        DeleteFileW(L"bench_report.csv");

        start = Clock::now();
        ScanQuery(connection, L"Select * from credential");
        ScanQuery(connection, L"Select SubscriberObjectID, UID from subscriber");
        best.raw = std::min(best.raw, Seconds(start));

        // The two record sets alone, as the load reads them.
        start = Clock::now();
        {
            Recordset mappings;
            Recordset subscribers;
            mappings.Open(L"Select * from credential", connection);
            subscribers.Open(L"Select SubscriberObjectID, UID from subscriber", connection);
        }
        best.sets = std::min(best.sets, Seconds(start));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::atoi(argv[i]));
    if (sizes.empty())
        sizes = {10000, 100000, 200000};

    try {
        std::printf("%-8s %8s %8s %8s %9s %8s %9s %8s %11s %10s %10s %9s %11s\n", "SIDs", "N", "load s", "raw s",
                    "load/raw", "sets s", "grid rows", "sort s", "calls/bound", "peak B/row", "kept B/row", "report s",
                    "report/load");
        for (SidKind kind : {SidKind::Quick, SidKind::Deleted}) {
            const char* name = kind == SidKind::Quick ? "quick" : "deleted";
            std::vector<double> loads;
            for (int n : sizes) {
                const std::wstring file = std::wstring(L"bench_") + (kind == SidKind::Quick ? L"quick_" : L"deleted_") +
                                          std::to_wstring(n) + L".db";
                CreateDb(file, n, kind);
                // Best of several passes, so that a busy machine distorts less; lookups of deleted
                // accounts (tens of microseconds each under Wine) make those passes long.
                const Result r = Measure(L"Driver={SQL Server};server=;database=" + file,
                                         kind == SidKind::Quick ? 5 : 2);
                loads.push_back(r.load);
                // Every row passes the view options here, so each distinct SID of the table is looked up.
                const long distinct = kind == SidKind::Quick ? std::min(n, 8) : n;
                const long bound = (distinct + static_cast<long>(AccountLookup::kChunk) - 1) /
                                       static_cast<long>(AccountLookup::kChunk) + 1;
                std::printf("%-8s %8d %8.3f %8.3f %9.2f %8.3f %9d %8.3f %5d/%-5ld %10.0f %10.0f %9.3f %11.2f\n", name, n,
                            r.load, r.raw, r.load / r.raw, r.sets, r.gridRows, r.sort, r.lookupCalls, bound,
                            r.peakBytesPerRow, r.keptBytesPerRow, r.report, r.report / r.load);
                std::fflush(stdout);
                DeleteFileW(file.c_str());
            }
            for (size_t i = 1; i < sizes.size(); ++i)
                std::printf("%-8s load(%d)/load(%d) = %.2f\n", name, sizes[i], sizes[i - 1], loads[i] / loads[i - 1]);
            std::fflush(stdout);
        }
    } catch (const Error& e) {
        std::fprintf(stderr, "bench: %s (%ld)\n", e.what(), e.Number());
        return 1;
    }
    return 0;
}
