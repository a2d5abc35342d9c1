#include "operations/VDX_unit_OperationList.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/VDX_unit_Marks.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Store.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

using test::BuildGroupedStore;
using test::TStoreFile;

std::int32_t FindFile(const TScanData& store, std::u16string_view path) {
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        if (store.FullPath(i) == path)
            return static_cast<std::int32_t>(i);
    return -1;
}

void Mark(TScanData& store, TViewKind view, std::u16string_view path) {
    const std::int32_t file = FindFile(store, path);
    ASSERT_GE(file, 0) << ToUtf8(path);
    ASSERT_TRUE(SetFileMark(store, view, TFileIndex{file}, true)) << ToUtf8(path);
}

// The full paths of the list's rows, in row order.
std::vector<std::string> Paths(const TOperationList& list) {
    std::vector<std::string> out;
    for (std::int32_t row = 0; row < list.Count(); ++row)
        out.push_back(ToUtf8(list.FolderPath(row)) + ToUtf8(list.Name(row)));
    return out;
}

std::vector<std::string> Paths(const TAlertList& list) {
    std::vector<std::string> out;
    for (std::int32_t row = 0; row < list.Count(); ++row)
        out.push_back(ToUtf8(list.FolderPath(row)) + ToUtf8(list.Name(row)));
    return out;
}

// Three folders with the same two names and sizes in each, and a pair that
// is only equal in name.
class OperationListTest : public ::testing::Test {
protected:
    OperationListTest() {
        BuildGroupedStore(m_store, {
                                       {u"/a/", u"photo.jpg", 100, 300},
                                       {u"/b/", u"photo.jpg", 100, 200},
                                       {u"/c/", u"photo.jpg", 100, 100},
                                       {u"/a/", u"notes.txt", 7, 100},
                                       {u"/b/", u"notes.txt", 7, 100},
                                       {u"/a/", u"lone.dat", 5, 100},
                                       {u"/c/", u"lone.dat", 9, 100},
                                   });
    }
    TScanData m_store;
};

TEST_F(OperationListTest, BuildTakesTheMarkedGroupedFilesOfThatViewOnly) {
    Mark(m_store, kViewSameSize, u"/a/photo.jpg");
    Mark(m_store, kViewSameSize, u"/b/notes.txt");
    Mark(m_store, kViewSameName, u"/c/photo.jpg");
    Mark(m_store, kViewSameName, u"/a/lone.dat");
    // A mark bit on a file that has no group in the view is not taken.
    m_store.File(kTestKey, static_cast<std::uint32_t>(FindFile(m_store, u"/c/lone.dat"))).m_marks |=
        ViewMarkBit(kViewSameSize);

    TOperationList list(m_store);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    list.Sort(kOpSortFolder, true);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/a/photo.jpg", "/b/notes.txt"}));
    EXPECT_EQ(list.View(), kViewSameSize);
    EXPECT_EQ(list.TotalBytes(), 107u);
    EXPECT_EQ(list.CheckedCount(), 0);
    EXPECT_FALSE(list.Checked(0));

    ASSERT_EQ(list.Build(kViewSameName), 0);
    list.Sort(kOpSortFolder, true);
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/a/lone.dat", "/c/photo.jpg"}));
    EXPECT_EQ(list.TotalBytes(), 105u);
    EXPECT_TRUE(list.MatchesStore());

    // A view without marks gives an empty list that holds almost no memory.
    ASSERT_EQ(list.Build(kViewZeroSize), 0);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TotalBytes(), 0u);
    EXPECT_EQ(list.CapacityEntries(), 1u);
    EXPECT_EQ(list.LongestPath(), 0);
    EXPECT_EQ(list.LongestPathRow(), -1);
}

TEST_F(OperationListTest, RowsOutsideTheListAndInvalidatedEntriesAnswerNeutralValues) {
    Mark(m_store, kViewSameSize, u"/a/photo.jpg");
    TOperationList list(m_store);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    EXPECT_EQ(list.Name(0), u"photo.jpg");
    EXPECT_EQ(list.FolderPath(0), u"/a/");
    EXPECT_EQ(list.Size(0), 100);
    TFileTime time = 0;
    std::uint32_t attributes = 0;
    EXPECT_TRUE(list.LastWrite(0, time));
    EXPECT_EQ(time, 300);
    EXPECT_TRUE(list.Attributes(0, attributes));

    for (std::int64_t row : {std::int64_t{-1}, std::int64_t{1}, std::int64_t{1} << 40}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(list.FileOf(row), -1);
        EXPECT_EQ(list.Name(row), u"?name");
        EXPECT_EQ(list.FolderPath(row), u"?name");
        EXPECT_EQ(list.Size(row), -1);
        time = 77;
        EXPECT_FALSE(list.LastWrite(row, time));
        EXPECT_EQ(time, 77);
        EXPECT_FALSE(list.Attributes(row, attributes));
        EXPECT_FALSE(list.Checked(row));
        EXPECT_FALSE(list.ToggleCheck(row));
    }
    EXPECT_EQ(list.CheckedCount(), 0);

    // After a re-index the file indices mean other files: the entries keep
    // the run's figures but name no file any more.
    list.Invalidate();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.TotalBytes(), 100u);
    EXPECT_EQ(list.Name(0), u"?name");
    EXPECT_EQ(list.Size(0), -1);
    EXPECT_FALSE(list.MatchesStore());
}

TEST_F(OperationListTest, ListNoLongerMatchesAStoreThatChangedUnderIt) {
    Mark(m_store, kViewSameSize, u"/a/photo.jpg");
    Mark(m_store, kViewSameSize, u"/b/photo.jpg");
    TOperationList list(m_store);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    EXPECT_TRUE(list.MatchesStore());
    // Unmarked after the build.
    ASSERT_TRUE(SetFileMark(
        m_store, kViewSameSize,
        TFileIndex{static_cast<std::uint32_t>(FindFile(m_store, u"/b/photo.jpg"))}, false));
    EXPECT_FALSE(list.MatchesStore());
    Mark(m_store, kViewSameSize, u"/b/photo.jpg");
    EXPECT_TRUE(list.MatchesStore());
    // A new search empties the store.
    m_store.ClearForNewSearch();
    EXPECT_FALSE(list.MatchesStore());
}

TEST_F(OperationListTest, ChecksKeepTheirCountsAndBytes) {
    MarkAll(m_store, kViewSameName, true);
    TOperationList list(m_store);
    ASSERT_EQ(list.Build(kViewSameName), 0);
    list.Sort(kOpSortFolder, true);
    // The folder key puts the extension before the base name.
    ASSERT_EQ(Paths(list), (std::vector<std::string>{"/a/lone.dat", "/a/photo.jpg", "/a/notes.txt",
                                                     "/b/photo.jpg", "/b/notes.txt", "/c/lone.dat",
                                                     "/c/photo.jpg"}));
    ASSERT_EQ(list.TotalBytes(), 328u);

    EXPECT_TRUE(list.ToggleCheck(1));
    EXPECT_TRUE(list.ToggleCheck(5));
    EXPECT_EQ(list.CheckedCount(), 2);
    EXPECT_EQ(list.CheckedBytes(), 109u);
    EXPECT_TRUE(list.ToggleCheck(1));
    EXPECT_EQ(list.CheckedCount(), 1);
    EXPECT_EQ(list.CheckedBytes(), 9u);

    list.SetAllChecks(true);
    EXPECT_EQ(list.CheckedCount(), 7);
    EXPECT_EQ(list.CheckedBytes(), 328u);
    list.SetAllChecks(true); // counted once, not twice
    EXPECT_EQ(list.CheckedCount(), 7);
    list.SetAllChecks(false);
    EXPECT_EQ(list.CheckedCount(), 0);
    EXPECT_EQ(list.CheckedBytes(), 0u);

    struct TCase {
        const char16_t* pattern;
        bool byPath;
        std::vector<std::int32_t> checkedRows;
        std::uint64_t bytes;
    };
    const std::vector<TCase> cases = {
        {u"PHOTO", false, {1, 3, 6}, 300},
        {u"o.J", false, {1, 3, 6}, 300},          // any letter case, inside the name
        {u"/b/", true, {3, 4}, 107},              // in the folder path
        {u"notes", true, {}, 0},                  // a name is not searched by path
        {u"nowhere", false, {}, 0},               // found nowhere: everything unchecked
        {u"", false, {0, 1, 2, 3, 4, 5, 6}, 328}, // the empty text occurs everywhere
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(ToUtf8(c.pattern));
        list.SetAllChecks(true);
        list.CheckByPattern(c.pattern, c.byPath);
        std::vector<std::int32_t> rows;
        for (std::int32_t row = 0; row < list.Count(); ++row)
            if (list.Checked(row))
                rows.push_back(row);
        EXPECT_EQ(rows, c.checkedRows);
        EXPECT_EQ(list.CheckedCount(), static_cast<std::int32_t>(c.checkedRows.size()));
        EXPECT_EQ(list.CheckedBytes(), c.bytes);
    }
}

TEST(OperationListExclude, ExcludingCheckedRowsKeepsOrderAndTotalsBeyondFourGigabytes) {
    constexpr std::uint64_t kGiB = 1ull << 30;
    TScanData store;
    BuildGroupedStore(store, {
                                 {u"/x/", u"big.iso", 3 * kGiB},
                                 {u"/y/", u"big.iso", 3 * kGiB},
                                 {u"/z/", u"big.iso", 3 * kGiB},
                                 {u"/x/", u"small", 10},
                                 {u"/y/", u"small", 10},
                             });
    MarkAll(store, kViewSameName, true);
    TOperationList list(store);
    ASSERT_EQ(list.Build(kViewSameName), 0);
    list.Sort(kOpSortFolder, true);
    ASSERT_EQ(list.TotalBytes(), 9 * kGiB + 20);
    // Check the two big files of /x/ and /y/: 6 GiB checked.
    for (std::int32_t row = 0; row < list.Count(); ++row)
        if (list.Name(row) == u"big.iso" && list.FolderPath(row) != u"/z/")
            list.ToggleCheck(row);
    ASSERT_EQ(list.CheckedBytes(), 6 * kGiB);
    list.ExcludeChecked();
    EXPECT_EQ(Paths(list), (std::vector<std::string>{"/x/small", "/y/small", "/z/big.iso"}));
    EXPECT_EQ(list.TotalBytes(), 3 * kGiB + 20);
    EXPECT_EQ(list.CheckedCount(), 0);
    EXPECT_EQ(list.CheckedBytes(), 0u);
    for (std::int32_t row = 0; row < list.Count(); ++row)
        EXPECT_FALSE(list.Checked(row));

    list.SetAllChecks(true);
    list.ExcludeChecked();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TotalBytes(), 0u);
    EXPECT_EQ(list.CapacityEntries(), 1u);
}

TEST(OperationListSort, EveryKeyFollowsItsChain) {
    TScanData store;
    // Names compare without letter case: "b.TXT" and "B.txt" are one name.
    BuildGroupedStore(store, {
                                 {u"/p/", u"b.txt", 20, 500},
                                 {u"/q/", u"B.txt", 10, 500},
                                 {u"/p/", u"a.zip", 10, 700},
                                 {u"/q/", u"a.zip", 20, 100},
                                 {u"/r/", u"a.txt", 10, 300},
                                 {u"/r/", u"b.zip", 30, 300},
                                 {u"/s/", u"b.zip", 30, 300},
                                 {u"/s/", u"a.txt", 99, 900},
                             });
    MarkAll(store, kViewSameName, true);
    TOperationList list(store);
    ASSERT_EQ(list.Build(kViewSameName), 0);
    ASSERT_EQ(list.Count(), 8);
    list.Sort(kOpSortFolder, true);
    list.ToggleCheck(0); // /p/b.txt
    list.ToggleCheck(6); // /s/a.txt

    struct TCase {
        TOperationSortKey key;
        std::vector<std::string> order;
    };
    const std::vector<TCase> cases = {
        {kOpSortName,
         {"/r/a.txt", "/s/a.txt", "/p/a.zip", "/q/a.zip", "/p/b.txt", "/q/B.txt", "/r/b.zip",
          "/s/b.zip"}},
        {kOpSortExtension,
         {"/r/a.txt", "/s/a.txt", "/p/b.txt", "/q/B.txt", "/p/a.zip", "/q/a.zip", "/r/b.zip",
          "/s/b.zip"}},
        // Equal sizes: base name, then extension, then folder.
        {kOpSortSize,
         {"/r/a.txt", "/p/a.zip", "/q/B.txt", "/q/a.zip", "/p/b.txt", "/r/b.zip", "/s/b.zip",
          "/s/a.txt"}},
        {kOpSortTime,
         {"/q/a.zip", "/r/a.txt", "/r/b.zip", "/s/b.zip", "/p/b.txt", "/q/B.txt", "/p/a.zip",
          "/s/a.txt"}},
        // Folder, then extension before base name.
        {kOpSortFolder,
         {"/p/b.txt", "/p/a.zip", "/q/B.txt", "/q/a.zip", "/r/a.txt", "/r/b.zip", "/s/a.txt",
          "/s/b.zip"}},
        {kOpSortCheck,
         {"/s/a.txt", "/p/b.txt", "/r/a.txt", "/p/a.zip", "/q/a.zip", "/q/B.txt", "/r/b.zip",
          "/s/b.zip"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.key);
        list.Sort(c.key, true);
        EXPECT_EQ(Paths(list), c.order);
        list.Sort(c.key, false);
        std::vector<std::string> reversed(c.order.rbegin(), c.order.rend());
        EXPECT_EQ(Paths(list), reversed);
        // Checks travel with their files.
        EXPECT_EQ(list.CheckedCount(), 2);
        for (std::int32_t row = 0; row < list.Count(); ++row) {
            const bool checked = (list.FolderPath(row) == u"/p/" && list.Name(row) == u"b.txt") ||
                                 (list.FolderPath(row) == u"/s/" && list.Name(row) == u"a.txt");
            EXPECT_EQ(list.Checked(row), checked) << row;
        }
    }

    EXPECT_EQ(OperationSortKeyOfColumn(10), kOpSortCheck);
    EXPECT_EQ(OperationSortKeyOfColumn(11), kOpSortGroup);
    EXPECT_EQ(OperationSortKeyOfColumn(12), kOpSortName);
    EXPECT_EQ(OperationSortKeyOfColumn(13), kOpSortExtension);
    EXPECT_EQ(OperationSortKeyOfColumn(14), kOpSortFolder);
    EXPECT_EQ(OperationSortKeyOfColumn(15), kOpSortSize);
    EXPECT_EQ(OperationSortKeyOfColumn(16), kOpSortTime);
    EXPECT_EQ(OperationSortKeyOfColumn(17), kOpSortName);
    EXPECT_EQ(OperationSortKeyOfColumn(99), kOpSortName);
}

TEST(OperationListLongestPath, FirstOfTheLongestWins) {
    TScanData store;
    BuildGroupedStore(store, {
                                 {u"/long/", u"ab", 1},
                                 {u"/lo/", u"abcd", 1},
                                 {u"/l/", u"ab", 1},
                             });
    MarkAll(store, kViewSameSize, true);
    TOperationList list(store);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    list.Sort(kOpSortFolder, true); // /l/ab, /lo/abcd, /long/ab
    EXPECT_EQ(list.LongestPath(), 8);
    EXPECT_EQ(list.LongestPathRow(), 1);
    EXPECT_EQ(list.LongestPathText(), u"/lo/abcd");
    list.Sort(kOpSortFolder, false);
    EXPECT_EQ(list.LongestPath(), 8);
    EXPECT_EQ(list.LongestPathText(), u"/long/ab");
}

TEST(AlertList, OnlyGroupsListedWholeAreKept) {
    TScanData store;
    BuildGroupedStore(store, {
                                 {u"/a/", u"x", 10},
                                 {u"/b/", u"x", 10},
                                 {u"/c/", u"x", 10},
                                 {u"/a/", u"y", 20},
                                 {u"/b/", u"y", 20},
                                 {u"/c/", u"y", 20},
                                 {u"/a/", u"z", 30},
                                 {u"/b/", u"z", 30},
                             });
    // x: two of three listed; y: all three; z: both.
    for (const char16_t* path : {u"/a/x", u"/b/x", u"/a/y", u"/b/y", u"/c/y", u"/a/z", u"/b/z"})
        Mark(store, kViewSameSize, path);
    TOperationList list(store);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    TAlertList alerts(store);
    ASSERT_EQ(alerts.Build(list, kViewSameSize), 0);
    EXPECT_EQ(alerts.GroupsInList(), 3);
    EXPECT_EQ(alerts.FullyListedGroups(), 2);
    EXPECT_EQ(alerts.Count(), 5);
    EXPECT_EQ(alerts.TotalBytes(), 3u * 20 + 2u * 30);
    alerts.Sort(kOpSortFolder, true);
    EXPECT_EQ(Paths(alerts), (std::vector<std::string>{"/a/y", "/a/z", "/b/y", "/b/z", "/c/y"}));
    alerts.Sort(kOpSortGroup, true);
    int changes = 0;
    for (std::int32_t row = 1; row < alerts.Count(); ++row) {
        EXPECT_LE(alerts.GroupNumber(row - 1), alerts.GroupNumber(row));
        changes += alerts.GroupNumber(row - 1) != alerts.GroupNumber(row) ? 1 : 0;
    }
    EXPECT_EQ(changes, 1) << "each group's files stand together";
    EXPECT_GT(alerts.GroupNumber(0), 0);
    EXPECT_EQ(alerts.GroupNumber(5), 0);
    EXPECT_EQ(alerts.Name(5), u"?name");
    EXPECT_EQ(alerts.Size(-1), -1);

    // Listing the third x completes its group.
    Mark(store, kViewSameSize, u"/c/x");
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    ASSERT_EQ(alerts.Build(list, kViewSameSize), 0);
    EXPECT_EQ(alerts.FullyListedGroups(), 3);
    EXPECT_EQ(alerts.Count(), 8);

    // Nothing listed: nothing to alert about.
    ClearViewMarks(store, kViewSameSize);
    ASSERT_EQ(list.Build(kViewSameSize), 0);
    ASSERT_EQ(alerts.Build(list, kViewSameSize), 0);
    EXPECT_EQ(alerts.Count(), 0);
    EXPECT_EQ(alerts.GroupsInList(), 0);
    EXPECT_EQ(alerts.TotalBytes(), 0u);
}

} // namespace
} // namespace vdx
