// Writing a file so that it appears complete or not at all: the bytes go to a new file
// beside the target and are moved over it only when everything was written.
#pragma once
#include <windows.h>

#include <string>
#include <string_view>

namespace vcm {

// Writes `bytes` to `target`, replacing an existing file. On any failure (a read-only
// target, a folder without write access, a full disk) throws Error and leaves an existing
// target untouched and no temporary file behind. `writer` puts the bytes into the
// temporary file and answers 0 or the system's error; nullptr means WriteWhole (tests
// give one that fails part-way, as a full disk does).
using FileBytesWriter = DWORD (*)(HANDLE file, std::string_view bytes);
void WriteFileReplacing(const std::wstring& target, std::string_view bytes, FileBytesWriter writer = nullptr);

}  // namespace vcm
