// The recordset's reading of a result: blocks of rows through bound buffers where every
// column has a bounded width, value by value where one has none or a value outgrew its
// buffer. Either way every row and value must come out as the database holds it.
#include <gtest/gtest.h>

#include <cstdio>

#include "TestDb.h"
#include "mapping/BlockFetch.h"
#include "mapping/OdbcConnection.h"
#include "mapping/Recordset.h"
#include "platform/Error.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using Bytes = std::vector<unsigned char>;

// Row i of the test tables, as inserted (literals) and as the set must read it. Each kind
// is Null in some rows, in a pattern of its own.
struct Row {
    std::wstring literals;
    FieldValue name, flag, sid, key, amount;
};

Row MakeRow(size_t i, size_t longAt)
{
    Row row;
    std::wstring name = L"\u00e4\u65e5" + std::to_wstring(i);  // not all of it in the ANSI code page
    if (i == longAt)
        name = std::wstring(300, L'\u00e9') + std::wstring(300, L'\u65e5') + std::to_wstring(i);
    wchar_t guid[40];
    std::swprintf(guid, 40, L"%08zx-abcd-0000-0000-%012zu", i, i);
    std::wstring stored = guid;  // the server reads a GUID out in upper case
    std::wstring read = stored;
    if (test::SqlServerPersonality())
        for (wchar_t& ch : read)
            ch = ch >= L'a' && ch <= L'f' ? static_cast<wchar_t>(ch - L'a' + L'A') : ch;
    const Bytes sid = i % 4 == 2 ? Bytes{} : Bytes{static_cast<unsigned char>(i), 0x00, 0xFF, static_cast<unsigned char>(i >> 8)};

    const bool nullName = i % 5 == 1 && i != longAt;
    row.name = nullName ? FieldValue{} : FieldValue{name};
    row.flag = i % 3 == 0 ? FieldValue{} : FieldValue{i % 2 == 1};
    row.sid = i % 4 == 0 ? FieldValue{} : FieldValue{sid};
    row.key = i % 6 == 5 ? FieldValue{} : FieldValue{read};
    row.amount = i % 8 == 7 ? FieldValue{} : FieldValue{static_cast<double>(i) * 0.5 - 3};
    auto literal = [](const FieldValue& v, const std::wstring& text) { return IsNull(v) ? std::wstring(L"NULL") : text; };
    row.literals = L"(" + std::to_wstring(i) + L", " + literal(row.name, test::Quote(name)) + L", " +
                   literal(row.flag, i % 2 == 1 ? L"1" : L"0") + L", " + literal(row.sid, test::BlobLiteral(sid)) +
                   L", " + literal(row.key, test::Quote(stored)) + L", " +
                   literal(row.amount, std::to_wstring(static_cast<double>(i) * 0.5 - 3)) + L")";
    return row;
}

TEST(BlockFetch, EveryRowAndValueWhateverTheWayOfReading)
{
    constexpr size_t kBlock = BlockFetch::kMaxRows;  // the tables below are narrow: whole blocks
    struct Case {
        const char* what;
        const wchar_t* nameType;
        const wchar_t* sidType;
        size_t rows;
        size_t longAt;  // the row whose name is longer than its column (SQLite stores it); 0: none
    };
    const Case cases[] = {
        {"no row", L"NVARCHAR(8)", L"VARBINARY(16)", 0, 0},
        {"one row", L"NVARCHAR(8)", L"VARBINARY(16)", 1, 0},
        {"a block but one", L"NVARCHAR(8)", L"VARBINARY(16)", kBlock - 1, 0},
        {"one block", L"NVARCHAR(8)", L"VARBINARY(16)", kBlock, 0},
        {"a block and one row", L"NVARCHAR(8)", L"VARBINARY(16)", kBlock + 1, 0},
        {"two blocks and one row", L"VARCHAR(8)", L"VARBINARY(4)", 2 * kBlock + 1, 0},
        {"a value too long in the first row", L"NVARCHAR(8)", L"VARBINARY(16)", 3, 1},
        {"a value too long in the second block", L"NVARCHAR(8)", L"VARBINARY(16)", kBlock + 3, kBlock + 2},
        {"plain SQLite text and blob", L"TEXT", L"BLOB", kBlock + 1, 0},
        {"plain SQLite text holding a long value", L"TEXT", L"BLOB", 4, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> statements = {std::wstring(L"CREATE TABLE T (N INTEGER, Name ") + c.nameType +
                                                L", Flag BIT, Sid " + c.sidType +
                                                L", K UNIQUEIDENTIFIER, Amount FLOAT)"};
        std::vector<Row> rows;
        for (size_t i = 1; i <= c.rows; ++i) {
            rows.push_back(MakeRow(i, c.longAt));
            if (i % 100 == 1)
                statements.push_back(L"INSERT INTO T VALUES ");
            else
                statements.back() += L", ";
            statements.back() += rows.back().literals;
        }
        const std::wstring db = test::CreateTestDb(L"blocks.db", statements);

        Recordset rs;
        rs.Open(L"SELECT * FROM T ORDER BY N", db);
        ASSERT_EQ(rs.RecordCount(), static_cast<long>(c.rows));
        if (c.rows > 0)
            rs.MoveFirst();
        for (size_t i = 1; i <= c.rows; ++i, rs.MoveNext()) {
            const Row& want = rows[i - 1];
            ASSERT_FALSE(rs.IsEOF()) << "row " << i;
            ASSERT_EQ(rs.Field(L"N"), FieldValue{static_cast<long long>(i)}) << "row order";
            ASSERT_EQ(rs.Field(L"Name"), want.name) << "row " << i;
            ASSERT_EQ(rs.Field(L"Flag"), want.flag) << "row " << i;
            ASSERT_EQ(rs.Field(L"Sid"), want.sid) << "row " << i;
            ASSERT_EQ(rs.Field(L"K"), want.key) << "row " << i;
            ASSERT_EQ(rs.Field(L"Amount"), want.amount) << "row " << i;
        }
        EXPECT_TRUE(rs.IsEOF());
    }
}

// A server that goes silent part way through a result ends the read at the statement
// time-out with its HYT00, whether the rows come a block at a time or one by one.
TEST(BlockFetch, SilentServerEndsTheReadAtItsTimeOut)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "plain SQLite has no server that could keep silent";
    const struct {
        const char* what;
        const wchar_t* table;
        const char* server;
    } cases[] = {
        {"blocks, silent within the first", L"CREATE TABLE T (N INTEGER, Name NVARCHAR(8))", "fetch-blocks-after 3"},
        {"blocks, silent after a whole block", L"CREATE TABLE T (N INTEGER, Name NVARCHAR(8))", "fetch-blocks-after 512"},
        {"value by value", L"CREATE TABLE T (N INTEGER, Name NTEXT)", "fetch-blocks-after 3"},
    };
    SetStatementTimeout(1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::wstring> statements = {c.table, L"INSERT INTO T VALUES (1, 'a')"};
        for (int i = 0; i < 10; ++i)  // 1024 rows in all
            statements.push_back(L"INSERT INTO T SELECT N + (SELECT MAX(N) FROM T), Name FROM T");
        const std::wstring db = test::CreateTestDb(L"silent.db", statements);
        test::SetServerBehaviour(L"silent.db", {c.server});
        Recordset rs;
        std::wstring failure;
        try {
            rs.Open(L"SELECT * FROM T", db);
        } catch (const Error& e) {
            failure = e.Description();
        }
        EXPECT_TRUE(failure.starts_with(L"[HYT00]")) << ToUtf8(failure);
        EXPECT_FALSE(rs.IsOpen());
    }
    SetStatementTimeout(kStatementTimeoutSeconds);
    test::SetServerBehaviour(L"silent.db", {});
}

}  // namespace
}  // namespace vcm
