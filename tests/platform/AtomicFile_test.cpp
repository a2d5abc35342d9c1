#include "platform/VDX_unit_AtomicFile.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/VDX_unit_FileSystem.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Names;
using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

TWriteContent Bytes(const std::string& text) {
    return [text](int fd) { return WriteAll(fd, text.data(), text.size()); };
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode;
}

TEST(AtomicFile, OptionsKeepTheLinkAndTheModeOnlyWhenAsked) {
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "kept" : "plain");
        TTempTree tree;
        tree.File("real/a.txt", "old");
        ASSERT_EQ(::chmod(tree.Path("real/a.txt").c_str(), 0600), 0);
        tree.Symlink(tree.Path("real/a.txt"), "link.txt");
        TAtomicWriteOptions options;
        options.resolveLink = keep;
        options.keepMode = keep;
        options.syncFolder = keep;
        bool created = false;
        ASSERT_EQ(WriteFileAtomically(tree.Path("link.txt"), Bytes("new"), options, &created), 0);
        EXPECT_TRUE(created);
        EXPECT_EQ(ReadAll(tree.Path("link.txt")), "new");
        // Kept: the link still points at the replaced file, which keeps 0600.
        // Plain: the link itself was replaced by a regular file.
        EXPECT_EQ(S_ISLNK(ModeOf(tree.Path("link.txt"))), keep);
        EXPECT_EQ(ReadAll(tree.Path("real/a.txt")), keep ? "new" : "old");
        if (keep) {
            EXPECT_EQ(ModeOf(tree.Path("real/a.txt")) & 07777, 0600u);
        }
        EXPECT_EQ(Names(tree.Path("real")), std::vector<std::string>{"a.txt"});
    }
}

TEST(AtomicFile, FixedTemporaryNameIsTruncatedAndAPlantedLinkIsNotFollowed) {
    TTempTree tree;
    tree.File("victim.txt", "precious");
    tree.Symlink(tree.Path("victim.txt"), "temp");
    TAtomicWriteOptions options;
    options.fixedTemp = tree.Path("temp");
    EXPECT_EQ(WriteFileAtomically(tree.Path("out.txt"), Bytes("x"), options), ELOOP);
    EXPECT_EQ(ReadAll(tree.Path("victim.txt")), "precious");

    ASSERT_EQ(::unlink(tree.Path("temp").c_str()), 0);
    tree.File("temp", "a much longer leftover");
    ASSERT_EQ(WriteFileAtomically(tree.Path("out.txt"), Bytes("x"), options), 0);
    EXPECT_EQ(ReadAll(tree.Path("out.txt")), "x");
    EXPECT_EQ(Names(tree.Root()), (std::vector<std::string>{"out.txt", "victim.txt"}));
}

TEST(AtomicFile, AFailureLeavesTheOldFileAndNoTemporaryFile) {
    struct TCase {
        const char* name;
        TFsOp op;
        int error;
        bool created;
    };
    const TCase cases[] = {
        {"create refused", TFsOp::Open, EACCES, false},
        {"disk full", TFsOp::Write, ENOSPC, true},
        {"mode refused", TFsOp::ChangeMode, EPERM, true},
        {"flush error", TFsOp::FSync, EIO, true},
        {"close error", TFsOp::Close, EIO, true},
        {"rename refused", TFsOp::Rename, EXDEV, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempTree tree;
        tree.File("a.txt", "old");
        TFaultFs fs;
        fs.Fail(c.op, ".tmp-", c.error);
        bool created = !c.created;
        int rc = 0;
        {
            TFaultFsInstall install(fs);
            TAtomicWriteOptions options;
            options.keepMode = true;
            rc = WriteFileAtomically(tree.Path("a.txt"), Bytes("new"), options, &created);
        }
        EXPECT_EQ(rc, c.error);
        EXPECT_EQ(created, c.created);
        EXPECT_EQ(ReadAll(tree.Path("a.txt")), "old");
        EXPECT_EQ(Names(tree.Root()), std::vector<std::string>{"a.txt"});
    }
}

} // namespace
} // namespace vdx
