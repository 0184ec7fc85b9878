#include "mapping/MappingReport.h"

#include <windows.h>

#include <cstdint>

#include "platform/FileReplace.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// Fixed, never translated: scripts read the file by these names and values.
constexpr wchar_t kHeader[] = L"Domain,AD_Alias,Primary,Velto_Alias,SID,Account\r\n";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

const wchar_t* StatusName(AccountStatus status)
{
    switch (status) {
    case AccountStatus::Resolved:
        return L"Resolved";
    case AccountStatus::Deleted:
        return L"Deleted";
    case AccountStatus::Unverified:
        break;
    }
    return L"Unverified";
}

// Appends one field: as it is, or quoted with inner quotes doubled when it holds a comma,
// a quote or a line break.
void AppendField(std::wstring& out, std::wstring_view text)
{
    if (text.find_first_of(L",\"\r\n") == std::wstring_view::npos)
        out += text;
    else
        out += Enclose(text, L'"', L'"');
}

void AppendDecimal(std::wstring& out, uint32_t value)
{
    wchar_t digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0)
        out += digits[--count];
}

// The header of a SID the system would accept: revision 1, at most 15 sub-authorities,
// all of them present.
bool HoldsSid(const std::vector<unsigned char>& bytes)
{
    return bytes.size() >= 8 && bytes[0] == SID_REVISION && bytes[1] <= SID_MAX_SUB_AUTHORITIES &&
           bytes.size() >= 8u + 4u * bytes[1];
}

}  // namespace

std::wstring ReportSidText(const std::vector<unsigned char>& bytes)
{
    // An authority above 32 bits (none is in use) is written as the system writes it.
    if (!HoldsSid(bytes) || bytes[2] != 0 || bytes[3] != 0)
        return SidDisplayText(bytes);
    std::wstring text = L"S-1-";
    AppendDecimal(text, static_cast<uint32_t>(bytes[4]) << 24 | static_cast<uint32_t>(bytes[5]) << 16 |
                            static_cast<uint32_t>(bytes[6]) << 8 | bytes[7]);
    for (size_t i = 0; i < bytes[1]; ++i) {
        const unsigned char* at = bytes.data() + 8 + 4 * i;
        text += L'-';
        AppendDecimal(text, static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                                static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
    }
    return text;
}

std::string MappingReportCsv(const MappingModel& model, bool notResolvedOnly, ReportCounts& counts)
{
    counts = {};
    // The whole file as text first, then one conversion: far cheaper than one per field.
    std::wstring text;
    text.reserve(64 + model.Size() * 80);
    text += kHeader;
    for (MappingModel::Row r = 0; r < model.Size(); ++r) {
        const AccountStatus status = model.Status(r);
        if (notResolvedOnly && status == AccountStatus::Resolved)
            continue;
        const AccountName& account = model.Account(r);
        AppendField(text, account.domain);
        text += L',';
        AppendField(text, account.name);
        text += model.Primary(r) ? L",1," : L",0,";
        AppendField(text, model.VeltoAlias(r));
        text += L',';
        // SID texts never hold a character that needs quoting.
        text += ReportSidText(model.SidBytes(r));
        text += L',';
        text += StatusName(status);
        text += L"\r\n";
        ++counts.rows;
        counts.deleted += status == AccountStatus::Deleted;
        counts.unverified += status == AccountStatus::Unverified;
    }
    return kByteOrderMark + ToUtf8(text);
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
