// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_CopyMove.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Messages.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Exists;
using test::Names;
using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFaultRule;
using test::TFsOp;
using test::TTempTree;

constexpr std::uint32_t kWaitMs = 20'000;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// Every entry below folder whose name holds "~tmp~".
std::vector<std::string> TempFilesBelow(const std::string& folder) {
    std::vector<std::string> found;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        if (name.find("~tmp~") != std::string::npos)
            found.push_back(path);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            const auto below = TempFilesBelow(path);
            found.insert(found.end(), below.begin(), below.end());
        }
    }
    ::closedir(dir);
    return found;
}

// What THookFs passes for the opening of an unnamed temporary file.
constexpr const char* kUnnamed = "<unnamed>";

// A file system that calls a hook after chosen calls, so that a test can act
// (cancel, change a file) at an exact stage of the worker.
class THookFs : public TFaultFs {
public:
    std::function<void(TFsOp, const std::string&)> hook;

    int OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd) override {
        const int rc = TFaultFs::OpenAt(dirFd, name, flags, mode, fd);
        Fire(TFsOp::OpenAt, (flags & O_TMPFILE) == O_TMPFILE ? kUnnamed : name);
        return rc;
    }
    int LinkAt(int fromDir, const char* from, int toDir, const char* to, int flags) override {
        const int rc = TFaultFs::LinkAt(fromDir, from, toDir, to, flags);
        Fire(TFsOp::Link, to);
        return rc;
    }
    int CopyFileRange(int fdIn, int fdOut, std::size_t n, std::size_t& done) override {
        const int rc = TFaultFs::CopyFileRange(fdIn, fdOut, n, done);
        Fire(TFsOp::CopyFileRange, {});
        return rc;
    }
    int Write(int fd, const void* buffer, std::size_t n, std::size_t& done) override {
        const int rc = TFaultFs::Write(fd, buffer, n, done);
        Fire(TFsOp::Write, {});
        return rc;
    }
    int RenameAt(int fromDir, const char* from, int toDir, const char* to,
                 unsigned flags) override {
        const int rc = TFaultFs::RenameAt(fromDir, from, toDir, to, flags);
        Fire(TFsOp::Rename, to);
        return rc;
    }

private:
    void Fire(TFsOp op, const std::string& path) {
        if (hook)
            hook(op, path);
    }
};

// Sets the process umask for a scope.
class TUmask {
public:
    explicit TUmask(mode_t mask) : m_old(::umask(mask)) {}
    ~TUmask() { ::umask(m_old); }
    TUmask(const TUmask&) = delete;
    TUmask& operator=(const TUmask&) = delete;

private:
    mode_t m_old;
};

class CopyMoveTest : public ::testing::Test {
protected:
    // The store folder of path (a real folder of the tree, ending with "/"),
    // with every folder above it up to the tree's root, the search root,
    // each with the identity the scan records.
    std::uint32_t FolderOf(const std::string& path, std::uint16_t volume) {
        const std::u16string folderPath = DecodeFileName(path);
        for (std::uint32_t i = 0; i < store.FolderCount(); ++i)
            if (store.FolderPath(i) == folderPath)
                return i;
        const bool root = path == tree->Root() + "/";
        std::uint32_t parent = 0;
        if (!root)
            parent = FolderOf(path.substr(0, path.rfind('/', path.size() - 2) + 1), volume);
        const std::int32_t folder = store.AddFolder(volume, 0, parent, root, folderPath);
        EXPECT_GE(folder, 0);
        const struct stat st = StatOf(path.substr(0, path.size() - 1));
        store.Folder(kTestKey, static_cast<std::uint32_t>(folder)).m_device =
            static_cast<std::uint64_t>(st.st_dev);
        store.Folder(kTestKey, static_cast<std::uint32_t>(folder)).m_inode =
            static_cast<std::uint64_t>(st.st_ino);
        return static_cast<std::uint32_t>(folder);
    }

    // Adds the real file rel of the tree to the store as the scan records it.
    std::int32_t AddReal(const std::string& rel, std::uint16_t volume = 0) {
        const std::string full = tree->Path(rel);
        const struct stat st = StatOf(full);
        const auto slash = full.rfind('/');
        const std::uint32_t folder = FolderOf(full.substr(0, slash + 1), volume);
        EXPECT_EQ(store.AddFile(volume, folder, DecodeFileName(full.substr(slash + 1)),
                                static_cast<std::uint64_t>(st.st_size),
                                FileTimeFromTimespec(st.st_mtim), kAttrArchive),
                  0);
        const auto index = static_cast<std::int32_t>(store.FileCount() - 1);
        TScanFileItem& item = store.File(kTestKey, static_cast<std::uint32_t>(index));
        item.m_inode = FoldInode(static_cast<std::uint64_t>(st.st_ino));
        item.m_changeTime = FoldChangeTime(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
        files.push_back(index);
        bytes += static_cast<std::uint64_t>(st.st_size);
        return index;
    }

    TCopyInputs Inputs(TCollisionRule rule, bool move, std::uint16_t destVolume = 1) {
        logs.BeginRun(true, true, kViewSameName, move ? TOperationKind::Move : TOperationKind::Copy,
                      TLogHeaderFigures{});
        TCopyInputs in;
        in.files = files;
        in.destination = DecodeFileName(tree->Path("out"));
        in.rule = rule;
        in.move = move;
        in.destinationVolume = destVolume;
        in.filesToProcess = static_cast<std::uint32_t>(files.size());
        in.bytesToProcess = bytes;
        // Most files here are in no group; the remaining-copy check of moves
        // has its own test.
        in.allowWholeGroups = true;
        return in;
    }

    // Runs a worker to its end on its own thread; prepare sees it before it
    // starts (to cancel it or to hand it to a hook).
    TCopyCounters Run(TCopyInputs in, const std::function<void(TCopyThread&)>& prepare = {}) {
        TCopyThread worker(store, std::move(in), logs, progress, nullptr, nullptr);
        if (prepare)
            prepare(worker);
        worker.Start();
        worker.WaitFor();
        aborted = worker.Aborted();
        return worker.Counters();
    }

    // The destination path of a source file rel.
    std::string Dest(const std::string& rel) const { return tree->Path("out") + tree->Path(rel); }

    std::vector<std::string> Lines(bool error) {
        std::vector<std::string> out;
        for (const TStrItem& item : (error ? logs.ErrorLines() : logs.FullLines()).Lines())
            out.push_back(EncodeFileName(item.text));
        return out;
    }
    // How many lines of the list contain text.
    int Count(bool error, const std::string& text) {
        const auto lines = Lines(error);
        return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const auto& l) {
            return l.find(text) != std::string::npos;
        }));
    }

    // A new tree and an empty store, for a table case that needs both.
    void Fresh() {
        tree = std::make_unique<TTempTree>();
        store.ClearForNewSearch();
        files.clear();
        bytes = 0;
    }

    std::unique_ptr<TTempTree> tree = std::make_unique<TTempTree>();
    TScanData store;
    TOperationLogs logs;
    TCopySafeProgress progress;
    std::vector<std::int32_t> files;
    std::uint64_t bytes = 0;
    bool aborted = false;
};

// ---- Helpers ----

TEST(CopyMoveHelpers, RelativeFolderAndRenamedName) {
    const struct {
        std::u16string in, out;
    } cases[] = {
        {u"/data/photos/", u"data/photos/"},
        {u"//srv//share///docs/", u"srv/share/docs/"},
        {u"/", u""},
        {u"/a:b*c?/", u"a:b*c?/"}, // only "/" is special on Linux
    };
    for (const auto& c : cases)
        EXPECT_EQ(RelativeSourceFolder(c.in), c.out) << ToUtf8(c.in);
    EXPECT_EQ(AutoRenamedName(u"photo.jpg", 1), u"photo.jpg[1-new]");
    EXPECT_EQ(AutoRenamedName(u"photo.jpg", 12), u"photo.jpg[12-new]");
}

TEST(CopyMoveHelpers, CreateFolderPath) {
    TTempTree t;
    t.File("file", "x");
    t.Dir("real");
    t.Symlink(t.Path("real"), "link");
    // madeLast: whether the folder itself is new, which lets the copy skip
    // looking for names already in it.
    bool made = false;
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("a/b/c/")), &made), 0);
    EXPECT_TRUE(S_ISDIR(StatOf(t.Path("a/b/c")).st_mode));
    EXPECT_TRUE(made);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("a/b/c/")), &made), 0); // exists already
    EXPECT_FALSE(made);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("a/b/")), &made), 0);
    EXPECT_FALSE(made);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("a/b/e//")), &made), 0);
    EXPECT_TRUE(made);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("link/d/")), &made), 0);
    EXPECT_TRUE(Exists(t.Path("real/d")));
    EXPECT_TRUE(made);
    // A level that is a file gives a clear error, whether last or inside.
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("file/"))), ENOTDIR);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("file/sub/"))), ENOTDIR);
    TFaultFs fs;
    fs.Fail(TFsOp::MakeDir, "locked", EACCES);
    TFaultFsInstall install(fs);
    EXPECT_EQ(CreateFolderPath(DecodeFileName(t.Path("locked/x/"))), EACCES);
    EXPECT_FALSE(Exists(t.Path("locked")));
}

// ---- Copies ----

TEST_F(CopyMoveTest, CopiesBelowTheRelativeSourceFolderWithTimesAndPermissions) {
    const TUmask umask(022);
    tree->File("src/a/x.txt", "first");
    tree->File("src/b/x.txt", "second, longer");
    tree->File("src/b/ro.txt", "read-only");
    ASSERT_EQ(::chmod(tree->Path("src/b/ro.txt").c_str(), 0444), 0);
    // Wider than the umask lets a new file be: the mode is set after creation.
    tree->File("src/b/shared.txt", "for all");
    ASSERT_EQ(::chmod(tree->Path("src/b/shared.txt").c_str(), 0666), 0);
    // A time with nanoseconds and an access time of its own.
    const timespec times[2] = {{1'600'000'000, 123'456'789}, {1'500'000'000, 987'654'321}};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree->Path("src/a/x.txt").c_str(), times, 0), 0);
    AddReal("src/a/x.txt");
    AddReal("src/b/x.txt");
    AddReal("src/b/ro.txt");
    AddReal("src/b/shared.txt");

    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, false));

    // Stat before reading: reading may move the access time.
    const struct stat copy = StatOf(Dest("src/a/x.txt"));
    EXPECT_EQ(copy.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(copy.st_mtim.tv_nsec, times[1].tv_nsec);
    EXPECT_EQ(copy.st_atim.tv_sec, times[0].tv_sec);
    EXPECT_EQ(copy.st_atim.tv_nsec, times[0].tv_nsec);
    EXPECT_EQ(ReadAll(Dest("src/a/x.txt")), "first");
    EXPECT_EQ(ReadAll(Dest("src/b/x.txt")), "second, longer");
    EXPECT_EQ(ReadAll(tree->Path("src/a/x.txt")), "first"); // sources stay
    EXPECT_EQ(StatOf(Dest("src/b/ro.txt")).st_mode & 0777, 0444u);
    EXPECT_EQ(StatOf(Dest("src/b/x.txt")).st_mode & 0777, 0644u);
    EXPECT_EQ(StatOf(Dest("src/b/shared.txt")).st_mode & 0777, 0666u);
    EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());

    EXPECT_EQ(c.processedCount, 4u);
    EXPECT_EQ(c.doneCount, 4u);
    EXPECT_EQ(c.doneBytes, bytes);
    EXPECT_EQ(c.processedBytes, bytes);
    EXPECT_EQ(c.failedCount, 0);
    EXPECT_FALSE(aborted);
    EXPECT_EQ(progress.phase, kPhaseCompleted);
    EXPECT_EQ(progress.processed, 4u);
    EXPECT_EQ(Count(false, " - Ok Copying: '" + tree->Path("src/a/x.txt") + "' (5 bytes) -> '" +
                               Dest("src/a/x.txt") + "'"),
              1);
    EXPECT_EQ(Count(false, "*** Copying information ***"), 1);
    EXPECT_EQ(Count(false, "File copying was finished at "), 1);
    EXPECT_TRUE(Lines(true).empty()); // no failure, no error log
    EXPECT_FALSE(store.File(0).m_removed);
}

TEST_F(CopyMoveTest, CollisionRules) {
    struct TCase {
        TCollisionRule rule;
        bool move;
    };
    for (const TCase& tc :
         {TCase{TCollisionRule::Skip, false}, TCase{TCollisionRule::Skip, true},
          TCase{TCollisionRule::AutoRename, false}, TCase{TCollisionRule::AutoRename, true},
          TCase{TCollisionRule::Overwrite, false}, TCase{TCollisionRule::Overwrite, true}}) {
        SCOPED_TRACE(static_cast<int>(tc.rule) * 2 + tc.move);
        Fresh();
        tree->File("src/x.txt", "new");
        AddReal("src/x.txt");
        tree->File("out" + tree->Path("src/x.txt"), "old");
        ASSERT_EQ(::chmod(Dest("src/x.txt").c_str(), 0444), 0); // a read-only destination
        const TCopyCounters c = Run(Inputs(tc.rule, tc.move, 0));
        const std::string verb = tc.move ? "move" : "copy";
        switch (tc.rule) {
        case TCollisionRule::Skip:
            EXPECT_EQ(ReadAll(Dest("src/x.txt")), "old");
            EXPECT_EQ(ReadAll(tree->Path("src/x.txt")), "new");
            EXPECT_EQ(c.doneCount, 0u);
            EXPECT_EQ(c.failedCount, 0);
            EXPECT_EQ(c.processedCount, 1u);
            EXPECT_EQ(Count(false, " - Skip " + verb + ": '" + tree->Path("src/x.txt") +
                                       "' (3 bytes) -> '" + Dest("src/x.txt") + "'"),
                      1);
            EXPECT_FALSE(store.File(0).m_removed); // stays listed
            break;
        case TCollisionRule::AutoRename:
            EXPECT_EQ(ReadAll(Dest("src/x.txt")), "old");
            EXPECT_EQ(ReadAll(Dest("src/x.txt[1-new]")), "new");
            EXPECT_EQ(c.doneCount, 1u);
            EXPECT_EQ(Count(false, tc.move ? " - Move and rename: '" : " - Copy and rename: '"), 1);
            EXPECT_EQ(Count(false, "-> '" + Dest("src/x.txt[1-new]") + "'"), 1);
            EXPECT_EQ(Exists(tree->Path("src/x.txt")), !tc.move);
            break;
        case TCollisionRule::Overwrite:
            EXPECT_EQ(ReadAll(Dest("src/x.txt")), "new");
            EXPECT_EQ(c.doneCount, 1u);
            EXPECT_EQ(Count(false, tc.move ? " - Ok Moving: '" : " - Ok Copying: '"), 1);
            EXPECT_EQ(Exists(tree->Path("src/x.txt")), !tc.move);
            break;
        }
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
        EXPECT_TRUE(Lines(true).empty());
    }
}

TEST_F(CopyMoveTest, AutorenameCountsUp) {
    tree->File("src/x.txt", "third");
    AddReal("src/x.txt");
    tree->File("out" + tree->Path("src/x.txt"), "first");
    tree->File("out" + tree->Path("src/x.txt[1-new]"), "second");
    Run(Inputs(TCollisionRule::AutoRename, false));
    EXPECT_EQ(ReadAll(Dest("src/x.txt")), "first");
    EXPECT_EQ(ReadAll(Dest("src/x.txt[1-new]")), "second");
    EXPECT_EQ(ReadAll(Dest("src/x.txt[2-new]")), "third");
}

TEST_F(CopyMoveTest, ExistingTempNamedFileIsNeverTruncated) {
    // The temporary name is used where unnamed files are refused, and on the
    // way to an overwrite.
    for (const bool unnamedRefused : {true, false}) {
        SCOPED_TRACE(unnamedRefused ? "no unnamed files" : "overwrite");
        Fresh();
        tree->File("src/x.txt", "data");
        AddReal("src/x.txt");
        tree->File("out" + tree->Path("src/~tmp~x.txt"), "the user's own file");
        if (!unnamedRefused)
            tree->File("out" + tree->Path("src/x.txt"), "older");
        TFaultFs fs;
        if (unnamedRefused)
            fs.Fail(TFsOp::OpenAt, Dest("src") + "/.", EOPNOTSUPP);
        TFaultFsInstall install(fs);
        const TCopyCounters c =
            Run(Inputs(unnamedRefused ? TCollisionRule::Skip : TCollisionRule::Overwrite, false));
        EXPECT_EQ(c.doneCount, 1u);
        EXPECT_EQ(ReadAll(Dest("src/x.txt")), "data");
        EXPECT_EQ(ReadAll(Dest("src/~tmp~x.txt")), "the user's own file");
        EXPECT_EQ(TempFilesBelow(tree->Path("out")).size(), 1u);
    }
}

// The copy has no name in the destination folder until it is complete, so
// that not even a killed process leaves a partial file; where the file
// system has no unnamed files, or no call can give one a name, a named
// temporary file does the same short of a kill.
TEST_F(CopyMoveTest, CopyHasNoNameUntilComplete) {
    struct TCase {
        const char* what;
        std::vector<TFaultRule> rules; // pathPart "TMP": the unnamed file
        bool namedWhileCopying;
    };
    auto rule = [](TFsOp op, std::string part, int error, int times = -1) {
        TFaultRule r;
        r.op = op;
        r.pathPart = std::move(part);
        r.error = error;
        r.times = times;
        return r;
    };
    const TCase cases[] = {
        {"unnamed file linked by its descriptor", {}, false},
        // As for a user without the capability to link by descriptor.
        {"linked through /proc", {rule(TFsOp::Link, "TMP", ENOENT)}, false},
        {"no unnamed files on this file system", {rule(TFsOp::OpenAt, "TMP", EOPNOTSUPP)}, true},
        {"a kernel without unnamed files", {rule(TFsOp::OpenAt, "TMP", EISDIR)}, true},
        // Neither link works: the file is copied again, through a name.
        {"no way to link", {rule(TFsOp::Link, "", ENOENT, 2)}, true},
    };
    const std::string big(700'000, 'u');
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        Fresh();
        tree->File("src/big.bin", big);
        tree->File("src/small.txt", "small");
        AddReal("src/big.bin");
        AddReal("src/small.txt");
        THookFs fs;
        for (TFaultRule r : tc.rules) {
            if (r.pathPart == "TMP")
                r.pathPart = Dest("src") + "/.";
            fs.Add(r);
        }
        // What the folder holds while big.bin is written, before it is put
        // in place.
        std::vector<std::vector<std::string>> seen;
        fs.hook = [&](TFsOp op, const std::string&) {
            if (op == TFsOp::CopyFileRange && !Exists(Dest("src/big.bin")))
                seen.push_back(Names(tree->Path("out") + tree->Path("src")));
        };
        TCopyCounters c;
        {
            TFaultFsInstall install(fs);
            c = Run(Inputs(TCollisionRule::Skip, false));
        }
        ASSERT_FALSE(seen.empty());
        bool named = false;
        for (const auto& names : seen) {
            for (const std::string& name : names) {
                EXPECT_EQ(name, "~tmp~big.bin");
                named = true;
            }
        }
        EXPECT_EQ(named, tc.namedWhileCopying);
        EXPECT_EQ(ReadAll(Dest("src/big.bin")), big);
        EXPECT_EQ(ReadAll(Dest("src/small.txt")), "small");
        EXPECT_EQ(c.doneCount, 2u);
        EXPECT_EQ(c.doneBytes, big.size() + 5);
        EXPECT_EQ(c.processedBytes, big.size() + 5);
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
    }
}

TEST_F(CopyMoveTest, DestinationThatIsTheSourceItselfIsNeverOverwritten) {
    // out/<relative source folder> leads back to the source folder.
    tree->File("src/x.txt", "precious");
    AddReal("src/x.txt");
    const std::string rel = tree->Path("src").substr(1);
    tree->Dir("out/" + rel.substr(0, rel.rfind('/')));
    tree->Symlink(tree->Path("src"), "out/" + rel);
    for (const bool move : {false, true}) {
        const TCopyCounters c = Run(Inputs(TCollisionRule::Overwrite, move));
        EXPECT_EQ(c.failedCount, 1);
        EXPECT_EQ(ReadAll(tree->Path("src/x.txt")), "precious");
        EXPECT_EQ(Count(true, "the destination is the source file itself"), 1);
        EXPECT_FALSE(store.File(0).m_removed);
    }
}

TEST_F(CopyMoveTest, NamesThatAreNotUtf8AreCopiedByteForByte) {
    const std::string folder = "src/f\xff\xfe";
    const std::string name = "n\x80\xc3.bin";
    tree->File(folder + "/" + name, "raw");
    AddReal(folder + "/" + name);
    for (const bool move : {false, true}) {
        if (move) {
            ASSERT_EQ(::unlink(Dest(folder + "/" + name).c_str()), 0);
        }
        const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, move, 0));
        EXPECT_EQ(c.doneCount, 1u);
        EXPECT_EQ(ReadAll(Dest(folder + "/" + name)), "raw");
        EXPECT_EQ(Exists(tree->Path(folder + "/" + name)), !move);
        // The log line carries the name in the lossless form, which goes back
        // to the same bytes.
        EXPECT_EQ(Count(false, "-> '" + Dest(folder + "/" + name) + "'"), 1);
    }
}

// ---- Moves ----

TEST_F(CopyMoveTest, MoveOnTheSameVolumeRenames) {
    tree->File("src/a.txt", "alpha");
    ASSERT_EQ(::chmod(tree->Path("src/a.txt").c_str(), 0444), 0);
    AddReal("src/a.txt");
    const ino_t inode = StatOf(tree->Path("src/a.txt")).st_ino;
    TFaultFs fs;
    TFaultFsInstall install(fs);
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true, 0));
    EXPECT_FALSE(Exists(tree->Path("src/a.txt")));
    EXPECT_EQ(StatOf(Dest("src/a.txt")).st_ino, inode); // the same file, renamed
    EXPECT_EQ(fs.Calls(TFsOp::CopyFileRange), 0);
    EXPECT_EQ(c.doneCount, 1u);
    EXPECT_EQ(c.doneBytes, 5u);
    EXPECT_EQ(Count(false, " - Ok Moving: '" + tree->Path("src/a.txt") + "' (5 bytes)"), 1);
    EXPECT_EQ(Count(false, "File moving was finished at "), 1);
}

TEST_F(CopyMoveTest, MovedFilesLeaveTheViews) {
    for (const char* folder : {"src/a/", "src/b/", "src/c/"})
        tree->File(std::string(folder) + "same.txt", "12345");
    AddReal("src/a/same.txt");
    AddReal("src/b/same.txt");
    AddReal("src/c/same.txt");
    RunGrouping(store); // sorts the file table: look the file up again
    const std::u16string movedFolder = DecodeFileName(tree->Path("src/b/"));
    std::int32_t moved = -1;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        if (store.FolderPathOfFile(i) == movedFolder)
            moved = static_cast<std::int32_t>(i);
    ASSERT_GE(moved, 0);
    files = {moved};
    bytes = 5;
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true, 0));
    EXPECT_EQ(c.doneCount, 1u);
    EXPECT_EQ(ReadAll(Dest("src/b/same.txt")), "12345");
    ASSERT_EQ(store.FileCount(), 2u);
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        EXPECT_NE(store.FolderPathOfFile(i), movedFolder);
    EXPECT_EQ(store.Counters(kViewSameSize).m_groupFiles, 2u);
    EXPECT_EQ(store.Counters(kViewSameSize).m_groupBytes, 10u);
}

TEST_F(CopyMoveTest, RunCutShortByAnExceptionStillClosesItsLogsAndViews) {
    for (const char* folder : {"src/a/", "src/b/"})
        tree->File(std::string(folder) + "same.txt", "12345");
    tree->File("src/b/zz.txt", "12345");
    AddReal("src/a/same.txt");
    AddReal("src/b/same.txt");
    AddReal("src/b/zz.txt");
    RunGrouping(store);
    const std::u16string movedFolder = DecodeFileName(tree->Path("src/b/"));
    files.clear();
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        if (store.FolderPathOfFile(i) == movedFolder)
            files.push_back(static_cast<std::int32_t>(i));
    ASSERT_EQ(files.size(), 2u);
    bytes = 10;
    // The second file's source is opened, then the run fails as a failed
    // allocation would.
    THookFs fs;
    fs.hook = [&](TFsOp op, const std::string& path) {
        if (op == TFsOp::OpenAt && path == "zz.txt")
            throw std::runtime_error("no memory");
    };
    TCopyCounters c;
    {
        TFaultFsInstall install(fs);
        c = Run(Inputs(TCollisionRule::Skip, true));
    }
    EXPECT_TRUE(aborted);
    EXPECT_EQ(progress.phase, kPhaseAborted);
    EXPECT_EQ(c.doneCount, 1u);
    EXPECT_EQ(ReadAll(Dest("src/b/same.txt")), "12345");
    EXPECT_EQ(ReadAll(tree->Path("src/b/zz.txt")), "12345");
    // The moved file left the views, the other one stayed.
    ASSERT_EQ(store.FileCount(), 2u);
    EXPECT_EQ(store.Counters(kViewSameSize).m_groupFiles, 2u);
    EXPECT_EQ(Count(false, "*** Moving information ***"), 1);
    EXPECT_EQ(Count(false, "File moving was aborted at "), 1);
    EXPECT_EQ(Count(false, " - Ok Moving: '" + tree->Path("src/b/same.txt")), 1);
    // Nothing failed: no error log, not even its header.
    EXPECT_TRUE(Lines(true).empty());
    EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
}

// Seen with deletion: the kept copy was removed by another program while
// the confirmation waited, and the marked copy went too. A move takes a file
// away only while a copy of its group stays, unless whole groups may go.
TEST_F(CopyMoveTest, MoveLeavesTheLastCopyInPlace) {
    struct TCase {
        const char* what;
        std::uint16_t destVolume; // 0: a rename, 1: a copy and a delete
        bool keptGoesBefore;      // the kept copy is removed before the run
        bool keptGoesDuring;      // ... while the moved file is copied
        bool allowWholeGroups;
        bool moved;
    };
    const TCase cases[] = {
        {"kept copy there, rename", 0, false, false, false, true},
        {"kept copy there, copy", 1, false, false, false, true},
        {"kept copy gone, rename", 0, true, false, false, false},
        {"kept copy gone, copy", 1, true, false, false, false},
        {"kept copy gone while copying", 1, false, true, false, false},
        {"kept copy gone, whole groups allowed", 1, true, false, true, true},
    };
    const std::string content(300'000, 'k');
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        Fresh();
        tree->File("r/clean/f.bin", content);
        tree->File("r/keep/f.bin", content);
        AddReal("r/clean/f.bin");
        AddReal("r/keep/f.bin");
        RunGrouping(store); // sorts the file table: look the file up again
        const std::u16string clean = DecodeFileName(tree->Path("r/clean/"));
        files.clear();
        for (std::uint32_t i = 0; i < store.FileCount(); ++i)
            if (store.FolderPathOfFile(i) == clean)
                files.push_back(static_cast<std::int32_t>(i));
        ASSERT_EQ(files.size(), 1u);
        bytes = content.size();
        if (tc.keptGoesBefore) {
            ASSERT_EQ(::unlink(tree->Path("r/keep/f.bin").c_str()), 0);
        }
        THookFs fs;
        fs.hook = [&](TFsOp op, const std::string&) {
            if (op == TFsOp::CopyFileRange && tc.keptGoesDuring)
                ::unlink(tree->Path("r/keep/f.bin").c_str());
        };
        TCopyInputs in = Inputs(TCollisionRule::Skip, true, tc.destVolume);
        in.view = kViewSameSize;
        in.allowWholeGroups = tc.allowWholeGroups;
        TCopyCounters c;
        {
            TFaultFsInstall install(fs);
            c = Run(std::move(in));
        }
        EXPECT_EQ(Exists(tree->Path("r/clean/f.bin")), !tc.moved);
        EXPECT_EQ(c.doneCount, tc.moved ? 1u : 0u);
        if (tc.moved) {
            EXPECT_EQ(ReadAll(Dest("r/clean/f.bin")), content);
        } else {
            EXPECT_EQ(ReadAll(tree->Path("r/clean/f.bin")), content);
            EXPECT_EQ(c.failedCount, 1);
            EXPECT_EQ(Count(true, " failed to move file '" + tree->Path("r/clean/f.bin") +
                                      "' -> '" + Dest("r/clean/f.bin") +
                                      "': " + ToUtf8(SystemErrorText(kErrorNoRemainingCopy))),
                      1);
            // Refused before anything was copied, unless the copy went
            // while it was made: it then stays beside the source.
            EXPECT_EQ(Exists(Dest("r/clean/f.bin")), tc.keptGoesDuring);
        }
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
    }
}

TEST_F(CopyMoveTest, MoveFallsBackToCopyAndDelete) {
    // Another volume, and the same volume with a rename the kernel refuses
    // (two mounts of one file system); read-only sources go too.
    for (const bool sameVolume : {false, true}) {
        SCOPED_TRACE(sameVolume);
        const std::string rel = sameVolume ? "src/same/b.bin" : "src/other/b.bin";
        tree->FileOfSize(rel, 300'000, 'b');
        ASSERT_EQ(::chmod(tree->Path(rel).c_str(), 0444), 0);
        files.clear();
        bytes = 0;
        AddReal(rel);
        TFaultFs fs;
        TFaultRule exdev;
        exdev.op = TFsOp::Rename;
        exdev.pathPart = tree->Path(rel);
        exdev.error = EXDEV;
        exdev.times = 1;
        if (sameVolume)
            fs.Add(exdev);
        TFaultFsInstall install(fs);
        const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true, sameVolume ? 0 : 1));
        fs.Clear();
        EXPECT_FALSE(Exists(tree->Path(rel)));
        EXPECT_EQ(ReadAll(Dest(rel)), std::string(300'000, 'b'));
        EXPECT_EQ(StatOf(Dest(rel)).st_mode & 0777, 0444u);
        EXPECT_EQ(c.doneCount, 1u);
        EXPECT_EQ(c.doneBytes, 300'000u);
        EXPECT_EQ(c.processedBytes, 300'000u);
        EXPECT_GE(fs.Calls(TFsOp::FSync), 1); // on the disk before the source goes
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
    }
}

TEST_F(CopyMoveTest, MoveWhoseSourceCannotBeDeletedKeepsBoth) {
    tree->File("src/a.txt", "alpha");
    AddReal("src/a.txt");
    TFaultFs fs;
    fs.Fail(TFsOp::Unlink, tree->Path("src/a.txt"), EACCES); // a read-only source folder
    TFaultFsInstall install(fs);
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true));
    EXPECT_EQ(ReadAll(tree->Path("src/a.txt")), "alpha");
    EXPECT_EQ(ReadAll(Dest("src/a.txt")), "alpha");
    EXPECT_EQ(c.failedCount, 1);
    EXPECT_EQ(c.doneCount, 0u);
    EXPECT_FALSE(store.File(0).m_removed);
    EXPECT_EQ(Count(true, " failed to move file '" + tree->Path("src/a.txt") + "' -> '" +
                              Dest("src/a.txt") + "': " + ToUtf8(SystemErrorText(EACCES))),
              1);
}

// ---- Failures ----

TEST_F(CopyMoveTest, FailedStepsLeaveNoTemporaryFileAndTheSourceIntact) {
    struct TCase {
        const char* what;
        // pathPart "SRC" stands for the source's path, "TMP" for the unnamed
        // temporary file of the copy.
        std::vector<TFaultRule> rules;
        int error;
        bool move;
    };
    auto rule = [](TFsOp op, std::string part, int error, int after = 0, int times = -1) {
        TFaultRule r;
        r.op = op;
        r.pathPart = std::move(part);
        r.error = error;
        r.after = after;
        r.times = times;
        return r;
    };
    const TCase cases[] = {
        {"disk full in the kernel copy",
         {rule(TFsOp::CopyFileRange, "TMP", ENOSPC, 1)},
         ENOSPC,
         false},
        {"disk full in a write",
         {rule(TFsOp::CopyFileRange, "", EXDEV), rule(TFsOp::Write, "TMP", ENOSPC, 1)},
         ENOSPC,
         true},
        {"read error",
         {rule(TFsOp::CopyFileRange, "", EOPNOTSUPP), rule(TFsOp::Read, "SRC", EIO, 1)},
         EIO,
         true},
        {"source cannot be opened", {rule(TFsOp::OpenAt, "SRC", EACCES, 0, 1)}, EACCES, false},
        {"read-only destination folder", {rule(TFsOp::OpenAt, "TMP", EACCES)}, EACCES, true},
        {"times refused", {rule(TFsOp::FUtimens, "TMP", EPERM)}, EPERM, false},
        {"permissions refused", {rule(TFsOp::FChmod, "TMP", EPERM)}, EPERM, true},
        {"sync fails", {rule(TFsOp::FSync, "TMP", EIO)}, EIO, true},
        {"close reports a late write error", {rule(TFsOp::Close, "TMP", EIO)}, EIO, false},
        {"temporary name refused", {rule(TFsOp::Link, "~tmp~big", EACCES)}, EACCES, false},
        {"final rename refused", {rule(TFsOp::Rename, "~tmp~big", EACCES)}, EACCES, true},
        {"named temporary file refused",
         {rule(TFsOp::OpenAt, "TMP", EOPNOTSUPP), rule(TFsOp::OpenAt, "~tmp~big", EACCES)},
         EACCES,
         false},
        {"named temporary file fails to sync",
         {rule(TFsOp::OpenAt, "TMP", EOPNOTSUPP), rule(TFsOp::FSync, "~tmp~big", EIO)},
         EIO,
         true},
    };
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        Fresh();
        const std::string src = tree->Path("src/big.bin");
        const std::string content(400'000, 'q');
        tree->File("src/big.bin", content);
        // In a folder of its own, so that the rules on the unnamed file of
        // big.bin do not touch it.
        tree->File("src/next/after.txt", "next");
        // Wider than the umask allows at creation, so the mode is changed.
        ASSERT_EQ(::chmod(src.c_str(), 0666), 0);
        AddReal("src/big.bin");
        AddReal("src/next/after.txt");
        TFaultFs fs;
        for (TFaultRule r : tc.rules) {
            if (r.pathPart == "SRC")
                r.pathPart = src;
            else if (r.pathPart == "TMP")
                r.pathPart = Dest("src") + "/.";
            fs.Add(r);
        }
        TCopyInputs in = Inputs(TCollisionRule::Overwrite, tc.move);
        const std::string dest = Dest("src/big.bin");
        // An older copy at the destination must survive the failure.
        tree->File("out" + src, "older copy");
        TCopyCounters c;
        {
            const TUmask umask(022);
            TFaultFsInstall install(fs);
            c = Run(std::move(in));
        }
        EXPECT_EQ(ReadAll(src), content);
        EXPECT_EQ(ReadAll(dest), "older copy");
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
        EXPECT_EQ(c.failedCount, 1);
        EXPECT_EQ(c.failedBytes, content.size());
        EXPECT_EQ(c.doneCount, 1u); // the run went on with the next file
        EXPECT_EQ(c.processedBytes, content.size() + 4);
        EXPECT_EQ(
            Count(true, std::string(tc.move ? " failed to move file '" : " failed to copy file '") +
                            src + "' -> '" + dest + "': " + ToUtf8(SystemErrorText(tc.error))),
            1);
        EXPECT_EQ(Count(true, "*** Copying errors ***") + Count(true, "*** Moving errors ***"), 1);
    }
}

TEST_F(CopyMoveTest, SourceFolderGoneSinceTheSearchFailsEachOfItsFiles) {
    for (const bool move : {false, true}) {
        SCOPED_TRACE(move ? "move" : "copy");
        Fresh();
        tree->File("src/gone/one.txt", "1");
        tree->File("src/gone/two.txt", "22");
        tree->File("src/kept/three.txt", "333");
        AddReal("src/gone/one.txt");
        AddReal("src/gone/two.txt");
        AddReal("src/kept/three.txt");
        ASSERT_EQ(::unlink(tree->Path("src/gone/one.txt").c_str()), 0);
        ASSERT_EQ(::unlink(tree->Path("src/gone/two.txt").c_str()), 0);
        ASSERT_EQ(::rmdir(tree->Path("src/gone").c_str()), 0);
        const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, move));
        EXPECT_EQ(c.processedCount, 3u);
        EXPECT_EQ(c.failedCount, 2);
        EXPECT_EQ(c.failedBytes, 3u);
        EXPECT_EQ(c.processedBytes, 6u);
        EXPECT_EQ(c.doneCount, 1u);
        EXPECT_EQ(ReadAll(Dest("src/kept/three.txt")), "333");
        for (const char* rel : {"src/gone/one.txt", "src/gone/two.txt"}) {
            EXPECT_EQ(Count(true, "'" + tree->Path(rel) + "' -> '" + Dest(rel) +
                                      "': " + ToUtf8(SystemErrorText(ENOENT))),
                      1);
        }
    }
}

TEST_F(CopyMoveTest, DestinationFoldersThatCannotBeMade) {
    tree->File("src/a/one.txt", "1");
    tree->File("src/a/two.txt", "2");
    tree->File("src/b/three.txt", "3");
    AddReal("src/a/one.txt");
    AddReal("src/a/two.txt");
    AddReal("src/b/three.txt");
    // A file holds the name of the folder src/a would need.
    tree->File("out" + tree->Path("src/a"), "in the way");
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, false));
    EXPECT_EQ(c.processedCount, 1u); // the files of src/a are neither counted nor logged
    EXPECT_EQ(c.doneCount, 1u);
    EXPECT_EQ(c.failedCount, 0);
    EXPECT_EQ(ReadAll(Dest("src/b/three.txt")), "3");
    const std::string line = " - Cannot create the destination folder: '" + Dest("src/a/") + "' " +
                             ToUtf8(SystemErrorText(ENOTDIR));
    EXPECT_EQ(Count(false, line), 1);
    EXPECT_EQ(Count(true, line), 1); // the error log is kept without a failed file
    EXPECT_EQ(Count(false, "one.txt"), 0);
    EXPECT_EQ(Count(true, "*** Copying information ***"), 1);
}

TEST_F(CopyMoveTest, MainDestinationThatCannotBeMadeTouchesNothing) {
    tree->File("src/a.txt", "a");
    AddReal("src/a.txt");
    tree->File("out", "a file named like the destination");
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true));
    EXPECT_EQ(c.processedCount, 0u);
    EXPECT_TRUE(Exists(tree->Path("src/a.txt")));
    EXPECT_EQ(Count(false, " - Cannot create the main destination folder: '" + tree->Path("out") +
                               "/' " + ToUtf8(SystemErrorText(ENOTDIR)) + "\r\n"),
              1);
    EXPECT_EQ(Count(true, "Cannot create the main destination folder"), 1);
}

// ---- Files changed since the search ----

TEST_F(CopyMoveTest, FilesChangedSinceTheSearchAreNeitherCopiedNorMoved) {
    struct TCase {
        const char* what;
        std::function<void(const TTempTree&)> change;
        int error;
    };
    const TCase cases[] = {
        {"grown", [](const TTempTree& t) { t.File("src/x.txt", "content plus"); },
         kErrorChangedSinceSearch},
        {"touched", [](const TTempTree& t) { t.SetMTime("src/x.txt", 1'234'567'890); },
         kErrorChangedSinceSearch},
        {"now a link",
         [](const TTempTree& t) {
             t.File("elsewhere", "content");
             ASSERT_EQ(::unlink(t.Path("src/x.txt").c_str()), 0);
             t.Symlink(t.Path("elsewhere"), "src/x.txt");
         },
         kErrorChangedSinceSearch},
        {"now a folder",
         [](const TTempTree& t) {
             ASSERT_EQ(::unlink(t.Path("src/x.txt").c_str()), 0);
             t.Dir("src/x.txt");
         },
         kErrorChangedSinceSearch},
        {"now a pipe",
         [](const TTempTree& t) {
             ASSERT_EQ(::unlink(t.Path("src/x.txt").c_str()), 0);
             ASSERT_EQ(::mkfifo(t.Path("src/x.txt").c_str(), 0644), 0);
         },
         kErrorChangedSinceSearch},
        {"now a socket",
         [](const TTempTree& t) {
             ASSERT_EQ(::unlink(t.Path("src/x.txt").c_str()), 0);
             const std::string path = t.Path("src/x.txt");
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             ASSERT_LT(path.size(), sizeof(address.sun_path));
             path.copy(address.sun_path, path.size());
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             ASSERT_GE(fd, 0);
             EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
             ::close(fd); // the socket file stays
         },
         kErrorChangedSinceSearch},
        {"gone", [](const TTempTree& t) { ASSERT_EQ(::unlink(t.Path("src/x.txt").c_str()), 0); },
         ENOENT},
        // Seen: a look-alike of the same size with the original's last-write
        // time (touch -r) was acted on.
        {"replaced by a look-alike",
         [](const TTempTree& t) {
             t.File("src/other", "CONTENT");
             t.SetMTime("src/other", 1'000'000'000);
             ASSERT_EQ(::rename(t.Path("src/other").c_str(), t.Path("src/x.txt").c_str()), 0);
         },
         kErrorChangedSinceSearch},
        // Seen: a source folder replaced by a link before the run; the file
        // behind the link was moved away and reported as a success.
        {"its folder replaced by a link",
         [](const TTempTree& t) {
             t.File("elsewhere/x.txt", "content");
             t.SetMTime("elsewhere/x.txt", 1'000'000'000);
             ASSERT_EQ(::rename(t.Path("src").c_str(), t.Path("moved").c_str()), 0);
             t.Symlink(t.Path("elsewhere"), "src");
         },
         kErrorFolderChanged},
        {"its folder replaced by another",
         [](const TTempTree& t) {
             ASSERT_EQ(::rename(t.Path("src").c_str(), t.Path("moved").c_str()), 0);
             t.File("src/x.txt", "content");
             t.SetMTime("src/x.txt", 1'000'000'000);
         },
         kErrorFolderChanged},
    };
    for (const TCase& tc : cases) {
        for (const std::uint16_t destVolume : {0, 1}) { // rename move, copy move
            for (const bool move : {false, true}) {
                SCOPED_TRACE(std::string(tc.what) + (move ? " move" : " copy") +
                             std::to_string(destVolume));
                Fresh();
                tree->File("src/x.txt", "content");
                tree->SetMTime("src/x.txt", 1'000'000'000);
                AddReal("src/x.txt");
                tc.change(*tree);
                struct stat before {};
                const bool existed = ::lstat(tree->Path("src/x.txt").c_str(), &before) == 0;
                const TCopyCounters c = Run(Inputs(TCollisionRule::Overwrite, move, destVolume));
                EXPECT_EQ(c.failedCount, 1);
                EXPECT_FALSE(Exists(Dest("src/x.txt")));
                EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
                struct stat after {};
                EXPECT_EQ(::lstat(tree->Path("src/x.txt").c_str(), &after) == 0, existed);
                if (existed) {
                    EXPECT_EQ(after.st_ino, before.st_ino);
                }
                EXPECT_EQ(Count(true, ToUtf8(SystemErrorText(tc.error))), 1);
                EXPECT_FALSE(store.File(0).m_removed);
                // What stands behind a swapped folder stays where it is.
                if (Exists(tree->Path("elsewhere/x.txt"))) {
                    EXPECT_EQ(ReadAll(tree->Path("elsewhere/x.txt")), "content");
                }
                if (Exists(tree->Path("moved/x.txt"))) {
                    EXPECT_EQ(ReadAll(tree->Path("moved/x.txt")), "content");
                }
            }
        }
    }
}

// Folders may move while the run is paused: after a pause the source folder
// is opened from the search root again, before the next file and before a
// move deletes the source it was copying.
TEST_F(CopyMoveTest, FolderSwappedWhilePausedFailsItsRemainingFiles) {
    struct TCase {
        const char* what;
        bool move;
        TFsOp op; // the pause comes after this call on one.bin
        bool oneDone;
    };
    const TCase cases[] = {
        {"copy, between two files", false, TFsOp::Link, true},
        {"move, between two files", true, TFsOp::Link, true},
        {"move, while the file is copied", true, TFsOp::CopyFileRange, false},
    };
    for (const TCase& tc : cases) {
        SCOPED_TRACE(tc.what);
        Fresh();
        tree->File("src/a/one.bin", "1");
        tree->File("src/a/two.txt", "22");
        tree->File("elsewhere/one.bin", "1");
        tree->File("elsewhere/two.txt", "22");
        AddReal("src/a/one.bin");
        AddReal("src/a/two.txt");
        THookFs fs;
        TCopyThread* worker = nullptr;
        bool swapped = false;
        fs.hook = [&](TFsOp op, const std::string& path) {
            if (swapped || op != tc.op || (op == TFsOp::Link && path != "one.bin"))
                return;
            swapped = true;
            // As the progress window asking "abort?" does, with the tree
            // changed before the answer.
            worker->Pause();
            ASSERT_EQ(::rename(tree->Path("src/a").c_str(), tree->Path("moved").c_str()), 0);
            tree->Symlink(tree->Path("elsewhere"), "src/a");
            worker->Resume();
        };
        TCopyCounters c;
        {
            TFaultFsInstall install(fs);
            c = Run(Inputs(TCollisionRule::Skip, tc.move), [&](TCopyThread& w) { worker = &w; });
        }
        ASSERT_TRUE(swapped);
        EXPECT_EQ(c.doneCount, tc.oneDone ? 1u : 0u);
        EXPECT_EQ(c.failedCount, tc.oneDone ? 1 : 2);
        EXPECT_FALSE(Exists(Dest("src/a/two.txt")));
        // Nothing behind the link is touched, and the moved folder keeps
        // what was not moved before the pause.
        EXPECT_EQ(ReadAll(tree->Path("elsewhere/one.bin")), "1");
        EXPECT_EQ(ReadAll(tree->Path("elsewhere/two.txt")), "22");
        EXPECT_EQ(ReadAll(tree->Path("moved/two.txt")), "22");
        EXPECT_EQ(Exists(tree->Path("moved/one.bin")), !(tc.move && tc.oneDone));
        EXPECT_EQ(Count(true, ToUtf8(SystemErrorText(kErrorFolderChanged))), tc.oneDone ? 1 : 2);
    }
}

TEST_F(CopyMoveTest, FileWrittenDuringTheCopyIsNotMoved) {
    tree->FileOfSize("src/big.bin", 1'000'000, 'a');
    AddReal("src/big.bin");
    THookFs fs;
    bool done = false;
    const std::string src = tree->Path("src/big.bin");
    fs.hook = [&](TFsOp op, const std::string&) {
        if (op != TFsOp::CopyFileRange || done)
            return;
        done = true;
        std::ofstream(src, std::ios::app) << "more"; // another program appends
    };
    TFaultFsInstall install(fs);
    const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, true));
    EXPECT_EQ(c.failedCount, 1);
    EXPECT_EQ(ReadAll(src).size(), 1'000'004u);
    EXPECT_FALSE(Exists(Dest("src/big.bin")));
    EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
    EXPECT_EQ(Count(true, "the file changed since the search"), 1);
}

TEST_F(CopyMoveTest, NameTakenWhileCopyingIsDecidedAgain) {
    for (const TCollisionRule rule : {TCollisionRule::Skip, TCollisionRule::AutoRename}) {
        tree->File("src/x.txt", "mine");
        files.clear();
        store.ClearForNewSearch();
        AddReal("src/x.txt");
        ::unlink(Dest("src/x.txt").c_str());
        ::unlink(Dest("src/x.txt[1-new]").c_str());
        THookFs fs;
        fs.hook = [&](TFsOp op, const std::string& path) {
            if (op == TFsOp::OpenAt && path == kUnnamed)
                tree->File("out" + tree->Path("src/x.txt"), "theirs");
        };
        TFaultFsInstall install(fs);
        const TCopyCounters c = Run(Inputs(rule, false));
        EXPECT_EQ(ReadAll(Dest("src/x.txt")), "theirs");
        EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
        if (rule == TCollisionRule::Skip) {
            EXPECT_EQ(c.doneCount, 0u);
        } else {
            EXPECT_EQ(ReadAll(Dest("src/x.txt[1-new]")), "mine");
            EXPECT_EQ(c.doneCount, 1u);
        }
    }
}

// ---- Cancel ----

TEST_F(CopyMoveTest, CancelAtEachStageLeavesNoPartialFile) {
    struct TCase {
        const char* what;
        bool beforeStart;
        TFsOp op;
        std::string pathPart; // empty: any call of op
        bool bigDone;         // the first file was finished before the cancel
    };
    const TCase cases[] = {
        {"before the first file", true, TFsOp::OpenAt, "-", false},
        {"after the source was opened", false, TFsOp::OpenAt, "big.bin", false},
        {"after the temporary file was made", false, TFsOp::OpenAt, kUnnamed, false},
        {"during the copy", false, TFsOp::CopyFileRange, "", false},
        {"between two files", false, TFsOp::Link, "big.bin", true},
    };
    const std::string big(1'000'000, 'z');
    for (const bool move : {false, true}) {
        for (const TCase& tc : cases) {
            SCOPED_TRACE(std::string(tc.what) + (move ? " move" : " copy"));
            Fresh();
            tree->File("src/big.bin", big);
            tree->File("src/small.txt", "one");
            AddReal("src/big.bin");
            AddReal("src/small.txt");
            THookFs fs;
            TCopyThread* worker = nullptr;
            fs.hook = [&](TFsOp op, const std::string& path) {
                if (op == tc.op &&
                    (tc.pathPart.empty() || path.find(tc.pathPart) != std::string::npos))
                    worker->Terminate();
            };
            TFaultFsInstall install(fs);
            const TCopyCounters c = Run(Inputs(TCollisionRule::Skip, move), [&](TCopyThread& w) {
                worker = &w;
                if (tc.beforeStart)
                    w.Terminate();
            });
            EXPECT_TRUE(aborted);
            EXPECT_EQ(progress.phase, kPhaseAborted);
            EXPECT_EQ(c.doneCount, tc.bigDone ? 1u : 0u);
            EXPECT_EQ(c.failedCount, 0);
            EXPECT_EQ(c.processedBytes, tc.bigDone ? big.size() : 0u);
            EXPECT_TRUE(TempFilesBelow(tree->Path("out")).empty());
            EXPECT_EQ(Exists(Dest("src/big.bin")), tc.bigDone);
            if (tc.bigDone) {
                EXPECT_EQ(ReadAll(Dest("src/big.bin")), big);
            }
            EXPECT_EQ(Exists(tree->Path("src/big.bin")), !(tc.bigDone && move));
            if (!tc.bigDone || !move) {
                EXPECT_EQ(ReadAll(tree->Path("src/big.bin")), big);
            }
            EXPECT_FALSE(Exists(Dest("src/small.txt")));
            EXPECT_EQ(ReadAll(tree->Path("src/small.txt")), "one");
            EXPECT_EQ(
                Count(false, move ? "File moving was aborted at " : "File copying was aborted at "),
                1);
            EXPECT_EQ(
                Count(false, move ? "*** Moving information ***" : "*** Copying information ***"),
                1);
            // The interrupted file is not reported.
            EXPECT_EQ(Count(false, "big.bin"), tc.bigDone ? 1 : 0);
        }
    }
}

// ---- The waiter ----

TEST_F(CopyMoveTest, WaiterRunsPausesAndReports) {
    tree->File("src/a.txt", "a");
    tree->File("src/b.txt", "b");
    AddReal("src/a.txt");
    AddReal("src/b.txt");
    TMessageQueue window;
    TMutexCaller caller;
    TRunCopyThread waiter;
    waiter.Pause(); // nothing runs: nothing happens
    EXPECT_EQ(progress.pauseStart, 0);

    // Paused before it starts: the worker waits at its first check.
    auto worker = std::make_unique<TCopyThread>(store, Inputs(TCollisionRule::Skip, false), logs,
                                                progress, &window, &caller);
    worker->Pause();
    ASSERT_TRUE(waiter.Start(std::move(worker), progress, &window));
    EXPECT_TRUE(waiter.Running());
    auto second =
        std::make_unique<TCopyThread>(store, TCopyInputs{}, logs, progress, &window, &caller);
    EXPECT_FALSE(waiter.Start(std::move(second), progress, &window)); // one run at a time
    waiter.Pause();
    ::usleep(20'000);
    waiter.Resume();
    {
        auto lock = caller.Lock();
        EXPECT_GT(progress.pauseStart, 0);
        EXPECT_GE(progress.resume, progress.pauseStart);
        EXPECT_GT(progress.pausedTotal, 0);
    }
    std::vector<std::uint32_t> codes;
    TPostedMessage message;
    while (window.Take(message, kWaitMs)) {
        codes.push_back(message.code);
        if (message.code == kMsgCopyWaiterDone)
            break;
    }
    waiter.Finished();
    EXPECT_FALSE(waiter.Running());
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[codes.size() - 2], kMsgCopyWorkerEnded);
    EXPECT_EQ(codes.back(), kMsgCopyWaiterDone);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kMsgCopyProgress),
              static_cast<long>(codes.size() - 2));
    EXPECT_EQ(waiter.Counters().doneCount, 2u);
    EXPECT_FALSE(waiter.Aborted());
    EXPECT_EQ(ReadAll(Dest("src/b.txt")), "b");
    EXPECT_EQ(store.Operation().m_filesProcessed, 2u);
}

TEST_F(CopyMoveTest, WaiterCancelReleasesAPausedWorker) {
    tree->File("src/a.txt", "a");
    AddReal("src/a.txt");
    TMessageQueue window;
    TRunCopyThread waiter;
    auto worker = std::make_unique<TCopyThread>(store, Inputs(TCollisionRule::Skip, false), logs,
                                                progress, &window, nullptr);
    worker->Pause();
    ASSERT_TRUE(waiter.Start(std::move(worker), progress, &window));
    waiter.Terminate();
    waiter.Finished();
    EXPECT_TRUE(waiter.Aborted());
    EXPECT_EQ(waiter.Counters().processedCount, 0u);
    EXPECT_FALSE(Exists(Dest("src/a.txt")));
    EXPECT_EQ(Count(false, "File copying was aborted at "), 1);
}

} // namespace
} // namespace vdx
