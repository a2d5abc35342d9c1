#include "engine/VDX_unit_Drives.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Volumes.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

// Serves a mount table written by the test in place of the machine's, so the
// folders of a temporary tree can stand for separate volumes.
class TMountTableFs : public TFileSystem {
public:
    explicit TMountTableFs(std::string tablePath) : m_tablePath(std::move(tablePath)) {}
    int Open(const char* path, int flags, mode_t mode, int& fd) override {
        if (std::string_view(path) == "/proc/self/mountinfo")
            path = m_tablePath.c_str();
        return TFileSystem::Open(path, flags, mode, fd);
    }

private:
    std::string m_tablePath;
};

std::string Canonical(const std::string& path) {
    char* full = ::realpath(path.c_str(), nullptr);
    std::string result = full ? full : "";
    std::free(full);
    return result;
}

// A temporary tree whose sub-folders are mount points of a made-up table.
class DrivesWithTable : public ::testing::Test {
protected:
    void SetUp() override {
        m_tree.Dir("mounts");
        m_base = Canonical(m_tree.Path("mounts"));
        ASSERT_FALSE(m_base.empty());
    }
    // Writes the table: "/" plus one mount per entry of points (relative to
    // the base folder, created here) with its file-system type.
    void WriteTable(const std::vector<std::pair<std::string, std::string>>& points) {
        std::string text = "1 0 0:1 / / rw - ext4 /dev/fake rw\n";
        int id = 2;
        for (const auto& [point, type] : points) {
            m_tree.Dir("mounts/" + point);
            text += std::to_string(id) + " 1 0:" + std::to_string(id + 100) + " / " + m_base + "/" +
                    point + " rw - " + type + " none rw\n";
            ++id;
        }
        m_tree.File("mountinfo", text);
    }
    std::u16string P(const std::string& rel) const { return FromUtf8(m_base + "/" + rel); }
    std::u16string Root(const std::string& point) const {
        return FromUtf8(m_base + "/" + point + "/");
    }

    test::TTempTree m_tree;
    std::string m_base;
};

TEST_F(DrivesWithTable, GivesEachVolumeOneRecordInOrderOfFirstAppearance) {
    WriteTable({{"data", "ext4"}, {"database", "xfs"}, {"stick", "vfat"}, {"shm", "tmpfs"}});
    TMountTableFs fs(m_tree.Path("mountinfo"));
    test::TFaultFsInstall install(fs);

    TScanDrivesData drives;
    for (int round = 0; round < 2; ++round) {
        drives.Clear();
        EXPECT_EQ(drives.Count(), 0u);
        EXPECT_EQ(drives.Register(P("database/a")), 0);
        EXPECT_EQ(drives.Register(P("data/photos")), 1) << "/data is not /database";
        EXPECT_EQ(drives.Register(P("database/b")), 0);
        EXPECT_EQ(drives.Register(P("shm")), 2);
        EXPECT_EQ(drives.Register(P("data/not/yet/made")), 1);
        EXPECT_EQ(drives.Register(P("elsewhere")), 3) << "lies on the made-up root";
        ASSERT_EQ(drives.Count(), 4u);
    }
    EXPECT_EQ(drives.Item(0).root, Root("database"));
    EXPECT_EQ(drives.Item(0).fileSystem, u"xfs");
    EXPECT_EQ(drives.Item(1).root, Root("data"));
    EXPECT_EQ(drives.Item(2).fileSystem, u"tmpfs");
    EXPECT_EQ(drives.Item(2).driveType, kDriveRamDisk);
    EXPECT_EQ(drives.Item(3).root, u"/");
    for (std::size_t i = 0; i < drives.Count(); ++i) {
        const TScanDrivesItem& item = drives.Item(i);
        EXPECT_EQ(item.root.back(), u'/');
        EXPECT_EQ(item.selectedFiles, 0);
        EXPECT_EQ(item.selectedBytes, 0u);
        EXPECT_FALSE(item.settingsKnown);
        EXPECT_FALSE(item.deleteAtOnce);
        EXPECT_EQ(item.capacity, 0);
        EXPECT_EQ(item.binBytes, 0);
        EXPECT_EQ(item.binItems, 0);
    }

    // Find never adds: a volume no search path uses is 256.
    EXPECT_EQ(drives.Find(P("data/x/new-destination")), 1);
    EXPECT_EQ(drives.Find(P("stick/DCIM")), kNoVolume);
    EXPECT_EQ(drives.Count(), 4u);
}

TEST_F(DrivesWithTable, StopsAddingAtTheIndexThatMeansNone) {
    std::vector<std::pair<std::string, std::string>> points;
    for (int i = 0; i < 260; ++i)
        points.emplace_back("v" + std::to_string(i), "ext4");
    WriteTable(points);
    TMountTableFs fs(m_tree.Path("mountinfo"));
    test::TFaultFsInstall install(fs);

    TScanDrivesData drives;
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(drives.Register(P("v" + std::to_string(i))), i);
    EXPECT_EQ(drives.Register(P("v256")), kNoVolume);
    EXPECT_EQ(drives.Register(P("v259/x")), kNoVolume);
    EXPECT_EQ(drives.Count(), kMaxVolumes);
    EXPECT_EQ(drives.Register(P("v255/x")), 255) << "known volumes keep their index";
    EXPECT_EQ(drives.Find(P("v257")), kNoVolume);
}

TEST(Drives, RecordsTheRealVolumeOfATempFolder) {
    test::TTempTree tree;
    tree.Dir("one");
    tree.Dir("two");
    TScanDrivesData drives;
    TVolumeIndex first = drives.Register(FromUtf8(tree.Path("one")));
    ASSERT_EQ(first, 0);
    EXPECT_EQ(drives.Register(FromUtf8(tree.Path("two"))), 0);
    ASSERT_EQ(drives.Count(), 1u);

    TVolumeInfo expected;
    ASSERT_EQ(QueryVolume(FromUtf8(tree.Root()), expected), 0);
    const TScanDrivesItem& item = drives.Item(0);
    EXPECT_EQ(item.root, expected.root);
    EXPECT_EQ(item.fileSystem, expected.fileSystem);
    EXPECT_EQ(item.serial, expected.serial);
    EXPECT_EQ(item.driveType, expected.driveType);
    EXPECT_GT(item.totalBytes, 0u);
    struct stat st {};
    EXPECT_EQ(::stat(ToUtf8(item.root).c_str(), &st), 0);

    // /proc, where mounted, is a volume of its own.
    if (::stat("/proc/self", &st) == 0 && item.root != u"/proc/") {
        TVolumeIndex proc = drives.Register(u"/proc/self");
        EXPECT_EQ(proc, 1);
        EXPECT_EQ(drives.Item(proc).driveType, kDriveNoRoot);
    }
}

TEST(Drives, AddsVolumesWhoseFactsCannotBeRead) {
    test::TTempTree tree;
    tree.Dir("a");
    {
        // Without a mount table no volume can be told apart: every path
        // shares the one record with the empty root.
        test::TFaultFs fs;
        fs.Fail(test::TFsOp::Open, "mountinfo", EACCES);
        test::TFaultFsInstall install(fs);
        TScanDrivesData drives;
        EXPECT_EQ(drives.Register(FromUtf8(tree.Path("a"))), 0);
        EXPECT_EQ(drives.Register(u"/"), 0);
        EXPECT_EQ(drives.Register(u""), 0);
        ASSERT_EQ(drives.Count(), 1u);
        EXPECT_TRUE(drives.Item(0).root.empty());
        EXPECT_TRUE(drives.Item(0).fileSystem.empty());
        EXPECT_EQ(drives.Item(0).driveType, kDriveUnknown);
        EXPECT_EQ(drives.Item(0).totalBytes, 0u);
        EXPECT_EQ(drives.Find(u"/anything"), 0);
    }
    {
        test::TFaultFs fs;
        fs.Fail(test::TFsOp::StatVfs, "", EIO);
        test::TFaultFsInstall install(fs);
        TScanDrivesData drives;
        EXPECT_EQ(drives.Register(FromUtf8(tree.Path("a"))), 0);
        ASSERT_EQ(drives.Count(), 1u);
        EXPECT_FALSE(drives.Item(0).root.empty());
        EXPECT_EQ(drives.Item(0).totalBytes, 0u);
        EXPECT_EQ(drives.Item(0).freeBytes, 0u);
        EXPECT_EQ(drives.Find(u""), kNoVolume) << "an empty path has no volume";
    }
}

} // namespace
} // namespace vdx
