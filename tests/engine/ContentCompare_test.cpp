#include "engine/VDX_unit_ContentCompare.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_Grouping.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFaultRule;
using test::TFsOp;
using test::TTempTree;

using TGroups = std::set<std::set<std::string>>;

// Counts, per file name, the bytes read and the opens, and the descriptors
// held at once; faults come from the TFaultFs rules.
class TCountingFs : public TFaultFs {
public:
    int Open(const char* path, int flags, mode_t mode, int& fd) override {
        // A process or system limit on open files, as EMFILE or ENFILE.
        if (m_openLimit >= 0 && OpenNow() >= m_openLimit)
            return m_limitError;
        const int rc = TFaultFs::Open(path, flags, mode, fd);
        if (rc == 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_paths[fd] = NameOf(path);
            ++m_opens[NameOf(path)];
            m_peakOpen = std::max(m_peakOpen, ++m_openNow);
        }
        return rc;
    }
    int Read(int fd, void* buffer, std::size_t n, std::size_t& done) override {
        const int rc = TFaultFs::Read(fd, buffer, n, done);
        std::lock_guard<std::mutex> lock(m_mutex);
        if (rc == 0)
            m_bytes[m_paths[fd]] += done;
        return rc;
    }
    int Close(int fd) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_paths.erase(fd);
            --m_openNow;
        }
        return TFaultFs::Close(fd);
    }
    int Seek(int fd, std::uint64_t offset) override {
        if (m_failSeeks)
            return EIO;
        return TFaultFs::Seek(fd, offset);
    }

    std::uint64_t BytesOf(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytes[name];
    }
    int OpensOf(const std::string& name) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_opens[name];
    }
    int OpenNow() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_openNow;
    }
    int PeakOpen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_peakOpen;
    }
    bool m_failSeeks = false;
    int m_openLimit = -1; // -1: no limit
    int m_limitError = EMFILE;

private:
    static std::string NameOf(const char* path) {
        std::string p(path);
        return p.substr(p.rfind('/') + 1);
    }

    std::mutex m_mutex;
    std::map<int, std::string> m_paths;
    std::map<std::string, std::uint64_t> m_bytes;
    std::map<std::string, int> m_opens;
    int m_openNow = 0;
    int m_peakOpen = 0;
};

// Content of n bytes that depends on seed, so that different seeds differ
// early and equal seeds give equal files.
std::string Bytes(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

std::string WithByte(std::string s, std::size_t at, char c) {
    s[at] = c;
    return s;
}

// Scans the tree and groups it, as a completed search leaves the store.
void ScanAndGroup(TScanData& store, const std::string& root) {
    store.ClearForNewSearch();
    TSearchDataList paths;
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = DecodeFileName(root);
    paths.AddOwned(std::move(path));
    paths.Item(0)->Prepare();
    TFolderScan scan(store, paths);
    ASSERT_TRUE(scan.ScanAll());
    ASSERT_TRUE(RunGrouping(store));
    store.Status(kTestKey).m_searchDone = true;
}

std::string RelativePath(const TScanData& store, std::uint32_t file, const std::string& root) {
    std::string path = EncodeFileName(store.FullPath(file));
    return path.substr(root.size() + 1);
}

// The groups of a view as sets of paths relative to root.
TGroups GroupsOf(const TScanData& store, TViewKind view, const std::string& root) {
    std::map<std::int32_t, std::set<std::string>> byGroup;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        const std::int32_t g = store.FileGroup(i, view);
        if (g >= 0)
            byGroup[g].insert(RelativePath(store, i, root));
    }
    TGroups groups;
    for (auto& [g, members] : byGroup)
        groups.insert(members);
    return groups;
}

// A control that counts its calls and can stop the comparison at a chosen
// Continue call.
class TStopControl : public TCompareControl {
public:
    explicit TStopControl(int stopAt = -1) : m_stopAt(stopAt) {}
    bool Continue() override { return ++m_continues != m_stopAt; }
    void Progress() override { ++m_progress; }
    int m_continues = 0;
    int m_progress = 0;

private:
    int m_stopAt;
};

struct TFileSpec {
    std::string path;
    std::string content;
};

class ContentCompareTest : public testing::Test {
protected:
    void Make(const std::vector<TFileSpec>& files) {
        for (const TFileSpec& f : files)
            m_tree.File(f.path, f.content);
    }
    // Scans, then compares under the counting file system.
    bool Compare(TCompareControl* control = nullptr, std::uint32_t budget = 0) {
        ScanAndGroup(m_store, m_tree.Root());
        m_store.ClearContentResults();
        TFaultFsInstall install(m_fs);
        TContentCompare compare(m_store, control);
        if (budget != 0)
            compare.SetDescriptorBudget(budget);
        const bool completed = compare.CompareAll();
        m_counters = compare.Counters();
        m_stats = compare.Stats();
        if (completed)
            BuildContentViews(m_store);
        return completed;
    }
    TGroups Content() const { return GroupsOf(m_store, kViewSameContent, m_tree.Root()); }
    TGroups Clones() const { return GroupsOf(m_store, kViewFullClones, m_tree.Root()); }

    TTempTree m_tree;
    TScanData m_store;
    TCountingFs m_fs;
    TCompareCounters m_counters;
    TCompareStats m_stats;
};

TEST(CompareBufferSizeTest, SmallestOfSizeShareAndBlock) {
    EXPECT_EQ(CompareBufferSize(10, 2), 10u);
    EXPECT_EQ(CompareBufferSize(100000, 3), 32768u);
    EXPECT_EQ(CompareBufferSize(32768, 4096), 32768u);
    EXPECT_EQ(CompareBufferSize(1000000, 4097), 134217728u / 4097);
    EXPECT_EQ(CompareBufferSize(1000000, 200000), 671u);
    EXPECT_EQ(CompareBufferSize(0, 2), 1u);
    EXPECT_EQ(CompareBufferSize(5, 0xFFFFFFFFu), 1u);
}

TEST_F(ContentCompareTest, SplitsEachGroupIntoClassesOfIdenticalBytes) {
    const std::string big = Bytes(100000, 1);
    struct TCase {
        const char* name;
        std::vector<TFileSpec> files;
        TGroups content;
        TGroups clones;
        // Bytes each named file was read; empty: not checked.
        std::map<std::string, std::uint64_t> bytesRead;
    };
    const std::vector<TCase> cases = {
        {"two equal, one differing in its last byte",
         {{"a/one.bin", big}, {"b/two.bin", big}, {"c/three.bin", WithByte(big, 99999, 'x')}},
         {{"a/one.bin", "b/two.bin"}},
         {},
         {{"one.bin", 100000}, {"two.bin", 100000}, {"three.bin", 100000}}},
        {"four identical files, each read once",
         {{"a/f", big}, {"b/f", big}, {"c/f", big}, {"d/g", big}},
         {{"a/f", "b/f", "c/f", "d/g"}},
         {{"a/f", "b/f", "c/f"}},
         {{"f", 300000}, {"g", 100000}}},
        {"two pairs in one size group",
         {{"w", big},
          {"x", big},
          {"y", WithByte(big, 50000, 'q')},
          {"z", WithByte(big, 50000, 'q')}},
         {{"w", "x"}, {"y", "z"}},
         {},
         {}},
        {"differing in the first block: one block each",
         {{"p", Bytes(100000, 2)}, {"q", Bytes(100000, 3)}, {"r", Bytes(100000, 4)}},
         {},
         {},
         {{"p", 32768}, {"q", 32768}, {"r", 32768}}},
        {"one file set aside early, the pair read on",
         {{"k", big}, {"l", big}, {"m", WithByte(big, 40000, 'q')}},
         {{"k", "l"}},
         {},
         {{"k", 100000}, {"l", 100000}, {"m", 65536}}},
        {"ten-byte files: one block of ten bytes",
         {{"s", "0123456789"}, {"t", "0123456789"}},
         {{"s", "t"}},
         {},
         {{"s", 10}, {"t", 10}}},
        {"same name in two folders: content and clone group",
         {{"x/photo.jpg", "pixels"}, {"y/photo.jpg", "pixels"}},
         {{"x/photo.jpg", "y/photo.jpg"}},
         {{"x/photo.jpg", "y/photo.jpg"}},
         {}},
        {"different names: content group only",
         {{"x/photo.jpg", "pixels"}, {"y/copy.jpg", "pixels"}},
         {{"x/photo.jpg", "y/copy.jpg"}},
         {},
         {}},
        {"same name and size, other bytes: neither",
         {{"x/photo.jpg", "pixels"}, {"y/photo.jpg", "pixelz"}},
         {},
         {},
         {}},
        {"several size groups and a unique size never read",
         {{"a1", "aaaa"},
          {"a2", "aaaa"},
          {"b1", "bbbbbbbb"},
          {"b2", "bbbbbbbb"},
          {"b3", "bbbbbbbc"},
          {"lonely", "unique size"}},
         {{"a1", "a2"}, {"b1", "b2"}},
         {},
         {{"lonely", 0}, {"b3", 8}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempTree tree;
        for (const TFileSpec& f : c.files)
            tree.File(f.path, f.content);
        TScanData store;
        ScanAndGroup(store, tree.Root());
        store.ClearContentResults();
        TCountingFs fs;
        {
            TFaultFsInstall install(fs);
            TContentCompare compare(store);
            ASSERT_TRUE(compare.CompareAll());
            EXPECT_EQ(compare.Stats().unreadable, 0u);
            EXPECT_EQ(compare.Stats().reopens, 0u);
        }
        BuildContentViews(store);
        EXPECT_EQ(GroupsOf(store, kViewSameContent, tree.Root()), c.content);
        EXPECT_EQ(GroupsOf(store, kViewFullClones, tree.Root()), c.clones);
        for (const auto& [name, bytes] : c.bytesRead)
            EXPECT_EQ(fs.BytesOf(name), bytes) << name;
        EXPECT_EQ(fs.OpenNow(), 0);
    }
}

TEST_F(ContentCompareTest, CountersViewsAndTotalsOfACompletedComparison) {
    Make({{"a/x.txt", "hello"},
          {"b/x.txt", "hello"},
          {"c/y.txt", "hello"},
          {"d/z.txt", "world"},
          {"e/big1", Bytes(70000, 9)},
          {"e/big2", Bytes(70000, 9)},
          {"e/empty1", ""},
          {"e/empty2", ""}});
    TStopControl control;
    ASSERT_TRUE(Compare(&control));
    ComputeTotals(m_store);

    // Every Same size group was compared; zero-size files never are.
    EXPECT_EQ(m_counters.groupsCompared, 2u);
    EXPECT_EQ(m_counters.filesCompared, 6u);
    EXPECT_EQ(m_counters.bytesCompared, 4u * 5 + 2u * 70000);
    EXPECT_GE(control.m_continues, 2);
    EXPECT_GE(control.m_progress, 2);
    EXPECT_EQ(m_fs.OpensOf("empty1"), 0);

    // Groups follow the Same size order (smallest size first).
    const auto& groups = m_store.ContentGroups();
    ASSERT_EQ(groups.Count(), 2u);
    EXPECT_EQ(+groups[0].m_size, 5u);
    EXPECT_EQ(+groups[0].m_head.m_fileCount, 3u);
    EXPECT_EQ(+groups[0].m_totalBytes, 15u);
    EXPECT_EQ(+groups[1].m_size, 70000u);
    EXPECT_EQ(+groups[1].m_totalBytes, 140000u);

    // Order table, rows with each header first, header-row fields.
    const auto& order = m_store.Order(kViewSameContent);
    ASSERT_EQ(order.Count(), 2u);
    EXPECT_EQ(order[0], 0);
    EXPECT_EQ(order[1], 1);
    const auto& rows = m_store.Rows(kViewSameContent);
    ASSERT_EQ(rows.Count(), 7u);
    EXPECT_EQ(rows[0].m_file, -1);
    EXPECT_EQ(rows[0].m_group, 0);
    EXPECT_EQ(rows[4].m_file, -1);
    EXPECT_EQ(rows[4].m_group, 1);
    EXPECT_EQ(+groups[0].m_head.m_headerRow, 1);
    EXPECT_EQ(+groups[1].m_head.m_headerRow, 5);
    EXPECT_EQ(m_store.Counters(kViewSameContent).m_fileRows, 5u);
    EXPECT_EQ(m_store.Counters(kViewSameContent).m_groupFiles, 5u);
    EXPECT_EQ(m_store.Counters(kViewSameContent).m_groupBytes, 15u + 140000u);

    EXPECT_EQ(Clones(), (TGroups{{"a/x.txt", "b/x.txt"}}));
    EXPECT_EQ(m_store.Counters(kViewFullClones).m_groupFiles, 2u);
    EXPECT_EQ(m_store.Counters(kViewFullClones).m_groupBytes, 10u);
}

TEST_F(ContentCompareTest, UnreadableFilesAreSetAsideAndNeverGrouped) {
    const std::string big = Bytes(100000, 5);
    struct TCase {
        const char* name;
        std::vector<TFaultRule> rules;
        TGroups content;
        std::uint32_t unreadable;
    };
    auto rule = [](TFsOp op, const char* part, int error, int after) {
        TFaultRule r;
        r.op = op;
        r.pathPart = part;
        r.error = error;
        r.after = after;
        return r;
    };
    const std::vector<TCase> cases = {
        {"access denied on open",
         {rule(TFsOp::Open, "/b.bin", EACCES, 0)},
         {{"a.bin", "c.bin"}},
         1},
        {"read error in the first block",
         {rule(TFsOp::Read, "/a.bin", EIO, 0)},
         {{"b.bin", "c.bin"}},
         1},
        {"read error half way", {rule(TFsOp::Read, "/c.bin", EIO, 2)}, {{"a.bin", "b.bin"}}, 1},
        {"two of three unreadable: no group",
         {rule(TFsOp::Open, "/a.bin", EACCES, 0), rule(TFsOp::Read, "/b.bin", EIO, 1)},
         {},
         2},
        {"every file unreadable", {rule(TFsOp::Open, ".bin", EACCES, 0)}, {}, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempTree tree;
        tree.File("a.bin", big);
        tree.File("b.bin", big);
        tree.File("c.bin", big);
        TScanData store;
        ScanAndGroup(store, tree.Root());
        store.ClearContentResults();
        TCountingFs fs;
        for (const TFaultRule& r : c.rules)
            fs.Add(r);
        TFaultFsInstall install(fs);
        TContentCompare compare(store);
        ASSERT_TRUE(compare.CompareAll());
        EXPECT_EQ(compare.Stats().unreadable, c.unreadable);
        EXPECT_EQ(compare.Counters().filesUnreadable, c.unreadable);
        // Each is named with the reason, for the front ends to report.
        ASSERT_EQ(store.UncomparedFiles().size(), c.unreadable);
        for (const TUncomparedFile& file : store.UncomparedFiles()) {
            const TFaultRule* cause = nullptr;
            for (const TFaultRule& r : c.rules)
                if (EncodeFileName(file.m_path).find(r.pathPart) != std::string::npos)
                    cause = &r;
            ASSERT_NE(cause, nullptr) << EncodeFileName(file.m_path);
            EXPECT_EQ(file.m_error, cause->error);
        }
        EXPECT_EQ(GroupsOf(store, kViewSameContent, tree.Root()), c.content);
        EXPECT_EQ(fs.OpenNow(), 0);
        // The group still counts as compared.
        EXPECT_EQ(compare.Counters().groupsCompared, 1u);
        EXPECT_EQ(compare.Counters().bytesCompared, 300000u);
    }
}

TEST_F(ContentCompareTest, ShortReadsStillCompareWholeBlocks) {
    const std::string big = Bytes(100000, 6);
    Make({{"a", big}, {"b", big}, {"c", WithByte(big, 70000, 'z')}});
    m_fs.ShortReads("/a", 7);
    m_fs.ShortReads("/c", 4093);
    ASSERT_TRUE(Compare());
    EXPECT_EQ(Content(), (TGroups{{"a", "b"}}));
    EXPECT_EQ(m_fs.BytesOf("a"), 100000u);
    EXPECT_EQ(m_fs.BytesOf("b"), 100000u);
    EXPECT_EQ(m_fs.BytesOf("c"), 98304u); // up to the end of the third block
}

TEST_F(ContentCompareTest, FilesChangedAfterTheScan) {
    const std::string big = Bytes(100000, 7);
    struct TCase {
        const char* name;
        void (*change)(const TTempTree&, const std::string&);
        TGroups content;
    };
    const std::vector<TCase> cases = {
        {"vanished",
         [](const TTempTree& t, const std::string&) { ::unlink(t.Path("b").c_str()); },
         {{"a", "c"}}},
        {"truncated",
         [](const TTempTree& t, const std::string& s) { t.File("b", s.substr(0, 99999)); },
         {{"a", "c"}}},
        {"grew by one byte",
         [](const TTempTree& t, const std::string& s) { t.File("b", s + "!"); },
         {{"a", "c"}}},
        {"grew by many blocks",
         [](const TTempTree& t, const std::string& s) { t.File("b", s + s); },
         {{"a", "c"}}},
        {"two grew alike: every byte and the length match",
         [](const TTempTree& t, const std::string& s) {
             t.File("a", s + "tail");
             t.File("b", s + "tail");
         },
         {{"a", "b"}}},
        {"one shrunk to empty, one replaced by a link",
         [](const TTempTree& t, const std::string&) {
             t.File("a", "");
             ::unlink(t.Path("b").c_str());
             t.Symlink(t.Path("c"), "b");
         },
         {}},
        {"replaced by a pipe: not blocked, set aside",
         [](const TTempTree& t, const std::string&) {
             ::unlink(t.Path("b").c_str());
             ::mkfifo(t.Path("b").c_str(), 0600);
         },
         {{"a", "c"}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TTempTree tree;
        tree.File("a", big);
        tree.File("b", big);
        tree.File("c", big);
        TScanData store;
        ScanAndGroup(store, tree.Root());
        store.ClearContentResults();
        c.change(tree, big);
        TCountingFs fs;
        TFaultFsInstall install(fs);
        TContentCompare compare(store);
        ASSERT_TRUE(compare.CompareAll());
        EXPECT_EQ(GroupsOf(store, kViewSameContent, tree.Root()), c.content);
        EXPECT_EQ(fs.OpenNow(), 0);
    }
}

TEST(ContentCompareBudget, GroupLargerThanTheDescriptorBudgetReadsEachByteOnce) {
    // 40 files of four blocks: 15 equal, 15 equal to each other but not to
    // the first 15 from the third block on, 10 that all differ at once.
    const std::string base = Bytes(100000, 8);
    const std::string other = WithByte(base, 70000, 'o');
    TTempTree tree;
    std::set<std::string> first, second;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "f" + std::to_string(i);
        if (i < 15) {
            tree.File(name, base);
            first.insert(name);
        } else if (i < 30) {
            tree.File(name, other);
            second.insert(name);
        } else {
            tree.File(name, Bytes(100000, 100 + static_cast<unsigned>(i)));
        }
    }
    for (std::uint32_t budget : {5u, 1u}) {
        SCOPED_TRACE(budget);
        TScanData store;
        ScanAndGroup(store, tree.Root());
        store.ClearContentResults();
        TCountingFs fs;
        TFaultFsInstall install(fs);
        TContentCompare compare(store);
        compare.SetDescriptorBudget(budget);
        ASSERT_TRUE(compare.CompareAll());
        EXPECT_EQ(GroupsOf(store, kViewSameContent, tree.Root()), (TGroups{first, second}));
        // One descriptor over the budget for a moment: the file just read.
        EXPECT_LE(compare.Stats().peakOpen, budget + 1);
        EXPECT_LE(fs.PeakOpen(), static_cast<int>(budget) + 1);
        EXPECT_GT(compare.Stats().reopens, 0u);
        EXPECT_EQ(fs.OpenNow(), 0);
        for (int i = 0; i < 30; ++i)
            EXPECT_EQ(fs.BytesOf("f" + std::to_string(i)), 100000u) << i;
        for (int i = 30; i < 40; ++i)
            EXPECT_EQ(fs.BytesOf("f" + std::to_string(i)), 32768u) << i;
    }
}

// 40 files of four blocks in one group: 15 equal, 15 equal to each other but
// not to the first 15 from the third block on, 10 that all differ at once.
struct TFortyFiles {
    TFortyFiles() {
        const std::string base = Bytes(100000, 8);
        const std::string other = WithByte(base, 70000, 'o');
        for (int i = 0; i < 40; ++i) {
            const std::string name = "f" + std::to_string(i);
            if (i < 15) {
                tree.File(name, base);
                first.insert(name);
            } else if (i < 30) {
                tree.File(name, other);
                second.insert(name);
            } else {
                tree.File(name, Bytes(100000, 100 + static_cast<unsigned>(i)));
            }
        }
    }
    TTempTree tree;
    std::set<std::string> first, second;
};

TEST(ContentCompareBudget, RunningOutOfDescriptorsNeverLeavesAFileOut) {
    // The default budget is far above what the "system" lets the process
    // open; every EMFILE or ENFILE must lower the budget, not drop a file.
    TFortyFiles files;
    for (int error : {EMFILE, ENFILE}) {
        for (int limit : {3, 1}) {
            SCOPED_TRACE(std::to_string(error) + " at " + std::to_string(limit));
            TScanData store;
            ScanAndGroup(store, files.tree.Root());
            store.ClearContentResults();
            TCountingFs fs;
            fs.m_openLimit = limit;
            fs.m_limitError = error;
            TFaultFsInstall install(fs);
            TContentCompare compare(store);
            ASSERT_GT(compare.DescriptorBudget(), 3u);
            ASSERT_TRUE(compare.CompareAll());
            EXPECT_EQ(GroupsOf(store, kViewSameContent, files.tree.Root()),
                      (TGroups{files.first, files.second}));
            EXPECT_EQ(compare.Stats().unreadable, 0u);
            EXPECT_TRUE(store.UncomparedFiles().empty());
            EXPECT_GT(compare.Stats().budgetCuts, 0u);
            EXPECT_LE(compare.DescriptorBudget(), static_cast<std::uint32_t>(limit));
            EXPECT_EQ(fs.OpenNow(), 0);
            // Reopened at the offset reached: every byte is still read once.
            for (int i = 0; i < 30; ++i)
                EXPECT_EQ(fs.BytesOf("f" + std::to_string(i)), 100000u) << i;
        }
    }
}

TEST(ContentCompareBudget, NoDescriptorAtAllLeavesEveryFileNamedAsNotCompared) {
    TFortyFiles files;
    TScanData store;
    ScanAndGroup(store, files.tree.Root());
    store.ClearContentResults();
    TCountingFs fs;
    fs.m_openLimit = 0;
    TFaultFsInstall install(fs);
    TContentCompare compare(store);
    ASSERT_TRUE(compare.CompareAll());
    EXPECT_EQ(store.ContentGroups().Count(), 0u);
    ASSERT_EQ(store.UncomparedFiles().size(), 40u);
    for (const TUncomparedFile& file : store.UncomparedFiles())
        EXPECT_EQ(file.m_error, EMFILE);
}

TEST(ContentCompareBudget, LowLimitOfOpenFilesOfTheProcess) {
    // The real thing: the process may open only a few more files than it
    // holds now, far fewer than the budget taken from the old limit.
    TFortyFiles files;
    TScanData store;
    ScanAndGroup(store, files.tree.Root());
    store.ClearContentResults();
    TContentCompare compare(store);
    compare.SetDescriptorBudget(64);
    int held = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr)
            ++held;
        ::closedir(dir);
    }
    ASSERT_GT(held, 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = static_cast<rlim_t>(held + 2);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const bool completed = compare.CompareAll();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(completed);
    EXPECT_EQ(GroupsOf(store, kViewSameContent, files.tree.Root()),
              (TGroups{files.first, files.second}));
    EXPECT_TRUE(store.UncomparedFiles().empty());
    EXPECT_GT(compare.Stats().budgetCuts, 0u);
}

TEST_F(ContentCompareTest, FailedSeekOnReopenSetsTheFileAside) {
    const std::string big = Bytes(100000, 10);
    Make({{"a", big}, {"b", big}, {"c", big}});
    m_fs.m_failSeeks = true;
    ASSERT_TRUE(Compare(nullptr, 1));
    // The first file keeps its descriptor; the others need a seek after the
    // first block, which fails.
    EXPECT_EQ(Content(), TGroups{});
    EXPECT_EQ(m_stats.unreadable, 2u);
    EXPECT_EQ(m_fs.OpenNow(), 0);
}

TEST_F(ContentCompareTest, LargeGroupOfMostlyDifferentFilesIsSplitCorrectly) {
    // 41 files of one size in 13 content classes of 3 (the first of 5), so
    // the split goes through the hashes; the classes differ at varied places.
    std::vector<TFileSpec> files;
    std::map<int, std::set<std::string>> classes;
    const std::string base = Bytes(50000, 11);
    for (int i = 0; i < 41; ++i) {
        const int k = i < 5 ? 0 : (i - 5) / 3 + 1;
        std::string content =
            k == 0 ? base : WithByte(base, static_cast<std::size_t>(k) * 3797, 'k');
        const std::string name = "n" + std::to_string(i);
        files.push_back({name, content});
        classes[k].insert(name);
    }
    Make(files);
    ASSERT_TRUE(Compare());
    TGroups expected;
    for (auto& [k, members] : classes)
        expected.insert(members);
    EXPECT_EQ(Content(), expected);
    EXPECT_EQ(m_store.ContentGroups().Count(), 13u);
    for (int i = 0; i < 41; ++i)
        EXPECT_EQ(m_fs.BytesOf("n" + std::to_string(i)), 50000u) << i;
}

TEST_F(ContentCompareTest, StoppingClosesEveryFileAndReportsIt) {
    const std::string big = Bytes(200000, 12);
    Make({{"a1", "aaaa"}, {"a2", "aaaa"}, {"b1", big}, {"b2", big}, {"b3", big}});
    // Continue calls: 1 before the first group (read in one pass, after
    // which nothing is left to ask about), 2 before the second group, 3
    // after its first pass.
    TStopControl control(3);
    EXPECT_FALSE(Compare(&control));
    EXPECT_EQ(m_fs.OpenNow(), 0);
    EXPECT_EQ(m_counters.groupsCompared, 1u);
    EXPECT_EQ(m_fs.BytesOf("b1"), 32768u);
    EXPECT_EQ(m_store.ContentGroups().Count(), 1u); // the first group's, for the caller to clear
}

TEST_F(ContentCompareTest, MarksOfAnEarlierComparisonAreKeptAndCounted) {
    Make({{"a/x", "same"}, {"b/x", "same"}, {"c", "same"}});
    ScanAndGroup(m_store, m_tree.Root());
    auto compareAgain = [&] {
        m_store.ClearContentResults();
        TContentCompare compare(m_store);
        ASSERT_TRUE(compare.CompareAll());
        BuildContentViews(m_store);
    };
    compareAgain();
    const std::uint8_t bits = ViewMarkBit(kViewSameContent) | ViewMarkBit(kViewFullClones);
    std::uint32_t marked = 0;
    for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
        if (m_store.FileName(i) == u"x" && marked++ == 0)
            m_store.File(kTestKey, i).m_marks |= bits;
    ASSERT_EQ(marked, 2u);

    compareAgain(); // the user runs the comparison once more
    ASSERT_EQ(m_store.ContentGroups().Count(), 1u);
    EXPECT_EQ(+m_store.ContentGroups()[0].m_head.m_markedCount, 1u);
    EXPECT_EQ(+m_store.ContentGroups()[0].m_markState, 2);
    EXPECT_EQ(m_store.Counters(kViewSameContent).m_markedFiles, 1u);
    EXPECT_EQ(m_store.Counters(kViewSameContent).m_markedBytes, 4u);
    ASSERT_EQ(m_store.CloneGroups().Count(), 1u);
    EXPECT_EQ(+m_store.CloneGroups()[0].m_head.m_markedCount, 1u);
    EXPECT_EQ(m_store.Counters(kViewFullClones).m_markedFiles, 1u);
}

} // namespace
} // namespace vdx
