// The command-line report's texts in every shipped language: each one translated, keeping
// the marks the program fills in or joins text to.
#include <gtest/gtest.h>

#include <algorithm>

#include "LocalizeFixture.h"
#include "VeltoCredentialsMapResCONST.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

// The %1, %2, ... a text holds, in order of appearance.
std::wstring Placeholders(const std::wstring& text)
{
    std::wstring marks;
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9')
            marks += text[i + 1];
    std::sort(marks.begin(), marks.end());
    return marks;
}

using ReportTexts = test::LocalizeTest;

TEST_F(ReportTexts, TranslatedWithTheirPlaceholdersAndEnds)
{
    for (const std::wstring& path : {test::GermanLibrary(), test::FrenchLibrary()}) {
        const UniqueHModule library(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(library) << ToUtf8(path);
        for (int id = IDS_REPORT_FIRST; id <= IDS_REPORT_LAST; ++id) {
            SCOPED_TRACE(ToUtf8(path) + " " + std::to_string(id));
            wchar_t buffer[1200] = {};
            const int length = LoadStringW(library.get(), static_cast<UINT>(id), buffer, 1200);
            ASSERT_GT(length, 0) << "missing";
            const std::wstring translated(buffer, static_cast<size_t>(length));
            const std::wstring english = myLoadResString(id);
            EXPECT_NE(translated, english) << "not translated";
            EXPECT_EQ(Placeholders(translated), Placeholders(english));
            // Lead-ins end with a blank that the joined text follows.
            EXPECT_EQ(translated.back() == L' ', english.back() == L' ');
            // The switches are the same in every language.
            for (const wchar_t* name : {L"/report", L"/deleted", L"/custom", L"/noprimary", L"/?"})
                EXPECT_EQ(translated.find(name) == std::wstring::npos, english.find(name) == std::wstring::npos)
                    << ToUtf8(name);
        }
    }
}

}  // namespace
}  // namespace vcm
