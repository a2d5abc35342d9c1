#include "operations/VDX_unit_FolderOpener.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <gtest/gtest.h>

#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_SearchData.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

// A real scan of one folder into the fixture's store.
class FolderOpenerTest : public ::testing::Test {
protected:
    FolderOpenerTest() : m_root(Canonical(m_tree.Root())) {
        m_tree.File("s/a/one.txt", "1111");
        m_tree.File("s/a/two.txt", "2222");
        m_tree.File("s/a/deep/three.txt", "3333");
        m_tree.File("s/b/four.txt", "4444");
        m_tree.File("elsewhere/a/one.txt", "1111");
        m_tree.File("elsewhere/a/two.txt", "2222");
    }

    void ScanPath(const std::string& path) {
        m_store.ClearForNewSearch();
        m_store.m_protectHiddenFolders = false;
        auto item = std::make_unique<TSearchData>();
        item->SearchPath = DecodeFileName(path);
        item->Prepare();
        m_paths.AddOwned(std::move(item));
        TFolderScan scan(m_store, m_paths);
        scan.SetProtectedFolders({}, {});
        ASSERT_TRUE(scan.ScanAll());
    }

    std::uint32_t FileOf(const std::string& rel) const {
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            if (EncodeFileName(m_store.FullPath(i)) == m_root + "/s/" + rel)
                return i;
        ADD_FAILURE() << rel << " not in the store";
        return 0;
    }

    int Check(TFolderOpener& opener, const std::string& rel) const {
        int fd = -1;
        const char* name = nullptr;
        return opener.CheckFile(FileOf(rel), fd, name);
    }

    std::string S(const std::string& rel) const { return m_root + "/s/" + rel; }

    TTempTree m_tree;
    std::string m_root;
    TScanData m_store;
    TSearchDataList m_paths;
};

TEST_F(FolderOpenerTest, ScanRecordsTheIdentityOfFoldersAndFiles) {
    ScanPath(m_root + "/s");
    struct stat st {};
    ASSERT_EQ(::lstat(S("a/deep/three.txt").c_str(), &st), 0);
    const TScanFileItem& file = m_store.File(FileOf("a/deep/three.txt"));
    EXPECT_EQ(file.m_inode, FoldInode(st.st_ino));
    EXPECT_EQ(file.m_changeTime, FoldChangeTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec));
    ASSERT_EQ(::lstat(S("a/deep").c_str(), &st), 0);
    const TScanFolderItem& folder = m_store.Folder(file.m_folder);
    EXPECT_EQ(folder.m_device, static_cast<std::uint64_t>(st.st_dev));
    EXPECT_EQ(folder.m_inode, static_cast<std::uint64_t>(st.st_ino));
}

TEST_F(FolderOpenerTest, OpensEachFolderOnceAndActsOnTheBareName) {
    ScanPath(m_root + "/s");
    TFaultFs fs;
    TFaultFsInstall install(fs);
    TFolderOpener opener(m_store);
    int fd = -1;
    const char* name = nullptr;
    ASSERT_EQ(opener.CheckFile(FileOf("a/one.txt"), fd, name), 0);
    EXPECT_STREQ(name, "one.txt");
    // The root by its path, the folder below by its name in the root.
    EXPECT_EQ(fs.Calls(TFsOp::Open), 1);
    EXPECT_EQ(fs.Calls(TFsOp::OpenAt), 1);
    ASSERT_EQ(Check(opener, "a/two.txt"), 0);
    EXPECT_EQ(fs.Calls(TFsOp::Open), 1);
    EXPECT_EQ(fs.Calls(TFsOp::OpenAt), 1);
    EXPECT_EQ(fs.Calls(TFsOp::StatAt), 2);
    // A folder below keeps the chain above it; a sibling closes only the part
    // that differs.
    ASSERT_EQ(Check(opener, "a/deep/three.txt"), 0);
    ASSERT_EQ(Check(opener, "b/four.txt"), 0);
    EXPECT_EQ(fs.Calls(TFsOp::Open), 1);
    EXPECT_EQ(fs.Calls(TFsOp::OpenAt), 3);
    opener.Reset();
    ASSERT_EQ(Check(opener, "b/four.txt"), 0);
    EXPECT_EQ(fs.Calls(TFsOp::Open), 2);
}

std::size_t OpenDescriptors() {
    return test::Names("/proc/self/fd").size();
}

TEST_F(FolderOpenerTest, DeepTreesKeepTheDescriptorsBounded) {
    std::string deep;
    for (int i = 0; i < 150; ++i)
        deep += "d/";
    m_tree.File("s/" + deep + "x/one.txt", "1111");
    m_tree.File("s/" + deep + "y/two.txt", "2222");
    m_tree.File("s/" + deep.substr(0, 100 * 2) + "z/three.txt", "3333");
    ScanPath(m_root + "/s");
    const std::size_t before = OpenDescriptors();
    TFolderOpener opener(m_store);
    for (const std::string& rel : {deep + "x/one.txt", deep + "y/two.txt",
                                   deep.substr(0, 100 * 2) + "z/three.txt", deep + "x/one.txt"}) {
        EXPECT_EQ(Check(opener, rel), 0) << rel.size();
        EXPECT_LE(OpenDescriptors(), before + 70);
    }
    opener.Reset();
    EXPECT_EQ(OpenDescriptors(), before);
}

TEST_F(FolderOpenerTest, FolderSwappedForALinkFailsItsFilesAndTouchesNothingBehindIt) {
    ScanPath(m_root + "/s");
    TFolderOpener opener(m_store);
    ASSERT_EQ(::rename(S("a").c_str(), (m_root + "/s/a.old").c_str()), 0);
    ASSERT_EQ(::symlink((m_root + "/elsewhere/a").c_str(), S("a").c_str()), 0);
    EXPECT_EQ(Check(opener, "a/one.txt"), kErrorFolderChanged);
    EXPECT_EQ(Check(opener, "a/deep/three.txt"), kErrorFolderChanged);
    EXPECT_EQ(Check(opener, "b/four.txt"), 0);
}

TEST_F(FolderOpenerTest, FolderReplacedByAnotherRealFolderFailsItsFiles) {
    ScanPath(m_root + "/s");
    TFolderOpener opener(m_store);
    ASSERT_EQ(::rename(S("a").c_str(), (m_root + "/s/a.old").c_str()), 0);
    ASSERT_EQ(::rename((m_root + "/elsewhere/a").c_str(), S("a").c_str()), 0);
    EXPECT_EQ(Check(opener, "a/one.txt"), kErrorFolderChanged);
}

TEST_F(FolderOpenerTest, OpenFolderStaysWithTheFolderTheSearchListedWhenItsPathIsSwapped) {
    ScanPath(m_root + "/s");
    TFolderOpener opener(m_store);
    int fd = -1;
    const char* name = nullptr;
    ASSERT_EQ(opener.CheckFile(FileOf("a/one.txt"), fd, name), 0);
    ASSERT_EQ(::rename(S("a").c_str(), (m_root + "/s/a.old").c_str()), 0);
    ASSERT_EQ(::symlink((m_root + "/elsewhere/a").c_str(), S("a").c_str()), 0);
    ASSERT_EQ(opener.CheckFile(FileOf("a/two.txt"), fd, name), 0);
    ASSERT_EQ(::unlinkat(fd, name, 0), 0);
    EXPECT_TRUE(test::Exists(m_root + "/elsewhere/a/two.txt"));
    EXPECT_FALSE(test::Exists(m_root + "/s/a.old/two.txt"));
}

TEST_F(FolderOpenerTest, SearchRootThatIsALinkIsOpenedAsNamedAndChecked) {
    ASSERT_EQ(::symlink((m_root + "/s").c_str(), (m_root + "/link").c_str()), 0);
    ScanPath(m_root + "/link");
    ASSERT_GT(m_store.FileCount(), 0u);
    TFolderOpener opener(m_store);
    int fd = -1;
    const char* name = nullptr;
    std::uint32_t one = 0;
    for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
        if (EncodeFileName(m_store.FullPath(i)) == m_root + "/link/a/one.txt")
            one = i;
    ASSERT_EQ(opener.CheckFile(one, fd, name), 0);
    // The link turned to another folder: the root is no longer the one listed.
    opener.Reset();
    ASSERT_EQ(::unlink((m_root + "/link").c_str()), 0);
    ASSERT_EQ(::symlink((m_root + "/elsewhere").c_str(), (m_root + "/link").c_str()), 0);
    EXPECT_EQ(opener.CheckFile(one, fd, name), kErrorFolderChanged);
}

TEST_F(FolderOpenerTest, FileIdentityTellsAReplacedFileFromTheOriginal) {
    ScanPath(m_root + "/s");
    struct TCase {
        const char* what;
        std::function<void(const std::string&)> change;
        int expected;
    };
    // Each case changes one/one.txt... one file per case, all in folder a.
    const TCase cases[] = {
        {"untouched", [](const std::string&) {}, 0},
        {"gone", [](const std::string& p) { ::unlink(p.c_str()); }, ENOENT},
        {"same size and time, new file",
         [this](const std::string& p) {
             struct stat st {};
             ::lstat(p.c_str(), &st);
             const std::string other = p + ".new";
             m_tree.File(other.substr(m_root.size() + 1), "9999");
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, other.c_str(), times, 0);
             ::rename(other.c_str(), p.c_str());
         },
         kErrorChangedSinceSearch},
        {"a link in its place",
         [this](const std::string& p) {
             ::unlink(p.c_str());
             ::symlink((m_root + "/elsewhere/a/one.txt").c_str(), p.c_str());
         },
         kErrorChangedSinceSearch},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        m_paths.Clear();
        ScanPath(m_root + "/s");
        TFolderOpener opener(m_store);
        c.change(S("a/one.txt"));
        EXPECT_EQ(Check(opener, "a/one.txt"), c.expected);
        m_tree.File("s/a/one.txt", "1111");
    }
}

TEST_F(FolderOpenerTest, FolderSwappedAtTheMomentOfItsOpenIsRefused) {
    ScanPath(m_root + "/s");
    TFaultFs fs;
    bool swapped = false;
    const std::string a = S("a");
    fs.onCall = [&](TFsOp op, const std::string& path) {
        if (op == TFsOp::OpenAt && !swapped && path == a) {
            swapped = true;
            ::rename(a.c_str(), (a + ".old").c_str());
            ::symlink((m_root + "/elsewhere/a").c_str(), a.c_str());
        }
    };
    TFaultFsInstall install(fs);
    TFolderOpener opener(m_store);
    EXPECT_EQ(Check(opener, "a/one.txt"), kErrorFolderChanged);
    EXPECT_TRUE(swapped);
}

TEST_F(FolderOpenerTest, RecordsWithoutIdentityAreNeverTrusted) {
    ScanPath(m_root + "/s");
    TFolderOpener opener(m_store);
    const std::uint32_t one = FileOf("a/one.txt");
    m_store.File(kTestKey, one).m_inode = 0;
    m_store.File(kTestKey, one).m_changeTime = 0;
    EXPECT_EQ(Check(opener, "a/one.txt"), kErrorChangedSinceSearch);
    m_store.Folder(kTestKey, m_store.File(kTestKey, FileOf("b/four.txt")).m_folder).m_inode = 0;
    m_store.Folder(kTestKey, m_store.File(kTestKey, FileOf("b/four.txt")).m_folder).m_device = 0;
    EXPECT_EQ(Check(opener, "b/four.txt"), kErrorFolderChanged);
}

} // namespace
} // namespace vdx
