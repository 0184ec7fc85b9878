#include "mapping/MappingGrid.h"

#include <numeric>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"

namespace vcm {

IGridRowSource::Cell MappingGridSource::RowCell(uint32_t record, int design) const
{
    const MappingModel& model = *m_model;
    switch (design) {
    case kDesignDomain:
        return {model.Account(record).domain, -1};
    case kDesignAlias:
        return {model.Account(record).name, -1};
    case kDesignPrimary:
        return {L"", model.Primary(record) ? 1 : 0};
    case kDesignVelto:
        return {model.VeltoAlias(record), -1};
    case kDesignKey:
        return {model.Key(record), -1};
    case kDesignAccountSid:
        m_text = model.SidText(record);
        return {m_text, -1};
    case kDesignAccountStatus:
        m_text = AccountStatusText(model.Status(record));
        return {m_text, -1};
    default:
        return {L"", -1};
    }
}

std::wstring AccountStatusText(AccountStatus status)
{
    switch (status) {
    case AccountStatus::Resolved:
        return myLoadResString(IDS_STATUS_RESOLVED);
    case AccountStatus::Deleted:
        return myLoadResString(IDS_STATUS_DELETED);
    default:
        return myLoadResString(IDS_STATUS_UNVERIFIED);
    }
}

void ShowMappings(GridModel& grid, std::shared_ptr<const MappingModel> model)
{
    std::vector<uint32_t> records(model ? model->Size() : 0);
    std::iota(records.begin(), records.end(), uint32_t{0});
    grid.Bind(model ? std::make_shared<MappingGridSource>(std::move(model)) : nullptr, std::move(records));
}

const MappingModel* ShownModel(const GridModel& grid)
{
    const auto* source = dynamic_cast<const MappingGridSource*>(grid.Source().get());
    return source ? &source->Model() : nullptr;
}

}  // namespace vcm
