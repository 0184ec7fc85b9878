// Shared by the localize tests: a clean language state per test, scripted message boxes,
// the built language libraries, and throwaway folders under the working folder.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "localize/modLocalize.h"

namespace vcm::test {

// The build passes host paths; under Wine the host's root is drive Z:.
inline std::wstring BuildPath(const char* path)
{
    std::wstring wide(path, path + std::char_traits<char>::length(path));
    if (!wide.empty() && wide.front() == L'/') {
        for (wchar_t& c : wide)
            if (c == L'/')
                c = L'\\';
        wide = L"Z:" + wide;
    }
    return wide;
}

inline std::wstring GermanLibrary() { return BuildPath(VCM_GERMAN_LIBRARY); }
inline std::wstring FrenchLibrary() { return BuildPath(VCM_FRENCH_LIBRARY); }
inline std::wstring EdgeCaseLibrary() { return BuildPath(VCM_EDGE_CASE_LIBRARY); }

// Every test starts with no language chosen, no library and no list, and answers message
// boxes through `dialogs`.
class LocalizeTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetLanguageState();
        SetAppDialogs(&dialogs);
    }
    void TearDown() override
    {
        SetAppDialogs(nullptr);
        ResetLanguageState();
    }

    static void ResetLanguageState()
    {
        if (gLangLibrary)
            FreeLibrary(gLangLibrary);
        gLangLibrary = nullptr;
        gCurrentLangID = 0;
        gLanguageList.clear();
    }

    ScriptedDialogs dialogs;
};

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

    // Names of the entries in the folder (files and folders), as the platform orders them.
    std::vector<std::wstring> Entries() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data = {};
        HANDLE find = FindFirstFileW((m_path + L"\\*").c_str(), &data);
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
