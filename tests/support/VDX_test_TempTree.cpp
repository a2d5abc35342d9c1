#include "tests/support/VDX_test_TempTree.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace vdx::test {

namespace {

void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    // Folders a test made unreadable must be opened up again to be removed.
    ::chmod(path, 0700);
    ::remove(path);
    return 0;
}

int OpenUp(const char* path, const struct stat* st, int, struct FTW*) {
    if (S_ISDIR(st->st_mode))
        ::chmod(path, 0700);
    return 0;
}

} // namespace

TTempTree::TTempTree() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vdx-test-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        Fail("mkdtemp");
    m_root = pattern;
}

TTempTree::~TTempTree() {
    // Pre-order pass opens every folder, then a depth-first pass removes.
    ::nftw(m_root.c_str(), OpenUp, 16, FTW_PHYS);
    ::nftw(m_root.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string TTempTree::Path(std::string_view rel) const {
    return m_root + "/" + std::string(rel);
}

void TTempTree::Dir(std::string_view rel) const {
    std::string full = Path(rel);
    for (std::size_t i = m_root.size() + 1; i <= full.size(); ++i) {
        if (i == full.size() || full[i] == '/') {
            std::string prefix = full.substr(0, i);
            if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST)
                Fail("mkdir " + prefix);
        }
    }
}

void TTempTree::File(std::string_view rel, std::string_view content) const {
    const auto slash = rel.rfind('/');
    if (slash != std::string_view::npos)
        Dir(rel.substr(0, slash));
    const std::string full = Path(rel);
    const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        Fail("open " + full);
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n <= 0) {
            ::close(fd);
            Fail("write " + full);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void TTempTree::FileOfSize(std::string_view rel, std::uint64_t size, char fill) const {
    File(rel, std::string(size, fill));
}

void TTempTree::SetMTime(std::string_view rel, std::int64_t unixSeconds) const {
    timespec times[2];
    times[0].tv_sec = unixSeconds;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, Path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        Fail("utimensat");
}

void TTempTree::Symlink(std::string_view target, std::string_view rel) const {
    if (::symlink(std::string(target).c_str(), Path(rel).c_str()) != 0)
        Fail("symlink");
}

} // namespace vdx::test
