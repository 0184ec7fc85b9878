// The grid model: rows, column order, sort, current row and redraw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapping/GridModel.h"
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
        int removed;
        std::vector<std::wstring> left;
        int currentAfter;
    };
    const std::vector<Case> cases = {
        {"row above the current one goes: current follows its data", 3, 1, {L"b", L"c", L"d"}, 2},
        {"row below the current one goes: current unchanged", 2, 4, {L"a", L"b", L"c"}, 2},
        {"the current row goes: the row that moved up is current", 2, 2, {L"a", L"c", L"d"}, 2},
        {"the current last row goes: the new last row is current", 4, 4, {L"a", L"b", L"c"}, 3},
        {"nothing selected stays so", 0, 1, {L"b", L"c", L"d"}, 0},
    };
    for (const Case& c : cases) {
        GridModel grid(MappingGridColumns());
        for (const wchar_t* alias : {L"a", L"b", L"c", L"d"})
            AddRow(grid, L"VM", alias, false);
        grid.SetRow(c.current);
        grid.RemoveItem(c.removed);
        EXPECT_EQ(Column(grid, kKeyADAlias), c.left) << c.what;
        EXPECT_EQ(grid.Row(), c.currentAfter) << c.what;
    }

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
    GridModel grid(MappingGridColumns());
    // alias, domain (ties on purpose), primary
    AddRow(grid, L"beta", L"x1", true);
    AddRow(grid, L"Alpha", L"x2", false);
    AddRow(grid, L"alpha", L"x3", true);
    AddRow(grid, L"BETA", L"x4", false);
    AddRow(grid, L"gamma", L"x5", false);
    grid.SetRow(4);  // x4

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
