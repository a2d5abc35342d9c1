// Runs under ThreadSanitizer too.
#include "platform/VDX_unit_FileLock.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TTempTree;

TEST(FileLock, ASecondHolderWaitsUntilTheFirstReleases) {
    TTempTree tree;
    const std::string file = tree.Path("QVD.ini");
    TFileLock first;
    ASSERT_EQ(first.Acquire(file), 0);
    EXPECT_TRUE(first.Held());
    std::atomic<bool> acquired{false};
    std::thread other([&] {
        // Another open of the lock file: flock excludes it as it would
        // another process.
        TFileLock second;
        EXPECT_EQ(second.Acquire(file), 0);
        acquired = true;
    });
    // Not a timing assertion: the waiter may not get in while the lock is held,
    // however long it is given.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(acquired.load());
    first.Release();
    EXPECT_FALSE(first.Held());
    other.join();
    EXPECT_TRUE(acquired.load());
    // The lock file stays; the file it guards is never created by the lock.
    struct stat st {};
    EXPECT_EQ(::lstat(TFileLock::LockPathOf(file).c_str(), &st), 0);
    EXPECT_NE(::lstat(file.c_str(), &st), 0);
}

TEST(FileLock, ALinkInPlaceOfTheLockFileIsNotFollowedAndAMissingFolderFails) {
    TTempTree tree;
    const std::string file = tree.Path("QVD.ini");
    ASSERT_EQ(::symlink(tree.Path("elsewhere").c_str(), TFileLock::LockPathOf(file).c_str()), 0);
    TFileLock lock;
    EXPECT_EQ(lock.Acquire(file), ELOOP);
    EXPECT_FALSE(lock.Held());
    struct stat st {};
    EXPECT_NE(::lstat(tree.Path("elsewhere").c_str(), &st), 0);
    EXPECT_EQ(lock.Acquire(tree.Path("no/such/folder/QVD.ini")), ENOENT);
    EXPECT_FALSE(lock.Held());
}

} // namespace
} // namespace vdx
