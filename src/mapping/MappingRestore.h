// Putting removed mappings back from the restore file: each chosen record is inserted column
// for column with bound parameters, in a transaction of its own, unless its key already exists
// or it comes from another table or layout than the server has now.
#pragma once
#include <string>
#include <vector>

#include "mapping/RestoreArchive.h"

namespace vcm {

struct RestoreOutcome {
    std::wstring account;
    bool restored = false;
    std::wstring reason;  // why not: catalogue text, or a failure in the error trap's form
};

struct RestoreContext {
    std::wstring connection;
    int major = 0;               // the product's major version now
    std::wstring restoreFile;    // restored records are marked there
    std::wstring procedure = L"cmdRestoreChecked_Click";
    std::wstring form = L"frmRestore";
};

// Restores the records in order; one outcome per record. Throws an Error only when nothing
// can start (no connection, no mapping table).
std::vector<RestoreOutcome> RestoreMappings(const std::vector<RestoreRecord>& records, const RestoreContext& context);

}  // namespace vcm

namespace vcm {

// The records a person may restore: those removed and not yet restored, newest first.
std::vector<RestoreRecord> RestorableRecords(const ArchiveContents& contents);

// The box after a restore: how many came back, how many not and why (the first ten), and the file.
std::wstring RestoreSummary(const std::vector<RestoreOutcome>& outcomes, const std::wstring& restoreFile);

// The box that names the lines the reader refused (the first ten), with their reasons.
std::wstring RefusedLinesMessage(const std::vector<RefusedLine>& refused);

}  // namespace vcm
