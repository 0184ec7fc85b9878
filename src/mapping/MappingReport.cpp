#include "mapping/MappingReport.h"

#include "platform/FileReplace.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// Fixed, never translated: scripts read the file by these names and values.
constexpr char kHeader[] = "Domain,AD_Alias,Primary,Velto_Alias,SID,Account\r\n";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

const char* StatusName(AccountStatus status)
{
    switch (status) {
    case AccountStatus::Resolved:
        return "Resolved";
    case AccountStatus::Deleted:
        return "Deleted";
    case AccountStatus::Unverified:
        break;
    }
    return "Unverified";
}

// Appends one field: as it is, or quoted with inner quotes doubled when it holds a comma,
// a quote or a line break.
void AppendField(std::string& out, std::wstring_view text)
{
    if (text.find_first_of(L",\"\r\n") == std::wstring_view::npos) {
        out += ToUtf8(text);
        return;
    }
    out += ToUtf8(Enclose(text, L'"', L'"'));
}

}  // namespace

std::string MappingReportCsv(const MappingModel& model, bool notResolvedOnly, ReportCounts& counts)
{
    counts = {};
    std::string out;
    out.reserve(64 + model.Size() * 96);
    out += kByteOrderMark;
    out += kHeader;
    for (MappingModel::Row r = 0; r < model.Size(); ++r) {
        const AccountStatus status = model.Status(r);
        if (notResolvedOnly && status == AccountStatus::Resolved)
            continue;
        const AccountName& account = model.Account(r);
        AppendField(out, account.domain);
        out += ',';
        AppendField(out, account.name);
        out += model.Primary(r) ? ",1," : ",0,";
        AppendField(out, model.VeltoAlias(r));
        out += ',';
        AppendField(out, model.SidText(r));
        out += ',';
        out += StatusName(status);
        out += "\r\n";
        ++counts.rows;
        counts.deleted += status == AccountStatus::Deleted;
        counts.unverified += status == AccountStatus::Unverified;
    }
    return out;
}

ReportCounts WriteMappingReport(const MappingModel& model, bool notResolvedOnly, const std::wstring& target)
{
    ReportCounts counts;
    const std::string bytes = MappingReportCsv(model, notResolvedOnly, counts);
    WriteFileReplacing(target, bytes);
    return counts;
}

int ReportExitCode(const ReportCounts& counts)
{
    if (counts.deleted > 0)
        return kReportSomeDeleted;
    if (counts.unverified > 0)
        return kReportSomeUnverified;
    return kReportAllResolved;
}

}  // namespace vcm
