#pragma once
// What the program knows about the volume a path lies on: the mounted file
// system that holds it (from /proc/self/mountinfo), its drive type, label,
// serial number and sizes. The parsing and decision functions take text and
// plain values so they can be checked without the machine's real mounts;
// every file they read goes through Fs().

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace vdx {

// Drive type codes as the rest of the program uses them.
inline constexpr int kDriveUnknown = 0;
inline constexpr int kDriveNoRoot = 1;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
inline constexpr int kDriveCdRom = 5;
inline constexpr int kDriveRamDisk = 6;

// One line of /proc/self/mountinfo. Texts are raw file-system bytes with the
// kernel's octal escapes (\040 for a space ...) already decoded.
struct TMountEntry {
    int mountId = 0;
    int parentId = 0;
    // The st_dev of files on this mount.
    dev_t device = 0;
    // The folder of the file system that appears at the mount point; not "/"
    // for a bind mount of a sub-folder.
    std::string root;
    std::string mountPoint;
    std::string mountOptions;
    std::string fsType;
    std::string source;
    std::string superOptions;
};

// Decodes the kernel's \ooo octal escapes; a backslash not followed by three
// octal digits stays as it is.
std::string DecodeMountField(std::string_view field);

// Parses one mountinfo line; false for a line that lacks a required field.
bool ParseMountInfoLine(std::string_view line, TMountEntry& entry);

// Parses the whole file in order, skipping malformed lines.
std::vector<TMountEntry> ParseMountInfo(std::string_view text);

// Reads and parses /proc/self/mountinfo; 0 or the errno of the failed read.
int ReadMountTable(std::vector<TMountEntry>& entries);

// True when path (canonical, absolute) is the mount point or lies below it:
// "/data" holds "/data/x" but not "/database".
bool MountPointHolds(std::string_view mountPoint, std::string_view path);

// The index of the mount that holds the canonical path, or -1 when none does.
// Mounts whose device equals *device (when given) are preferred, so a mount
// hidden under a later mount on a parent folder is not chosen; among equals
// the longest mount point wins, and of two on one mount point the later
// (the one mounted on top).
std::ptrdiff_t FindMountOf(const std::vector<TMountEntry>& entries, std::string_view canonicalPath,
                           const dev_t* device);

// Canonical form of path, or of its nearest existing parent when path does
// not exist yet, with the stat of that folder. 0 or the errno of the last
// failure when not even the top of the path resolves.
int ResolveExistingPath(std::string_view path, std::string& canonical, struct stat& st);

// Whether a mount's file system lives on a block device, and of which kind.
enum class TBlockKind { kNone, kFixed, kRemovable };

// The drive type of a file system type on a device of the given kind.
int DriveTypeFor(std::string_view fsType, TBlockKind block);

// True when a resolved /sys/devices path runs through a hot-plug bus (a
// component starting with "usb", "mmc" or "memstick").
bool IsHotPlugDevicePath(std::string_view sysfsPath);

// The block device behind a mount: its own device when the major number is
// not 0, else the device its source names (btrfs reports an anonymous device
// number per sub-volume). False when the mount has no block device.
bool BlockDeviceOf(const TMountEntry& entry, dev_t& blockDevice);

// Fixed or removable, from sysfs (hot-plug bus, the disk's "removable" flag,
// or either of these on a device-mapper or RAID member). Fixed when sysfs
// cannot tell.
TBlockKind BlockKindOf(dev_t blockDevice);

// The same test on a resolved sysfs device folder (/sys/devices/.../block/sdb/sdb1).
bool SysDeviceIsRemovable(const std::string& deviceDir);

// Decodes the \xNN escapes udev uses in /dev/disk/by-* names.
std::string DecodeDiskLinkName(std::string_view name);

// The first 32 bits of a file-system UUID ("8a1b2c3d-..." or FAT's
// "ABCD-1234"), read from its first 8 hex digits with dashes skipped. False
// when the text holds anything but hex digits and dashes or fewer than 8 digits.
bool SerialFromUuid(std::string_view uuid, std::uint32_t& serial);

// The (still escaped) name of the entry of folder that leads to the block
// device blockDevice; 0, or ENOENT when none does, or the errno of listing.
int FindDiskLinkName(const char* folder, dev_t blockDevice, std::string& name);

// Reads a whole small file (procfs and sysfs report size 0, so it reads to
// the end) of at most maxBytes; EFBIG beyond that.
int ReadSmallFile(const char* path, std::string& text, std::size_t maxBytes);

// True when the comma-separated option list holds option exactly
// ("ro" is in "ro,noatime" but not in "errors=remount-ro").
bool MountOptionListHas(std::string_view list, std::string_view option);

// True when the mount or its file system is read-only.
bool MountIsReadOnly(const TMountEntry& entry);

// True for file systems that hold no user data of their own or vanish at the
// next boot: kernel interfaces, RAM disks, overlays of containers.
bool IsSystemInternalFsType(std::string_view fsType);

// Options such as x-gvfs-notrash are not kept by the kernel: libmount writes
// them to /run/mount/utab, the administrator to /etc/fstab. These look for
// option on the line of mountPoint in the text of either file.
bool UtabHasOption(std::string_view utabText, std::string_view mountPoint, std::string_view option);
bool FstabHasOption(std::string_view fstabText, std::string_view mountPoint,
                    std::string_view option);

// True when option is set for the mount: in its mountinfo options, or for its
// mount point in /run/mount/utab or /etc/fstab (unreadable files count as
// not setting it).
bool MountHasOption(const TMountEntry& entry, std::string_view option);

// One volume as the volume table records it.
struct TVolumeInfo {
    // The mount point with a trailing "/".
    std::u16string root;
    std::u16string fileSystem;
    std::u16string label;
    std::uint32_t serial = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;
    int driveType = kDriveUnknown;
};

// The root of the volume holding path (or its nearest existing parent);
// 0 or the errno of the failure (mount table unreadable, no mount found).
int FindVolumeRoot(std::u16string_view path, std::u16string& root);

// Everything known about the volume of path. On success the root is always
// set; the label, serial and sizes that cannot be read stay empty or 0.
// Returns 0 or the errno that kept the mount from being found.
int QueryVolume(std::u16string_view path, TVolumeInfo& info);

} // namespace vdx
