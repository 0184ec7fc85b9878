// One chunk of identifiers resolved with nothing but the platform: the local lookup names
// what it can; for the rest, the authority of each identifier's domain is found and asked.
#include "mapping/AccountPlatform.h"

#include <windows.h>
#include <cstring>
#include <map>

namespace vcm {

namespace {

using Words = std::vector<uint32_t>;

// A SID's words with its last sub-authority left off: the SID of its domain. Empty when it
// has no sub-authority.
Words DomainWords(const void* sid)
{
    const auto* words = static_cast<const uint32_t*>(sid);
    const unsigned count = static_cast<const unsigned char*>(sid)[1];
    if (count == 0)
        return {};
    Words domain(words, words + 2 + count - 1);
    reinterpret_cast<unsigned char*>(domain.data())[1] = static_cast<unsigned char>(count - 1);
    return domain;
}

Words WordsOf(const std::vector<unsigned char>& bytes)
{
    Words words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

// S-1-5-32, the BUILTIN domain every machine answers for itself.
const Words& BuiltinDomain()
{
    static const Words words = WordsOf({1, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0});
    return words;
}

void Fail(ChunkAnswer& answer)
{
    if (!answer.failure)
        answer.failure = CurrentError();
}

// Asks a controller of another domain directly: only it may call an account gone there.
// Whatever cannot be asked leaves the accounts Unverified.
void AskController(DomainAuthorities& authorities, const std::wstring& controller, const std::vector<size_t>& which,
                   const std::vector<void*>& sids, ChunkAnswer& answer)
{
    std::vector<void*> asked;
    for (size_t i : which)
        asked.push_back(sids[i]);
    IAccountPlatform::Answers names;
    try {
        ++answer.calls;
        names = authorities.Platform().LookupAt(controller, asked);
    } catch (...) {
        Fail(answer);
        authorities.Unreachable(controller);
        return;
    }
    if (names.size() != which.size())
        return;  // not one answer per identifier: nothing can be concluded
    for (size_t k = 0; k < which.size(); ++k) {
        answer.status[which[k]] = names[k] ? AccountStatus::Resolved : AccountStatus::Deleted;
        answer.names[which[k]] = std::move(names[k]);
    }
}

}  // namespace

bool DomainAuthorities::IsLocal(const std::vector<uint32_t>& domain, ChunkAnswer& answer)
{
    if (domain == BuiltinDomain())
        return true;
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_machine) {
        m_machine.emplace();
        try {
            ++answer.calls;
            m_machine = WordsOf(m_platform->AccountDomainSid());
        } catch (...) {
            Fail(answer);  // no machine domain known: none of its accounts can be called gone
        }
    }
    return !m_machine->empty() && domain == *m_machine;
}

std::wstring DomainAuthorities::ControllerOf(const std::vector<uint32_t>& domain, ChunkAnswer& answer)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_controllers.find(domain);
    if (found == m_controllers.end()) {
        std::wstring controller;
        try {
            ++answer.calls;
            const std::wstring name = m_platform->DomainName(const_cast<uint32_t*>(domain.data()));
            if (!name.empty()) {
                ++answer.calls;
                controller = m_platform->LocateController(name);
            }
        } catch (...) {
            Fail(answer);
        }
        found = m_controllers.emplace(domain, controller).first;
    }
    return m_unreachable.count(found->second) ? std::wstring() : found->second;
}

void DomainAuthorities::Unreachable(const std::wstring& controller)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_unreachable.insert(controller);
}

ChunkAnswer ResolveAccounts(IAccountPlatform& platform, const std::vector<void*>& sids,
                            DomainAuthorities* authorities)
{
    ChunkAnswer answer;
    answer.status.assign(sids.size(), AccountStatus::Unverified);
    answer.names.resize(sids.size());
    try {
        ++answer.calls;
        IAccountPlatform::Answers names = platform.LookupLocal(sids);
        for (size_t i = 0; i < sids.size() && i < names.size(); ++i) {
            if (names[i])
                answer.status[i] = AccountStatus::Resolved;
            answer.names[i] = std::move(names[i]);
        }
    } catch (...) {
        Fail(answer);  // nobody answered: every account stays Unverified
        return answer;
    }
    if (!authorities)
        return answer;

    std::map<Words, std::vector<size_t>> byDomain;
    for (size_t i = 0; i < sids.size(); ++i)
        if (answer.status[i] != AccountStatus::Resolved)
            byDomain[DomainWords(sids[i])].push_back(i);
    for (const auto& [domain, which] : byDomain) {
        if (domain.empty())
            continue;  // no domain to ask
        if (authorities->IsLocal(domain, answer)) {
            // This machine is the authority, and its lookup said no such account.
            for (size_t i : which)
                answer.status[i] = AccountStatus::Deleted;
            continue;
        }
        const std::wstring controller = authorities->ControllerOf(domain, answer);
        if (!controller.empty())
            AskController(*authorities, controller, which, sids, answer);
    }
    return answer;
}

}  // namespace vcm
