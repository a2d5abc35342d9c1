#include "engine/VDX_unit_FolderScan.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_Drives.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"
#include "platform/VDX_unit_Volumes.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

// Copies a field of a packed record, which a reference could not bind to.
template <typename T>
T Val(T value) {
    return value;
}

std::unique_ptr<TSearchData> MakePath(const std::string& folder, bool subFolders = true) {
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(folder);
    path->bSubFolders = subFolders;
    return path;
}

struct TProtections {
    bool hidden = true;
    bool system = true;
    bool program = true;
    std::vector<std::u16string> systemFolders;
    std::vector<std::u16string> programFolders;
};

// Counts the calls the scan makes and can stop it after a number of folders.
class TRecordingControl : public TScanControl {
public:
    int continues = 0;
    int foldersDone = 0;
    int stopAfterFolders = -1;

    bool Continue() override {
        ++continues;
        return stopAfterFolders < 0 || foldersDone < stopAfterFolders;
    }
    void FolderDone() override { ++foldersDone; }
};

// One scan of a set into a fresh store, with the protected folders under the
// test's control so that no real system folder decides an outcome.
struct TScanResult {
    TScanData store;
    std::uint32_t foldersListed = 0;
    std::uint32_t filesAdded = 0;
    std::uint32_t pathsNotFound = 0;
    bool completed = false;

    // Paths of the files taken, relative to base ("" when outside it).
    std::set<std::string> Files(const std::string& base) const {
        std::set<std::string> files;
        for (std::uint32_t i = 0; i < store.FileCount(); ++i)
            files.insert(Relative(EncodeFileName(store.FullPath(i)), base));
        return files;
    }
    // Folder paths in table order, relative to base, each ending with "/".
    std::vector<std::string> Folders(const std::string& base) const {
        std::vector<std::string> folders;
        for (std::uint32_t i = 0; i < store.FolderCount(); ++i)
            folders.push_back(Relative(EncodeFileName(store.FolderPath(i)), base));
        return folders;
    }
    std::int64_t FileIndex(const std::string& name) const {
        for (std::uint32_t i = 0; i < store.FileCount(); ++i)
            if (EncodeFileName(store.FileName(i)) == name)
                return i;
        return -1;
    }

    static std::string Relative(const std::string& path, const std::string& base) {
        if (path.compare(0, base.size(), base) == 0)
            return path.substr(base.size());
        return path;
    }
};

std::unique_ptr<TScanResult> Scan(TSearchDataList& paths, const TProtections& protections = {},
                                  TScanControl* control = nullptr) {
    auto result = std::make_unique<TScanResult>();
    result->store.ClearForNewSearch();
    result->store.m_protectHiddenFolders = protections.hidden;
    result->store.m_protectSystemFolder = protections.system;
    result->store.m_protectProgramFolder = protections.program;
    for (std::size_t i = 0; i < paths.Count(); ++i)
        paths.Item(i)->Prepare();
    TFolderScan scan(result->store, paths, control);
    scan.SetProtectedFolders(protections.systemFolders, protections.programFolders);
    result->completed = scan.ScanAll();
    result->foldersListed = scan.FoldersListed();
    result->filesAdded = scan.FilesAdded();
    result->pathsNotFound = scan.PathsNotFound();
    return result;
}

std::unique_ptr<TScanResult> ScanOne(const std::string& folder, bool subFolders = true,
                                     const TProtections& protections = {}) {
    TSearchDataList paths;
    paths.AddOwned(MakePath(folder, subFolders));
    return Scan(paths, protections);
}

TEST(FolderScanTest, WalksBreadthFirstAndRecordsFoldersAndFiles) {
    TTempTree tree;
    tree.File("top.txt", "12345");
    tree.File("a/a1.txt", "x");
    tree.File("a/deep/d.txt");
    tree.File("b/b1.bin", "yy");
    tree.File(".hidden.txt", "h");
    tree.File("ro.txt", "r");
    ASSERT_EQ(::chmod(tree.Path("ro.txt").c_str(), 0444), 0);
    tree.SetMTime("top.txt", 1'600'000'000);

    const auto r = ScanOne(tree.Root());
    ASSERT_TRUE(r->completed);
    const std::string base = tree.Root() + "/";
    const std::vector<std::string> folders = r->Folders(base);
    // All folders of one depth before any deeper one; siblings in listing order.
    ASSERT_EQ(folders.size(), 4u);
    EXPECT_EQ(folders[0], "");
    EXPECT_EQ(std::set<std::string>(folders.begin() + 1, folders.begin() + 3),
              (std::set<std::string>{"a/", "b/"}));
    EXPECT_EQ(folders[3], "a/deep/");

    const TScanData& s = r->store;
    EXPECT_TRUE(Val(s.Folder(0).m_searchRoot));
    EXPECT_EQ(Val(s.Folder(0).m_parent), 0u);
    const std::uint32_t a = folders[1] == "a/" ? 1 : 2;
    EXPECT_FALSE(Val(s.Folder(a).m_searchRoot));
    EXPECT_EQ(Val(s.Folder(a).m_parent), 0u);
    EXPECT_EQ(Val(s.Folder(3).m_parent), a);
    EXPECT_EQ(Val(s.Folder(0).m_filesFound), 3u);
    EXPECT_EQ(Val(s.Folder(0).m_subFoldersAdded), 2u);
    EXPECT_EQ(Val(s.Folder(a).m_filesFound), 1u);
    EXPECT_EQ(Val(s.Folder(a).m_subFoldersAdded), 1u);
    EXPECT_EQ(s.FilesFoundSum(), 6u);
    EXPECT_EQ(s.SubFoldersAddedSum(), 3u);

    EXPECT_EQ(r->Files(base), (std::set<std::string>{"top.txt", "a/a1.txt", "a/deep/d.txt",
                                                     "b/b1.bin", ".hidden.txt", "ro.txt"}));
    EXPECT_EQ(r->foldersListed, 4u);
    EXPECT_EQ(r->filesAdded, 6u);
    EXPECT_EQ(r->pathsNotFound, 0u);

    const auto top = static_cast<std::uint32_t>(r->FileIndex("top.txt"));
    EXPECT_EQ(s.FileSize(top), 5u);
    EXPECT_EQ(s.FileLastWrite(top), (1'600'000'000LL + kUnixEpochOffsetSeconds) * 10'000'000LL);
    EXPECT_EQ(s.FileAttributes(top), kAttrArchive);
    EXPECT_EQ(Val(s.File(top).m_folder), 0u);
    EXPECT_EQ(s.FileVolume(top), kNoVolume);
    EXPECT_EQ(s.FileAttributes(static_cast<std::uint32_t>(r->FileIndex(".hidden.txt"))),
              kAttrArchive | kAttrHidden);
    EXPECT_EQ(s.FileAttributes(static_cast<std::uint32_t>(r->FileIndex("ro.txt"))),
              kAttrArchive | kAttrReadOnly);
}

TEST(FolderScanTest, AppliesThePathsFilters) {
    TTempTree tree;
    tree.FileOfSize("small.txt", 10);
    tree.FileOfSize("big.txt", 5000);
    tree.FileOfSize("big.log", 5000);
    tree.FileOfSize(".dot.txt", 10);
    tree.FileOfSize("Photos/p.txt", 10);
    tree.FileOfSize("Photos old/q.txt", 10);
    tree.FileOfSize("Other/r.txt", 10);
    tree.SetMTime("small.txt", 1'000'000'000); // 2001
    const std::string base = tree.Root() + "/";

    struct TCase {
        const char* name;
        void (*setup)(TSearchData&, const std::string& root);
        std::set<std::string> expected;
        std::uint64_t found = 7; // entries that are not folders, before any file filter
    };
    const std::vector<TCase> cases = {
        {"include mask",
         [](TSearchData& p, const std::string&) { p.fileFilter.FLT_Include = u"*.LOG"; },
         {"big.log"}},
        {"exclude mask",
         [](TSearchData& p, const std::string&) {
             p.fileFilter.FLT_Exclude = u"big*";
             p.fileFilter.FLT_bUseExclude = true;
         },
         {"small.txt", ".dot.txt", "Photos/p.txt", "Photos old/q.txt", "Other/r.txt"}},
        {"exclude mask switched off",
         [](TSearchData& p, const std::string&) { p.fileFilter.FLT_Exclude = u"*"; },
         {"small.txt", "big.txt", "big.log", ".dot.txt", "Photos/p.txt", "Photos old/q.txt",
          "Other/r.txt"}},
        {"size at least 4 Kb",
         [](TSearchData& p, const std::string&) {
             p.fileFilter.FLT_bUseSize = true;
             p.fileFilter.FLT_SizePos = kSizeMoreThanA;
             p.fileFilter.FLT_SizeA = 4;
             p.fileFilter.FLT_SizeDegreeA = kDegreeKb;
         },
         {"big.txt", "big.log"}},
        {"hidden files excluded by the attribute filter",
         [](TSearchData& p, const std::string&) {
             p.fileFilter.FLT_bUseAttr = true;
             p.fileFilter.FLT_Attr_ExcMask = kAttrHidden;
             p.fileFilter.FLT_Include = u"*.txt";
         },
         {"small.txt", "big.txt", "Photos/p.txt", "Photos old/q.txt", "Other/r.txt"}},
        {"older than 2010",
         [](TSearchData& p, const std::string&) {
             p.fileFilter.FLT_bUseDate = true;
             p.fileFilter.FLT_DatePos = kDateOlderThanA;
             p.fileFilter.FLT_DateTimeA = 40179.0; // 2010-01-01
         },
         {"small.txt"}},
        {"excluded folder also covers a longer name",
         [](TSearchData& p, const std::string& root) {
             p.folderFilter.Add(DecodeFileName(root + "/Photos"));
         },
         {"small.txt", "big.txt", "big.log", ".dot.txt", "Other/r.txt"},
         5},
        {"relative excluded folder anywhere",
         [](TSearchData& p, const std::string&) { p.folderFilter.Add(u"Other"); },
         {"small.txt", "big.txt", "big.log", ".dot.txt", "Photos/p.txt", "Photos old/q.txt"},
         6},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TSearchDataList paths;
        auto path = MakePath(tree.Root());
        c.setup(*path, tree.Root());
        paths.AddOwned(std::move(path));
        const auto r = Scan(paths);
        EXPECT_EQ(r->Files(base), c.expected);
        EXPECT_EQ(r->store.FilesFoundSum(), c.found);
    }
}

TEST(FolderScanTest, SubFolderSwitchOffTakesOnlyTheRootsFiles) {
    TTempTree tree;
    tree.File("one.txt");
    tree.File("sub/two.txt");
    const auto r = ScanOne(tree.Root(), false);
    EXPECT_EQ(r->store.FolderCount(), 1u);
    EXPECT_EQ(r->Files(tree.Root() + "/"), (std::set<std::string>{"one.txt"}));
    EXPECT_EQ(Val(r->store.Folder(0).m_subFoldersAdded), 0u);
}

TEST(FolderScanTest, ProtectionsSkipSubFoldersOnlyWhenSwitchedOn) {
    TTempTree tree;
    tree.File("root.txt");
    tree.File(".cache/c.txt");
    tree.File("sys/s.txt");
    tree.File("sysdata/sd.txt"); // the protected path is a plain prefix of it
    tree.File("apps/p.txt");
    tree.File("apps2/p2.txt");
    tree.File("home/h.txt");
    const std::string base = tree.Root() + "/";
    const std::u16string sys = DecodeFileName(tree.Path("sys"));
    const std::u16string apps = DecodeFileName(tree.Path("apps"));

    struct TCase {
        bool hidden, system, program;
        std::set<std::string> expected;
    };
    const std::set<std::string> all = {"root.txt",   "home/h.txt",     ".cache/c.txt", "sys/s.txt",
                                       "apps/p.txt", "sysdata/sd.txt", "apps2/p2.txt"};
    const std::vector<TCase> cases = {
        {false, false, false, all},
        {true,
         false,
         false,
         {"root.txt", "home/h.txt", "sys/s.txt", "sysdata/sd.txt", "apps/p.txt", "apps2/p2.txt"}},
        {false,
         true,
         false,
         {"root.txt", "home/h.txt", ".cache/c.txt", "apps/p.txt", "apps2/p2.txt"}},
        {false,
         false,
         true,
         {"root.txt", "home/h.txt", ".cache/c.txt", "sys/s.txt", "sysdata/sd.txt"}},
        {true, true, true, {"root.txt", "home/h.txt"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "hidden " << c.hidden << " system " << c.system
                                        << " program " << c.program);
        TProtections p;
        p.hidden = c.hidden;
        p.system = c.system;
        p.program = c.program;
        p.systemFolders = {sys};
        p.programFolders = {apps};
        const auto r = ScanOne(tree.Root(), true, p);
        EXPECT_EQ(r->Files(base), c.expected);
    }

    // A search path that is itself hidden or protected is still listed.
    TProtections p;
    p.systemFolders = {sys};
    tree.File("sys/inner/i.txt");
    tree.File(".cache/.deeper/x.txt");
    const auto inSystem = ScanOne(tree.Path("sys"), true, p);
    EXPECT_EQ(inSystem->Files(base), (std::set<std::string>{"sys/s.txt"}));
    const auto hiddenRoot = ScanOne(tree.Path(".cache"), true, p);
    EXPECT_EQ(hiddenRoot->Files(base), (std::set<std::string>{".cache/c.txt"}));
}

TEST(FolderScanTest, MissingPathIsCountedAndTheNextOneScanned) {
    TTempTree tree;
    tree.File("here/f.txt");
    tree.File("plain.txt");
    TSearchDataList paths;
    paths.AddOwned(MakePath(tree.Path("gone")));
    paths.AddOwned(MakePath(tree.Path("plain.txt"))); // a file is not a folder
    paths.AddOwned(MakePath(tree.Path("here")));
    const auto r = Scan(paths);
    EXPECT_TRUE(r->completed);
    EXPECT_EQ(r->pathsNotFound, 2u);
    EXPECT_EQ(r->Files(tree.Root() + "/"), (std::set<std::string>{"here/f.txt"}));
    ASSERT_EQ(r->store.FolderCount(), 1u);
    EXPECT_EQ(Val(r->store.Folder(0).m_searchPath), 2u);
}

TEST(FolderScanTest, PathWithEnvironmentReferenceIsExpanded) {
    TTempTree tree;
    tree.File("f.txt");
    ::setenv("VDX_SCAN_TEST_ROOT", tree.Root().c_str(), 1);
    TSearchDataList paths;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = u"%VDX_SCAN_TEST_ROOT%";
    paths.AddOwned(std::move(path));
    const auto r = Scan(paths);
    ::unsetenv("VDX_SCAN_TEST_ROOT");
    EXPECT_EQ(r->Files(tree.Root() + "/"), (std::set<std::string>{"f.txt"}));
    EXPECT_EQ(EncodeFileName(r->store.FolderPath(0)), tree.Root() + "/");
}

TEST(FolderScanTest, UnreadableOrVanishingEntriesAreSkippedQuietly) {
    TTempTree tree;
    tree.File("open/o.txt");
    tree.File("locked/l.txt");
    tree.File("locked/deeper/d.txt");
    tree.File("vanishing.txt");
    tree.File("stays.txt");
    TFaultFs fs;
    // Root is not stopped by permission bits, so the refusal is injected.
    fs.Fail(TFsOp::Open, "/locked", EACCES);
    fs.Fail(TFsOp::StatAt, "vanishing.txt", ENOENT);
    TFaultFsInstall install(fs);

    const auto r = ScanOne(tree.Root());
    EXPECT_TRUE(r->completed);
    EXPECT_EQ(r->Files(tree.Root() + "/"), (std::set<std::string>{"open/o.txt", "stays.txt"}));
    const std::vector<std::string> folders = r->Folders(tree.Root() + "/");
    ASSERT_EQ(folders.size(), 3u);
    for (std::uint32_t i = 0; i < folders.size(); ++i) {
        if (folders[i] == "locked/") {
            EXPECT_EQ(Val(r->store.Folder(i).m_filesFound), 0u);
            EXPECT_EQ(Val(r->store.Folder(i).m_subFoldersAdded), 0u);
        }
    }
    EXPECT_EQ(r->foldersListed, 3u);
}

TEST(FolderScanTest, FailedDirectoryReadYieldsNothing) {
    TTempTree tree;
    tree.File("a/one.txt");
    tree.File("b/two.txt");
    TFaultFs fs;
    fs.Fail(TFsOp::ReadDirEntries, "/a", EIO);
    TFaultFsInstall install(fs);
    const auto r = ScanOne(tree.Root());
    EXPECT_EQ(r->Files(tree.Root() + "/"), (std::set<std::string>{"b/two.txt"}));
}

// A listing whose records do not hold together ends where they break, as a
// failed read does: the names before stay, nothing is read past the break.
TEST(FolderScanTest, MalformedDirectoryRecordEndsThatFolderOnly) {
    // Breaks the third record of every listing with at least six: only the
    // folder "a" has that many entries.
    class TBreakingFs : public TFaultFs {
    public:
        int ReadDirEntries(int dirFd, void* buffer, std::size_t n, std::size_t& done) override {
            const int rc = TFaultFs::ReadDirEntries(dirFd, buffer, n, done);
            auto* bytes = static_cast<unsigned char*>(buffer);
            std::size_t offsets[6];
            std::size_t count = 0;
            for (std::size_t pos = 0; rc == 0 && pos + 19 < done && count < 6;) {
                offsets[count++] = pos;
                std::uint16_t length = 0;
                std::memcpy(&length, bytes + pos + 16, sizeof length);
                pos += length;
            }
            if (count == 6) {
                const std::uint16_t broken = 3; // shorter than the record's header
                std::memcpy(bytes + offsets[2] + 16, &broken, sizeof broken);
            }
            return rc;
        }
    };
    TTempTree tree;
    for (int i = 0; i < 5; ++i)
        tree.File("a/f" + std::to_string(i));
    tree.File("b/two.txt");
    TBreakingFs fs;
    TFaultFsInstall install(fs);
    const auto r = ScanOne(tree.Root());
    std::set<std::string> files = r->Files(tree.Root() + "/");
    EXPECT_EQ(files.erase("b/two.txt"), 1u);
    EXPECT_LE(files.size(), 2u);
    for (const std::string& file : files)
        EXPECT_EQ(file.rfind("a/f", 0), 0u) << file;
}

TEST(FolderScanTest, LinksPipesAndOtherEntriesAreCountedButNeverTaken) {
    TTempTree tree;
    tree.File("real/file.txt", "data");
    tree.File("other/o.txt");
    tree.Symlink(tree.Path("real/file.txt"), "link-to-file.txt");
    tree.Symlink(tree.Path("other"), "link-to-folder");
    tree.Symlink(tree.Path("nowhere"), "dangling");
    ASSERT_EQ(::mkfifo(tree.Path("pipe").c_str(), 0644), 0);

    const auto r = ScanOne(tree.Root());
    const std::string base = tree.Root() + "/";
    // Following a link would list the same file twice, as its own duplicate.
    EXPECT_EQ(r->Files(base), (std::set<std::string>{"real/file.txt", "other/o.txt"}));
    const std::vector<std::string> folders = r->Folders(base);
    EXPECT_EQ(std::set<std::string>(folders.begin(), folders.end()),
              (std::set<std::string>{"", "real/", "other/"}));
    // Three links and the pipe are entries of the root that are not folders.
    EXPECT_EQ(Val(r->store.Folder(0).m_filesFound), 4u);
}

TEST(FolderScanTest, SearchPathThatIsALinkIsListedOnceThroughEitherName) {
    TTempTree tree;
    tree.File("data/f.txt");
    tree.File("data/sub/g.txt");
    tree.Symlink(tree.Path("data"), "alias");

    // The user named the link: it is resolved and listed.
    const auto viaLink = ScanOne(tree.Path("alias"));
    EXPECT_EQ(viaLink->Files(tree.Root() + "/"),
              (std::set<std::string>{"alias/f.txt", "alias/sub/g.txt"}));

    // The same folder under two search paths is listed once, by the first.
    TSearchDataList paths;
    paths.AddOwned(MakePath(tree.Path("data")));
    paths.AddOwned(MakePath(tree.Path("alias")));
    paths.AddOwned(MakePath(tree.Path("data/sub"))); // already walked inside data
    const auto both = Scan(paths);
    EXPECT_EQ(both->Files(tree.Root() + "/"),
              (std::set<std::string>{"data/f.txt", "data/sub/g.txt"}));
    EXPECT_EQ(both->pathsNotFound, 0u);
    EXPECT_EQ(both->store.FolderCount(), 2u);
}

// A bind mount of a folder inside itself, removed again when the test ends.
class TBindMount {
public:
    TBindMount(const std::string& source, const std::string& target) : m_target(target) {
        m_mounted = ::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~TBindMount() {
        if (m_mounted)
            ::umount2(m_target.c_str(), MNT_DETACH);
    }
    TBindMount(const TBindMount&) = delete;
    TBindMount& operator=(const TBindMount&) = delete;
    bool Mounted() const { return m_mounted; }

private:
    std::string m_target;
    bool m_mounted = false;
};

TEST(FolderScanTest, FolderReachedAgainThroughABindMountIsNotListedAgain) {
    TTempTree tree;
    tree.File("top/f.txt");
    tree.Dir("top/loop");
    tree.File("twin-source/t.txt");
    tree.Dir("twin");
    TBindMount loop(tree.Path("top"), tree.Path("top/loop"));
    TBindMount twin(tree.Path("twin-source"), tree.Path("twin"));
    if (!loop.Mounted() || !twin.Mounted())
        GTEST_SKIP() << "bind mounts are not permitted here";

    const auto r = ScanOne(tree.Root());
    EXPECT_EQ(r->Files(tree.Root() + "/").size(), 2u);
    EXPECT_EQ(r->Files(tree.Root() + "/").count("top/f.txt"), 1u);
    // top, and one of twin / twin-source; the loop adds nothing.
    EXPECT_EQ(r->store.FolderCount(), 3u);
}

TEST(FolderScanTest, NamesThatAreNotUtf8KeepTheirBytes) {
    TTempTree tree;
    const std::vector<std::string> names = {
        std::string("bad\xff\xfe.txt"), std::string("latin1-caf\xe9"),
        std::string("\xe2\x82\xac uro.txt"), std::string("line\nbreak"),
        std::string("\xf0\x9f\x98\x80.png")};
    for (const std::string& n : names)
        tree.File("odd/" + n, "z");
    tree.File(std::string("dir\xc3(/inner.txt"), "z");

    const auto r = ScanOne(tree.Root());
    std::set<std::string> stored;
    for (std::uint32_t i = 0; i < r->store.FileCount(); ++i)
        stored.insert(EncodeFileName(r->store.FileName(i)));
    std::set<std::string> expected(names.begin(), names.end());
    expected.insert("inner.txt");
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(r->Files(tree.Root() + "/").count(std::string("dir\xc3(/inner.txt")), 1u);
}

// Builds a chain of folders whose full path is far beyond PATH_MAX, relative
// to descriptors because no single path can name the bottom, and removes it
// the same way.
class TDeepChain {
public:
    TDeepChain(const std::string& root, int levels, std::size_t nameLength)
        : m_root(root), m_name(nameLength, 'd') {
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < levels && fd >= 0; ++i) {
            ::mkdirat(fd, m_name.c_str(), 0755);
            const int next = ::openat(fd, m_name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            ++m_levels;
        }
        if (fd >= 0) {
            const int file = ::openat(fd, "bottom.txt", O_WRONLY | O_CREAT, 0644);
            m_ok = file >= 0 && ::write(file, "deep", 4) == 4;
            if (file >= 0)
                ::close(file);
            ::close(fd);
        }
    }
    ~TDeepChain() { Remove(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY), m_levels); }
    TDeepChain(const TDeepChain&) = delete;
    TDeepChain& operator=(const TDeepChain&) = delete;
    bool Ok() const { return m_ok; }
    const std::string& Name() const { return m_name; }

private:
    void Remove(int fd, int levels) {
        if (fd < 0)
            return;
        if (levels == 0) {
            ::unlinkat(fd, "bottom.txt", 0);
        } else {
            Remove(::openat(fd, m_name.c_str(), O_RDONLY | O_DIRECTORY), levels - 1);
            ::unlinkat(fd, m_name.c_str(), AT_REMOVEDIR);
        }
        ::close(fd);
    }

    std::string m_root;
    std::string m_name;
    int m_levels = 0;
    bool m_ok = false;
};

TEST(FolderScanTest, FolderDeeperThanThePathLimitIsListed) {
    TTempTree tree;
    tree.File("shallow.txt");
    TDeepChain chain(tree.Root(), 30, 200);
    ASSERT_TRUE(chain.Ok());

    const auto r = ScanOne(tree.Root());
    ASSERT_EQ(r->store.FolderCount(), 31u);
    const std::int64_t bottom = r->FileIndex("bottom.txt");
    ASSERT_GE(bottom, 0);
    const std::string path = EncodeFileName(r->store.FullPath(static_cast<std::uint32_t>(bottom)));
    EXPECT_GT(path.size(), static_cast<std::size_t>(PATH_MAX));
    EXPECT_EQ(r->store.FileSize(static_cast<std::uint32_t>(bottom)), 4u);
    EXPECT_EQ(r->filesAdded, 2u);
}

TEST(FolderScanTest, AsksForLeaveBeforeAndAfterEachFolderAndStopsWhenRefused) {
    TTempTree tree;
    for (const char* d : {"a", "b", "c", "d"})
        tree.File(std::string(d) + "/f.txt");

    TRecordingControl control;
    TSearchDataList paths;
    paths.AddOwned(MakePath(tree.Root()));
    auto r = Scan(paths, {}, &control);
    EXPECT_TRUE(r->completed);
    EXPECT_EQ(control.foldersDone, 5);
    EXPECT_EQ(control.continues, 10);

    TRecordingControl stopping;
    stopping.stopAfterFolders = 2;
    r = Scan(paths, {}, &stopping);
    EXPECT_FALSE(r->completed);
    EXPECT_EQ(r->foldersListed, 2u);
    EXPECT_EQ(stopping.foldersDone, 2);
}

// Makes chosen folders and files of a real tree look like mount points of
// their own devices, with a made-up mount table that lists them: every stat
// of a path at or below a fake mount point reports that mount's device.
class TFakeMountsFs : public TFileSystem {
public:
    TFakeMountsFs(std::string tablePath, std::map<std::string, dev_t> mounts)
        : m_tablePath(std::move(tablePath)), m_mounts(std::move(mounts)) {}

    int Open(const char* path, int flags, mode_t mode, int& fd) override {
        if (std::string_view(path) == "/proc/self/mountinfo")
            path = m_tablePath.c_str();
        return TFileSystem::Open(path, flags, mode, fd);
    }
    int Stat(const char* path, struct stat& st) override {
        return Faked(TFileSystem::Stat(path, st), Canonical(path), st);
    }
    int FStat(int fd, struct stat& st) override {
        return Faked(TFileSystem::FStat(fd, st), PathOfFd(fd), st);
    }
    int StatAt(int dirFd, const char* name, struct stat& st, int flags) override {
        return Faked(TFileSystem::StatAt(dirFd, name, st, flags), PathOfFd(dirFd) + "/" + name, st);
    }

    static std::string Canonical(const std::string& path) {
        char* full = ::realpath(path.c_str(), nullptr);
        std::string result = full != nullptr ? full : path;
        std::free(full);
        return result;
    }

private:
    static std::string PathOfFd(int fd) {
        char target[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
    }
    int Faked(int rc, const std::string& path, struct stat& st) const {
        if (rc != 0)
            return rc;
        std::size_t best = 0;
        for (const auto& [point, device] : m_mounts)
            if (point.size() > best && (path == point || path.starts_with(point + "/"))) {
                best = point.size();
                st.st_dev = device;
            }
        return rc;
    }

    std::string m_tablePath;
    std::map<std::string, dev_t> m_mounts;
};

// A folder tree in which ram/ stands for a tmpfs and ram/stick/ for a USB
// file system mounted inside it, and one file is bind-mounted from a third
// device, all below a search root on the made-up "/".
class FolderScanVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        m_tree.File("disk/a.txt", "a");
        m_tree.File("disk/sub/b.txt", "b");
        m_tree.File("disk/ram/r.txt", "r");
        m_tree.File("disk/ram/deep/s.txt", "s");
        m_tree.File("disk/ram/stick/u.txt", "u");
        m_tree.File("disk/bound.txt", "x");
        m_base = TFakeMountsFs::Canonical(m_tree.Path("disk"));
        const std::string table = "1 0 0:1 / / rw - ext4 /dev/fake rw\n"
                                  "2 1 0:901 / " +
                                  m_base +
                                  "/ram rw - tmpfs none rw\n"
                                  "3 2 0:902 / " +
                                  m_base +
                                  "/ram/stick rw - vfat none rw\n"
                                  "4 1 0:903 /x " +
                                  m_base + "/bound.txt rw - xfs none rw\n";
        m_tree.File("mountinfo", table);
        m_fs = std::make_unique<TFakeMountsFs>(
            m_tree.Path("mountinfo"),
            std::map<std::string, dev_t>{{m_base + "/ram", makedev(0, 901)},
                                         {m_base + "/ram/stick", makedev(0, 902)},
                                         {m_base + "/bound.txt", makedev(0, 903)}});
    }

    // The volume root of each file and folder record, by path below the base.
    std::map<std::string, std::string> Scan(TScanDrivesData& drives, bool withTable) {
        test::TFaultFsInstall install(*m_fs);
        TSearchDataList paths;
        paths.AddOwned(MakePath(m_base));
        paths.Item(0)->volumeIndex = drives.Register(DecodeFileName(m_base));
        paths.Item(0)->Prepare();
        m_store.ClearForNewSearch();
        m_store.m_protectHiddenFolders = false;
        m_store.m_protectSystemFolder = false;
        m_store.m_protectProgramFolder = false;
        TFolderScan scan(m_store, paths);
        scan.SetProtectedFolders({}, {});
        if (withTable)
            scan.SetVolumeTable(&drives);
        EXPECT_TRUE(scan.ScanAll());
        auto rootOf = [&](std::uint16_t volume) {
            return volume < drives.Count() ? EncodeFileName(drives.Item(volume).root)
                                           : std::string("none");
        };
        std::map<std::string, std::string> roots;
        for (std::uint32_t i = 0; i < m_store.FolderCount(); ++i)
            roots[EncodeFileName(m_store.FolderPath(i)).substr(m_base.size())] =
                rootOf(Val(m_store.Folder(i).m_volume));
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            roots[EncodeFileName(m_store.FullPath(i)).substr(m_base.size())] =
                rootOf(m_store.FileVolume(i));
        return roots;
    }

    TTempTree m_tree;
    std::string m_base;
    std::unique_ptr<TFakeMountsFs> m_fs;
    TScanData m_store;
};

TEST_F(FolderScanVolumes, EveryRecordCarriesTheMountThatHoldsIt) {
    TScanDrivesData drives;
    const auto roots = Scan(drives, true);
    const std::string ram = m_base + "/ram/";
    const std::string stick = m_base + "/ram/stick/";
    const std::map<std::string, std::string> expected = {
        {"/", "/"},
        {"/a.txt", "/"},
        {"/sub/", "/"},
        {"/sub/b.txt", "/"},
        {"/bound.txt", m_base + "/bound.txt/"},
        {"/ram/", ram},
        {"/ram/r.txt", ram},
        {"/ram/deep/", ram},
        {"/ram/deep/s.txt", ram},
        {"/ram/stick/", stick},
        {"/ram/stick/u.txt", stick},
    };
    EXPECT_EQ(roots, expected);
    ASSERT_EQ(drives.Count(), 4u);
    std::size_t ramVolume = 0;
    while (ramVolume < drives.Count() && drives.Item(ramVolume).root != DecodeFileName(ram))
        ++ramVolume;
    ASSERT_LT(ramVolume, drives.Count());
    EXPECT_EQ(drives.Item(ramVolume).fileSystem, u"tmpfs");
    EXPECT_EQ(drives.Item(ramVolume).driveType, kDriveRamDisk);
}

TEST_F(FolderScanVolumes, AMountWithoutARecordOfItsOwnHasNoVolume) {
    // A full table, and a scan that has no table at all: the files of the
    // other mounts must not borrow the volume (and so the trash verdict) of
    // the folder they are mounted in.
    for (bool withTable : {true, false}) {
        TScanDrivesData drives;
        const TVolumeIndex own = drives.Register(DecodeFileName(m_base));
        ASSERT_EQ(own, 0);
        while (withTable && drives.Count() < kMaxVolumes) {
            TScanDrivesItem filler;
            filler.root = u"/filler/" + FromUtf8(std::to_string(drives.Count())) + u"/";
            drives.Add(filler);
        }
        const auto roots = Scan(drives, withTable);
        EXPECT_EQ(roots.at("/sub/b.txt"), "/");
        for (const char* elsewhere :
             {"/ram/", "/ram/r.txt", "/ram/deep/s.txt", "/ram/stick/u.txt", "/bound.txt"})
            EXPECT_EQ(roots.at(elsewhere), "none") << elsewhere << (withTable ? " full" : " none");
        EXPECT_EQ(drives.Count(), withTable ? kMaxVolumes : 1u);
    }
}

// A real tmpfs inside the tree, where the test may mount one.
TEST(FolderScanTest, FilesOnAMountedTmpfsGetThatVolume) {
    TTempTree tree;
    tree.File("top.txt", "t");
    tree.Dir("ram");
    if (::mount("none", tree.Path("ram").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct TUnmount {
        std::string path;
        ~TUnmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{tree.Path("ram")};
    tree.File("ram/in.txt", "i");

    TScanDrivesData drives;
    TSearchDataList paths;
    paths.AddOwned(MakePath(tree.Root()));
    paths.Item(0)->volumeIndex = drives.Register(DecodeFileName(tree.Root()));
    paths.Item(0)->Prepare();
    TScanData store;
    store.ClearForNewSearch();
    TFolderScan scan(store, paths);
    scan.SetVolumeTable(&drives);
    ASSERT_TRUE(scan.ScanAll());
    ASSERT_EQ(store.FileCount(), 2u);
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        const std::string name = EncodeFileName(store.FileName(i));
        const std::uint16_t volume = store.FileVolume(i);
        ASSERT_LT(volume, drives.Count()) << name;
        if (name == "in.txt") {
            EXPECT_EQ(EncodeFileName(drives.Item(volume).root),
                      TFakeMountsFs::Canonical(tree.Path("ram")) + "/");
            EXPECT_EQ(drives.Item(volume).fileSystem, u"tmpfs");
        } else {
            EXPECT_NE(volume, store.FileVolume(i == 0 ? 1 : 0));
        }
    }
}

// References expand in the paths of a stored set, never in a final path,
// and an expansion too long to keep whole is no path at all: cut, this one
// would name the folder above the one meant.
TEST(FolderScanTest, ExpandsOnlyPathsThatAreNotFinalAndNeverCutsOne) {
    TTempTree tree;
    tree.File("real/r.txt");
    tree.File("%VDX_SCAN_DIR%/literal.txt");
    tree.File("parent/p.txt");
    test::TEnvGuard dir("VDX_SCAN_DIR", "real");
    const std::string parent = tree.Path("parent");
    test::TEnvGuard tooLong("VDX_SCAN_LONG",
                            parent + std::string(2000 - parent.size(), '/') + "child");
    struct TCase {
        std::string path;
        bool final;
        std::set<std::string> files;
        std::uint32_t notFound;
    };
    const TCase cases[] = {
        {tree.Path("%VDX_SCAN_DIR%"), false, {"real/r.txt"}, 0},
        {tree.Path("%VDX_SCAN_DIR%"), true, {"%VDX_SCAN_DIR%/literal.txt"}, 0},
        {"%VDX_SCAN_LONG%", false, {}, 1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path + (c.final ? " final" : ""));
        TSearchDataList paths;
        paths.AddOwned(MakePath(c.path));
        paths.Item(0)->pathsFinal = c.final;
        const auto r = Scan(paths);
        EXPECT_EQ(r->Files(tree.Root() + "/"), c.files);
        EXPECT_EQ(r->pathsNotFound, c.notFound);
    }
}

} // namespace
} // namespace vdx
