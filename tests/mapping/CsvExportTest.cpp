// Exporting the grid to real files, with a scripted administrator choosing the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#include "GridFiles.h"
#include "TestFiles.h"
#include "ScriptedDialogs.h"
#include "mapping/CsvExport.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

const std::wstring kFolder = L"export";
const std::string kOld = "an older and much longer file that must not survive the export\r\n";

// The folder's file names, sorted.
std::vector<std::wstring> Listing()
{
    std::vector<std::wstring> names = test::FolderEntries(kFolder);
    std::sort(names.begin(), names.end());
    return names;
}

class Export : public testing::Test {
protected:
    void SetUp() override { Clear(); CreateDirectoryW(kFolder.c_str(), nullptr); }
    void TearDown() override
    {
        SetCsvFileWriter(nullptr);
        Clear();
    }

    static void Clear()
    {
        for (const std::wstring& name : Listing()) {
            const std::wstring path = kFolder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(path.c_str()))
                RemoveDirectoryW(path.c_str());
        }
    }
};

// A disk that fills up after the first bytes: they reach the file, the rest is refused.
DWORD FullAfterFirstBytes(HANDLE file, std::string_view bytes)
{
    DWORD written = 0;
    WriteFile(file, bytes.data(), 8, &written, nullptr);
    return ERROR_DISK_FULL;
}

const std::vector<MappingRow> kRows = {
    {L"SALES", L"jdoe", true, L"jdoe", L"K1"},
    {L"HR", L"asmith", false, L"annas", L"K2"},
    {L"IT", L"J\u00fcrgen", false, L" bob ", L"K3"},
};
const std::string kPlain = "Domain, AD_Alias, Velto_Alias\r\nSALES,jdoe,jdoe\r\nHR,asmith,annas\r\nIT,J\xFCrgen, bob \r\n";

TEST_F(Export, HeaderOnlyGridAsksForNoFile)
{
    test::ScriptedDialogs person;
    ExportGridToCsv(test::GridOf({}), person);
    ASSERT_EQ(person.messages.size(), 1u);
    EXPECT_EQ(person.messages[0].text, L"No mappings to export");
    EXPECT_EQ(person.messages[0].type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(person.messages[0].title, kAppTitle);
    EXPECT_TRUE(person.saveRequests.empty());
}

TEST_F(Export, CancelWritesNothingAndSaysNothing)
{
    test::ScriptedDialogs person;
    person.AnswerSave(std::nullopt);
    ExportGridToCsv(test::GridOf(kRows), person);
    EXPECT_TRUE(person.messages.empty());
    EXPECT_TRUE(Listing().empty());
    ASSERT_EQ(person.saveRequests.size(), 1u);
    const SaveFileRequest& asked = person.saveRequests[0];
    EXPECT_EQ(asked.title, L"Export credentials mapping information to a file");
    EXPECT_EQ(asked.fileName, L"c:\\CredentialsMap.csv");
    EXPECT_EQ(asked.filter, L"*.CSV");
    EXPECT_EQ(asked.defaultExt, L"");
    EXPECT_TRUE(asked.flags & OFN_OVERWRITEPROMPT);
}

TEST_F(Export, WritesTheGridAsItStandsOverTheOldFile)
{
    const auto sortedByAlias = [](GridModel& g) { g.Sort(g.ColIndex(kKeyADAlias), true); };
    const struct {
        const char* what;
        std::vector<MappingRow> rows;
        std::function<void(GridModel&)> arrange;
        std::wstring name;
        std::string expected;
    } cases[] = {
        {"grid order, ANSI, cells untrimmed", kRows, {}, L"map.csv", kPlain},
        {"sorted", kRows, sortedByAlias, L"map.csv",
         "Domain, AD_Alias, Velto_Alias\r\nHR,asmith,annas\r\nSALES,jdoe,jdoe\r\nIT,J\xFCrgen, bob \r\n"},
        {"columns dragged and sorted descending",
         kRows,
         [](GridModel& g) {
             g.MoveColumn(g.ColIndex(kKeyVeltoAlias), 1);
             g.MoveColumn(g.ColIndex(kKeyADAlias), 1);
             g.Sort(g.ColIndex(kKeyADDomain), false);
         },
         L"map.csv", "Domain, AD_Alias, Velto_Alias\r\nSALES,jdoe,jdoe\r\nIT,J\xFCrgen, bob \r\nHR,asmith,annas\r\n"},
        {"fields that need quotes",
         {{L"SALES", L"jdoe", false, L"jdoe", L"K1"},
          {L"a,b", L"say \"hi\"", false, L"line\r\nbreak", L"K2"},
          {L"\"", L"lf\nonly", false, L",", L"K3"}},
         {}, L"map.csv",
         "Domain, AD_Alias, Velto_Alias\r\nSALES,jdoe,jdoe\r\n\"a,b\",\"say \"\"hi\"\"\",\"line\r\nbreak\"\r\n"
         "\"\"\"\",\"lf\nonly\",\",\"\r\n"},
        {"name without extension", kRows, {}, L"mappings", kPlain},
    };
    for (const auto& c : cases) {
        Clear();
        const std::wstring target = kFolder + L"\\" + c.name;
        ASSERT_TRUE(test::WriteBytes(target, kOld + kOld + kOld + kOld + kOld)) << c.what;
        GridModel grid = test::GridOf(c.rows);
        if (c.arrange)
            c.arrange(grid);
        test::ScriptedDialogs person;
        person.AnswerSave(target);

        ExportGridToCsv(grid, person);

        EXPECT_EQ(test::FileBytes(target), c.expected) << c.what;
        EXPECT_EQ(Listing(), std::vector<std::wstring>{c.name}) << c.what;
        ASSERT_EQ(person.messages.size(), 1u) << c.what;
        EXPECT_EQ(person.messages[0].text, L"Output complete") << c.what;
        EXPECT_EQ(person.messages[0].type, static_cast<UINT>(MB_OK)) << c.what;
        EXPECT_EQ(person.messages[0].title, kAppTitle) << c.what;
    }
}

TEST_F(Export, FailureIsReportedOnceAndKeepsWhatWasThere)
{
    const struct {
        const char* what;
        std::wstring target;
        std::function<void()> prepare;
        std::vector<std::wstring> listing;
        std::optional<std::string> kept;  // the target's bytes afterwards
        CsvFileWriter writer = nullptr;
    } cases[] = {
        {"read-only target", kFolder + L"\\map.csv",
         [] {
             test::WriteBytes(kFolder + L"\\map.csv", kOld);
             SetFileAttributesW((kFolder + L"\\map.csv").c_str(), FILE_ATTRIBUTE_READONLY);
         },
         {L"map.csv"}, kOld},
        {"target is a folder", kFolder + L"\\map.csv",
         [] {
             CreateDirectoryW((kFolder + L"\\map.csv").c_str(), nullptr);
         },
         {L"map.csv"}, std::nullopt},
        {"folder missing", kFolder + L"\\missing\\map.csv", {}, {}, std::nullopt},
        {"disk full part-way over an old file", kFolder + L"\\map.csv",
         [] { test::WriteBytes(kFolder + L"\\map.csv", kOld); }, {L"map.csv"}, kOld, FullAfterFirstBytes},
        {"disk full part-way, no old file", kFolder + L"\\map.csv", {}, {}, std::nullopt, FullAfterFirstBytes},
    };
    for (const auto& c : cases) {
        Clear();
        if (c.prepare)
            c.prepare();
        test::ScriptedDialogs person;
        person.AnswerSave(c.target);
        SetCsvFileWriter(c.writer);

        ExportGridToCsv(test::GridOf(kRows), person);

        SetCsvFileWriter(nullptr);
        ASSERT_EQ(person.messages.size(), 1u) << c.what;
        const std::wstring& text = person.messages[0].text;
        EXPECT_TRUE(text.starts_with(L"(error):") &&
                    text.ends_with(L") in procedure mnuExportToCSV_Click of Form frmMain"))
            << c.what << ": " << ToUtf8(text);
        if (c.writer) {
            EXPECT_TRUE(text.starts_with(L"(error):" + std::to_wstring(ERROR_DISK_FULL) + L" (")) << ToUtf8(text);
        }
        EXPECT_EQ(person.messages[0].type, static_cast<UINT>(MB_OK)) << c.what;
        EXPECT_EQ(Listing(), c.listing) << c.what;
        if (c.kept) {
            EXPECT_EQ(test::FileBytes(c.target), *c.kept) << c.what;
        }
    }
}

}  // namespace
}  // namespace vcm
