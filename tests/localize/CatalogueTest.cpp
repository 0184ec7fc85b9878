// The catalogue lookup: built-in texts, a language library's texts and its gaps, ids
// outside the catalogue, and the structure of the shipped translations.
#include "LocalizeFixture.h"

#include "VeltoCredentialsMapResCONST.h"
#include "platform/Handles.h"

namespace vcm {
namespace {

using Catalogue = test::LocalizeTest;
using test::ResetLanguageState;

struct CatalogueText {
    int id;
    const wchar_t* text;  // nullptr: a maker identity line, any non-empty text
};

// The English texts as the program must show them, blanks included.
constexpr CatalogueText kBuiltIn[] = {
    {100, L" Build"},
    {101, L" to the local Velto account with "},
    {102, L"(error):"},
    {103, L") in procedure Form_Load of Form frmMain"},
    {104, L") in procedure mnuExportToCSV_Click of Form frmMain"},
    {105, L") in procedure mnuRemoveMapping_Click of Form frmMain"},
    {106, L".  This means that AD account will not have access to the Velto SA or AA any longer. "},
    {107, L"About"},
    {108, L"Add New Mapping"},
    {109, L"Are you sure you want to do this?"},
    {110, L"Change Language"},
    {111, nullptr},  // maker identity line
    {112, L"Brenvik Velto Credentials Map"},
    {113, L"Brenvik Velto Credentials Mapping"},
    {114, L"Confirm deletion of credential mapping"},
    {115, nullptr},  // maker identity line
    {116, L"Credential map deleted"},
    {117, L"Edit"},
    {118, L"Error in FormLoad routine:"},
    {119, L"Error!  More than one match found for subscriber with ObjectId='"},
    {120, L"Error!  No matches found for subscriber with ObjectID='"},
    {121, L"Error!  No matches found in credentials table for msrepl_tran_version="},
    {122, L"Error! More than one match found in credentials table for msrepl_tran_version="},
    {123, L"Exit"},
    {124, L"Export Grid Info to CSV"},
    {125, L"Export credentials mapping information to a file"},
    {126, L"File"},
    {127, L"Gathering credential information, please wait..."},
    {128, L"Help"},
    {129, L"Import Mappings from CSV"},
    {130, L"No mappings to export"},
    {131, L"OK"},
    {132, L"Output complete"},
    {133, L"Remove Selected Mapping"},
    {134, nullptr},  // maker identity line
    {135, L"Select Language"},
    {136, L"Show Only Custom Mappings"},
    {137, L"Show Primary Mappings"},
    {138, L"This action will remove the mapping of the AD account: "},
    {139, L"This tool only runs on Velto servers configured with Exchange 5.5 or Exchange 2000"},
    {140, L"This tool only runs on servers with Velto 3.1(1) or later installed.  Exiting."},
    {141, nullptr},  // maker identity line
    {142, nullptr},  // maker identity line
    {143, L"Version:"},
    {144, L"View"},
    {145, L"You must first select a row to remove"},
    {146, L"no languages loaded"},
    {147, L"the alias="},
    {148, L"Domain"},
    {149, L"AD Alias"},
    {150, L"Primary"},
    {151, L"Velto Alias"},
    {152, L"Show Account Details"},
    {153, L"SID"},
    {154, L"Account"},
    {155, L"Resolved"},
    {156, L"Deleted"},
    {157, L"Unverified"},
};

// "0123456789" repeated, cut to `length` characters.
std::wstring Digits(size_t length)
{
    std::wstring text;
    while (text.size() < length)
        text += L"0123456789";
    text.resize(length);
    return text;
}

TEST_F(Catalogue, WithoutLibraryEveryIdGivesTheBuiltInText)
{
    // The table pins the texts up to the account columns; every later id has a text of its own.
    const int lastPinned = std::rbegin(kBuiltIn)->id;
    ASSERT_EQ(std::size(kBuiltIn), static_cast<size_t>(lastPinned - IDS_FIRST + 1));
    for (int id = lastPinned + 1; id <= IDS_LAST; ++id)
        EXPECT_FALSE(myLoadResString(id).empty()) << "id " << id;
    for (const CatalogueText& entry : kBuiltIn) {
        const std::wstring text = myLoadResString(entry.id);
        if (entry.text) {
            EXPECT_EQ(text, entry.text) << "id " << entry.id;
        } else {
            EXPECT_FALSE(text.empty()) << "id " << entry.id;
        }
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Catalogue, LibraryTextWinsAndItsGapsFallBackToTheBuiltInText)
{
    gLangLibrary = LoadLibraryExW(test::EdgeCaseLibrary().c_str(), nullptr, 3);
    ASSERT_NE(gLangLibrary, nullptr) << GetLastError();
    struct Row {
        int id;
        std::wstring expected;
        const char* why;
    };
    const Row rows[] = {
        {IDS_FILE, L"Testdatei", "the library's own text"},
        {IDS_SELECT_LANGUAGE, L"Sprache w\u00e4hlen", "UTF-8 source arrives as UTF-16"},
        {IDS_OK, L"OK", "an empty entry cannot blank a string"},
        {IDS_NO_MAPPINGS_TO_EXPORT, L"No mappings to export", "missing beside present entries"},
        {IDS_COL_DOMAIN, L"Domain", "a block the library does not have"},
        {IDS_OUTPUT_COMPLETE, Digits(1199), "1199 characters fit whole"},
        {IDS_REMOVE_MAPPING, Digits(1199), "1200 characters lose the last"},
        {IDS_GATHERING, Digits(1199), "1500 characters give the first 1199"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(myLoadResString(row.id), row.expected) << row.why;
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(Catalogue, IdOutsideTheCatalogueIsReportedOnceAndGivesEmptyText)
{
    struct Row {
        int id;
        bool withLibrary;
        const char* why;
    };
    const Row rows[] = {
        {99, false, "in a block the built-in table has"},
        {IDS_LAST + 1, false, "just past the last id"},
        {IDS_LAST + 1, true, "missing from the library and the built-in table"},
        {-1, false, "negative"},
        {0x10000 + IDS_FILE, true, "beyond 16 bits must not fold onto another string"},
    };
    for (const Row& row : rows) {
        ResetLanguageState();
        if (row.withLibrary) {
            gLangLibrary = LoadLibraryExW(test::GermanLibrary().c_str(), nullptr, 3);
            ASSERT_NE(gLangLibrary, nullptr);
        }
        dialogs.messages.clear();
        EXPECT_EQ(myLoadResString(row.id), L"") << row.why;
        ASSERT_EQ(dialogs.messages.size(), 1u) << row.why;
        const test::ShownMessage& shown = dialogs.messages.front();
        const std::wstring lead = L"error in myLoadResString: ";
        EXPECT_EQ(shown.text.substr(0, lead.size()), lead) << row.why;
        EXPECT_NE(shown.text.find(L"'" + std::to_wstring(row.id) + L"'"), std::wstring::npos)
            << "the description names the id: " << testing::PrintToString(shown.text);
        EXPECT_EQ(shown.title, kAppTitle);
        EXPECT_EQ(shown.type, static_cast<UINT>(MB_OK));
    }
}

// Callers join catalogue texts to other text, so a translation must begin and end the way
// the English text does where that matters: blanks, brackets, and the marks a key or an
// id is appended to.
TEST_F(Catalogue, ShippedTranslationsKeepTheShapeOfEveryText)
{
    for (const std::wstring& path : {test::GermanLibrary(), test::FrenchLibrary()}) {
        const UniqueHModule library(LoadLibraryExW(path.c_str(), nullptr, 3));
        ASSERT_TRUE(library) << testing::PrintToString(path);
        for (int id = IDS_FIRST; id <= IDS_LAST; ++id) {
            wchar_t buffer[1200] = {};
            const int length = LoadStringW(library.get(), static_cast<UINT>(id), buffer, 1200);
            ASSERT_GT(length, 0) << testing::PrintToString(path) << " lacks " << id;
            const std::wstring translated(buffer, static_cast<size_t>(length));
            const std::wstring english = myLoadResString(id);
            const auto context = [&] { return std::to_string(id) + " " + testing::PrintToString(translated); };
            if (std::wstring_view(L" ().").find(english.front()) != std::wstring_view::npos) {
                EXPECT_EQ(translated.front(), english.front()) << context();
            }
            if (std::wstring_view(L" =':").find(english.back()) != std::wstring_view::npos) {
                EXPECT_EQ(translated.back(), english.back()) << context();
            }
        }
    }
}

}  // namespace
}  // namespace vcm
