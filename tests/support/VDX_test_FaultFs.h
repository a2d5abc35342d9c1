#pragma once
// A file system for tests that fails chosen calls: "MakeDir on a path
// containing 'locked' fails with EACCES", "the third Read of 'big.bin' fails
// with EIO", "every Read of 'slow' returns at most 7 bytes". Everything else
// goes to the real file system. Install it with TFaultFsInstall.

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/VDX_unit_FileSystem.h"

namespace vdx::test {

enum class TFsOp {
    Stat,
    LStat,
    StatAt,
    FStat,
    StatVfs,
    Open,
    OpenAt,
    Close,
    Read,
    Write,
    FSync,
    ReadDirEntries,
    MakeDir,
    RemoveDir,
    Unlink,
    Rename,
    ChangeMode,
    CopyFileRange,
    FUtimens,
    FChmod,
    // Kept last: the call counters are sized by it.
    Link,
    StatxAt,
};

struct TFaultRule {
    TFsOp op = TFsOp::Open;
    // The call's path must contain this text; empty matches every call. Calls
    // on a descriptor match the path it was opened with (an OpenAt descriptor
    // under a tracked folder descriptor: folder path + "/" + name); Rename
    // matches when either of its paths does.
    std::string pathPart;
    // The errno the call returns; 0 lets the call run (limited by maxBytes).
    int error = 0;
    // Matching calls that run normally before the rule takes effect.
    int after = 0;
    // How many calls the rule affects once in effect; -1 for every one.
    int times = -1;
    // Read and Write: at most this many bytes per call (0 for no limit).
    std::size_t maxBytes = 0;
};

class TFaultFs : public vdx::TFileSystem {
public:
    // Called at the start of every call with its operation and path (as the
    // rules match it), before the call runs, so that a test can change the
    // tree at that exact moment (swap a folder for a link). Set it before any
    // worker starts; it runs on the calling thread without the rules' lock.
    std::function<void(TFsOp op, const std::string& path)> onCall;

    void Add(const TFaultRule& rule);
    // op on a path containing pathPart fails with error after `after` calls.
    void Fail(TFsOp op, std::string pathPart, int error, int after = 0);
    // Every Read of a file whose path contains pathPart returns at most maxBytes.
    void ShortReads(std::string pathPart, std::size_t maxBytes);
    void Clear();
    // How many calls of op were made (matched by a rule or not).
    int Calls(TFsOp op) const;

    int Stat(const char* path, struct stat& st) override;
    int LStat(const char* path, struct stat& st) override;
    int StatAt(int dirFd, const char* name, struct stat& st, int flags) override;
    int FStat(int fd, struct stat& st) override;
    int StatVfs(const char* path, struct statvfs& st) override;
    int Open(const char* path, int flags, mode_t mode, int& fd) override;
    int OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd) override;
    int Close(int fd) override;
    // Not counted; the copy is tracked with the original's path.
    int Duplicate(int fd, int& copy) override;
    int Read(int fd, void* buffer, std::size_t n, std::size_t& done) override;
    int Write(int fd, const void* buffer, std::size_t n, std::size_t& done) override;
    int FSync(int fd) override;
    int ReadDirEntries(int dirFd, void* buffer, std::size_t n, std::size_t& done) override;
    int MakeDir(const char* path, mode_t mode) override;
    int RemoveDir(const char* path) override;
    int Unlink(const char* path) override;
    int Rename(const char* from, const char* to) override;
    // Counted and failed by the rules of Rename.
    int RenameNoReplace(const char* from, const char* to) override;
    // Counted and failed by the rules of Rename and Unlink, matched by the
    // folder descriptor's path + "/" + name.
    int RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) override;
    int UnlinkAt(int dirFd, const char* name, int flags) override;
    int ChangeMode(const char* path, mode_t mode) override;
    // Matched by the path of either descriptor; maxBytes limits it as a Read.
    int CopyFileRange(int fdIn, int fdOut, std::size_t n, std::size_t& done) override;
    int FUtimens(int fd, const struct timespec times[2]) override;
    int FChmod(int fd, mode_t mode) override;
    // Matched by the paths of both sides: an AT_EMPTY_PATH source by the
    // path its descriptor was opened with.
    int LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override;
    int StatxAt(int dirFd, const char* name, int flags, unsigned mask, struct statx& stx) override;

private:
    struct TState {
        TFaultRule rule;
        int seen = 0;
        int fired = 0;
    };
    struct TVerdict {
        int error = 0;
        std::size_t maxBytes = 0;
    };

    // Counts the call and returns what the first rule in effect asks for.
    TVerdict Check(TFsOp op, const std::string& path, const std::string& path2 = {});
    std::string PathOf(int fd) const;
    std::string PathAt(int dirFd, const char* name) const;
    void Track(int fd, std::string path);

    mutable std::mutex m_lock;
    std::vector<TState> m_rules;
    std::map<int, std::string> m_fdPaths;
    int m_calls[static_cast<int>(TFsOp::StatxAt) + 1] = {};
};

// Installs a file system for the lifetime of the object and then restores
// the one that was in use before.
class TFaultFsInstall {
public:
    explicit TFaultFsInstall(vdx::TFileSystem& fs) : m_previous(vdx::SetFileSystem(&fs)) {}
    ~TFaultFsInstall() { vdx::SetFileSystem(m_previous); }
    TFaultFsInstall(const TFaultFsInstall&) = delete;
    TFaultFsInstall& operator=(const TFaultFsInstall&) = delete;

private:
    vdx::TFileSystem* m_previous;
};

} // namespace vdx::test
