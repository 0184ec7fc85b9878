// One line's write held against every other copy of the tool that appends to the same file
// (the activity log, the restore file): an exclusive lock on a byte far past any real data,
// so the lock never stands in a reader's way. Append access alone already makes a write land
// whole at the end on Windows; the lock keeps that true where the platform finds the end and
// writes in two moves (Wine), at no cost worth counting for one line.
#pragma once
#include <windows.h>

namespace vcm {

class FileLineLock {
public:
    explicit FileLineLock(HANDLE file) : m_file(file)
    {
        m_region.Offset = 0xFFFFFFF0;
        m_region.OffsetHigh = 0x3FFFFFFF;
        m_locked = LockFileEx(m_file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &m_region) != FALSE;
    }
    ~FileLineLock()
    {
        if (m_locked)
            UnlockFileEx(m_file, 0, 1, 0, &m_region);
    }
    FileLineLock(const FileLineLock&) = delete;
    FileLineLock& operator=(const FileLineLock&) = delete;

private:
    HANDLE m_file;
    OVERLAPPED m_region = {};
    bool m_locked = false;
};

}  // namespace vcm
