#include "mapping/MappingModel.h"

#include <algorithm>

#include "platform/TextConv.h"

namespace vcm {

MappingModel::MappingModel(std::unique_ptr<AccountLookup> accounts) : m_accounts(std::move(accounts))
{
    if (!m_accounts)
        m_accounts = std::make_unique<AccountLookup>();
}

MappingModel::Span MappingModel::Keep(std::wstring_view text)
{
    return {m_text.Append(text.data(), text.size()), static_cast<uint32_t>(text.size())};
}

MappingModel::Row MappingModel::Add(const Fields& fields)
{
    Stored row;
    row.key = Keep(fields.key);
    row.subscriber = Keep(fields.subscriberId);
    row.velto = Keep(fields.veltoAlias);
    if (fields.primary)
        row.flags |= kPrimary;
    if (fields.sid) {
        const std::vector<unsigned char>& bytes = *fields.sid;
        row.flags |= kHasSid;
        row.account = m_accounts->Add(bytes);
        // Bytes that are exactly their SID are kept once, in the lookup; others as read.
        if (row.account == AccountLookup::kNoAccount || SidLength(bytes) != bytes.size()) {
            row.flags |= kRawBytes;
            const Span raw = {m_bytes.Append(bytes.data(), bytes.size()), static_cast<uint32_t>(bytes.size())};
            m_raw.emplace_back(static_cast<Row>(m_rows.size()), raw);
        }
    }
    m_rows.push_back(row);
    return static_cast<Row>(m_rows.size() - 1);
}

std::vector<unsigned char> MappingModel::SidBytes(Row r) const
{
    const Stored& row = m_rows[r];
    if (row.flags & kRawBytes) {
        const auto it = std::lower_bound(m_raw.begin(), m_raw.end(), r,
                                         [](const std::pair<Row, Span>& entry, Row wanted) { return entry.first < wanted; });
        if (it == m_raw.end() || it->first != r || it->second.size == 0)
            return {};
        const unsigned char* first = m_bytes.At(it->second.at);
        return std::vector<unsigned char>(first, first + it->second.size);
    }
    if (row.flags & kHasSid)
        return m_accounts->Bytes(row.account);
    return {};
}

AccountStatus MappingModel::Status(Row r) const { return m_accounts->Status(m_rows[r].account); }

std::wstring MappingModel::SidText(Row r) const
{
    const Stored& row = m_rows[r];
    if (row.account != AccountLookup::kNoAccount)
        return SidString(m_accounts->Bytes(row.account));
    return HexText(SidBytes(r));
}

std::wstring MappingModel::AccountText(Row r) const
{
    const AccountName& account = Account(r);
    return AccountDisplayText(account.domain, account.name, SidText(r));
}

std::wstring HexText(const std::vector<unsigned char>& bytes)
{
    if (bytes.empty())
        return {};
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text = L"0x";
    text.reserve(2 + 2 * bytes.size());
    for (unsigned char b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0xF];
    }
    return text;
}

std::wstring SidDisplayText(const std::vector<unsigned char>& bytes)
{
    std::wstring text = SidString(bytes);
    return text.empty() ? HexText(bytes) : text;
}

std::wstring AccountDisplayText(std::wstring_view domain, std::wstring_view name, const std::wstring& sidText)
{
    const std::wstring d = TrimBlanks(domain);
    const std::wstring n = TrimBlanks(name);
    if (d.empty() && n.empty() && !sidText.empty())
        return sidText;
    return d + L"\\" + n;
}

}  // namespace vcm
