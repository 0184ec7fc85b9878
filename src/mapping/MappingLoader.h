// The data side of loading the mapping grid: reads the mapping and subscriber tables,
// resolves each mapping's account and fills one grid row per mapping the view options let
// through. The window around it (pointer, wait window, painting) belongs to the caller.
#pragma once
#include <string>

#include "mapping/GridModel.h"

namespace vcm {

struct LoadSettings {
    std::wstring connection;
    short major = 0;              // installed product's major version: 4 and later use Credential
    bool showOnlyCustom = true;   // leave out mappings whose account name equals the subscriber alias
    bool showPrimary = true;      // keep primary mappings
};

// Cuts the grid back to its header row and appends the mappings in the order the mapping
// query returns them. Silent: a step that fails is skipped and the load goes on; it never
// throws and never shows anything.
void FillMappingGrid(GridModel& grid, const LoadSettings& settings);

}  // namespace vcm
