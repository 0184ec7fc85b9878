// The layout of the mapping grid: its six columns, their keys and design settings, and
// the record one data row stands for.
#pragma once
#include <string>
#include <vector>

#include "grid/GridModel.h"

namespace vcm {

inline constexpr wchar_t kKeyADDomain[] = L"ADDomain";
inline constexpr wchar_t kKeyADAlias[] = L"ADAlias";
inline constexpr wchar_t kKeyPrimary[] = L"Primary";
inline constexpr wchar_t kKeyVeltoAlias[] = L"VeltoAlias";
// Holds the mapping's row key (its msrepl_tran_version text), not a security identifier.
inline constexpr wchar_t kKeySID[] = L"SID";

// One data row of the grid, fields named after the column keys.
struct MappingRow {
    std::wstring ADDomain;
    std::wstring ADAlias;
    bool Primary = false;
    std::wstring VeltoAlias;
    std::wstring SID;
};

// Design order: hidden unkeyed column 0, Domain, AD Alias, Primary, Velto Alias, hidden SID.
inline std::vector<GridColumn> MappingGridColumns()
{
    return {
        {L"", L"", 630, CellAlignment::General, false, true},
        {kKeyADDomain, L"Domain", 2040, CellAlignment::General, false, false},
        {kKeyADAlias, L"AD Alias", 2100, CellAlignment::General, false, false},
        {kKeyPrimary, L"Primary", 960, CellAlignment::Centre, true, false},
        {kKeyVeltoAlias, L"Velto Alias", 1980, CellAlignment::General, false, false},
        {kKeySID, L"SID", 960, CellAlignment::General, false, true},
    };
}

}  // namespace vcm
