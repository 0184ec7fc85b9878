// The data side of loading the mapping grid: reads the mapping and subscriber tables,
// resolves each mapping's account and fills one grid row per mapping the view options let
// through. The window around it (pointer, wait window, painting) belongs to the caller.
#pragma once
#include <optional>
#include <string>

#include "mapping/AccountLookup.h"
#include "grid/GridModel.h"
#include "platform/Error.h"

namespace vcm {

struct LoadSettings {
    std::wstring connection;
    short major = 0;              // installed product's major version: 4 and later use Credential
    bool showOnlyCustom = true;   // leave out mappings whose account name equals the subscriber alias
    bool showPrimary = true;      // keep primary mappings
    AccountLookup::Translator translate;  // empty: the platform's account lookup
};

// What a load could not do that the user must hear about, as opposed to what the data holds.
struct LoadReport {
    std::optional<Error> mappingTable;   // the mapping query could not be read at all
    std::optional<Error> accountLookup;  // a lookup failed for a reason other than "no such account"
    int lookupCalls = 0;                 // platform calls the account lookups took
};

// Cuts the grid back to its header row and appends the mappings in the order the mapping
// query returns them. A step that fails is skipped and the load goes on; it never throws
// and never shows anything: the report says what the caller should show.
LoadReport FillMappingGrid(GridModel& grid, const LoadSettings& settings);

}  // namespace vcm
