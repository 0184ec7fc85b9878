// Files read and written whole, byte for byte, for tests that check what the program wrote.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/WinHelpers.h"

namespace vcm::test {

// The file's bytes, read through a handle of its own (the program may still hold the file
// open); nothing when it cannot be opened.
inline std::optional<std::string> TryFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

// The file's bytes; "<missing>" when it cannot be opened.
inline std::string FileBytes(const std::wstring& path) { return TryFileBytes(path).value_or("<missing>"); }

// The host (Unix) path of a path of this process, as Wine names it; empty when it cannot.
inline std::string UnixPath(const std::wstring& path)
{
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unix = toUnix ? toUnix(path.c_str()) : nullptr;
    std::string result = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && WriteWhole(file.get(), bytes) == 0;
}

// Names of the entries in the folder (files and folders), as the platform orders them.
inline std::vector<std::wstring> FolderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

}  // namespace vcm::test
