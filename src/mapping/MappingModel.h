// The credential mappings one load produced, each row as it came from the database with its
// resolved account: the data that the grid shows, removal and export read, and a report or
// a bulk removal can use without any window.
//
//   MappingModel::Row r            a row number, 0 .. Size()-1, stable for the model's life
//   Key(r)                         the mapping's msrepl_tran_version, as text, as read
//   SidBytes(r), HasSid(r)         the stored account bytes as read (HasSid: not Null)
//   SubscriberId(r), Primary(r), VeltoAlias(r)   (VeltoAlias "ERROR!" when no subscriber)
//   Account(r)                     domain and name the system gave; both empty when none
//   Status(r)                      Resolved, Deleted or Unverified
//   SidText(r)                     "S-1-..." text, the bytes in hex when they hold no SID
//   AccountText(r)                 domain\name; SidText when there are no names
//
// A model is filled once by the loader and read-only afterwards, so several threads may read
// it at once.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapping/AccountLookup.h"
#include "platform/ChunkedArena.h"

namespace vcm {

class MappingModel {
public:
    using Row = uint32_t;

    // What the loader read for one mapping; the account comes from the model's lookup.
    struct Fields {
        std::wstring_view key;
        std::wstring_view subscriberId;
        std::wstring_view veltoAlias;
        bool primary = false;
        const std::vector<unsigned char>* sid = nullptr;  // nullptr: Null or not binary
    };

    explicit MappingModel(std::unique_ptr<AccountLookup> accounts);
    MappingModel(const MappingModel&) = delete;
    MappingModel& operator=(const MappingModel&) = delete;

    // Filling, by the loader: Add queues the row's account in the lookup, whose Resolve()
    // must run before names and statuses are read.
    Row Add(const Fields& fields);
    // Room for this many rows, so that adding up to there copies none.
    void Reserve(size_t rows) { m_rows.reserve(rows); }
    AccountLookup& Accounts() { return *m_accounts; }
    // Keeps only the rows for which keep(row) is true, in their order; rows are renumbered.
    template <class Keep>
    void KeepOnly(Keep keep)
    {
        size_t kept = 0;
        size_t raw = 0;  // m_raw is in row order, as the rows are
        size_t rawKept = 0;
        for (size_t i = 0; i < m_rows.size(); ++i) {
            const bool hasRaw = raw < m_raw.size() && m_raw[raw].first == i;
            if (keep(static_cast<Row>(i))) {
                if (hasRaw)
                    m_raw[rawKept++] = {static_cast<Row>(kept), m_raw[raw].second};
                m_rows[kept++] = m_rows[i];
            }
            raw += hasRaw ? 1 : 0;
        }
        m_rows.resize(kept);
        m_raw.resize(rawKept);
    }

    size_t Size() const { return m_rows.size(); }
    std::wstring_view Key(Row r) const { return Text(m_rows[r].key); }
    std::wstring_view SubscriberId(Row r) const { return Text(m_rows[r].subscriber); }
    std::wstring_view VeltoAlias(Row r) const { return Text(m_rows[r].velto); }
    bool Primary(Row r) const { return (m_rows[r].flags & kPrimary) != 0; }
    bool HasSid(Row r) const { return (m_rows[r].flags & kHasSid) != 0; }
    std::vector<unsigned char> SidBytes(Row r) const;
    const AccountName& Account(Row r) const { return m_accounts->Name(m_rows[r].account); }
    AccountStatus Status(Row r) const;
    std::wstring SidText(Row r) const;
    std::wstring AccountText(Row r) const;

private:
    struct Span {
        uint32_t at = 0;
        uint32_t size = 0;
    };
    static constexpr uint8_t kPrimary = 1;
    static constexpr uint8_t kHasSid = 2;
    static constexpr uint8_t kRawBytes = 4;  // the bytes differ from the SID they hold: kept as read
    // 32 bytes a row; texts live in the arena, SIDs and names once per account in the lookup.
    // Bytes that are exactly their SID (nearly all) take no room of their own; the others
    // are kept as read in m_raw.
    struct Stored {
        Span key;
        Span subscriber;
        Span velto;
        AccountLookup::SidId account = AccountLookup::kNoAccount;
        uint8_t flags = 0;
    };

    Span Keep(std::wstring_view text);
    std::wstring_view Text(const Span& span) const
    {
        return span.size ? std::wstring_view(m_text.At(span.at), span.size) : std::wstring_view(L"", 0);
    }

    std::unique_ptr<AccountLookup> m_accounts;
    std::vector<Stored> m_rows;
    ChunkedArena<wchar_t> m_text;
    ChunkedArena<unsigned char> m_bytes;
    std::vector<std::pair<Row, Span>> m_raw;  // rows with kRawBytes, in row order
};

// The bytes as upper-case hex after "0x", as a binary literal reads; empty for no bytes.
std::wstring HexText(const std::vector<unsigned char>& bytes);
// The S-1-... text of the SID in the bytes, or their hex when they hold none.
std::wstring SidDisplayText(const std::vector<unsigned char>& bytes);
// How the question and the log name an account: domain\name (trimmed); with neither name,
// the SID text when there is one, else the bare "\".
std::wstring AccountDisplayText(std::wstring_view domain, std::wstring_view name, const std::wstring& sidText);

}  // namespace vcm
