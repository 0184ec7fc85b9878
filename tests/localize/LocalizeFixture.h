// Shared by the localize tests: a clean language state per test, scripted message boxes,
// the built language libraries, and throwaway folders under the working folder.
#pragma once
#include <gtest/gtest.h>

#include <windows.h>
#include <string>
#include <vector>

#include "ScriptedDialogs.h"
#include "LanguageState.h"
#include "TempFolder.h"
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

    ScriptedDialogs dialogs;
};

}  // namespace vcm::test
