#include "platform/VDX_unit_FileSystem.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <string>

#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

// Reads the whole file through Fs(), one Read call at a time; returns the
// errno of the first failure, the content and how many calls it took.
int ReadWhole(const std::string& path, std::string& content, int& calls) {
    int fd = -1;
    if (const int rc = Fs().Open(path.c_str(), O_RDONLY, 0, fd); rc != 0)
        return rc;
    content.clear();
    calls = 0;
    char buffer[64];
    for (;;) {
        std::size_t done = 0;
        ++calls;
        if (const int rc = Fs().Read(fd, buffer, sizeof buffer, done); rc != 0) {
            (void)Fs().Close(fd);
            return rc;
        }
        if (done == 0)
            break;
        content.append(buffer, done);
    }
    return Fs().Close(fd);
}

TEST(FileSystem, RealCallsReportErrnoAndOpenClosesOnExec) {
    TTempTree tree;
    tree.File("a.txt", "hello");
    struct stat st {};
    EXPECT_EQ(Fs().Stat(tree.Path("a.txt").c_str(), st), 0);
    EXPECT_EQ(st.st_size, 5);
    EXPECT_EQ(Fs().Stat(tree.Path("missing").c_str(), st), ENOENT);
    EXPECT_EQ(Fs().MakeDir(tree.Path("a.txt").c_str(), 0755), EEXIST);
    EXPECT_EQ(Fs().RemoveDir(tree.Path("a.txt").c_str()), ENOTDIR);

    int fd = -1;
    ASSERT_EQ(Fs().Open(tree.Path("b.bin").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644, fd), 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    const std::string data(100000, 'z');
    EXPECT_EQ(WriteAll(fd, data.data(), data.size()), 0);
    EXPECT_EQ(Fs().Close(fd), 0);
    EXPECT_EQ(Fs().Open(tree.Path("b.bin").c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644, fd), EEXIST);
    EXPECT_EQ(fd, -1);

    std::string content;
    int calls = 0;
    ASSERT_EQ(ReadWhole(tree.Path("b.bin"), content, calls), 0);
    EXPECT_EQ(content, data);
}

TEST(FileSystem, ReadDirEntriesListsEveryName) {
    TTempTree tree;
    const std::set<std::string> names = {"one", "two", "caf\xE9", ".hidden"};
    for (const auto& name : names)
        tree.File(name);
    int dirFd = -1;
    ASSERT_EQ(Fs().Open(tree.Root().c_str(), O_RDONLY | O_DIRECTORY, 0, dirFd), 0);
    std::set<std::string> seen;
    // A small buffer forces several calls.
    alignas(8) char buffer[128];
    for (;;) {
        std::size_t done = 0;
        ASSERT_EQ(Fs().ReadDirEntries(dirFd, buffer, sizeof buffer, done), 0);
        if (done == 0)
            break;
        for (std::size_t pos = 0; pos < done;) {
            dirent64 entry;
            std::memcpy(&entry, buffer + pos, std::min(sizeof entry, done - pos));
            const std::string name(buffer + pos + offsetof(dirent64, d_name));
            if (name != "." && name != "..")
                seen.insert(name);
            pos += entry.d_reclen;
        }
    }
    (void)Fs().Close(dirFd);
    EXPECT_EQ(seen, names);
}

TEST(FileSystem, NativePathGivesBackTheOriginalBytes) {
    EXPECT_EQ(NativePath(u"/tmp/\u00E9/x"), "/tmp/\xC3\xA9/x");
    EXPECT_EQ(NativePath(u"/tmp/caf\xDCE9"), "/tmp/caf\xE9");
}

TEST(FaultFs, InjectedFailuresReachTheCaller) {
    TTempTree tree;
    tree.File("data/slow.bin", std::string(100, 's'));
    tree.File("data/fast.bin", std::string(100, 'f'));

    struct TCase {
        const char* what;
        TFsOp op;
        const char* pathPart;
        int error;
        int after;
        std::size_t maxBytes;
        const char* file;
        int expectError;
        int readCalls; // including the one that meets the end of the file
    };
    const TCase cases[] = {
        {"short reads", TFsOp::Read, "slow", 0, 0, 7, "data/slow.bin", 0, 16},
        {"other files read normally", TFsOp::Read, "slow", 0, 0, 7, "data/fast.bin", 0, 3},
        {"read fails after two calls", TFsOp::Read, "slow", EIO, 2, 0, "data/slow.bin", EIO, 3},
        {"open denied", TFsOp::Open, "slow", EACCES, 0, 0, "data/slow.bin", EACCES, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TFaultFs fault;
        test::TFaultRule rule;
        rule.op = c.op;
        rule.pathPart = c.pathPart;
        rule.error = c.error;
        rule.after = c.after;
        rule.maxBytes = c.maxBytes;
        fault.Add(rule);
        TFaultFsInstall install(fault);

        std::string content;
        int calls = 0;
        EXPECT_EQ(ReadWhole(tree.Path(c.file), content, calls), c.expectError);
        EXPECT_EQ(calls, c.readCalls);
        if (c.expectError == 0) {
            EXPECT_EQ(content.size(), 100u);
        }
    }

    TFaultFs fault;
    fault.Fail(TFsOp::MakeDir, "locked", EACCES);
    fault.Fail(TFsOp::Write, "out.bin", ENOSPC, 1);
    {
        TFaultFsInstall install(fault);
        EXPECT_EQ(Fs().MakeDir(tree.Path("locked").c_str(), 0755), EACCES);
        EXPECT_EQ(Fs().MakeDir(tree.Path("open").c_str(), 0755), 0);
        int fd = -1;
        ASSERT_EQ(Fs().Open(tree.Path("out.bin").c_str(), O_WRONLY | O_CREAT, 0644, fd), 0);
        EXPECT_EQ(WriteAll(fd, "abc", 3), 0);
        EXPECT_EQ(WriteAll(fd, "def", 3), ENOSPC);
        (void)Fs().Close(fd);
        EXPECT_EQ(fault.Calls(TFsOp::MakeDir), 2);
    }
    // The installer put the real file system back.
    EXPECT_EQ(Fs().MakeDir(tree.Path("locked").c_str(), 0755), 0);
}

TEST(FaultFs, WriteAllFinishesAfterShortWrites) {
    TTempTree tree;
    TFaultFs fault;
    test::TFaultRule rule;
    rule.op = TFsOp::Write;
    rule.maxBytes = 3;
    fault.Add(rule);
    TFaultFsInstall install(fault);
    int fd = -1;
    ASSERT_EQ(Fs().Open(tree.Path("w.txt").c_str(), O_WRONLY | O_CREAT, 0644, fd), 0);
    EXPECT_EQ(WriteAll(fd, "0123456789", 10), 0);
    EXPECT_EQ(fault.Calls(TFsOp::Write), 4);
    (void)Fs().Close(fd);
    std::string content;
    int calls = 0;
    ASSERT_EQ(ReadWhole(tree.Path("w.txt"), content, calls), 0);
    EXPECT_EQ(content, "0123456789");
}

} // namespace
} // namespace vdx
