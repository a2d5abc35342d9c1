#include "tests/support/VDX_test_FaultFs.h"

#include <algorithm>
#include <fcntl.h>

namespace vdx::test {

void TFaultFs::Add(const TFaultRule& rule) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_rules.push_back(TState{rule, 0, 0});
}

void TFaultFs::Fail(TFsOp op, std::string pathPart, int error, int after) {
    TFaultRule rule;
    rule.op = op;
    rule.pathPart = std::move(pathPart);
    rule.error = error;
    rule.after = after;
    Add(rule);
}

void TFaultFs::ShortReads(std::string pathPart, std::size_t maxBytes) {
    TFaultRule rule;
    rule.op = TFsOp::Read;
    rule.pathPart = std::move(pathPart);
    rule.maxBytes = maxBytes;
    Add(rule);
}

void TFaultFs::Clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_rules.clear();
}

int TFaultFs::Calls(TFsOp op) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls[static_cast<int>(op)];
}

TFaultFs::TVerdict TFaultFs::Check(TFsOp op, const std::string& path, const std::string& path2) {
    if (onCall)
        onCall(op, path);
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_calls[static_cast<int>(op)];
    TVerdict verdict;
    for (auto& state : m_rules) {
        const TFaultRule& rule = state.rule;
        if (rule.op != op)
            continue;
        const bool matches = rule.pathPart.empty() ||
                             path.find(rule.pathPart) != std::string::npos ||
                             (!path2.empty() && path2.find(rule.pathPart) != std::string::npos);
        if (!matches)
            continue;
        if (state.seen++ < rule.after)
            continue;
        if (rule.times >= 0 && state.fired >= rule.times)
            continue;
        ++state.fired;
        if (rule.error != 0)
            return TVerdict{rule.error, 0};
        if (rule.maxBytes != 0)
            verdict.maxBytes =
                verdict.maxBytes == 0 ? rule.maxBytes : std::min(verdict.maxBytes, rule.maxBytes);
    }
    return verdict;
}

std::string TFaultFs::PathOf(int fd) const {
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_fdPaths.find(fd);
    return it == m_fdPaths.end() ? std::string() : it->second;
}

std::string TFaultFs::PathAt(int dirFd, const char* name) const {
    if (dirFd == AT_FDCWD || (name && name[0] == '/'))
        return name ? name : "";
    const std::string dir = PathOf(dirFd);
    return dir.empty() ? std::string(name) : dir + "/" + name;
}

void TFaultFs::Track(int fd, std::string path) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_fdPaths[fd] = std::move(path);
}

int TFaultFs::Stat(const char* path, struct stat& st) {
    if (const auto v = Check(TFsOp::Stat, path); v.error)
        return v.error;
    return TFileSystem::Stat(path, st);
}

int TFaultFs::LStat(const char* path, struct stat& st) {
    if (const auto v = Check(TFsOp::LStat, path); v.error)
        return v.error;
    return TFileSystem::LStat(path, st);
}

int TFaultFs::StatAt(int dirFd, const char* name, struct stat& st, int flags) {
    if (const auto v = Check(TFsOp::StatAt, PathAt(dirFd, name)); v.error)
        return v.error;
    return TFileSystem::StatAt(dirFd, name, st, flags);
}

int TFaultFs::FStat(int fd, struct stat& st) {
    if (const auto v = Check(TFsOp::FStat, PathOf(fd)); v.error)
        return v.error;
    return TFileSystem::FStat(fd, st);
}

int TFaultFs::StatVfs(const char* path, struct statvfs& st) {
    if (const auto v = Check(TFsOp::StatVfs, path); v.error)
        return v.error;
    return TFileSystem::StatVfs(path, st);
}

int TFaultFs::Open(const char* path, int flags, mode_t mode, int& fd) {
    if (const auto v = Check(TFsOp::Open, path); v.error) {
        fd = -1;
        return v.error;
    }
    // The base Open goes through OpenAt; call the real one directly so the
    // call is not counted twice.
    const int rc = TFileSystem::OpenAt(AT_FDCWD, path, flags, mode, fd);
    if (rc == 0)
        Track(fd, path);
    return rc;
}

int TFaultFs::OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd) {
    const std::string full = PathAt(dirFd, name);
    if (const auto v = Check(TFsOp::OpenAt, full); v.error) {
        fd = -1;
        return v.error;
    }
    const int rc = TFileSystem::OpenAt(dirFd, name, flags, mode, fd);
    if (rc == 0)
        Track(fd, full);
    return rc;
}

int TFaultFs::Close(int fd) {
    const auto v = Check(TFsOp::Close, PathOf(fd));
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fdPaths.erase(fd);
    }
    // The descriptor is released even when the close is made to fail, as the
    // kernel does for EIO, so tests do not leak descriptors.
    const int rc = TFileSystem::Close(fd);
    return v.error ? v.error : rc;
}

int TFaultFs::Duplicate(int fd, int& copy) {
    const int rc = TFileSystem::Duplicate(fd, copy);
    if (rc == 0)
        Track(copy, PathOf(fd));
    return rc;
}

int TFaultFs::Read(int fd, void* buffer, std::size_t n, std::size_t& done) {
    const auto v = Check(TFsOp::Read, PathOf(fd));
    if (v.error) {
        done = 0;
        return v.error;
    }
    return TFileSystem::Read(fd, buffer, v.maxBytes ? std::min(n, v.maxBytes) : n, done);
}

int TFaultFs::Write(int fd, const void* buffer, std::size_t n, std::size_t& done) {
    const auto v = Check(TFsOp::Write, PathOf(fd));
    if (v.error) {
        done = 0;
        return v.error;
    }
    return TFileSystem::Write(fd, buffer, v.maxBytes ? std::min(n, v.maxBytes) : n, done);
}

int TFaultFs::FSync(int fd) {
    if (const auto v = Check(TFsOp::FSync, PathOf(fd)); v.error)
        return v.error;
    return TFileSystem::FSync(fd);
}

int TFaultFs::ReadDirEntries(int dirFd, void* buffer, std::size_t n, std::size_t& done) {
    if (const auto v = Check(TFsOp::ReadDirEntries, PathOf(dirFd)); v.error) {
        done = 0;
        return v.error;
    }
    return TFileSystem::ReadDirEntries(dirFd, buffer, n, done);
}

int TFaultFs::MakeDir(const char* path, mode_t mode) {
    if (const auto v = Check(TFsOp::MakeDir, path); v.error)
        return v.error;
    return TFileSystem::MakeDir(path, mode);
}

int TFaultFs::RemoveDir(const char* path) {
    if (const auto v = Check(TFsOp::RemoveDir, path); v.error)
        return v.error;
    return TFileSystem::RemoveDir(path);
}

int TFaultFs::Unlink(const char* path) {
    if (const auto v = Check(TFsOp::Unlink, path); v.error)
        return v.error;
    return TFileSystem::Unlink(path);
}

int TFaultFs::Rename(const char* from, const char* to) {
    if (const auto v = Check(TFsOp::Rename, from, to); v.error)
        return v.error;
    return TFileSystem::Rename(from, to);
}

int TFaultFs::RenameNoReplace(const char* from, const char* to) {
    if (const auto v = Check(TFsOp::Rename, from, to); v.error)
        return v.error;
    return TFileSystem::RenameNoReplace(from, to);
}

int TFaultFs::RenameAt(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    if (const auto v = Check(TFsOp::Rename, PathAt(fromDir, from), PathAt(toDir, to)); v.error)
        return v.error;
    return TFileSystem::RenameAt(fromDir, from, toDir, to, flags);
}

int TFaultFs::UnlinkAt(int dirFd, const char* name, int flags) {
    if (const auto v = Check(TFsOp::Unlink, PathAt(dirFd, name)); v.error)
        return v.error;
    return TFileSystem::UnlinkAt(dirFd, name, flags);
}

int TFaultFs::ChangeMode(const char* path, mode_t mode) {
    if (const auto v = Check(TFsOp::ChangeMode, path); v.error)
        return v.error;
    return TFileSystem::ChangeMode(path, mode);
}

int TFaultFs::CopyFileRange(int fdIn, int fdOut, std::size_t n, std::size_t& done) {
    const auto v = Check(TFsOp::CopyFileRange, PathOf(fdIn), PathOf(fdOut));
    if (v.error) {
        done = 0;
        return v.error;
    }
    return TFileSystem::CopyFileRange(fdIn, fdOut, v.maxBytes ? std::min(n, v.maxBytes) : n, done);
}

int TFaultFs::FUtimens(int fd, const struct timespec times[2]) {
    if (const auto v = Check(TFsOp::FUtimens, PathOf(fd)); v.error)
        return v.error;
    return TFileSystem::FUtimens(fd, times);
}

int TFaultFs::FChmod(int fd, mode_t mode) {
    if (const auto v = Check(TFsOp::FChmod, PathOf(fd)); v.error)
        return v.error;
    return TFileSystem::FChmod(fd, mode);
}

int TFaultFs::LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) {
    const std::string source =
        (flags & AT_EMPTY_PATH) && from[0] == '\0' ? PathOf(fromDir) : PathAt(fromDir, from);
    if (const auto v = Check(TFsOp::Link, source, PathAt(toDir, to)); v.error)
        return v.error;
    return TFileSystem::LinkAt(fromDir, from, toDir, to, flags);
}

int TFaultFs::StatxAt(int dirFd, const char* name, int flags, unsigned mask, struct statx& stx) {
    const std::string path =
        (flags & AT_EMPTY_PATH) && name[0] == '\0' ? PathOf(dirFd) : PathAt(dirFd, name);
    if (const auto v = Check(TFsOp::StatxAt, path); v.error)
        return v.error;
    return TFileSystem::StatxAt(dirFd, name, flags, mask, stx);
}

} // namespace vdx::test
