// A folder in the test's working folder, emptied when made and removed with its content
// when the test is done.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestFiles.h"

namespace vcm::test {

// A fresh folder under the working folder, removed again with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& name)
    {
        wchar_t full[MAX_PATH] = {};
        GetFullPathNameW(name.c_str(), MAX_PATH, full, nullptr);
        m_path = full;
        Remove();
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~TempFolder() { Remove(); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }

    void Copy(const std::wstring& source, const std::wstring& name) const
    {
        ASSERT_TRUE(CopyFileW(source.c_str(), (m_path + L'\\' + name).c_str(), FALSE))
            << "copy " << testing::PrintToString(source) << " error " << GetLastError();
    }
    void Touch(const std::wstring& name) const
    {
        HANDLE file = CreateFileW((m_path + L'\\' + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
    }
    void MakeFolder(const std::wstring& name) const
    {
        ASSERT_TRUE(CreateDirectoryW((m_path + L'\\' + name).c_str(), nullptr));
    }

    // Names of the files in the folder (not its folders), as the platform orders them.
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> names;
        for (const std::wstring& name : Entries())
            if (!(GetFileAttributesW((m_path + L'\\' + name).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(name);
        return names;
    }

    // Names of the entries in the folder (files and folders), as the platform orders them.
    std::vector<std::wstring> Entries() const { return FolderEntries(m_path); }

private:
    void Remove() const
    {
        for (const std::wstring& name : Entries()) {
            const std::wstring path = m_path + L'\\' + name;
            if (!DeleteFileW(path.c_str()))
                RemoveDirectoryW(path.c_str());
        }
        RemoveDirectoryW(m_path.c_str());
    }

    std::wstring m_path;
};

}  // namespace vcm::test
