// The grid model: rows, column order, sort, current row and redraw.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "grid/GridModel.h"
#include "mapping/MappingGrid.h"
#include "platform/Error.h"

namespace vcm {

namespace {
struct RecordingObserver final : IGridObserver {
    void OnGridChanged(GridChange change) override { changes.push_back(change); }
    void OnGridRedraw(bool enabled) override { redraws.push_back(enabled); }
    std::vector<GridChange> changes;
    std::vector<bool> redraws;
};

// Appends a data row the way the loader does: one more row, then cells by key.
void AddRow(GridModel& grid, const std::wstring& domain, const std::wstring& alias, bool primary)
{
    grid.SetRows(grid.Rows() + 1);
    const int row = grid.Rows() - 1;
    grid.SetCell(row, grid.ColIndex(kKeyADDomain), domain);
    grid.SetCell(row, grid.ColIndex(kKeyADAlias), alias);
    grid.SetCell(row, grid.ColIndex(kKeyPrimary), primary);
    grid.SetCell(row, grid.ColIndex(kKeySID), L"key-" + alias);
}

// Data rows kept outside the grid, as a loaded model keeps them: the cells of a filled grid.
struct CopiedRows final : IGridRowSource {
    std::vector<std::vector<CellValue>> rows;  // by record, then design column
    Cell RowCell(uint32_t record, int design) const override
    {
        const CellValue& value = rows[record][static_cast<size_t>(design)];
        if (const bool* flag = std::get_if<bool>(&value))
            return {L"", *flag ? 1 : 0};
        return {std::get<std::wstring>(value), -1};
    }
};

// A grid showing the same data rows from a source, the records in reverse so that a record
// number never equals its row by chance.
GridModel BoundCopy(const GridModel& filled)
{
    auto source = std::make_shared<CopiedRows>();
    std::vector<uint32_t> records;
    for (int r = filled.Rows() - 1; r >= 1; --r) {
        auto& row = source->rows.emplace_back();
        for (int design = 0; design < filled.Cols(); ++design)
            row.push_back(filled.DesignCell(r, design));
    }
    for (int r = 1; r < filled.Rows(); ++r)
        records.push_back(static_cast<uint32_t>(filled.Rows() - 1 - r));
    GridModel bound(MappingGridColumns());
    bound.Bind(source, records);
    bound.SetColumnOrder(filled.ColumnOrder());
    bound.SetRow(filled.Row());
    return bound;
}

std::vector<std::wstring> Column(const GridModel& grid, const wchar_t* key)
{
    std::vector<std::wstring> texts;
    for (int row = 1; row < grid.Rows(); ++row)
        texts.push_back(grid.TextMatrix(row, grid.ColIndex(key)));
    return texts;
}
}  // namespace

TEST(GridModel, RowCountKeepsHeaderAndAppendsEmptyRows)
{
    GridModel grid(MappingGridColumns());
    grid.SetRows(1);  // header only already: unchanged
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"AD Alias");

    AddRow(grid, L"VM", L"alice", false);
    grid.SetRows(grid.Rows() + 1);
    EXPECT_EQ(grid.Rows(), 3);
    EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(kKeyADAlias)), L"alice");
    EXPECT_EQ(grid.TextMatrix(2, grid.ColIndex(kKeyADAlias)), L"") << "an appended row starts empty";
    EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(kKeyPrimary)), L"False");

    grid.SetRow(2);
    grid.SetRows(1);
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_EQ(grid.Row(), 0) << "the current row went with its data";
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyVeltoAlias)), L"Velto Alias");
    grid.SetRows(0);
    EXPECT_EQ(grid.Rows(), 1) << "the header row cannot be cut away";

    // Cells that do not exist are an error, not a silent write somewhere else.
    for (auto [row, col] : {std::pair{1, 1}, std::pair{-1, 1}, std::pair{0, 6}, std::pair{0, -1}}) {
        try {
            grid.SetCell(row, col, L"x");
            ADD_FAILURE() << "row " << row << " col " << col;
        } catch (const Error& e) {
            EXPECT_EQ(e.Number(), 381);
        }
    }
}

TEST(GridModel, RemoveItemMovesRowsUpAndKeepsCurrentRowSensible)
{
    struct Case {
        const char* what;
        int current;
        std::vector<int> removed;
        std::vector<std::wstring> left;
        int currentAfter;
    };
    const std::vector<Case> cases = {
        {"row above the current one goes: current follows its data", 3, {1}, {L"b", L"c", L"d"}, 2},
        {"row below the current one goes: current unchanged", 2, {4}, {L"a", L"b", L"c"}, 2},
        {"the current row goes: the row that moved up is current", 2, {2}, {L"a", L"c", L"d"}, 2},
        {"the current last row goes: the new last row is current", 4, {4}, {L"a", L"b", L"c"}, 3},
        {"nothing selected stays so", 0, {1}, {L"b", L"c", L"d"}, 0},
        // Several at once, as a load drops the rows the view hides.
        {"rows around the current one go", 3, {1, 4}, {L"b", L"c"}, 2},
        {"the current row and the next go: the row after them is current", 1, {1, 2}, {L"c", L"d"}, 1},
        {"the current row and all below go: the new last row is current", 3, {2, 3, 4}, {L"a"}, 1},
        {"every row goes", 2, {1, 2, 3, 4}, {}, 0},
        {"no row goes", 2, {}, {L"a", L"b", L"c", L"d"}, 2},
    };
    for (const Case& c : cases) {
        for (const int mode : {0, 1, 2}) {  // one by one, at once, at once from a source
            const bool oneByOne = mode == 0;
            if (oneByOne && c.removed.size() != 1)
                continue;
            GridModel filled(MappingGridColumns());
            for (const wchar_t* alias : {L"a", L"b", L"c", L"d"})
                AddRow(filled, L"VM", alias, false);
            filled.SetRow(c.current);
            GridModel grid = mode == 2 ? BoundCopy(filled) : std::move(filled);
            if (oneByOne)
                grid.RemoveItem(c.removed[0]);
            else
                grid.RemoveRows(c.removed);
            EXPECT_EQ(Column(grid, kKeyADAlias), c.left) << c.what;
            EXPECT_EQ(Column(grid, kKeySID).size(), c.left.size()) << c.what;
            for (size_t i = 0; i < c.left.size(); ++i)
                EXPECT_EQ(Column(grid, kKeySID)[i], L"key-" + c.left[i]) << c.what << ": cells travel together";
            EXPECT_EQ(grid.Row(), c.currentAfter) << c.what;
        }
    }
    GridModel grid(MappingGridColumns());
    AddRow(grid, L"VM", L"a", false);
    EXPECT_THROW(grid.RemoveRows({0}), Error) << "the header row stays";
    EXPECT_THROW(grid.RemoveRows({1, 1}), Error) << "a row goes once";
    EXPECT_THROW(grid.RemoveRows({2}), Error) << "no such row";
    EXPECT_EQ(grid.Rows(), 2);

    GridModel single(MappingGridColumns());
    AddRow(single, L"VM", L"only", false);
    single.SetRow(1);
    single.RemoveItem(1);
    EXPECT_EQ(single.Rows(), 1);
    EXPECT_EQ(single.Row(), 0) << "no data row left to be current";
    EXPECT_THROW(single.RemoveItem(0), Error) << "the header row stays";
}

TEST(GridModel, SortIsStableCaseBlindAndOrdersBooleans)
{
    for (const bool bound : {false, true}) {
    GridModel filled(MappingGridColumns());
    // alias, domain (ties on purpose), primary
    AddRow(filled, L"beta", L"x1", true);
    AddRow(filled, L"Alpha", L"x2", false);
    AddRow(filled, L"alpha", L"x3", true);
    AddRow(filled, L"BETA", L"x4", false);
    AddRow(filled, L"gamma", L"x5", false);
    filled.SetRow(4);  // x4
    GridModel grid = bound ? BoundCopy(filled) : std::move(filled);

    struct Case {
        const char* what;
        const wchar_t* key;
        bool ascending;
        std::vector<std::wstring> aliases;
        int current;  // where x4 went
    };
    const std::vector<Case> cases = {
        {"text ascending ignores case and keeps ties in order", kKeyADDomain, true,
         {L"x2", L"x3", L"x1", L"x4", L"x5"}, 4},
        {"text descending keeps ties in their earlier order", kKeyADDomain, false,
         {L"x5", L"x1", L"x4", L"x2", L"x3"}, 3},
        {"booleans ascending: unchecked first, ties stable", kKeyPrimary, true,
         {L"x5", L"x4", L"x2", L"x1", L"x3"}, 2},
        {"booleans descending: checked first, ties stable", kKeyPrimary, false,
         {L"x1", L"x3", L"x5", L"x4", L"x2"}, 4},
    };
    for (const Case& c : cases) {
        grid.Sort(grid.ColIndex(c.key), c.ascending);
        EXPECT_EQ(Column(grid, kKeyADAlias), c.aliases) << c.what;
        EXPECT_EQ(grid.Row(), c.current) << c.what;
        EXPECT_EQ(grid.TextMatrix(grid.Row(), grid.ColIndex(kKeySID)), L"key-x4") << c.what << ": cells travel together";
        EXPECT_EQ(grid.SortColumn(), grid.ColIndex(c.key));
        EXPECT_EQ(grid.SortAscending(), c.ascending);
    }
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"AD Alias") << "the header row never sorts";

    grid.SetRows(1);  // a reload starts so; its rows come unsorted
    EXPECT_EQ(grid.SortColumn(), -1);
    EXPECT_FALSE(grid.Source()) << "and lets go of its source";
    }
}

// A bound grid's data rows belong to their source: they are read-only, and the grid keeps
// only their order.
TEST(GridModel, BoundRowsAreReadOnlyAndFollowTheirRecords)
{
    GridModel filled(MappingGridColumns());
    AddRow(filled, L"VM", L"a", true);
    AddRow(filled, L"VM", L"b", false);
    GridModel grid = BoundCopy(filled);
    EXPECT_EQ(grid.Record(1), 1u);
    EXPECT_EQ(grid.Record(2), 0u);
    EXPECT_THROW(grid.SetCellText(1, grid.ColIndex(kKeyADAlias), L"x"), Error);
    EXPECT_THROW(grid.SetCell(1, grid.ColIndex(kKeyPrimary), true), Error);
    EXPECT_THROW(grid.SetRows(5), Error) << "no empty rows in a bound grid";
    EXPECT_THROW(grid.Record(0), Error) << "the header row shows no record";
    grid.SetCellText(0, grid.ColIndex(kKeyADAlias), L"Konto");  // the header stays the grid's own
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"Konto");
    EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(kKeyPrimary)), L"True");
    EXPECT_EQ(grid.CellText(2, grid.ColIndex(kKeyADAlias)), L"b");

    // A second bind replaces the rows, the selection and the sort.
    grid.SetRow(2);
    grid.Sort(grid.ColIndex(kKeyADAlias), false);
    grid.Bind(grid.Source(), {0});
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(grid.Row(), 0);
    EXPECT_EQ(grid.SortColumn(), -1);
    EXPECT_EQ(Column(grid, kKeyADAlias), std::vector<std::wstring>{L"b"});
}

// The sort asks the system for one key per row; the order must be the one the locale's
// case-blind comparison gives, ties kept in their order, for texts that compare in
// unexpected ways.
TEST(GridModel, SortFollowsTheLocalesCaseBlindComparison)
{
    const std::vector<std::wstring> texts = {
        L"b", L"", L"a", L"A", L"co-op", L"coop", L"co op", L"can't", L"cant", L"\u00c4hre", L"ahre", L"Zebra",
        L"zebra", L"\u00e9clair", L"eclair", L"Eclair", L"10", L"9", L"1", L"-", L"--a", L"\u00df", L"ss", L"SS",
        L"stra\u00dfe", L"strasse", L"\u65e5", L"\u0131", L"I", L"i", L"x\u200by", L"xy", L"  lead", L"lead",
        L"\u00c6", L"ae", L"\u00e6", L"\u03a9", L"\u03c9", L"a", L"", L"B",
    };
    // The order the grid sorted in before it used keys: a stable sort by CompareStringEx.
    auto expected = [&](bool ascending) {
        std::vector<size_t> index(texts.size());
        for (size_t i = 0; i < index.size(); ++i)
            index[i] = i;
        std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) {
            const int r = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, texts[a].c_str(),
                                          static_cast<int>(texts[a].size()), texts[b].c_str(),
                                          static_cast<int>(texts[b].size()), nullptr, nullptr, 0) -
                          CSTR_EQUAL;
            return ascending ? r < 0 : r > 0;
        });
        std::vector<std::wstring> ids;
        for (size_t i : index)
            ids.push_back(std::to_wstring(i));
        return ids;
    };
    for (const bool ascending : {true, false}) {
        GridModel grid(MappingGridColumns());
        for (size_t i = 0; i < texts.size(); ++i)
            AddRow(grid, std::to_wstring(i), texts[i], false);
        grid.Sort(grid.ColIndex(kKeyADAlias), ascending);
        EXPECT_EQ(Column(grid, kKeyADDomain), expected(ascending)) << (ascending ? "ascending" : "descending");
    }
}

// Cells written again and again keep their last text, also once the store has made room.
TEST(GridModel, RewrittenCellsKeepTheirLastText)
{
    GridModel grid(MappingGridColumns());
    for (int i = 0; i < 50; ++i)
        AddRow(grid, L"d" + std::to_wstring(i), L"a" + std::to_wstring(i), i % 2 == 0);
    const std::wstring filler(1000, L'x');
    for (int round = 0; round < 200; ++round)
        for (int row = 1; row < grid.Rows(); row += 7)
            grid.SetCell(row, grid.ColIndex(kKeyADAlias), filler + std::to_wstring(round * 100 + row));
    grid.SetRows(30);
    grid.RemoveItem(2);
    for (int row = 1; row < grid.Rows(); ++row) {
        const int original = row < 2 ? row : row + 1;
        const std::wstring alias = (original - 1) % 7 == 0 ? filler + std::to_wstring(199 * 100 + original)
                                                           : L"a" + std::to_wstring(original - 1);
        EXPECT_EQ(grid.TextMatrix(row, grid.ColIndex(kKeyADAlias)), alias) << "row " << row;
        EXPECT_EQ(grid.TextMatrix(row, grid.ColIndex(kKeyADDomain)), L"d" + std::to_wstring(original - 1));
        EXPECT_EQ(grid.TextMatrix(row, grid.ColIndex(kKeyPrimary)), (original - 1) % 2 == 0 ? L"True" : L"False");
    }
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"AD Alias");
}

TEST(GridModel, ColumnLookupFollowsMovesAndRejectsInvalidOrders)
{
    GridModel grid(MappingGridColumns());
    AddRow(grid, L"VM", L"alice", true);
    grid.Sort(grid.ColIndex(kKeyADAlias), true);

    // The user drags AD Alias before Domain.
    grid.MoveColumn(grid.ColIndex(kKeyADAlias), grid.ColIndex(kKeyADDomain));
    EXPECT_EQ(grid.ColIndex(kKeyADAlias), 1);
    EXPECT_EQ(grid.ColIndex(kKeyADDomain), 2);
    EXPECT_EQ(grid.SortColumn(), 1) << "the sort mark moves with its column";
    EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(kKeyADDomain)), L"VM");
    EXPECT_EQ(grid.TextMatrix(1, grid.ColIndex(kKeyADAlias)), L"alice");
    EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyADAlias)), L"AD Alias");

    // A whole order: SID first, Primary last.
    ASSERT_TRUE(grid.SetColumnOrder({5, 0, 1, 2, 4, 3}));
    const std::vector<std::pair<const wchar_t*, int>> expected = {
        {kKeySID, 0}, {kKeyADDomain, 2}, {kKeyADAlias, 3}, {kKeyVeltoAlias, 4}, {kKeyPrimary, 5}};
    for (auto [key, position] : expected)
        EXPECT_EQ(grid.ColIndex(key), position) << std::wstring(key).c_str();
    EXPECT_EQ(grid.SortColumn(), grid.ColIndex(kKeyADAlias));
    EXPECT_EQ(grid.ColIndex(L"adalias"), -1) << "keys match exactly";
    EXPECT_EQ(grid.ColIndex(L""), -1) << "column 0 has no key";

    const std::vector<std::vector<int>> invalid = {
        {0, 0, 1, 2, 3, 4},     // a column twice
        {0, 1, 2, 3, 4},        // one missing
        {0, 1, 2, 3, 4, 5, 6},  // one too many
        {0, 1, 2, 3, 4, 6},     // no such column
        {-1, 1, 2, 3, 4, 5},
    };
    for (const auto& order : invalid) {
        EXPECT_FALSE(grid.SetColumnOrder(order));
        EXPECT_EQ(grid.ColumnOrder(), (std::vector<int>{5, 0, 1, 2, 4, 3})) << "nothing changed";
    }
}

TEST(GridModel, RedrawOffHoldsBackChangesAndResumingAnnouncesOnce)
{
    GridModel grid(MappingGridColumns());
    RecordingObserver observer;
    grid.SetObserver(&observer);

    grid.SetRedraw(0);
    grid.SetRows(1);
    for (int i = 0; i < 3; ++i)
        AddRow(grid, L"VM", L"user" + std::to_wstring(i), false);
    grid.SetRow(2);
    grid.SetRedraw(0);  // already off: nothing new
    EXPECT_TRUE(observer.changes.empty());
    EXPECT_EQ(observer.redraws, std::vector<bool>{false});

    grid.SetRedraw(2);
    EXPECT_EQ(observer.changes, std::vector<GridChange>{GridChange::Everything});
    EXPECT_EQ(observer.redraws, (std::vector<bool>{false, true}));

    // Off and on again with nothing changed in between: nothing to announce.
    observer.changes.clear();
    grid.SetRedraw(0);
    grid.SetRedraw(2);
    EXPECT_TRUE(observer.changes.empty());

    // With redraw on, each change is told as it happens.
    grid.SetRow(3);
    grid.SetRow(3);
    grid.RemoveItem(1);
    EXPECT_EQ(observer.changes, (std::vector<GridChange>{GridChange::CurrentRow, GridChange::Rows}));
}

}  // namespace vcm
