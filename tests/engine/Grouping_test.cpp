#include "engine/VDX_unit_Grouping.h"

#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::ReadAll;

struct TFileSpec {
    std::u16string folder;
    std::u16string name;
    std::uint64_t size;
    TFileTime time = 100;
};

// Fills a store the way the folder scan does: folders in discovery order,
// each file added to its folder.
void Fill(TScanData& store, const std::vector<TFileSpec>& files) {
    for (const TFileSpec& f : files) {
        std::int32_t folder = -1;
        for (std::uint32_t i = 0; i < store.FolderCount(); ++i) {
            if (store.FolderPath(i) == f.folder)
                folder = static_cast<std::int32_t>(i);
        }
        if (folder < 0)
            folder = store.AddFolder(0, 0, 0, store.FolderCount() == 0, f.folder);
        ASSERT_EQ(store.AddFile(0, static_cast<std::uint32_t>(folder), f.name, f.size, f.time,
                                kAttrArchive),
                  0);
    }
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// The group's members as "folder+name" texts, in row order.
std::vector<std::string> Members(const TScanData& store, TViewKind view, std::uint32_t group) {
    std::vector<std::string> out;
    for (const TViewRowItem& row : store.Rows(view)) {
        if (row.m_group == static_cast<std::int32_t>(group) && row.m_file >= 0)
            out.push_back(Utf8(store.FullPath(static_cast<std::uint32_t>(row.m_file))));
    }
    return out;
}

// Checks what every view must satisfy whatever its content: rows grouped by
// ascending group index with the header first, header-row fields pointing at
// the headers, group file counts and file groups agreeing with the rows, and
// the navigator order listing every group once.
void CheckViewInvariants(const TScanData& store, TViewKind view) {
    SCOPED_TRACE(static_cast<int>(view));
    const auto& rows = store.Rows(view);
    std::uint32_t groups = store.GroupCount(view);
    std::vector<std::uint32_t> counted(groups, 0);
    std::int32_t previousGroup = -1;
    std::uint32_t fileRows = 0;
    for (std::uint32_t r = 0; r < rows.Count(); ++r) {
        TViewRowItem row = rows[r];
        ASSERT_GE(row.m_group, 0);
        ASSERT_LT(static_cast<std::uint32_t>(row.m_group), groups);
        if (row.m_file < 0) {
            EXPECT_EQ(row.m_group, previousGroup + 1) << "row " << r;
            EXPECT_EQ(+store.GroupHead(view, static_cast<std::uint32_t>(row.m_group)).m_headerRow,
                      static_cast<std::int32_t>(r + 1));
            previousGroup = row.m_group;
        } else {
            EXPECT_EQ(row.m_group, previousGroup) << "row " << r;
            EXPECT_EQ(store.FileGroup(static_cast<std::uint32_t>(row.m_file), view), row.m_group);
            ++counted[static_cast<std::uint32_t>(row.m_group)];
            ++fileRows;
        }
    }
    EXPECT_EQ(store.Counters(view).m_fileRows, fileRows);
    for (std::uint32_t g = 0; g < groups; ++g) {
        EXPECT_EQ(+store.GroupHead(view, g).m_fileCount, counted[g]) << "group " << g;
        if (view != kViewZeroSize) {
            EXPECT_GE(counted[g], 2u);
        }
        EXPECT_EQ(+store.GroupHead(view, g).m_navPosition, static_cast<std::int32_t>(g));
        EXPECT_EQ(store.Order(view)[g], static_cast<std::int32_t>(g));
    }
    std::uint32_t grouped = 0;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        grouped += store.FileGroup(i, view) >= 0 ? 1 : 0;
    EXPECT_EQ(grouped, fileRows);
}

void CheckAllViews(const TScanData& store) {
    for (TViewKind v : {kViewSameName, kViewSameSize, kViewSameNameSize, kViewZeroSize})
        CheckViewInvariants(store, v);
}

TEST(Grouping, ScanViewsFromTheEdgeCases) {
    TScanData store;
    Fill(store, {
                    {u"/r/", u"Photo.JPG", 500},
                    {u"/r/b/", u"photo.jpg", 500}, // same name and size as above
                    {u"/r/", u"README", 42},
                    {u"/r/b/", u"README.TXT", 42}, // same size, different name
                    {u"/r/", u"notes.txt", 7},
                    {u"/r/b/", u"NOTES.txt", 9}, // same name, different size
                    {u"/r/", u"empty1", 0},
                    {u"/r/", u"empty2", 0},
                    {u"/r/b/", u"empty3", 0},
                    {u"/r/b/", u"unique.bin", 12345},
                });
    ASSERT_TRUE(RunGrouping(store));
    CheckAllViews(store);

    // Same size: 42 (README, README.TXT) then 500 (the photos), by ascending size.
    ASSERT_EQ(store.SizeGroups().Count(), 2u);
    EXPECT_EQ(+store.SizeGroups()[0].m_size, 42u);
    EXPECT_EQ(+store.SizeGroups()[1].m_size, 500u);
    EXPECT_EQ(+store.SizeGroups()[1].m_totalBytes, 1000u);
    EXPECT_EQ(Members(store, kViewSameSize, 0),
              (std::vector<std::string>{"/r/b/README.TXT", "/r/README"}));

    // Same name: notes (7 + 9 bytes) and photo; README and README.TXT are not one name.
    ASSERT_EQ(store.NameGroups().Count(), 2u);
    EXPECT_EQ(Members(store, kViewSameName, 0),
              (std::vector<std::string>{"/r/notes.txt", "/r/b/NOTES.txt"}));
    EXPECT_EQ(+store.NameGroups()[0].m_totalBytes, 16u);
    EXPECT_EQ(Members(store, kViewSameName, 1),
              (std::vector<std::string>{"/r/Photo.JPG", "/r/b/photo.jpg"}));
    // The group's name is the name of the file that created it.
    const TNameGroupItem& photo = store.NameGroups()[1];
    EXPECT_EQ(std::u16string_view(store.Pool().At(photo.m_namePos), photo.m_nameLength / 2u),
              u"Photo.JPG");

    // Same name-size: only the photos.
    ASSERT_EQ(store.NameSizeGroups().Count(), 1u);
    EXPECT_EQ(+store.NameSizeGroups()[0].m_size, 500u);
    EXPECT_EQ(Members(store, kViewSameNameSize, 0),
              (std::vector<std::string>{"/r/Photo.JPG", "/r/b/photo.jpg"}));

    // Zero size: one group per folder, one of them with a single file.
    EXPECT_EQ(store.ZeroSizeFiles(), 3u);
    ASSERT_EQ(store.FolderGroups().Count(), 2u);
    EXPECT_EQ(Members(store, kViewZeroSize, 0),
              (std::vector<std::string>{"/r/empty1", "/r/empty2"}));
    EXPECT_EQ(Members(store, kViewZeroSize, 1), (std::vector<std::string>{"/r/b/empty3"}));

    // Totals.
    EXPECT_EQ(store.Counters(kViewSameSize).m_groupFiles, 4u);
    EXPECT_EQ(store.Counters(kViewSameSize).m_groupBytes, 1084u);
    EXPECT_EQ(store.Counters(kViewSameName).m_groupFiles, 4u);
    EXPECT_EQ(store.Counters(kViewSameNameSize).m_groupBytes, 1000u);
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 0u);
}

TEST(Grouping, NameClassesIgnoreCaseAndSeparateBaseFromExtension) {
    TScanData store;
    const std::u16string longA = u"a-very-long-common-prefix-one.dat";
    const std::u16string longB = u"A-VERY-LONG-COMMON-PREFIX-ONE.DAT";
    const std::u16string longC = u"a-very-long-common-prefix-two.dat";
    Fill(store, {
                    {u"/r/", longA, 1},
                    {u"/r/", longB, 2},
                    {u"/r/", longC, 3},
                    {u"/r/", u"README", 4},
                    {u"/r/", u"readme", 5},
                    {u"/r/", u"README.TXT", 6},
                    {u"/r/", u".profile", 7},
                    {u"/r/", u".PROFILE", 8},
                    {u"/r/", u"Été.txt", 9},
                    {u"/r/", u"ÉTÉ.TXT", 10},
                });
    ASSERT_TRUE(RunGrouping(store));
    auto byName = [&](std::u16string_view name) {
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            if (store.FileName(i) == name)
                return i;
        }
        ADD_FAILURE() << Utf8(name);
        return 0u;
    };
    auto sameName = [&](std::u16string_view a, std::u16string_view b) {
        const TScanFileItem& fa = store.File(byName(a));
        const TScanFileItem& fb = store.File(byName(b));
        return fa.m_baseClass == fb.m_baseClass && fa.m_extClass == fb.m_extClass;
    };
    EXPECT_TRUE(sameName(longA, longB));
    EXPECT_FALSE(sameName(longA, longC));
    EXPECT_TRUE(sameName(u"README", u"readme"));
    EXPECT_FALSE(sameName(u"README", u"README.TXT"));
    EXPECT_TRUE(sameName(u".profile", u".PROFILE"));
    EXPECT_TRUE(sameName(u"Été.txt", u"ÉTÉ.TXT"));
    // Names without extension share one extension class, and it sorts first.
    EXPECT_EQ(+store.File(byName(u"README")).m_extClass,
              +store.File(byName(u".profile")).m_extClass);
    EXPECT_EQ(+store.File(byName(u"README")).m_extClass, 0);
    EXPECT_NE(+store.File(byName(u"README.TXT")).m_extClass, 0);
    EXPECT_EQ(store.NameGroups().Count(), 4u);
    CheckAllViews(store);
}

TEST(Grouping, CaseVariantsInOneFolderStayDistinctFiles) {
    // On Linux a folder can hold both; the sorts must still tell them apart.
    TScanData store;
    Fill(store, {{u"/r/", u"a.txt", 10, 5}, {u"/r/", u"A.TXT", 10, 5}, {u"/r/", u"A.txt", 10, 5}});
    ASSERT_TRUE(RunGrouping(store));
    CheckAllViews(store);
    ASSERT_EQ(store.NameGroups().Count(), 1u);
    EXPECT_EQ(+store.NameGroups()[0].m_head.m_fileCount, 3u);
    EXPECT_EQ(+store.NameSizeGroups()[0].m_head.m_fileCount, 3u);
    std::set<std::string> names;
    for (const auto& m : Members(store, kViewSameName, 0))
        names.insert(m);
    EXPECT_EQ(names.size(), 3u);
}

TEST(Grouping, FolderSortPutsEverySubTreeDirectlyAfterItsFolder) {
    TScanData store;
    // Breadth-first discovery order, as the scan adds them.
    const std::vector<std::u16string> discovered = {
        u"/r/",     u"/r/b/",   u"/r/a/",   u"/r/A B/", u"/r/A/",
        u"/r/a/x/", u"/r/A/y/", u"/r/b/c/", u"/r/ab/",
    };
    std::vector<std::u16string> parents = {
        u"", u"/r/", u"/r/", u"/r/", u"/r/", u"/r/a/", u"/r/A/", u"/r/b/", u"/r/",
    };
    for (std::size_t i = 0; i < discovered.size(); ++i) {
        std::uint32_t parent = 0;
        for (std::uint32_t j = 0; j < store.FolderCount(); ++j) {
            if (store.FolderPath(j) == parents[i])
                parent = j;
        }
        store.AddFolder(0, 0, parent, i == 0, discovered[i]);
        store.AddFile(0, static_cast<std::uint32_t>(i), u"f" + std::u16string(1, u'0' + i), i + 1,
                      0, 0);
    }
    ASSERT_TRUE(RunGrouping(store));
    std::vector<std::string> order;
    for (std::uint32_t i = 0; i < store.FolderCount(); ++i)
        order.push_back(Utf8(store.FolderPath(i)));
    // Upper-cased components first ("A" = "a" < "A B" < "AB" < "B"), the exact
    // text breaking ties ("A" < "a"), each folder followed by its sub-tree.
    EXPECT_EQ(order, (std::vector<std::string>{"/r/", "/r/A/", "/r/A/y/", "/r/a/", "/r/a/x/",
                                               "/r/A B/", "/r/ab/", "/r/b/", "/r/b/c/"}));
    for (std::uint32_t i = 0; i < store.FolderCount(); ++i) {
        const TScanFolderItem& f = store.Folder(i);
        EXPECT_EQ(Utf8(discovered[f.m_discoveryIndex]), order[i]);
        std::u16string_view path = store.FolderPath(i);
        if (i == 0) {
            EXPECT_EQ(+f.m_parent, 0u);
        } else {
            std::u16string_view parent = store.FolderPath(f.m_parent);
            EXPECT_EQ(path.substr(0, parent.size()), parent) << order[i];
        }
    }
    // Every file still names its own folder: file "fN" was added to discovered[N].
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        std::size_t n = static_cast<std::size_t>(store.FileName(i)[1] - u'0');
        EXPECT_EQ(store.FolderPathOfFile(i), discovered[n]);
    }
    EXPECT_LT(CompareFolderPaths(store, 0, 1), 0);
    EXPECT_EQ(CompareFolderPaths(store, 3, 3), 0);
}

TEST(Grouping, RowsSortWithinGroupsOnly) {
    TScanData store;
    Fill(store, {
                    {u"/r/", u"x1", 100, 3},
                    {u"/r/", u"x2", 100, 1},
                    {u"/r/", u"x3", 100, 2},
                    {u"/r/", u"y1", 50, 9},
                    {u"/r/", u"y2", 50, 8},
                });
    ASSERT_TRUE(RunGrouping(store));
    auto names = [&](TViewKind view) {
        std::vector<std::string> out;
        for (const TViewRowItem& row : store.Rows(view))
            out.push_back(row.m_file < 0
                              ? "#" + std::to_string(row.m_group)
                              : Utf8(store.FileName(static_cast<std::uint32_t>(row.m_file))));
        return out;
    };
    EXPECT_EQ(names(kViewSameSize),
              (std::vector<std::string>{"#0", "y1", "y2", "#1", "x1", "x2", "x3"}));
    SortViewRows(store, kViewSameSize, kRowKeyDate, false);
    EXPECT_EQ(names(kViewSameSize),
              (std::vector<std::string>{"#0", "y1", "y2", "#1", "x1", "x3", "x2"}));
    CheckViewInvariants(store, kViewSameSize);
    store.File(kTestKey, static_cast<std::uint32_t>(store.Rows(kTestKey, kViewSameSize)[6].m_file))
        .m_marks |= ViewMarkBit(kViewSameSize);
    SortViewRows(store, kViewSameSize, kRowKeyMark, true);
    EXPECT_EQ(names(kViewSameSize),
              (std::vector<std::string>{"#0", "y1", "y2", "#1", "x2", "x1", "x3"}));
    CheckViewInvariants(store, kViewSameSize);
}

TEST(Grouping, ReindexDropsRemovedFilesAndKeepsMarks) {
    TScanData store;
    Fill(store, {
                    {u"/r/", u"a", 10},
                    {u"/r/s/", u"b", 10},
                    {u"/r/t/", u"c", 10},
                    {u"/r/", u"keep.txt", 20},
                    {u"/r/s/", u"KEEP.TXT", 30},
                    {u"/r/", u"solo", 77},
                    {u"/r/", u"z", 0},
                });
    ASSERT_TRUE(RunGrouping(store));
    // "solo" was unique from the start and is dropped by the first re-index too.
    ASSERT_EQ(store.SizeGroups().Count(), 1u);
    auto index = [&](std::u16string_view name) {
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            if (store.FileName(i) == name)
                return static_cast<std::int32_t>(i);
        }
        return -1;
    };
    // Mark one member of the name group, then delete two of the three 10-byte files.
    store.File(kTestKey, static_cast<std::uint32_t>(index(u"KEEP.TXT"))).m_marks =
        ViewMarkBit(kViewSameName);
    store.File(kTestKey, static_cast<std::uint32_t>(index(u"a"))).m_removed = 1;
    store.File(kTestKey, static_cast<std::uint32_t>(index(u"b"))).m_removed = 1;

    store.ReindexAfterRemovals();
    CheckAllViews(store);
    EXPECT_EQ(index(u"a"), -1);
    EXPECT_EQ(index(u"b"), -1);
    EXPECT_EQ(index(u"c"), -1);    // left in no group and not zero-size
    EXPECT_EQ(index(u"solo"), -1); // never in a group
    EXPECT_GE(index(u"z"), 0);     // zero-size files stay
    EXPECT_EQ(store.DroppedAtReindex(), 4u);
    EXPECT_EQ(store.FileCount(), 3u);
    EXPECT_EQ(store.Files().Capacity(), 4u);
    EXPECT_EQ(store.SizeGroups().Count(), 0u);
    ASSERT_EQ(store.NameGroups().Count(), 1u);
    EXPECT_EQ(+store.NameGroups()[0].m_head.m_markedCount, 1u);
    EXPECT_EQ(+store.NameGroups()[0].m_markState, 2);
    EXPECT_EQ(store.Counters(kViewSameName).m_markedFiles, 1u);
    EXPECT_EQ(store.Counters(kViewSameName).m_markedBytes, 30u);
    EXPECT_TRUE(store.IsMarked(static_cast<std::uint32_t>(index(u"KEEP.TXT")), kViewSameName));
    EXPECT_EQ(store.ZeroSizeFiles(), 1u);
    EXPECT_EQ(store.FolderGroups().Count(), 1u);
}

TEST(Grouping, ReindexRebuildsTheContentViews) {
    TScanData store;
    Fill(store, {
                    {u"/r/", u"same.bin", 64},
                    {u"/r/s/", u"same.bin", 64},
                    {u"/r/t/", u"other.bin", 64},
                    {u"/r/", u"p", 8},
                    {u"/r/s/", u"q", 8},
                });
    ASSERT_TRUE(RunGrouping(store));
    // What a comparison would leave: the three 64-byte files identical, and p, q identical.
    store.ClearContentResults();
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        TScanFileItem& f = store.File(kTestKey, i);
        f.m_contentGroup = f.m_size == 64 ? 0 : 1;
    }
    for (std::uint64_t size : {64u, 8u}) {
        TSizeGroupItem g{};
        g.m_size = size;
        ASSERT_EQ(store.ContentGroups(kTestKey).Append(g), 0);
    }
    store.Status(kTestKey).m_contentDone = true;
    store.ReindexAfterRemovals(); // nothing removed: rebuilds the content views as they are
    CheckViewInvariants(store, kViewSameContent);
    CheckViewInvariants(store, kViewFullClones);
    ASSERT_EQ(store.ContentGroups().Count(), 2u);
    ASSERT_EQ(store.CloneGroups().Count(), 1u);
    EXPECT_EQ(+store.CloneGroups()[0].m_head.m_fileCount, 2u);
    EXPECT_EQ(+store.CloneGroups()[0].m_size, 64u);

    // Deleting one copy of "same.bin" ends the clone group but not the content group.
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        if (store.FolderPathOfFile(i) == u"/r/s/")
            store.File(kTestKey, i).m_removed = 1; // same.bin and q
    }
    store.ReindexAfterRemovals();
    CheckAllViews(store);
    CheckViewInvariants(store, kViewSameContent);
    CheckViewInvariants(store, kViewFullClones);
    ASSERT_EQ(store.ContentGroups().Count(), 1u);
    EXPECT_EQ(+store.ContentGroups()[0].m_head.m_fileCount, 2u);
    EXPECT_EQ(+store.ContentGroups()[0].m_totalBytes, 128u);
    EXPECT_EQ(store.CloneGroups().Count(), 0u);
    EXPECT_EQ(store.FileCount(), 2u); // p lost its partner and its size group
    EXPECT_EQ(store.Counters(kViewSameContent).m_groupFiles, 2u);
}

// Records the phases it is told about, stops when asked, and throws inside
// a chosen step.
class TRecordingControl : public TGroupingControl {
public:
    bool Continue(int progressPhase) override {
        phases.push_back(progressPhase);
        return static_cast<int>(phases.size()) != stopBefore;
    }
    void EnterStep(int step) override {
        if (step == failingStep)
            throw std::runtime_error("injected");
    }
    std::vector<int> phases;
    int stopBefore = -1; // 1-based call of Continue that answers false
    int failingStep = -1;
};

TEST(Grouping, PhasesReportInOrderAndAFailedStepIsLoggedAndSkipped) {
    test::TTempTree tree;
    OpenErrorFileIn(FromUtf8(tree.Root()));
    TScanData store;
    Fill(store, {{u"/r/", u"a", 10}, {u"/r/s/", u"a", 10}, {u"/r/", u"z", 0}});
    TRecordingControl control;
    control.failingStep = 5; // Same size groups
    EXPECT_TRUE(RunGrouping(store, &control));
    EXPECT_EQ(control.phases, (std::vector<int>{9, 9, 9, 9, 12, 12, 12, 12, 12, 12, 12, 7}));
    // The steps after the failed one still ran.
    EXPECT_EQ(store.SizeGroups().Count(), 0u);
    EXPECT_EQ(store.NameGroups().Count(), 1u);
    EXPECT_EQ(store.Rows(kViewSameName).Count(), 3u);
    EXPECT_EQ(store.FolderGroups().Count(), 0u); // zero flags are set by the failed step
    std::string log = ReadAll(ToUtf8(ErrorFilePath()));
    EXPECT_NE(log.find(" - DoScanning: PrepareIndexA\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("PrepareIndexB"), std::string::npos);
    OpenErrorFileIn(u"");
}

TEST(Grouping, StopRequestEndsTheSequenceBetweenSteps) {
    TScanData store;
    Fill(store, {{u"/r/", u"a", 10}, {u"/r/s/", u"a", 10}});
    TRecordingControl control;
    control.stopBefore = 6; // before step 6
    EXPECT_FALSE(RunGrouping(store, &control));
    EXPECT_EQ(control.phases.size(), 6u);
    EXPECT_EQ(store.SizeGroups().Count(), 1u);
    EXPECT_EQ(store.NameGroups().Count(), 0u);
}

TEST(Grouping, StepNames) {
    EXPECT_EQ(GroupingStepName(1), u"DoScanning: PreparelstNameUpper");
    EXPECT_EQ(GroupingStepName(2), u"DoScanning: PrepareSortlstFolders");
    EXPECT_EQ(GroupingStepName(4), u"DoScanning: PrepareFileNamesB");
    EXPECT_EQ(GroupingStepName(11), u"DoScanning: PrepareIndexG");
    EXPECT_TRUE(GroupingStepName(12).empty());
}

// Compares every view with a brute-force answer over all pairs of files.
void CheckAgainstPairs(const TScanData& store) {
    std::uint32_t n = store.FileCount();
    for (std::uint32_t i = 0; i < n; ++i) {
        for (std::uint32_t j = i + 1; j < n; ++j) {
            SCOPED_TRACE(Utf8(store.FullPath(i)) + " / " + Utf8(store.FullPath(j)));
            bool sameName = UpperCaseText(store.FileName(i)) == UpperCaseText(store.FileName(j));
            bool sameSize = store.FileSize(i) == store.FileSize(j) && store.FileSize(i) != 0;
            auto together = [&](TViewKind v) {
                return store.FileGroup(i, v) >= 0 && store.FileGroup(i, v) == store.FileGroup(j, v);
            };
            EXPECT_EQ(together(kViewSameName), sameName);
            EXPECT_EQ(together(kViewSameSize), sameSize);
            EXPECT_EQ(together(kViewSameNameSize), sameName && sameSize);
            bool bothZero = store.FileSize(i) == 0 && store.FileSize(j) == 0;
            EXPECT_EQ(together(kViewZeroSize),
                      bothZero && store.File(i).m_folder == store.File(j).m_folder);
        }
    }
}

TEST(Grouping, RandomStoresMatchABruteForceGrouping) {
    const char16_t* names[] = {u"a.txt",
                               u"A.TXT",
                               u"b.txt",
                               u"a.TxT",
                               u"README",
                               u"readme",
                               u"README.txt",
                               u".profile",
                               u"long-name-with-suffix-1.dat",
                               u"LONG-NAME-WITH-SUFFIX-1.DAT",
                               u"long-name-with-suffix-2.dat",
                               u"x.tar.gz",
                               u"X.TAR.GZ",
                               u"x.tar"};
    const std::uint64_t sizes[] = {0, 1, 2, 3, 1000, 1ull << 33};
    const char16_t* folders[] = {u"/r/", u"/r/a/", u"/r/A/", u"/r/a/b/", u"/r/c/"};
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % bound;
    };
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        TScanData store;
        std::vector<TFileSpec> files;
        std::uint32_t count = 1 + next(60);
        for (std::uint32_t k = 0; k < count; ++k)
            files.push_back({folders[next(5)], names[next(14)], sizes[next(6)],
                             static_cast<TFileTime>(next(3))});
        Fill(store, files);
        ASSERT_TRUE(RunGrouping(store));
        CheckAllViews(store);
        CheckAgainstPairs(store);

        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            if (next(3) == 0)
                store.File(kTestKey, i).m_removed = 1;
            if (next(4) == 0)
                store.File(kTestKey, i).m_marks = 0x3F;
        }
        store.ReindexAfterRemovals();
        CheckAllViews(store);
        CheckAgainstPairs(store);
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            const TScanFileItem& f = store.File(i);
            EXPECT_FALSE(f.m_removed);
            EXPECT_TRUE(f.m_nameGroup >= 0 || f.m_sizeGroup >= 0 || f.m_zeroSize);
        }
        // Marked counts agree with the marks of the members.
        for (TViewKind v : {kViewSameName, kViewSameSize, kViewSameNameSize, kViewZeroSize}) {
            std::uint32_t marked = 0;
            for (std::uint32_t g = 0; g < store.GroupCount(v); ++g)
                marked += store.GroupHead(v, g).m_markedCount;
            std::uint32_t expected = 0;
            for (std::uint32_t i = 0; i < store.FileCount(); ++i)
                expected += store.FileGroup(i, v) >= 0 && store.IsMarked(i, v) ? 1 : 0;
            EXPECT_EQ(marked, expected);
            EXPECT_EQ(store.Counters(v).m_markedFiles, expected);
        }
    }
}

TEST(Grouping, EmptyStoreGroupsToEmptyViews) {
    TScanData store;
    ASSERT_TRUE(RunGrouping(store));
    CheckAllViews(store);
    store.ReindexAfterRemovals();
    CheckAllViews(store);
    EXPECT_EQ(store.FileCount(), 0u);
}

} // namespace
} // namespace vdx
