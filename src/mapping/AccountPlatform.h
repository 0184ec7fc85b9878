// The platform calls that decide an account's status, behind one interface so that tests can
// give every answer shape a real domain gives. Implementations must allow calls from several
// threads at once.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mapping/AccountLookup.h"

namespace vcm {

class IAccountPlatform {
public:
    // One answer per identifier, in order: the names, or nullopt when the one asked knows no
    // such account.
    using Answers = std::vector<std::optional<AccountName>>;

    virtual ~IAccountPlatform() = default;
    // Looks the identifiers (pointers to valid SIDs) up on this machine (LsaLookupSids).
    // Throws Error when the call as a whole fails.
    virtual Answers LookupLocal(const std::vector<void*>& sids) = 0;
    // The SID of this machine's own account domain (LsaQueryInformationPolicy); empty when
    // the system does not give it.
    virtual std::vector<unsigned char> AccountDomainSid() = 0;
    // The name of the domain with this SID as this machine knows it; empty when unknown.
    virtual std::wstring DomainName(void* domainSid) = 0;
    // The name of a controller of the domain (DsGetDcNameW); empty when none can be located.
    virtual std::wstring LocateController(const std::wstring& domain) = 0;
    // Asks that controller directly (LsaOpenPolicy on its name, then LsaLookupSids there).
    // Throws Error when it cannot be reached or the call fails.
    virtual Answers LookupAt(const std::wstring& controller, const std::vector<void*>& sids) = 0;
};

// The real platform's calls. LsaLookupSids2 is never used: it ends the process under Wine.
std::shared_ptr<IAccountPlatform> SystemAccountPlatform();

}  // namespace vcm
