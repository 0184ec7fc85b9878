// Mapping grids with given rows, for the removal and export tests.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "grid/GridModel.h"
#include "mapping/MappingGrid.h"
#include "TestDb.h"
#include "TestFiles.h"

namespace vcm::test {

// A mapping grid showing a model of exactly these rows, in this order, nothing selected.
// Row i's account is S-1-5-21-7-7-7-<1000+i>, which the model's lookup names as the row says;
// its subscriber id is subscriberIds[i] when given, as a load would have read it.
inline GridModel GridOf(const std::vector<MappingRow>& rows, const std::vector<std::wstring>& subscriberIds = {})
{
    auto translate = [rows](const std::vector<void*>& sids) {
        std::vector<AccountName> names;
        for (void* sid : sids) {
            const uint32_t rid = static_cast<const uint32_t*>(sid)[6];  // the last of five sub-authorities
            const MappingRow& m = rows[rid - 1000];
            names.push_back({m.ADDomain, m.ADAlias});
        }
        return names;
    };
    auto model = std::make_shared<MappingModel>(std::make_unique<AccountLookup>(translate));
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<unsigned char> sid = SidBytes(L"S-1-5-21-7-7-7-" + std::to_wstring(1000 + i));
        const std::wstring subscriber = i < subscriberIds.size() ? subscriberIds[i] : std::wstring();
        model->Add({rows[i].SID, subscriber, rows[i].VeltoAlias, rows[i].Primary, &sid});
    }
    model->Accounts().Resolve();
    GridModel grid(MappingGridColumns());
    ShowMappings(grid, model);
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
