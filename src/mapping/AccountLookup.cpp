#include "mapping/AccountLookup.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <cstring>

#include "mapping/AccountPlatform.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// The account and domain buffers hold 255 characters and the terminating zero.
constexpr DWORD kNameBufferChars = 256;
// A SID is at most 8 bytes of header and 15 sub-authorities of 4 bytes.
constexpr size_t kMaxSidBytes = 8 + 4 * SID_MAX_SUB_AUTHORITIES;
constexpr size_t kSidHeaderBytes = 8;

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

// The header is checked before the system reads any sub-authority: the count must fit both
// the bytes we have and the format's limit. Trailing bytes (a padded column) are allowed.
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

namespace {

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

namespace {

// A translator in place of the platform's local lookup; it asks nobody else.
class TranslatorPlatform : public IAccountPlatform {
public:
    explicit TranslatorPlatform(AccountLookup::Translator translate) : m_translate(std::move(translate)) {}
    Answers LookupLocal(const std::vector<void*>& sids) override
    {
        Answers answers;
        for (AccountName& names : m_translate(sids)) {
            if (names.domain.empty() && names.name.empty())
                answers.emplace_back();
            else
                answers.emplace_back(std::move(names));
        }
        return answers;
    }
    std::vector<unsigned char> AccountDomainSid() override { return {}; }
    std::wstring DomainName(void*) override { return {}; }
    std::wstring LocateController(const std::wstring&) override { return {}; }
    Answers LookupAt(const std::wstring&, const std::vector<void*>&) override { return {}; }

private:
    AccountLookup::Translator m_translate;
};

}  // namespace

AccountLookup::AccountLookup(Translator translate, size_t chunk, std::shared_ptr<IAccountPlatform> platform)
    : m_translate(std::move(translate)), m_chunk(chunk == 0 ? kChunk : chunk), m_platform(std::move(platform))
{
    // A translator without a platform only names accounts; it has no authority to ask.
    const bool verify = !m_translate || m_platform;
    if (m_translate && !m_platform)
        m_platform = std::make_shared<TranslatorPlatform>(m_translate);
    else if (!m_platform)
        m_platform = SystemAccountPlatform();
    if (verify)
        m_authorities = std::make_unique<DomainAuthorities>(m_platform);
    m_sidStart.push_back(0);  // id 0, kNoAccount, holds no words
    m_nameOf.push_back(0);
    m_statusOf.push_back(static_cast<uint8_t>(AccountStatus::Unverified));
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

// Rebuilds the index of ids with room for twice as many as there are, at least 64 slots.
void AccountLookup::Grow()
{
    size_t size = 64;
    while (size < m_sidStart.size() * 4)
        size *= 2;
    m_slots.assign(size, 0);
    for (uint32_t id = 1; id < m_sidStart.size(); ++id) {
        const uint32_t* words = Words(id);
        const size_t count = SidWords(words);
        m_slots[Locate(words, count, HashWords(words, count))] = id;
    }
}

void AccountLookup::DropIndex()
{
    m_slots.clear();
    m_slots.shrink_to_fit();
}

AccountLookup::SidId AccountLookup::Add(const std::vector<unsigned char>& sid)
{
    const size_t length = SidLength(sid);
    if (length == 0)
        return kNoAccount;
    if (m_slots.empty())
        Grow();  // the index was dropped
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
    m_statusOf.push_back(static_cast<uint8_t>(AccountStatus::Unverified));
    m_slots[slot] = id;
    if (m_sidStart.size() * 2 > m_slots.size())
        Grow();
    return id;
}

void AccountLookup::Resolve()
{
    const size_t chunks = PendingChunks();
    for (size_t i = 0; i < chunks; ++i)
        ResolveChunk(i);
    FinishResolve();
}

size_t AccountLookup::PendingChunks() const { return (m_sidStart.size() - m_resolved + m_chunk - 1) / m_chunk; }

size_t AccountLookup::ResolveChunk(size_t index)
{
    const size_t first = m_resolved + index * m_chunk;
    const size_t end = std::min(m_sidStart.size(), first + m_chunk);
    if (first >= end)
        return 0;
    std::vector<void*> batch;
    batch.reserve(end - first);
    for (size_t id = first; id < end; ++id)
        batch.push_back(const_cast<uint32_t*>(Words(static_cast<SidId>(id))));
    Apply(static_cast<SidId>(first), index, ResolveAccounts(*m_platform, batch, m_authorities.get()));
    return end - first;
}

void AccountLookup::FinishResolve()
{
    m_resolved = m_sidStart.size();
    m_failureChunk = 0;
}

// Each chunk writes only its own ids' entries; the shared name list and the failure are
// taken under the lock.
void AccountLookup::Apply(SidId first, size_t chunk, ChunkAnswer answer)
{
    const std::lock_guard<std::mutex> hold(m_applyLock);
    m_platformCalls += answer.calls;
    // A failure of an earlier round is kept (FinishResolve pins it to chunk 0).
    if (answer.failure && (!m_failure || chunk < m_failureChunk)) {
        m_failure = std::move(answer.failure);
        m_failureChunk = chunk;
    }
    for (size_t i = 0; i < answer.status.size(); ++i) {
        const SidId id = first + static_cast<SidId>(i);
        m_statusOf[id] = static_cast<uint8_t>(answer.status[i]);
        std::optional<AccountName>& names = answer.names[i];
        if (!names || (names->domain.empty() && names->name.empty()))
            continue;
        m_nameOf[id] = static_cast<uint32_t>(m_names.size());
        m_names.push_back(std::move(*names));
    }
}

const AccountName& AccountLookup::Name(SidId id) const
{
    return m_names[id < m_resolved ? m_nameOf[id] : 0];
}

std::vector<unsigned char> AccountLookup::Bytes(SidId id) const
{
    if (id == kNoAccount || id >= m_sidStart.size())
        return {};
    const uint32_t* words = Words(id);
    const auto* first = reinterpret_cast<const unsigned char*>(words);
    return std::vector<unsigned char>(first, first + SidWords(words) * sizeof(uint32_t));
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
