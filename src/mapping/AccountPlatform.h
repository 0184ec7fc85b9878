// The platform calls that decide an account's status, behind one interface so that tests can
// give every answer shape a real domain gives. Implementations must allow calls from several
// threads at once.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mapping/AccountLookup.h"
#include "platform/Error.h"

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

// What one chunk's resolution found, by identifier in the chunk's order.
struct ChunkAnswer {
    std::vector<AccountStatus> status;
    std::vector<std::optional<AccountName>> names;  // set for the Resolved ones
    std::optional<Error> failure;                   // the first failure other than "no such account"
    int calls = 0;                                  // platform calls made
};

// Who has authority over which domain, found once per load and shared by all its chunks:
// this machine's account domain, each domain's name, a controller for each name, and the
// controllers that could not be asked. Safe to share between threads: its own lock guards it.
class DomainAuthorities {
public:
    explicit DomainAuthorities(std::shared_ptr<IAccountPlatform> platform) : m_platform(std::move(platform)) {}
    IAccountPlatform& Platform() { return *m_platform; }
    // True when this machine answers for the domain (BUILTIN, its own account domain).
    bool IsLocal(const std::vector<uint32_t>& domain, ChunkAnswer& answer);
    // The controller to ask about the domain; empty when there is none to ask.
    std::wstring ControllerOf(const std::vector<uint32_t>& domain, ChunkAnswer& answer);
    // A controller that could not be asked is not asked again in this load.
    void Unreachable(const std::wstring& controller);

private:
    std::shared_ptr<IAccountPlatform> m_platform;
    std::mutex m_mutex;
    std::optional<std::vector<uint32_t>> m_machine;
    std::map<std::vector<uint32_t>, std::wstring> m_controllers;  // by domain SID; empty: none
    std::set<std::wstring> m_unreachable;
};

// Resolves one chunk of identifiers (pointers to valid SIDs) with nothing but the platform:
// Resolved when the local lookup or the domain's controller names the account; Deleted when
// the authority for its domain (this machine for BUILTIN and for machineDomain, else a
// controller of the domain asked directly) says it has no such account; Unverified when
// nobody with authority could say, or when there are no authorities to ask. A name the local
// lookup leaves out is never taken as proof on its own. Several chunks may be resolved at
// once on different threads with one platform and one DomainAuthorities.
ChunkAnswer ResolveAccounts(IAccountPlatform& platform, const std::vector<void*>& sids,
                            DomainAuthorities* authorities);

// The real platform's calls. LsaLookupSids2 is never used: it ends the process under Wine.
std::shared_ptr<IAccountPlatform> SystemAccountPlatform();

}  // namespace vcm
