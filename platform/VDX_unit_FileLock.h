#pragma once
// An advisory lock that serialises every read-modify-write of one file
// among the program's processes (several `vardex-cli sets save` at once, the
// command line beside the desktop program saving on close). The lock is a
// flock on a lock file beside the file, "<file>.lock", not on the file
// itself: the file is replaced by a rename on every save, so a lock on it
// would be held on the old inode while the next writer opened the new one.
//
// The lock file is created when missing and never removed: removing it would
// let a waiter hold a lock on an unlinked file while a newcomer locked a new
// one.

#include <string>
#include <string_view>

namespace vdx {

class TFileLock {
public:
    TFileLock() = default;
    ~TFileLock() { Release(); }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Waits until this process holds the exclusive lock for filePath (native
    // bytes). Returns 0 or the errno of creating, opening or locking the lock
    // file. A lock already held is released first.
    int Acquire(const std::string& filePath);
    int Acquire(std::u16string_view filePath);
    // Gives the lock up; does nothing when none is held.
    void Release();
    bool Held() const { return m_fd >= 0; }

    // The lock file of filePath.
    static std::string LockPathOf(const std::string& filePath) { return filePath + ".lock"; }

private:
    int m_fd = -1;
};

} // namespace vdx
