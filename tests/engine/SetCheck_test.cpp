#include "engine/VDX_unit_SetCheck.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_StoreKey.h"

namespace vdx {
namespace {

TSearchSet MakeSet(const std::vector<std::u16string>& paths) {
    TSearchSet set;
    for (const std::u16string& p : paths) {
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = p;
        set.AddOwned(std::move(path));
    }
    return set;
}

const std::u16string kModify =
    u"\r\n\r\nPlease modify either the search path or the current search set.";

TEST(SetCheck, EmptySetIsRefused) {
    const TSetCheckResult r = CheckSearchSet(TSearchSet{});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, u"Current search set does not contain a search path.");
    EXPECT_EQ(r.title, u"Warning: incorrect field");
    EXPECT_TRUE(r.selectIndexes.empty());
}

TEST(SetCheck, SetsThatMayStart) {
    const std::vector<std::vector<std::u16string>> sets = {
        {u"/home/u"},
        {u"/a", u"/b", u"/c/d"},
        // Whole folder names only: /data is not a parent of /database.
        {u"/data", u"/database", u"/data base"},
        // Letter case tells folders apart on Linux.
        {u"/data", u"/Data", u"/DATA/x"},
        // Environment references are not expanded for this check.
        {u"%HOME%", u"/home"},
    };
    for (const auto& paths : sets) {
        const TSetCheckResult r = CheckSearchSet(MakeSet(paths));
        EXPECT_TRUE(r.ok) << ToUtf8(r.message);
        EXPECT_TRUE(r.message.empty());
        EXPECT_TRUE(r.selectIndexes.empty());
    }
}

TEST(SetCheck, SameFolderTwice) {
    // Blanks and a trailing "/" do not make another folder; the message shows
    // the path as stored.
    const TSetCheckResult r = CheckSearchSet(MakeSet({u"/x", u"/a", u" /a/ "}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, u"Warning: duplicate search path");
    EXPECT_EQ(r.message, u"The same search paths are in current search set\r\n'/a'" + kModify);
    EXPECT_EQ(r.selectIndexes, (std::vector<std::size_t>{1, 2}));
}

TEST(SetCheck, DuplicatesSeparatedByAnotherCaseAreFound) {
    // Ordered without letter case, /A would sit between the two /a and no
    // neighbours would be equal.
    const TSetCheckResult r = CheckSearchSet(MakeSet({u"/a", u"/A", u"/a"}));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.title, u"Warning: duplicate search path");
    EXPECT_EQ(r.selectIndexes, (std::vector<std::size_t>{0, 2}));
}

TEST(SetCheck, FolderInsideAnother) {
    struct TCase {
        std::vector<std::u16string> paths;
        std::u16string parent, child;
        std::vector<std::size_t> select;
    };
    const TCase cases[] = {
        {{u"/x/y", u"/q", u"/x"}, u"/x", u"/x/y", {0, 2}},
        {{u"/home/u", u"/"}, u"/", u"/home/u", {0, 1}},
        // A folder between the parent and its child in key order.
        {{u"/p/z", u"/p/a", u"/p"}, u"/p", u"/p/a", {1, 2}},
        // Every copy of either path is selected.
        {{u"/m", u"/m/n", u"/m/n/"}, u"/m", u"/m/n", {0, 1, 2}},
    };
    for (const TCase& c : cases) {
        const TSetCheckResult r = CheckSearchSet(MakeSet(c.paths));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.title, u"Warning: incorrect search path");
        EXPECT_EQ(r.message, u"The search path\r\n '" + c.parent +
                                 u"'\r\n\r\n is a parent of a folder in current search set\r\n '" +
                                 c.child + u"'" + kModify);
        EXPECT_EQ(r.selectIndexes, c.select) << ToUtf8(r.message);
    }
}

TEST(SetCheck, Keys) {
    EXPECT_EQ(SetCheckKey(u"  /a/b \t"), u"/a/b/");
    EXPECT_EQ(SetCheckKey(u"/a/b/"), u"/a/b/");
    EXPECT_EQ(SetCheckKey(u"/"), u"/");
    EXPECT_EQ(SetCheckKey(u"/Ab"), u"/Ab/");
}

} // namespace
} // namespace vdx
