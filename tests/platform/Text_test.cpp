#include "platform/VDX_unit_Text.h"

#include <gtest/gtest.h>
#include <random>
#include <string>

namespace vdx {
namespace {

struct TDecodeCase {
    const char* what;
    std::string bytes;
    std::u16string text;
};

TEST(FileNameCodec, DecodesValidUtf8AndEscapesEveryInvalidByte) {
    const TDecodeCase cases[] = {
        {"ascii", "abc.TXT", u"abc.TXT"},
        {"two and three bytes", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", u"\u00E9t\u00E9 \u20AC"},
        {"four bytes become a surrogate pair", "\xF0\x9F\x98\x80!", u"\U0001F600!"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"raw Latin-1 byte", "caf\xE9", u"caf\xDCE9"},
        {"stray continuation bytes", "\x80\xBF", u"\xDC80\xDCBF"},
        {"overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
        {"overlong three-byte", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
        {"overlong four-byte", "\xF0\x8F\xBF\xBF", u"\xDCF0\xDC8F\xDCBF\xDCBF"},
        {"encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
        {"bytes never used by UTF-8", "\xF5\xFE\xFF", u"\xDCF5\xDCFE\xDCFF"},
        {"truncated at end", "a\xE2\x82", u"a\xDCE2\xDC82"},
        {"truncated before ascii", "\xF0\x9F\x98x", u"\xDCF0\xDC9F\xDC98x"},
        {"truncated before a valid sequence", "\xE2\xC3\xA9", u"\xDCE2\u00E9"},
        {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"empty", "", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeFileName(c.bytes), c.text);
        EXPECT_EQ(EncodeFileName(c.text), c.bytes);
    }
}

TEST(FileNameCodec, EncodesLoneSurrogatesThatNoNameHoldsAsReplacement) {
    EXPECT_EQ(EncodeFileName(u"a\xD800"
                             u"b"),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(EncodeFileName(u"\xDC41"), "\xEF\xBF\xBD");
    EXPECT_EQ(EncodeFileName(u"\xDFFF"), "\xEF\xBF\xBD");
}

TEST(FileNameCodec, EveryByteStringRoundTrips) {
    std::mt19937 rng(20240601);
    // Mostly high bytes so that valid, broken and truncated sequences all occur.
    std::uniform_int_distribution<int> len(0, 40);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> lead(0, 3);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<std::size_t>(len(rng)), '\0');
        for (auto& b : bytes) {
            const int v = byte(rng);
            b = static_cast<char>(lead(rng) == 0 ? (v & 0x7F) : (v | 0x80));
        }
        const std::u16string text = DecodeFileName(bytes);
        ASSERT_EQ(EncodeFileName(text), bytes) << "round " << round;
    }
}

TEST(UpperChar, UsesTheUnicodeCaseTableOneUnitAtATime) {
    struct TCase {
        char16_t in;
        char16_t out;
    };
    const TCase cases[] = {
        {u'a', u'A'},           {u'z', u'Z'},           {u'A', u'A'},
        {u'1', u'1'},           {u'\u00E9', u'\u00C9'}, {u'\u00FF', u'\u0178'},
        {u'\u03C9', u'\u03A9'}, {u'\u0436', u'\u0416'}, {u'\u00DF', u'\u00DF'},
        {0xD83D, 0xD83D},       {0xDCE9, 0xDCE9},       {u'\uFF41', u'\uFF21'},
    };
    for (const auto& c : cases)
        EXPECT_EQ(int(UpperChar(c.in)), int(c.out)) << int(c.in);

    std::u16string text = u"Stra\u00DFe \u00E9t\u00E9 \U0001F600 caf\xDCE9";
    UpperCaseInPlace(text);
    EXPECT_EQ(text, u"STRA\u00DFE \u00C9T\u00C9 \U0001F600 CAF\xDCE9");
}

} // namespace
} // namespace vdx
