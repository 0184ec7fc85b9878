// Loading the mapping grid from real databases of both product layouts, and the account
// lookup behind its Domain and AD Alias columns.
#include <gtest/gtest.h>

#include "TestDb.h"
#include "mapping/AccountLookup.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"

namespace vcm {
namespace {

using test::Quote;
using test::SidBytes;
using test::SidLiteral;
using Bytes = std::vector<unsigned char>;

Bytes Padded(Bytes bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

TEST(AccountLookup, NamesWhatTheSystemKnowsAndNothingElse)
{
    Bytes badCount = SidBytes(L"S-1-5-32-544");
    badCount[1] = 16;  // more sub-authorities than a SID may have
    Bytes truncated = SidBytes(L"S-1-5-21-1-2-3-1001");
    truncated.resize(truncated.size() - 1);
    Bytes badRevision = SidBytes(L"S-1-5-32-544");
    badRevision[0] = 2;
    const struct {
        const char* what;
        Bytes sid;
        std::wstring domain, name;
    } cases[] = {
        {"no domain part", SidBytes(L"S-1-1-0"), L"", L"Everyone"},
        {"built-in group", SidBytes(L"S-1-5-32-544"), L"BUILTIN", L"Administrators"},
        {"well-known account", SidBytes(L"S-1-5-18"), L"NT AUTHORITY", L"SYSTEM"},
        {"padded column", Padded(SidBytes(L"S-1-5-32-544"), 68), L"BUILTIN", L"Administrators"},
        {"deleted account", SidBytes(L"S-1-5-21-1-2-3-1001"), L"", L""},
        {"empty", Bytes{}, L"", L""},
        {"header only", Bytes{1, 1, 0, 0, 0, 0, 0, 5}, L"", L""},
        {"count past the bytes", truncated, L"", L""},
        {"count past the limit", badCount, L"", L""},
        {"unknown revision", badRevision, L"", L""},
    };
    AccountLookup lookup;
    for (int pass = 0; pass < 2; ++pass) {  // the second pass answers from the cache
        for (const auto& c : cases) {
            const AccountName account = lookup.Lookup(c.sid);
            EXPECT_EQ(account.domain, c.domain) << c.what;
            EXPECT_EQ(account.name, c.name) << c.what;
        }
    }
}

// One mapping as stored, and the grid row it must give.
struct Mapping {
    std::wstring subscriber;  // SQL literal
    std::wstring sid;         // SQL literal
    std::wstring isPrimary;   // SQL literal
    std::wstring key;         // SQL literal
    // Expected row
    std::wstring domain, alias, velto;
    bool primary;
    bool custom;
};

const std::vector<std::wstring> kSubscribers = {
    L"INSERT INTO Subscriber VALUES ('OBJ-1', 'administrators', 'a', 'Admins')",
    L"INSERT INTO Subscriber VALUES ('OBJ-2', 'jdoe', 'jdoe', 'John Doe')",
    L"INSERT INTO Subscriber VALUES ('OBJ-3', NULL, 'n', 'No UID')",
    L"INSERT INTO Subscriber VALUES ('OBJ-4', 'first', 'f', 'First of two')",
    L"INSERT INTO Subscriber VALUES ('OBJ-4', 'second', 's', 'Second of two')",
    L"INSERT INTO Subscriber VALUES ('O''Brien', 'obrien', 'o', 'Quote in the id')",
    L"INSERT INTO Subscriber VALUES ('obj-case', 'caseuser', 'c', 'Id in other case')",
    L"INSERT INTO Subscriber VALUES ('OBJ-5', 'System', 'y', 'Default mapping')",
    L"INSERT INTO Subscriber VALUES (NULL, 'nullid', 'x', 'No id')",
};

std::vector<Mapping> Mappings()
{
    const std::wstring admins = SidLiteral(L"S-1-5-32-544");
    return {
        // Default mapping: account name equals the alias but for case.
        {L"'OBJ-1'", admins, L"1", L"'k09'", L"BUILTIN", L"Administrators", L"administrators", true, false},
        {L"'OBJ-2'", SidLiteral(L"S-1-1-0"), L"NULL", L"'k02'", L"", L"Everyone", L"jdoe", false, true},
        // No such subscriber; Null subscriber column: both "ERROR!".
        {L"'OBJ-404'", SidLiteral(L"S-1-5-18"), L"0", L"'k07'", L"NT AUTHORITY", L"SYSTEM", L"ERROR!", false, true},
        {L"NULL", admins, L"1", L"'k01'", L"BUILTIN", L"Administrators", L"ERROR!", true, true},
        // Null UID, Null SID: everything empty, so not custom.
        {L"'OBJ-3'", L"NULL", L"0", L"'k05'", L"", L"", L"", false, false},
        // Deleted domain account; the first of two subscribers with the id.
        {L"'OBJ-4'", SidLiteral(L"S-1-5-21-1-2-3-1001"), L"1", L"'k03'", L"", L"", L"first", true, true},
        // Second mapping of one subscriber; a short SID; primary written as text.
        {L"'OBJ-2'", L"X'0105'", L"'true'", L"'k08'", L"", L"", L"jdoe", true, true},
        // Quote in the subscriber id; SID in a column padded with zeros.
        {L"'O''Brien'", test::BlobLiteral(Padded(SidBytes(L"S-1-5-32-544"), 68)), L"0", L"'k04'", L"BUILTIN",
         L"Administrators", L"obrien", false, true},
        // Subscriber id in another case; SID claiming more sub-authorities than it has; no key.
        {L"'OBJ-CASE'", L"X'010500000000000520000000'", L"0", L"NULL", L"", L"", L"caseuser", false, true},
        {L"'OBJ-5'", SidLiteral(L"S-1-5-18"), L"0", L"'k06'", L"NT AUTHORITY", L"SYSTEM", L"System", false, false},
        // Primary flag that is no Boolean at all: not primary.
        {L"'OBJ-2'", SidLiteral(L"S-1-5-32-545"), L"X'01'", L"'k10'", L"BUILTIN", L"Users", L"jdoe", false, true},
    };
}

// Both tables hold the same mappings under different keys, so a load shows which it read.
std::wstring VeltoDb(const std::wstring& file)
{
    std::vector<std::wstring> statements = kSubscribers;
    for (const Mapping& m : Mappings()) {
        const std::wstring values = m.sid + L", " + m.isPrimary + L", ";
        const std::wstring key = m.key == L"NULL" ? m.key : L"'c-" + m.key.substr(1);
        const std::wstring oldKey = m.key == L"NULL" ? m.key : L"'h-" + m.key.substr(1);
        statements.push_back(L"INSERT INTO Credential VALUES (" + m.subscriber + L", " + values + key + L")");
        statements.push_back(L"INSERT INTO SIDHistory VALUES (" + m.subscriber + L", " + values + oldKey + L")");
    }
    return test::CreateVeltoDb(file, statements);
}

std::vector<MappingRow> GridRows(const GridModel& grid)
{
    std::vector<MappingRow> rows;
    for (int r = 1; r < grid.Rows(); ++r) {
        MappingRow row;
        row.ADDomain = grid.TextMatrix(r, grid.ColIndex(kKeyADDomain));
        row.ADAlias = grid.TextMatrix(r, grid.ColIndex(kKeyADAlias));
        const CellValue& primary = grid.Cell(r, grid.ColIndex(kKeyPrimary));
        EXPECT_TRUE(std::holds_alternative<bool>(primary)) << "row " << r;
        row.Primary = std::holds_alternative<bool>(primary) && std::get<bool>(primary);
        row.VeltoAlias = grid.TextMatrix(r, grid.ColIndex(kKeyVeltoAlias));
        row.SID = grid.TextMatrix(r, grid.ColIndex(kKeySID));
        rows.push_back(std::move(row));
    }
    return rows;
}

void ExpectRows(const std::vector<MappingRow>& actual, const std::vector<MappingRow>& expected, const char* what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].ADDomain, expected[i].ADDomain) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].ADAlias, expected[i].ADAlias) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].Primary, expected[i].Primary) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].VeltoAlias, expected[i].VeltoAlias) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].SID, expected[i].SID) << what << " row " << i + 1;
    }
}

TEST(MappingLoader, ViewOptionsOnBothProductLayouts)
{
    const std::wstring db = VeltoDb(L"velto.db");
    const struct {
        short major;
        const wchar_t* keyPrefix;
    } versions[] = {{4, L"c-"}, {5, L"c-"}, {3, L"h-"}};
    const struct {
        bool onlyCustom, showPrimary;
    } options[] = {{true, true}, {true, false}, {false, true}, {false, false}};

    for (const auto& v : versions) {
        for (const auto& o : options) {
            std::vector<MappingRow> expected;
            for (const Mapping& m : Mappings()) {
                if ((o.onlyCustom && !m.custom) || (!o.showPrimary && m.primary))
                    continue;
                const std::wstring key = m.key == L"NULL" ? L"" : v.keyPrefix + m.key.substr(1, m.key.size() - 2);
                expected.push_back({m.domain, m.alias, m.primary, m.velto, key});
            }
            GridModel grid(MappingGridColumns());
            grid.SetRows(4);  // rows of an earlier load are cut away
            grid.MoveColumn(5, 1);  // cells are found by key, wherever the user dragged the column
            FillMappingGrid(grid, {db, v.major, o.onlyCustom, o.showPrimary});
            const std::string what = "major " + std::to_string(v.major) + " custom " + std::to_string(o.onlyCustom) +
                                     " primary " + std::to_string(o.showPrimary);
            ExpectRows(GridRows(grid), expected, what.c_str());
        }
    }
}

TEST(MappingLoader, FailuresLeaveAGridAndNeverThrow)
{
    const std::wstring sid = SidLiteral(L"S-1-5-32-544");
    const struct {
        const char* what;
        std::vector<std::wstring> statements;  // on an empty database
        std::wstring connection;               // empty: that database
        std::vector<MappingRow> rows;
    } cases[] = {
        {"unreachable database", {}, L"Driver={No Such Driver 17};server=;database=gone.db", {}},
        {"no tables", {}, L"", {}},
        {"empty mapping table", test::VeltoSchema(), L"", {}},
        {"no subscriber table",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64), Credentials VARBINARY(68), IsPrimary BIT, "
          L"msrepl_tran_version VARCHAR(36))",
          L"INSERT INTO Credential VALUES ('OBJ-1', " + sid + L", 1, 'k1')"},
         L"",
         {{L"BUILTIN", L"Administrators", true, L"ERROR!", L"k1"}}},
        {"mapping table missing its optional columns",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64))",
          L"CREATE TABLE Subscriber (SubscriberObjectID VARCHAR(64), UID NVARCHAR(64))",
          L"INSERT INTO Subscriber VALUES ('OBJ-1', 'one')",
          L"INSERT INTO Credential VALUES ('OBJ-1')"},
         L"",
         {{L"", L"", false, L"one", L""}}},
        {"subscriber table without UID",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64), Credentials VARBINARY(68), IsPrimary BIT, "
          L"msrepl_tran_version VARCHAR(36))",
          L"CREATE TABLE Subscriber (SubscriberObjectID VARCHAR(64), Alias NVARCHAR(64))",
          L"INSERT INTO Subscriber VALUES ('OBJ-1', 'one')",
          L"INSERT INTO Credential VALUES ('OBJ-1', " + sid + L", 0, 'k1')"},
         L"",
         {{L"BUILTIN", L"Administrators", false, L"ERROR!", L"k1"}}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring file = L"broken" + std::to_wstring(++n) + L".db";
        const std::wstring db = test::CreateTestDb(file, c.statements);
        GridModel grid(MappingGridColumns());
        grid.SetRows(3);
        EXPECT_NO_THROW(FillMappingGrid(grid, {c.connection.empty() ? db : c.connection, 4, false, true})) << c.what;
        ExpectRows(GridRows(grid), c.rows, c.what);
        EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyVeltoAlias)), L"Velto Alias") << "header row kept";
    }
}

}  // namespace
}  // namespace vcm
