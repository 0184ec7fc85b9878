// Puts the language module back to its state at program start: no library, no language
// chosen, no list. Tests that switch languages call it before and after.
#pragma once
#include <windows.h>

#include "localize/modLocalize.h"

namespace vcm::test {

inline void ResetLanguageState()
{
    if (gLangLibrary)
        FreeLibrary(gLangLibrary);
    gLangLibrary = nullptr;
    gCurrentLangID = 0;
    gLanguageList.clear();
}

}  // namespace vcm::test
