// Grids filled cell by cell, for the removal and export tests.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "grid/GridModel.h"
#include "mapping/MappingGrid.h"
#include "TestFiles.h"

namespace vcm::test {

// A mapping grid holding exactly these rows, in this order, nothing selected.
inline GridModel GridOf(const std::vector<MappingRow>& rows)
{
    GridModel grid(MappingGridColumns());
    grid.SetRows(static_cast<int>(rows.size()) + 1);
    for (int r = 1; r < grid.Rows(); ++r) {
        const MappingRow& m = rows[static_cast<size_t>(r - 1)];
        grid.SetCell(r, grid.ColIndex(kKeyADDomain), m.ADDomain);
        grid.SetCell(r, grid.ColIndex(kKeyADAlias), m.ADAlias);
        grid.SetCell(r, grid.ColIndex(kKeyPrimary), m.Primary);
        grid.SetCell(r, grid.ColIndex(kKeyVeltoAlias), m.VeltoAlias);
        grid.SetCell(r, grid.ColIndex(kKeySID), m.SID);
    }
    return grid;
}

// Every cell's text, row by row in design column order, so that two states compare whole.
inline std::vector<std::vector<std::wstring>> Snapshot(const GridModel& grid)
{
    std::vector<std::vector<std::wstring>> cells;
    for (int r = 0; r < grid.Rows(); ++r) {
        auto& row = cells.emplace_back();
        for (int c = 0; c < grid.Cols(); ++c)
            row.push_back(grid.TextMatrix(r, c));
    }
    return cells;
}


}  // namespace vcm::test
