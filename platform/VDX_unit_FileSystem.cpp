#include "platform/VDX_unit_FileSystem.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

inline int ResultOf(int rc) {
    return rc == 0 ? 0 : errno;
}

std::atomic<TFileSystem*> g_installed{nullptr};

} // namespace

int TFileSystem::Stat(const char* path, struct stat& st) {
    return ResultOf(::stat(path, &st));
}

int TFileSystem::LStat(const char* path, struct stat& st) {
    return ResultOf(::lstat(path, &st));
}

int TFileSystem::StatAt(int dirFd, const char* name, struct stat& st, int flags) {
    return ResultOf(::fstatat(dirFd, name, &st, flags));
}

int TFileSystem::FStat(int fd, struct stat& st) {
    return ResultOf(::fstat(fd, &st));
}

int TFileSystem::StatxAt(int dirFd, const char* name, int flags, unsigned mask, struct statx& stx) {
    return ResultOf(::statx(dirFd, name, flags, mask, &stx));
}

int TFileSystem::StatVfs(const char* path, struct statvfs& st) {
    return ResultOf(::statvfs(path, &st));
}

int TFileSystem::Open(const char* path, int flags, mode_t mode, int& fd) {
    return OpenAt(AT_FDCWD, path, flags, mode, fd);
}

int TFileSystem::OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd) {
    int rc;
    do
        rc = ::openat(dirFd, name, flags | O_CLOEXEC, mode);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        fd = -1;
        return errno;
    }
    fd = rc;
    return 0;
}

int TFileSystem::Close(int fd) {
    // Linux frees the descriptor even when close reports EINTR, so retrying
    // could close a descriptor another thread has just been given.
    if (::close(fd) == 0 || errno == EINTR)
        return 0;
    return errno;
}

int TFileSystem::Duplicate(int fd, int& copy) {
    copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    return copy < 0 ? errno : 0;
}

int TFileSystem::Read(int fd, void* buffer, std::size_t n, std::size_t& done) {
    ssize_t rc;
    do
        rc = ::read(fd, buffer, n);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        done = 0;
        return errno;
    }
    done = static_cast<std::size_t>(rc);
    return 0;
}

int TFileSystem::Write(int fd, const void* buffer, std::size_t n, std::size_t& done) {
    ssize_t rc;
    do
        rc = ::write(fd, buffer, n);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        done = 0;
        return errno;
    }
    done = static_cast<std::size_t>(rc);
    return 0;
}

int TFileSystem::FSync(int fd) {
    int rc;
    do
        rc = ::fsync(fd);
    while (rc < 0 && errno == EINTR);
    return ResultOf(rc);
}

int TFileSystem::CopyFileRange(int fdIn, int fdOut, std::size_t n, std::size_t& done) {
    ssize_t rc;
    do
        rc = ::copy_file_range(fdIn, nullptr, fdOut, nullptr, n, 0);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        done = 0;
        return errno;
    }
    done = static_cast<std::size_t>(rc);
    return 0;
}

int TFileSystem::FUtimens(int fd, const struct timespec times[2]) {
    return ResultOf(::futimens(fd, times));
}

int TFileSystem::FChmod(int fd, mode_t mode) {
    return ResultOf(::fchmod(fd, mode));
}

int TFileSystem::Seek(int fd, std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX))
        return EINVAL;
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0 ? errno : 0;
}

int TFileSystem::Advise(int fd, int advice) {
    // posix_fadvise returns the error instead of setting errno.
    return ::posix_fadvise(fd, 0, 0, advice);
}

int TFileSystem::ReadDirEntries(int dirFd, void* buffer, std::size_t n, std::size_t& done) {
    long rc;
    do
        rc = ::syscall(SYS_getdents64, dirFd, buffer, n);
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        done = 0;
        return errno;
    }
    done = static_cast<std::size_t>(rc);
    return 0;
}

int TFileSystem::MakeDir(const char* path, mode_t mode) {
    return ResultOf(::mkdir(path, mode));
}

int TFileSystem::RemoveDir(const char* path) {
    return ResultOf(::rmdir(path));
}

int TFileSystem::Unlink(const char* path) {
    return ResultOf(::unlink(path));
}

int TFileSystem::Rename(const char* from, const char* to) {
    return ResultOf(::rename(from, to));
}

int TFileSystem::RenameNoReplace(const char* from, const char* to) {
    return ResultOf(::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
}

int TFileSystem::RenameAt(int fromDir, const char* from, int toDir, const char* to,
                          unsigned flags) {
    return ResultOf(::renameat2(fromDir, from, toDir, to, flags));
}

int TFileSystem::LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return ResultOf(::linkat(fromDir, from, toDir, to, flags));
}

int TFileSystem::UnlinkAt(int dirFd, const char* name, int flags) {
    return ResultOf(::unlinkat(dirFd, name, flags));
}

int TFileSystem::ChangeMode(const char* path, mode_t mode) {
    return ResultOf(::chmod(path, mode));
}

int TFileSystem::Access(const char* path, int mode) {
    return ResultOf(::faccessat(AT_FDCWD, path, mode, AT_EACCESS));
}

TFileSystem& Fs() {
    static TFileSystem real;
    TFileSystem* installed = g_installed.load(std::memory_order_acquire);
    return installed ? *installed : real;
}

TFileSystem* SetFileSystem(TFileSystem* fs) {
    return g_installed.exchange(fs, std::memory_order_acq_rel);
}

int WriteAll(int fd, const void* buffer, std::size_t n) {
    const auto* p = static_cast<const char*>(buffer);
    while (n > 0) {
        std::size_t done = 0;
        if (const int rc = Fs().Write(fd, p, n, done); rc != 0)
            return rc;
        // A write that takes nothing would loop for ever; the disk is full.
        if (done == 0)
            return ENOSPC;
        p += done;
        n -= done;
    }
    return 0;
}

std::string NativePath(std::u16string_view path) {
    return EncodeFileName(path);
}

} // namespace vdx
