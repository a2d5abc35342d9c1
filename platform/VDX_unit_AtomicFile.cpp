#include "platform/VDX_unit_AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/VDX_unit_FileSystem.h"

namespace vdx {

namespace {

// A name for the temporary file that no other writer picks by chance.
std::string TempSuffix(unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::uint64_t mix =
        static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(getpid()) << 32) ^
        (static_cast<std::uint64_t>(counter.fetch_add(1) + attempt) * 0x9E3779B97F4A7C15u);
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string suffix = ".tmp-";
    for (int i = 0; i < 6; ++i) {
        suffix += kAlphabet[mix % 62];
        mix /= 62;
    }
    return suffix;
}

void SyncFolderOf(TFileSystem& fs, const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : target.substr(0, slash == 0 ? 1 : slash);
    int dirFd = -1;
    if (fs.Open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0, dirFd) == 0) {
        fs.FSync(dirFd);
        fs.Close(dirFd);
    }
}

} // namespace

int WriteFileAtomically(const std::string& path, const TWriteContent& write,
                        const TAtomicWriteOptions& options, bool* created) {
    if (created != nullptr)
        *created = false;
    TFileSystem& fs = Fs();
    std::string target = path;
    struct stat st {};
    if (options.resolveLink && fs.LStat(target.c_str(), st) == 0 && S_ISLNK(st.st_mode)) {
        std::string resolved;
        if (fs.RealPath(target.c_str(), resolved) == 0)
            target = std::move(resolved);
    }
    bool keepMode = false;
    mode_t mode = 0;
    if (options.keepMode && fs.Stat(target.c_str(), st) == 0 && S_ISREG(st.st_mode)) {
        keepMode = true;
        mode = st.st_mode & 07777;
    }

    std::string temp;
    int fd = -1;
    int rc = 0;
    if (!options.fixedTemp.empty()) {
        temp = options.fixedTemp;
        // A link planted under the temporary name is not followed.
        rc = fs.Open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0666, fd);
    } else {
        rc = EEXIST;
        for (unsigned attempt = 0; attempt < 100 && rc == EEXIST; ++attempt) {
            temp = target + TempSuffix(attempt);
            rc = fs.Open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666, fd);
        }
    }
    if (rc != 0)
        return rc;
    if (created != nullptr)
        *created = true;

    rc = write(fd);
    if (rc == 0 && keepMode)
        rc = fs.ChangeMode(temp.c_str(), mode);
    if (rc == 0)
        rc = fs.FSync(fd);
    // A failing close can be the first report of a lost write (NFS).
    const int closeRc = fs.Close(fd);
    if (rc == 0)
        rc = closeRc;
    if (rc == 0)
        rc = fs.Rename(temp.c_str(), target.c_str());
    if (rc != 0) {
        // The old file was never touched; a half-written copy is no use.
        fs.Unlink(temp.c_str());
        return rc;
    }
    if (options.syncFolder)
        SyncFolderOf(fs, target);
    return 0;
}

} // namespace vdx
