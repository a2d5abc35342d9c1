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

TEST(TerminalName, EscapesEveryByteATerminalWouldActOn) {
    const TDecodeCase cases[] = {
        {"plain names pass", "IMPORTANT.doc", u"IMPORTANT.doc"},
        {"multibyte characters pass", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80",
         u"\u00E9t\u00E9 \U0001F600"},
        {"erase line and carriage return", "IMPORTANT.doc\\033[2K\\r", u"IMPORTANT.doc\x1B[2K\r"},
        {"a line break cannot forge a line", "a\\nDelete /etc", u"a\nDelete /etc"},
        {"named escapes", "\\a\\b\\t\\n\\v\\f\\r", u"\a\b\t\n\v\f\r"},
        {"other C0 and DEL", "\\000\\001\\037\\177", std::u16string(u"\0\x01\x1F\x7F", 4)},
        {"C1 as its UTF-8 bytes", "\\302\\233\\302\\200\\302\\237", u"\x009B\x0080\x009F"},
        {"first character past C1 passes", "\xC2\xA0", u"\x00A0"},
        {"raw bytes of a name that is not UTF-8", "caf\\351\\377", u"caf\xDCE9\xDCFF"},
        {"a backslash is doubled", "a\\\\n", u"a\\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(TerminalName(c.text), c.bytes);
    }
    // No decoded name, however broken, yields a control byte or invalid UTF-8.
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(16, '\0');
        for (auto& b : bytes)
            b = static_cast<char>(byte(rng));
        const std::string shown = TerminalName(DecodeFileName(bytes));
        for (unsigned char b : shown)
            ASSERT_TRUE(b >= 0x20 && b != 0x7F) << "round " << round;
        // Valid UTF-8 without C1 characters: decoding finds neither a C1
        // character nor a raw byte (a lone low surrogate).
        const std::u16string back = DecodeFileName(shown);
        for (std::size_t i = 0; i < back.size(); ++i) {
            const char16_t c = back[i];
            if (c >= 0xD800 && c <= 0xDBFF) {
                ++i; // a pair: a character beyond the BMP
                continue;
            }
            ASSERT_FALSE((c >= 0x80 && c <= 0x9F) || (c >= 0xDC00 && c <= 0xDFFF))
                << "round " << round;
        }
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

TEST(AppendDecimal, WritesEveryIntegerTypeInPlainDigits) {
    std::string bytes = "n=";
    AppendDecimal(bytes, std::uint64_t{18446744073709551615u});
    bytes += ' ';
    AppendDecimal(bytes, std::int64_t{-9223372036854775807 - 1});
    bytes += ' ';
    AppendDecimal(bytes, 0);
    bytes += ' ';
    AppendDecimal(bytes, -7);
    bytes += ' ';
    AppendDecimal(bytes, std::uint32_t{1000});
    EXPECT_EQ(bytes, "n=18446744073709551615 -9223372036854775808 0 -7 1000");

    std::u16string text;
    AppendDecimal(text, 2026);
    EXPECT_EQ(text, u"2026");
}

} // namespace
} // namespace vdx
