#include "engine/VDX_unit_Views.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Store.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

using test::TStoreFile;

constexpr TViewKind kAllViews[] = {kViewSameName,    kViewSameSize,   kViewSameNameSize,
                                   kViewSameContent, kViewFullClones, kViewZeroSize};

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

std::int32_t FindFile(const TScanData& store, std::u16string_view path) {
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        if (store.FullPath(i) == path)
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

// The members of the group that file belongs to, as "folder/name" below
// "/r/", in row order.
std::vector<std::string> GroupRows(const TScanData& store, TViewKind view,
                                   std::u16string_view member) {
    std::int32_t file = FindFile(store, member);
    std::vector<std::string> out;
    if (file < 0)
        return out;
    std::int32_t group = store.FileGroup(static_cast<std::uint32_t>(file), view);
    for (std::uint32_t r = 0; r < RowCount(store, view); ++r) {
        std::int32_t f = RowFile(store, view, TRow{r}).Value();
        if (f >= 0 && store.FileGroup(static_cast<std::uint32_t>(f), view) == group)
            out.push_back(Utf8(store.FullPath(static_cast<std::uint32_t>(f)).substr(3)));
    }
    return out;
}

// Rows grouped by ascending group index, each group's header first and
// its files right after it, the header-row fields on the headers, and
// the navigator positions matching the order table.
void ExpectViewLayout(const TScanData& store, TViewKind view) {
    const auto& rows = store.Rows(view);
    std::int32_t group = -1;
    for (std::uint32_t r = 0; r < rows.Count(); ++r) {
        if (rows[r].m_file < 0) {
            ASSERT_EQ(rows[r].m_group, group + 1) << "view " << view << " row " << r;
            group = rows[r].m_group;
            EXPECT_EQ(
                std::int32_t{store.GroupHead(view, static_cast<std::uint32_t>(group)).m_headerRow},
                static_cast<std::int32_t>(r + 1));
        } else {
            ASSERT_EQ(rows[r].m_group, group) << "view " << view << " row " << r;
            EXPECT_EQ(store.FileGroup(static_cast<std::uint32_t>(rows[r].m_file), view), group);
        }
    }
    EXPECT_EQ(static_cast<std::uint32_t>(group + 1), store.GroupCount(view));
    const auto& order = store.Order(view);
    ASSERT_EQ(order.Count(), store.GroupCount(view));
    for (std::uint32_t p = 0; p < order.Count(); ++p)
        EXPECT_EQ(
            std::int32_t{store.GroupHead(view, static_cast<std::uint32_t>(order[p])).m_navPosition},
            static_cast<std::int32_t>(p));
}

// ---- A small store whose orders can be written out by hand ----

// Same size 10: x/b.txt, y/a.txt, x/a.doc, y/B.TXT, x/c.doc (group 0);
// Same size 50: x/dup.bin, y/e.txt (group 1). Same name dup.bin: x (50,
// time 9), y (40, time 8), z (30, time 9).
std::vector<TStoreFile> SmallFiles() {
    return {
        {u"/r/x/", u"b.txt", 10, 3},   {u"/r/y/", u"a.txt", 10, 2},   {u"/r/x/", u"a.doc", 10, 1},
        {u"/r/y/", u"B.TXT", 10, 1},   {u"/r/x/", u"c.doc", 10, 5},   {u"/r/x/", u"dup.bin", 50, 9},
        {u"/r/y/", u"dup.bin", 40, 8}, {u"/r/z/", u"dup.bin", 30, 9}, {u"/r/y/", u"e.txt", 50, 4},
    };
}

struct TRowOrderCase {
    TViewKind view;
    const char16_t* member;
    int key;
    bool ascending;
    std::vector<std::string> expected;
};

TEST(Views, RowOrderOfEveryKey) {
    const std::vector<std::string> byName = {"x/a.doc", "y/a.txt", "x/b.txt", "y/B.TXT", "x/c.doc"};
    std::vector<std::string> byNameDesc(byName.rbegin(), byName.rend());
    const TRowOrderCase cases[] = {
        {kViewSameSize, u"/r/x/a.doc", kRowKeyName, true, byName},
        {kViewSameSize, u"/r/x/a.doc", kRowKeyName, false, byNameDesc},
        {kViewSameSize, u"/r/x/a.doc", 0, true, byName}, // unknown keys sort by name
        {kViewSameSize, u"/r/x/a.doc", 17, true, byName},
        {kViewSameSize,
         u"/r/x/a.doc",
         kRowKeyExtension,
         true,
         {"x/a.doc", "x/c.doc", "y/a.txt", "x/b.txt", "y/B.TXT"}},
        {kViewSameSize, u"/r/x/a.doc", kRowKeySize, true, byName},
        // All one size: only the rest of the chain decides, reversed.
        {kViewSameSize, u"/r/x/a.doc", kRowKeySize, false, byNameDesc},
        {kViewSameSize,
         u"/r/x/a.doc",
         kRowKeyDate,
         true,
         {"x/a.doc", "y/B.TXT", "y/a.txt", "x/b.txt", "x/c.doc"}},
        {kViewSameSize,
         u"/r/x/a.doc",
         kRowKeyGroup,
         true,
         {"x/a.doc", "y/B.TXT", "y/a.txt", "x/b.txt", "x/c.doc"}},
        {kViewSameSize,
         u"/r/x/a.doc",
         kRowKeyPath,
         true,
         {"x/a.doc", "x/c.doc", "x/b.txt", "y/a.txt", "y/B.TXT"}},
        {kViewSameSize,
         u"/r/x/a.doc",
         kRowKeyFolder,
         true,
         {"x/a.doc", "x/b.txt", "x/c.doc", "y/a.txt", "y/B.TXT"}},
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeyName,
         true,
         {"x/dup.bin", "y/dup.bin", "z/dup.bin"}},
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeySize,
         true,
         {"z/dup.bin", "y/dup.bin", "x/dup.bin"}},
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeySize,
         false,
         {"x/dup.bin", "y/dup.bin", "z/dup.bin"}},
        // Time first; equal times fall to the size, not the folder.
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeyDate,
         true,
         {"y/dup.bin", "z/dup.bin", "x/dup.bin"}},
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeyDate,
         false,
         {"x/dup.bin", "z/dup.bin", "y/dup.bin"}},
        {kViewSameName,
         u"/r/x/dup.bin",
         kRowKeyPath,
         false,
         {"z/dup.bin", "y/dup.bin", "x/dup.bin"}},
    };
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    for (const TRowOrderCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "view " << c.view << " key " << c.key << (c.ascending ? " asc" : " desc"));
        SortRows(store, c.view, c.key, c.ascending);
        EXPECT_EQ(GroupRows(store, c.view, c.member), c.expected);
        ExpectViewLayout(store, c.view);
    }
}

TEST(Views, MarkKeyPutsMarkedFilesFirstInEachGroup) {
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    SetFileMark(store, kViewSameSize,
                TFileIndex{static_cast<std::uint32_t>(FindFile(store, u"/r/x/b.txt"))}, true);
    SetFileMark(store, kViewSameSize,
                TFileIndex{static_cast<std::uint32_t>(FindFile(store, u"/r/x/c.doc"))}, true);
    SetFileMark(store, kViewSameSize,
                TFileIndex{static_cast<std::uint32_t>(FindFile(store, u"/r/y/e.txt"))}, true);
    // A mark in another view does not count.
    SetFileMark(store, kViewSameName,
                TFileIndex{static_cast<std::uint32_t>(FindFile(store, u"/r/y/B.TXT"))}, true);
    const TViewCounters before = store.Counters(kViewSameSize);

    SortRows(store, kViewSameSize, kRowKeyMark, true);
    EXPECT_EQ(GroupRows(store, kViewSameSize, u"/r/x/a.doc"),
              (std::vector<std::string>{"x/c.doc", "x/b.txt", "x/a.doc", "y/a.txt", "y/B.TXT"}));
    EXPECT_EQ(GroupRows(store, kViewSameSize, u"/r/x/dup.bin"),
              (std::vector<std::string>{"y/e.txt", "x/dup.bin"}));
    ExpectViewLayout(store, kViewSameSize);

    SortRows(store, kViewSameSize, kRowKeyMark, false);
    EXPECT_EQ(GroupRows(store, kViewSameSize, u"/r/x/a.doc"),
              (std::vector<std::string>{"y/B.TXT", "y/a.txt", "x/a.doc", "x/b.txt", "x/c.doc"}));
    ExpectViewLayout(store, kViewSameSize);

    // Sorting touches neither marks nor counts.
    EXPECT_EQ(store.Counters(kViewSameSize).m_markedFiles, before.m_markedFiles);
    EXPECT_EQ(store.Counters(kViewSameSize).m_markedBytes, before.m_markedBytes);
    EXPECT_EQ(test::MarkCountProblems(store), "");
}

TEST(Views, DescendingSizeKeepsGroupsAscendingWithHeadersFirst) {
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    SortRows(store, kViewSameSize, kRowKeySize, false);
    // Header of group 1 (size 10), its five files, header of group 2 (50).
    EXPECT_EQ(RowFile(store, kViewSameSize, TRow{0}), TFileIndex::kNone);
    EXPECT_EQ(RowGroupNumber(store, kViewSameSize, TRow{0}), 1);
    EXPECT_EQ(RowFile(store, kViewSameSize, TRow{6}), TFileIndex::kNone);
    EXPECT_EQ(RowGroupNumber(store, kViewSameSize, TRow{6}), 2);
    EXPECT_EQ(NavHeaderRow(store, kViewSameSize, TNavPos{0}), TRow{1});
    EXPECT_EQ(NavHeaderRow(store, kViewSameSize, TNavPos{1}), TRow{7});
    EXPECT_EQ(RowGroupText(store, kViewSameSize, TRow{6}),
              u"group #2 \"50 bytes\" contains 2 files and 100 bytes");
}

// ---- Queries and their neutral values ----

TEST(Views, RowAndNavigatorQueriesOfASmallStore) {
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    // Same size: group 1 (size 10) at rows 0..5, group 2 (size 50) at 6..8.
    EXPECT_EQ(RowCount(store, kViewSameSize), 9u);
    EXPECT_EQ(RowFile(store, kViewSameSize, TRow{0}), TFileIndex::kNone);
    EXPECT_FALSE(RowMark(store, kViewSameSize, TRow{0}));
    const std::int32_t first = RowFile(store, kViewSameSize, TRow{1}).Value();
    ASSERT_GE(first, 0);
    EXPECT_EQ(Utf8(store.FullPath(static_cast<std::uint32_t>(first))), "/r/x/a.doc");
    EXPECT_FALSE(RowMark(store, kViewSameSize, TRow{1}));
    ToggleRowMark(store, kViewSameSize, TRow{1});
    EXPECT_TRUE(RowMark(store, kViewSameSize, TRow{1}));
    EXPECT_FALSE(RowMark(store, kViewSameName, TRow{1}));
    EXPECT_EQ(RowGroupNumber(store, kViewSameSize, TRow{5}), 1);
    EXPECT_EQ(RowGroupNumber(store, kViewSameSize, TRow{7}), 2);
    EXPECT_EQ(RowNavigatorNumber(store, kViewSameSize, TRow{7}), 2);

    ASSERT_EQ(NavigatorCount(store, kViewSameSize), 2u);
    EXPECT_EQ(NavGroupNumber(store, kViewSameSize, TNavPos{0}), 1);
    EXPECT_EQ(NavFileCount(store, kViewSameSize, TNavPos{0}), 5u);
    EXPECT_EQ(NavTotalBytes(store, kViewSameSize, TNavPos{0}), 50u);
    EXPECT_EQ(NavCommonSize(store, kViewSameSize, TNavPos{0}), 10);
    EXPECT_EQ(NavName(store, kViewSameSize, TNavPos{0}), kNoNameText);
    EXPECT_EQ(NavFolderPath(store, kViewSameSize, TNavPos{0}), kNoNameText);
    EXPECT_EQ(NavMarkState(store, kViewSameSize, TNavPos{0}), 2);
    EXPECT_EQ(NavHeaderRow(store, kViewSameSize, TNavPos{0}), TRow{1});
    EXPECT_EQ(NavHeaderRow(store, kViewSameSize, TNavPos{1}), TRow{7});

    // Largest total first: the navigator and the row's navigator number follow.
    SortNavigator(store, kViewSameSize, 3, false);
    EXPECT_EQ(NavGroupNumber(store, kViewSameSize, TNavPos{0}), 2);
    EXPECT_EQ(NavHeaderRow(store, kViewSameSize, TNavPos{0}), TRow{7});
    EXPECT_EQ(RowNavigatorNumber(store, kViewSameSize, TRow{7}), 1);
    EXPECT_EQ(RowNavigatorNumber(store, kViewSameSize, TRow{0}), 2);

    // Same name: only dup.bin and b.txt/B.TXT share names.
    ASSERT_EQ(NavigatorCount(store, kViewSameName), 2u);
    // A group is named after the file that opened it in the name order.
    EXPECT_EQ(NavName(store, kViewSameName, TNavPos{0}), u"B.TXT");
    EXPECT_EQ(NavName(store, kViewSameName, TNavPos{1}), u"dup.bin");
    EXPECT_EQ(NavCommonSize(store, kViewSameName, TNavPos{1}), -1);
    EXPECT_EQ(NavTotalBytes(store, kViewSameName, TNavPos{1}), 120u);
    ASSERT_EQ(NavigatorCount(store, kViewSameNameSize), 1u);
    EXPECT_EQ(NavName(store, kViewSameNameSize, TNavPos{0}), u"b.txt");
    EXPECT_EQ(NavCommonSize(store, kViewSameNameSize, TNavPos{0}), 10);
}

TEST(Views, ZeroSizeNavigatorShowsFoldersAndSortsByCount) {
    TScanData store;
    test::BuildGroupedStore(store, {{u"/r/a/", u"1", 0},
                                    {u"/r/b/", u"1", 0},
                                    {u"/r/b/", u"2", 0},
                                    {u"/r/b/", u"3", 0},
                                    {u"/r/c/", u"1", 0},
                                    {u"/r/c/", u"2", 0}});
    ASSERT_EQ(NavigatorCount(store, kViewZeroSize), 3u);
    EXPECT_EQ(NavFolderPath(store, kViewZeroSize, TNavPos{0}), u"/r/a/");
    EXPECT_EQ(NavName(store, kViewZeroSize, TNavPos{0}), kNoNameText);
    EXPECT_EQ(NavCommonSize(store, kViewZeroSize, TNavPos{0}), -1);
    EXPECT_EQ(NavTotalBytes(store, kViewZeroSize, TNavPos{0}), 0u);
    SortNavigator(store, kViewZeroSize, 2, true);
    EXPECT_EQ(NavFolderPath(store, kViewZeroSize, TNavPos{0}), u"/r/a/");
    EXPECT_EQ(NavFolderPath(store, kViewZeroSize, TNavPos{1}), u"/r/c/");
    EXPECT_EQ(NavFolderPath(store, kViewZeroSize, TNavPos{2}), u"/r/b/");
    SortNavigator(store, kViewZeroSize, 2, false);
    EXPECT_EQ(NavFolderPath(store, kViewZeroSize, TNavPos{0}), u"/r/b/");
    EXPECT_EQ(NavFileCount(store, kViewZeroSize, TNavPos{0}), 3u);
    ExpectViewLayout(store, kViewZeroSize);
    EXPECT_EQ(ViewFigures(store, kViewZeroSize).m_fileRows, 6u);
    EXPECT_EQ(store.ZeroSizeFiles(), 6u);
}

TEST(Views, OutOfRangePositionsGiveNeutralValues) {
    TScanData empty;
    TScanData filled;
    test::BuildGroupedStore(filled, SmallFiles());
    test::AddContentViews(filled);
    for (TScanData* store : {&empty, &filled}) {
        for (TViewKind view : kAllViews) {
            const std::int64_t rows = RowCount(*store, view);
            const std::int64_t groups = NavigatorCount(*store, view);
            for (std::int64_t row :
                 {std::int64_t{-1}, rows, rows + 100, std::numeric_limits<std::int64_t>::max(),
                  std::numeric_limits<std::int64_t>::min()}) {
                SCOPED_TRACE(testing::Message() << "view " << view << " row " << row);
                EXPECT_EQ(RowFile(*store, view, TRow{row}), TFileIndex::kNone);
                EXPECT_FALSE(RowMark(*store, view, TRow{row}));
                EXPECT_EQ(RowGroupText(*store, view, TRow{row}), u"?grp");
                EXPECT_EQ(RowGroupNumber(*store, view, TRow{row}), 0);
                EXPECT_EQ(RowNavigatorNumber(*store, view, TRow{row}), -1);
                EXPECT_FALSE(ToggleRowMark(*store, view, TRow{row}));
            }
            for (std::int64_t pos :
                 {std::int64_t{-1}, groups, groups + 7, std::numeric_limits<std::int64_t>::max()}) {
                SCOPED_TRACE(testing::Message() << "view " << view << " position " << pos);
                EXPECT_EQ(NavGroupNumber(*store, view, TNavPos{pos}), 0);
                EXPECT_EQ(NavFileCount(*store, view, TNavPos{pos}), 0u);
                EXPECT_EQ(NavTotalBytes(*store, view, TNavPos{pos}), 0u);
                EXPECT_EQ(NavCommonSize(*store, view, TNavPos{pos}), -1);
                EXPECT_EQ(NavName(*store, view, TNavPos{pos}), u"?name");
                EXPECT_EQ(NavFolderPath(*store, view, TNavPos{pos}), u"?name");
                EXPECT_EQ(NavMarkState(*store, view, TNavPos{pos}), 0);
                EXPECT_EQ(NavHeaderRow(*store, view, TNavPos{pos}), TRow::kNone);
                EXPECT_FALSE(ToggleGroupMarks(*store, view, TNavPos{pos}));
            }
        }
    }
    EXPECT_EQ(test::MarkCountProblems(filled), "");
}

TEST(Views, UnknownViewCodesAreSameNameSize) {
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    const auto odd = static_cast<TViewKind>(3);
    EXPECT_EQ(RowCount(store, odd), RowCount(store, kViewSameNameSize));
    EXPECT_EQ(NavName(store, odd, TNavPos{0}), u"b.txt");
    SortNavigator(store, odd, 2, false);
    SortRows(store, odd, kRowKeyDate, false);
    ExpectViewLayout(store, kViewSameNameSize);
}

TEST(Views, TotalsAbove4GiBShowInFull) {
    constexpr std::uint64_t kBig = (std::uint64_t{1} << 32) + 5; // 4 GiB + 5
    TScanData store;
    test::BuildGroupedStore(store, {{u"/r/a/", u"big.iso", kBig},
                                    {u"/r/b/", u"big.iso", kBig},
                                    {u"/r/c/", u"small", 7},
                                    {u"/r/d/", u"other", 7}});
    const std::int32_t pos = 1; // size groups by ascending size: 7, then 4 GiB + 5
    EXPECT_EQ(NavTotalBytes(store, kViewSameSize, TNavPos{pos}), 2 * kBig);
    EXPECT_EQ(NavCommonSize(store, kViewSameSize, TNavPos{pos}), static_cast<std::int64_t>(kBig));
    EXPECT_EQ(RowGroupText(store, kViewSameSize,
                           TRow{NavHeaderRow(store, kViewSameSize, TNavPos{pos}).Value() - 1}),
              u"group #2 \"" + FormatNumber(static_cast<std::int64_t>(kBig)) +
                  u" bytes\" contains 2 files and " +
                  FormatNumber(2 * static_cast<std::int64_t>(kBig)) + u" bytes");
    const TWidestValues widest = WidestValues(store, kViewSameSize);
    EXPECT_EQ(widest.m_groupNumber, 2);
    EXPECT_EQ(widest.m_fileSize, kBig);
    EXPECT_EQ(widest.m_groupTotal, 2 * kBig);
    const TViewFigures figures = ViewFigures(store, kViewSameSize);
    EXPECT_EQ(figures.m_groups, 2u);
    EXPECT_EQ(figures.m_fileRows, 4u);
    EXPECT_EQ(figures.m_groupFiles, 4u);
    EXPECT_EQ(figures.m_groupBytes, 2 * kBig + 14);
    MarkAll(store, kViewSameSize, true);
    EXPECT_TRUE(AllRowsMarked(store, kViewSameSize));
    EXPECT_EQ(ViewFigures(store, kViewSameSize).m_markedBytes, 2 * kBig + 14);
}

TEST(Views, WidestValuesOfEveryView) {
    TScanData store;
    test::BuildGroupedStore(store, SmallFiles());
    struct TCase {
        TViewKind view;
        std::int32_t groupNumber;
        std::uint64_t fileSize;
        std::uint64_t groupTotal;
    };
    const TCase cases[] = {
        {kViewSameName, 2, 50, 120}, {kViewSameSize, 2, 50, 100}, {kViewSameNameSize, 1, 10, 20},
        {kViewZeroSize, 0, 0, 0},    {kViewFullClones, 0, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "view " << c.view);
        const TWidestValues widest = WidestValues(store, c.view);
        EXPECT_EQ(widest.m_groupNumber, c.groupNumber);
        EXPECT_EQ(widest.m_fileSize, c.fileSize);
        EXPECT_EQ(widest.m_groupTotal, c.groupTotal);
    }
}

TEST(Views, CellTextsOfSortedRows) {
    TScanData store;
    test::BuildGroupedStore(store, {{u"/r/a/", u"REPORT.DOC", 5, 100, kAttrHidden | kAttrReadOnly},
                                    {u"/r/b/", u"Report.doc", 5},
                                    {u"/r/a/", u".bashrc", 9},
                                    {u"/r/c/", u".BASHRC", 9}});
    SortRows(store, kViewSameName, kRowKeyPath, true);
    const auto cell = [&](std::int64_t row, int column) {
        std::int32_t file = RowFile(store, kViewSameName, TRow{row}).Value();
        return file < 0 ? std::u16string(u"header")
                        : FileCellText(store, kViewSameName, TFileIndex{file}, column);
    };
    // Group 1 is .bashrc (no extension sorts first), group 2 report.doc.
    EXPECT_EQ(cell(0, kGridColName), u"header");
    EXPECT_EQ(cell(1, kGridColName), u".bashrc");
    EXPECT_EQ(cell(1, kGridColExt), u"");
    EXPECT_EQ(cell(2, kGridColPath), u"/r/c/");
    EXPECT_EQ(cell(4, kGridColName), u"REPORT");
    EXPECT_EQ(cell(4, kGridColExt), u"DOC");
    EXPECT_EQ(cell(4, kGridColAttr), u"-hr-");
    EXPECT_EQ(cell(4, kGridColGroup), u"2");
    EXPECT_EQ(cell(5, kGridColPath), u"/r/b/");
    EXPECT_EQ(RowGroupText(store, kViewSameName, TRow{5}),
              u"group #2 \"REPORT.DOC\" contains 2 files and 10 bytes");
}

// ---- Orders checked against the chains over many random stores ----

// The chain of each key as letters: B base name, E extension, F folder,
// T last-write time, S size, M marked first.
const char* RowChain(int key) {
    switch (key) {
    case 3:
        return "EBFTS";
    case 4:
        return "SBEFT";
    case 5:
    case 9:
        return "TBES";
    case 6:
        return "FEBTS";
    case 7:
        return "FBE";
    case 10:
        return "MEBFT";
    default:
        return "BEFTS";
    }
}

// Base name and extension as the grouping compares them, from the name
// itself: upper-cased; a name without extension keeps a terminating zero
// in its base name.
struct TNameParts {
    std::u16string base;
    std::u16string ext;
};
TNameParts SplitName(std::u16string_view name) {
    const std::u16string upper = UpperCaseText(name);
    const std::size_t dot = upper.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0)
        return {upper + u'\0', u""};
    return {upper.substr(0, dot), upper.substr(dot)};
}

template <typename T>
int Cmp(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareFilesByChain(const TScanData& store, TViewKind view, std::uint32_t a, std::uint32_t b,
                        const char* chain) {
    const TNameParts na = SplitName(store.FileName(a));
    const TNameParts nb = SplitName(store.FileName(b));
    for (const char* k = chain; *k != 0; ++k) {
        int c = 0;
        switch (*k) {
        case 'B':
            c = Cmp(na.base, nb.base);
            break;
        case 'E':
            c = Cmp(na.ext, nb.ext);
            break;
        case 'F':
            c = Cmp(std::uint32_t{store.File(a).m_folder}, std::uint32_t{store.File(b).m_folder});
            break;
        case 'T':
            c = Cmp(store.FileLastWrite(a), store.FileLastWrite(b));
            break;
        case 'S':
            c = Cmp(store.FileSize(a), store.FileSize(b));
            break;
        case 'M':
            c = Cmp(!store.IsMarked(a, view), !store.IsMarked(b, view));
            break;
        }
        if (c != 0)
            return c;
    }
    return 0;
}

// The navigator chains of the four families by code 0, 1, ...; codes past
// the end take the last. S state, N name, E extension, C count, T total,
// Z common size, # group number.
const std::vector<std::string>& NavChains(TViewKind view) {
    static const std::vector<std::string> kName = {"SNECT", "#N",    "NETC#",
                                                   "ENTC#", "TCNS#", "CTSN#"};
    static const std::vector<std::string> kSize = {"SZT", "#Z", "ZTC#", "TCZS#", "CTSZ#"};
    static const std::vector<std::string> kNameSize = {"SNECT", "#N",    "NETC#", "ENTC#",
                                                       "ZCNET", "TCNS#", "CTSN#"};
    static const std::vector<std::string> kZero = {"SC#", "#C", "CS#"};
    switch (view) {
    case kViewSameName:
        return kName;
    case kViewSameSize:
    case kViewSameContent:
        return kSize;
    case kViewZeroSize:
        return kZero;
    default:
        return kNameSize;
    }
}

int CompareGroupsByChain(const TScanData& store, TViewKind view, std::int64_t pa, std::int64_t pb,
                         const std::string& chain) {
    const TNameParts na = SplitName(NavName(store, view, TNavPos{pa}));
    const TNameParts nb = SplitName(NavName(store, view, TNavPos{pb}));
    const auto rank = [](std::uint8_t state) { return state == 1 ? 0 : (state == 2 ? 1 : 2); };
    for (char k : chain) {
        int c = 0;
        switch (k) {
        case 'S':
            c = Cmp(rank(NavMarkState(store, view, TNavPos{pa})),
                    rank(NavMarkState(store, view, TNavPos{pb})));
            break;
        case 'N':
            c = Cmp(na.base, nb.base);
            break;
        case 'E':
            c = Cmp(na.ext, nb.ext);
            break;
        case 'C':
            c = Cmp(NavFileCount(store, view, TNavPos{pa}), NavFileCount(store, view, TNavPos{pb}));
            break;
        case 'T':
            c = Cmp(NavTotalBytes(store, view, TNavPos{pa}),
                    NavTotalBytes(store, view, TNavPos{pb}));
            break;
        case 'Z':
            c = Cmp(NavCommonSize(store, view, TNavPos{pa}),
                    NavCommonSize(store, view, TNavPos{pb}));
            break;
        case '#':
            c = Cmp(NavGroupNumber(store, view, TNavPos{pa}),
                    NavGroupNumber(store, view, TNavPos{pb}));
            break;
        }
        if (c != 0)
            return c;
    }
    return Cmp(NavGroupNumber(store, view, TNavPos{pa}), NavGroupNumber(store, view, TNavPos{pb}));
}

// Names chosen to collide in base name, extension and letter case, sizes
// to collide and to reach past 32 bits, few folders and times.
std::vector<TStoreFile> RandomFiles(std::mt19937& rng) {
    static const char16_t* const kNames[] = {u"a.txt",  u"A.TXT",  u"b.txt",      u"a.doc",
                                             u"readme", u"README", u"README.txt", u".bashrc",
                                             u"b",      u"b.DOC",  u"x.tar.gz",   u"X.gz"};
    static const char16_t* const kFolders[] = {u"/r/", u"/r/p/", u"/r/q/", u"/r/p/s/", u"/s/"};
    static const std::uint64_t kSizes[] = {0, 0, 5, 10, 10, 20, (std::uint64_t{1} << 32) + 1};
    std::vector<TStoreFile> files;
    const int count = std::uniform_int_distribution<int>(20, 80)(rng);
    for (int i = 0; i < count; ++i) {
        TStoreFile f;
        f.folder = kFolders[rng() % std::size(kFolders)];
        f.name = kNames[rng() % std::size(kNames)];
        f.size = kSizes[rng() % std::size(kSizes)];
        f.time = 100 + static_cast<TFileTime>(rng() % 4);
        bool duplicate = false;
        for (const TStoreFile& other : files)
            duplicate = duplicate || (other.folder == f.folder && other.name == f.name);
        if (!duplicate)
            files.push_back(f);
    }
    return files;
}

void MarkRandomly(TScanData& store, std::mt19937& rng) {
    for (TViewKind view : kAllViews) {
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            if (rng() % 3 == 0)
                SetFileMark(store, view, TFileIndex{i}, true);
        }
        // Some groups wholly marked, so that all three states occur.
        for (std::uint32_t p = 0; p < NavigatorCount(store, view); ++p) {
            if (rng() % 4 == 0 && NavMarkState(store, view, TNavPos{p}) != 1)
                ToggleGroupMarks(store, view, TNavPos{p});
        }
    }
}

TEST(Views, RowSortsFollowTheirChainsInRandomStores) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 30; ++round) {
        TScanData store;
        test::BuildGroupedStore(store, RandomFiles(rng));
        test::AddContentViews(store);
        MarkRandomly(store, rng);
        for (TViewKind view : kAllViews) {
            for (int key : {0, 2, 3, 4, 5, 6, 7, 9, 10, 11}) {
                for (bool ascending : {true, false}) {
                    SCOPED_TRACE(testing::Message() << "round " << round << " view " << view
                                                    << " key " << key << " asc " << ascending);
                    std::vector<std::int64_t> before;
                    for (const TViewRowItem& row : store.Rows(view))
                        before.push_back(std::int64_t{row.m_file} << 32 |
                                         std::uint32_t(row.m_group));
                    SortRows(store, view, key, ascending);
                    std::vector<std::int64_t> after;
                    for (const TViewRowItem& row : store.Rows(view))
                        after.push_back(std::int64_t{row.m_file} << 32 |
                                        std::uint32_t(row.m_group));
                    std::sort(before.begin(), before.end());
                    std::sort(after.begin(), after.end());
                    ASSERT_EQ(before, after);
                    ExpectViewLayout(store, view);
                    for (std::uint32_t r = 1; r < RowCount(store, view); ++r) {
                        const std::int32_t a = RowFile(store, view, TRow{r - 1}).Value();
                        const std::int32_t b = RowFile(store, view, TRow{r}).Value();
                        if (a < 0 || b < 0)
                            continue;
                        int c = CompareFilesByChain(store, view, static_cast<std::uint32_t>(a),
                                                    static_cast<std::uint32_t>(b), RowChain(key));
                        EXPECT_TRUE(ascending ? c <= 0 : c >= 0) << "rows " << r - 1 << ", " << r;
                    }
                }
            }
        }
        EXPECT_EQ(test::MarkCountProblems(store), "");
    }
}

TEST(Views, NavigatorSortsFollowTheirFamilyChainsInRandomStores) {
    std::mt19937 rng(7051);
    for (int round = 0; round < 30; ++round) {
        TScanData store;
        test::BuildGroupedStore(store, RandomFiles(rng));
        test::AddContentViews(store);
        MarkRandomly(store, rng);
        for (TViewKind view : kAllViews) {
            const std::vector<std::string>& chains = NavChains(view);
            for (int code = -1; code <= 8; ++code) {
                const std::string& chain =
                    code >= 0 && static_cast<std::size_t>(code) < chains.size()
                        ? chains[static_cast<std::size_t>(code)]
                        : chains.back();
                for (bool ascending : {true, false}) {
                    SCOPED_TRACE(testing::Message() << "round " << round << " view " << view
                                                    << " code " << code << " asc " << ascending);
                    SortNavigator(store, view, code, ascending);
                    ExpectViewLayout(store, view);
                    std::vector<std::int32_t> seen;
                    for (std::uint32_t p = 0; p < NavigatorCount(store, view); ++p)
                        seen.push_back(NavGroupNumber(store, view, TNavPos{p}));
                    std::sort(seen.begin(), seen.end());
                    for (std::size_t i = 0; i < seen.size(); ++i)
                        ASSERT_EQ(seen[i], static_cast<std::int32_t>(i + 1));
                    for (std::uint32_t p = 1; p < NavigatorCount(store, view); ++p) {
                        int c = CompareGroupsByChain(store, view, p - 1, p, chain);
                        EXPECT_TRUE(ascending ? c < 0 : c > 0) << "positions " << p - 1;
                    }
                }
            }
        }
        EXPECT_EQ(test::MarkCountProblems(store), "");
    }
}

TEST(Views, NavigatorChainsByHand) {
    // Same size: group 1 size 5 x3 (total 15), group 2 size 10 x2 (20),
    // group 3 size 20 x2 (40).
    TScanData store;
    test::BuildGroupedStore(store, {{u"/r/a/", u"1", 5},
                                    {u"/r/b/", u"2", 5},
                                    {u"/r/c/", u"3", 5},
                                    {u"/r/a/", u"4", 10},
                                    {u"/r/b/", u"5", 10},
                                    {u"/r/a/", u"6", 20},
                                    {u"/r/b/", u"7", 20}});
    struct TCase {
        int code;
        bool ascending;
        std::vector<std::int32_t> groups;
    };
    const TCase cases[] = {
        {2, true, {1, 2, 3}},  {2, false, {3, 2, 1}}, {3, true, {1, 2, 3}},  {4, true, {2, 3, 1}},
        {4, false, {1, 3, 2}}, {9, true, {2, 3, 1}},  {1, false, {3, 2, 1}},
    };
    for (const TCase& c : cases) {
        SortNavigator(store, kViewSameSize, c.code, c.ascending);
        ExpectViewLayout(store, kViewSameSize);
        std::vector<std::int32_t> groups;
        for (std::uint32_t p = 0; p < NavigatorCount(store, kViewSameSize); ++p)
            groups.push_back(NavGroupNumber(store, kViewSameSize, TNavPos{p}));
        EXPECT_EQ(groups, c.groups) << "code " << c.code << " asc " << c.ascending;
    }
    // Code 0: all marked first, then some, then none.
    SortNavigator(store, kViewSameSize, 1, true);
    ToggleGroupMarks(store, kViewSameSize, TNavPos{1});
    ToggleRowMark(store, kViewSameSize,
                  TRow{NavHeaderRow(store, kViewSameSize, TNavPos{0})}); // one file of group 1
    SortNavigator(store, kViewSameSize, 0, true);
    std::vector<std::int32_t> groups;
    for (std::uint32_t p = 0; p < NavigatorCount(store, kViewSameSize); ++p)
        groups.push_back(NavGroupNumber(store, kViewSameSize, TNavPos{p}));
    EXPECT_EQ(groups, (std::vector<std::int32_t>{2, 1, 3}));
    EXPECT_EQ(NavMarkState(store, kViewSameSize, TNavPos{0}), 1);
    EXPECT_EQ(NavMarkState(store, kViewSameSize, TNavPos{1}), 2);
    EXPECT_EQ(NavMarkState(store, kViewSameSize, TNavPos{2}), 0);
}

} // namespace
} // namespace vdx
