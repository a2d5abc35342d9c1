#include "platform/VDX_unit_Volumes.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

// A small machine: a root disk, a separate /data and /database, a USB stick
// whose mount point holds a space, a bind mount of a sub-folder, two stacked
// mounts on /mnt/stack, and a tmpfs mounted over /hide after /hide/inner.
constexpr std::string_view kMountInfo =
    "1 0 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
    "2 1 8:2 / /data rw,relatime shared:2 - xfs /dev/sda2 rw,attr2\n"
    "3 1 8:3 / /database rw,relatime shared:3 master:7 - ext4 /dev/sda3 rw\n"
    "4 1 8:17 / /media/u/My\\040Stick rw,nosuid - vfat /dev/sdb1 rw,fmask=0022\n"
    "5 1 8:2 /projects /srv/projects rw - xfs /dev/sda2 rw\n"
    "6 1 0:40 / /mnt/stack rw - tmpfs tmpfs rw\n"
    "7 1 0:41 / /mnt/stack rw - tmpfs tmpfs rw\n"
    "8 1 8:4 / /hide/inner rw - ext4 /dev/sda4 rw\n"
    "9 1 0:42 / /hide rw - tmpfs tmpfs rw\n"
    "10 1 0:43 / /back\\134slash\\011tab rw - ext4 /dev/sdc1 rw\n"
    "garbage line\n"
    "11 1 0:44 / relative rw - tmpfs tmpfs rw\n"
    "12 1 x:44 / /bad rw - tmpfs tmpfs rw\n"
    "13 1 0:45 / /nofstype rw -\n";

TEST(Volumes, ParsesMountInfoWithEscapesAndOptionalFields) {
    std::vector<TMountEntry> entries = ParseMountInfo(kMountInfo);
    ASSERT_EQ(entries.size(), 10u) << "malformed and relative entries are skipped";

    EXPECT_EQ(entries[0].mountPoint, "/");
    EXPECT_EQ(entries[0].fsType, "ext4");
    EXPECT_EQ(entries[0].source, "/dev/sda1");
    EXPECT_EQ(entries[0].device, makedev(8, 1));

    EXPECT_EQ(entries[2].fsType, "ext4") << "two optional fields before the dash";
    EXPECT_EQ(entries[2].superOptions, "rw");

    EXPECT_EQ(entries[3].mountPoint, "/media/u/My Stick");
    EXPECT_EQ(entries[3].mountId, 4);
    EXPECT_EQ(entries[3].parentId, 1);

    EXPECT_EQ(entries[4].root, "/projects") << "bind mount of a sub-folder";
    EXPECT_EQ(entries[4].mountPoint, "/srv/projects");

    EXPECT_EQ(entries[9].mountPoint, "/back\\slash\ttab");
}

TEST(Volumes, DecodesOnlyWellFormedOctalEscapes) {
    EXPECT_EQ(DecodeMountField("a\\040b"), "a b");
    EXPECT_EQ(DecodeMountField("\\012"), "\n");
    EXPECT_EQ(DecodeMountField("end\\04"), "end\\04") << "cut-off escape stays";
    EXPECT_EQ(DecodeMountField("\\x41\\8"), "\\x41\\8");
    EXPECT_EQ(DecodeMountField("\\377"), "\xff");
    EXPECT_EQ(DecodeMountField("\\777"), "\\777") << "beyond a byte stays";
}

TEST(Volumes, MountPointHoldsWholeComponentsOnly) {
    EXPECT_TRUE(MountPointHolds("/", "/"));
    EXPECT_TRUE(MountPointHolds("/", "/anything"));
    EXPECT_TRUE(MountPointHolds("/data", "/data"));
    EXPECT_TRUE(MountPointHolds("/data", "/data/x"));
    EXPECT_FALSE(MountPointHolds("/data", "/database"));
    EXPECT_FALSE(MountPointHolds("/data", "/dat"));
    EXPECT_FALSE(MountPointHolds("/data", "relative/data"));
}

TEST(Volumes, FindsTheMountOfAPath) {
    std::vector<TMountEntry> entries = ParseMountInfo(kMountInfo);
    struct TCase {
        const char* path;
        bool withDevice;
        dev_t device;
        const char* expectedMountPoint;
    };
    const dev_t kTop = makedev(0, 41);
    const TCase cases[] = {
        {"/", false, 0, "/"},
        {"/home/u/file", false, 0, "/"},
        {"/data", false, 0, "/data"},
        {"/data/photos/a.jpg", false, 0, "/data"},
        {"/database/x", false, 0, "/database"},
        {"/databases", false, 0, "/"},
        {"/media/u/My Stick/DCIM", false, 0, "/media/u/My Stick"},
        {"/srv/projects/a", true, makedev(8, 2), "/srv/projects"},
        // Same device as /data, but the longer mount point is the one holding it.
        {"/srv/projects/a", false, 0, "/srv/projects"},
        // Stacked mounts: the later one lies on top, unless the device says otherwise.
        {"/mnt/stack/f", false, 0, "/mnt/stack"},
        {"/mnt/stack/f", true, kTop, "/mnt/stack"},
        // /hide/inner is hidden under the tmpfs mounted on /hide afterwards.
        {"/hide/inner/f", true, makedev(0, 42), "/hide"},
        {"/hide/inner/f", true, makedev(8, 4), "/hide/inner"},
        {"/hide/inner/f", false, 0, "/hide/inner"},
        // A device nobody reports falls back to the longest mount point.
        {"/data/x", true, makedev(99, 9), "/data"},
    };
    for (const TCase& c : cases) {
        std::ptrdiff_t index = FindMountOf(entries, c.path, c.withDevice ? &c.device : nullptr);
        ASSERT_GE(index, 0) << c.path;
        EXPECT_EQ(entries[static_cast<std::size_t>(index)].mountPoint, c.expectedMountPoint)
            << c.path;
    }
    // Stacked mounts on one point: the device picks the lower one when it is the match.
    const dev_t kBottom = makedev(0, 40);
    std::ptrdiff_t bottom = FindMountOf(entries, "/mnt/stack/f", &kBottom);
    EXPECT_EQ(bottom, 5);
    std::ptrdiff_t top = FindMountOf(entries, "/mnt/stack/f", &kTop);
    EXPECT_EQ(top, 6);

    EXPECT_EQ(FindMountOf({}, "/x", nullptr), -1);
    EXPECT_EQ(FindMountOf(entries, "relative", nullptr), -1);
}

TEST(Volumes, MapsFileSystemsToDriveTypes) {
    struct TCase {
        const char* fsType;
        TBlockKind block;
        int expected;
    };
    const TCase cases[] = {
        {"iso9660", TBlockKind::kFixed, kDriveCdRom},
        {"udf", TBlockKind::kRemovable, kDriveCdRom},
        {"nfs", TBlockKind::kNone, kDriveRemote},
        {"nfs4", TBlockKind::kNone, kDriveRemote},
        {"cifs", TBlockKind::kNone, kDriveRemote},
        {"smb3", TBlockKind::kNone, kDriveRemote},
        {"smbfs", TBlockKind::kNone, kDriveRemote},
        {"9p", TBlockKind::kNone, kDriveRemote},
        {"fuse.sshfs", TBlockKind::kNone, kDriveRemote},
        {"fuse.rclone", TBlockKind::kNone, kDriveRemote},
        {"tmpfs", TBlockKind::kNone, kDriveRamDisk},
        {"ramfs", TBlockKind::kNone, kDriveRamDisk},
        {"proc", TBlockKind::kNone, kDriveNoRoot},
        {"sysfs", TBlockKind::kNone, kDriveNoRoot},
        {"cgroup", TBlockKind::kNone, kDriveNoRoot},
        {"cgroup2", TBlockKind::kNone, kDriveNoRoot},
        {"devpts", TBlockKind::kNone, kDriveNoRoot},
        {"vfat", TBlockKind::kRemovable, kDriveRemovable},
        {"exfat", TBlockKind::kRemovable, kDriveRemovable},
        {"ext4", TBlockKind::kFixed, kDriveFixed},
        {"fuseblk", TBlockKind::kFixed, kDriveFixed},
        {"btrfs", TBlockKind::kFixed, kDriveFixed},
        {"overlay", TBlockKind::kNone, kDriveUnknown},
        {"fuse.localthing", TBlockKind::kNone, kDriveUnknown},
        {"", TBlockKind::kNone, kDriveUnknown},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(DriveTypeFor(c.fsType, c.block), c.expected) << c.fsType;
}

TEST(Volumes, RecognisesHotPlugBuses) {
    EXPECT_TRUE(IsHotPlugDevicePath("/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/"
                                    "host6/target6:0:0/6:0:0:0/block/sdb/sdb1"));
    EXPECT_TRUE(IsHotPlugDevicePath(
        "/sys/devices/platform/soc/fe340000.mmc/mmc_host/mmc0/mmc0:aaaa/block/mmcblk0"));
    EXPECT_FALSE(IsHotPlugDevicePath("/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda"));
    EXPECT_FALSE(IsHotPlugDevicePath(
        "/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1/nvme0n1p2"));
    EXPECT_FALSE(IsHotPlugDevicePath("/sys/devices/virtual/block/dm-0"));
}

TEST(Volumes, TellsRemovableDevicesFromSysfs) {
    // A made-up sysfs: a USB stick, a disk flagged removable, a fixed disk,
    // and device-mapper volumes stacked on a partition of each kind.
    test::TTempTree tree;
    tree.File("pci0/usb1/1-1/block/sdb/removable", "0\n");
    tree.File("pci0/usb1/1-1/block/sdb/sdb1/partition", "1\n");
    tree.File("pci0/ata1/block/sda/removable", "1\n");
    tree.File("pci0/ata1/block/sda/sda1/partition", "1\n");
    tree.File("pci0/ata2/block/sdc/removable", "0\n");
    tree.File("pci0/ata2/block/sdc/sdc1/partition", "1\n");
    tree.Dir("virtual/block/dm-0/slaves");
    tree.Symlink(tree.Path("pci0/usb1/1-1/block/sdb/sdb1"), "virtual/block/dm-0/slaves/sdb1");
    tree.Dir("virtual/block/dm-1/slaves");
    tree.Symlink(tree.Path("pci0/ata2/block/sdc/sdc1"), "virtual/block/dm-1/slaves/sdc1");
    tree.Dir("virtual/block/dm-2/slaves");
    tree.Symlink(tree.Path("virtual/block/dm-0"), "virtual/block/dm-2/slaves/dm-0");

    struct TCase {
        const char* device;
        bool removable;
    };
    const TCase cases[] = {
        {"pci0/usb1/1-1/block/sdb/sdb1", true}, {"pci0/usb1/1-1/block/sdb", true},
        {"pci0/ata1/block/sda/sda1", true},     {"pci0/ata1/block/sda", true},
        {"pci0/ata2/block/sdc/sdc1", false},    {"pci0/ata2/block/sdc", false},
        {"virtual/block/dm-0", true},           {"virtual/block/dm-1", false},
        {"virtual/block/dm-2", true},           {"missing/block/sdz", false},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SysDeviceIsRemovable(tree.Path(c.device)), c.removable) << c.device;
}

TEST(Volumes, DecodesDiskLinkNamesAndUuids) {
    EXPECT_EQ(DecodeDiskLinkName("My\\x20Disk"), "My Disk");
    EXPECT_EQ(DecodeDiskLinkName("a\\x2fb"), "a/b");
    EXPECT_EQ(DecodeDiskLinkName("\\xc3\\xa9t\\xc3\\xa9"), "\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(FromUtf8(DecodeDiskLinkName("\\xc3\\xa9t\\xc3\\xa9")), u"\u00e9t\u00e9");
    EXPECT_EQ(DecodeDiskLinkName("bad\\xZZ\\x4"), "bad\\xZZ\\x4");
    EXPECT_EQ(DecodeDiskLinkName("plain"), "plain");

    struct TCase {
        const char* uuid;
        bool valid;
        std::uint32_t serial;
    };
    const TCase cases[] = {
        {"8a1b2c3d-4e5f-6789-abcd-ef0123456789", true, 0x8a1b2c3du},
        {"ABCD-1234", true, 0xABCD1234u},
        {"0123456789ABCDEF", true, 0x01234567u},
        {"2019-04-25-11-41-21-00", true, 0x20190425u},
        {"1234-567", false, 0},
        {"", false, 0},
        {"zzzz-1234", false, 0},
    };
    for (const TCase& c : cases) {
        std::uint32_t serial = 0;
        EXPECT_EQ(SerialFromUuid(c.uuid, serial), c.valid) << c.uuid;
        if (c.valid) {
            EXPECT_EQ(serial, c.serial) << c.uuid;
        }
    }
}

TEST(Volumes, FindsTheDiskLinkOfABlockDevice) {
    // Needs one block device the test may stat; the root file system's
    // source usually is one.
    std::vector<TMountEntry> entries;
    ASSERT_EQ(ReadMountTable(entries), 0);
    std::string device;
    dev_t rdev = 0;
    for (const TMountEntry& entry : entries) {
        struct stat st {};
        if (entry.source.starts_with("/dev/") && ::stat(entry.source.c_str(), &st) == 0 &&
            S_ISBLK(st.st_mode)) {
            device = entry.source;
            rdev = st.st_rdev;
            break;
        }
    }
    if (device.empty())
        GTEST_SKIP() << "no block device visible";
    test::TTempTree tree;
    tree.Symlink("/dev/null", "decoy");
    tree.Symlink("/nonexistent/target", "dangling");
    tree.Symlink(device, "My\\x20Disk");
    std::string name;
    ASSERT_EQ(FindDiskLinkName(tree.Root().c_str(), rdev, name), 0);
    EXPECT_EQ(name, "My\\x20Disk");
    EXPECT_EQ(FindDiskLinkName(tree.Root().c_str(), makedev(250, 250), name), ENOENT);
    EXPECT_EQ(FindDiskLinkName(tree.Path("missing").c_str(), rdev, name), ENOENT);
}

TEST(Volumes, ResolvesMissingPathsToTheirNearestParent) {
    test::TTempTree tree;
    tree.Dir("a/b");
    tree.Symlink(tree.Path("a"), "link");
    std::string canonical;
    struct stat st {};

    ASSERT_EQ(ResolveExistingPath(tree.Path("a/b"), canonical, st), 0);
    std::string base;
    ASSERT_EQ(ResolveExistingPath(tree.Root(), base, st), 0);
    EXPECT_EQ(canonical, base + "/a/b");

    ASSERT_EQ(ResolveExistingPath(tree.Path("a/b/not/yet/there/"), canonical, st), 0);
    EXPECT_EQ(canonical, base + "/a/b");
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    ASSERT_EQ(ResolveExistingPath(tree.Path("link/b/new"), canonical, st), 0);
    EXPECT_EQ(canonical, base + "/a/b") << "symbolic links resolved";

    ASSERT_EQ(ResolveExistingPath("/no-such-top-folder/x", canonical, st), 0);
    EXPECT_EQ(canonical, "/");

    EXPECT_EQ(ResolveExistingPath("", canonical, st), ENOENT);
    EXPECT_EQ(ResolveExistingPath(std::string_view("/a\0b", 4), canonical, st), EINVAL);
}

TEST(Volumes, QueriesTheRealRootAndATempFolder) {
    TVolumeInfo root;
    ASSERT_EQ(QueryVolume(u"/", root), 0);
    EXPECT_EQ(root.root, u"/");
    EXPECT_FALSE(root.fileSystem.empty());
    EXPECT_GT(root.totalBytes, 0u);
    EXPECT_LE(root.freeBytes, root.totalBytes);
    EXPECT_NE(root.driveType, kDriveUnknown) << "the root file system is a real one";

    test::TTempTree tree;
    tree.Dir("sub");
    TVolumeInfo temp;
    ASSERT_EQ(QueryVolume(FromUtf8(tree.Path("sub")), temp), 0);
    ASSERT_FALSE(temp.root.empty());
    EXPECT_EQ(temp.root.back(), u'/');
    struct stat st {};
    EXPECT_EQ(::stat(ToUtf8(temp.root).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_TRUE(tree.Root().starts_with(ToUtf8(temp.root)) || ToUtf8(temp.root) == "/")
        << ToUtf8(temp.root);

    // A folder that does not exist yet lies on its nearest parent's volume.
    TVolumeInfo missing;
    ASSERT_EQ(QueryVolume(FromUtf8(tree.Path("sub/new/deeper")), missing), 0);
    EXPECT_EQ(missing.root, temp.root);
    EXPECT_EQ(missing.fileSystem, temp.fileSystem);
    EXPECT_EQ(missing.serial, temp.serial);

    std::u16string quickRoot;
    ASSERT_EQ(FindVolumeRoot(FromUtf8(tree.Path("sub/new")), quickRoot), 0);
    EXPECT_EQ(quickRoot, temp.root);
}

TEST(Volumes, ProcIsAVolumeWithoutRoot) {
    struct stat st {};
    if (::stat("/proc/self", &st) != 0)
        GTEST_SKIP() << "no /proc";
    TVolumeInfo info;
    ASSERT_EQ(QueryVolume(u"/proc/self", info), 0);
    EXPECT_EQ(info.root, u"/proc/");
    EXPECT_EQ(info.fileSystem, u"proc");
    EXPECT_EQ(info.driveType, kDriveNoRoot);
}

TEST(Volumes, ReportsFailuresAsErrors) {
    test::TTempTree tree;
    {
        test::TFaultFs fs;
        fs.Fail(test::TFsOp::Open, "mountinfo", EACCES);
        test::TFaultFsInstall install(fs);
        TVolumeInfo info;
        EXPECT_EQ(QueryVolume(FromUtf8(tree.Root()), info), EACCES);
        EXPECT_TRUE(info.root.empty());
        std::u16string root;
        EXPECT_EQ(FindVolumeRoot(FromUtf8(tree.Root()), root), EACCES);
    }
    {
        // The sizes cannot be read: the volume is still found, with zero sizes.
        test::TFaultFs fs;
        fs.Fail(test::TFsOp::StatVfs, "", EIO);
        test::TFaultFsInstall install(fs);
        TVolumeInfo info;
        ASSERT_EQ(QueryVolume(FromUtf8(tree.Root()), info), 0);
        EXPECT_FALSE(info.root.empty());
        EXPECT_EQ(info.totalBytes, 0u);
        EXPECT_EQ(info.freeBytes, 0u);
    }
    {
        // A mountinfo read that breaks off half way is an error, not a short table.
        test::TFaultFs fs;
        fs.Add({test::TFsOp::Read, "mountinfo", EIO, 0, -1, 0});
        test::TFaultFsInstall install(fs);
        std::vector<TMountEntry> entries;
        EXPECT_EQ(ReadMountTable(entries), EIO);
    }
}

TEST(Volumes, ReadsSmallFilesInPieces) {
    test::TTempTree tree;
    std::string content(40000, 'x');
    content += "end";
    tree.File("f", content);
    test::TFaultFs fs;
    fs.ShortReads("/f", 7);
    test::TFaultFsInstall install(fs);
    std::string text;
    ASSERT_EQ(ReadSmallFile(tree.Path("f").c_str(), text, 1 << 20), 0);
    EXPECT_EQ(text, content);
    EXPECT_EQ(ReadSmallFile(tree.Path("f").c_str(), text, 100), EFBIG);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(ReadSmallFile(tree.Path("none").c_str(), text, 100), ENOENT);
}

} // namespace
} // namespace vdx
