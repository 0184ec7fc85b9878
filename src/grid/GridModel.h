// The mapping grid's data: rows of cells found by column key, the column order the user
// sees, the current row, sort and redraw state. It holds no window; GridView shows it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/ChunkedArena.h"

namespace vcm {

// A cell holds text, or a Boolean in a check-box column.
using CellValue = std::variant<std::wstring, bool>;

enum class CellAlignment { General, Centre };

struct GridColumn {
    std::wstring key;          // empty for the unkeyed column 0
    std::wstring header;       // design-time header text (row 0)
    int widthTwips = 0;
    CellAlignment alignment = CellAlignment::General;
    bool boolean = false;      // shown as a check box
    bool hidden = false;       // zero width, cannot be resized or shown by the user
};

// What changed, for the view. While redraw is off nothing is announced; turning it back
// on announces one Everything.
enum class GridChange { Everything, Rows, Cells, Columns, CurrentRow };

// Data rows that live outside the grid: a bound grid shows them without copying them and
// keeps only their order (one record number per row). Read on the grid's thread only.
class IGridRowSource {
public:
    // A cell's content: text, or a Boolean when flag is 0 or 1. The text stays valid until
    // the next call on the source.
    struct Cell {
        std::wstring_view text;
        int flag = -1;
    };
    virtual ~IGridRowSource() = default;
    virtual Cell RowCell(uint32_t record, int design) const = 0;
};

class IGridObserver {
public:
    virtual ~IGridObserver() = default;
    virtual void OnGridChanged(GridChange change) = 0;
    // Redraw was switched off (false) or back on (true); a view stops or resumes painting.
    virtual void OnGridRedraw(bool enabled) {}
};

class GridModel {
public:
    // Columns in design order; design position i is the column's position until the user moves it.
    explicit GridModel(std::vector<GridColumn> columns);

    void SetObserver(IGridObserver* observer) { m_observer = observer; }

    // Rows including the header row 0; data rows are 1 .. Rows()-1.
    int Rows() const { return m_rowCount; }
    // Shows these records of the source as the data rows, in this order; the grid keeps the
    // source alive. Cells of bound data rows are read-only. SetRows(1) lets go of the source.
    void Bind(std::shared_ptr<const IGridRowSource> source, std::vector<uint32_t> records);
    const std::shared_ptr<const IGridRowSource>& Source() const { return m_source; }
    // The record a bound data row shows.
    uint32_t Record(int row) const;

    // Cuts back (1 keeps only the header row) or appends empty rows at the bottom (not while bound).
    void SetRows(int count);
    // Makes room for this many rows (header included), so that appending up to there moves nothing.
    void Reserve(int rows);

    int Cols() const { return static_cast<int>(m_columns.size()); }
    // The current position of the column with this key (case-sensitive), -1 when there is none.
    int ColIndex(std::wstring_view key) const;
    // The column shown at a position.
    const GridColumn& ColumnAt(int position) const;
    // Design index of the column shown at a position.
    int DesignIndexAt(int position) const;
    // Moves the column at `from` to position `to`; the others shift.
    void MoveColumn(int from, int to);
    // Sets the whole order: order[position] = design index. Returns false (and changes
    // nothing) unless it is a permutation of 0 .. Cols()-1.
    bool SetColumnOrder(const std::vector<int>& order);
    std::vector<int> ColumnOrder() const { return m_order; }
    // The column and the cell by design index, whatever the current order (for the view,
    // whose columns stay in design order while only their display order changes).
    const GridColumn& DesignColumn(int design) const;
    // Hides or shows a column by design index; a view gives it zero width while hidden.
    void SetColumnHidden(int design, bool hidden);
    CellValue DesignCell(int row, int design) const;

    // Cells addressed by row and current column position. Throws Error 381 ("Subscript out of
    // range") for a row or column that does not exist.
    void SetCell(int row, int col, CellValue value);
    void SetCellText(int row, int col, std::wstring_view text);
    CellValue Cell(int row, int col) const;
    // A text cell's text, empty for a Boolean; valid until the grid next changes or, for a
    // bound row, the next cell read.
    std::wstring_view CellText(int row, int col) const;
    // The text a cell holds: its text, or "True"/"False" for a Boolean.
    std::wstring TextMatrix(int row, int col) const;

    // Removes a data row; the rows below move up. The header row cannot be removed.
    void RemoveItem(int row);
    // Removes these data rows (ascending, no repeats) at once; the others keep their order.
    void RemoveRows(const std::vector<int>& rows);

    // The current row: the data row the user selected, 0 when none is.
    int Row() const { return m_row; }
    void SetRow(int row);

    // Sorts the data rows by a column (stable; text without regard to case, unchecked
    // before checked). The current row follows its data.
    void Sort(int col, bool ascending);
    int SortColumn() const { return m_sortCol; }  // position, -1 when not sorted
    bool SortAscending() const { return m_sortAscending; }

    // 0 stops announcing changes; any other value resumes and announces everything once.
    void SetRedraw(int mode);
    int Redraw() const { return m_redraw; }

private:
    // One cell: a stretch of the text store, or a Boolean. Eight bytes a cell and no heap
    // block of its own keep a grid of hundreds of thousands of rows small.
    struct Slot {
        static constexpr uint32_t kBoolean = 0xFFFFFFFFu;
        uint32_t ref = 0;   // position in m_text, or kBoolean
        uint32_t size = 0;  // characters, or the Boolean's value
    };

    int CheckedDesign(int row, int col) const;
    Slot& SlotAt(int row, int design) { return m_cells[static_cast<size_t>(row) * m_columns.size() + static_cast<size_t>(design)]; }
    const Slot& SlotAt(int row, int design) const
    {
        return m_cells[static_cast<size_t>(row) * m_columns.size() + static_cast<size_t>(design)];
    }
    std::wstring_view TextOf(const Slot& slot) const;
    CellValue ValueOf(const Slot& slot) const;
    IGridRowSource::Cell CellAt(int row, int design) const;
    static CellValue ValueOf(const IGridRowSource::Cell& cell);
    Slot& WritableSlot(int row, int col);
    std::vector<size_t> SortedRows(int design, bool ascending) const;
    void StoreText(Slot& slot, std::wstring_view text);
    void Forget(const Slot& slot);
    void CompactText();
    void Announce(GridChange change);

    std::vector<GridColumn> m_columns;          // design order
    std::vector<int> m_order;                   // position -> design index
    std::vector<Slot> m_cells;                  // [row * Cols() + design index]
    ChunkedArena<wchar_t> m_text;               // the cells' texts
    size_t m_unused = 0;                        // characters in m_text no cell refers to
    std::shared_ptr<const IGridRowSource> m_source;  // the data rows' source while bound
    std::vector<uint32_t> m_records;            // data row r shows m_records[r - 1] while bound
    int m_rowCount = 0;
    int m_row = 0;
    int m_sortCol = -1;
    bool m_sortAscending = true;
    int m_redraw = 2;
    bool m_pending = false;
    IGridObserver* m_observer = nullptr;
};

}  // namespace vcm
