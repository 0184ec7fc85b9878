// The activity log: a plain ANSI text file, CR LF line ends, that records each run of the
// tool and what it changed. Logging never interrupts the user: every failure is dropped
// silently, nothing is thrown and nothing is shown.
#pragma once
#include <string>

namespace vcm {

// Opens path for appending (created when missing) or, with append false, empties or
// creates it, then writes the run's header block: an empty line, a row of asterisks,
// "Running <exe name> version: <major>.<minor>.<revision>", the date and time, an empty
// line. A log that was already open is closed first. Others may read the file meanwhile,
// and other processes may append to it: each line is written whole at the file's end.
void OpenLog(const std::wstring& path, bool append);

// Writes text and CR LF straight to the file (the line is on disk when this returns, even
// if the process is ended right after), then processes pending window messages. Does
// nothing to the file while no log is open.
void WriteLog(const std::wstring& text);

// Closes the log; harmless when none is open.
void CloseLog();

}  // namespace vcm
