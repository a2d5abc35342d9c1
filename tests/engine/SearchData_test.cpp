#include "engine/VDX_unit_SearchData.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {
namespace {

constexpr std::int64_t kKb = 1024;
constexpr std::int64_t kMb = 1024 * kKb;
constexpr std::int64_t kGb = 1024 * kMb;
constexpr std::uint32_t kPlain = kAttrArchive;

std::string U8(std::u16string_view text) {
    return ToUtf8(text);
}

std::vector<std::u16string> Texts(const TFolderFilter& filter) {
    std::vector<std::u16string> texts;
    for (const TStrItem& item : filter.Items()) {
        texts.push_back(item.text);
    }
    return texts;
}

std::vector<std::u16string> Paths(const TSearchDataList& list) {
    std::vector<std::u16string> texts;
    for (std::size_t i = 0; i < list.Count(); ++i) {
        texts.push_back(list.PathText(i));
    }
    return texts;
}

// Sets an environment variable for the lifetime of the object.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const char* value) : m_name(name) { ::setenv(name, value, 1); }
    ~TScopedEnv() { ::unsetenv(m_name); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* m_name;
};

TEST(SearchDataTest, NewPathHasTheDefaults) {
    const double before = NowDateTime();
    TSearchData path;
    const double after = NowDateTime();
    const TFileFilter& f = path.fileFilter;
    EXPECT_EQ(f.FLT_Include, u"*.*");
    EXPECT_TRUE(f.FLT_Exclude.empty());
    EXPECT_FALSE(f.FLT_bUseExclude || f.FLT_bUseDate || f.FLT_bUseSize || f.FLT_bUseAttr);
    EXPECT_EQ(f.FLT_DateTimeA, f.FLT_DateTimeB);
    EXPECT_GE(f.FLT_DateTimeA, before);
    EXPECT_LE(f.FLT_DateTimeA, after);
    EXPECT_EQ(f.FLT_DatePos, 0);
    EXPECT_EQ(f.FLT_SizePos, 0);
    EXPECT_EQ(f.FLT_Attr_IncMask, 0u);
    EXPECT_EQ(f.FLT_Attr_ExcMask, 0u);
    EXPECT_TRUE(path.bSubFolders);
    EXPECT_EQ(path.volumeIndex, 256);
    EXPECT_EQ(path.folderFilter.Count(), 0u);

    // Nothing switched on: every file and every folder passes.
    path.Prepare();
    EXPECT_FALSE(path.FilterExt().AnyOn());
    EXPECT_TRUE(path.PassesFile(kAttrHidden | kAttrSystem, 0, 0, u"README"));
    EXPECT_TRUE(path.PassesFolder(u"/any/where"));
}

struct TSizeCase {
    const char* label;
    std::int32_t pos;
    std::int32_t a;
    std::int32_t degreeA;
    std::int32_t b;
    std::int32_t degreeB;
    std::vector<std::int64_t> passing;
    std::vector<std::int64_t> failing;
};

TEST(SearchDataTest, SizeFilterBoundsAreInclusiveAndSwapped) {
    const std::vector<TSizeCase> cases = {
        {"more than 0 bytes takes empty files",
         kSizeMoreThanA,
         0,
         kDegreeBytes,
         0,
         0,
         {0, 1, 5 * kGb},
         {}},
        {"less than 10 bytes", kSizeLessThanA, 10, kDegreeBytes, 0, 0, {0, 10}, {11}},
        {"between 2 Mb and 500 Kb, swapped",
         kSizeBetween,
         2,
         kDegreeMb,
         500,
         kDegreeKb,
         {512000, 2 * kMb},
         {511999, 2 * kMb + 1}},
        {"beyond 10 and 20 bytes",
         kSizeBeyond,
         10,
         kDegreeBytes,
         20,
         kDegreeBytes,
         {0, 10, 20, 21},
         {11, 15, 19}},
        {"beyond 20 and 10 bytes, swapped",
         kSizeBeyond,
         20,
         kDegreeBytes,
         10,
         kDegreeBytes,
         {10, 20},
         {15}},
        {"more than 3 Gb",
         kSizeMoreThanA,
         3,
         kDegreeGb,
         0,
         0,
         {3 * kGb, 40 * kGb},
         {3 * kGb - 1, 0}},
        {"less than 3 Gb", kSizeLessThanA, 3, kDegreeGb, 0, 0, {0, 3 * kGb}, {3 * kGb + 1}},
        {"between 5 Gb and 2 Gb, swapped",
         kSizeBetween,
         5,
         kDegreeGb,
         2,
         kDegreeGb,
         {2 * kGb, 4 * kGb, 5 * kGb},
         {2 * kGb - 1, 5 * kGb + 1}},
        {"between 1 Gb and 1000 Mb",
         kSizeBetween,
         1,
         kDegreeGb,
         1000,
         kDegreeMb,
         {1000 * kMb, kGb},
         {kGb + 1}},
        {"an unknown unit counts as bytes", kSizeMoreThanA, 100, 7, 0, 0, {100}, {99}},
    };
    for (const TSizeCase& c : cases) {
        SCOPED_TRACE(c.label);
        TSearchData path;
        TFileFilter& f = path.fileFilter;
        f.FLT_bUseSize = true;
        f.FLT_SizePos = c.pos;
        f.FLT_SizeA = c.a;
        f.FLT_SizeDegreeA = c.degreeA;
        f.FLT_SizeB = c.b;
        f.FLT_SizeDegreeB = c.degreeB;
        path.Prepare();
        for (std::int64_t size : c.passing) {
            EXPECT_TRUE(path.PassesFile(kPlain, 0, size, u"f")) << size;
        }
        for (std::int64_t size : c.failing) {
            EXPECT_FALSE(path.PassesFile(kPlain, 0, size, u"f")) << size;
        }
    }
}

TEST(SearchDataTest, PreparedSizesAreBytesInSixtyFourBits) {
    TFileFilter f;
    f.FLT_SizePos = kSizeBetween;
    f.FLT_SizeA = 2;
    f.FLT_SizeDegreeA = kDegreeMb;
    f.FLT_SizeB = 500;
    f.FLT_SizeDegreeB = kDegreeKb;
    TFilterExtProcessor ext;
    ext.Prepare(f);
    EXPECT_EQ(ext.SizeA(), 512000);
    EXPECT_EQ(ext.SizeB(), 2097152);
    EXPECT_TRUE(ext.SizesSwapped());
    EXPECT_TRUE(f.SizesSwapped());

    // A one-bound condition never swaps, whatever B holds.
    f.FLT_SizePos = kSizeMoreThanA;
    ext.Prepare(f);
    EXPECT_EQ(ext.SizeA(), 2097152);
    EXPECT_FALSE(ext.SizesSwapped());

    // The largest entry in Gb and a negative entry, both sign-correct.
    EXPECT_EQ(SizeInBytes(2147483647, kDegreeGb), std::int64_t{2147483647} << 30);
    EXPECT_EQ(SizeInBytes(-3, kDegreeGb), -3 * kGb);
    EXPECT_EQ(SizeInBytes(3, kDegreeGb), 3221225472);
}

struct TDateCase {
    const char* label;
    std::int32_t pos;
    double a;
    double b;
    std::vector<double> passing;
    std::vector<double> failing;
};

TEST(SearchDataTest, DateFilterBoundsAreInclusiveAndSwapped) {
    // Local date-times (days since 1899-12-30) in 2023; the file times of the
    // test are converted with the same local-time rule as the filter.
    const double d = 45000.5;
    const std::vector<TDateCase> cases = {
        {"equal/older than A", kDateOlderThanA, d, 0, {d - 100, d}, {d + 0.001}},
        {"equal/newer than A", kDateNewerThanA, d, 0, {d, d + 100}, {d - 0.001}},
        {"between, B earlier than A", kDateBetween, d + 10, d, {d, d + 5, d + 10}, {d - 1, d + 11}},
        {"beyond, B earlier than A", kDateBeyond, d + 10, d, {d - 1, d, d + 10, d + 11}, {d + 5}},
    };
    for (const TDateCase& c : cases) {
        SCOPED_TRACE(c.label);
        TSearchData path;
        TFileFilter& f = path.fileFilter;
        f.FLT_bUseDate = true;
        f.FLT_DatePos = c.pos;
        f.FLT_DateTimeA = c.a;
        f.FLT_DateTimeB = c.b;
        path.Prepare();
        for (double t : c.passing) {
            EXPECT_TRUE(path.PassesFile(kPlain, LocalToFileTime(t), 1, u"f")) << t;
        }
        for (double t : c.failing) {
            EXPECT_FALSE(path.PassesFile(kPlain, LocalToFileTime(t), 1, u"f")) << t;
        }
    }

    TFileFilter f;
    f.FLT_DatePos = kDateBetween;
    f.FLT_DateTimeA = d + 10;
    f.FLT_DateTimeB = d;
    TFilterExtProcessor ext;
    ext.Prepare(f);
    EXPECT_EQ(ext.DateA(), LocalToFileTime(d));
    EXPECT_EQ(ext.DateB(), LocalToFileTime(d + 10));
    EXPECT_LT(ext.DateA(), ext.DateB());
}

struct TAttrCase {
    std::uint32_t attributes;
    bool passes;
};

TEST(SearchDataTest, AttributeFilterRequiresAndForbidsBits) {
    TSearchData path;
    TFileFilter& f = path.fileFilter;
    f.FLT_bUseAttr = true;
    f.FLT_Attr_IncMask = kAttrHidden;
    f.FLT_Attr_ExcMask = kAttrSystem;
    path.Prepare();
    const std::vector<TAttrCase> cases = {
        {kAttrHidden | kAttrArchive, true},
        {kAttrHidden | kAttrReadOnly, true},
        {kAttrHidden | kAttrSystem, false},
        {kAttrArchive, false},
        {0, false},
    };
    for (const TAttrCase& c : cases) {
        EXPECT_EQ(path.PassesFile(c.attributes, 0, 1, u"f"), c.passes) << c.attributes;
    }

    // Switched on with both masks empty: nothing is required or forbidden.
    f.FLT_Attr_IncMask = 0;
    f.FLT_Attr_ExcMask = 0;
    path.Prepare();
    EXPECT_TRUE(path.FilterExt().AnyOn());
    EXPECT_TRUE(path.PassesFile(0, 0, 1, u"f"));
    EXPECT_TRUE(path.PassesFile(kAttrHidden | kAttrSystem | kAttrReadOnly, 0, 1, u"f"));

    // Switched off: the masks are ignored.
    f.FLT_bUseAttr = false;
    f.FLT_Attr_IncMask = kAttrSystem;
    path.Prepare();
    EXPECT_TRUE(path.PassesFile(kAttrArchive, 0, 1, u"f"));
}

TEST(SearchDataTest, MasksAndTheExcludeSwitch) {
    TSearchData path;
    TFileFilter& f = path.fileFilter;
    f.FLT_Include = u"*.tmp;*.txt";
    f.FLT_Exclude = u"*.tmp";
    path.Prepare();
    // The exclude text is ignored while its switch is off.
    EXPECT_TRUE(path.PassesFile(kPlain, 0, 1, u"a.tmp"));
    EXPECT_TRUE(path.PassesFile(kPlain, 0, 1, u"b.TXT"));
    EXPECT_FALSE(path.PassesFile(kPlain, 0, 1, u"c.doc"));

    f.FLT_bUseExclude = true;
    path.Prepare();
    EXPECT_FALSE(path.PassesFile(kPlain, 0, 1, u"a.TMP"));
    EXPECT_TRUE(path.PassesFile(kPlain, 0, 1, u"b.txt"));

    // The switch as prepared counts, not a later edit of the filter.
    f.FLT_bUseExclude = false;
    EXPECT_FALSE(path.PassesFile(kPlain, 0, 1, u"a.tmp"));

    // A name that passes the masks is still rejected by a failing size stage.
    f.FLT_bUseExclude = false;
    f.FLT_bUseSize = true;
    f.FLT_SizeA = 10;
    path.Prepare();
    EXPECT_FALSE(path.PassesFile(kPlain, 0, 9, u"b.txt"));
    EXPECT_TRUE(path.PassesFile(kPlain, 0, 10, u"b.txt"));
}

struct TFolderCase {
    const char* fullPath;
    bool passes;
};

TEST(SearchDataTest, ExcludedFoldersAreExpandedStrippedAndAnchored) {
    TScopedEnv env("VDX_SEARCHDATA_ROOT", "/tmp/vdxroot");
    TSearchData path;
    path.folderFilter.Add(u"%VDX_SEARCHDATA_ROOT%/data/");
    path.folderFilter.Add(u"node_modules");
    path.Prepare();
    ASSERT_EQ(path.PathProcessor().Items().size(), 2u);
    EXPECT_EQ(path.PathProcessor().Items()[0].text, u"/tmp/vdxroot/data");

    const std::vector<TFolderCase> cases = {
        {"/tmp/vdxroot/data", false},
        {"/tmp/vdxroot/data/old", false},
        {"/tmp/vdxroot/database", false}, // as C:\DATA skips C:\DATABASE
        {"/tmp/vdxroot", true},
        {"/tmp/vdxroot/dat", true},
        {"/y/tmp/vdxroot/data", true}, // an absolute entry is anchored at the start
        {"/TMP/VDXROOT/DATA", true},   // folder names are case-sensitive
        {"/home/u/project/node_modules", false},
        {"/home/u/project/node_modules/x", false},
        {"/home/u/project/Node_Modules", true},
    };
    for (const TFolderCase& c : cases) {
        EXPECT_EQ(path.PassesFolder(FromUtf8(c.fullPath)), c.passes) << c.fullPath;
    }
}

TEST(SearchDataTest, BlankExcludedFolderSkipsNothingAndRootSkipsAll) {
    TSearchData path;
    path.folderFilter.Add(u"");
    path.folderFilter.Add(u"  ");
    path.Prepare();
    EXPECT_TRUE(path.PathProcessor().Items().empty());
    EXPECT_TRUE(path.PassesFolder(u"/a b/c"));

    path.folderFilter.Add(u"/");
    path.Prepare();
    EXPECT_FALSE(path.PassesFolder(u"/home"));
}

TEST(SearchDataTest, FolderFilterNormalizesToUniqueSortedEntries) {
    TScopedEnv env("VDX_SEARCHDATA_ROOT", "/tmp/vdxroot");
    TFolderFilter filter;
    for (const char16_t* text : {u"/b", u"/a", u" ", u" /a ", u"/A", u"", u"/tmp/vdxroot/x",
                                 u"%VDX_SEARCHDATA_ROOT%/x", u"/a/b"}) {
        filter.Add(text);
    }
    filter.Normalize();
    // Blank entries are gone; "/a" and " /a " are one folder (the later one is
    // kept), "/A" is another; an expanded reference equals its plain form.
    const std::vector<std::u16string> expected = {u"/A", u" /a ", u"/a/b", u"/b",
                                                  u"%VDX_SEARCHDATA_ROOT%/x"};
    EXPECT_EQ(Texts(filter), expected);

    EXPECT_EQ(filter.IndexOf(u"/tmp/vdxroot/x"), 4);
    EXPECT_EQ(filter.IndexOf(u"/a/b"), 2);
    EXPECT_EQ(filter.IndexOf(u"/A/B"), -1);
    EXPECT_EQ(filter.Text(4), u"%VDX_SEARCHDATA_ROOT%/x");
    EXPECT_EQ(filter.Text(5), u"");

    filter.Delete(99);
    EXPECT_EQ(filter.Count(), 5u);
    filter.Delete(0);
    EXPECT_EQ(filter.Text(0), u" /a ");

    TFolderFilter single;
    single.Add(u" ");
    single.Normalize();
    EXPECT_EQ(single.Count(), 0u);
}

// Long lists take the merge sort, short ones the insertion sort; both must
// give the same order and keep the later of two equal entries.
TEST(SearchDataTest, FolderFilterNormalizeLongAndShortListsAgree) {
    for (int count : {3, 16, 17, 60}) {
        TFolderFilter filter;
        std::vector<std::u16string> expected;
        for (int i = count - 1; i >= 0; --i) {
            const std::string name = "/dir" + std::to_string(100 + i);
            filter.Add(FromUtf8(name));
        }
        // A later entry equal after trimming replaces every even one; an
        // upper-case twin is a folder of its own and sorts right before.
        for (int i = 0; i < count; i += 2)
            filter.Add(FromUtf8(" /dir" + std::to_string(100 + i) + " "));
        filter.Add(u"/DIR100");
        for (int i = 0; i < count; ++i) {
            const std::string name = "/dir" + std::to_string(100 + i);
            if (i == 0)
                expected.push_back(u"/DIR100");
            expected.push_back(FromUtf8(i % 2 == 0 ? " " + name + " " : name));
        }
        filter.Normalize();
        EXPECT_EQ(Texts(filter), expected) << count;
    }
}

TEST(SearchDataTest, SizeAndAttributeTexts) {
    EXPECT_EQ(SizeText(500, kDegreeKb), u"500 Kb");
    EXPECT_EQ(SizeText(3, kDegreeGb), u"3 Gb");
    EXPECT_EQ(SizeText(0, kDegreeBytes), u"0 bytes");
    EXPECT_EQ(SizeText(7, 9), u"7 bytes");
    EXPECT_EQ(SizeText(-2, kDegreeMb), u"-2 Mb");
    EXPECT_EQ(AttributeText(kAttrHidden | kAttrReadOnly), u"RH");
    EXPECT_EQ(AttributeText(kAttrSystem | kAttrHidden | kAttrReadOnly | kAttrArchive), u"ARHS");
    EXPECT_EQ(AttributeText(0x10), u"");
}

struct TSizeCellCase {
    std::int32_t pos;
    std::int32_t a;
    std::int32_t degreeA;
    std::int32_t b;
    std::int32_t degreeB;
    std::u16string expected;
};

TEST(SearchDataTest, SizeCellNamesTheSmallerSizeFirst) {
    const std::vector<TSizeCellCase> cases = {
        {kSizeMoreThanA, 3, kDegreeGb, 1, kDegreeBytes, u"more than 3 Gb"},
        {kSizeLessThanA, 7, 9, 0, 0, u"less than 7 bytes"},
        {kSizeBetween, 2, kDegreeMb, 500, kDegreeKb, u"more 500 Kb, less 2 Mb"},
        {kSizeBetween, 500, kDegreeKb, 2, kDegreeMb, u"more 500 Kb, less 2 Mb"},
        {kSizeBeyond, 10, kDegreeBytes, 20, kDegreeBytes, u"less 10 bytes, more 20 bytes"},
        {kSizeBeyond, 1, kDegreeGb, 1000, kDegreeMb, u"less 1000 Mb, more 1 Gb"},
    };
    for (const TSizeCellCase& c : cases) {
        TSearchData path;
        TFileFilter& f = path.fileFilter;
        f.FLT_bUseSize = true;
        f.FLT_SizePos = c.pos;
        f.FLT_SizeA = c.a;
        f.FLT_SizeDegreeA = c.degreeA;
        f.FLT_SizeB = c.b;
        f.FLT_SizeDegreeB = c.degreeB;
        EXPECT_EQ(path.CellText(kColSizeFilter), c.expected) << U8(c.expected);
        f.FLT_bUseSize = false;
        EXPECT_EQ(path.CellText(kColSizeFilter), u"-");
    }
}

struct TAttrCellCase {
    bool on;
    std::uint32_t include;
    std::uint32_t exclude;
    std::u16string expected;
};

TEST(SearchDataTest, CellTextsOfTheCurrentSetList) {
    TSearchSet set;
    auto owned = std::make_unique<TSearchData>();
    TSearchData& path = *owned;
    set.AddOwned(std::move(owned));
    path.SearchPath = u"%HOME%/Pictures";
    path.fileFilter.FLT_Include = u"*.jpg;*.png";
    path.fileFilter.FLT_Exclude = u"*.tmp";

    EXPECT_EQ(set.CellText(0, kColSearchPath), u"%HOME%/Pictures");
    EXPECT_EQ(set.CellText(0, kColIncludeMask), u"*.jpg;*.png");
    EXPECT_EQ(set.CellText(0, kColExcludeMask), u"-");
    EXPECT_EQ(set.CellText(0, kColSizeFilter), u"-");
    EXPECT_EQ(set.CellText(0, kColDateFilter), u"-");
    EXPECT_EQ(set.CellText(0, kColAttrFilter), u"-");
    EXPECT_EQ(set.CellText(0, kColExcludedPaths), u"-");
    EXPECT_EQ(set.CellText(0, kColSubFolders), u"Yes");

    path.fileFilter.FLT_bUseExclude = true;
    path.fileFilter.FLT_bUseDate = true;
    path.folderFilter.Add(u"/x");
    path.bSubFolders = false;
    EXPECT_EQ(set.CellText(0, kColExcludeMask), u"*.tmp");
    EXPECT_EQ(set.CellText(0, kColDateFilter), u"Yes");
    EXPECT_EQ(set.CellText(0, kColExcludedPaths), u"Yes");
    EXPECT_EQ(set.CellText(0, kColSubFolders), u"No");

    // Unknown row or column: no text.
    EXPECT_EQ(set.CellText(1, kColSearchPath), u"");
    EXPECT_EQ(set.CellText(0, 28), u"");

    const std::vector<TAttrCellCase> attrCases = {
        {true, kAttrHidden, kAttrSystem, u"H (S)"},
        {true, kAttrHidden | kAttrReadOnly, 0, u"RH"},
        {true, 0, kAttrArchive | kAttrSystem, u"(AS)"},
        {true, 0, 0, u"-"},
        {false, kAttrHidden, kAttrSystem, u"-"},
    };
    for (const TAttrCellCase& c : attrCases) {
        path.fileFilter.FLT_bUseAttr = c.on;
        path.fileFilter.FLT_Attr_IncMask = c.include;
        path.fileFilter.FLT_Attr_ExcMask = c.exclude;
        EXPECT_EQ(set.CellText(0, kColAttrFilter), c.expected) << U8(c.expected);
    }

    EXPECT_EQ(SetColumnCaption(kColSearchPath), u"Search path");
    EXPECT_EQ(SetColumnCaption(kColIncludeMask), u"Include mask");
    EXPECT_EQ(SetColumnCaption(kColExcludeMask), u"Exclude mask");
    EXPECT_EQ(SetColumnCaption(kColSizeFilter), u"Size filter");
    EXPECT_EQ(SetColumnCaption(kColDateFilter), u"Date filter");
    EXPECT_EQ(SetColumnCaption(kColAttrFilter), u"Attr filter");
    EXPECT_EQ(SetColumnCaption(kColExcludedPaths), u"Excluded paths");
    EXPECT_EQ(SetColumnCaption(kColSubFolders), u"SF");
    EXPECT_EQ(SetColumnCaption(19), u"");
}

TEST(SearchDataTest, SortByPathUsesTrimmedUpperCasedKeysWithTrailingSlash) {
    TSearchDataList list;
    for (const char16_t* text : {u"/b", u" /a/x ", u"/A", u"/a", u"/a b", u"/a/"}) {
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = text;
        list.AddOwned(std::move(path));
    }
    list.Item(3)->selected = true; // "/a" carries its row state along
    list.SortByPath();
    // " " sorts before "/", so "/a b" precedes the folder /a; equal keys
    // ("/A", "/a", "/a/") keep their order.
    const std::vector<std::u16string> expected = {u"/a b", u"/A", u"/a", u"/a/", u" /a/x ", u"/b"};
    EXPECT_EQ(Paths(list), expected);
    EXPECT_TRUE(list.Item(2)->selected);
}

TEST(SearchDataTest, SortByColumnComparesTheColumnThenThePath) {
    // Each path: text, include mask, exclude switch and text, size switch and
    // condition, sub-folder switch.
    struct TRow {
        const char16_t* path;
        const char16_t* include;
        bool useExclude;
        const char16_t* exclude;
        bool useSize;
        int sizePos;
        bool subFolders;
    };
    const TRow rows[] = {
        {u"/d", u"*.txt", true, u"*.b", true, 2, true},
        {u"/c", u"*.doc", false, u"*.z", false, 0, false},
        {u"/B", u"*.txt", true, u"*.a", true, 1, true},
        {u"/a", u"*.doc", false, u"", true, 2, false},
    };
    const auto build = [&rows] {
        TSearchDataList list;
        for (const TRow& row : rows) {
            auto path = std::make_unique<TSearchData>();
            path->SearchPath = row.path;
            path->fileFilter.FLT_Include = row.include;
            path->fileFilter.FLT_bUseExclude = row.useExclude;
            path->fileFilter.FLT_Exclude = row.exclude;
            path->fileFilter.FLT_bUseSize = row.useSize;
            path->fileFilter.FLT_SizePos = row.sizePos;
            path->bSubFolders = row.subFolders;
            list.AddOwned(std::move(path));
        }
        return list;
    };
    struct TCase {
        int column;
        bool ascending;
        std::vector<std::u16string> expected;
    };
    const TCase cases[] = {
        {kColSearchPath, true, {u"/a", u"/B", u"/c", u"/d"}},
        {kColSearchPath, false, {u"/d", u"/c", u"/B", u"/a"}},
        // By include text, ties by path; descending reverses both.
        {kColIncludeMask, true, {u"/a", u"/c", u"/B", u"/d"}},
        {kColIncludeMask, false, {u"/d", u"/B", u"/c", u"/a"}},
        // Unused exclusion first (equal among themselves), then by text.
        {kColExcludeMask, true, {u"/a", u"/c", u"/B", u"/d"}},
        // Unused size filter first, then by condition number.
        {kColSizeFilter, true, {u"/c", u"/B", u"/a", u"/d"}},
        {kColSubFolders, true, {u"/a", u"/c", u"/B", u"/d"}},
        {kColAttrFilter, true, {u"/a", u"/B", u"/c", u"/d"}},
    };
    for (const TCase& c : cases) {
        TSearchDataList list = build();
        list.SortByColumn(c.column, c.ascending);
        EXPECT_EQ(Paths(list), c.expected) << "column " << c.column << " ascending " << c.ascending;
    }
}

TEST(SearchDataTest, ListOperations) {
    TSearchDataList list;
    list.AddOwned(nullptr);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Item(0), nullptr);
    EXPECT_EQ(list.PathText(0), u"");

    for (const char16_t* text : {u"/one", u"/two", u"/three", u"/four"}) {
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = text;
        list.AddOwned(std::move(path));
    }
    list.Delete(7);
    EXPECT_EQ(list.Count(), 4u);
    list.Delete(0);
    EXPECT_EQ(list.PathText(0), u"/two");

    list.Item(0)->removeMark = true;
    list.Item(2)->removeMark = true;
    list.Item(1)->selected = true;
    list.Item(1)->focused = true;
    list.RemoveMarked();
    EXPECT_EQ(Paths(list), (std::vector<std::u16string>{u"/three"}));
    EXPECT_TRUE(list.Item(0)->selected);
    list.ClearRowFlags();
    EXPECT_FALSE(list.Item(0)->selected);
    EXPECT_FALSE(list.Item(0)->focused);

    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
}

TEST(SearchDataTest, AssignMakesAnIndependentDeepCopy) {
    TSearchSet source;
    source.name = u"Photos";
    source.selectAfterSort = true;
    auto owned = std::make_unique<TSearchData>();
    TSearchData& path = *owned;
    source.AddOwned(std::move(owned));
    path.SearchPath = u"/photos";
    path.bSubFolders = false;
    path.volumeIndex = 3;
    path.removeMark = true;
    path.selected = true;
    path.focused = true;
    TFileFilter& f = path.fileFilter;
    f.FLT_Include = u"*.jpg";
    f.FLT_Exclude = u"*.tmp";
    f.FLT_bUseExclude = true;
    f.FLT_bUseDate = true;
    f.FLT_bUseSize = true;
    f.FLT_bUseAttr = true;
    f.FLT_DateTimeA = 40000.25;
    f.FLT_DateTimeB = 41000.75;
    f.FLT_DatePos = kDateBeyond;
    f.FLT_SizeA = 3;
    f.FLT_SizeB = 4;
    f.FLT_SizeDegreeA = kDegreeGb;
    f.FLT_SizeDegreeB = kDegreeMb;
    f.FLT_SizePos = kSizeBetween;
    f.FLT_Attr_IncMask = kAttrHidden;
    f.FLT_Attr_ExcMask = kAttrSystem;
    path.folderFilter.Add(u"/photos/old");
    path.folderFilter.Add(u"%HOME%/cache");
    path.Prepare();

    TSearchSet copy;
    copy.Assign(source);
    EXPECT_EQ(copy.name, u"Photos");
    EXPECT_TRUE(copy.selectAfterSort);
    ASSERT_EQ(copy.Count(), 1u);
    TSearchData& c = *copy.Path(0);
    EXPECT_NE(&c, &path);
    EXPECT_EQ(c.SearchPath, u"/photos");
    EXPECT_FALSE(c.bSubFolders);
    EXPECT_EQ(c.volumeIndex, 3);
    const TFileFilter& g = c.fileFilter;
    EXPECT_EQ(g.FLT_Include, f.FLT_Include);
    EXPECT_EQ(g.FLT_Exclude, f.FLT_Exclude);
    EXPECT_EQ(g.FLT_bUseExclude, f.FLT_bUseExclude);
    EXPECT_EQ(g.FLT_bUseDate, f.FLT_bUseDate);
    EXPECT_EQ(g.FLT_bUseSize, f.FLT_bUseSize);
    EXPECT_EQ(g.FLT_bUseAttr, f.FLT_bUseAttr);
    EXPECT_EQ(g.FLT_DateTimeA, f.FLT_DateTimeA);
    EXPECT_EQ(g.FLT_DateTimeB, f.FLT_DateTimeB);
    EXPECT_EQ(g.FLT_DatePos, f.FLT_DatePos);
    EXPECT_EQ(g.FLT_SizeA, f.FLT_SizeA);
    EXPECT_EQ(g.FLT_SizeB, f.FLT_SizeB);
    EXPECT_EQ(g.FLT_SizeDegreeA, f.FLT_SizeDegreeA);
    EXPECT_EQ(g.FLT_SizeDegreeB, f.FLT_SizeDegreeB);
    EXPECT_EQ(g.FLT_SizePos, f.FLT_SizePos);
    EXPECT_EQ(g.FLT_Attr_IncMask, f.FLT_Attr_IncMask);
    EXPECT_EQ(g.FLT_Attr_ExcMask, f.FLT_Attr_ExcMask);
    EXPECT_EQ(Texts(c.folderFilter), Texts(path.folderFilter));
    // Row state and prepared testers stay behind.
    EXPECT_FALSE(c.removeMark || c.selected || c.focused);
    EXPECT_FALSE(c.FilterExt().AnyOn());
    EXPECT_TRUE(c.PathProcessor().Items().empty());

    // Changing the copy leaves the source alone.
    c.SearchPath = u"/elsewhere";
    c.fileFilter.FLT_Include = u"*.png";
    c.folderFilter.Clear();
    EXPECT_EQ(path.SearchPath, u"/photos");
    EXPECT_EQ(path.fileFilter.FLT_Include, u"*.jpg");
    EXPECT_EQ(path.folderFilter.Count(), 2u);

    // Assigning again replaces the paths instead of appending.
    copy.Assign(source);
    EXPECT_EQ(copy.Count(), 1u);
    EXPECT_EQ(copy.Path(0)->SearchPath, u"/photos");
    copy.Assign(copy);
    EXPECT_EQ(copy.Count(), 1u);
}

} // namespace
} // namespace vdx
