// The recordset against real SQLite databases: value kinds, the forward walk, find,
// filter, record count and the guarded delete; ODBC diagnostics as errors.
#include <gtest/gtest.h>

#include <functional>

#include "TestDb.h"
#include "mapping/OdbcConnection.h"
#include "mapping/Recordset.h"
#include "platform/Error.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using test::CountRows;
using test::CreateTestDb;
using test::QueryRows;
using Bytes = std::vector<unsigned char>;

template <class F>
long ErrorNumber(F&& f)
{
    try {
        f();
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

std::wstring People()
{
    return CreateTestDb(L"people.db", {
        L"CREATE TABLE People (Id VARCHAR(20), Name NVARCHAR(40), Age INTEGER, Flag BIT)",
        L"INSERT INTO People VALUES ('a', 'Anna', 30, 1)",
        L"INSERT INTO People VALUES ('B', 'Bert', NULL, 0)",
        L"INSERT INTO People VALUES ('b', 'Bea', 41, NULL)",
        L"INSERT INTO People VALUES ('O''Brien', 'Olaf', 52, 1)",
        L"INSERT INTO People VALUES ('5', 'Five', 5, 0)",
        L"INSERT INTO People VALUES (NULL, 'Nobody', 0, 0)",
        L"INSERT INTO People VALUES ('b', 'Bo', 41, 1)",
        L"INSERT INTO People VALUES ('j\u00fcrgen', 'J\u00fcrgen', 60, 0)",
    });
}

std::vector<std::wstring> Names(Recordset& rs)
{
    std::vector<std::wstring> names;
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext())
        names.push_back(FieldText(rs.Field(L"name")));
    return names;
}

TEST(Recordset, ReadsEveryValueKind)
{
    // More than one piece of the reader, and longer than a block of the set's storage.
    std::wstring longText(70000, L'x');
    for (size_t i = 0; i < longText.size(); i += 97)
        longText[i] = static_cast<wchar_t>(L'a' + i % 26);
    Bytes longBlob(70000);
    for (size_t i = 0; i < longBlob.size(); ++i)
        longBlob[i] = static_cast<unsigned char>(i * 7);
    const std::wstring db = CreateTestDb(L"kinds.db", {
        L"CREATE TABLE Kinds (Label VARCHAR(10), T TEXT, V NVARCHAR(40), I INTEGER, B BIGINT, F REAL, Bt BIT, "
        L"Bin VARBINARY(10), Bl BLOB)",
        L"INSERT INTO Kinds VALUES ('plain', '" + longText + L"', 'J\u00fcrgen \u20ac \u65e5', -42, 3000000000, 1.5, 1, "
            L"X'00FF10', " + test::BlobLiteral(longBlob) + L")",
        L"INSERT INTO Kinds VALUES ('odd', '', 'x', 'abc', 7, 0.1, 'true', 'AB', X'')",
        L"INSERT INTO Kinds VALUES ('null', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
    });
    Recordset rs;
    rs.Open(L"SELECT * FROM Kinds", db);
    ASSERT_EQ(rs.RecordCount(), 3);

    struct Case {
        const wchar_t* column;  // in another letter case than the table declares
        FieldValue plain, odd;  // the rows 'plain' and 'odd'; 'null' gives Null everywhere
    };
    const Case cases[] = {
        {L"t", longText, std::wstring()},
        {L"v", std::wstring(L"J\u00fcrgen \u20ac \u65e5"), std::wstring(L"x")},
        {L"I", -42LL, std::wstring(L"abc")},  // text in a number column stays text
        {L"b", 3000000000LL, 7LL},
        {L"f", 1.5, 0.1},
        {L"BT", true, true},                  // BIT stored as the text 'true'
        {L"BIN", Bytes{0x00, 0xFF, 0x10}, Bytes{'A', 'B'}},
        {L"bL", longBlob, Bytes{}},
    };
    FieldValue kept;  // read into again and again, whatever it held before
    for (const Case& c : cases) {
        rs.MoveFirst();
        EXPECT_EQ(rs.Field(c.column), c.plain) << c.column;
        rs.Field(c.column, kept);
        EXPECT_EQ(kept, c.plain) << c.column;
        rs.MoveNext();
        EXPECT_EQ(rs.Field(c.column), c.odd) << c.column;
        rs.Field(c.column, kept);
        EXPECT_EQ(kept, c.odd) << c.column;
        rs.MoveNext();
        EXPECT_TRUE(IsNull(rs.Field(c.column))) << c.column;
        rs.Field(c.column, kept);
        EXPECT_TRUE(IsNull(kept)) << c.column;
    }
}

TEST(Recordset, TextForms)
{
    const std::pair<FieldValue, std::wstring> cases[] = {
        {FieldValue{}, L""},
        {FieldValue{true}, L"True"},
        {FieldValue{false}, L"False"},
        {FieldValue{-12LL}, L"-12"},
        {FieldValue{0.1}, L"0.1"},
        {FieldValue{2.0}, L"2"},
        {FieldValue{Bytes{0x00, 0xAB, 0x7F}}, L"00AB7F"},
        {FieldValue{std::wstring(L"a'b")}, L"a'b"},
    };
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FieldText(value), text);
}

TEST(Recordset, WalkAndItsErrors)
{
    const std::wstring db = People();
    Recordset rs;
    EXPECT_EQ(ErrorNumber([&] { rs.MoveFirst(); }), 3704) << "closed";
    EXPECT_EQ(ErrorNumber([&] { rs.IsEOF(); }), 3704);

    rs.Open(L"SELECT * FROM People", db);
    EXPECT_EQ(Names(rs), (std::vector<std::wstring>{L"Anna", L"Bert", L"Bea", L"Olaf", L"Five", L"Nobody", L"Bo",
                                                 L"J\u00fcrgen"}));
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_EQ(ErrorNumber([&] { rs.Field(L"Name"); }), 3021) << "no current row at the end";
    EXPECT_EQ(ErrorNumber([&] { rs.MoveNext(); }), 3021);
    rs.MoveFirst();
    EXPECT_EQ(ErrorNumber([&] { rs.Field(L"NoSuchColumn"); }), 3265);
    EXPECT_EQ(ErrorNumber([&] { rs.Open(L"SELECT * FROM People", db); }), 3705) << "already open";
    rs.Close();
    EXPECT_FALSE(rs.IsOpen());

    Recordset empty;
    empty.Open(L"SELECT * FROM People WHERE Age > 100", db);
    EXPECT_TRUE(empty.IsEOF());
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_NE(ErrorNumber([&] { empty.MoveFirst(); }), 0);
}

TEST(Recordset, OpenFailuresLeaveTheSetClosed)
{
    const std::wstring db = People();
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"SELECT * FROM NoSuchTable", db},
        {L"SELEKT nonsense", db},
        {L"SELECT * FROM People", L"Driver={No Such Driver 17};server=;database=x.db"},
    };
    for (const auto& [query, connection] : cases) {
        Recordset rs;
        EXPECT_NE(ErrorNumber([&] { rs.Open(query, connection); }), 0) << query;
        EXPECT_FALSE(rs.IsOpen());
        EXPECT_EQ(ErrorNumber([&] { rs.RecordCount(); }), 3704);
    }
}

TEST(Recordset, ParametersAreValuesNotStatementText)
{
    const std::wstring db = People();
    const std::pair<std::wstring, long> cases[] = {
        {L"O'Brien", 1},
        {L"x' OR '1'='1", 0},
        {L"x'; DROP TABLE People; --", 0},
        {L"b", 2},
        {L"", 0},
    };
    for (const auto& [id, count] : cases) {
        Recordset rs;
        rs.Open(L"SELECT * FROM People WHERE Id = ?", db, kCursorDynamic, kLockOptimistic, kOptionsUnspecified, {id});
        EXPECT_EQ(rs.RecordCount(), count) << id;
    }
    EXPECT_EQ(CountRows(db, L"People"), 8);
}

TEST(Recordset, FindFromTheCurrentRow)
{
    const std::wstring db = People();
    Recordset rs;
    rs.Open(L"SELECT * FROM People", db);
    struct Case {
        int startRow;      // rows moved past after MoveFirst
        FieldValue value;  // sought in column Id
        const wchar_t* found;  // Name of the row found, nullptr for the end
    };
    const Case cases[] = {
        {0, std::wstring(L"A"), L"Anna"},      // case-blind
        {0, std::wstring(L"b"), L"Bert"},      // first in row order, whatever the case
        {2, std::wstring(L"B"), L"Bea"},       // at the current row
        {3, std::wstring(L"b"), L"Bo"},        // after it
        {0, std::wstring(L"o'brien"), L"Olaf"},// a quote is just a character
        {0, 5LL, L"Five"},                     // a number finds its text
        {0, std::wstring(L"J\u00dcRGEN"), L"J\u00fcrgen"},  // case-blind beyond ASCII
        {0, std::wstring(L"zz"), nullptr},
        {0, FieldValue{}, nullptr},            // Null equals nothing, not even Null
        {4, std::wstring(L"a"), nullptr},      // only forward
    };
    for (const Case& c : cases) {
        rs.MoveFirst();
        for (int i = 0; i < c.startRow; ++i)
            rs.MoveNext();
        rs.Find(L"ID", c.value);
        if (c.found) {
            ASSERT_FALSE(rs.IsEOF()) << c.found;
            EXPECT_EQ(FieldText(rs.Field(L"Name")), c.found);
        } else {
            EXPECT_TRUE(rs.IsEOF()) << FieldText(c.value);
        }
    }
    rs.Find(L"Id", std::wstring(L"a"));
    EXPECT_TRUE(rs.IsEOF()) << "a find from the end stays at the end";
    EXPECT_EQ(ErrorNumber([&] { rs.Find(L"Nope", std::wstring(L"a")); }), 3265);
}

TEST(Recordset, FilterNarrowsWhatIsVisible)
{
    const std::wstring db = People();
    Recordset rs;
    rs.Open(L"SELECT * FROM People", db, kCursorDynamic, kLockOptimistic);
    EXPECT_EQ(rs.RecordCount(), 8);

    rs.Filter(L"id", std::wstring(L"B"));
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(FieldText(rs.Field(L"Name")), L"Bert") << "the first visible row is current";
    EXPECT_EQ(Names(rs), (std::vector<std::wstring>{L"Bert", L"Bea", L"Bo"}));

    rs.MoveFirst();
    rs.Find(L"Name", std::wstring(L"Anna"));
    EXPECT_TRUE(rs.IsEOF()) << "find sees only visible rows";

    rs.Filter(L"Age", 41LL);
    EXPECT_EQ(Names(rs), (std::vector<std::wstring>{L"Bea", L"Bo"})) << "a new filter starts from all rows";
    rs.Filter(L"Id", std::wstring(L"nobody has this"));
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_TRUE(rs.IsEOF());
}

// FindEach walks the index for many values at once, several lookups in flight; each answer
// must be the row a Find from the first visible row makes current, in every state of the set.
TEST(Recordset, FindEachFindsWhatFindFinds)
{
    std::vector<std::wstring> statements = {L"CREATE TABLE Many (N INTEGER, Id VARCHAR(20), Grp INTEGER)"};
    for (int i = 0; i < 1200; ++i) {
        // Ids repeat, in varying letter case, and some are Null.
        const std::wstring id = i % 17 == 0 ? L"NULL" : test::Quote((i % 2 ? L"id" : L"ID") + std::to_wstring(i % 400));
        if (i % 100 == 0)
            statements.push_back(L"INSERT INTO Many VALUES ");
        else
            statements.back() += L", ";
        statements.back() += L"(" + std::to_wstring(i) + L", " + id + L", " + std::to_wstring(i % 3) + L")";
    }
    const std::wstring db = CreateTestDb(L"many.db", statements);
    std::vector<std::wstring> owned;
    for (int k = 0; k < 450; ++k)  // found, found in another case, and beyond every id
        owned.push_back((k % 3 ? L"iD" : L"Id") + std::to_wstring((k * 7) % 450));
    owned.push_back(L"");
    const std::vector<std::wstring_view> texts(owned.begin(), owned.end());

    Recordset rs;
    rs.Open(L"SELECT * FROM Many", db, kCursorDynamic, kLockOptimistic);
    const size_t id = rs.ColumnOf(L"ID");
    const std::function<void()> states[] = {
        [] {},                                                    // every row visible
        [&] { rs.Filter(L"Grp", 1LL); },                          // a third of them
        [&] {                                                     // a row deleted as well
            rs.MoveFirst();
            rs.Find(L"Id", std::wstring(L"id1"));
            rs.Delete(L"Many", {L"N"});
        },
    };
    for (size_t state = 0; state < std::size(states); ++state) {
        SCOPED_TRACE(state);
        states[state]();
        const std::vector<size_t> positions = rs.FindEach(id, texts);
        ASSERT_EQ(positions.size(), texts.size());
        for (size_t i = 0; i < texts.size(); ++i) {
            rs.MoveFirst();
            rs.Find(id, texts[i]);
            if (rs.IsEOF()) {
                EXPECT_EQ(positions[i], Recordset::kNoPosition) << ToUtf8(owned[i]);
                continue;
            }
            const FieldValue expected = rs.Field(L"N");
            ASSERT_NE(positions[i], Recordset::kNoPosition) << ToUtf8(owned[i]);
            rs.MoveTo(positions[i]);
            EXPECT_EQ(rs.Field(L"N"), expected) << ToUtf8(owned[i]);
        }
    }
    EXPECT_EQ(ErrorNumber([&] { rs.MoveTo(static_cast<size_t>(rs.RecordCount())); }), 3021);
}

TEST(Recordset, DeleteRemovesExactlyTheCurrentRow)
{
    const std::wstring db = People();
    Recordset rs;
    rs.Open(L"SELECT * FROM People", db, kCursorDynamic, kLockOptimistic);
    rs.Filter(L"Id", std::wstring(L"O'BRIEN"));
    ASSERT_EQ(rs.RecordCount(), 1);
    rs.Delete(L"People", {L"Id", L"Name", L"Age", L"Flag"});
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(ErrorNumber([&] { rs.Field(L"Name"); }), 3021) << "the deleted row is no longer current";

    // A row holding Nulls, found through the walk; the walk goes on after it.
    rs.Filter(L"Age", 41LL);
    rs.Find(L"Name", std::wstring(L"Bea"));
    rs.Delete(L"People", {L"Id", L"Name", L"Age", L"Flag"});
    rs.MoveNext();
    EXPECT_EQ(FieldText(rs.Field(L"Name")), L"Bo");

    const auto left = QueryRows(db, L"SELECT Name FROM People");
    std::vector<std::wstring> names;
    for (const auto& row : left)
        names.push_back(*row[0]);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Anna", L"Bert", L"Five", L"Nobody", L"Bo", L"J\u00fcrgen"}));
}

TEST(Recordset, DeleteThatWouldHitOtherRowsIsRolledBack)
{
    const std::wstring db = CreateTestDb(L"twins.db", {
        L"CREATE TABLE Twins (Id VARCHAR(10), Val INTEGER)",
        L"INSERT INTO Twins VALUES ('t', 1)",
        L"INSERT INTO Twins VALUES ('t', 1)",
        L"INSERT INTO Twins VALUES ('u', 2)",
    });
    Recordset rs;
    rs.Open(L"SELECT * FROM Twins", db, kCursorDynamic, kLockOptimistic);
    EXPECT_NE(ErrorNumber([&] { rs.Delete(L"Twins", {L"Id", L"Val"}); }), 0);
    EXPECT_EQ(CountRows(db, L"Twins"), 3);
    EXPECT_EQ(rs.RecordCount(), 3) << "a failed delete keeps the row in the set";

    // Only some columns named: they single out the row that no other shares.
    Recordset part;
    part.Open(L"SELECT Id FROM Twins", db, kCursorDynamic, kLockOptimistic);
    part.Find(L"Id", std::wstring(L"u"));
    part.Delete(L"Twins", {L"Id"});
    EXPECT_EQ(CountRows(db, L"Twins"), 2);

    // The row changed since it was read: nothing matches, nothing is lost.
    Recordset stale;
    stale.Open(L"SELECT * FROM Twins", db, kCursorDynamic, kLockOptimistic);
    test::Execute(db, {L"UPDATE Twins SET Val = 9"});
    EXPECT_EQ(ErrorNumber([&] { stale.Delete(L"Twins", {L"Id", L"Val"}); }), -2147217864);
    EXPECT_EQ(CountRows(db, L"Twins"), 2);

    Recordset readOnly;
    readOnly.Open(L"SELECT * FROM Twins", db);
    EXPECT_EQ(ErrorNumber([&] { readOnly.Delete(L"Twins", {L"Id", L"Val"}); }), 3251);
    EXPECT_EQ(CountRows(db, L"Twins"), 2);

    // A column the set does not hold, or one no server can compare, identifies nothing.
    test::Execute(db, {L"ALTER TABLE Twins ADD Note TEXT"});
    Recordset noted;
    noted.Open(L"SELECT * FROM Twins", db, kCursorDynamic, kLockOptimistic);
    EXPECT_EQ(ErrorNumber([&] { noted.Delete(L"Twins", {L"Id", L"Missing"}); }), 3265);
    EXPECT_NE(ErrorNumber([&] { noted.Delete(L"Twins", {L"Id", L"Note"}); }), 0);
    EXPECT_EQ(CountRows(db, L"Twins"), 2);
}

}  // namespace
TEST(OdbcError, CarriesDriverManagerDiagnostics)
{
    UniqueSqlEnv env;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env.put())));
    SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    UniqueSqlDbc dbc;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.get(), dbc.put())));
    wchar_t connect[] = L"Driver={No Such Driver 17};database=x";
    SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, reinterpret_cast<SQLWCHAR*>(connect), SQL_NTS, nullptr,
                                     0, nullptr, SQL_DRIVER_NOPROMPT);
    ASSERT_FALSE(SQL_SUCCEEDED(rc));
    const Error e = OdbcError(SQL_HANDLE_DBC, dbc.get(), L"SQLDriverConnectW");
    EXPECT_EQ(e.Description().rfind(L"[", 0), 0u) << "starts with the SQLSTATE";
    EXPECT_NE(e.Description().find(L"No Such Driver 17"), std::wstring::npos) << std::string(e.what());
    EXPECT_NE(e.Number(), 0);
}

}  // namespace vcm
