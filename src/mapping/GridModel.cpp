#include "mapping/GridModel.h"

#include <windows.h>
#include <algorithm>
#include <numeric>

#include "platform/Error.h"

namespace vcm {

namespace {
constexpr long kSubscriptOutOfRange = 381;

[[noreturn]] void OutOfRange(const wchar_t* what)
{
    throw Error(kSubscriptOutOfRange, L"Subscript out of range", what);
}

// Text order as the user's locale sorts it, without regard to case.
int CompareText(const std::wstring& a, const std::wstring& b)
{
    const int r = CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                                  b.c_str(), static_cast<int>(b.size()), nullptr, nullptr, 0);
    return r == 0 ? a.compare(b) : r - CSTR_EQUAL;
}

int CompareCells(const CellValue& a, const CellValue& b)
{
    const bool* ba = std::get_if<bool>(&a);
    const bool* bb = std::get_if<bool>(&b);
    if (ba && bb)
        return static_cast<int>(*ba) - static_cast<int>(*bb);
    if (ba || bb)  // a Boolean sorts before text
        return ba ? -1 : 1;
    return CompareText(std::get<std::wstring>(a), std::get<std::wstring>(b));
}
}  // namespace

GridModel::GridModel(std::vector<GridColumn> columns) : m_columns(std::move(columns))
{
    m_order.resize(m_columns.size());
    std::iota(m_order.begin(), m_order.end(), 0);
    std::vector<CellValue> header;
    header.reserve(m_columns.size());
    for (const GridColumn& c : m_columns)
        header.emplace_back(c.header);
    m_rows.push_back(std::move(header));
}

void GridModel::SetRows(int count)
{
    if (count < 1)
        count = 1;
    const size_t target = static_cast<size_t>(count);
    if (target == m_rows.size())
        return;
    if (target < m_rows.size()) {
        m_rows.resize(target);
        if (m_row >= count)
            m_row = 0;
        // Rows added from here on come in their own order, so no sort holds any more.
        if (count == 1)
            m_sortCol = -1;
    } else {
        // No reserve(target) here: appending one row at a time would reallocate every time.
        while (m_rows.size() < target)
            m_rows.emplace_back(m_columns.size(), CellValue(std::wstring()));
    }
    Announce(GridChange::Rows);
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

const CellValue& GridModel::DesignCell(int row, int design) const
{
    if (row < 0 || row >= Rows() || design < 0 || design >= Cols())
        OutOfRange(L"GridModel::DesignCell");
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(design)];
}

int GridModel::CheckedDesign(int row, int col) const
{
    if (row < 0 || row >= Rows())
        OutOfRange(L"GridModel row");
    return DesignIndexAt(col);
}

void GridModel::SetCell(int row, int col, CellValue value)
{
    const int design = CheckedDesign(row, col);
    m_rows[static_cast<size_t>(row)][static_cast<size_t>(design)] = std::move(value);
    Announce(GridChange::Cells);
}

const CellValue& GridModel::Cell(int row, int col) const
{
    const int design = CheckedDesign(row, col);
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(design)];
}

std::wstring GridModel::TextMatrix(int row, int col) const
{
    const CellValue& v = Cell(row, col);
    if (const bool* b = std::get_if<bool>(&v))
        return *b ? L"True" : L"False";
    return std::get<std::wstring>(v);
}

void GridModel::RemoveItem(int row)
{
    if (row < 1 || row >= Rows())
        OutOfRange(L"GridModel::RemoveItem");
    m_rows.erase(m_rows.begin() + row);
    if (m_row > row)
        --m_row;
    else if (m_row == row)
        m_row = row < Rows() ? row : Rows() - 1;  // the row that moved up, or the new last row
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

void GridModel::Sort(int col, bool ascending)
{
    const int design = DesignIndexAt(col);
    if (Rows() > 2) {
        // Sort row indices so that the current row can follow its data.
        std::vector<size_t> index(m_rows.size() - 1);
        std::iota(index.begin(), index.end(), size_t{1});
        std::stable_sort(index.begin(), index.end(), [&](size_t a, size_t b) {
            const int r = CompareCells(m_rows[a][static_cast<size_t>(design)], m_rows[b][static_cast<size_t>(design)]);
            return ascending ? r < 0 : r > 0;
        });
        std::vector<std::vector<CellValue>> sorted;
        sorted.reserve(m_rows.size());
        sorted.push_back(std::move(m_rows[0]));
        int newCurrent = 0;
        for (size_t i = 0; i < index.size(); ++i) {
            if (static_cast<int>(index[i]) == m_row)
                newCurrent = static_cast<int>(i + 1);
            sorted.push_back(std::move(m_rows[index[i]]));
        }
        m_rows = std::move(sorted);
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
