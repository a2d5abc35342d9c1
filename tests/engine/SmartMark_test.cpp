#include "engine/VDX_unit_SmartMark.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

constexpr TFileTime kT1 = 132000000000000000LL;
constexpr TFileTime kT2 = kT1 + 10000000;
constexpr TFileTime kT3 = kT1 + 20000000;

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

struct TFileSpec {
    const char16_t* folder; // full path ending in "/"
    const char16_t* name;
    std::uint64_t size;
    TFileTime time;
};

// Builds and groups a store from folders and files; the folders are added
// under one search root "/" so that any path can be used.
class TSmartStore {
public:
    explicit TSmartStore(const std::vector<TFileSpec>& files) {
        m_root = static_cast<std::uint32_t>(m_store.AddFolder(1, 0, 0, true, u"/"));
        for (const TFileSpec& f : files) {
            const std::uint32_t folder = AddFolder(f.folder);
            EXPECT_EQ(m_store.AddFile(1, folder, f.name, f.size, f.time, kAttrArchive), 0);
        }
        EXPECT_TRUE(RunGrouping(m_store));
    }

    // Adds a folder that holds no file (it is never listed in an area).
    std::uint32_t AddFolder(std::u16string_view path) {
        for (std::uint32_t i = 0; i < m_store.FolderCount(); ++i)
            if (m_store.FolderPath(i) == path)
                return i;
        return static_cast<std::uint32_t>(m_store.AddFolder(1, 0, m_root, false, path));
    }

    std::uint32_t FolderOf(std::u16string_view path) const {
        for (std::uint32_t i = 0; i < m_store.FolderCount(); ++i)
            if (m_store.FolderPath(i) == path)
                return i;
        ADD_FAILURE() << "no folder " << Utf8(path);
        return 0;
    }

    std::uint32_t FileOf(std::u16string_view folder, std::u16string_view name) const {
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            if (m_store.FileName(i) == name && m_store.FolderPathOfFile(i) == folder)
                return i;
        ADD_FAILURE() << "no file " << Utf8(folder) << Utf8(name);
        return 0;
    }

    // The marked files of the view as "folder/name" texts.
    std::set<std::string> Marked(TViewKind view) const {
        std::set<std::string> marked;
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i)
            if (m_store.IsMarked(i, view))
                marked.insert(Utf8(m_store.FullPath(i)));
        return marked;
    }

    // Group counts and states and the view's counts agree with the bits.
    void ExpectCountsMatchBits(TViewKind view) const {
        std::vector<std::uint32_t> perGroup(m_store.GroupCount(view), 0);
        std::uint32_t files = 0;
        std::uint64_t bytes = 0;
        for (std::uint32_t i = 0; i < m_store.FileCount(); ++i) {
            const std::int32_t g = m_store.FileGroup(i, view);
            if (g < 0 || !m_store.IsMarked(i, view))
                continue;
            ++perGroup[static_cast<std::uint32_t>(g)];
            ++files;
            bytes += m_store.FileSize(i);
        }
        for (std::uint32_t g = 0; g < perGroup.size(); ++g) {
            // Copies: the packed record's fields may sit at odd addresses.
            const TGroupHead head = m_store.GroupHead(view, g);
            const std::uint32_t markedCount = head.m_markedCount;
            const std::uint32_t fileCount = head.m_fileCount;
            EXPECT_EQ(markedCount, perGroup[g]) << "group " << g;
            const std::uint8_t state = perGroup[g] == 0 ? 0 : (perGroup[g] == fileCount ? 1 : 2);
            EXPECT_EQ(m_store.GroupMarkState(view, g), state) << "group " << g;
        }
        EXPECT_EQ(m_store.Counters(view).m_markedFiles, files);
        if (view != kViewZeroSize) {
            EXPECT_EQ(m_store.Counters(view).m_markedBytes, bytes);
        }
    }

    // Builds the areas of the view, sends the given folders to To Keep and
    // writes the keep flags.
    void Keep(TViewKind view, const std::vector<std::u16string>& keepFolders) {
        TSmartAreas areas(m_store);
        ASSERT_EQ(areas.BuildAreas(view), 0);
        for (const std::u16string& path : keepFolders) {
            bool found = false;
            for (std::uint32_t r = 0; r < areas.Count(); ++r) {
                if (areas.FolderPath(r) == path) {
                    areas.ToggleCheck(r);
                    found = true;
                }
            }
            ASSERT_TRUE(found) << "folder not in the areas: " << Utf8(path);
        }
        areas.MoveChecked(kAreaKeep);
        areas.ApplyAreas();
    }

    TScanData m_store;

private:
    std::uint32_t m_root = 0;
};

// ---- Marking ----

TEST(SmartMarkTest, GroupWithKeepFolderMarksOnlyTheCleanFiles) {
    TSmartStore s({
        {u"/c/A/", u"f.txt", 100, kT1},
        {u"/c/B/", u"f.txt", 100, kT2},
        {u"/c/C/", u"f.txt", 100, kT3},
        // A second group wholly in To Keep stays unmarked.
        {u"/c/A/", u"g.bin", 7, kT1},
        {u"/c/A/", u"h.bin", 7, kT1},
    });
    s.Keep(kViewSameSize, {u"/c/A/"});
    SmartMark(s.m_store, kViewSameSize, TSmartMarkSettings{});
    EXPECT_EQ(s.Marked(kViewSameSize), (std::set<std::string>{"/c/B/f.txt", "/c/C/f.txt"}));
    s.ExpectCountsMatchBits(kViewSameSize);
    EXPECT_EQ(s.m_store.Counters(kViewSameSize).m_markedBytes, 200u);
}

// Groups wholly in To Clean, by the two switches; in every case a group
// that has a To Keep file is handled the same.
TEST(SmartMarkTest, WashCleanAndKeepInstance) {
    struct TCase {
        bool washClean;
        bool keepInstance;
        std::size_t markedInCleanGroup;
    };
    const TCase cases[] = {
        {false, false, 0},
        {false, true, 0},
        {true, false, 3},
        {true, true, 2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "wash " << c.washClean << " instance " << c.keepInstance);
        TSmartStore s({
            {u"/k/", u"mixed", 50, kT1},
            {u"/x/", u"mixed", 50, kT1},
            {u"/x/", u"a", 60, kT1},
            {u"/y/", u"a", 60, kT2},
            {u"/z/", u"a", 60, kT3},
        });
        s.Keep(kViewSameSize, {u"/k/"});
        TSmartMarkSettings settings;
        settings.m_washClean = c.washClean;
        settings.m_keepInstance = c.keepInstance;
        SmartMark(s.m_store, kViewSameSize, settings);
        std::set<std::string> marked = s.Marked(kViewSameSize);
        EXPECT_EQ(marked.erase("/x/mixed"), 1u);
        EXPECT_EQ(marked.size(), c.markedInCleanGroup);
        s.ExpectCountsMatchBits(kViewSameSize);
        // The marked bytes of a group kept by rule leave out the kept file.
        EXPECT_EQ(s.m_store.Counters(kViewSameSize).m_markedBytes, 50 + 60 * c.markedInCleanGroup);
    }
}

// Each rule, first in the order, with its setting on and off, decides the
// file kept whatever the row order of the grid.
TEST(SmartMarkTest, EachRuleKeepsItsFile) {
    // Same size group: the name order is a.doc (C), a.txt (B), b.txt (A);
    // times and paths run differently.
    // Same name group "s.dat": sizes 10 (B), 30 (A), 20 (C).
    const std::vector<TFileSpec> files = {
        {u"/c/A/", u"b.txt", 100, kT2}, {u"/c/B/", u"a.txt", 100, kT1},
        {u"/c/C/", u"a.doc", 100, kT3}, {u"/c/A/", u"s.dat", 30, kT1},
        {u"/c/B/", u"s.dat", 10, kT2},  {u"/c/C/", u"s.dat", 20, kT3},
    };
    struct TCase {
        TSmartRuleOrder order;
        bool setting;
        TViewKind view;
        const char* kept;
    };
    const TCase cases[] = {
        {{kRuleDate, kRulePath, kRuleName, kRuleSize}, true, kViewSameSize, "/c/C/a.doc"},
        {{kRuleDate, kRulePath, kRuleName, kRuleSize}, false, kViewSameSize, "/c/B/a.txt"},
        {{kRulePath, kRuleDate, kRuleName, kRuleSize}, true, kViewSameSize, "/c/A/b.txt"},
        {{kRulePath, kRuleDate, kRuleName, kRuleSize}, false, kViewSameSize, "/c/C/a.doc"},
        {{kRuleName, kRuleDate, kRulePath, kRuleSize}, true, kViewSameSize, "/c/C/a.doc"},
        {{kRuleName, kRuleDate, kRulePath, kRuleSize}, false, kViewSameSize, "/c/A/b.txt"},
        {{kRuleSize, kRuleDate, kRulePath, kRuleName}, true, kViewSameName, "/c/B/s.dat"},
        {{kRuleSize, kRuleDate, kRulePath, kRuleName}, false, kViewSameName, "/c/A/s.dat"},
    };
    for (const TCase& c : cases) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(testing::Message() << "first rule " << c.order[0] << " setting "
                                            << c.setting << " rows ascending " << ascending);
            TSmartStore s(files);
            SortViewRows(s.m_store, c.view, kRowKeyName, ascending);
            s.Keep(c.view, {});
            TSmartMarkSettings settings;
            settings.m_order = c.order;
            settings.m_dateSmall = settings.m_pathSmall = settings.m_nameSmall =
                settings.m_sizeSmall = c.setting;
            SmartMark(s.m_store, c.view, settings);
            const std::set<std::string> marked = s.Marked(c.view);
            EXPECT_EQ(marked.size(), 2u);
            EXPECT_EQ(marked.count(c.kept), 0u) << "kept " << c.kept;
            s.ExpectCountsMatchBits(c.view);
        }
    }
}

// A rule that finds two files equal hands the decision to the next rule;
// the order decides which rule speaks first; when all four find the files
// equal the earlier row stays.
TEST(SmartMarkTest, RuleOrderAndTies) {
    struct TCase {
        TSmartRuleOrder order;
        bool pathSmall;
        const char* kept;
    };
    // x1 and x2 have the same time; y is newer and in the greatest folder.
    const std::vector<TFileSpec> files = {
        {u"/p/1/", u"x", 9, kT1},
        {u"/p/2/", u"x", 9, kT1},
    };
    const TCase sameTime[] = {
        {{kRuleDate, kRulePath, kRuleName, kRuleSize}, true, "/p/1/x"},
        {{kRuleDate, kRulePath, kRuleName, kRuleSize}, false, "/p/2/x"},
    };
    for (const TCase& c : sameTime) {
        TSmartStore s(files);
        s.Keep(kViewSameSize, {});
        TSmartMarkSettings settings;
        settings.m_order = c.order;
        settings.m_pathSmall = c.pathSmall;
        SmartMark(s.m_store, kViewSameSize, settings);
        EXPECT_EQ(s.Marked(kViewSameSize).size(), 1u);
        EXPECT_EQ(s.Marked(kViewSameSize).count(c.kept), 0u) << c.kept;
    }

    const std::vector<TFileSpec> differ = {
        {u"/q/1/", u"x", 9, kT1},
        {u"/q/2/", u"x", 9, kT2},
    };
    const TCase order[] = {
        {{kRuleDate, kRulePath, kRuleName, kRuleSize}, true, "/q/2/x"},
        {{kRulePath, kRuleDate, kRuleName, kRuleSize}, true, "/q/1/x"},
        // Not an arrangement of the four rules: the default order applies.
        {{kRulePath, kRulePath, kRuleName, kRuleSize}, true, "/q/2/x"},
        {{7, -1, kRuleName, kRuleSize}, true, "/q/2/x"},
    };
    for (const TCase& c : order) {
        TSmartStore s(differ);
        s.Keep(kViewSameSize, {});
        TSmartMarkSettings settings;
        settings.m_order = c.order;
        SmartMark(s.m_store, kViewSameSize, settings);
        EXPECT_EQ(s.Marked(kViewSameSize),
                  (std::set<std::string>{c.kept == std::string("/q/1/x") ? "/q/2/x" : "/q/1/x"}));
    }

    // Same folder, time and size, names equal but for letter case: no rule
    // can tell them apart, so the first file row of the group is kept.
    for (bool ascending : {true, false}) {
        TSmartStore s({{u"/t/", u"A.txt", 5, kT1}, {u"/t/", u"a.txt", 5, kT1}});
        SortViewRows(s.m_store, kViewSameSize, kRowKeyName, ascending);
        s.Keep(kViewSameSize, {});
        SmartMark(s.m_store, kViewSameSize, TSmartMarkSettings{});
        const TRecordTable<TViewRowItem>& rows = s.m_store.Rows(kViewSameSize);
        ASSERT_EQ(rows.Count(), 3u);
        EXPECT_FALSE(s.m_store.IsMarked(static_cast<std::uint32_t>(rows[1].m_file), kViewSameSize));
        EXPECT_TRUE(s.m_store.IsMarked(static_cast<std::uint32_t>(rows[2].m_file), kViewSameSize));
    }
}

// Smart marking replaces the marks of its own view only.
TEST(SmartMarkTest, OtherViewsKeepTheirMarks) {
    TSmartStore s({
        {u"/k/", u"same.txt", 40, kT1},
        {u"/x/", u"same.txt", 40, kT1},
        {u"/x/", u"other.txt", 40, kT2},
    });
    const std::uint32_t keepFile = s.FileOf(u"/k/", u"same.txt");
    const std::uint32_t nameFile = s.FileOf(u"/x/", u"same.txt");
    // An earlier Same size mark on the To Keep file must go; the Same name
    // mark of the To Clean file must stay.
    ASSERT_TRUE(SetFileMark(s.m_store, kViewSameSize, TFileIndex{keepFile}, true));
    ASSERT_TRUE(SetFileMark(s.m_store, kViewSameName, TFileIndex{keepFile}, true));
    const TViewCounters nameBefore = s.m_store.Counters(kViewSameName);

    s.Keep(kViewSameSize, {u"/k/"});
    SmartMark(s.m_store, kViewSameSize, TSmartMarkSettings{});
    EXPECT_EQ(s.Marked(kViewSameSize), (std::set<std::string>{"/x/same.txt", "/x/other.txt"}));
    EXPECT_TRUE(s.m_store.IsMarked(keepFile, kViewSameName));
    EXPECT_FALSE(s.m_store.IsMarked(nameFile, kViewSameName));
    EXPECT_EQ(s.m_store.Counters(kViewSameName).m_markedFiles, nameBefore.m_markedFiles);
    EXPECT_EQ(s.m_store.Counters(kViewSameName).m_markedBytes, nameBefore.m_markedBytes);
    s.ExpectCountsMatchBits(kViewSameSize);
    s.ExpectCountsMatchBits(kViewSameName);
}

TEST(SmartMarkTest, ZeroSizeGroupsAreFolders) {
    TSmartStore s({
        {u"/k/", u"e1", 0, kT1},
        {u"/k/", u"e2", 0, kT2},
        {u"/x/", u"e1", 0, kT1},
        {u"/x/", u"e2", 0, kT2},
        {u"/x/", u"e3", 0, kT3},
        {u"/y/", u"alone", 0, kT1},
    });
    s.Keep(kViewZeroSize, {u"/k/"});
    SmartMark(s.m_store, kViewZeroSize, TSmartMarkSettings{});
    // /k/ is kept whole; /x/ keeps its newest file; /y/ keeps its only one.
    EXPECT_EQ(s.Marked(kViewZeroSize), (std::set<std::string>{"/x/e1", "/x/e2"}));
    s.ExpectCountsMatchBits(kViewZeroSize);

    TSmartMarkSettings all;
    all.m_keepInstance = false;
    SmartMark(s.m_store, kViewZeroSize, all);
    EXPECT_EQ(s.Marked(kViewZeroSize),
              (std::set<std::string>{"/x/e1", "/x/e2", "/x/e3", "/y/alone"}));
    s.ExpectCountsMatchBits(kViewZeroSize);
}

TEST(SmartMarkTest, EmptyViewChangesNothing) {
    TSmartStore s({{u"/a/", u"one", 3, kT1}, {u"/b/", u"two", 4, kT1}});
    TSmartAreas areas(s.m_store);
    ASSERT_EQ(areas.BuildAreas(kViewSameSize), 0);
    EXPECT_EQ(areas.Count(), 0u);
    EXPECT_EQ(areas.FolderPath(0), kBadSmartPath);
    SmartMark(s.m_store, kViewSameSize, TSmartMarkSettings{});
    EXPECT_TRUE(s.Marked(kViewSameSize).empty());
    EXPECT_EQ(s.m_store.Counters(kViewSameSize).m_markedFiles, 0u);
}

// ---- Rule lists of the window ----

TEST(SmartRulesTest, OfferedRulesPerView) {
    struct TCase {
        TViewKind view;
        std::vector<int> rules;
    };
    const TCase cases[] = {
        {kViewSameName, {kRuleDate, kRulePath, kRuleSize}},
        {kViewSameSize, {kRuleDate, kRulePath, kRuleName}},
        {kViewSameNameSize, {kRuleDate, kRulePath}},
        {kViewSameContent, {kRuleDate, kRulePath, kRuleName}},
        {kViewFullClones, {kRuleDate, kRulePath}},
        {kViewZeroSize, {kRuleDate, kRuleName}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(OfferedRules(c.view, kDefaultRuleOrder), c.rules) << c.view;
    EXPECT_EQ(OfferedRules(kViewSameSize, {kRuleSize, kRuleName, kRulePath, kRuleDate}),
              (std::vector<int>{kRuleName, kRulePath, kRuleDate}));
    EXPECT_EQ(OfferedRules(kViewZeroSize, {kRuleDate, kRuleDate, kRuleName, kRuleSize}),
              (std::vector<int>{kRuleDate, kRuleName}));
    EXPECT_EQ(Utf8(SmartRuleCaption(kRulePath)), "Path in a-z order");
    EXPECT_TRUE(SmartRuleCaption(4).empty());
}

TEST(SmartRulesTest, StoredOrderAfterClosing) {
    struct TCase {
        std::vector<int> listed;
        TSmartRuleOrder order;
    };
    const TCase cases[] = {
        {{kRuleDate, kRulePath, kRuleSize}, {kRuleDate, kRulePath, kRuleSize, kRuleName}},
        {{kRuleName, kRuleDate}, {kRuleName, kRuleDate, kRulePath, kRuleSize}},
        {{kRulePath}, {kRulePath, kRuleDate, kRuleName, kRuleSize}},
        {{}, kDefaultRuleOrder},
        {{kRuleSize, kRuleName, kRulePath, kRuleDate},
         {kRuleSize, kRuleName, kRulePath, kRuleDate}},
        {{kRuleName, kRuleName, 9}, {kRuleName, kRuleDate, kRulePath, kRuleSize}},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(CompleteRuleOrder(c.listed), c.order);
    // The window's round trip keeps the listed rules first.
    const TSmartRuleOrder stored = {kRuleSize, kRuleName, kRuleDate, kRulePath};
    EXPECT_EQ(CompleteRuleOrder(OfferedRules(kViewZeroSize, stored)),
              (TSmartRuleOrder{kRuleName, kRuleDate, kRulePath, kRuleSize}));
}

// ---- Area list ----

class SmartAreasTest : public ::testing::Test {
protected:
    SmartAreasTest()
        : m_s({
              {u"/c/DATA/", u"f", 10, kT1},
              {u"/c/DATA/X/", u"f", 10, kT1},
              {u"/c/DATA/X/Y/", u"f", 10, kT1},
              {u"/c/data/", u"f", 10, kT1},
              {u"/c/DATA2/", u"f", 10, kT1},
              {u"/c/DOCS/", u"f", 10, kT1},
              {u"/c/Users/Temp/A/", u"f", 10, kT1},
              {u"/d/TEMP/", u"f", 10, kT1},
              {u"/d/TEMP/", u"f2", 10, kT1},
              // Only in Same name (sizes differ), so not listed for Same size.
              {u"/e/only-name/", u"g", 1, kT1},
              {u"/e/only-name2/", u"g", 2, kT1},
          }) {}

    void SetUp() override { ASSERT_EQ(m_areas.BuildAreas(kViewSameSize), 0); }

    std::int64_t RowOf(std::u16string_view path) const {
        for (std::uint32_t r = 0; r < m_areas.Count(); ++r)
            if (m_areas.FolderPath(r) == path)
                return r;
        ADD_FAILURE() << "no row " << Utf8(path);
        return -1;
    }

    std::vector<std::string> Checked() const {
        std::vector<std::string> paths;
        for (std::uint32_t r = 0; r < m_areas.Count(); ++r)
            if (m_areas.IsChecked(r))
                paths.push_back(Utf8(m_areas.FolderPath(r)));
        return paths;
    }

    std::vector<std::string> AreaPaths(TSmartArea area) const {
        std::vector<std::string> paths;
        const std::uint32_t start = m_areas.AreaStart(area);
        const std::uint32_t count = area == kAreaKeep ? m_areas.KeepCount() : m_areas.CleanCount();
        for (std::uint32_t r = start; r < start + count; ++r) {
            EXPECT_EQ(m_areas.Area(r), area);
            paths.push_back(Utf8(m_areas.FolderPath(r)));
        }
        return paths;
    }

    TSmartStore m_s;
    TSmartAreas m_areas{m_s.m_store};
};

TEST_F(SmartAreasTest, BuildListsEachFolderOnceInPathOrder) {
    // /d/TEMP/ holds two files of the view and is listed once; the /e/
    // folders hold no Same size file.
    const std::vector<std::string> expected = {
        "/c/DATA/",  "/c/DATA/X/", "/c/DATA/X/Y/",     "/c/data/",
        "/c/DATA2/", "/c/DOCS/",   "/c/Users/Temp/A/", "/d/TEMP/",
    };
    EXPECT_EQ(AreaPaths(kAreaClean), expected);
    EXPECT_EQ(m_areas.CleanCount(), 8u);
    EXPECT_EQ(m_areas.KeepCount(), 0u);
    EXPECT_EQ(m_areas.CleanChecked() + m_areas.KeepChecked(), 0u);
    for (std::uint32_t r = 1; r < m_areas.Count(); ++r)
        EXPECT_LT(m_areas.Folder(r - 1), m_areas.Folder(r));

    EXPECT_EQ(Utf8(m_areas.FolderPathUpper(RowOf(u"/c/Users/Temp/A/"))), "/C/USERS/TEMP/A/");
    for (std::int64_t bad : {std::int64_t{-1}, std::int64_t{8}, std::int64_t{1} << 40}) {
        EXPECT_EQ(m_areas.FolderPath(bad), kBadSmartPath);
        EXPECT_EQ(m_areas.FolderPathUpper(bad), kBadSmartPath);
        EXPECT_EQ(m_areas.Folder(bad), -1);
        EXPECT_FALSE(m_areas.IsChecked(bad));
        EXPECT_FALSE(m_areas.ToggleCheck(bad));
        EXPECT_FALSE(m_areas.ToggleCheckTree(bad));
    }
    EXPECT_EQ(Utf8(kBadSmartPath), "::? _GetSmartPath");
}

TEST_F(SmartAreasTest, ToggleAndToggleTree) {
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DOCS/")));
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DOCS/"}));
    EXPECT_EQ(m_areas.CleanChecked(), 1u);
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DOCS/")));
    EXPECT_TRUE(Checked().empty());

    // The sub-folders follow; /c/data/ is another folder on Linux and ends
    // the run, so /c/DATA2/ and /c/DOCS/ are not reached.
    ASSERT_TRUE(m_areas.ToggleCheckTree(RowOf(u"/c/DATA/")));
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DATA/", "/c/DATA/X/", "/c/DATA/X/Y/"}));
    EXPECT_EQ(m_areas.CleanChecked(), 3u);

    // Flipping again gives every sub-folder the new state, whatever it was.
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DATA/X/")));
    ASSERT_TRUE(m_areas.ToggleCheckTree(RowOf(u"/c/DATA/")));
    EXPECT_TRUE(Checked().empty());

    // A tree toggle on a sub-folder reaches only below it.
    ASSERT_TRUE(m_areas.ToggleCheckTree(RowOf(u"/c/DATA/X/")));
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DATA/X/", "/c/DATA/X/Y/"}));
}

TEST_F(SmartAreasTest, ToggleTreeStaysInItsArea) {
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DATA/X/")));
    ASSERT_EQ(m_areas.MoveChecked(kAreaKeep), 1u);
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DATA/X/"))); // uncheck in To Keep
    ASSERT_TRUE(m_areas.ToggleCheckTree(RowOf(u"/c/DATA/")));
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DATA/", "/c/DATA/X/Y/"}));
    EXPECT_EQ(m_areas.KeepChecked(), 0u);

    // The last folder of To Clean does not reach into To Keep, even where
    // the rows after it are its sub-folders.
    m_areas.MoveChecked(kAreaClean);
    m_areas.CheckPattern(u"/", true);
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DATA/")));
    m_areas.MoveChecked(kAreaKeep);
    m_areas.ClearChecks(false);
    ASSERT_EQ(AreaPaths(kAreaClean), (std::vector<std::string>{"/c/DATA/"}));
    ASSERT_TRUE(m_areas.ToggleCheckTree(RowOf(u"/c/DATA/")));
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DATA/"}));
}

TEST_F(SmartAreasTest, CheckPatternWithoutLetterCase) {
    // Earlier checks in the area are replaced.
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DOCS/")));
    m_areas.CheckPattern(u"  temp ", true);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/Users/Temp/A/", "/d/TEMP/"}));
    EXPECT_EQ(m_areas.CleanChecked(), 2u);

    // A blank pattern changes nothing; a pattern for To Keep leaves To Clean.
    m_areas.CheckPattern(u"   ", true);
    m_areas.CheckPattern(u"data", false);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/Users/Temp/A/", "/d/TEMP/"}));

    m_areas.CheckPattern(u"Data", true);
    EXPECT_EQ(Checked(), (std::vector<std::string>{"/c/DATA/", "/c/DATA/X/", "/c/DATA/X/Y/",
                                                   "/c/data/", "/c/DATA2/"}));
    m_areas.CheckPattern(u"no such folder", true);
    EXPECT_TRUE(Checked().empty());
}

TEST_F(SmartAreasTest, MoveBetweenAreasKeepsChecksAndOrder) {
    m_areas.CheckPattern(u"temp", true);
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/c/DATA/")));
    EXPECT_EQ(m_areas.MoveChecked(kAreaKeep), 3u);
    EXPECT_EQ(AreaPaths(kAreaKeep),
              (std::vector<std::string>{"/c/DATA/", "/c/Users/Temp/A/", "/d/TEMP/"}));
    EXPECT_EQ(AreaPaths(kAreaClean),
              (std::vector<std::string>{"/c/DATA/X/", "/c/DATA/X/Y/", "/c/data/", "/c/DATA2/",
                                        "/c/DOCS/"}));
    EXPECT_EQ(m_areas.KeepCount(), 3u);
    EXPECT_EQ(m_areas.KeepChecked(), 3u);
    EXPECT_EQ(m_areas.CleanCount(), 5u);
    EXPECT_EQ(m_areas.CleanChecked(), 0u);
    EXPECT_EQ(m_areas.AreaStart(kAreaKeep), 5u);

    // Nothing checked in To Clean: sending to To Keep moves nothing.
    EXPECT_EQ(m_areas.MoveChecked(kAreaKeep), 0u);

    // Back with one of them.
    m_areas.ClearChecks(false);
    EXPECT_EQ(m_areas.KeepChecked(), 0u);
    ASSERT_TRUE(m_areas.ToggleCheck(RowOf(u"/d/TEMP/")));
    EXPECT_EQ(m_areas.MoveChecked(kAreaClean), 1u);
    EXPECT_EQ(AreaPaths(kAreaKeep), (std::vector<std::string>{"/c/DATA/", "/c/Users/Temp/A/"}));
    EXPECT_EQ(AreaPaths(kAreaClean).back(), "/d/TEMP/");
    EXPECT_TRUE(m_areas.IsChecked(RowOf(u"/d/TEMP/")));
    EXPECT_EQ(m_areas.CleanChecked(), 1u);
}

TEST_F(SmartAreasTest, ApplyAreasWritesKeepFlags) {
    TScanData& store = m_s.m_store;
    // A stale flag on a folder that is not listed is cleared.
    store.Folder(kTestKey, m_s.FolderOf(u"/e/only-name/")).m_keepFolder = 1;
    m_areas.CheckPattern(u"/c/DATA/X", true);
    m_areas.MoveChecked(kAreaKeep);
    m_areas.ApplyAreas();
    for (std::uint32_t i = 0; i < store.FolderCount(); ++i) {
        const std::u16string_view path = store.FolderPath(i);
        const bool keep = path == u"/c/DATA/X/" || path == u"/c/DATA/X/Y/";
        EXPECT_EQ(store.Folder(i).m_keepFolder, keep ? 1 : 0) << Utf8(path);
    }

    // The whole flow: the files in To Clean of groups with a kept file are
    // marked; groups wholly in To Clean keep one file each.
    SmartMark(store, kViewSameSize, TSmartMarkSettings{});
    const std::set<std::string> marked = m_s.Marked(kViewSameSize);
    EXPECT_EQ(marked.count("/c/DATA/X/f"), 0u);
    EXPECT_EQ(marked.count("/c/DATA/X/Y/f"), 0u);
    EXPECT_EQ(marked.count("/c/DATA/f"), 1u);
    m_s.ExpectCountsMatchBits(kViewSameSize);
}

} // namespace
} // namespace vdx
