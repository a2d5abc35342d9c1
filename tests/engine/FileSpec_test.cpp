#include "engine/VDX_unit_FileSpec.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

std::string Show(std::u16string_view text) {
    return ToUtf8(text);
}

// ---------------------------------------------------------------------------
// A plain reference for what a mask list means: "*" any run, "?" one
// character, everything else itself, after upper-casing both sides; a mask of
// only stars, or of stars around a single ".", matches every name, and a list
// holding such a mask gives the caller's default answer.

bool IsMatchAllMask(std::u16string_view mask) {
    std::size_t dots = 0;
    std::size_t dotAt = 0;
    for (std::size_t i = 0; i < mask.size(); ++i) {
        if (mask[i] == u'.') {
            ++dots;
            dotAt = i;
        } else if (mask[i] != u'*') {
            return false;
        }
    }
    if (dots == 0)
        return true;
    return dots == 1 && dotAt > 0 && dotAt + 1 < mask.size();
}

bool WildcardMatch(std::u16string_view mask, std::u16string_view name) {
    // reach[j]: the mask prefix seen so far matches name[0, j).
    constexpr std::size_t kMax = 64;
    if (name.size() >= kMax)
        return false;
    bool reach[kMax] = {true};
    for (char16_t m : mask) {
        if (m == u'*') {
            for (std::size_t j = 1; j <= name.size(); ++j)
                reach[j] = reach[j] || reach[j - 1];
        } else {
            for (std::size_t j = name.size(); j > 0; --j)
                reach[j] = reach[j - 1] && (m == u'?' || m == name[j - 1]);
            reach[0] = false;
        }
    }
    return reach[name.size()];
}

std::u16string_view TrimForReference(std::u16string_view text) {
    while (!text.empty() && text.front() <= 32)
        text.remove_prefix(1);
    while (!text.empty() && text.back() <= 32)
        text.remove_suffix(1);
    return text;
}

// A mask list taken apart once, asked for many names.
class TReferenceList {
public:
    explicit TReferenceList(std::u16string_view list) {
        std::u16string upper(list);
        UpperCaseInPlace(upper);
        std::u16string_view rest(upper);
        for (;;) {
            const std::size_t semi = rest.find(u';');
            const std::u16string_view mask = TrimForReference(rest.substr(0, semi));
            if (!mask.empty()) {
                m_masks.emplace_back(mask);
                m_matchAll = m_matchAll || IsMatchAllMask(mask);
            }
            if (semi == std::u16string_view::npos)
                break;
            rest.remove_prefix(semi + 1);
        }
    }

    bool Matches(std::u16string_view name, bool defaultAnswer) const {
        if (m_masks.empty() || m_matchAll)
            return defaultAnswer;
        std::u16string upperName(name);
        UpperCaseInPlace(upperName);
        for (const auto& mask : m_masks) {
            if (WildcardMatch(mask, upperName))
                return true;
        }
        return false;
    }

private:
    std::vector<std::u16string> m_masks;
    bool m_matchAll = false;
};

bool Compiled(std::u16string_view list, std::u16string_view name, bool defaultAnswer) {
    TFileSpecProcessor processor;
    processor.SetMask(list);
    return processor.Matches(name, defaultAnswer);
}

// ---------------------------------------------------------------------------

TEST(FileSpecMatches, EdgeCasesOfTheMaskLanguage) {
    struct TCase {
        std::u16string_view masks;
        std::u16string_view name;
        bool expected;
    };
    const TCase cases[] = {
        // An empty list gives the default (true here, as for the include list).
        {u"", u"anything.txt", true},
        {u" ; ;\t", u"anything.txt", true},
        // Match-all masks pass every name, including names without a dot.
        {u"*.*", u"README", true},
        {u"*", u"README", true},
        {u"**.**", u"README", true},
        {u"*.**", u"x", true},
        // Blanks around masks and empty pieces are ignored; case does not count.
        {u"*.txt; *.DOC", u"a.TXT", true},
        {u"*.txt; *.DOC", u"b.doc", true},
        {u"*.txt; *.DOC", u"c.docx", false},
        {u" *.txt ; ; *.doc ", u"a.TXT", true},
        {u" *.txt ; ; *.doc ", u"b.doc", true},
        {u" *.txt ; ; *.doc ", u"c.docx", false},
        {u"*.jp?g", u"x.JPEG", true},
        {u"*.jp?g", u"x.jpg", false},
        {u"data*", u"Data", true},
        {u"data*", u"data.bin", true},
        {u"data*", u"mydata", false},
        {u"a?c", u"ABC", true},
        {u"a?c", u"a-c", true},
        {u"a?c", u"ABCD", false},
        {u"a?c", u"AC", false},
        // The dot is an ordinary character outside the match-all rule.
        {u"*.", u"file.txt", false},
        {u"*.", u"README", false},
        {u"*.", u"odd.", true},
        {u".*", u"README", false},
        {u".*", u".hidden", true},
        {u"*a?b*", u"xaYb", true},
        {u"*a?b*", u"aab", true},
        {u"*a?b*", u"a b", true},
        {u"*a?b*", u"ab", false},
        {u"*?a?b*", u"aXb", false},
        {u"*?a?b*", u"zaXb", true},
        {u"x?y*", u"XAY.TXT", true},
        {u"x?y*", u"XAAY", false},
        {u"*.gz", u"file.tar.gz", true},
        {u"*.TAR.GZ", u"file.tar.gz", true},
        {u"*.tar*", u"file.tar.gz", true},
        // A group whose first literal occurs earlier without the rest following.
        {u"*a?b*", u"aaXb", true},
        {u"*aa?b*", u"aaaxb", true},
        {u"*ab?cd*x", u"abab-cd-ab1cdx", true},
        {u"*ab?cd*x", u"abab-cd-ab1cd", false},
        // Head and tail segments.
        {u"a*a", u"a", false},
        {u"a*a", u"aa", true},
        {u"a*?", u"a", false},
        {u"a*?", u"ab", true},
        {u"a*?", u"abc", true},
        {u"?*?", u"a", false},
        {u"?*?", u"ab", true},
        {u"??*?a*", u"xxa", false},
        {u"??*?a*", u"xxxa", true},
        // Non-ASCII letters compare without case too.
        {u"*.\u00E9t\u00E9", u"x.\u00C9T\u00C9", true},
        {u"\u0436*", u"\u0416\u0416", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compiled(c.masks, c.name, true), c.expected)
            << "masks \"" << Show(c.masks) << "\" name \"" << Show(c.name) << "\"";
        // The reference of the property tests must agree with the table too.
        EXPECT_EQ(TReferenceList(c.masks).Matches(c.name, true), c.expected)
            << "reference, masks \"" << Show(c.masks) << "\" name \"" << Show(c.name) << "\"";
    }
}

TEST(FileSpecMatches, MatchAllAndEmptyListsGiveTheDefault) {
    // The scan asks the exclude list with false: an exclude list holding "*"
    // or "*.*" excludes nothing, even beside an ordinary mask.
    for (std::u16string_view exclude : {u"*", u"*.*", u"*.tmp;*", u" ", u""}) {
        TFileSpecProcessor processor;
        processor.SetMask(exclude);
        EXPECT_FALSE(processor.Matches(u"a.tmp", false)) << Show(exclude);
        EXPECT_TRUE(processor.Matches(u"a.tmp", true)) << Show(exclude);
    }
    TFileSpecProcessor exclude;
    exclude.SetMask(u"*.tmp");
    EXPECT_TRUE(exclude.Matches(u"a.TMP", false));
    EXPECT_FALSE(exclude.Matches(u"a.txt", false));
    // The default only answers for empty and match-all lists.
    EXPECT_FALSE(exclude.Matches(u"a.txt", true));
}

TEST(FileSpecMatches, SetMaskReplacesAndClearEmpties) {
    TFileSpecProcessor processor;
    processor.SetMask(u"*.a");
    EXPECT_TRUE(processor.Matches(u"x.a", false));
    processor.SetMask(u"*.b");
    EXPECT_FALSE(processor.Matches(u"x.a", false));
    EXPECT_TRUE(processor.Matches(u"x.b", false));
    processor.SetMask(u"*");
    processor.SetMask(u"*.b");
    EXPECT_FALSE(processor.Matches(u"x.a", true)) << "match-all of an earlier list must not stay";
    processor.Clear();
    EXPECT_TRUE(processor.Parts().empty());
    EXPECT_TRUE(processor.Matches(u"x.a", true));
}

TEST(FileSpecMatches, NamesLongerThanAnyFileNameStillMatch) {
    std::u16string name(3000, u'x');
    name += u".Jpg";
    TFileSpecProcessor processor;
    processor.SetMask(u"*.jpg;x?x*");
    EXPECT_TRUE(processor.Matches(name, false));
    processor.SetMask(u"*.png");
    EXPECT_FALSE(processor.Matches(name, false));
}

// ---------------------------------------------------------------------------
// The compiled form.

struct TElem {
    std::u16string_view text;
    bool anchored;
    bool tail;
    std::vector<TElem> group;
};

void ExpectElements(const std::vector<TSubPartItem>& actual, const std::vector<TElem>& expected,
                    const std::string& where) {
    ASSERT_EQ(actual.size(), expected.size()) << where;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::string at = where + " element " + std::to_string(i);
        EXPECT_EQ(Show(actual[i].text), Show(expected[i].text)) << at;
        EXPECT_EQ(actual[i].anchored, expected[i].anchored) << at;
        EXPECT_EQ(actual[i].tail, expected[i].tail) << at;
        ASSERT_EQ(actual[i].group != nullptr, !expected[i].group.empty()) << at;
        if (actual[i].group)
            ExpectElements(*actual[i].group, expected[i].group, at + " group");
    }
}

TEST(FileSpecCompile, BuildsLiteralRunsWildcardsTailAndGroups) {
    struct TCase {
        std::u16string_view mask;
        std::vector<TElem> elements;
    };
    const TCase cases[] = {
        {u"*", {{u".", false, false, {}}}},
        {u"***", {{u".", false, false, {}}}},
        {u"*.*", {{u".", false, false, {}}}},
        {u"*.", {{u".", false, true, {}}}},
        {u"*.jpg", {{u".JPG", false, true, {}}}},
        {u"data*", {{u"DATA", true, false, {}}}},
        {u"a?c", {{u"A", true, true, {}}, {u"?", true, true, {}}, {u"C", true, true, {}}}},
        {u"*.jp?g", {{u".JP", false, true, {}}, {u"?", true, true, {}}, {u"G", true, true, {}}}},
        {u"x?y*", {{u"X", true, false, {}}, {u"?", true, false, {}}, {u"Y", true, false, {}}}},
        // "?" right after a star is free; one after a literal of the same
        // step is tied to it.
        {u"a*?", {{u"A", true, false, {}}, {u"?", false, true, {}}}},
        {u"*a?", {{u"A", false, true, {}}, {u"?", true, true, {}}}},
        {u"*a?b*",
         {{u"A",
           false,
           false,
           {{u"A", false, false, {}}, {u"?", true, false, {}}, {u"B", true, false, {}}}}}},
        {u"*?a?b*",
         {{u"?", false, false, {}},
          {u"A",
           true,
           false,
           {{u"A", true, false, {}}, {u"?", true, false, {}}, {u"B", true, false, {}}}}}},
        // Only the final star-free segment is tail; the middle one with two
        // literals is grouped, its trailing "?" stays outside the group.
        {u"ab*c?d?*e?f",
         {{u"AB", true, false, {}},
          {u"C",
           false,
           false,
           {{u"C", false, false, {}}, {u"?", true, false, {}}, {u"D", true, false, {}}}},
          {u"?", true, false, {}},
          {u"E", false, true, {}},
          {u"?", true, true, {}},
          {u"F", true, true, {}}}},
        // The head segment is never grouped.
        {u"a?b*x",
         {{u"A", true, false, {}},
          {u"?", true, false, {}},
          {u"B", true, false, {}},
          {u"X", false, true, {}}}},
    };
    for (const auto& c : cases) {
        TFileSpecProcessor processor;
        processor.SetMask(c.mask);
        ASSERT_EQ(processor.Parts().size(), 1u) << Show(c.mask);
        ExpectElements(processor.Parts()[0].elements, c.elements, Show(c.mask));
    }
}

TEST(FileSpecCompile, KeepsTrimmedUpperCasedPiecesInOrder) {
    TFileSpecProcessor processor;
    processor.SetMask(u"\t*.txt ;;  ; b?c\n;*");
    ASSERT_EQ(processor.Parts().size(), 3u);
    EXPECT_EQ(Show(processor.Parts()[0].text), "*.TXT");
    EXPECT_EQ(Show(processor.Parts()[1].text), "B?C");
    EXPECT_EQ(Show(processor.Parts()[2].text), "*");
    EXPECT_FALSE(TFileSpecProcessor::IsMatchAllPart(processor.Parts()[0]));
    EXPECT_TRUE(TFileSpecProcessor::IsMatchAllPart(processor.Parts()[2]));
}

// ---------------------------------------------------------------------------
// The compiled matcher against the reference, on masks and names from small
// alphabets so that literals clash often.

void CompareWithReference(const std::u16string& list, const std::vector<std::u16string>& names,
                          int& failures) {
    TFileSpecProcessor processor;
    processor.SetMask(list);
    const TReferenceList reference(list);
    for (const auto& name : names) {
        for (bool defaultAnswer : {true, false}) {
            const bool expected = reference.Matches(name, defaultAnswer);
            const bool actual = processor.Matches(name, defaultAnswer);
            if (expected != actual && ++failures <= 20) {
                ADD_FAILURE() << "masks \"" << Show(list) << "\" name \"" << Show(name)
                              << "\" default " << defaultAnswer << ": expected " << expected
                              << ", got " << actual;
            }
        }
    }
}

std::vector<std::u16string> AllTexts(std::u16string_view alphabet, std::size_t maxLength) {
    std::vector<std::u16string> texts{u""};
    std::size_t from = 0;
    for (std::size_t length = 1; length <= maxLength; ++length) {
        const std::size_t to = texts.size();
        for (std::size_t i = from; i < to; ++i) {
            for (char16_t c : alphabet)
                texts.push_back(texts[i] + c);
        }
        from = to;
    }
    return texts;
}

TEST(FileSpecProperty, EveryShortMaskAgreesWithTheReference) {
    const auto masks = AllTexts(u"ab.?*", 5);
    const auto names = AllTexts(u"ab.", 5);
    int failures = 0;
    for (const auto& mask : masks)
        CompareWithReference(mask, names, failures);
    EXPECT_EQ(failures, 0);
}

TEST(FileSpecProperty, RandomMaskListsAgreeWithTheReference) {
    std::mt19937 rng(20240611u);
    const std::u16string_view maskChars = u"ab.?*";
    const std::u16string_view nameChars = u"ab.";
    auto pick = [&rng](std::u16string_view from) {
        return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
    };
    auto length = [&rng](std::size_t max) {
        return std::uniform_int_distribution<std::size_t>(0, max)(rng);
    };
    auto coin = [&rng](int percent) {
        return std::uniform_int_distribution<int>(0, 99)(rng) < percent;
    };
    auto randomMask = [&] {
        std::u16string mask;
        for (std::size_t n = length(10); n > 0; --n) {
            char16_t c = pick(maskChars);
            if (c != u'*' && c != u'?' && coin(20))
                c = UpperChar(c) == c ? c : UpperChar(c);
            mask += c;
        }
        return mask;
    };

    int failures = 0;
    for (int round = 0; round < 6000; ++round) {
        std::u16string list = randomMask();
        for (std::size_t more = coin(30) ? length(2) : 0; more > 0; --more) {
            list += coin(50) ? u";" : u" ; ";
            list += randomMask();
        }
        std::vector<std::u16string> names;
        for (int i = 0; i < 60; ++i) {
            std::u16string name;
            for (std::size_t n = length(12); n > 0; --n) {
                char16_t c = pick(nameChars);
                name += coin(20) ? UpperChar(c) : c;
            }
            names.push_back(std::move(name));
        }
        CompareWithReference(list, names, failures);
    }
    EXPECT_EQ(failures, 0);
}

} // namespace
} // namespace vdx
