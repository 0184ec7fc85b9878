#include "mapping/RowClipboard.h"

#include <cstring>

#include "platform/Handles.h"
#include "platform/TextConv.h"

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

std::wstring ClipboardLine(const std::vector<std::wstring>& fields)
{
    std::wstring line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += L'\t';
        const std::wstring& field = fields[i];
        if (field.find_first_of(L"\t\r\n\"") == std::wstring::npos)
            line += field;
        else
            line += Enclose(field, L'"', L'"');
    }
    return line;
}

std::optional<std::wstring> SelectedRowLine(const GridModel& grid)
{
    const int row = grid.Row();
    if (row < 1 || row >= grid.Rows())
        return std::nullopt;
    std::vector<std::wstring> fields;
    for (int position = 0; position < grid.Cols(); ++position) {
        const GridColumn& column = grid.ColumnAt(position);
        if (column.hidden)
            continue;
        const CellValue& cell = grid.Cell(row, position);
        if (const bool* flag = std::get_if<bool>(&cell))
            fields.push_back(*flag ? L"1" : L"0");
        else
            fields.push_back(std::get<std::wstring>(cell));
    }
    return ClipboardLine(fields);
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
