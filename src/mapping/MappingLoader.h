// The data side of loading the mapping grid: reads the mapping and subscriber tables,
// resolves each mapping's account and produces one model row per mapping the view options
// let through. It needs no window and no particular thread; the window around it (pointer,
// wait window, painting) belongs to the caller.
#pragma once
#include <memory>
#include <optional>
#include <string>

#include "mapping/AccountLookup.h"
#include "mapping/AccountPlatform.h"
#include "mapping/MappingModel.h"
#include "grid/GridModel.h"
#include "platform/Error.h"

namespace vcm {

struct LoadSettings {
    std::wstring connection;
    short major = 0;              // installed product's major version: 4 and later use Credential
    bool showOnlyCustom = true;   // leave out mappings whose account name equals the subscriber alias
    bool showPrimary = true;      // keep primary mappings
    AccountLookup::Translator translate;  // empty: the platform's account lookup
    std::shared_ptr<IAccountPlatform> platform = nullptr;  // empty: the system's calls (none with a translator)
};

// What a load could not do that the user must hear about, as opposed to what the data holds.
struct LoadReport {
    std::optional<Error> mappingTable;   // the mapping query could not be read at all
    std::optional<Error> accountLookup;  // a lookup failed for a reason other than "no such account"
    int lookupCalls = 0;                 // platform calls the account lookups took
};

struct MappingLoad {
    std::shared_ptr<MappingModel> model;  // never null
    LoadReport report;
};

// Reads the mappings in the order the mapping query returns them. A step that fails is
// skipped and the load goes on; it never throws (but for memory) and never shows anything:
// the report says what the caller should show.
MappingLoad LoadMappings(const LoadSettings& settings);

// The same load in three steps, for a caller that resolves the accounts elsewhere (on
// several threads, chunk by chunk: AccountLookup's PendingChunks, ResolveChunk and
// FinishResolve): ReadMappings reads both tables and queues every row's account;
// FinishLoad, once all accounts are resolved, reports the lookups' failure and applies the
// custom option. Neither throws (but for memory) nor shows anything.
MappingLoad ReadMappings(const LoadSettings& settings);
void FinishLoad(MappingLoad& load, const LoadSettings& settings);

// Cuts the grid back to its header row and appends the mappings in the order the mapping
// query returns them. A step that fails is skipped and the load goes on; it never throws
// and never shows anything: the report says what the caller should show.
// The grid then shows the loaded model.
LoadReport FillMappingGrid(GridModel& grid, const LoadSettings& settings);

}  // namespace vcm
