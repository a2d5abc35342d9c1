#include "platform/VDX_unit_FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

#include "platform/VDX_unit_FileSystem.h"

namespace vdx {

int TFileLock::Acquire(const std::string& filePath) {
    Release();
    const std::string lockPath = LockPathOf(filePath);
    // A link planted in its place is not followed: the lock file would then
    // be created or truncated wherever it points.
    int fd = -1;
    if (const int rc = Fs().Open(lockPath.c_str(),
                                 O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600, fd);
        rc != 0)
        return rc;
    for (;;) {
        if (::flock(fd, LOCK_EX) == 0)
            break;
        if (errno == EINTR)
            continue;
        const int error = errno;
        (void)Fs().Close(fd);
        return error;
    }
    m_fd = fd;
    return 0;
}

int TFileLock::Acquire(std::u16string_view filePath) {
    return Acquire(NativePath(filePath));
}

void TFileLock::Release() {
    if (m_fd < 0)
        return;
    // Closing the only descriptor of the open file description drops the lock.
    (void)Fs().Close(m_fd);
    m_fd = -1;
}

} // namespace vdx
