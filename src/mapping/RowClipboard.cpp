#include "mapping/RowClipboard.h"

#include <cstring>

#include "platform/Handles.h"

namespace vcm {

namespace {

// Another program may hold the clipboard open for a moment; try a few times.
bool OpenClipboardFor(HWND owner)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (OpenClipboard(owner))
            return true;
        Sleep(20);
    }
    return false;
}

}  // namespace

std::optional<std::wstring> SelectedRowLine(const GridModel& grid)
{
    const int row = grid.Row();
    if (row < 1 || row >= grid.Rows())
        return std::nullopt;
    std::wstring line;
    bool first = true;
    for (int position = 0; position < grid.Cols(); ++position) {
        const GridColumn& column = grid.ColumnAt(position);
        if (column.hidden)
            continue;
        if (!first)
            line += L'\t';
        first = false;
        const CellValue& cell = grid.Cell(row, position);
        if (const bool* flag = std::get_if<bool>(&cell))
            line += *flag ? L'1' : L'0';
        else
            line += std::get<std::wstring>(cell);
    }
    return line;
}

bool CopySelectedRow(const GridModel& grid, HWND owner)
{
    const std::optional<std::wstring> line = SelectedRowLine(grid);
    if (!line)
        return false;
    const size_t bytes = (line->size() + 1) * sizeof(wchar_t);
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory)
        return false;
    void* target = GlobalLock(memory.get());
    if (!target)
        return false;
    std::memcpy(target, line->c_str(), bytes);
    GlobalUnlock(memory.get());
    if (!OpenClipboardFor(owner))
        return false;
    const bool done = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr;
    if (done)
        memory.release();  // once SetClipboardData succeeds the memory belongs to the system
    CloseClipboard();
    return done;
}

}  // namespace vcm
