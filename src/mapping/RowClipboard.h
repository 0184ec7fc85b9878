// The selected grid row as text for other programs: one line of the shown columns in the
// order the user sees them, separated by tabs, put on the clipboard as Unicode text.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "grid/GridModel.h"

namespace vcm {

// Shown values joined by tabs into the line other programs paste. A value that holds a tab,
// a line break or a double quote is put in double quotes with inner quotes doubled, as
// spreadsheets copy such cells, so that the line always reads back as exactly these fields.
std::wstring ClipboardLine(const std::vector<std::wstring>& fields);

// The current row's shown cells in display order as a ClipboardLine; a check-box cell reads
// 1 or 0. Nothing when no data row is selected.
std::optional<std::wstring> SelectedRowLine(const GridModel& grid);

// Replaces the clipboard's contents with the selected row's line; leaves the clipboard as
// it was and returns false when no row is selected or the clipboard cannot be had.
bool CopySelectedRow(const GridModel& grid, HWND owner);

}  // namespace vcm
