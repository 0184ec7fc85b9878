// Turns stored security identifiers into the domain and account names Windows knows them by,
// and tells who answered for each. A load queues the identifiers of its rows, has them
// translated in batches (one platform call per chunk of distinct identifiers, so a domain
// controller is asked once per chunk and not once per deleted account) and then reads each
// row's names and status. Each chunk is resolved on its own (ResolveAccounts), sharing only
// the platform and the domain authorities, which guard themselves with a lock.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ChunkedArena.h"
#include "platform/Error.h"

namespace vcm {

// Who answered for an account: the system named it (Resolved); the authority for its domain
// said it has no such account (Deleted); nobody with authority could say (Unverified).
enum class AccountStatus : uint8_t { Resolved, Deleted, Unverified };

struct AccountName {
    std::wstring domain;
    std::wstring name;
};

// The names as the ANSI lookup (LookupAccountSidA) hands them over: in the ANSI code page,
// cut at a zero, without blanks at either end, and both empty when either does not fit the
// lookup's 255-character buffers. The batch translation answers in UTF-16; this keeps both
// ways alike.
AccountName AnsiAccountName(std::wstring_view domain, std::wstring_view name);

// The standard "S-1-..." text of the identifier the bytes start with; empty when they hold
// none. The bytes are checked as for a lookup before the system reads them.
std::wstring SidString(const std::vector<unsigned char>& bytes);
// The length of the SID the bytes start with, 0 when they hold none.
size_t SidLength(const std::vector<unsigned char>& bytes);

class IAccountPlatform;
struct ChunkAnswer;
class DomainAuthorities;

class AccountLookup {
public:
    using SidId = uint32_t;
    // The id of bytes that hold no valid identifier; its names are empty.
    static constexpr SidId kNoAccount = 0;
    // Identifiers per platform call; the platform takes at most 20,480.
    static constexpr size_t kChunk = 4096;

    // Translates a batch of identifiers (pointers to valid SID structures) in place of the
    // platform's local lookup: one name per identifier, in order, empty where the system
    // knows no such account. Throws Error when the call as a whole fails.
    using Translator = std::function<std::vector<AccountName>(const std::vector<void*>& sids)>;

    // Without a translator and a platform, the system's calls do both jobs. A translator
    // without a platform only names accounts: what it cannot name stays Unverified.
    explicit AccountLookup(Translator translate = {}, size_t chunk = kChunk,
                           std::shared_ptr<IAccountPlatform> platform = {});
    ~AccountLookup();
    AccountLookup(const AccountLookup&) = delete;
    AccountLookup& operator=(const AccountLookup&) = delete;

    // Queues the identifier in these bytes (trailing bytes beyond its length are allowed, as
    // in a padded column) and returns its id; equal identifiers share one id. Bytes that
    // hold no valid identifier get kNoAccount and are never passed to the system.
    SidId Add(const std::vector<unsigned char>& sid);
    // Lets go of the index that finds equal identifiers (a quarter of the lookup's memory)
    // once no more are added; an Add afterwards rebuilds it.
    void DropIndex();
    // Translates every identifier queued since the last call, in chunks, and decides each
    // one's status: Resolved when named; Deleted when the authority of its domain (this
    // machine for BUILTIN and its own account domain, else a controller of the domain asked
    // directly) says it has no such account; Unverified when nobody with authority could say.
    void Resolve();
    // The same in steps, for several threads: PendingChunks() says how many chunks the
    // identifiers queued so far make (PendingIds() how many identifiers); ResolveChunk(i)
    // resolves chunk i and returns its identifier count, and may run on several threads at
    // once for different chunks while nothing is added; FinishResolve() makes the answers
    // readable once every chunk has been resolved. The failure kept is that of the first
    // failing chunk in order, as with Resolve().
    size_t PendingChunks() const;
    size_t PendingIds() const { return m_sidStart.size() - m_resolved; }
    size_t ResolveChunk(size_t index);
    void FinishResolve();
    // The names of a resolved id: empty when the bytes hold no valid identifier or the system
    // cannot name the account (deleted account, failed call, name too long for the buffers).
    const AccountName& Name(SidId id) const;
    // The status of a resolved id; kNoAccount and ids not resolved yet are Unverified.
    AccountStatus Status(SidId id) const
    {
        return id < m_resolved ? static_cast<AccountStatus>(m_statusOf[id]) : AccountStatus::Unverified;
    }
    // The SID of an id, exactly its own length; empty for kNoAccount.
    std::vector<unsigned char> Bytes(SidId id) const;

    // One identifier through one LookupAccountSidA call, nothing queued or kept.
    AccountName Lookup(const std::vector<unsigned char>& sid);

    // The first failure since construction that was not "no such account": a batch call that
    // failed as a whole (here or at a domain controller), or a single lookup the system
    // refused for another reason.
    const std::optional<Error>& Failure() const { return m_failure; }
    // Platform calls made so far: lookups here and at controllers, questions about domains.
    int PlatformCalls() const { return m_platformCalls; }

private:
    const uint32_t* Words(SidId id) const { return m_sidWords.At(m_sidStart[id]); }
    size_t Locate(const uint32_t* words, size_t count, uint64_t hash) const;
    void Grow();
    void Apply(SidId first, size_t chunk, ChunkAnswer answer);

    Translator m_translate;
    size_t m_chunk;
    std::shared_ptr<IAccountPlatform> m_platform;
    std::unique_ptr<DomainAuthorities> m_authorities;  // none: nobody to ask beyond the local lookup
    // Identifier i (from 1) starts at m_sidStart[i] in m_sidWords, word-aligned as the
    // platform's SID structure wants it; its own sub-authority count gives its length.
    ChunkedArena<uint32_t> m_sidWords;
    std::vector<uint32_t> m_sidStart;
    std::vector<uint32_t> m_slots;  // open addressing over ids, 0 = free
    // Names by id: an index into m_names, 0 (empty names) for an account without a name, so
    // that many deleted accounts cost four bytes each.
    std::vector<uint32_t> m_nameOf;
    std::vector<AccountName> m_names;
    std::vector<uint8_t> m_statusOf;  // AccountStatus by id
    size_t m_resolved = 1;          // ids below this one have their names
    std::optional<Error> m_failure;
    size_t m_failureChunk = 0;  // the chunk m_failure came from: the first one in order wins
    int m_platformCalls = 0;
    std::mutex m_applyLock;     // chunks resolved at once apply their answers one at a time
};

}  // namespace vcm
