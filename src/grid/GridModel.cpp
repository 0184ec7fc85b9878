#include "grid/GridModel.h"

#include <windows.h>
#include <algorithm>
#include <cstring>
#include <numeric>

#include "platform/ErrorCodes.h"

namespace vcm {

namespace {

[[noreturn]] void OutOfRange(const wchar_t* what)
{
    throw GridSubscriptError(what);
}

// The order the user's locale sorts text in, without regard to case, as one byte string per
// cell: comparing two keys bytewise gives what CompareStringEx gives for the two texts, so a
// sort asks the system once per row instead of once per comparison. A Boolean sorts before
// text, unchecked before checked.
void AppendSortKey(std::wstring_view text, std::vector<unsigned char>& keys)
{
    keys.push_back(1);
    const int length = static_cast<int>(text.size());
    const int size = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(), length,
                                   nullptr, 0, nullptr, nullptr, 0);
    if (size > 0) {
        const size_t at = keys.size();
        keys.resize(at + static_cast<size_t>(size));
        if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, text.data(), length,
                          reinterpret_cast<LPWSTR>(keys.data() + at), size, nullptr, nullptr, 0) == size)
            return;
        keys.resize(at);
    }
    // No key from the system (empty text among them): the code units, most significant byte first.
    for (wchar_t c : text) {
        keys.push_back(static_cast<unsigned char>(c >> 8));
        keys.push_back(static_cast<unsigned char>(c & 0xFF));
    }
}

int CompareKeys(const unsigned char* a, size_t aSize, const unsigned char* b, size_t bSize)
{
    const int r = std::memcmp(a, b, std::min(aSize, bSize));
    if (r != 0)
        return r;
    return aSize < bSize ? -1 : aSize > bSize ? 1 : 0;
}
}  // namespace

GridModel::GridModel(std::vector<GridColumn> columns) : m_columns(std::move(columns))
{
    m_order.resize(m_columns.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    m_cells.resize(m_columns.size());
    m_rowCount = 1;
    for (size_t design = 0; design < m_columns.size(); ++design)
        StoreText(m_cells[design], m_columns[design].header);
}

std::wstring_view GridModel::TextOf(const Slot& slot) const
{
    // An empty text still points somewhere: some system calls refuse a null pointer.
    if (slot.ref == Slot::kBoolean || slot.size == 0)
        return L"";
    return std::wstring_view(m_text.At(slot.ref), slot.size);
}

CellValue GridModel::ValueOf(const Slot& slot) const
{
    if (slot.ref == Slot::kBoolean)
        return slot.size != 0;
    return std::wstring(TextOf(slot));
}

IGridRowSource::Cell GridModel::CellAt(int row, int design) const
{
    if (row > 0 && m_source)
        return m_source->RowCell(m_records[static_cast<size_t>(row) - 1], design);
    const Slot& slot = SlotAt(row, design);
    if (slot.ref == Slot::kBoolean)
        return {L"", slot.size != 0 ? 1 : 0};
    return {TextOf(slot), -1};
}

CellValue GridModel::ValueOf(const IGridRowSource::Cell& cell)
{
    if (cell.flag >= 0)
        return cell.flag != 0;
    return std::wstring(cell.text);
}

GridModel::Slot& GridModel::WritableSlot(int row, int col)
{
    const int design = CheckedDesign(row, col);
    if (row > 0 && m_source)
        OutOfRange(L"GridModel bound row");
    return SlotAt(row, design);
}

void GridModel::Bind(std::shared_ptr<const IGridRowSource> source, std::vector<uint32_t> records)
{
    // Back to the header row without an announcement of its own: one follows below.
    const int redraw = m_redraw;
    const bool pending = m_pending;
    m_redraw = 0;
    SetRows(1);
    m_redraw = redraw;
    m_pending = pending;
    m_row = 0;
    m_sortCol = -1;
    m_source = std::move(source);
    m_records = m_source ? std::move(records) : std::vector<uint32_t>();
    m_rowCount = 1 + static_cast<int>(m_records.size());
    Announce(GridChange::Rows);
}

uint32_t GridModel::Record(int row) const
{
    if (!m_source || row < 1 || row >= Rows())
        OutOfRange(L"GridModel::Record");
    return m_records[static_cast<size_t>(row) - 1];
}

void GridModel::Forget(const Slot& slot)
{
    if (slot.ref != Slot::kBoolean)
        m_unused += slot.size;
}

void GridModel::StoreText(Slot& slot, std::wstring_view text)
{
    Forget(slot);
    slot.ref = m_text.Append(text.data(), text.size());
    slot.size = static_cast<uint32_t>(text.size());
}

// Texts that were overwritten or whose rows went stay in the store until they are the
// larger part of it; then the texts still in use move to a fresh store.
void GridModel::CompactText()
{
    if (m_unused < ChunkedArena<wchar_t>::kChunk || m_unused * 2 < m_text.Used())
        return;
    ChunkedArena<wchar_t> fresh;
    for (Slot& slot : m_cells) {
        if (slot.ref == Slot::kBoolean || slot.size == 0)
            continue;
        slot.ref = fresh.Append(m_text.At(slot.ref), slot.size);
    }
    m_text = std::move(fresh);
    m_unused = 0;
}

void GridModel::SetRows(int count)
{
    if (count < 1)
        count = 1;
    if (count == m_rowCount)
        return;
    if (m_source) {
        if (count > m_rowCount)
            OutOfRange(L"GridModel::SetRows");
        m_records.resize(static_cast<size_t>(count) - 1);
        m_rowCount = count;
        if (m_row >= count)
            m_row = 0;
        if (count == 1) {
            m_sortCol = -1;
            m_source.reset();
            m_records.shrink_to_fit();
        }
        Announce(GridChange::Rows);
        return;
    }
    const size_t cells = static_cast<size_t>(count) * m_columns.size();
    if (count < m_rowCount) {
        for (size_t i = cells; i < m_cells.size(); ++i)
            Forget(m_cells[i]);
        m_cells.resize(cells);
        m_rowCount = count;
        if (m_row >= count)
            m_row = 0;
        // Rows added from here on come in their own order, so no sort holds any more.
        if (count == 1)
            m_sortCol = -1;
        CompactText();
    } else {
        // resize, not reserve(cells): appending one row at a time would otherwise reallocate every time.
        m_cells.resize(cells);
        m_rowCount = count;
    }
    Announce(GridChange::Rows);
}

void GridModel::Reserve(int rows)
{
    if (rows > m_rowCount && !m_source)
        m_cells.reserve(static_cast<size_t>(rows) * m_columns.size());
}

int GridModel::ColIndex(std::wstring_view key) const
{
    for (size_t pos = 0; pos < m_order.size(); ++pos) {
        const GridColumn& c = m_columns[static_cast<size_t>(m_order[pos])];
        if (!c.key.empty() && c.key == key)
            return static_cast<int>(pos);
    }
    return -1;
}

const GridColumn& GridModel::ColumnAt(int position) const
{
    return m_columns[static_cast<size_t>(DesignIndexAt(position))];
}

int GridModel::DesignIndexAt(int position) const
{
    if (position < 0 || position >= Cols())
        OutOfRange(L"GridModel column");
    return m_order[static_cast<size_t>(position)];
}

void GridModel::MoveColumn(int from, int to)
{
    if (from < 0 || from >= Cols() || to < 0 || to >= Cols())
        OutOfRange(L"GridModel::MoveColumn");
    if (from == to)
        return;
    const int design = m_order[static_cast<size_t>(from)];
    m_order.erase(m_order.begin() + from);
    m_order.insert(m_order.begin() + to, design);
    if (m_sortCol == from)
        m_sortCol = to;
    else if (m_sortCol != -1) {
        if (from < m_sortCol && m_sortCol <= to)
            --m_sortCol;
        else if (to <= m_sortCol && m_sortCol < from)
            ++m_sortCol;
    }
    Announce(GridChange::Columns);
}

bool GridModel::SetColumnOrder(const std::vector<int>& order)
{
    if (order.size() != m_columns.size())
        return false;
    std::vector<int> sorted = order;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < sorted.size(); ++i)
        if (sorted[i] != static_cast<int>(i))
            return false;
    const int sortedDesign = m_sortCol >= 0 ? m_order[static_cast<size_t>(m_sortCol)] : -1;
    m_order = order;
    if (sortedDesign >= 0)
        m_sortCol = static_cast<int>(std::find(m_order.begin(), m_order.end(), sortedDesign) - m_order.begin());
    Announce(GridChange::Columns);
    return true;
}

const GridColumn& GridModel::DesignColumn(int design) const
{
    if (design < 0 || design >= Cols())
        OutOfRange(L"GridModel design column");
    return m_columns[static_cast<size_t>(design)];
}

void GridModel::SetColumnHidden(int design, bool hidden)
{
    if (design < 0 || design >= Cols())
        OutOfRange(L"GridModel::SetColumnHidden");
    if (m_columns[static_cast<size_t>(design)].hidden == hidden)
        return;
    m_columns[static_cast<size_t>(design)].hidden = hidden;
    Announce(GridChange::Columns);
}

CellValue GridModel::DesignCell(int row, int design) const
{
    if (row < 0 || row >= Rows() || design < 0 || design >= Cols())
        OutOfRange(L"GridModel::DesignCell");
    return ValueOf(CellAt(row, design));
}

int GridModel::CheckedDesign(int row, int col) const
{
    if (row < 0 || row >= Rows())
        OutOfRange(L"GridModel row");
    return DesignIndexAt(col);
}

void GridModel::SetCell(int row, int col, CellValue value)
{
    if (const bool* b = std::get_if<bool>(&value)) {
        Slot& slot = WritableSlot(row, col);
        Forget(slot);
        slot = {Slot::kBoolean, *b ? 1u : 0u};
        Announce(GridChange::Cells);
        return;
    }
    SetCellText(row, col, std::get<std::wstring>(value));
}

void GridModel::SetCellText(int row, int col, std::wstring_view text)
{
    StoreText(WritableSlot(row, col), text);
    Announce(GridChange::Cells);
}

CellValue GridModel::Cell(int row, int col) const { return ValueOf(CellAt(row, CheckedDesign(row, col))); }

std::wstring_view GridModel::CellText(int row, int col) const { return CellAt(row, CheckedDesign(row, col)).text; }

std::wstring GridModel::TextMatrix(int row, int col) const
{
    const IGridRowSource::Cell cell = CellAt(row, CheckedDesign(row, col));
    if (cell.flag >= 0)
        return cell.flag != 0 ? L"True" : L"False";
    return std::wstring(cell.text);
}

void GridModel::RemoveItem(int row)
{
    if (row < 1 || row >= Rows())
        OutOfRange(L"GridModel::RemoveItem");
    if (m_source) {
        m_records.erase(m_records.begin() + (row - 1));
    } else {
        const auto first = m_cells.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(row) * m_columns.size());
        for (auto it = first; it != first + static_cast<std::ptrdiff_t>(m_columns.size()); ++it)
            Forget(*it);
        m_cells.erase(first, first + static_cast<std::ptrdiff_t>(m_columns.size()));
        CompactText();
    }
    --m_rowCount;
    if (m_row > row)
        --m_row;
    else if (m_row == row)
        m_row = row < Rows() ? row : Rows() - 1;  // the row that moved up, or the new last row
    Announce(GridChange::Rows);
}

void GridModel::RemoveRows(const std::vector<int>& rows)
{
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i] < 1 || rows[i] >= Rows() || (i > 0 && rows[i] <= rows[i - 1]))
            OutOfRange(L"GridModel::RemoveRows");
    if (rows.empty())
        return;
    const size_t cols = m_columns.size();
    size_t next = 0;   // index into rows
    int kept = 1;      // rows written so far, header included
    int newCurrent = 0;
    for (int r = 1; r < m_rowCount; ++r) {
        if (next < rows.size() && rows[next] == r) {
            ++next;
            if (!m_source)
                for (size_t c = 0; c < cols; ++c)
                    Forget(SlotAt(r, static_cast<int>(c)));
            if (r == m_row)
                newCurrent = -1;  // placed below, as RemoveItem places it
            continue;
        }
        if (r == m_row)
            newCurrent = kept;
        if (kept != r && m_source)
            m_records[static_cast<size_t>(kept) - 1] = m_records[static_cast<size_t>(r) - 1];
        else if (kept != r)
            std::copy_n(&SlotAt(r, 0), cols, &SlotAt(kept, 0));
        ++kept;
    }
    if (newCurrent == -1) {
        // The current row went: the row that took its place, or the new last row.
        int removedAbove = 0;
        while (removedAbove < static_cast<int>(rows.size()) && rows[static_cast<size_t>(removedAbove)] < m_row)
            ++removedAbove;
        newCurrent = std::min(m_row - removedAbove, kept - 1);
    }
    m_row = newCurrent;
    if (m_source) {
        m_records.resize(static_cast<size_t>(kept) - 1);
    } else {
        m_cells.resize(static_cast<size_t>(kept) * cols);
        CompactText();
    }
    m_rowCount = kept;
    Announce(GridChange::Rows);
}

void GridModel::SetRow(int row)
{
    if (row < 0 || row >= Rows())
        row = 0;
    if (row == m_row)
        return;
    m_row = row;
    Announce(GridChange::CurrentRow);
}

// Data row indices (from 1) in the order of a column: one key per row, then a stable sort.
std::vector<size_t> GridModel::SortedRows(int design, bool ascending) const
{
    std::vector<unsigned char> keys;
    std::vector<size_t> keyStart;
    keyStart.reserve(static_cast<size_t>(m_rowCount) + 1);
    keyStart.push_back(0);
    keyStart.push_back(0);  // the header row has no key
    for (int r = 1; r < m_rowCount; ++r) {
        const IGridRowSource::Cell cell = CellAt(r, design);
        if (cell.flag >= 0) {
            keys.push_back(0);
            keys.push_back(cell.flag != 0 ? 1 : 0);
        } else {
            AppendSortKey(cell.text, keys);
        }
        keyStart.push_back(keys.size());
    }
    auto compare = [&](size_t a, size_t b) {
        return CompareKeys(keys.data() + keyStart[a], keyStart[a + 1] - keyStart[a], keys.data() + keyStart[b],
                           keyStart[b + 1] - keyStart[b]);
    };
    std::vector<size_t> index(static_cast<size_t>(m_rowCount) - 1);
    std::iota(index.begin(), index.end(), size_t{1});
    std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) {
        const int r = compare(a, b);
        return ascending ? r < 0 : r > 0;
    });
    return index;
}

void GridModel::Sort(int col, bool ascending)
{
    const int design = DesignIndexAt(col);
    if (Rows() > 2) {
        // Row indices sorted, so that the current row can follow its data.
        const std::vector<size_t> index = SortedRows(design, ascending);
        int newCurrent = 0;
        for (size_t i = 0; i < index.size(); ++i)
            if (static_cast<int>(index[i]) == m_row)
                newCurrent = static_cast<int>(i + 1);
        if (m_source) {
            std::vector<uint32_t> sorted(index.size());
            for (size_t i = 0; i < index.size(); ++i)
                sorted[i] = m_records[index[i] - 1];
            m_records = std::move(sorted);
        } else {
            const size_t cols = m_columns.size();
            std::vector<Slot> sorted;
            sorted.reserve(m_cells.size());
            sorted.insert(sorted.end(), m_cells.begin(), m_cells.begin() + static_cast<std::ptrdiff_t>(cols));
            for (size_t i = 0; i < index.size(); ++i) {
                const Slot* row = &SlotAt(static_cast<int>(index[i]), 0);
                sorted.insert(sorted.end(), row, row + cols);
            }
            m_cells = std::move(sorted);
        }
        m_row = newCurrent;
    }
    m_sortCol = col;
    m_sortAscending = ascending;
    Announce(GridChange::Everything);
}

void GridModel::SetRedraw(int mode)
{
    const bool wasOn = m_redraw != 0;
    m_redraw = mode;
    if (m_observer && wasOn != (mode != 0))
        m_observer->OnGridRedraw(mode != 0);
    if (mode != 0 && m_pending) {
        m_pending = false;
        if (m_observer)
            m_observer->OnGridChanged(GridChange::Everything);
    }
}

void GridModel::Announce(GridChange change)
{
    if (m_redraw == 0) {
        m_pending = true;
        return;
    }
    if (m_observer)
        m_observer->OnGridChanged(change);
}

}  // namespace vcm
