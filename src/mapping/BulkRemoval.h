// Removing many mappings in one pass. Candidates go in batches: two statements read the rows
// of a batch's keys and its subscribers, and the records of the rows that may go reach the
// restore file with one flush. Then each row, in a transaction of its own, is read again by
// its key, subscriber id and SID, deleted by the same condition and proved gone, and logged
// (activity log and the Windows event log). A row that fails or is skipped does not stop the
// others; the record of a row that stays is marked as not removed.
#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace vcm {

// A grid row chosen for removal, with what the load saw of it.
struct RemovalCandidate {
    std::wstring key;                 // msrepl_tran_version as read
    std::vector<unsigned char> sid;   // the SID bytes the load read
    std::wstring subscriberId;        // the subscriber object id the load read
    std::wstring account;             // DOMAIN\name, or the SID text of an account that no longer resolves
    std::wstring veltoAlias;
};

struct SkippedCandidate {
    size_t index = 0;  // position in the candidate list
    std::wstring account;
    std::wstring reason;  // catalogue text, or a failure in the error trap's form
};

struct BulkRemovalResult {
    std::vector<size_t> removed;  // positions in the candidate list, in order
    std::vector<SkippedCandidate> skipped;
    bool stopped = false;         // the stop flag ended the pass before the last candidate
    size_t statements = 0;        // statements sent to the database, all rows together
};

struct BulkRemovalContext {
    std::wstring connection;
    int major = 0;                  // the product's major version: which table holds the mappings
    std::wstring restoreFile;       // the restore file's path
    std::wstring removedBy;         // DOMAIN\user for the restore record and the event log;
                                    // empty: the account the process runs as
    // Called after each candidate with (done, total); may be empty.
    std::function<void(size_t, size_t)> progress;
    // Checked between candidates; may be null.
    const std::atomic<bool>* stop = nullptr;
    // Checked between candidates as well (a runner's Stop); may be empty.
    std::function<bool()> stopRequested;
    // Where a failure's trap-form text says it was caught.
    std::wstring procedure = L"mnuRemoveDeletedAccounts_Click";
    std::wstring form = L"frmMain";
};

// Removes the candidates in order. Throws an Error only when nothing can start (no
// connection, no mapping table, restore file cannot be opened); every per-row failure becomes
// a skipped candidate with its reason.
BulkRemovalResult RemoveMappings(const std::vector<RemovalCandidate>& candidates, const BulkRemovalContext& context);

// The single removal's share of the same work. WriteRemovalRecord reads the row that holds
// the candidate's key on a connection of its own, proves it is the row the load saw, and
// appends its record to the restore file, on disk when it returns; it returns the record's
// id. It throws an Error (the reason as its text) when the row is not that one or the record
// cannot be written: nothing may be deleted then.
std::wstring WriteRemovalRecord(const RemovalCandidate& candidate, const BulkRemovalContext& context);
// The delete that followed the record did not happen: the record is not to be restored.
void MarkRemovalNotDone(const BulkRemovalContext& context, const std::wstring& recordId);
// The removal's entry in the Windows event log; a refused entry is reported, never thrown.
void ReportRemovalToEventLog(const RemovalCandidate& candidate, const BulkRemovalContext& context);

}  // namespace vcm
