#include "mapping/AccountPlatform.h"

#include <windows.h>
#include <dsgetdc.h>
#include <lm.h>
#include <ntsecapi.h>
#include <mutex>

#include "platform/Error.h"

namespace vcm {

namespace {

// Answers of LsaLookupSids that still carry one result per identifier.
constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusSomeNotMapped = 0x00000107;
constexpr NTSTATUS kStatusNoneMapped = static_cast<NTSTATUS>(0xC0000073);

[[noreturn]] void ThrowStatus(NTSTATUS status, std::wstring_view call)
{
    ThrowWin32(LsaNtStatusToWinError(status), call);
}

struct LsaBuffer {
    void* p = nullptr;
    ~LsaBuffer()
    {
        if (p)
            LsaFreeMemory(p);
    }
};

std::wstring_view Text(const LSA_UNICODE_STRING& text)
{
    return text.Buffer ? std::wstring_view(text.Buffer, text.Length / sizeof(wchar_t)) : std::wstring_view();
}

// An open lookup policy, on this machine (empty name) or on a named one.
class PolicyHandle {
public:
    PolicyHandle(const std::wstring& machine, ACCESS_MASK access)
    {
        LSA_OBJECT_ATTRIBUTES attributes = {};
        LSA_UNICODE_STRING name = {};
        std::wstring copy = machine;
        if (!copy.empty()) {
            name.Buffer = copy.data();
            name.Length = static_cast<USHORT>(copy.size() * sizeof(wchar_t));
            name.MaximumLength = name.Length;
        }
        const NTSTATUS status = LsaOpenPolicy(copy.empty() ? nullptr : &name, &attributes, access, &m_handle);
        if (status != kStatusSuccess)
            ThrowStatus(status, L"LsaOpenPolicy");
    }
    ~PolicyHandle() { LsaClose(m_handle); }
    PolicyHandle(const PolicyHandle&) = delete;
    PolicyHandle& operator=(const PolicyHandle&) = delete;
    LSA_HANDLE get() const { return m_handle; }

private:
    LSA_HANDLE m_handle = nullptr;
};

// One LsaLookupSids call; `use` receives each identifier's SID_NAME_USE when asked for.
IAccountPlatform::Answers LookupSids(LSA_HANDLE policy, const std::vector<void*>& sids,
                                     std::vector<int>* use = nullptr)
{
    LsaBuffer domains;
    LsaBuffer names;
    const NTSTATUS status = LsaLookupSids(policy, static_cast<ULONG>(sids.size()), const_cast<PSID*>(sids.data()),
                                          reinterpret_cast<PLSA_REFERENCED_DOMAIN_LIST*>(&domains.p),
                                          reinterpret_cast<PLSA_TRANSLATED_NAME*>(&names.p));
    if (status != kStatusSuccess && status != kStatusSomeNotMapped && status != kStatusNoneMapped)
        ThrowStatus(status, L"LsaLookupSids");
    IAccountPlatform::Answers result(sids.size());
    if (use)
        use->assign(sids.size(), SidTypeUnknown);
    if (status == kStatusNoneMapped || !names.p)
        return result;
    const auto* translated = static_cast<const LSA_TRANSLATED_NAME*>(names.p);
    const auto* referenced = static_cast<const LSA_REFERENCED_DOMAIN_LIST*>(domains.p);
    for (size_t i = 0; i < sids.size(); ++i) {
        const LSA_TRANSLATED_NAME& t = translated[i];
        if (use)
            (*use)[i] = t.Use;
        // DomainIndex of an unknown name means nothing: only the Use says whether it was found.
        if (t.Use == SidTypeUnknown || t.Use == SidTypeInvalid)
            continue;
        std::wstring_view domain;
        if (referenced && t.DomainIndex >= 0 && static_cast<ULONG>(t.DomainIndex) < referenced->Entries)
            domain = Text(referenced->Domains[t.DomainIndex].Name);
        result[i] = AnsiAccountName(domain, Text(t.Name));
    }
    return result;
}

class SystemPlatform : public IAccountPlatform {
public:
    Answers LookupLocal(const std::vector<void*>& sids) override
    {
        LentPolicy policy(*this);
        return LookupSids(policy.get(), sids);
    }

    std::vector<unsigned char> AccountDomainSid() override
    {
        const PolicyHandle policy(L"", POLICY_VIEW_LOCAL_INFORMATION);
        LsaBuffer info;
        const NTSTATUS status = LsaQueryInformationPolicy(policy.get(), PolicyAccountDomainInformation, &info.p);
        if (status != kStatusSuccess || !info.p)
            return {};
        const PSID sid = static_cast<POLICY_ACCOUNT_DOMAIN_INFO*>(info.p)->DomainSid;
        if (!sid || !IsValidSid(sid))
            return {};
        const auto* first = static_cast<const unsigned char*>(sid);
        return std::vector<unsigned char>(first, first + GetLengthSid(sid));
    }

    std::wstring DomainName(void* domainSid) override
    {
        std::vector<int> use;
        LentPolicy policy(*this);
        const Answers answers = LookupSids(policy.get(), {domainSid}, &use);
        if (answers.empty() || !answers[0] || use[0] != SidTypeDomain)
            return {};
        return answers[0]->name.empty() ? answers[0]->domain : answers[0]->name;
    }

    std::wstring LocateController(const std::wstring& domain) override
    {
        DOMAIN_CONTROLLER_INFOW* info = nullptr;
        if (DsGetDcNameW(nullptr, domain.c_str(), nullptr, nullptr, 0, &info) != ERROR_SUCCESS || !info)
            return {};
        std::wstring name = info->DomainControllerName ? info->DomainControllerName : L"";
        NetApiBufferFree(info);
        return name;
    }

    Answers LookupAt(const std::wstring& controller, const std::vector<void*>& sids) override
    {
        const PolicyHandle policy(controller, POLICY_LOOKUP_NAMES);
        return LookupSids(policy.get(), sids);
    }

private:
    // Local lookup policies, one for each thread looking up at the same time: a thread
    // borrows one (opened on first need) and gives it back after its call, so that workers
    // never share a handle and the handles live as long as the platform.
    class LentPolicy {
    public:
        explicit LentPolicy(SystemPlatform& owner) : m_owner(owner), m_policy(owner.Borrow()) {}
        ~LentPolicy() { m_owner.GiveBack(std::move(m_policy)); }
        LentPolicy(const LentPolicy&) = delete;
        LentPolicy& operator=(const LentPolicy&) = delete;
        LSA_HANDLE get() const { return m_policy->get(); }

    private:
        SystemPlatform& m_owner;
        std::unique_ptr<PolicyHandle> m_policy;
    };

    std::unique_ptr<PolicyHandle> Borrow()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_idle.empty()) {
                std::unique_ptr<PolicyHandle> policy = std::move(m_idle.back());
                m_idle.pop_back();
                return policy;
            }
        }
        return std::make_unique<PolicyHandle>(L"", POLICY_LOOKUP_NAMES);
    }

    void GiveBack(std::unique_ptr<PolicyHandle> policy) noexcept
    {
        try {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_idle.push_back(std::move(policy));
        } catch (...) {
            // No room to keep it: it is closed here and the next borrower opens another.
        }
    }

    std::mutex m_mutex;
    std::vector<std::unique_ptr<PolicyHandle>> m_idle;
};

}  // namespace

std::shared_ptr<IAccountPlatform> SystemAccountPlatform() { return std::make_shared<SystemPlatform>(); }

}  // namespace vcm
