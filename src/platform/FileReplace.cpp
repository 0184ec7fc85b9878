#include "platform/FileReplace.h"

#include <windows.h>

#include "platform/Error.h"
#include "platform/Handles.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

// A new file beside the target, in the same folder so that the final move is a rename.
// Owns the file until it has been moved into place; removes it otherwise.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::wstring& target)
    {
        const std::wstring stem = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-";
        for (unsigned attempt = 0;; ++attempt) {
            std::wstring name = stem + std::to_wstring(attempt) + L".tmp";
            m_file.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (m_file) {
                m_name = std::move(name);
                return;
            }
            const DWORD error = GetLastError();
            if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == 100)
                ThrowWin32(error, L"CreateFileW " + name);
        }
    }
    ~TemporaryFile()
    {
        m_file.reset();
        if (!m_name.empty())
            DeleteFileW(m_name.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    HANDLE get() const { return m_file.get(); }

    // Flushes, closes and moves the file over the target (replacing it).
    void Replace(const std::wstring& target)
    {
        if (!FlushFileBuffers(m_file.get()))
            ThrowLastError(L"FlushFileBuffers");
        m_file.reset();
        if (!MoveFileExW(m_name.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ThrowLastError(L"MoveFileExW " + target);
        m_name.clear();
    }

private:
    UniqueHandle m_file;
    std::wstring m_name;
};

}  // namespace

void WriteFileReplacing(const std::wstring& target, std::string_view bytes, FileBytesWriter writer)
{
    // A read-only target refuses the write, as it refuses being opened for writing; the
    // final rename alone would not tell (Wine's MoveFileExW replaces read-only files).
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        ThrowWin32(ERROR_ACCESS_DENIED, L"GetFileAttributesW " + target);

    TemporaryFile file(target);
    if (const DWORD failure = writer ? writer(file.get(), bytes) : WriteWhole(file.get(), bytes))
        ThrowWin32(failure, L"WriteFile");
    file.Replace(target);
}

}  // namespace vcm
