#pragma once
// Every file-system call the program makes goes through TFileSystem, so that
// tests can make any of them fail (EACCES, ENOSPC, EIO, EXDEV, short reads)
// by installing a subclass. Each call returns 0 on success or the errno value
// of the failure; it never throws.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>

namespace vdx {

class TFileSystem {
public:
    virtual ~TFileSystem() = default;

    // Metadata. StatAt takes the flags of fstatat (AT_SYMLINK_NOFOLLOW ...).
    [[nodiscard]] virtual int Stat(const char* path, struct stat& st);
    [[nodiscard]] virtual int LStat(const char* path, struct stat& st);
    [[nodiscard]] virtual int StatAt(int dirFd, const char* name, struct stat& st, int flags);
    [[nodiscard]] virtual int FStat(int fd, struct stat& st);
    // statx relative to a folder descriptor (flags AT_SYMLINK_NOFOLLOW,
    // AT_EMPTY_PATH ...; mask STATX_*): what stat cannot tell, such as the
    // mount a file lies on (stx_mnt_id).
    [[nodiscard]] virtual int StatxAt(int dirFd, const char* name, int flags, unsigned mask,
                                      struct statx& stx);
    [[nodiscard]] virtual int StatVfs(const char* path, struct statvfs& st);
    // The absolute form of path with every symbolic link, "." and ".."
    // resolved (realpath); ENOENT when a component does not exist.
    [[nodiscard]] virtual int RealPath(const char* path, std::string& resolved);

    // Descriptors. Open and OpenAt always add O_CLOEXEC.
    [[nodiscard]] virtual int Open(const char* path, int flags, mode_t mode, int& fd);
    [[nodiscard]] virtual int OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd);
    [[nodiscard]] virtual int Close(int fd);
    // A second descriptor of the same open file (F_DUPFD_CLOEXEC).
    [[nodiscard]] virtual int Duplicate(int fd, int& copy);
    // Reads or writes up to n bytes once (retrying EINTR); done is how many.
    [[nodiscard]] virtual int Read(int fd, void* buffer, std::size_t n, std::size_t& done);
    [[nodiscard]] virtual int Write(int fd, const void* buffer, std::size_t n, std::size_t& done);
    [[nodiscard]] virtual int FSync(int fd);
    // Copies up to n bytes from fdIn's position to fdOut's inside the kernel
    // (copy_file_range), advancing both positions; done is how many, 0 at the
    // end of fdIn. ENOSYS, EXDEV, EOPNOTSUPP or EINVAL when the kernel cannot
    // copy between these two files: the caller then reads and writes.
    [[nodiscard]] virtual int CopyFileRange(int fdIn, int fdOut, std::size_t n, std::size_t& done);
    // Sets the last-access and last-write times of an open file
    // (futimens; times[0] access, times[1] write).
    [[nodiscard]] virtual int FUtimens(int fd, const struct timespec times[2]);
    // Sets the permission bits of an open file (fchmod).
    [[nodiscard]] virtual int FChmod(int fd, mode_t mode);
    // Moves the file position to offset bytes from the start (lseek).
    [[nodiscard]] virtual int Seek(int fd, std::uint64_t offset);
    // Tells the kernel how the whole file will be read (posix_fadvise with a
    // POSIX_FADV_* advice); only a hint, so callers may ignore a failure.
    [[nodiscard]] virtual int Advise(int fd, int advice);
    // Reads raw directory entries (getdents64) into buffer; done is the number
    // of bytes filled, 0 at the end of the directory.
    [[nodiscard]] virtual int ReadDirEntries(int dirFd, void* buffer, std::size_t n,
                                             std::size_t& done);

    // Names.
    [[nodiscard]] virtual int MakeDir(const char* path, mode_t mode);
    [[nodiscard]] virtual int RemoveDir(const char* path);
    [[nodiscard]] virtual int Unlink(const char* path);
    [[nodiscard]] virtual int Rename(const char* from, const char* to);
    // Rename that never replaces an existing entry: EEXIST when `to` exists,
    // EINVAL when the file system cannot promise that (renameat2 with
    // RENAME_NOREPLACE).
    [[nodiscard]] virtual int RenameNoReplace(const char* from, const char* to);
    // Rename relative to folder descriptors (renameat2); flags 0 or
    // RENAME_NOREPLACE, with the errors of RenameNoReplace.
    [[nodiscard]] virtual int RenameAt(int fromDir, const char* from, int toDir, const char* to,
                                       unsigned flags);
    // A new name for an existing file (linkat): never replaces an entry
    // (EEXIST). With AT_EMPTY_PATH and an empty from, fromDir is the file
    // itself, which gives an unnamed temporary file (O_TMPFILE) its name.
    [[nodiscard]] virtual int LinkAt(int fromDir, const char* from, int toDir, const char* to,
                                     int flags);
    // Unlink relative to a folder descriptor (unlinkat, flags 0 or AT_REMOVEDIR).
    [[nodiscard]] virtual int UnlinkAt(int dirFd, const char* name, int flags);
    [[nodiscard]] virtual int ChangeMode(const char* path, mode_t mode);
    // Whether this process may use path as mode asks (R_OK, W_OK, X_OK,
    // F_OK), judged with its effective ids; EROFS for writing on a read-only
    // mount.
    [[nodiscard]] virtual int Access(const char* path, int mode);
};

inline int TFileSystem::RealPath(const char* path, std::string& resolved) {
    char* full = ::realpath(path, nullptr);
    if (!full)
        return errno;
    resolved.assign(full);
    std::free(full);
    return 0;
}

// The file system in use: the real one unless a test installed another.
TFileSystem& Fs();

// Installs fs (nullptr restores the real one) and returns the previous one.
// Not thread-safe: tests install before starting any worker.
TFileSystem* SetFileSystem(TFileSystem* fs);

// Writes a whole buffer, retrying short writes; 0 or the errno of the failure.
[[nodiscard]] int WriteAll(int fd, const void* buffer, std::size_t n);

// The path as bytes for the system calls (the lossless codec's encoding).
std::string NativePath(std::u16string_view path);

} // namespace vdx
