// The restore file: every value comes back as it went in, lines that cannot be trusted are
// refused with their reason, and copies of the tool writing at once leave whole lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <thread>

#include "TempFolder.h"
#include "TestFiles.h"
#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/Odbc.h"
#include "mapping/RestoreArchive.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

RestoreRecord Record(const std::wstring& id, std::vector<RestoreColumn> columns = {})
{
    RestoreRecord record;
    record.id = id;
    record.removedUtc = L"2026-12-07T15:04:05Z";
    record.table = L"Credential";
    record.major = 4;
    record.account = L"S-1-5-21-0-0-0-4242";
    record.veltoAlias = L"jdoe";
    record.removedBy = L"VM\\root";
    record.columns = std::move(columns);
    return record;
}

std::vector<unsigned char> AllBytes()
{
    std::vector<unsigned char> bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i);
    return bytes;
}

TEST(RestoreArchive, EveryValueComesBackAsItWentIn)
{
    const std::vector<RestoreColumn> columns = {
        {L"null", SQL_WVARCHAR, std::monostate{}},
        {L"empty text", SQL_WVARCHAR, std::wstring()},
        // the separators and line ends of the format itself, and its escape character
        {L"tab\tname", SQL_WVARCHAR, std::wstring(L"a\tb\r\nc\rd\ne%41%uD800%")},
        {L"controls", SQL_WLONGVARCHAR, std::wstring(L"\x01\x1f\x7f nul:") + std::wstring(1, L'\0') + L"end"},
        {L"unicode", SQL_WVARCHAR, std::wstring(L"Grüße €  \U0001F600 Ω")},
        // halves of a surrogate pair on their own are kept unit for unit
        {L"lone surrogates", SQL_WVARCHAR, std::wstring(L"x\xD800y\xDC00\xDBFF")},
        {L"looks like a token", SQL_WVARCHAR, std::wstring(L"N")},
        {L"int min", SQL_BIGINT, LLONG_MIN},
        {L"int max", SQL_INTEGER, LLONG_MAX},
        {L"float", SQL_DOUBLE, 0.1},
        {L"float tiny", SQL_DOUBLE, -DBL_TRUE_MIN},
        {L"float huge", SQL_REAL, DBL_MAX},
        {L"bit on", SQL_BIT, true},
        {L"bit off", SQL_BIT, false},
        {L"no bytes", SQL_VARBINARY, std::vector<unsigned char>()},
        {L"every byte", SQL_LONGVARBINARY, AllBytes()},
        {L"guid", -11, std::wstring(L"0E984725-C51C-4BF4-9960-E1C80E27ABA0")},
    };
    test::TempFolder folder(L"archive-values");
    const std::wstring path = folder.Path() + L"\\" + kRestoreFileName;
    RestoreRecord written = Record(L"id\t1", columns);
    written.account = L"SALES\\o'brien\r\n";
    written.veltoAlias = L"%20 alias";
    {
        RestoreWriter writer(path);
        writer.Append(written);
        writer.Append(Record(L"empty record"));
    }
    const ArchiveContents contents = ReadRestoreFile(path);
    ASSERT_TRUE(contents.refused.empty()) << testing::PrintToString(contents.refused.front().reason);
    ASSERT_EQ(contents.records.size(), 2u);
    const RestoreRecord& read = contents.records[0].record;
    EXPECT_EQ(read.id, written.id);
    EXPECT_EQ(read.removedUtc, written.removedUtc);
    EXPECT_EQ(read.table, written.table);
    EXPECT_EQ(read.major, 4);
    EXPECT_EQ(read.account, written.account);
    EXPECT_EQ(read.veltoAlias, written.veltoAlias);
    EXPECT_EQ(read.removedBy, written.removedBy);
    ASSERT_EQ(read.columns.size(), columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        EXPECT_EQ(read.columns[i].name, columns[i].name) << i;
        EXPECT_EQ(read.columns[i].sqlType, columns[i].sqlType) << i;
        EXPECT_EQ(read.columns[i].value, columns[i].value) << testing::PrintToString(columns[i].name);
    }
    EXPECT_EQ(contents.records[0].state, RecordState::Removed);
    EXPECT_TRUE(contents.records[1].record.columns.empty());
    // One record, one line: nothing in a value breaks a line.
    const std::string bytes = test::FileBytes(path);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 2);
}

TEST(RestoreArchive, RefusesLinesItCannotTrustAndKeepsTheOthers)
{
    const std::string good1 = RecordLine(Record(L"one", {{L"msrepl_tran_version", SQL_WVARCHAR, std::wstring(L"K1")}}));
    const std::string good2 = RecordLine(Record(L"two"));
    std::string edited = good1;
    edited.replace(edited.find("TK1"), 3, "TK9");  // a value changed by hand
    std::string newer = good2;
    newer.replace(0, 6, "VCMR\t2");  // a format this program does not know yet
    struct Case {
        const char* what;
        std::string file;
        size_t refusedLine;
        int reason;
        const char* reasonTail;  // appended after the catalogue text
    };
    const Case cases[] = {
        {"last line cut short", good1 + "\r\n" + good2.substr(0, good2.size() - 3), 2, IDS_LINE_TRUNCATED, ""},
        {"line without its end", good1 + "\r\n" + good2, 2, IDS_LINE_TRUNCATED, ""},
        {"value edited by hand", edited + "\r\n" + good2 + "\r\n", 1, IDS_LINE_CHECKSUM, ""},
        {"checksum edited too", good2.substr(0, good2.size() - 1) + "0\r\n" + good1 + "\r\n", 1, IDS_LINE_CHECKSUM, ""},
        {"newer format", newer + "\r\n" + good1 + "\r\n", 1, IDS_LINE_NEWER_FORMAT, "2"},
        {"not a record", "hello\r\n" + good1 + "\r\n", 1, IDS_LINE_MALFORMED, ""},
        {"empty line", good1 + "\r\n\r\n", 2, IDS_LINE_MALFORMED, ""},
    };
    test::TempFolder folder(L"archive-refused");
    const std::wstring path = folder.Path() + L"\\" + kRestoreFileName;
    for (const Case& c : cases) {
        ASSERT_TRUE(test::WriteBytes(path, c.file));
        const ArchiveContents contents = ReadRestoreFile(path);
        ASSERT_EQ(contents.refused.size(), 1u) << c.what;
        EXPECT_EQ(contents.refused[0].lineNumber, c.refusedLine) << c.what;
        EXPECT_EQ(contents.refused[0].reason, myLoadResString(c.reason) + FromUtf8(c.reasonTail)) << c.what;
        ASSERT_EQ(contents.records.size(), 1u) << c.what;  // the trusted line still reads
    }
}

TEST(RestoreArchive, MarkersTellRecordsNotRemovedAndRestored)
{
    test::TempFolder folder(L"archive-markers");
    const std::wstring path = folder.Path() + L"\\" + kRestoreFileName;
    {
        RestoreWriter writer(path);
        for (const wchar_t* id : {L"a", L"b", L"c"})
            writer.Append(Record(id));
        writer.MarkNotRemoved(L"b");
        writer.MarkRestored(L"c");
    }
    const ArchiveContents contents = ReadRestoreFile(path);
    ASSERT_EQ(contents.records.size(), 3u);
    EXPECT_EQ(contents.records[0].state, RecordState::Removed);
    EXPECT_EQ(contents.records[1].state, RecordState::NotRemoved);
    EXPECT_EQ(contents.records[2].state, RecordState::Restored);
    EXPECT_TRUE(ReadRestoreFile(folder.Path() + L"\\missing.txt").records.empty());
}

// Two copies of the tool, each with its own handle, append at the same time.
TEST(RestoreArchive, WritersSharingTheFileLeaveWholeLines)
{
    test::TempFolder folder(L"archive-shared");
    const std::wstring path = folder.Path() + L"\\" + kRestoreFileName;
    const std::wstring bulk(3000, L'x');  // long lines give a torn write room to show
    const auto write = [&](const std::wstring& prefix) {
        RestoreWriter writer(path);
        for (int i = 0; i < 150; ++i)
            writer.Append(Record(prefix + std::to_wstring(i), {{L"v", SQL_WVARCHAR, bulk}}));
    };
    std::thread first(write, L"first");
    std::thread second(write, L"second");
    first.join();
    second.join();
    const ArchiveContents contents = ReadRestoreFile(path);
    EXPECT_TRUE(contents.refused.empty());
    EXPECT_EQ(contents.records.size(), 300u);
}

}  // namespace
}  // namespace vcm
