// Times FillMappingGrid on databases of N mappings and N subscribers against a bare ODBC
// scan of the same two queries (every column fetched, nothing else done), for SIDs the
// system resolves at once and for SIDs of deleted domain accounts. Also reports the
// platform lookup calls of a load, the heap the load takes at its peak and keeps in the
// grid (per grid row), the time of a header-click sort of the loaded grid, and the time of
// the command-line report (the same load without a grid, and the CSV file written) beside
// the window's load. Then the bulk removal of every tenth mapping of a 100,000-row table,
// with the statements it sends per row, with the SID column indexed, the key indexed, and
// neither. A last section times the deleted-account load of the
// largest N up to 100,000 on the calling thread against the program's load on its workers
// (LoadMappingsOnWorkers), for several worker counts. `--lookups` times the account lookups of
// N deleted accounts alone: one lookup on one thread against one lookup (and policy handle)
// per worker over disjoint chunks, run through the program's long-work runner.
//   bench [N ...]        default: 10000 100000 200000
//   bench --bulk [N [k]] only the bulk removal: every k-th of N rows (default 100000, 10)
//   bench --lookups [N]  only the lookup section; default N: 100000
//   bench --quick [N ...] only the load of SIDs the system resolves at once
//   bench --threaded [N] only the deleted-account load on one thread against the program's
//                        load on several workers; default N: 100000
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "app/LongWork.h"
#include "app/MappingLoadWork.h"
#include "mapping/AccountLookup.h"
#include "mapping/BulkRemoval.h"
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

// Which column of the mapping table has an index in a bulk removal run: none, the SID (a
// server that looks accounts up by SID keeps one), or the key.
enum class BulkIndex { None, Sid, Key };

// Removes every `every`-th mapping of an n-row table through the bulk path: seconds, rows
// removed, and statements sent per row. The per-row statements find the row by its key,
// subscriber id and SID, so either index serves them; without one each of them scans.
void BenchBulkRemoval(int n, int every, BulkIndex index)
{
    const std::wstring file = L"bench_bulk_" + std::to_wstring(n) + L".db";
    CreateDb(file, n, SidKind::Deleted);
    if (index != BulkIndex::None)
        OdbcConnection(L"Driver={SQL Server};server=;database=" + file)
            .Execute(index == BulkIndex::Sid ? L"CREATE INDEX CredentialSid ON Credential (Credentials)"
                                             : L"CREATE INDEX CredentialKey ON Credential (msrepl_tran_version)");
    std::vector<RemovalCandidate> candidates;
    wchar_t key[64];
    wchar_t subscriber[64];
    for (int i = every; i <= n; i += every) {
        swprintf(key, 64, L"5EED0000-0000-0000-0000-%012d", i);
        swprintf(subscriber, 64, L"OBJ-%07d", static_cast<int>((static_cast<long long>(i) * 7919) % n) + 1);
        candidates.push_back({key, MappingSid(SidKind::Deleted, i), subscriber, key, L"alias"});
    }
    DeleteFileW(L"bench_removed.txt");
    BulkRemovalContext context;
    context.connection = L"Driver={SQL Server};server=;database=" + file;
    context.major = 4;
    context.restoreFile = L"bench_removed.txt";
    context.removedBy = L"BENCH\\operator";
    const auto start = std::chrono::steady_clock::now();
    const BulkRemovalResult result = RemoveMappings(candidates, context);
    const double seconds = Seconds(start);
    std::printf("bulk removal%s: %zu of %d rows removed (%zu skipped) in %.2f s, %.2f statements per row\n",
                index == BulkIndex::None ? " (no index)" : index == BulkIndex::Sid ? " (SID indexed)" : " (key indexed)", result.removed.size(), n, result.skipped.size(), seconds,
                static_cast<double>(result.statements) / static_cast<double>(candidates.size()));
    std::fflush(stdout);
    DeleteFileW(file.c_str());
    DeleteFileW(L"bench_removed.txt");
}

// Resolves sids[first, end) with one lookup, a chunk of AccountLookup::kChunk at a time;
// returns how many have no name (deleted accounts).
size_t ResolveRange(const std::vector<std::vector<unsigned char>>& sids, size_t first, size_t end, LongWork* work)
{
    AccountLookup lookup;
    size_t unnamed = 0;
    for (size_t at = first; at < end && !(work && work->StopRequested()); at += AccountLookup::kChunk) {
        const size_t stop = std::min(end, at + AccountLookup::kChunk);
        std::vector<AccountLookup::SidId> ids;
        ids.reserve(stop - at);
        for (size_t i = at; i < stop; ++i)
            ids.push_back(lookup.Add(sids[i]));
        lookup.Resolve();
        for (AccountLookup::SidId id : ids)
            unnamed += lookup.Name(id).name.empty() ? 1 : 0;
        if (work)
            work->Advance(stop - at);
    }
    if (lookup.Failure())
        throw *lookup.Failure();
    return unnamed;
}

// Best of `repeats` passes of the lookups of every SID on `threads` workers (0: on the
// calling thread, no runner).
double TimeLookups(const std::vector<std::vector<unsigned char>>& sids, unsigned threads, int repeats)
{
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto start = Clock::now();
        std::atomic<size_t> unnamed{0};
        if (threads == 0) {
            unnamed = ResolveRange(sids, 0, sids.size(), nullptr);
        } else {
            LongWorkRunner runner(nullptr);
            const size_t share = (sids.size() + threads - 1) / threads;
            runner.RunChunks(threads, threads, [&](size_t worker, LongWork& work) {
                const size_t first = std::min(sids.size(), worker * share);
                unnamed += ResolveRange(sids, first, std::min(sids.size(), first + share), &work);
            });
        }
        best = std::min(best, Seconds(start));
        if (unnamed != sids.size())
            throw Error(1, L"a deleted account got a name");
    }
    return best;
}

void BenchLookups(int n)
{
    std::vector<std::vector<unsigned char>> sids;
    sids.reserve(static_cast<size_t>(n));
    for (int i = 1; i <= n; ++i)
        sids.push_back(MappingSid(SidKind::Deleted, i));
    std::printf("\naccount lookups of %d deleted accounts, one lookup per worker, %u processors\n", n,
                LongWorkRunner::MachineThreads());
    std::printf("%-22s %8s %8s\n", "", "s", "x single");
    // One pass untimed first: the first lookups of a process pay for loading and warming
    // the system's lookup code, which would count against whichever row came first.
    TimeLookups(sids, 0, 1);
    const double single = TimeLookups(sids, 0, 2);
    std::printf("%-22s %8.3f %8.2f\n", "single thread", single, 1.0);
    for (unsigned threads : {1u, 2u, 3u, 4u, 8u}) {
        const double t = TimeLookups(sids, threads, 2);
        std::printf("runner, %u thread%-7s %8.3f %8.2f\n", threads, threads == 1 ? "" : "s", t, t / single);
        std::fflush(stdout);
    }
}

// Seconds of the best of `repeats` deleted-account loads into a grid: on the calling thread
// (threads 0) or through a runner with `threads` lookup workers, as the program loads.
double TimeDeletedLoad(const std::wstring& connection, unsigned threads, int repeats)
{
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        GridModel grid(MappingGridColumns());
        const LoadSettings settings{connection, 4, false, true, {}};
        const auto start = Clock::now();
        if (threads == 0) {
            FillMappingGrid(grid, settings);
        } else {
            LongWorkRunner runner(nullptr);
            ShowMappings(grid, LoadMappingsOnWorkers(runner, settings, threads).model);
        }
        best = std::min(best, Seconds(start));
    }
    return best;
}

void BenchThreadedLoad(int n)
{
    const std::wstring file = L"bench_threaded_" + std::to_wstring(n) + L".db";
    CreateDb(file, n, SidKind::Deleted);
    const std::wstring connection = L"Driver={SQL Server};server=;database=" + file;
    std::printf("\ndeleted-account load of %d mappings, %u processors (program's workers: %u)\n", n,
                LongWorkRunner::MachineThreads(), kLookupWorkers);
    std::printf("%-22s %8s %8s\n", "", "load s", "x single");
    // The first lookups of a process pay for loading and warming the system's lookup code.
    std::vector<std::vector<unsigned char>> warm;
    for (int i = 1; i <= 2000; ++i)
        warm.push_back(MappingSid(SidKind::Deleted, n + i));
    ResolveRange(warm, 0, warm.size(), nullptr);
    // Two rounds, each timing one thread and then the workers, best of each kept: a pass of
    // 100,000 deleted accounts takes seconds to tens of seconds under Wine, and whatever the
    // machine does meanwhile (the writes of the database just made, other work) then weighs on
    // both sides alike rather than on whichever came first.
    const unsigned kThreads[] = {0u, 2u, 4u};
    double best[std::size(kThreads)];
    std::fill(std::begin(best), std::end(best), 1e30);
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < std::size(kThreads); ++i)
            best[i] = std::min(best[i], TimeDeletedLoad(connection, kThreads[i], 1));
    std::printf("%-22s %8.3f %8.2f\n", "single thread", best[0], 1.0);
    for (size_t i = 1; i < std::size(kThreads); ++i)
        std::printf("workers, %u threads%-6s %8.3f %8.2f\n", kThreads[i], "", best[i], best[i] / best[0]);
    std::fflush(stdout);
    DeleteFileW(file.c_str());
}

// The load table: each size of each kind of SID (only the quick ones with `quickOnly`).
void BenchLoads(const std::vector<int>& sizes, bool quickOnly)
{
    std::printf("%-8s %8s %8s %8s %9s %8s %9s %8s %11s %10s %10s %9s %11s\n", "SIDs", "N", "load s", "raw s",
                "load/raw", "sets s", "grid rows", "sort s", "calls/bound", "peak B/row", "kept B/row", "report s",
                "report/load");
    for (SidKind kind : {SidKind::Quick, SidKind::Deleted}) {
        if (quickOnly && kind != SidKind::Quick)
            break;
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
}

// Runs one part of the benchmark: 0, or 1 with the failure on the standard error.
int Guarded(const std::function<void()>& part)
{
    try {
        part();
    } catch (const Error& e) {
        std::fprintf(stderr, "bench: %s (%ld)\n", e.what(), e.Number());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc >= 2 ? argv[1] : "";
    const int given = argc >= 3 ? std::atoi(argv[2]) : 100000;
    if (mode == "--lookups")
        return Guarded([&] { BenchLookups(given); });
    if (mode == "--threaded")
        return Guarded([&] { BenchThreadedLoad(given); });
    std::vector<int> sizes;
    bool bulkOnly = false;
    bool quickOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--bulk")
            bulkOnly = true;
        else if (std::string(argv[i]) == "--quick")
            quickOnly = true;
        else
            sizes.push_back(std::atoi(argv[i]));
    }
    const bool sizesGiven = !sizes.empty();
    if (!sizesGiven)
        sizes = {10000, 100000, 200000};

    return Guarded([&] {
        if (bulkOnly) {
            // Without sizes: 10,000 of 100,000 rows.
            const int n = sizesGiven ? sizes[0] : 100000;
            const int every = sizesGiven && sizes.size() > 1 ? sizes[1] : 10;
            for (BulkIndex index : {BulkIndex::Sid, BulkIndex::Key, BulkIndex::None})
                BenchBulkRemoval(n, every, index);
            return;
        }
        BenchLoads(sizes, quickOnly);
        if (quickOnly)
            return;
        for (BulkIndex index : {BulkIndex::Sid, BulkIndex::Key, BulkIndex::None})
            BenchBulkRemoval(100000, 10, index);
        // The program's own load on its workers; the bare lookups alone (--lookups) are left
        // out here, since this load times them as the program makes them.
        BenchThreadedLoad(*std::max_element(sizes.begin(), sizes.end()) >= 100000 ? 100000 : sizes.back());
    });
}
