#include "engine/VDX_unit_Marks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "engine/VDX_unit_Views.h"
#include "tests/support/VDX_test_Store.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

using test::MarkCountProblems;
using test::TStoreFile;

constexpr TViewKind kAllViews[] = {kViewSameName,    kViewSameSize,   kViewSameNameSize,
                                   kViewSameContent, kViewFullClones, kViewZeroSize};

std::int32_t FindFile(const TScanData& store, std::u16string_view path) {
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        if (store.FullPath(i) == path)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

// The zero-based row of path's file in the view, -1 when it has none.
std::int64_t RowOf(const TScanData& store, TViewKind view, std::u16string_view path) {
    std::int32_t file = FindFile(store, path);
    for (std::uint32_t r = 0; r < RowCount(store, view); ++r) {
        if (file >= 0 && RowFile(store, view, TRow{r}) == TFileIndex{file})
            return r;
    }
    return -1;
}

// Same size 10: a/1, b/1, c/1 (group 1); same name "1" with those three;
// Same size 20: a/2, b/2, c/2, d/2 (group 2).
std::vector<TStoreFile> ThreeAndFour() {
    return {{u"/r/a/", u"1", 10}, {u"/r/b/", u"1", 10}, {u"/r/c/", u"1", 10}, {u"/r/a/", u"2", 20},
            {u"/r/b/", u"2", 20}, {u"/r/c/", u"2", 20}, {u"/r/d/", u"2", 20}};
}

TEST(Marks, GroupStateFollowsRowMarks) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const TViewKind v = kViewSameSize;
    EXPECT_TRUE(ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/a/1")}));
    EXPECT_TRUE(ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/b/1")}));
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 2);
    EXPECT_FALSE(GroupFullyMarked(store, v, TGroupIndex{0}));
    EXPECT_TRUE(ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/c/1")}));
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 1);
    EXPECT_TRUE(GroupFullyMarked(store, v, TGroupIndex{0}));
    EXPECT_EQ(store.Counters(v).m_markedFiles, 3u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 30u);
    EXPECT_EQ(MarkCountProblems(store), "");

    // A fully marked group is cleared whole.
    EXPECT_TRUE(ToggleGroupMarks(store, v, TNavPos{0}));
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 0);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 0u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 0u);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, GroupToggleOfAPartlyMarkedGroupMarksAll) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const TViewKind v = kViewSameSize;
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/b/2")});
    ASSERT_EQ(NavMarkState(store, v, TNavPos{1}), 2);
    EXPECT_TRUE(ToggleGroupMarks(store, v, TNavPos{1}));
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 1);
    EXPECT_EQ(std::uint32_t{store.SizeGroups()[1].m_head.m_markedCount}, 4u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 80u);
    // The other group is untouched.
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 0);
    EXPECT_EQ(MarkCountProblems(store), "");

    // Still right after the rows and the navigator have been re-sorted.
    SortRows(store, v, kRowKeyPath, false);
    SortNavigator(store, v, 2, false);
    EXPECT_TRUE(ToggleGroupMarks(store, v, TNavPos{0})); // the 20-byte group, now first
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 0);
    EXPECT_TRUE(ToggleGroupMarks(store, v, TNavPos{1}));
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 1);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 30u);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, MarkAllDependsOnlyOnTheSwitch) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const TViewKind v = kViewSameSize;
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/c/2")});
    MarkAll(store, v, true);
    EXPECT_TRUE(AllRowsMarked(store, v));
    EXPECT_EQ(store.Counters(v).m_markedFiles, 7u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 110u);
    MarkAll(store, v, true);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 7u);
    EXPECT_EQ(MarkCountProblems(store), "");

    // What "Mark all files" does: clear when all are marked, else mark all.
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/a/1")});
    EXPECT_FALSE(AllRowsMarked(store, v));
    MarkAll(store, v, !AllRowsMarked(store, v));
    EXPECT_TRUE(AllRowsMarked(store, v));
    MarkAll(store, v, !AllRowsMarked(store, v));
    EXPECT_EQ(store.Counters(v).m_markedFiles, 0u);
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 0);
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 0);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, MarksArePerView) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    ToggleRowMark(store, kViewSameName, TRow{RowOf(store, kViewSameName, u"/r/a/1")});
    const auto file = static_cast<std::uint32_t>(FindFile(store, u"/r/a/1"));
    EXPECT_TRUE(store.IsMarked(file, kViewSameName));
    EXPECT_FALSE(store.IsMarked(file, kViewSameSize));
    EXPECT_FALSE(RowMark(store, kViewSameSize, TRow{RowOf(store, kViewSameSize, u"/r/a/1")}));
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 1u);
    EXPECT_EQ(store.Counters(kViewSameSize).m_markedFiles, 0u);
    MarkAll(store, kViewSameSize, false);
    EXPECT_TRUE(store.IsMarked(file, kViewSameName));
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, HeaderRowsAndPositionsOutOfRangeChangeNothing) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    for (TViewKind v : kAllViews) {
        for (std::int64_t row : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{1} << 40}) {
            EXPECT_FALSE(ToggleRowMark(store, v, TRow{row}));
        }
        EXPECT_FALSE(ToggleGroupMarks(store, v, TNavPos{-1}));
        EXPECT_FALSE(ToggleGroupMarks(store, v, TNavPos{NavigatorCount(store, v)}));
        EXPECT_EQ(store.Counters(v).m_markedFiles, 0u);
    }
    EXPECT_FALSE(SetFileMark(store, kViewSameSize, TFileIndex{store.FileCount()}, true));
    EXPECT_FALSE(SetFileMark(store, kViewSameSize, TFileIndex::kNone, true));
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        EXPECT_EQ(store.File(i).m_marks, 0);
}

TEST(Marks, SetFileMarkAndClearViewMarks) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const auto file = static_cast<std::uint32_t>(FindFile(store, u"/r/d/2"));
    EXPECT_TRUE(SetFileMark(store, kViewSameSize, TFileIndex{file}, true));
    EXPECT_FALSE(SetFileMark(store, kViewSameSize, TFileIndex{file}, true)); // already set
    EXPECT_EQ(store.Counters(kViewSameSize).m_markedFiles, 1u);
    EXPECT_EQ(store.Counters(kViewSameSize).m_markedBytes, 20u);
    // No comparison has run, so the file is in no Same content group: its
    // bit is kept but counted nowhere.
    EXPECT_TRUE(SetFileMark(store, kViewSameContent, TFileIndex{file}, true));
    EXPECT_TRUE(store.IsMarked(file, kViewSameContent));
    EXPECT_EQ(store.Counters(kViewSameContent).m_markedFiles, 0u);
    EXPECT_EQ(MarkCountProblems(store), "");

    MarkAll(store, kViewSameName, true);
    ClearViewMarks(store, kViewSameName);
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        EXPECT_FALSE(store.IsMarked(i, kViewSameName));
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 0u);
    EXPECT_EQ(NavMarkState(store, kViewSameName, TNavPos{0}), 0);
    EXPECT_TRUE(store.IsMarked(file, kViewSameSize));
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, ZeroSizeKeepsCountsButNoBytes) {
    TScanData store;
    test::BuildGroupedStore(store,
                            {{u"/r/a/", u"e1", 0}, {u"/r/a/", u"e2", 0}, {u"/r/b/", u"e1", 0}});
    const TViewKind v = kViewZeroSize;
    ASSERT_EQ(NavigatorCount(store, v), 2u);
    EXPECT_TRUE(ToggleGroupMarks(store, v, TNavPos{1})); // the folder with a single file
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 1);
    MarkAll(store, v, true);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 3u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 0u);
    EXPECT_EQ(ViewFigures(store, v).m_markedBytes, 0u);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, RemovingMarkedFilesLeavesTheRestUnmarked) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const TViewKind v = kViewSameSize;
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/a/2")});
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/c/2")});
    // The deletion flags the marked files and has the store re-indexed.
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        if (store.IsMarked(i, v))
            store.File(kTestKey, i).m_removed = 1;
    }
    store.ReindexAfterRemovals();
    ASSERT_EQ(NavigatorCount(store, v), 2u);
    EXPECT_EQ(NavFileCount(store, v, TNavPos{1}), 2u);
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 0);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 0u);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, MarksOutliveAReindex) {
    TScanData store;
    test::BuildGroupedStore(store, ThreeAndFour());
    const TViewKind v = kViewSameSize;
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/b/2")});
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/a/1")});
    ToggleRowMark(store, kViewSameName, TRow{RowOf(store, kViewSameName, u"/r/a/1")});
    store.File(kTestKey, static_cast<std::uint32_t>(FindFile(store, u"/r/c/1"))).m_removed = 1;
    store.File(kTestKey, static_cast<std::uint32_t>(FindFile(store, u"/r/d/2"))).m_removed = 1;
    store.ReindexAfterRemovals();
    EXPECT_EQ(store.FileCount(), 5u);
    EXPECT_EQ(NavMarkState(store, v, TNavPos{0}), 2);
    EXPECT_EQ(NavMarkState(store, v, TNavPos{1}), 2);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 2u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 30u);
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 1u);
    EXPECT_TRUE(RowMark(store, v, TRow{RowOf(store, v, u"/r/b/2")}));
    EXPECT_EQ(MarkCountProblems(store), "");

    // A file whose last partner is gone is dropped when no view shows it.
    store.File(kTestKey, static_cast<std::uint32_t>(FindFile(store, u"/r/b/1"))).m_removed = 1;
    store.ReindexAfterRemovals();
    EXPECT_EQ(FindFile(store, u"/r/a/1"), -1);
    EXPECT_EQ(NavigatorCount(store, v), 1u);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 1u);
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 0u);
    EXPECT_EQ(MarkCountProblems(store), "");
}

TEST(Marks, AFileLeavingAGroupKeepsItsBitUncounted) {
    TScanData store;
    test::BuildGroupedStore(
        store, {{u"/r/a/", u"x.txt", 10}, {u"/r/b/", u"x.txt", 20}, {u"/r/c/", u"y", 20}});
    const TViewKind v = kViewSameSize;
    ToggleRowMark(store, v, TRow{RowOf(store, v, u"/r/b/x.txt")});
    ASSERT_EQ(store.Counters(v).m_markedFiles, 1u);
    store.File(kTestKey, static_cast<std::uint32_t>(FindFile(store, u"/r/c/y"))).m_removed = 1;
    store.ReindexAfterRemovals();
    // Still shown in Same name, in no Same size group: the bit stays, counted nowhere.
    const std::int32_t file = FindFile(store, u"/r/b/x.txt");
    ASSERT_GE(file, 0);
    EXPECT_TRUE(store.IsMarked(static_cast<std::uint32_t>(file), v));
    EXPECT_EQ(store.GroupCount(v), 0u);
    EXPECT_EQ(store.Counters(v).m_markedFiles, 0u);
    EXPECT_EQ(store.Counters(v).m_markedBytes, 0u);
    EXPECT_EQ(RowOf(store, v, u"/r/b/x.txt"), -1);
    EXPECT_EQ(MarkCountProblems(store), "");
}

// ---- Property: any sequence of operations keeps every count right ----

std::vector<TStoreFile> RandomFiles(std::mt19937& rng) {
    static const char16_t* const kNames[] = {u"a.txt",   u"A.TXT",  u"b.txt",
                                             u"a.doc",   u"readme", u"README.txt",
                                             u".bashrc", u"b",      u"x.tar.gz"};
    static const char16_t* const kFolders[] = {u"/r/", u"/r/p/", u"/r/q/", u"/r/p/s/", u"/s/"};
    static const std::uint64_t kSizes[] = {0, 0, 5, 10, 10, 20, (std::uint64_t{1} << 33) + 3};
    std::vector<TStoreFile> files;
    const int count = std::uniform_int_distribution<int>(10, 120)(rng);
    for (int i = 0; i < count; ++i) {
        TStoreFile f{kFolders[rng() % std::size(kFolders)], kNames[rng() % std::size(kNames)],
                     kSizes[rng() % std::size(kSizes)], 100 + static_cast<TFileTime>(rng() % 3)};
        bool duplicate = false;
        for (const TStoreFile& other : files)
            duplicate = duplicate || (other.folder == f.folder && other.name == f.name);
        if (!duplicate)
            files.push_back(f);
    }
    return files;
}

// Rows a window could ask for: every row, including headers, and a few
// beyond both ends.
std::int64_t AnyRow(const TScanData& store, TViewKind view, std::mt19937& rng) {
    const std::int64_t n = RowCount(store, view);
    return std::uniform_int_distribution<std::int64_t>(-2, n + 1)(rng);
}

std::int64_t AnyPosition(const TScanData& store, TViewKind view, std::mt19937& rng) {
    const std::int64_t n = NavigatorCount(store, view);
    return std::uniform_int_distribution<std::int64_t>(-1, n)(rng);
}

TEST(Marks, CountsEqualARecountAfterEveryOperation) {
    std::mt19937 rng(314159);
    int operations = 0;
    for (int round = 0; round < 40; ++round) {
        TScanData store;
        test::BuildGroupedStore(store, RandomFiles(rng));
        if (round % 2 == 0)
            test::AddContentViews(store);
        ASSERT_EQ(MarkCountProblems(store), "");
        for (int step = 0; step < 150; ++step) {
            const TViewKind view = kAllViews[rng() % std::size(kAllViews)];
            const unsigned op = rng() % 100;
            std::string what;
            if (op < 35) {
                const std::int64_t row = AnyRow(store, view, rng);
                what = "ToggleRowMark " + std::to_string(row);
                ToggleRowMark(store, view, TRow{row});
            } else if (op < 55) {
                const std::int64_t pos = AnyPosition(store, view, rng);
                what = "ToggleGroupMarks " + std::to_string(pos);
                ToggleGroupMarks(store, view, TNavPos{pos});
            } else if (op < 62) {
                const bool on = rng() % 2 == 0;
                what = on ? "MarkAll on" : "MarkAll off";
                MarkAll(store, view, on);
            } else if (op < 72) {
                if (store.FileCount() == 0)
                    continue;
                const auto file = static_cast<std::uint32_t>(rng() % store.FileCount());
                const bool on = rng() % 2 == 0;
                what = "SetFileMark " + std::to_string(file);
                SetFileMark(store, view, TFileIndex{file}, on);
            } else if (op < 74) {
                what = "ClearViewMarks";
                ClearViewMarks(store, view);
            } else if (op < 84) {
                const int key = static_cast<int>(rng() % 12);
                what = "SortRows " + std::to_string(key);
                SortRows(store, view, key, rng() % 2 == 0);
            } else if (op < 94) {
                const int code = static_cast<int>(rng() % 8);
                what = "SortNavigator " + std::to_string(code);
                SortNavigator(store, view, code, rng() % 2 == 0);
            } else {
                // A deletion of some files, marked ones preferred.
                what = "ReindexAfterRemovals";
                for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
                    const bool marked = (store.File(i).m_marks & ViewMarkBit(view)) != 0;
                    if (rng() % (marked ? 3 : 12) == 0)
                        store.File(kTestKey, i).m_removed = 1;
                }
                store.ReindexAfterRemovals();
                for (std::uint32_t i = 0; i < store.FileCount(); ++i)
                    ASSERT_EQ(store.File(i).m_removed, 0);
            }
            ++operations;
            ASSERT_EQ(MarkCountProblems(store), "")
                << "round " << round << " step " << step << " view " << view << ": " << what;
            // The navigator and the rows stay consistent with the groups.
            for (TViewKind v : kAllViews) {
                const std::uint32_t groups = store.GroupCount(v);
                ASSERT_EQ(NavigatorCount(store, v), groups);
                std::uint32_t fileRows = 0;
                for (std::uint32_t r = 0; r < RowCount(store, v); ++r)
                    fileRows += RowFile(store, v, TRow{r}) != TFileIndex::kNone ? 1 : 0;
                ASSERT_EQ(fileRows, store.Counters(v).m_fileRows) << "view " << v << ": " << what;
                for (std::uint32_t p = 0; p < groups; ++p) {
                    const std::int32_t header = NavHeaderRow(store, v, TNavPos{p}).Value();
                    ASSERT_GE(header, 1);
                    ASSERT_EQ(RowFile(store, v, TRow{header - 1}), TFileIndex::kNone);
                    ASSERT_EQ(RowGroupNumber(store, v, TRow{header - 1}),
                              NavGroupNumber(store, v, TNavPos{p}));
                }
            }
        }
    }
    EXPECT_GT(operations, 0);
}

} // namespace
} // namespace vdx
