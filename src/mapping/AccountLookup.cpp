#include "mapping/AccountLookup.h"

#include <windows.h>
#include <cstring>

#include "platform/TextConv.h"

namespace vcm {

namespace {

// The account and domain buffers hold 255 characters and the terminating zero.
constexpr DWORD kNameBufferChars = 256;
// A SID is at most 8 bytes of header and 15 sub-authorities of 4 bytes.
constexpr size_t kMaxSidBytes = 8 + 4 * SID_MAX_SUB_AUTHORITIES;
constexpr size_t kSidHeaderBytes = 8;

// The text the lookup wrote, up to its terminating zero, without blanks at either end.
std::wstring BufferText(const char* buffer)
{
    const size_t length = strnlen(buffer, kNameBufferChars);
    return TrimBlanks(FromAnsi(std::string_view(buffer, length)));
}

AccountName Resolve(const std::vector<unsigned char>& bytes)
{
    // Check the header before the system reads any sub-authority: the count must fit both
    // the bytes we have and the format's limit. Trailing bytes (a padded column) are allowed.
    if (bytes.size() < kSidHeaderBytes)
        return {};
    const size_t subAuthorities = bytes[1];
    const size_t declared = kSidHeaderBytes + 4 * subAuthorities;
    if (subAuthorities > SID_MAX_SUB_AUTHORITIES || declared > bytes.size())
        return {};
    // An aligned copy, since the system expects a SID structure, not a byte array.
    alignas(SID) unsigned char copy[kMaxSidBytes] = {};
    std::memcpy(copy, bytes.data(), declared);
    PSID sid = copy;
    if (!IsValidSid(sid) || GetLengthSid(sid) > bytes.size())
        return {};

    char name[kNameBufferChars];
    char domain[kNameBufferChars];
    std::memset(name, ' ', sizeof(name) - 1);
    std::memset(domain, ' ', sizeof(domain) - 1);
    name[kNameBufferChars - 1] = '\0';
    domain[kNameBufferChars - 1] = '\0';
    DWORD nameChars = kNameBufferChars;
    DWORD domainChars = kNameBufferChars;
    SID_NAME_USE use = SidTypeUnknown;
    if (!LookupAccountSidA(nullptr, sid, name, &nameChars, domain, &domainChars, &use))
        return {};
    return {BufferText(domain), BufferText(name)};
}

}  // namespace

AccountName AccountLookup::Lookup(const std::vector<unsigned char>& sid)
{
    if (const auto it = m_cache.find(sid); it != m_cache.end())
        return it->second;
    AccountName result = Resolve(sid);
    m_cache.emplace(sid, result);
    return result;
}

}  // namespace vcm
