// The layout of the mapping grid: its columns, their keys and design settings, the record
// one data row stands for, and the view that shows a MappingModel's rows in the grid.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "grid/GridModel.h"
#include "mapping/MappingModel.h"

namespace vcm {

inline constexpr wchar_t kKeyADDomain[] = L"ADDomain";
inline constexpr wchar_t kKeyADAlias[] = L"ADAlias";
inline constexpr wchar_t kKeyPrimary[] = L"Primary";
inline constexpr wchar_t kKeyVeltoAlias[] = L"VeltoAlias";
// Holds the mapping's row key (its msrepl_tran_version text), not a security identifier.
inline constexpr wchar_t kKeySID[] = L"SID";
// The account details: the security identifier's text and the account status.
inline constexpr wchar_t kKeyAccountSid[] = L"AccountSID";
inline constexpr wchar_t kKeyAccountStatus[] = L"AccountStatus";

// One data row of the grid, fields named after the column keys.
struct MappingRow {
    std::wstring ADDomain;
    std::wstring ADAlias;
    bool Primary = false;
    std::wstring VeltoAlias;
    std::wstring SID;
};

// Design order: hidden unkeyed column 0, Domain, AD Alias, Primary, Velto Alias, hidden SID,
// and with the account details two more, hidden until the user asks for them: SID, Account.
inline std::vector<GridColumn> MappingGridColumns(bool accountDetails = false)
{
    std::vector<GridColumn> columns = {
        {L"", L"", 630, CellAlignment::General, false, true},
        {kKeyADDomain, L"Domain", 2040, CellAlignment::General, false, false},
        {kKeyADAlias, L"AD Alias", 2100, CellAlignment::General, false, false},
        {kKeyPrimary, L"Primary", 960, CellAlignment::Centre, true, false},
        {kKeyVeltoAlias, L"Velto Alias", 1980, CellAlignment::General, false, false},
        {kKeySID, L"SID", 960, CellAlignment::General, false, true},
    };
    if (accountDetails) {
        columns.push_back({kKeyAccountSid, L"SID", 4800, CellAlignment::General, false, true});
        columns.push_back({kKeyAccountStatus, L"Account", 1440, CellAlignment::General, false, true});
    }
    return columns;
}

// Design positions of the columns above.
enum MappingDesign : int {
    kDesignNone,
    kDesignDomain,
    kDesignAlias,
    kDesignPrimary,
    kDesignVelto,
    kDesignKey,
    kDesignAccountSid,
    kDesignAccountStatus,
};

// The catalogue text of a status, as the Account column shows it.
std::wstring AccountStatusText(AccountStatus status);

// A MappingModel's rows as the grid's data rows (the grid keeps only their order).
class MappingGridSource : public IGridRowSource {
public:
    explicit MappingGridSource(std::shared_ptr<const MappingModel> model) : m_model(std::move(model)) {}
    const MappingModel& Model() const { return *m_model; }
    Cell RowCell(uint32_t record, int design) const override;

private:
    std::shared_ptr<const MappingModel> m_model;
    mutable std::wstring m_text;  // a text the model does not keep, until the next call
};

// Shows every row of the model in the grid, in the model's order.
void ShowMappings(GridModel& grid, std::shared_ptr<const MappingModel> model);
// The model a mapping grid shows; nullptr when it shows none.
const MappingModel* ShownModel(const GridModel& grid);

}  // namespace vcm
