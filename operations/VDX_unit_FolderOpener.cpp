#include "operations/VDX_unit_FolderOpener.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>

#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

namespace {

// Readable descriptors, so that a caller may also list the folder.
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY;

// The chain keeps this many folders from the root open; below that only the
// deepest one, so that a very deep tree cannot use up the process's
// descriptors. A folder that differs from the last one below that depth is
// then opened again from the deepest folder still open.
constexpr std::size_t kKeptLinks = 64;

// What an open of a component that is no longer a real folder reports: a
// link refused by O_NOFOLLOW (ELOOP), or anything else (ENOTDIR).
bool NotAFolderAnyMore(int rc) {
    return rc == ELOOP || rc == ENOTDIR;
}

} // namespace

bool MatchesRecord(const TScanData& store, std::uint32_t file, const struct stat& st) {
    const TScanFileItem& item = store.File(file);
    if (item.m_inode == 0 && item.m_changeTime == 0)
        return false;
    return S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) == item.m_size &&
           FileTimeFromTimespec(st.st_mtim) == item.m_lastWrite &&
           FoldInode(static_cast<std::uint64_t>(st.st_ino)) == item.m_inode &&
           FoldChangeTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec) == item.m_changeTime;
}

int CheckUnchanged(const TScanData& store, std::uint32_t file, const struct stat& st) {
    return MatchesRecord(store, file, st) ? 0 : kErrorChangedSinceSearch;
}

TFolderOpener::TFolderOpener(const TScanData& store) : m_store(store) {}

TFolderOpener::~TFolderOpener() {
    Reset();
}

void TFolderOpener::Reset() {
    CloseFrom(0);
}

void TFolderOpener::CloseFrom(std::size_t depth) {
    while (m_chain.size() > depth) {
        if (m_chain.back().fd >= 0)
            (void)Fs().Close(m_chain.back().fd);
        m_chain.pop_back();
    }
}

int TFolderOpener::OpenLink(std::uint32_t folder, int parentFd, int& fd) {
    fd = -1;
    const TScanFolderItem& item = m_store.Folder(folder);
    if (item.m_device == 0 && item.m_inode == 0)
        return kErrorFolderChanged;
    const std::u16string_view path = m_store.FolderPath(folder);
    int rc = 0;
    if (parentFd < 0) {
        m_component = EncodeFileName(path);
        while (m_component.size() > 1 && m_component.back() == '/')
            m_component.pop_back();
        rc = Fs().Open(m_component.c_str(), kFolderFlags, 0, fd);
    } else {
        // The scan made the path as the parent's path, the name and "/".
        const std::u16string_view parentPath = m_store.FolderPath(item.m_parent);
        if (path.size() < parentPath.size() + 2 || path.substr(0, parentPath.size()) != parentPath)
            return kErrorFolderChanged;
        m_component =
            EncodeFileName(path.substr(parentPath.size(), path.size() - parentPath.size() - 1));
        if (m_component.empty() || m_component.find('/') != std::string::npos ||
            m_component == "." || m_component == "..")
            return kErrorFolderChanged;
        rc = Fs().OpenAt(parentFd, m_component.c_str(), kFolderFlags | O_NOFOLLOW, 0, fd);
    }
    if (rc != 0)
        return NotAFolderAnyMore(rc) ? kErrorFolderChanged : rc;
    struct stat st {};
    rc = Fs().FStat(fd, st);
    if (rc == 0 && (static_cast<std::uint64_t>(st.st_dev) != item.m_device ||
                    static_cast<std::uint64_t>(st.st_ino) != item.m_inode))
        rc = kErrorFolderChanged;
    if (rc != 0) {
        (void)Fs().Close(fd);
        fd = -1;
    }
    return rc;
}

int TFolderOpener::OpenFolder(std::uint32_t folder, int& dirFd) {
    dirFd = -1;
    const std::uint32_t count = m_store.FolderCount();
    if (folder >= count)
        return EINVAL;
    // The chain from the folder up to its search root, which is its own
    // parent; a parent index outside the table ends it like a root would
    // not, so such a record is refused below.
    m_wanted.clear();
    std::uint32_t current = folder;
    for (std::uint32_t depth = 0;; ++depth) {
        if (depth >= count || current >= count)
            return kErrorFolderChanged;
        m_wanted.push_back(current);
        const TScanFolderItem& item = m_store.Folder(current);
        if (item.m_searchRoot != 0 || item.m_parent == current)
            break;
        current = item.m_parent;
    }
    std::reverse(m_wanted.begin(), m_wanted.end());

    std::size_t kept = 0;
    while (kept < m_chain.size() && kept < m_wanted.size() &&
           m_chain[kept].folder == m_wanted[kept])
        ++kept;
    // Links closed for depth cannot be opened from: go back to an open one.
    while (kept > 0 && m_chain[kept - 1].fd < 0)
        --kept;
    CloseFrom(kept);
    for (std::size_t i = kept; i < m_wanted.size(); ++i) {
        int fd = -1;
        const int rc = OpenLink(m_wanted[i], i == 0 ? -1 : m_chain[i - 1].fd, fd);
        if (rc != 0)
            return rc;
        if (i > kKeptLinks) {
            (void)Fs().Close(m_chain[i - 1].fd);
            m_chain[i - 1].fd = -1;
        }
        m_chain.push_back(TLink{m_wanted[i], fd});
    }
    dirFd = m_chain.back().fd;
    return 0;
}

int TFolderOpener::CheckFile(std::uint32_t file, int& dirFd, const char*& name, struct stat* out) {
    dirFd = -1;
    name = nullptr;
    if (file >= m_store.FileCount())
        return EINVAL;
    int fd = -1;
    if (const int rc = OpenFolder(m_store.File(file).m_folder, fd); rc != 0)
        return rc;
    m_name = EncodeFileName(m_store.FileName(file));
    struct stat st {};
    if (const int rc = Fs().StatAt(fd, m_name.c_str(), st, AT_SYMLINK_NOFOLLOW); rc != 0)
        return rc;
    if (out != nullptr)
        *out = st;
    if (const int rc = CheckUnchanged(m_store, file, st); rc != 0)
        return rc;
    dirFd = fd;
    name = m_name.c_str();
    return 0;
}

} // namespace vdx
