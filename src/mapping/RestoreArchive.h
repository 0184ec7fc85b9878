// The restore file, CredentialsRemoved.txt beside the activity log: one line per removed
// mapping row, holding every column's name, type and value, so that the row can be put back.
// Lines are appended and flushed to disk before the row's delete commits; copies of the
// tool running at the same time share the file as they share the log.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "mapping/FieldValue.h"
#include "platform/Handles.h"

namespace vcm {

inline constexpr wchar_t kRestoreFileName[] = L"CredentialsRemoved.txt";
// The restore file of this program: beside the executable, as the activity log is.
std::wstring RestoreFilePath();

// The format this program writes and the newest it reads.
inline constexpr int kRestoreFormatVersion = 1;

struct RestoreColumn {
    std::wstring name;
    short sqlType = 0;  // the column's ODBC type as the driver described it
    FieldValue value;
};

struct RestoreRecord {
    std::wstring id;           // unique per record; the later markers name it
    std::wstring removedUtc;   // "2026-12-07T18:42:02Z"
    std::wstring table;        // the table the row was removed from
    int major = 0;             // the product's major version at the time
    std::wstring account;      // DOMAIN\name, or the SID text of an account that no longer resolves
    std::wstring veltoAlias;
    std::wstring removedBy;    // DOMAIN\user of the operator
    std::vector<RestoreColumn> columns;
};

enum class RecordState { Removed, NotRemoved, Restored };

struct ListedRecord {
    RestoreRecord record;
    RecordState state = RecordState::Removed;
};

// A line the reader refused, with the reason in plain words (catalogue text).
struct RefusedLine {
    size_t lineNumber = 0;  // 1-based
    std::wstring reason;
};

struct ArchiveContents {
    std::vector<ListedRecord> records;  // in file order
    std::vector<RefusedLine> refused;
};

// One line of the file for the record, or for a marker, without its line end. Public for the
// tests, which take lines apart and put them together as a person editing the file would.
std::string RecordLine(const RestoreRecord& record);
std::string MarkerLine(wchar_t kind, const std::wstring& id);

// Reads the whole file; a missing file is an empty archive. Throws an Error only when the
// file exists but cannot be read.
ArchiveContents ReadRestoreFile(const std::wstring& path);

// A new record id, unique across processes and runs.
std::wstring NewRecordId();
// The current moment in the file's time form.
std::wstring UtcNowText();
// A recorded moment in the user's general date format, local time; the text as it is when
// it is not of the file's form.
std::wstring LocalGeneralDate(const std::wstring& utcText);

// Appends lines to the restore file. Every append is one whole line, written under a lock
// that every copy of the tool takes, and flushed to disk before it returns; a failure throws
// an Error with the system's reason, so that the caller deletes nothing.
class RestoreWriter {
public:
    explicit RestoreWriter(std::wstring path);

    void Append(const RestoreRecord& record);
    // Several records in one write and one flush: a batch's records before its deletes.
    void AppendAll(const std::vector<RestoreRecord>& records);
    // The delete that followed the record did not happen: restoring must not bring it back.
    void MarkNotRemoved(const std::wstring& id);
    void MarkNotRemoved(const std::vector<std::wstring>& ids);
    // The record's row was put back.
    void MarkRestored(const std::wstring& id);

    const std::wstring& Path() const noexcept { return m_path; }

private:
    void WriteLine(const std::string& line);
    // Whole lines, each ending in CR LF, written under one lock and flushed once.
    void WriteLines(const std::string& lines);

    std::wstring m_path;
    UniqueHandle m_file;
};

}  // namespace vcm
