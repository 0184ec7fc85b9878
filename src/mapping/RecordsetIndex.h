// The recordset's per-column index for find and filter; only the recordset includes this.
#pragma once
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>


#include "mapping/CaseFold.h"
#include "mapping/Recordset.h"
#include "platform/Prefetch.h"

namespace vcm {

// No row: the end of a chain, a free slot.
inline constexpr uint32_t kNoRow = std::numeric_limits<uint32_t>::max();

// For one column: every non-Null row chained by its case-folded text, in row order, so that
// a find from any row walks only the rows that hold the value. The table is flat (open
// addressing on the folded hash) and a lookup allocates nothing: one find per mapping row
// must stay cheap for tables of hundreds of thousands of rows.
class Recordset::ColumnIndex {
public:
    ColumnIndex(const Recordset& set, size_t col) : m_set(set), m_col(col), m_next(set.m_rowCount, kNoRow)
    {
        size_t capacity = 16;
        while (capacity < set.m_rowCount * 2)
            capacity *= 2;
        m_slots.assign(capacity, Slot{0, kNoRow});
        // Walking backwards, each chain's head ends as its first row. Each row's slot is
        // hashed and asked for kAhead rows before the row goes in.
        constexpr size_t kAhead = 8;
        uint64_t hashes[kAhead];
        std::wstring scratch;
        const size_t rows = set.m_rowCount;
        for (size_t i = 0; i < rows + kAhead; ++i) {
            if (i >= kAhead)
                Insert(rows - 1 - (i - kAhead), hashes, scratch);
            if (i < rows) {
                const size_t r = rows - 1 - i;
                const StoredCell& cell = set.Cell(r, col);
                if (cell.kind() == StoredCell::Kind::Null)
                    continue;
                hashes[r % kAhead] = FoldedHash(set.TextOf(cell, scratch));
                Prefetch(&m_slots[hashes[r % kAhead] & (m_slots.size() - 1)]);
            }
        }
    }

    uint32_t First(std::wstring_view text) const { return m_slots[Locate(FoldedHash(text), text)].row; }

    // First for each of many texts: found(i, row). A lookup touches three places far apart
    // in a large set (its slot, the slot's cell, the cell's text); the walk asks for each
    // place several texts before it needs it, so that memory answers while others compare.
    template <class Found>
    void FirstEach(std::span<const std::wstring_view> texts, Found found) const
    {
        constexpr size_t kAhead = 8;  // texts between two stages of one lookup
        constexpr size_t kRing = 4 * kAhead;
        uint64_t hashes[kRing];
        const size_t mask = m_slots.size() - 1;
        for (size_t i = 0; i < texts.size() + 3 * kAhead; ++i) {
            if (i < texts.size()) {
                hashes[i % kRing] = FoldedHash(texts[i]);
                Prefetch(&m_slots[hashes[i % kRing] & mask]);
            }
            if (i >= kAhead && i - kAhead < texts.size()) {
                const uint32_t row = m_slots[hashes[(i - kAhead) % kRing] & mask].row;
                if (row != kNoRow)
                    Prefetch(&m_set.Cell(row, m_col));
            }
            if (i >= 2 * kAhead && i - 2 * kAhead < texts.size()) {
                const uint32_t row = m_slots[hashes[(i - 2 * kAhead) % kRing] & mask].row;
                if (row != kNoRow) {
                    const StoredCell& cell = m_set.Cell(row, m_col);
                    if (cell.kind() == StoredCell::Kind::Text && cell.length != 0)
                        Prefetch(m_set.m_text.At(cell.payload));
                }
            }
            if (i >= 3 * kAhead) {
                const size_t j = i - 3 * kAhead;
                found(j, m_slots[Locate(hashes[j % kRing], texts[j])].row);
            }
        }
    }
    uint32_t Next(uint32_t row) const { return m_next[row]; }

private:
    template <size_t kRing>
    void Insert(size_t r, const uint64_t (&hashes)[kRing], std::wstring& scratch)
    {
        const StoredCell& cell = m_set.Cell(r, m_col);
        if (cell.kind() == StoredCell::Kind::Null)
            return;
        const uint64_t hash = hashes[r % kRing];
        Slot& slot = m_slots[Locate(hash, m_set.TextOf(cell, scratch))];
        slot.tag = Tag(hash);
        if (slot.row != kNoRow)
            m_next[r] = slot.row;
        slot.row = static_cast<uint32_t>(r);
    }

    struct Slot {
        uint32_t tag;  // high half of the folded hash; the low half chose the slot
        uint32_t row;  // first row of the chain, kNoRow for a free slot
    };
    static uint32_t Tag(uint64_t hash) { return static_cast<uint32_t>(hash >> 32); }

    // The slot holding this text's chain, or the free slot where it would go.
    size_t Locate(uint64_t hash, std::wstring_view text) const
    {
        const size_t mask = m_slots.size() - 1;
        std::wstring scratch;
        for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.row == kNoRow)
                return i;
            if (slot.tag == Tag(hash) && FoldedEqual(m_set.TextOf(m_set.Cell(slot.row, m_col), scratch), text))
                return i;
        }
    }

    const Recordset& m_set;
    size_t m_col;
    std::vector<Slot> m_slots;
    std::vector<uint32_t> m_next;
};

}  // namespace vcm
