#include "mapping/AccountLookup.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <cstring>

#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// The account and domain buffers hold 255 characters and the terminating zero.
constexpr DWORD kNameBufferChars = 256;
// A SID is at most 8 bytes of header and 15 sub-authorities of 4 bytes.
constexpr size_t kMaxSidBytes = 8 + 4 * SID_MAX_SUB_AUTHORITIES;
constexpr size_t kSidHeaderBytes = 8;

// Answers of LsaLookupSids that still carry one result per identifier.
constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusSomeNotMapped = 0x00000107;
constexpr NTSTATUS kStatusNoneMapped = static_cast<NTSTATUS>(0xC0000073);

// The length of the identifier these bytes start with, or 0 when they hold none. The header
// is checked before the system reads any sub-authority: the count must fit both the bytes
// we have and the format's limit. Trailing bytes (a padded column) are allowed.
size_t SidLength(const std::vector<unsigned char>& bytes)
{
    if (bytes.size() < kSidHeaderBytes)
        return 0;
    const size_t subAuthorities = bytes[1];
    const size_t declared = kSidHeaderBytes + 4 * subAuthorities;
    if (subAuthorities > SID_MAX_SUB_AUTHORITIES || declared > bytes.size())
        return 0;
    // An aligned copy, since the system expects a SID structure, not a byte array.
    alignas(SID) unsigned char copy[kMaxSidBytes] = {};
    std::memcpy(copy, bytes.data(), declared);
    if (!IsValidSid(copy) || GetLengthSid(copy) > bytes.size())
        return 0;
    return declared;
}

// The text the lookup wrote, up to its terminating zero, without blanks at either end.
std::wstring BufferText(const char* buffer, size_t size)
{
    const size_t length = strnlen(buffer, size);
    return TrimBlanks(FromAnsi(std::string_view(buffer, length)));
}

// A name as the ANSI lookup gives it: converted to the ANSI code page, and nothing when it
// does not fit the lookup's buffer.
bool AnsiName(std::wstring_view text, std::wstring& out)
{
    const std::string ansi = ToAnsi(text);
    if (ansi.size() >= kNameBufferChars)
        return false;
    out = BufferText(ansi.c_str(), ansi.size());
    return true;
}

std::wstring_view Text(const LSA_UNICODE_STRING& text)
{
    return text.Buffer ? std::wstring_view(text.Buffer, text.Length / sizeof(wchar_t)) : std::wstring_view();
}

AccountName FromTranslated(const LSA_TRANSLATED_NAME& translated, const LSA_REFERENCED_DOMAIN_LIST* domains)
{
    if (translated.Use == SidTypeUnknown || translated.Use == SidTypeInvalid)
        return {};
    std::wstring_view domain;
    if (domains && translated.DomainIndex >= 0 && static_cast<ULONG>(translated.DomainIndex) < domains->Entries)
        domain = Text(domains->Domains[translated.DomainIndex].Name);
    return AnsiAccountName(domain, Text(translated.Name));
}

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

// Words of a SID structure: the header's two and one per sub-authority.
size_t SidWords(const uint32_t* words) { return 2 + reinterpret_cast<const unsigned char*>(words)[1]; }

uint64_t HashWords(const uint32_t* words, size_t count)
{
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ words[i]) * 1099511628211ull;
    return hash;
}

}  // namespace

std::wstring SidString(const std::vector<unsigned char>& bytes)
{
    const size_t length = SidLength(bytes);
    if (length == 0)
        return {};
    alignas(SID) unsigned char sid[kMaxSidBytes] = {};
    std::memcpy(sid, bytes.data(), length);
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        return {};
    const UniqueLocal owned(text);  // allocated by the system for this call
    return text;
}

AccountName AnsiAccountName(std::wstring_view domain, std::wstring_view name)
{
    AccountName result;
    if (!AnsiName(domain, result.domain) || !AnsiName(name, result.name))
        return {};
    return result;
}

// The local lookup policy, opened on the first batch and closed with the lookup.
class AccountLookup::Policy {
public:
    Policy()
    {
        LSA_OBJECT_ATTRIBUTES attributes = {};
        const NTSTATUS status = LsaOpenPolicy(nullptr, &attributes, POLICY_LOOKUP_NAMES, &m_handle);
        if (status != kStatusSuccess)
            ThrowStatus(status, L"LsaOpenPolicy");
    }
    ~Policy() { LsaClose(m_handle); }
    Policy(const Policy&) = delete;
    Policy& operator=(const Policy&) = delete;

    // LsaLookupSids2 is not used: it aborts the process under Wine.
    std::vector<AccountName> Translate(const std::vector<void*>& sids) const
    {
        LsaBuffer domains;
        LsaBuffer names;
        const NTSTATUS status =
            LsaLookupSids(m_handle, static_cast<ULONG>(sids.size()), const_cast<PSID*>(sids.data()),
                          reinterpret_cast<PLSA_REFERENCED_DOMAIN_LIST*>(&domains.p),
                          reinterpret_cast<PLSA_TRANSLATED_NAME*>(&names.p));
        if (status != kStatusSuccess && status != kStatusSomeNotMapped && status != kStatusNoneMapped)
            ThrowStatus(status, L"LsaLookupSids");
        std::vector<AccountName> result(sids.size());
        if (status == kStatusNoneMapped || !names.p)
            return result;
        const auto* translated = static_cast<const LSA_TRANSLATED_NAME*>(names.p);
        const auto* referenced = static_cast<const LSA_REFERENCED_DOMAIN_LIST*>(domains.p);
        for (size_t i = 0; i < sids.size(); ++i)
            result[i] = FromTranslated(translated[i], referenced);
        return result;
    }

private:
    LSA_HANDLE m_handle = nullptr;
};

AccountLookup::AccountLookup(Translator translate, size_t chunk)
    : m_translate(std::move(translate)), m_chunk(chunk == 0 ? kChunk : chunk)
{
    m_sidStart.push_back(0);  // id 0, kNoAccount, holds no words
    m_nameOf.push_back(0);
    m_names.emplace_back();
    m_slots.assign(64, 0);
}

AccountLookup::~AccountLookup() = default;

size_t AccountLookup::Locate(const uint32_t* words, size_t count, uint64_t hash) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
        const uint32_t id = m_slots[i];
        if (id == 0)
            return i;
        const uint32_t* stored = Words(id);
        if (SidWords(stored) == count && std::memcmp(stored, words, count * sizeof(uint32_t)) == 0)
            return i;
    }
}

void AccountLookup::Grow()
{
    std::vector<uint32_t> old = std::move(m_slots);
    m_slots.assign(old.size() * 2, 0);
    for (uint32_t id : old) {
        if (id == 0)
            continue;
        const uint32_t* words = Words(id);
        const size_t count = SidWords(words);
        m_slots[Locate(words, count, HashWords(words, count))] = id;
    }
}

AccountLookup::SidId AccountLookup::Add(const std::vector<unsigned char>& sid)
{
    const size_t length = SidLength(sid);
    if (length == 0)
        return kNoAccount;
    uint32_t words[kMaxSidBytes / 4];
    std::memcpy(words, sid.data(), length);
    const size_t count = length / 4;
    const uint64_t hash = HashWords(words, count);
    size_t slot = Locate(words, count, hash);
    if (m_slots[slot] != 0)
        return m_slots[slot];

    const SidId id = static_cast<SidId>(m_sidStart.size());
    m_sidStart.push_back(m_sidWords.Append(words, count));
    m_nameOf.push_back(0);
    m_slots[slot] = id;
    if (m_sidStart.size() * 2 > m_slots.size())
        Grow();
    return id;
}

std::vector<AccountName> AccountLookup::Translate(const std::vector<void*>& sids)
{
    if (m_translate) {
        ++m_platformCalls;
        return m_translate(sids);
    }
    if (!m_policy) {
        ++m_platformCalls;
        m_policy = std::make_unique<Policy>();
    }
    ++m_platformCalls;
    return m_policy->Translate(sids);
}

void AccountLookup::Resolve()
{
    std::vector<void*> batch;
    while (m_resolved < m_sidStart.size()) {
        const size_t first = m_resolved;
        const size_t end = std::min(m_sidStart.size(), first + m_chunk);
        m_resolved = end;
        batch.clear();
        for (size_t id = first; id < end; ++id)
            batch.push_back(const_cast<uint32_t*>(Words(static_cast<SidId>(id))));
        try {
            std::vector<AccountName> names = Translate(batch);
            for (size_t i = 0; i < names.size() && first + i < end; ++i) {
                if (names[i].domain.empty() && names[i].name.empty())
                    continue;
                m_nameOf[first + i] = static_cast<uint32_t>(m_names.size());
                m_names.push_back(std::move(names[i]));
            }
        } catch (...) {
            // The chunk's accounts stay unnamed; the caller learns why once.
            if (!m_failure)
                m_failure = CurrentError();
        }
    }
}

const AccountName& AccountLookup::Name(SidId id) const
{
    return m_names[id < m_resolved ? m_nameOf[id] : 0];
}

AccountName AccountLookup::Lookup(const std::vector<unsigned char>& sid)
{
    const size_t length = SidLength(sid);
    if (length == 0)
        return {};
    alignas(SID) unsigned char copy[kMaxSidBytes] = {};
    std::memcpy(copy, sid.data(), length);

    char name[kNameBufferChars];
    char domain[kNameBufferChars];
    std::memset(name, ' ', sizeof(name) - 1);
    std::memset(domain, ' ', sizeof(domain) - 1);
    name[kNameBufferChars - 1] = '\0';
    domain[kNameBufferChars - 1] = '\0';
    DWORD nameChars = kNameBufferChars;
    DWORD domainChars = kNameBufferChars;
    SID_NAME_USE use = SidTypeUnknown;
    ++m_platformCalls;
    if (!LookupAccountSidA(nullptr, copy, name, &nameChars, domain, &domainChars, &use)) {
        // An unknown account and a name longer than the buffers leave the names empty
        // silently; anything else is a failure the caller hears about.
        const DWORD code = GetLastError();
        if (code != ERROR_NONE_MAPPED && code != ERROR_INSUFFICIENT_BUFFER && !m_failure)
            m_failure = Error(static_cast<long>(code), SystemMessage(code), L"LookupAccountSidA");
        return {};
    }
    return {BufferText(domain, kNameBufferChars), BufferText(name, kNameBufferChars)};
}

}  // namespace vcm
