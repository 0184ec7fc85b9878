// Language discovery and loading in a real folder, the abbreviation table, the platform's
// language names, and the fonts a language gives a real window's controls.
#include "LocalizeFixture.h"
#include "TestFiles.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>

#include "VeltoCredentialsMapResCONST.h"
#include "platform/Handles.h"
#include "platform/Window.h"

namespace vcm {
namespace {

using Languages = test::LocalizeTest;
using test::ResetLanguageState;

constexpr wchar_t kBase[] = L"VeltoCredentialsMap";

struct FileToMake {
    std::wstring name;
    std::wstring listedAs;  // the abbreviation it must be listed as; empty: not listed
    std::wstring source;    // a library to copy; empty: an empty file
};

struct DiscoveryRow {
    const char* what;
    long language;
    std::vector<FileToMake> files;
    std::wstring fileMenu;  // string 126 afterwards: shows which library is active
    bool libraryLoaded;
};

TEST_F(Languages, DiscoveryListsLibrariesAndLoadsTheCurrentLanguage)
{
    const std::wstring de = test::GermanLibrary();
    const std::wstring fr = test::FrenchLibrary();
    const DiscoveryRow rows[] = {
        {"German user with German and French libraries", 1031,
         {{L"VeltoCredentialsMap.exe", L"", L""},
          {L"VeltoCredentialsMap_DEU.dll", L"DEU", de},
          {L"VeltoCredentialsMap_FRA.dll", L"FRA", fr}},
         L"Datei", true},
        {"French user picks the French library", 1036,
         {{L"VeltoCredentialsMap_DEU.dll", L"DEU", de}, {L"VeltoCredentialsMap_FRA.dll", L"FRA", fr}},
         L"Fichier", true},
        {"Austrian user: no fallback from DEA to DEU", 3079,
         {{L"VeltoCredentialsMap_DEU.dll", L"DEU", de}}, L"File", false},
        {"Korean user: the library sought is _ERROR", 1042,
         {{L"VeltoCredentialsMap_DEU.dll", L"DEU", de}}, L"File", false},
        {"names that do and do not qualify", 1033,
         {{L"veltocredentialsmap_deu.DLL", L"deu", de},
          {L"OtherTool_DEU.dll", L"", de},
          {L"VeltoCredentialsMap_DEU.txt", L"", L""},
          {L"VeltoCredentialsMap_old_DEU.dll", L"DEU", de},
          {L"VeltoCredentialsMapFRA.dll", L"", fr},
          // The three characters before the last four, whatever they are.
          {L"VeltoCredentialsMap_.dll", L"ap_", L""}},
         L"File", false},
        {"no library at all", 1031, {{L"VeltoCredentialsMap.exe", L"", L""}}, L"File", false},
    };
    for (const DiscoveryRow& row : rows) {
        SCOPED_TRACE(row.what);
        ResetLanguageState();
        dialogs.messages.clear();
        test::TempFolder folder(L"discovery");
        // A folder with a library's name is not a library.
        folder.MakeFolder(L"VeltoCredentialsMap_ITA.dll");
        std::map<std::wstring, std::wstring> listedAs;
        for (const FileToMake& file : row.files) {
            if (file.source.empty())
                folder.Touch(file.name);
            else
                folder.Copy(file.source, file.name);
            listedAs[file.name] = file.listedAs;
        }
        std::vector<std::wstring> expected;
        for (const std::wstring& name : folder.Entries()) {
            if (auto it = listedAs.find(name); it != listedAs.end() && !it->second.empty())
                expected.push_back(it->second);
        }
        if (expected.empty())
            expected.emplace_back();

        gCurrentLangID = row.language;
        InitalizeLanguagesIn(folder.Path(), kBase);

        EXPECT_EQ(gLanguageList, expected);
        EXPECT_EQ(gLangLibrary != nullptr, row.libraryLoaded);
        EXPECT_EQ(myLoadResString(IDS_FILE), row.fileMenu);
        EXPECT_EQ(gCurrentLangID, row.language);
        EXPECT_TRUE(dialogs.messages.empty());
        ResetLanguageState();
    }
}

TEST_F(Languages, EachRunReleasesThePreviousLibraryAndLoadsTheNewOne)
{
    test::TempFolder folder(L"switching");
    folder.Copy(test::GermanLibrary(), L"VeltoCredentialsMap_DEU.dll");
    folder.Copy(test::FrenchLibrary(), L"VeltoCredentialsMap_FRA.dll");
    struct Step {
        long language;
        std::wstring fileMenu;
    };
    const Step steps[] = {{1031, L"Datei"}, {1036, L"Fichier"}, {1049, L"File"}, {1031, L"Datei"}};
    for (const Step& step : steps) {
        gCurrentLangID = step.language;
        InitalizeLanguagesIn(folder.Path(), kBase);
        EXPECT_EQ(myLoadResString(IDS_FILE), step.fileMenu) << step.language;
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Languages, UnchosenLanguageBecomesTheUsersDefault)
{
    test::TempFolder folder(L"default");
    InitalizeLanguagesIn(folder.Path(), kBase);
    EXPECT_EQ(gCurrentLangID, static_cast<long>(GetUserDefaultLangID()));
    EXPECT_EQ(gLanguageList, std::vector<std::wstring>{L""});
}

TEST_F(Languages, UnlistableFolderIsReportedAndLeavesTheEmptyList)
{
    gCurrentLangID = 1031;
    gLanguageList = {L"DEU", L"FRA"};
    InitalizeLanguagesIn(L"no such folder\\really not", kBase);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const std::wstring lead = L"Error in InitalizeLanguages: ";
    EXPECT_EQ(dialogs.messages[0].text.substr(0, lead.size()), lead);
    EXPECT_GT(dialogs.messages[0].text.size(), lead.size()) << "the platform's description follows";
    EXPECT_EQ(dialogs.messages[0].title, kAppTitle);
    EXPECT_EQ(dialogs.messages[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(gLanguageList, std::vector<std::wstring>{L""});
    EXPECT_EQ(gLangLibrary, nullptr);
}

namespace {
// Little-endian 16- and 32-bit fields of a file image.
uint32_t ReadU32(const std::string& b, size_t at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8 |
           static_cast<unsigned char>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}
void WriteU32(std::string& b, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<char>(value >> (8 * i));
}

// The library with every section's sizes set far beyond the file.
std::string AbsurdSections(std::string dll)
{
    const size_t pe = ReadU32(dll, 0x3C);
    const size_t sections = static_cast<unsigned char>(dll[pe + 6]) | static_cast<unsigned char>(dll[pe + 7]) << 8;
    const size_t optional = static_cast<unsigned char>(dll[pe + 20]) | static_cast<unsigned char>(dll[pe + 21]) << 8;
    for (size_t i = 0, header = pe + 24 + optional; i < sections; ++i, header += 40) {
        WriteU32(dll, header + 8, 0x7FFFFFF0);   // size in memory
        WriteU32(dll, header + 16, 0x7FFFFFF0);  // size in the file
    }
    return dll;
}

// The library with the string table entry that holds `text` declaring 65535 characters,
// far more than its block holds: a copy cut short or damaged in transit.
std::string OverlongEntry(std::string dll, std::wstring_view text)
{
    std::string entry(2, '\0');
    entry[0] = static_cast<char>(text.size());
    for (wchar_t c : text) {
        entry += static_cast<char>(c & 0xFF);
        entry += static_cast<char>(c >> 8);
    }
    const size_t at = dll.find(entry);
    EXPECT_NE(at, std::string::npos);
    if (at != std::string::npos)
        dll[at] = dll[at + 1] = '\xFF';
    return dll;
}
}  // namespace

TEST_F(Languages, DamagedLibraryNeverCrashesAndFallsBackToTheBuiltInTexts)
{
    const std::string german = test::FileBytes(test::GermanLibrary());
    ASSERT_GT(german.size(), 1024u);
    // The texts of the intact library, and the built-in ones, for every catalogue id.
    const auto allTexts = [] {
        std::map<int, std::wstring> texts;
        for (int id = IDS_FIRST; id <= IDS_LAST; ++id)
            texts[id] = myLoadResString(id);
        return texts;
    };
    const std::map<int, std::wstring> builtIn = allTexts();
    {
        test::TempFolder folder(L"intact");
        folder.Copy(test::GermanLibrary(), L"VeltoCredentialsMap_DEU.dll");
        gCurrentLangID = 1031;
        InitalizeLanguagesIn(folder.Path(), kBase);
    }
    const std::map<int, std::wstring> intact = allTexts();
    ResetLanguageState();
    ASSERT_NE(intact.at(IDS_FILE), builtIn.at(IDS_FILE));

    std::string garbage(4096, '\0');
    for (size_t i = 0; i < garbage.size(); ++i)
        garbage[i] = static_cast<char>((i * 2654435761u) >> 13);
    struct Row {
        const char* what;
        std::optional<std::string> bytes;  // none: a folder of the library's name
        std::vector<int> damagedIds;        // ids that give the built-in text; empty: all do
        bool partly = false;                // each id may give either text (what survives a cut)
    };
    const Row rows[] = {
        {"garbage", garbage, {}},
        {"empty file", std::string(), {}},
        {"cut in half", german.substr(0, german.size() / 2), {}, true},
        {"cut a little short", german.substr(0, german.size() - 700), {}, true},
        {"a folder of that name", std::nullopt, {}},
        {"sections of absurd size", AbsurdSections(german), {}},
        // The overlong entry and the one after it in its block of sixteen cannot be read;
        // the rest of the library can.
        {"string longer than its block", OverlongEntry(german, intact.at(IDS_FILE)), {IDS_FILE, IDS_FILE + 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ResetLanguageState();
        test::TempFolder folder(L"damaged");
        if (row.bytes)
            ASSERT_TRUE(test::WriteBytes(folder.Path() + L"\\VeltoCredentialsMap_DEU.dll", *row.bytes));
        else
            folder.MakeFolder(L"VeltoCredentialsMap_DEU.dll");
        gCurrentLangID = 1031;
        InitalizeLanguagesIn(folder.Path(), kBase);
        for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
            const bool damaged = row.damagedIds.empty() ||
                                 std::find(row.damagedIds.begin(), row.damagedIds.end(), id) != row.damagedIds.end();
            const std::wstring text = myLoadResString(id);
            if (row.partly)
                EXPECT_TRUE(text == builtIn.at(id) || text == intact.at(id)) << id;
            else
                EXPECT_EQ(text, damaged ? builtIn.at(id) : intact.at(id)) << id;
        }
        EXPECT_TRUE(dialogs.messages.empty());
        ResetLanguageState();
    }
}

struct AbbreviationPair {
    const wchar_t* abbreviation;
    short id;
};

constexpr AbbreviationPair kAbbreviations[] = {
    {L"ENU", 1033},  // English (United States)
    {L"ENG", 2057},  // English (United Kingdom)
    {L"ENA", 3081},  // English (Australia)
    {L"ENC", 4105},  // English (Canada)
    {L"ENZ", 5129},  // English (New Zealand)
    {L"ENI", 6153},  // English (Ireland)
    {L"DEU", 1031},  // German (Germany)
    {L"DES", 2055},  // German (Switzerland)
    {L"DEA", 3079},  // German (Austria)
    {L"DEL", 4103},  // German (Luxembourg)
    {L"DEC", 5127},  // German (Liechtenstein)
    {L"ESP", 1034},  // Spanish (Spain, traditional sort)
    {L"ESM", 2058},  // Spanish (Mexico)
    {L"ESN", 3082},  // Spanish (Spain, modern sort)
    {L"ESG", 4106},  // Spanish (Guatemala)
    {L"ESC", 5130},  // Spanish (Costa Rica)
    {L"ESA", 6154},  // Spanish (Panama)
    {L"ESD", 7178},  // Spanish (Dominican Republic)
    {L"ESV", 8202},  // Spanish (Venezuela)
    {L"ESO", 9226},  // Spanish (Colombia)
    {L"ESR", 10250},  // Spanish (Peru)
    {L"ESS", 11274},  // Spanish (Argentina)
    {L"ESH", 18442},  // Spanish (Honduras)
    {L"ESI", 19466},  // Spanish (Nicaragua)
    {L"ESU", 20490},  // Spanish (Puerto Rico)
    {L"FRA", 1036},  // French (France)
    {L"FRB", 2060},  // French (Belgium)
    {L"FRC", 3084},  // French (Canada)
    {L"FRS", 4108},  // French (Switzerland)
    {L"FRL", 5132},  // French (Luxembourg)
    {L"ITA", 1040},  // Italian (Italy)
    {L"ITS", 2064},  // Italian (Switzerland)
    {L"JPN", 1041},  // Japanese
    {L"NLD", 1043},  // Dutch (Netherlands)
    {L"NLB", 2067},  // Dutch (Belgium)
    {L"NOR", 1044},  // Norwegian (Bokmål)
    {L"NON", 2068},  // Norwegian (Nynorsk)
    {L"PTB", 1046},  // Portuguese (Brazil)
    {L"PTG", 2070},  // Portuguese (Portugal)
};

TEST(LanguageAbbreviations, TableWorksBothWaysAndEverythingElseHasItsDefault)
{
    for (const AbbreviationPair& pair : kAbbreviations) {
        EXPECT_EQ(GetLangAbbreviation(pair.id), pair.abbreviation);
        EXPECT_EQ(GetLangIDFromAbbreviation(pair.abbreviation), pair.id);
    }
    struct IdRow {
        short id;
        const wchar_t* abbreviation;
    };
    const IdRow ids[] = {{0, L"ENU"}, {1049, L"ERROR"}, {1042, L"ERROR"}, {1028, L"ERROR"}, {2052, L"ERROR"},
                         {-1, L"ERROR"}};
    for (const IdRow& row : ids)
        EXPECT_EQ(GetLangAbbreviation(row.id), row.abbreviation) << row.id;
    // Matched exactly: case counts, no trimming.
    for (const wchar_t* text : {L"XYZ", L"", L"deu", L"DEU ", L"ERROR", L"DEUTSCH"})
        EXPECT_EQ(GetLangIDFromAbbreviation(text), 1033) << testing::PrintToString(std::wstring(text));
}

std::wstring PlatformName(DWORD id)
{
    wchar_t buffer[256] = {};
    return VerLanguageNameW(id, buffer, 256) ? std::wstring(buffer) : std::wstring();
}

TEST(LanguageNames, ComeFromThePlatformWithoutATerminator)
{
    for (long id : {1031L, 1033L, 1036L, 3079L, 2070L}) {
        const std::wstring name = GetLanguageName(id);
        EXPECT_FALSE(name.empty()) << id;
        EXPECT_EQ(name, PlatformName(static_cast<DWORD>(id))) << id;
        EXPECT_EQ(name.find(L'\0'), std::wstring::npos) << id;
    }
    for (long id : {0x7fffL, 0x9999L})
        EXPECT_EQ(GetLanguageName(id), L"(error)") << id;
    EXPECT_EQ(GetLanguageNameFromAbbreviation(L"FRA"), GetLanguageName(1036));
    EXPECT_EQ(GetLanguageNameFromAbbreviation(L"deu"), GetLanguageName(1033));
}

// A real top-level window with two controls: one that never got a font, and one with a
// font of its own.
class FontForm final : public Form {
public:
    FontForm() : m_arial(CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, L"Arial"))
    {
        Create({.className = L"VcmLocalizeFontForm",
                .style = WS_OVERLAPPEDWINDOW,
                .text = L"fonts",
                .x = 0,
                .y = 0,
                .width = 300,
                .height = 200});
        plain = CreateWindowExW(0, L"STATIC", L"plain", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, Hwnd(), nullptr,
                                nullptr, nullptr);
        styled = CreateWindowExW(0, L"BUTTON", L"styled", WS_CHILD | WS_VISIBLE, 10, 40, 100, 30, Hwnd(),
                                 nullptr, nullptr, nullptr);
        SendMessageW(styled, WM_SETFONT, reinterpret_cast<WPARAM>(m_arial.get()), FALSE);
        Register();
    }
    std::wstring_view Name() const override { return L"frmFontTest"; }

    HWND plain = nullptr;
    HWND styled = nullptr;

private:
    UniqueHFont m_arial;
};

LOGFONTW FontOf(HWND control)
{
    LOGFONTW font = {};
    auto handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    EXPECT_NE(handle, nullptr);
    if (handle) {
        EXPECT_EQ(GetObjectW(handle, sizeof font, &font), static_cast<int>(sizeof font));
    }
    return font;
}

TEST_F(Languages, ControlsGetTheCharacterSetAndFaceOfTheCurrentLanguage)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    const LOGFONTW& message = metrics.lfMessageFont;

    struct Row {
        long language;
        BYTE charSet;
        const wchar_t* face;  // nullptr: the control keeps its face
    };
    const Row rows[] = {
        {1042, 129, L"\uAD74\uB9BC"},
        {1028, 136, L"\u65B0\u7D30\u660E\u9AD4"},
        {1041, 128, L"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF"},
        {2052, 134, L"\u5B8B\u4F53"},
        {1031, 1, nullptr},
        {1049, 1, nullptr},
    };
    test::TempFolder folder(L"fonts");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.language);
        FontForm form;
        gCurrentLangID = row.language;
        InitalizeLanguagesIn(folder.Path(), kBase);

        const LOGFONTW plain = FontOf(form.plain);
        EXPECT_EQ(plain.lfCharSet, row.charSet);
        EXPECT_STREQ(plain.lfFaceName, row.face ? row.face : message.lfFaceName);
        EXPECT_EQ(plain.lfHeight, message.lfHeight) << "a control without a font starts from the message font";

        const LOGFONTW styled = FontOf(form.styled);
        EXPECT_EQ(styled.lfCharSet, row.charSet);
        EXPECT_STREQ(styled.lfFaceName, row.face ? row.face : L"Arial");
        EXPECT_EQ(styled.lfHeight, -20) << "size and weight come from the control's own font";
        EXPECT_EQ(styled.lfWeight, FW_BOLD);

        // The same language again reuses the fonts it made instead of making new ones.
        const auto plainFont = SendMessageW(form.plain, WM_GETFONT, 0, 0);
        const auto styledFont = SendMessageW(form.styled, WM_GETFONT, 0, 0);
        ApplyLanguageFont(form);
        EXPECT_EQ(SendMessageW(form.plain, WM_GETFONT, 0, 0), plainFont);
        EXPECT_EQ(SendMessageW(form.styled, WM_GETFONT, 0, 0), styledFont);
        FontForm second;
        ApplyLanguageFont(second);
        EXPECT_EQ(SendMessageW(second.styled, WM_GETFONT, 0, 0), styledFont);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

}  // namespace
}  // namespace vcm
