// The audit report: the mappings of one load as a CSV file (RFC 4180, UTF-8 with a
// byte-order mark, CR LF line ends) with each account's status, and the exit code a
// scheduler reads from it. Needs no window.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "mapping/MappingModel.h"

namespace vcm {

// What went into a report: rows written, and how many of them hold an account that is
// Deleted or Unverified.
struct ReportCounts {
    size_t rows = 0;
    size_t deleted = 0;
    size_t unverified = 0;
};

// The file's bytes: the header "Domain,AD_Alias,Primary,Velto_Alias,SID,Account", then
// one line per model row in model order (only rows whose account is not Resolved when
// `notResolvedOnly`), Primary as 1/0 and Account as Resolved/Deleted/Unverified. A field
// that holds a comma, a double quote, a CR or an LF is quoted with inner quotes doubled.
std::string MappingReportCsv(const MappingModel& model, bool notResolvedOnly, ReportCounts& counts);

// The SID column's text for stored bytes: the "S-1-..." text the system gives, the bytes in
// hex when they hold no SID, empty for none.
std::wstring ReportSidText(const std::vector<unsigned char>& bytes);

// Writes those bytes to `target` as a whole (temporary file beside it, then moved in
// place); throws Error when it cannot, leaving an existing target untouched.
ReportCounts WriteMappingReport(const MappingModel& model, bool notResolvedOnly, const std::wstring& target);

// Exit codes of the report command.
inline constexpr int kReportAllResolved = 0;
inline constexpr int kReportSomeDeleted = 1;
inline constexpr int kReportSomeUnverified = 2;
inline constexpr int kReportFailed = 3;

// 1 when any row is Deleted, else 2 when any is Unverified, else 0.
int ReportExitCode(const ReportCounts& counts);

}  // namespace vcm
