#include "engine/VDX_unit_FolderScan.h"

#include <algorithm>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <utility>

#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_DirReader.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TFolderScanDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TFolderScanDoor::Key();

// Room for a few hundred entries per getdents64 call.
constexpr std::size_t kEntryBufferBytes = 64 * 1024;

// The path as the system calls take it: a folder path loses its trailing
// "/", because a trailing "/" would make the kernel follow a symbolic link in
// the last component despite O_NOFOLLOW. The root "/" stays.
std::string NativeFolder(std::u16string_view folderPath) {
    std::string native = EncodeFileName(folderPath);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return native;
}

// The identity the operations check a folder against before acting in it.
void RecordFolderIdentity(TScanData& store, std::uint32_t folder, const struct stat& st) {
    store.Folder(kKey, folder).m_device = static_cast<std::uint64_t>(st.st_dev);
    store.Folder(kKey, folder).m_inode = static_cast<std::uint64_t>(st.st_ino);
}

} // namespace

std::size_t TFolderScan::TFolderIdHash::operator()(const TFolderId& id) const noexcept {
    const std::uint64_t ino = static_cast<std::uint64_t>(id.ino);
    const std::uint64_t dev = static_cast<std::uint64_t>(id.dev);
    return static_cast<std::size_t>(ino * 0x9E3779B97F4A7C15ull ^ (dev + (ino >> 29)));
}

TFolderScan::TFolderScan(TScanData& store, const TSearchDataList& paths, TScanControl* control)
    : m_store(store), m_paths(paths), m_control(control), m_systemFolders(store.SystemFolders()),
      m_programFolders(store.ProgramFolders()) {}

void TFolderScan::SetProtectedFolders(std::vector<std::u16string> systemFolders,
                                      std::vector<std::u16string> programFolders) {
    m_systemFolders = std::move(systemFolders);
    m_programFolders = std::move(programFolders);
}

bool TFolderScan::ScanAll() {
    m_entryBuffer.resize(kEntryBufferBytes);
    m_seenFolders.clear();
    m_volumeOfDevice.clear();
    for (std::size_t i = 0; i < m_paths.Count(); ++i) {
        const TSearchData* path = m_paths.Item(i);
        if (path != nullptr && !ScanPath(static_cast<std::uint32_t>(i), *path))
            return false;
    }
    return true;
}

bool TFolderScan::ScanPath(std::uint32_t pathIndex, const TSearchData& path) {
    // A path whose expansion would be cut is not searched at all: the cut
    // text names another folder (often a parent of the one meant).
    std::u16string root;
    if (path.pathsFinal)
        root = path.SearchPath;
    else if (ExpandPathEnvVars(path.SearchPath, root) != 0)
        root.clear();
    // Stat follows a symbolic link: a search path that is a link to a folder
    // is listed, because the user named it. Links below it are never followed.
    struct stat st {};
    if (root.empty() || Fs().Stat(NativeFolder(root).c_str(), st) != 0 || !S_ISDIR(st.st_mode)) {
        ++m_pathsNotFound;
        return true;
    }
    if (root.back() != kPathDelim)
        root.push_back(kPathDelim);
    // A root already walked as a folder of an earlier path (the same folder
    // twice, or one inside the other) would list its files a second time.
    if (!m_seenFolders.insert(TFolderId{st.st_dev, st.st_ino}).second)
        return true;
    // The controller registered the path's own volume from its real device.
    m_volumeOfDevice.emplace(st.st_dev, path.volumeIndex);
    const std::int32_t rootFolder = m_store.AddFolder(path.volumeIndex, pathIndex, 0, true, root);
    if (rootFolder < 0)
        return true;
    RecordFolderIdentity(m_store, static_cast<std::uint32_t>(rootFolder), st);
    m_rootNative = NativeFolder(root);
    m_rootFolder = static_cast<std::uint32_t>(rootFolder);

    // The table grows while it is walked: every folder added by a listing is
    // listed in its turn, so all folders of one depth come before the next.
    for (std::uint32_t folder = m_rootFolder; folder < m_store.FolderCount(); ++folder) {
        if (m_control != nullptr && !m_control->Continue())
            return false;
        ListFolder(folder, path);
        ++m_foldersListed;
        if (m_control != nullptr) {
            m_control->FolderDone();
            if (!m_control->Continue())
                return false;
        }
    }
    return true;
}

int TFolderScan::OpenFolder(std::uint32_t folder) {
    const std::string native = NativeFolder(m_folderPath);
    // The search root may be a link the user named; every folder below it
    // was found as a real directory and must still be one.
    const int flags = O_RDONLY | O_DIRECTORY | (folder == m_rootFolder ? 0 : O_NOFOLLOW);
    if (native.size() < PATH_MAX) {
        int fd = -1;
        const int rc = Fs().Open(native.c_str(), flags, 0, fd);
        if (rc == 0)
            return fd;
        if (rc != ENAMETOOLONG)
            return -1;
    }
    return OpenFolderByComponents(native);
}

int TFolderScan::OpenFolderByComponents(const std::string& native) {
    // Every folder of the walk lies below the search root, its path being the
    // root's path followed by the names found on the way.
    const std::size_t rootLength = m_rootNative.size();
    if (native.size() <= rootLength || native.compare(0, rootLength, m_rootNative) != 0)
        return -1;
    int fd = -1;
    if (Fs().Open(m_rootNative.c_str(), O_RDONLY | O_DIRECTORY, 0, fd) != 0)
        return -1;
    std::string component;
    std::size_t pos = rootLength;
    while (pos < native.size()) {
        if (native[pos] == '/') {
            ++pos;
            continue;
        }
        const std::size_t end = std::min(native.find('/', pos), native.size());
        component.assign(native, pos, end - pos);
        pos = end;
        int next = -1;
        const int rc =
            Fs().OpenAt(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0, next);
        (void)Fs().Close(fd);
        if (rc != 0)
            return -1;
        fd = next;
    }
    return fd;
}

bool TFolderScan::Protected(const std::vector<std::u16string>& folders) const {
    // An absolute folder can only occur at the start of another absolute
    // path. The test is a plain prefix, so /usr also covers /usrdata, as
    // C:\WINDOWS covers C:\Windows10Upgrade.
    for (const std::u16string& folder : folders) {
        if (!folder.empty() && m_childPath.size() >= folder.size() &&
            std::u16string_view(m_childPath).substr(0, folder.size()) == folder)
            return true;
    }
    return false;
}

TVolumeIndex TFolderScan::VolumeOfDevice(dev_t device) {
    const auto known = m_volumeOfDevice.find(device);
    if (known != m_volumeOfDevice.end())
        return known->second;
    const TVolumeIndex volume = m_drives != nullptr ? m_drives->Register(m_childPath) : kNoVolume;
    m_volumeOfDevice.emplace(device, volume);
    return volume;
}

bool TFolderScan::SubFolderAllowed(const TSearchData& path, bool hidden) {
    if (!path.bSubFolders)
        return false;
    // Each skip is counted under the protection that made it, so that the
    // front ends can say which option would have entered the folder.
    TProtectionSkips& skips = m_store.ProtectionSkips(kKey);
    if (hidden && m_store.m_protectHiddenFolders) {
        ++skips.hidden;
        return false;
    }
    if (m_store.m_protectSystemFolder && Protected(m_systemFolders)) {
        ++skips.system;
        return false;
    }
    if (m_store.m_protectProgramFolder && Protected(m_programFolders)) {
        ++skips.programs;
        return false;
    }
    return path.PassesFolder(m_childPath);
}

void TFolderScan::ListFolder(std::uint32_t folder, const TSearchData& path) {
    // Copied out of the pool, which the appends below may move.
    m_folderPath.assign(m_store.FolderPath(folder));
    const int fd = OpenFolder(folder);
    if (fd < 0) {
        // Unreadable, vanished or not a folder any more: no entries, no message.
        m_store.SetFolderCounts(folder, 0, 0);
        return;
    }
    const std::uint32_t pathIndex = m_store.Folder(folder).m_searchPath;
    // Entries on the folder's own device share its volume; only an entry on
    // another device (a mount point, a file bind-mounted in place) needs a
    // look-up. A folder whose device cannot be read has every entry looked up.
    const TVolumeIndex folderVolume = m_store.Folder(folder).m_volume;
    struct stat folderSt {};
    const bool folderDeviceKnown = Fs().FStat(fd, folderSt) == 0;
    auto volumeOf = [&](const struct stat& entry) {
        if (folderDeviceKnown && entry.st_dev == folderSt.st_dev)
            return folderVolume;
        return VolumeOfDevice(entry.st_dev);
    };
    std::uint32_t filesFound = 0;
    std::uint32_t subFoldersAdded = 0;

    // A listing that breaks off keeps the entries read so far, like one
    // whose folder vanished: no message.
    TDirReader reader(fd, m_entryBuffer.data(), m_entryBuffer.size());
    TDirEntry entry;
    while (reader.Next(entry)) {
        const unsigned char type = entry.type;
        const char* name = entry.name;
        // Links, pipes, sockets and devices are counted as found and
        // never taken, so they need no further system call.
        if (type != DT_DIR && type != DT_REG && type != DT_UNKNOWN) {
            ++filesFound;
            continue;
        }
        DecodeFileName(entry.Name(), m_name);
        const bool hidden = m_name.front() == u'.';
        bool folderTested = false;
        if (type == DT_DIR) {
            m_childPath.assign(m_folderPath).append(m_name);
            if (!SubFolderAllowed(path, hidden))
                continue;
            folderTested = true;
        }

        struct stat st {};
        // An entry that vanished since the listing (ENOENT) or cannot be
        // examined is left out.
        if (Fs().StatAt(fd, name, st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;

        if (S_ISDIR(st.st_mode)) {
            if (!folderTested) {
                m_childPath.assign(m_folderPath).append(m_name);
                if (!SubFolderAllowed(path, hidden))
                    continue;
            }
            if (!m_seenFolders.insert(TFolderId{st.st_dev, st.st_ino}).second)
                continue;
            m_childPath.push_back(kPathDelim);
            const std::int32_t child =
                m_store.AddFolder(volumeOf(st), pathIndex, folder, false, m_childPath);
            if (child >= 0) {
                RecordFolderIdentity(m_store, static_cast<std::uint32_t>(child), st);
                ++subFoldersAdded;
            }
            continue;
        }

        ++filesFound;
        if (!S_ISREG(st.st_mode))
            continue;
        std::uint32_t attributes = kAttrArchive;
        if (hidden)
            attributes |= kAttrHidden;
        if ((st.st_mode & S_IWUSR) == 0)
            attributes |= kAttrReadOnly;
        const TFileTime lastWrite = FileTimeFromTimespec(st.st_mtim);
        const auto size = static_cast<std::int64_t>(st.st_size);
        if (!path.PassesFile(attributes, lastWrite, size, m_name))
            continue;
        // Only a file on another device than its folder needs its path,
        // for registering that device's volume.
        TVolumeIndex volume = folderVolume;
        if (!folderDeviceKnown || st.st_dev != folderSt.st_dev) {
            m_childPath.assign(m_folderPath).append(m_name);
            volume = volumeOf(st);
        }
        // A file the table or the pool has no room for is skipped.
        if (m_store.AddFile(volume, folder, m_name, static_cast<std::uint64_t>(size), lastWrite,
                            attributes) == 0) {
            TScanFileItem& added = m_store.File(kKey, m_store.FileCount() - 1);
            added.m_inode = FoldInode(st.st_ino);
            added.m_changeTime = FoldChangeTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
            ++m_filesAdded;
        }
    }
    (void)Fs().Close(fd);
    m_store.SetFolderCounts(folder, filesFound, subFoldersAdded);
}

} // namespace vdx
