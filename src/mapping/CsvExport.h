// Writing the mappings the grid shows to a comma-separated text file the administrator picks.
#pragma once
#include <windows.h>

#include <string_view>

#include "grid/GridModel.h"
#include "platform/Dialogs.h"

namespace vcm {

// The main window's "Export Grid Info to CSV" command, start to end: asks for a file in
// the Save dialog and writes the header and one line per data row, in the grid's current
// order. The file appears complete or not at all: it is written under a temporary name
// beside the target and moved over it at the end. A failure is reported once and ends
// the export. Never throws.
void ExportGridToCsv(const GridModel& grid, IDialogs& dialogs);

// How the export's bytes reach the temporary file: 0, or the system's error, as WriteWhole
// answers. Tests put in a writer that fails part-way, as a full disk does; nullptr puts
// WriteWhole back.
using CsvFileWriter = DWORD (*)(HANDLE file, std::string_view bytes);
void SetCsvFileWriter(CsvFileWriter writer);

}  // namespace vcm
