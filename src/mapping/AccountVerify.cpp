// The second half of an account lookup: for identifiers the local lookup could not name,
// finds who has authority over their domain and asks there.
#include "mapping/AccountLookup.h"

#include <windows.h>
#include <cstring>
#include <map>

#include "mapping/AccountPlatform.h"

namespace vcm {

namespace {

// A SID's words with its last sub-authority left off: the SID of its domain. Empty when it
// has no sub-authority.
std::vector<uint32_t> DomainWords(const uint32_t* words)
{
    const unsigned count = reinterpret_cast<const unsigned char*>(words)[1];
    if (count == 0)
        return {};
    std::vector<uint32_t> domain(words, words + 2 + count - 1);
    reinterpret_cast<unsigned char*>(domain.data())[1] = static_cast<unsigned char>(count - 1);
    return domain;
}

std::vector<uint32_t> WordsOf(const std::vector<unsigned char>& bytes)
{
    std::vector<uint32_t> words(bytes.size() / 4);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

// S-1-5-32, the BUILTIN domain every machine answers for itself.
const std::vector<uint32_t>& BuiltinDomain()
{
    static const std::vector<uint32_t> words = WordsOf({1, 1, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0});
    return words;
}

}  // namespace

// BUILTIN and this machine's own account domain: the local system is their authority.
bool AccountLookup::LocalAuthority(const std::vector<uint32_t>& domain)
{
    if (domain == BuiltinDomain())
        return true;
    if (!m_machineDomain) {
        std::vector<unsigned char> bytes;
        try {
            ++m_platformCalls;
            bytes = m_platform->AccountDomainSid();
        } catch (...) {
            Fail();
        }
        m_machineDomain = WordsOf(bytes);
    }
    return !m_machineDomain->empty() && domain == *m_machineDomain;
}

void AccountLookup::Verify(const std::vector<SidId>& unnamed)
{
    std::map<std::vector<uint32_t>, std::vector<SidId>> byDomain;
    for (SidId id : unnamed)
        byDomain[DomainWords(Words(id))].push_back(id);
    for (const auto& [domain, ids] : byDomain) {
        if (domain.empty())
            continue;  // no domain to ask: Unverified
        if (LocalAuthority(domain))
            MarkAll(ids, AccountStatus::Deleted);
        else
            VerifyAtController(domain, ids);
    }
}

// Another domain: only one of its own controllers, asked directly, may call an account gone.
// Whatever cannot be asked leaves the accounts Unverified.
void AccountLookup::VerifyAtController(const std::vector<uint32_t>& domain, const std::vector<SidId>& ids)
{
    try {
        ++m_platformCalls;
        const std::wstring name = m_platform->DomainName(const_cast<uint32_t*>(domain.data()));
        if (name.empty())
            return;
        ++m_platformCalls;
        const std::wstring controller = m_platform->LocateController(name);
        if (controller.empty())
            return;
        std::vector<void*> sids;
        for (SidId id : ids)
            sids.push_back(const_cast<uint32_t*>(Words(id)));
        ++m_platformCalls;
        IAccountPlatform::Answers answers = m_platform->LookupAt(controller, sids);
        if (answers.size() != ids.size())
            return;  // not one answer per identifier: nothing can be concluded
        for (size_t i = 0; i < ids.size(); ++i) {
            if (answers[i])
                Named(ids[i], std::move(*answers[i]));
            else
                m_statusOf[ids[i]] = static_cast<uint8_t>(AccountStatus::Deleted);
        }
    } catch (...) {
        Fail();
    }
}

}  // namespace vcm
