#include "engine/VDX_unit_Helpers.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

// Every expectation below is written for the C.UTF-8 locale (English month
// names, "%m/%d/%y" and "%H:%M:%S") and for UTC, whatever the machine has.
class THelpersEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("LC_ALL", "C.UTF-8", 1);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        std::setlocale(LC_ALL, "");
        ReloadLocaleFormats();
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new THelpersEnvironment);

std::string Show(std::u16string_view text) {
    return ToUtf8(text);
}

std::u16string U(std::string_view utf8) {
    return FromUtf8(utf8);
}

constexpr double kSecond = 1.0 / 86400.0;

// ---------------------------------------------------------------------------
// Numbers

TEST(FormatNumber, GroupsDigitsInThreesAcrossTheBillionSplit) {
    struct TCase {
        std::int64_t value;
        const char16_t* expected; // "," stands for the locale's separator
    };
    const TCase cases[] = {
        {0, u"0"},
        {7, u"7"},
        {999, u"999"},
        {1000, u"1,000"},
        {999999999, u"999,999,999"},
        {1000000000, u"1,000,000,000"},
        {1000000123, u"1,000,000,123"},
        {12345678901, u"12,345,678,901"},
        {-1, u"-1"},
        {-1234, u"-1,234"},
        {-1000000123, u"-1,000,000,123"},
        {std::numeric_limits<std::int64_t>::max(), u"9,223,372,036,854,775,807"},
        {std::numeric_limits<std::int64_t>::min(), u"-9,223,372,036,854,775,808"},
    };
    const char16_t separator = ThousandSeparator();
    for (const TCase& c : cases) {
        std::u16string expected = c.expected;
        for (char16_t& ch : expected)
            if (ch == u',')
                ch = separator;
        EXPECT_EQ(Show(FormatNumber(c.value)), Show(expected)) << c.value;
    }
}

TEST(FormatNumber, CLocaleHasNoSeparatorSoCommaIsUsed) {
    EXPECT_EQ(ThousandSeparator(), u',');
    EXPECT_EQ(Show(FormatNumber(1000000123)), "1,000,000,123");
}

TEST(FormatPlainNumber, WritesDigitsWithoutGrouping) {
    EXPECT_EQ(Show(FormatPlainNumber(0)), "0");
    EXPECT_EQ(Show(FormatPlainNumber(1234567890123)), "1234567890123");
    EXPECT_EQ(Show(FormatPlainNumber(-42)), "-42");
    EXPECT_EQ(Show(FormatPlainNumber(std::numeric_limits<std::int64_t>::min())),
              "-9223372036854775808");
}

// ---------------------------------------------------------------------------
// Durations

TEST(FormatDuration, NamesTheRequestedNonZeroParts) {
    constexpr unsigned kAll = kDurHours | kDurMinutes | kDurSeconds | kDurMilliseconds;
    constexpr unsigned kMinSec = kDurMinutes | kDurSeconds;
    struct TCase {
        unsigned parts;
        double span;
        const char* expected;
    };
    const TCase cases[] = {
        {kMinSec, 61.4 * kSecond, "1 minute 1 second"},
        {kMinSec, 0.4 * kSecond, "none"},
        {kAll, 25 * 3600 * kSecond, "1 hour"}, // whole days are not shown
        {kAll, 0.0, "none"},
        // 61.4 s is not exact in days; the milliseconds must still be 400.
        {kAll, 61.4 * kSecond, "1 minute 1 second 400 milliseconds"},
        {kAll, (2 * 3600 + 5 * 60 + 1) * kSecond, "2 hours 5 minutes 1 second"},
        {kAll, (3600 + 2 * 60 + 0.001) * kSecond, "1 hour 2 minutes 1 millisecond"},
        {kAll, 0.999 * kSecond, "999 milliseconds"},
        {kDurHours, 59 * 60 * kSecond, "none"},
        {kDurSeconds, 3599 * kSecond, "59 seconds"},
        {kDurMilliseconds, 1.5 * kSecond, "500 milliseconds"},
        {0, 3723 * kSecond, "none"},
        // A span measured as the difference of two date-times late in the
        // calendar carries the rounding error of both.
        {kMinSec, (45000.5 + 125 * kSecond) - 45000.5, "2 minutes 5 seconds"},
        {kAll, (45000.5 + 0.2 * kSecond) - 45000.5, "200 milliseconds"},
        {kAll, (43529.0 + 7.7 * kSecond) - 43529.0, "7 seconds 700 milliseconds"},
        {kAll, 4.35 * kSecond, "4 seconds 350 milliseconds"},
        {kAll, 3599.7 * kSecond, "59 minutes 59 seconds 700 milliseconds"},
        // A clock set back gives a negative span; its length is shown.
        {kMinSec, -61.4 * kSecond, "1 minute 1 second"},
        {kAll, std::nan(""), "none"},
        {kAll, std::numeric_limits<double>::infinity(), "none"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(Show(FormatDuration(c.parts, c.span)), c.expected)
            << "parts " << c.parts << " span " << c.span / kSecond << " s";
}

// ---------------------------------------------------------------------------
// Dates

// 2019-03-05 14:07:09 UTC.
constexpr std::int64_t kStampUnix = 1551794829;
constexpr TFileTime kStampFileTime = (kStampUnix + kUnixEpochOffsetSeconds) * 10'000'000;
constexpr double kStampDateTime = 43529.0 + (14 * 3600 + 7 * 60 + 9) / 86400.0;

TEST(FormatStamp, ReplacesCharactersNoFileNameMayContain) {
    TCalendarTime c;
    c.year = 2019;
    c.month = 3;
    c.day = 5;
    c.hour = 14;
    c.minute = 7;
    c.second = 9;
    c.dayOfWeek = 2;
    EXPECT_EQ(Show(FormatStamp(c)), "March 5, 2019 at 14-07-09");

    c.year = 987;
    c.month = 12;
    c.day = 31;
    EXPECT_EQ(Show(FormatStamp(c)), "December 31, 0987 at 14-07-09");
}

TEST(FormatStampNow, IsUsableInAFileName) {
    const std::u16string stamp = FormatStampNow();
    ASSERT_FALSE(stamp.empty());
    EXPECT_NE(stamp.find(u", "), std::u16string::npos) << Show(stamp);
    EXPECT_NE(stamp.find(u" at "), std::u16string::npos) << Show(stamp);
    for (char16_t c : stamp)
        EXPECT_EQ(kInvalidNameChars.find(c), std::u16string_view::npos) << Show(stamp);
}

TEST(FormatFileTime, ShortDateAndLongTimeInLocalTime) {
    EXPECT_EQ(Show(FormatFileTime(kStampFileTime)), "03/05/19 14:07:09");
    EXPECT_EQ(Show(FormatFileTime(kStampFileTime + 9'999'999)), "03/05/19 14:07:09");
}

TEST(FormatFileTime, UnconvertibleValueGivesQuestionMarks) {
    EXPECT_EQ(Show(FormatFileTime(-1)), "??");
    EXPECT_EQ(Show(FormatFileTime(std::numeric_limits<std::int64_t>::min())), "??");
}

TEST(LocalToFileTime, ConvertsOrGivesZero) {
    const TFileTime ft = LocalToFileTime(kStampDateTime);
    // The date-time is a double; a millisecond of slack covers its rounding.
    EXPECT_LE(std::llabs(ft - kStampFileTime), 10'000) << ft;

    EXPECT_EQ(LocalToFileTime(std::nan("")), 0);
    EXPECT_EQ(LocalToFileTime(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(LocalToFileTime(1e300), 0);
}

// ---------------------------------------------------------------------------
// Names and paths

struct TTextCase {
    const char* input;
    const char* expected;
};

TEST(DisplayCaseName, ShowsTheNameAsItIsOnDisk) {
    // Two files differ by case alone; neither may be shown as the other.
    for (const char* name : {"IMG_0001.JPG", "README.TXT", "Readme.txt", "_ABC", "A", ""})
        EXPECT_EQ(Show(DisplayCaseName(U(name))), name);
}

TEST(NameWithoutExtension, CutsAtTheLastDotUnlessItIsFirst) {
    const TTextCase cases[] = {
        {".profile", ".profile"},
        {"a.tar.gz", "a.tar"},
        {"name", "name"},
        {"name.", "name"},
        {"..x", "."},
        {"", ""},
        {".", "."},
    };
    for (const TTextCase& c : cases)
        EXPECT_EQ(Show(NameWithoutExtension(U(c.input))), c.expected) << c.input;
}

TEST(ReplaceInvalidNameChars, ReplacesEachOfTheNineCharacters) {
    EXPECT_EQ(Show(ReplaceInvalidNameChars(u"a\\b/c:d*e?f\"g<h>i|j", u'-')), "a-b-c-d-e-f-g-h-i-j");
    EXPECT_EQ(Show(ReplaceInvalidNameChars(u"plain name.txt", u'_')), "plain name.txt");
    EXPECT_EQ(Show(ReplaceInvalidNameChars(u"::", u'_')), "__");
}

TEST(TrailingDelimiter, AddAndRemoveWorkWithSlash) {
    const TTextCase added[] = {
        {"", "/"}, {"/", "/"}, {"/a", "/a/"}, {"/a/", "/a/"}, {"a\\", "a\\/"}};
    for (const TTextCase& c : added)
        EXPECT_EQ(Show(AddTrailingBackslash(U(c.input))), c.expected) << c.input;
    const TTextCase removed[] = {{"", ""}, {"/", ""}, {"/a/", "/a"}, {"/a", "/a"}, {"/a//", "/a/"}};
    for (const TTextCase& c : removed)
        EXPECT_EQ(Show(RemoveTrailingBackslash(U(c.input))), c.expected) << c.input;
}

TEST(LongPathForm, LeavesEveryPathUnchanged) {
    const std::u16string longPath = u"/" + std::u16string(300, u'x');
    EXPECT_EQ(LongPathForm(longPath), longPath);
    EXPECT_EQ(Show(LongPathForm(u"//srv/share")), "//srv/share");
    EXPECT_EQ(Show(LongPathForm(u"")), "");
}

TEST(RemoveLineBreaks, DropsEveryCarriageReturnAndLineFeed) {
    EXPECT_EQ(Show(RemoveLineBreaks(u"\r\nNo such\r\nfile\n\r")), "No suchfile");
    EXPECT_EQ(Show(RemoveLineBreaks(u"a\tb")), "a\tb");
}

TEST(LastPosition, OneBasedStartOfTheLastPossiblyOverlappingOccurrence) {
    struct TCase {
        const char16_t* sub;
        const char16_t* text;
        std::size_t expected;
    };
    const TCase cases[] = {
        {u"aa", u"aaa", 2}, {u"b", u"abcb", 4},    {u"abc", u"abc", 1},
        {u"x", u"abc", 0},  {u"abcd", u"abc", 0},  {u"", u"abc", 0},
        {u"a", u"", 0},     {u"*.", u"*.a*.b", 4}, {u"ABA", u"ABABABA", 5},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(LastPosition(c.sub, c.text), c.expected) << Show(c.sub) << " in " << Show(c.text);
}

TEST(TrimText, RemovesControlCharactersAndSpacesAtBothEnds) {
    EXPECT_EQ(Show(TrimText(u" \t a b \r\n")), "a b");
    EXPECT_EQ(Show(TrimText(u"   ")), "");
    EXPECT_EQ(Show(TrimText(u"")), "");
    EXPECT_EQ(Show(TrimText(std::u16string(u"\x01x\x1F", 3))), "x");
    // A no-break space (0xA0) is above 32 and stays.
    EXPECT_EQ(TrimText(u"\u00A0x\u00A0"), u"\u00A0x\u00A0");
}

TEST(UpperCaseText, UpperCasesUnicodeWithoutChangingTheLength) {
    EXPECT_EQ(Show(UpperCaseText(U("straße äöü ß.txt"))), "STRAßE ÄÖÜ ß.TXT");
    EXPECT_EQ(Show(UpperCaseText(U("ωmega"))), "ΩMEGA");
    const std::u16string pair = U("a\xF0\x9F\x98\x80z"); // U+1F600 between two letters
    const std::u16string upper = UpperCaseText(pair);
    EXPECT_EQ(upper.size(), pair.size());
    EXPECT_EQ(Show(upper), "A\xF0\x9F\x98\x80Z");
}

TEST(ExpandEnvVars, ExpandsReferencesAndLimitsTheLength) {
    ::setenv("VDX_HELPERS_TEST", "/srv/data", 1);
    EXPECT_EQ(Show(ExpandEnvVars(u"%VDX_HELPERS_TEST%/logs")), "/srv/data/logs");
    EXPECT_EQ(Show(ExpandEnvVars(u"%VDX_HELPERS_UNSET_NAME%/x")), "%VDX_HELPERS_UNSET_NAME%/x");

    ::setenv("VDX_HELPERS_LONG", std::string(3000, 'a').c_str(), 1);
    EXPECT_EQ(ExpandEnvVars(u"%VDX_HELPERS_LONG%"), std::u16string(2000, u'a'));

    // A surrogate pair across the limit is dropped whole, never halved.
    const std::string smiley = "\xF0\x9F\x98\x80";
    ::setenv("VDX_HELPERS_LONG", (std::string(1999, 'a') + smiley + "b").c_str(), 1);
    EXPECT_EQ(ExpandEnvVars(u"%VDX_HELPERS_LONG%"), std::u16string(1999, u'a'));
    ::setenv("VDX_HELPERS_LONG", (std::string(1998, 'a') + smiley + "b").c_str(), 1);
    EXPECT_EQ(ExpandEnvVars(u"%VDX_HELPERS_LONG%"), std::u16string(1998, u'a') + U(smiley));
    ::unsetenv("VDX_HELPERS_LONG");
    ::unsetenv("VDX_HELPERS_TEST");
}

// ---------------------------------------------------------------------------
// File system queries

class THelpersTree : public ::testing::Test {
protected:
    std::u16string P(std::string_view rel) const { return FromUtf8(m_tree.Path(rel)); }
    bool IsDir(std::string_view rel) const {
        struct stat st {};
        return ::stat(m_tree.Path(rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    test::TTempTree m_tree;
};

TEST_F(THelpersTree, FolderExistsTellsFolderFileAndFailure) {
    m_tree.Dir("dir");
    m_tree.File("file", "x");
    m_tree.Symlink(m_tree.Path("dir"), "linkToDir");
    m_tree.Symlink(m_tree.Path("gone"), "dangling");

    struct TCase {
        const char* rel;
        bool exists;
        int error;
    };
    const TCase cases[] = {
        {"dir", true, 0},
        {"dir/", true, 0},
        {"linkToDir", true, 0},
        {"file", false, 0},
        {"missing", false, ENOENT},
        {"dangling", false, ENOENT},
        {"file/sub", false, ENOTDIR},
    };
    for (const TCase& c : cases) {
        int error = -1;
        EXPECT_EQ(FolderExists(P(c.rel), error), c.exists) << c.rel;
        EXPECT_EQ(error, c.error) << c.rel;
        EXPECT_EQ(FolderExists(P(c.rel)), c.exists) << c.rel;
    }
    EXPECT_TRUE(FolderExistsSlash(P("dir")));
    EXPECT_TRUE(FolderExistsSlash(P("linkToDir")));
    EXPECT_FALSE(FolderExistsSlash(P("file")));
    EXPECT_FALSE(FolderExistsSlash(P("missing")));
    int error = -1;
    EXPECT_FALSE(FolderExists(u"", error));
    EXPECT_EQ(error, ENOENT);
}

TEST_F(THelpersTree, PathExistsForAnyNameTaken) {
    m_tree.Dir("dir");
    m_tree.File("file");
    m_tree.Symlink(m_tree.Path("gone"), "dangling");
    EXPECT_TRUE(PathExists(P("dir")));
    EXPECT_TRUE(PathExists(P("file")));
    // The name of a dangling link is taken: nothing can be created there.
    EXPECT_TRUE(PathExists(P("dangling")));
    EXPECT_FALSE(PathExists(P("missing")));
    EXPECT_FALSE(PathExists(P("file/sub")));
}

TEST_F(THelpersTree, ForceFoldersCreatesEveryMissingFolder) {
    m_tree.Dir("have");
    m_tree.Symlink(m_tree.Path("have"), "link");
    struct TCase {
        const char* rel;
        const char* check; // a folder that must exist afterwards
    };
    const TCase cases[] = {
        {"a/b/c", "a/b/c"},        {"a/b/c", "a/b/c"}, // again: everything exists already
        {"have/x/y/", "have/x/y"}, {"d//e///f", "d/e/f"}, {"link/through", "have/through"},
        {"g/ü ñ/h", "g/ü ñ/h"},
    };
    for (const TCase& c : cases) {
        int error = -1;
        EXPECT_TRUE(ForceFolders(P(c.rel), error)) << c.rel;
        EXPECT_EQ(error, 0) << c.rel;
        EXPECT_TRUE(IsDir(c.check)) << c.rel;
    }
}

TEST_F(THelpersTree, ForceFoldersStopsAtAFileInTheWay) {
    m_tree.File("a/file", "x");
    m_tree.Symlink(m_tree.Path("gone"), "a/dangling");
    for (const char* rel : {"a/file", "a/file/b/c", "a/dangling/b"}) {
        int error = 0;
        EXPECT_FALSE(ForceFolders(P(rel), error)) << rel;
        EXPECT_EQ(error, EEXIST) << rel;
    }
    // mkdir does not follow the dangling link to create its target.
    struct stat st {};
    EXPECT_EQ(::lstat(m_tree.Path("gone").c_str(), &st), -1);
}

TEST_F(THelpersTree, ForceFoldersRejectsAnEmptyPath) {
    int error = 0;
    EXPECT_FALSE(ForceFolders(u"", error));
    EXPECT_EQ(error, ENOENT);
}

TEST_F(THelpersTree, ForceFoldersKeepsTheFirstErrorAndTriesTheRest) {
    m_tree.Dir("a");
    test::TFaultFs fs;
    test::TFaultRule rule;
    rule.op = test::TFsOp::MakeDir;
    rule.pathPart = m_tree.Path("a/b");
    rule.error = EACCES;
    rule.times = 1;
    fs.Add(rule);
    int error = 0;
    bool ok = true;
    {
        test::TFaultFsInstall install(fs);
        ok = ForceFolders(P("a/b/c/d"), error);
    }
    EXPECT_FALSE(ok);
    // b, c and d are each attempted; c and d fail with ENOENT, but the cause
    // is what the caller must see.
    EXPECT_EQ(fs.Calls(test::TFsOp::MakeDir), 3);
    EXPECT_EQ(error, EACCES);
    EXPECT_FALSE(IsDir("a/b"));
}

TEST_F(THelpersTree, ForceFoldersFailsWhenTheLastFolderCannotBeMade) {
    m_tree.Dir("a");
    test::TFaultFs fs;
    fs.Fail(test::TFsOp::MakeDir, m_tree.Path("a/full"), ENOSPC);
    int error = 0;
    bool ok = true;
    {
        test::TFaultFsInstall install(fs);
        ok = ForceFolders(P("a/full"), error);
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, ENOSPC);
    EXPECT_EQ(fs.Calls(test::TFsOp::MakeDir), 1);
}

// ---------------------------------------------------------------------------
// Lists

TStrList Items(std::initializer_list<const char*> texts) {
    TStrList list;
    for (const char* t : texts)
        list.push_back({FromUtf8(t)});
    return list;
}

std::vector<std::string> Texts(const TStrList& list) {
    std::vector<std::string> texts;
    for (const TStrItem& item : list)
        texts.push_back(ToUtf8(item.text));
    return texts;
}

TEST(TidyHistory, RemovesLaterDuplicatesAndCutsToTheMaximum) {
    struct TCase {
        TStrList input;
        char16_t ignored;
        std::size_t max;
        std::vector<std::string> expected;
    };
    const TCase cases[] = {
        {Items({"*.doc;", "*.txt", "*.DOC"}), u';', 2, {"*.doc;", "*.txt"}},
        {Items({"*.doc;", "*.txt", "*.DOC"}), u';', 1, {"*.doc;"}},
        {Items({"*.doc;", "*.txt", "*.DOC"}), u';', 0, {}},
        // Compared trimmed; the texts themselves are kept as entered.
        {Items({"  /data ", "/data", "/other", "/data\t"}), u'/', 10, {"  /data ", "/other"}},
        // Only one trailing ignored character is stripped.
        {Items({"a;;", "a;", "a"}), u';', 10, {"a;;", "a;"}},
        // The ignored character is stripped after trimming.
        {Items({"/srv/ ", "/srv"}), u'/', 10, {"/srv/ "}},
        // Only a to z are compared without case.
        {Items({"ä", "Ä", "é", "É"}), u';', 10, {"ä", "Ä", "é", "É"}},
        {Items({"/Home/u", "/home/U"}), u'/', 10, {"/Home/u"}},
        {Items({"x", "y", "x", "z", "y", "x"}), u';', 10, {"x", "y", "z"}},
        {Items({}), u';', 5, {}},
        {Items({"", " ", ";"}), u';', 5, {""}},
    };
    for (const TCase& c : cases) {
        TStrList list = c.input;
        TidyHistory(list, c.ignored, c.max);
        EXPECT_EQ(Texts(list), c.expected) << ::testing::PrintToString(Texts(c.input));
    }
}

TEST(TidyHistory, ExactComparisonKeepsPathsThatDifferInCase) {
    TStrList list = Items({"/home/u/Photos", " /home/u/photos", "/home/u/Photos/", "/x"});
    TidyHistory(list, u'/', 3, THistoryCompare::Exact);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"/home/u/Photos", " /home/u/photos", "/x"}));
}

} // namespace
} // namespace vdx
