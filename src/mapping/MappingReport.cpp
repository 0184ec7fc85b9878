#include "mapping/MappingReport.h"

#include <windows.h>

#include <cstdint>

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

// Appends text as UTF-8: ASCII as it is, anything else through the system's conversion.
void AppendUtf8(std::string& out, std::wstring_view text)
{
    for (const wchar_t c : text)
        if (c >= 0x80) {
            out += ToUtf8(text);
            return;
        }
    for (const wchar_t c : text)
        out += static_cast<char>(c);
}

// Appends one field: as it is, or quoted with inner quotes doubled when it holds a comma,
// a quote or a line break.
void AppendField(std::string& out, std::wstring_view text)
{
    if (text.find_first_of(L",\"\r\n") == std::wstring_view::npos)
        AppendUtf8(out, text);
    else
        AppendUtf8(out, Enclose(text, L'"', L'"'));
}

void AppendDecimal(std::string& out, uint32_t value)
{
    char digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
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

// The SID column's text, made here for speed as the system writes it: a report of many
// thousand rows cannot afford a system call and its allocations per row.
void AppendSid(std::string& out, const std::vector<unsigned char>& bytes)
{
    // An authority above 32 bits (none is in use) is written as the system writes it.
    if (!HoldsSid(bytes) || bytes[2] != 0 || bytes[3] != 0) {
        out += ToUtf8(SidDisplayText(bytes));
        return;
    }
    out += "S-1-";
    AppendDecimal(out, static_cast<uint32_t>(bytes[4]) << 24 | static_cast<uint32_t>(bytes[5]) << 16 |
                           static_cast<uint32_t>(bytes[6]) << 8 | bytes[7]);
    for (size_t i = 0; i < bytes[1]; ++i) {
        const unsigned char* at = bytes.data() + 8 + 4 * i;
        out += '-';
        AppendDecimal(out, static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                               static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24);
    }
}

}  // namespace

std::wstring ReportSidText(const std::vector<unsigned char>& bytes)
{
    std::string text;
    AppendSid(text, bytes);
    return FromUtf8(text);
}

std::string MappingReportCsv(const MappingModel& model, bool notResolvedOnly, ReportCounts& counts)
{
    counts = {};
    std::string out;
    out.reserve(64 + model.Size() * 80);
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
        // SID texts never hold a character that needs quoting.
        AppendSid(out, model.SidBytes(r));
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
