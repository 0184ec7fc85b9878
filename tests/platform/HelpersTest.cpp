// The shared helpers: error conversion, step runner, text conversion, twips, Win32 helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "TempFolder.h"
#include "TestFiles.h"

#include "platform/Error.h"
#include "platform/Handles.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"

namespace vcm {

TEST(Error, Win32FailureCarriesCodeAndSystemText)
{
    UniqueHandle file(CreateFileW(L"no such folder\\no such file.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_FALSE(file);
    try {
        ThrowLastError(L"CreateFileW");
        FAIL() << "no exception";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), ERROR_PATH_NOT_FOUND);
        EXPECT_EQ(e.Description(), SystemMessage(ERROR_PATH_NOT_FOUND));
        EXPECT_FALSE(e.Description().empty());
        EXPECT_NE(e.Description().back(), L'\n');
        EXPECT_EQ(e.Source(), L"CreateFileW");
    }
}

TEST(Error, CurrentErrorKeepsOurErrorsAndWrapsOthers)
{
    auto convert = [](auto thrower) {
        try {
            thrower();
        } catch (...) {
            return CurrentError();
        }
        return Error(0, L"");
    };
    const Error own = convert([] { throw Error(1001, L"Unsupported value type"); });
    EXPECT_EQ(own.Number(), 1001);
    EXPECT_EQ(own.Description(), L"Unsupported value type");
    const Error memory = convert([] { throw std::bad_alloc(); });
    EXPECT_EQ(memory.Number(), 7);
    const Error other = convert([] { throw std::out_of_range("index 9 outside 0..3"); });
    EXPECT_EQ(other.Description(), L"index 9 outside 0..3");
}

TEST(StepRunner, ReportsTheFailingStepAndRunsTheNext)
{
    std::vector<long> reported;
    std::vector<int> ran;
    StepRunner step([&](const Error& e) { reported.push_back(e.Number()); });
    EXPECT_TRUE(step([&] { ran.push_back(1); }));
    EXPECT_FALSE(step([&] { ran.push_back(2); throw Error(91, L"Object variable not set"); }));
    EXPECT_TRUE(step([&] { ran.push_back(3); }));
    EXPECT_FALSE(step([&] { throw std::runtime_error("boom"); }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(reported, (std::vector<long>{91, 5}));
    EXPECT_EQ(step.Failures(), 2);
}

TEST(StepRunner, SilentRunnerAndFailingReporterStillGoOn)
{
    StepRunner silent;
    EXPECT_FALSE(silent([] { throw Error(5, L"x"); }));
    StepRunner broken([](const Error&) { throw Error(6, L"the report itself failed"); });
    int after = 0;
    EXPECT_FALSE(broken([] { throw Error(5, L"x"); }));
    EXPECT_TRUE(broken([&] { ++after; }));
    EXPECT_EQ(after, 1);
}

TEST(TextConv, AnsiRoundTripsAndLossyCases)
{
    ASSERT_EQ(GetACP(), 1252u) << "these rows are written for the Western code page";
    struct Row {
        const wchar_t* text;
        const char* ansi;
        bool roundTrips;
    };
    const Row rows[] = {
        {L"", "", true},
        {L"SALES\\jdoe", "SALES\\jdoe", true},
        {L"J\u00fcrgen \u20ac", "J\xfcrgen \x80", true},  // umlaut and euro have 1252 codes
        {L"\u65e5\u672c", "??", false},                   // no Japanese in 1252
        {L"a\U0001F600b", nullptr, false},                // outside the BMP: '?' (one or two, by platform)
    };
    for (const Row& row : rows) {
        const std::string ansi = ToAnsi(row.text);
        if (row.ansi)
            EXPECT_EQ(ansi, row.ansi) << ToUtf8(row.text);
        else
            EXPECT_NE(ansi.find('?'), std::string::npos);
        EXPECT_EQ(FromAnsi(ansi) == row.text, row.roundTrips) << ToUtf8(row.text);
    }
    EXPECT_EQ(FromUtf8(ToUtf8(L"J\u00fcrgen \u65e5 \U0001F600")), L"J\u00fcrgen \u65e5 \U0001F600");
}

TEST(TextConv, CaseBlindEqualityAndBlankTrimming)
{
    EXPECT_TRUE(EqualsNoCase(L"JDoe", L"jdoe"));
    EXPECT_TRUE(EqualsNoCase(L"J\u00dcRGEN", L"j\u00fcrgen"));
    EXPECT_FALSE(EqualsNoCase(L"jdoe", L"jdoe "));
    EXPECT_EQ(TrimBlanks(L"  SALES \t "), L"SALES \t");
    EXPECT_EQ(TrimBlanks(L"   "), L"");
}

TEST(Twips, ConvertsAtStandardAndHighDpi)
{
    struct Row {
        int twips;
        UINT dpi;
        int pixels;
    };
    const Row rows[] = {
        {1440, 96, 96}, {2880, 96, 192}, {567, 96, 38}, {7260, 96, 484}, {15, 96, 1}, {7, 96, 0},
        {1440, 144, 144}, {2880, 144, 288}, {567, 144, 57}, {-1440, 144, -144}, {0, 144, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TwipsToPixels(row.twips, row.dpi), row.pixels) << row.twips << " at " << row.dpi;
        EXPECT_EQ(TwipsToPixels(PixelsToTwips(row.pixels, row.dpi), row.dpi), row.pixels);
    }
    EXPECT_EQ(PixelsToTwips(96, 96), 1440);
    EXPECT_EQ(PixelsToTwips(1, 96), 15);
    EXPECT_EQ(TwipsToPixels(nullptr, 1440), static_cast<int>(WindowDpi(nullptr)));
}

TEST(WinHelpers, ListsTheFilesThatMatchAndNoFolders)
{
    test::TempFolder folder(L"listing");
    for (const wchar_t* name : {L"a.dll", L"b.DLL", L"notes.txt"})
        folder.Touch(name);
    ASSERT_TRUE(CreateDirectoryW((folder.Path() + L"\\sub.dll").c_str(), nullptr));
    struct Row {
        const wchar_t* pattern;
        std::vector<std::wstring> names;  // sorted
    };
    const Row rows[] = {
        {L"*", {L"a.dll", L"b.DLL", L"notes.txt"}},  // the folder is no file
        {L"*.dll", {L"a.dll", L"b.DLL"}},            // the platform matches without regard to case
        {L"*.exe", {}},                              // nothing matches: an empty list, no error
    };
    for (const Row& row : rows) {
        std::vector<std::wstring> names = ListFileNames(folder.Path(), row.pattern);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, row.names) << ToUtf8(row.pattern);
    }
    // A folder ending in a separator joins without a second one.
    EXPECT_EQ(ListFileNames(folder.Path() + L"\\", L"a.*"), std::vector<std::wstring>{L"a.dll"});
    EXPECT_THROW(ListFileNames(folder.Path() + L"\\no such folder"), Error);
}

TEST(WinHelpers, WriteWholeWritesEveryByteOrSaysWhyNot)
{
    test::TempFolder folder(L"writes");
    const std::wstring path = folder.Path() + L"\\out.bin";
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7);
    {
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        EXPECT_EQ(WriteWhole(file.get(), bytes), 0u);
        EXPECT_EQ(WriteWhole(file.get(), {}), 0u);
    }
    EXPECT_EQ(test::FileBytes(path), bytes);
    // A handle without write access: the system's reason, nothing written.
    UniqueHandle readOnly(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(WriteWhole(readOnly.get(), "x"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(WinHelpers, MenuItemTextAndSubmenusKeepTheirOwner)
{
    UniqueHMenu bar(CreateMenu());
    UniqueHMenu popup(CreatePopupMenu());
    ASSERT_TRUE(bar && popup);
    ASSERT_TRUE(AppendMenuW(popup.get(), MF_STRING, 40, L"Exit"));
    const HMENU file = AppendSubmenu(bar.get(), std::move(popup), L"File");
    EXPECT_FALSE(popup) << "the bar owns the popup now";
    EXPECT_EQ(GetSubMenu(bar.get(), 0), file);

    const std::wstring longText(300, L'x');  // longer than any fixed buffer would take
    struct Row {
        HMENU menu;
        UINT item;
        bool byPosition;
        std::wstring text;
    };
    const Row rows[] = {
        {bar.get(), 0, true, L"&Datei"},
        {file, 40, false, L"Beenden"},
        {file, 0, true, longText},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(SetMenuItemText(row.menu, row.item, row.byPosition, row.text));
        EXPECT_EQ(MenuItemText(row.menu, row.item, row.byPosition), row.text);
    }
    EXPECT_FALSE(SetMenuItemText(file, 41, false, L"none"));
    EXPECT_EQ(MenuItemText(file, 41, false), L"");

    // A popup that cannot be attached is still destroyed by its owner.
    UniqueHMenu orphan(CreatePopupMenu());
    const HMENU orphanHandle = orphan.get();
    EXPECT_THROW(AppendSubmenu(nullptr, std::move(orphan), L"Lost"), Error);
    EXPECT_FALSE(IsMenu(orphanHandle));
}

}  // namespace vcm
