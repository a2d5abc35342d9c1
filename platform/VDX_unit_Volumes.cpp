#include "platform/VDX_unit_Volumes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include "platform/VDX_unit_DirReader.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr const char* kMountInfoPath = "/proc/self/mountinfo";
constexpr const char* kByLabelFolder = "/dev/disk/by-label";
constexpr const char* kByUuidFolder = "/dev/disk/by-uuid";
constexpr const char* kUtabPath = "/run/mount/utab";
constexpr const char* kFstabPath = "/etc/fstab";
// Both files are a few kilobytes on any real machine.
constexpr std::size_t kMaxMountTableFileBytes = 4u << 20;
// A machine with thousands of container mounts still stays far below this.
constexpr std::size_t kMaxMountInfoBytes = 64u << 20;
// Device-mapper and RAID devices may stack; real stacks are two or three deep.
constexpr int kMaxSlaveDepth = 4;

constexpr std::array<std::string_view, 2> kCdRomTypes = {"iso9660", "udf"};

// Network file systems, kernel and FUSE ones; a host folder shared into a
// virtual machine (9p, virtiofs) counts as remote too. A FUSE type not listed
// here has no block device and so stays "unknown".
constexpr std::array<std::string_view, 33> kRemoteTypes = {"nfs",
                                                           "nfs4",
                                                           "cifs",
                                                           "smb3",
                                                           "smbfs",
                                                           "9p",
                                                           "virtiofs",
                                                           "afs",
                                                           "ceph",
                                                           "coda",
                                                           "glusterfs",
                                                           "lustre",
                                                           "ncpfs",
                                                           "ncp",
                                                           "davfs",
                                                           "fuse.sshfs",
                                                           "fuse.rclone",
                                                           "fuse.s3fs",
                                                           "fuse.gcsfuse",
                                                           "fuse.goofys",
                                                           "fuse.curlftpfs",
                                                           "fuse.davfs2",
                                                           "fuse.httpfs",
                                                           "fuse.httpfs2",
                                                           "fuse.smbnetfs",
                                                           "fuse.glusterfs",
                                                           "fuse.ceph-fuse",
                                                           "fuse.ceph",
                                                           "fuse.juicefs",
                                                           "fuse.s3ql",
                                                           "fuse.gvfsd-fuse",
                                                           "fuse.mountpoint-s3",
                                                           "fuse.blobfuse2"};

constexpr std::array<std::string_view, 2> kRamTypes = {"tmpfs", "ramfs"};

// Kernel interfaces that look like folders but hold no user files; devtmpfs
// is tmpfs inside, but it holds device nodes, not data.
constexpr std::array<std::string_view, 25> kPseudoTypes = {
    "proc",      "sysfs",       "cgroup", "cgroup2",  "devpts",     "devtmpfs", "debugfs",
    "tracefs",   "securityfs",  "pstore", "bpf",      "configfs",   "fusectl",  "mqueue",
    "hugetlbfs", "binfmt_misc", "autofs", "efivarfs", "rpc_pipefs", "nsfs",     "selinuxfs",
    "nfsd",      "sockfs",      "pipefs", "usbfs"};

// Besides the kernel interfaces above: file systems whose content lives in
// memory or belongs to a container's layered image.
constexpr std::array<std::string_view, 8> kInternalDataTypes = {
    "tmpfs", "ramfs", "rootfs", "overlay", "overlayfs", "aufs", "fuse.lxcfs", "fuse.portal"};

template <std::size_t N>
bool OneOf(const std::array<std::string_view, N>& list, std::string_view value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool ParseInt(std::string_view text, int& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDevice(std::string_view text, dev_t& device) {
    std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return false;
    unsigned devMajor = 0;
    unsigned devMinor = 0;
    std::string_view a = text.substr(0, colon);
    std::string_view b = text.substr(colon + 1);
    auto r1 = std::from_chars(a.data(), a.data() + a.size(), devMajor);
    auto r2 = std::from_chars(b.data(), b.data() + b.size(), devMinor);
    if (r1.ec != std::errc() || r1.ptr != a.data() + a.size() || r2.ec != std::errc() ||
        r2.ptr != b.data() + b.size())
        return false;
    device = makedev(devMajor, devMinor);
    return true;
}

// Hands out the space-separated fields of a line one at a time; mountinfo
// never has empty fields.
class TFieldReader {
public:
    explicit TFieldReader(std::string_view line) : m_rest(line) {}
    // False when the line has no more fields.
    bool Next(std::string_view& field) {
        while (!m_rest.empty() && m_rest.front() == ' ')
            m_rest.remove_prefix(1);
        if (m_rest.empty())
            return false;
        std::size_t space = std::min(m_rest.find(' '), m_rest.size());
        field = m_rest.substr(0, space);
        m_rest.remove_prefix(space);
        return true;
    }

private:
    std::string_view m_rest;
};

// Calls visit(line) for each line of text; stops when visit returns true.
template <typename Visit>
bool AnyLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = std::min(text.find('\n', start), text.size());
        if (visit(text.substr(start, end - start)))
            return true;
        start = end + 1;
    }
    return false;
}

// Splits on spaces and tabs (fstab allows either).
bool NextWord(std::string_view& rest, std::string_view& word) {
    std::size_t begin = rest.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos)
        return false;
    rest.remove_prefix(begin);
    std::size_t end = std::min(rest.find_first_of(" \t\r"), rest.size());
    word = rest.substr(0, end);
    rest.remove_prefix(end);
    return true;
}

std::string DeviceSysPath(dev_t device) {
    return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

// Calls visit(name) for each entry of folder except "." and ".."; stops when
// visit returns true. 0 or the errno of opening or reading the folder.
template <typename Visit>
int ForEachEntry(const char* folder, Visit visit) {
    int fd = -1;
    int err = Fs().Open(folder, O_RDONLY | O_DIRECTORY, 0, fd);
    if (err)
        return err;
    alignas(8) std::array<char, 16384> buffer;
    TDirReader reader(fd, buffer.data(), buffer.size());
    TDirEntry entry;
    while (reader.Next(entry))
        if (visit(entry.Name()))
            break;
    (void)Fs().Close(fd);
    return reader.Error();
}

bool ReadFlagFile(const std::string& path) {
    std::string text;
    return ReadSmallFile(path.c_str(), text, 64) == 0 && !text.empty() && text[0] == '1';
}

bool SysDirIsRemovable(const std::string& deviceDir, int depth) {
    // A device on a hot-plug bus counts as removable even when the stick or
    // card reader says its medium is not.
    if (IsHotPlugDevicePath(deviceDir))
        return true;
    // A partition's flags live on its disk, the folder above it.
    std::string diskDir = deviceDir;
    struct stat st {};
    if (Fs().Stat((deviceDir + "/partition").c_str(), st) == 0) {
        std::size_t slash = diskDir.rfind('/');
        if (slash != std::string::npos && slash > 0)
            diskDir.resize(slash);
    }
    if (ReadFlagFile(diskDir + "/removable"))
        return true;
    if (depth >= kMaxSlaveDepth)
        return false;
    // An encrypted or RAID volume is removable when a device under it is.
    bool removable = false;
    std::string slaves = deviceDir + "/slaves";
    ForEachEntry(slaves.c_str(), [&](std::string_view name) {
        std::string resolved;
        if (Fs().RealPath((slaves + "/" + std::string(name)).c_str(), resolved) == 0)
            removable = SysDirIsRemovable(resolved, depth + 1);
        return removable;
    });
    return removable;
}

// The mount holding path, and the canonical path it was resolved to.
int LocateMount(std::u16string_view path, TMountEntry& mount, std::string& canonical) {
    struct stat st {};
    int err = ResolveExistingPath(EncodeFileName(path), canonical, st);
    if (err)
        return err;
    std::vector<TMountEntry> entries;
    err = ReadMountTable(entries);
    if (err)
        return err;
    std::ptrdiff_t index = FindMountOf(entries, canonical, &st.st_dev);
    if (index < 0)
        return ENOENT;
    mount = std::move(entries[static_cast<std::size_t>(index)]);
    return 0;
}

std::u16string RootOf(const TMountEntry& mount) {
    std::string root = mount.mountPoint;
    if (root.empty() || root.back() != '/')
        root.push_back('/');
    return DecodeFileName(root);
}

} // namespace

std::string DecodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
            IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
            int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            if (value <= 0xFF) {
                out.push_back(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

bool ParseMountInfoLine(std::string_view line, TMountEntry& entry) {
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    TFieldReader reader(line);
    std::string_view id, parentId, device, root, mountPoint, options, field;
    if (!reader.Next(id) || !reader.Next(parentId) || !reader.Next(device) || !reader.Next(root) ||
        !reader.Next(mountPoint) || !reader.Next(options))
        return false;
    // Optional fields (shared:N, master:N ...) run up to the lone "-".
    do {
        if (!reader.Next(field))
            return false;
    } while (field != "-");
    std::string_view fsType, source, superOptions;
    if (!reader.Next(fsType) || !reader.Next(source))
        return false;
    reader.Next(superOptions);

    TMountEntry parsed;
    if (!ParseInt(id, parsed.mountId) || !ParseInt(parentId, parsed.parentId) ||
        !ParseDevice(device, parsed.device))
        return false;
    parsed.root = DecodeMountField(root);
    parsed.mountPoint = DecodeMountField(mountPoint);
    parsed.mountOptions = DecodeMountField(options);
    parsed.fsType = DecodeMountField(fsType);
    parsed.source = DecodeMountField(source);
    parsed.superOptions = DecodeMountField(superOptions);
    if (parsed.mountPoint.empty() || parsed.mountPoint[0] != '/')
        return false;
    entry = std::move(parsed);
    return true;
}

std::vector<TMountEntry> ParseMountInfo(std::string_view text) {
    std::vector<TMountEntry> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        TMountEntry entry;
        if (ParseMountInfoLine(text.substr(start, end - start), entry))
            entries.push_back(std::move(entry));
        start = end + 1;
    }
    return entries;
}

int ReadMountTable(std::vector<TMountEntry>& entries) {
    std::string text;
    int err = ReadSmallFile(kMountInfoPath, text, kMaxMountInfoBytes);
    if (err)
        return err;
    entries = ParseMountInfo(text);
    return 0;
}

bool MountPointHolds(std::string_view mountPoint, std::string_view path) {
    if (mountPoint.empty() || path.empty())
        return false;
    if (mountPoint == "/")
        return path[0] == '/';
    if (path.substr(0, mountPoint.size()) != mountPoint)
        return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

std::ptrdiff_t FindMountOf(const std::vector<TMountEntry>& entries, std::string_view canonicalPath,
                           const dev_t* device) {
    std::ptrdiff_t best = -1;
    bool bestOnDevice = false;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TMountEntry& entry = entries[i];
        if (!MountPointHolds(entry.mountPoint, canonicalPath))
            continue;
        bool onDevice = device && entry.device == *device;
        std::size_t length = entry.mountPoint.size();
        // ">=" on length: a later mount on the same point lies on top.
        bool better = best < 0 || (onDevice && !bestOnDevice) ||
                      (onDevice == bestOnDevice && length >= bestLength);
        if (better) {
            best = static_cast<std::ptrdiff_t>(i);
            bestOnDevice = onDevice;
            bestLength = length;
        }
    }
    return best;
}

int ResolveExistingPath(std::string_view path, std::string& canonical, struct stat& st) {
    if (path.empty())
        return ENOENT;
    if (path.find('\0') != std::string_view::npos)
        return EINVAL;
    std::string current(path);
    for (;;) {
        int err = Fs().RealPath(current.c_str(), canonical);
        if (!err) {
            err = Fs().Stat(canonical.c_str(), st);
            if (!err)
                return 0;
        }
        // Step to the parent: a folder that does not exist yet lies on the
        // volume of the nearest folder above it that does.
        while (current.size() > 1 && current.back() == '/')
            current.pop_back();
        std::size_t slash = current.rfind('/');
        if (slash == std::string::npos) {
            if (current == ".")
                return err;
            current = ".";
        } else if (slash == 0) {
            if (current == "/")
                return err;
            current = "/";
        } else {
            current.resize(slash);
        }
    }
}

int DriveTypeFor(std::string_view fsType, TBlockKind block) {
    if (OneOf(kCdRomTypes, fsType))
        return kDriveCdRom;
    if (OneOf(kRemoteTypes, fsType))
        return kDriveRemote;
    if (OneOf(kRamTypes, fsType))
        return kDriveRamDisk;
    if (OneOf(kPseudoTypes, fsType))
        return kDriveNoRoot;
    switch (block) {
    case TBlockKind::kRemovable:
        return kDriveRemovable;
    case TBlockKind::kFixed:
        return kDriveFixed;
    case TBlockKind::kNone:
        break;
    }
    return kDriveUnknown;
}

bool IsHotPlugDevicePath(std::string_view sysfsPath) {
    std::size_t start = 0;
    while (start < sysfsPath.size()) {
        std::size_t slash = sysfsPath.find('/', start);
        if (slash == std::string_view::npos)
            slash = sysfsPath.size();
        std::string_view part = sysfsPath.substr(start, slash - start);
        if (part.starts_with("usb") || part.starts_with("mmc") || part.starts_with("memstick"))
            return true;
        start = slash + 1;
    }
    return false;
}

bool BlockDeviceOf(const TMountEntry& entry, dev_t& blockDevice) {
    if (major(entry.device) != 0) {
        blockDevice = entry.device;
        return true;
    }
    if (entry.source.empty() || entry.source[0] != '/')
        return false;
    struct stat st {};
    if (Fs().Stat(entry.source.c_str(), st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    blockDevice = st.st_rdev;
    return true;
}

TBlockKind BlockKindOf(dev_t blockDevice) {
    std::string resolved;
    if (Fs().RealPath(DeviceSysPath(blockDevice).c_str(), resolved) != 0)
        return TBlockKind::kFixed;
    return SysDeviceIsRemovable(resolved) ? TBlockKind::kRemovable : TBlockKind::kFixed;
}

bool SysDeviceIsRemovable(const std::string& deviceDir) {
    return SysDirIsRemovable(deviceDir, 0);
}

std::string DecodeDiskLinkName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            int high = HexValue(name[i + 2]);
            int low = HexValue(name[i + 3]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        out.push_back(name[i]);
    }
    return out;
}

bool SerialFromUuid(std::string_view uuid, std::uint32_t& serial) {
    std::uint32_t value = 0;
    int digits = 0;
    for (char c : uuid) {
        if (c == '-')
            continue;
        int v = HexValue(c);
        if (v < 0)
            return false;
        if (digits < 8)
            value = value * 16 + static_cast<std::uint32_t>(v);
        ++digits;
    }
    if (digits < 8)
        return false;
    serial = value;
    return true;
}

int FindDiskLinkName(const char* folder, dev_t blockDevice, std::string& name) {
    bool found = false;
    std::string base = std::string(folder) + "/";
    int err = ForEachEntry(folder, [&](std::string_view entry) {
        struct stat st {};
        std::string full = base + std::string(entry);
        if (Fs().Stat(full.c_str(), st) == 0 && S_ISBLK(st.st_mode) && st.st_rdev == blockDevice) {
            name.assign(entry);
            found = true;
        }
        return found;
    });
    if (found)
        return 0;
    return err ? err : ENOENT;
}

int ReadSmallFile(const char* path, std::string& text, std::size_t maxBytes) {
    text.clear();
    int fd = -1;
    int err = Fs().Open(path, O_RDONLY, 0, fd);
    if (err)
        return err;
    std::array<char, 16384> buffer;
    for (;;) {
        std::size_t done = 0;
        err = Fs().Read(fd, buffer.data(), buffer.size(), done);
        if (err || done == 0)
            break;
        if (text.size() + done > maxBytes) {
            err = EFBIG;
            break;
        }
        text.append(buffer.data(), done);
    }
    (void)Fs().Close(fd);
    if (err)
        text.clear();
    return err;
}

bool MountOptionListHas(std::string_view list, std::string_view option) {
    if (option.empty())
        return false;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = std::min(list.find(',', start), list.size());
        if (list.substr(start, comma - start) == option)
            return true;
        start = comma + 1;
    }
    return false;
}

bool MountIsReadOnly(const TMountEntry& entry) {
    return MountOptionListHas(entry.mountOptions, "ro") ||
           MountOptionListHas(entry.superOptions, "ro");
}

bool IsSystemInternalFsType(std::string_view fsType) {
    return OneOf(kPseudoTypes, fsType) || OneOf(kInternalDataTypes, fsType);
}

bool UtabHasOption(std::string_view utabText, std::string_view mountPoint,
                   std::string_view option) {
    // Lines of KEY=value words: "SRC=/dev/sdb1 TARGET=/mnt/x ROOT=/ OPTS=a,b".
    return AnyLine(utabText, [&](std::string_view line) {
        bool onMount = false;
        bool hasOption = false;
        std::string_view word;
        while (NextWord(line, word)) {
            if (word.starts_with("TARGET="))
                onMount = DecodeMountField(word.substr(7)) == mountPoint;
            else if (word.starts_with("OPTS="))
                hasOption = MountOptionListHas(DecodeMountField(word.substr(5)), option);
        }
        return onMount && hasOption;
    });
}

bool FstabHasOption(std::string_view fstabText, std::string_view mountPoint,
                    std::string_view option) {
    return AnyLine(fstabText, [&](std::string_view line) {
        std::string_view source, target, type, options;
        if (!NextWord(line, source) || source.starts_with('#') || !NextWord(line, target) ||
            !NextWord(line, type) || !NextWord(line, options))
            return false;
        // fstab may name the mount point with a trailing "/".
        std::string decoded = DecodeMountField(target);
        while (decoded.size() > 1 && decoded.back() == '/')
            decoded.pop_back();
        return decoded == mountPoint && MountOptionListHas(DecodeMountField(options), option);
    });
}

bool MountHasOption(const TMountEntry& entry, std::string_view option) {
    if (MountOptionListHas(entry.mountOptions, option) ||
        MountOptionListHas(entry.superOptions, option))
        return true;
    std::string text;
    if (ReadSmallFile(kUtabPath, text, kMaxMountTableFileBytes) == 0 &&
        UtabHasOption(text, entry.mountPoint, option))
        return true;
    return ReadSmallFile(kFstabPath, text, kMaxMountTableFileBytes) == 0 &&
           FstabHasOption(text, entry.mountPoint, option);
}

int FindVolumeRoot(std::u16string_view path, std::u16string& root) {
    TMountEntry mount;
    std::string canonical;
    int err = LocateMount(path, mount, canonical);
    if (err)
        return err;
    root = RootOf(mount);
    return 0;
}

int QueryVolume(std::u16string_view path, TVolumeInfo& info) {
    info = TVolumeInfo();
    TMountEntry mount;
    std::string canonical;
    int err = LocateMount(path, mount, canonical);
    if (err)
        return err;
    info.root = RootOf(mount);
    info.fileSystem = DecodeFileName(mount.fsType);

    dev_t blockDevice = 0;
    bool onBlockDevice = BlockDeviceOf(mount, blockDevice);
    TBlockKind kind = onBlockDevice ? BlockKindOf(blockDevice) : TBlockKind::kNone;
    info.driveType = DriveTypeFor(mount.fsType, kind);

    bool haveSerial = false;
    if (onBlockDevice) {
        std::string name;
        if (FindDiskLinkName(kByLabelFolder, blockDevice, name) == 0)
            info.label = DecodeFileName(DecodeDiskLinkName(name));
        if (FindDiskLinkName(kByUuidFolder, blockDevice, name) == 0)
            haveSerial = SerialFromUuid(DecodeDiskLinkName(name), info.serial);
    }

    // The sizes are asked of the path itself rather than the mount point: the
    // mount point may be hidden under a later mount, the path never is.
    struct statvfs vfs {};
    if (Fs().StatVfs(canonical.c_str(), vfs) == 0) {
        info.totalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
        info.freeBytes = static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
        if (!haveSerial)
            info.serial = static_cast<std::uint32_t>(vfs.f_fsid & 0xFFFFFFFFu);
    }
    return 0;
}

} // namespace vdx
