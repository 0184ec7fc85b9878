// The Windows Application event log entry of a removal, and the operator it names: the first
// record of who removed what that an administrator's monitoring tools read.
#pragma once
#include <string>

namespace vcm {

inline constexpr wchar_t kEventSource[] = L"VeltoCredentialsMap";
inline constexpr unsigned long kRemovalEventId = 1000;

// DOMAIN\user of the process token's account; the SID text when the account cannot be named.
// Throws an Error when the token cannot be read.
std::wstring OperatorName();

// The entry's text: who removed the mapping of which account to which Velto alias.
std::wstring RemovalEventText(const std::wstring& account, const std::wstring& veltoAlias,
                              const std::wstring& removedBy);

// Writes one information entry under the program's source. Throws an Error when the log
// refuses it; the removal it records has happened either way.
void ReportRemovalEvent(const std::wstring& text);

}  // namespace vcm
