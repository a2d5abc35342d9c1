#include "persistence/KLX_unit_Ini.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <locale.h>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

constexpr char16_t kDefault[] = u"<default>";
constexpr std::size_t kBlock = 65536;

std::u16string U(std::string_view utf8) {
    return FromUtf8(utf8);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// What a lookup of section/key finds in text, nullopt for the default.
std::optional<std::u16string> Lookup(const TKLXIni& ini, std::u16string_view section,
                                     std::u16string_view key) {
    const std::u16string value = ini.ReadString(ini.FindSection(section), key, kDefault);
    if (value == kDefault)
        return std::nullopt;
    return value;
}

// ---- Parsing ----

struct TParseCase {
    const char* what;
    std::string text;
    const char16_t* section;
    const char16_t* key;
    std::optional<std::u16string> expected;
};

TEST(IniParse, LinesAsTheParserReadsThem) {
    const std::vector<TParseCase> cases = {
        {"plain key", "[A]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"LF only", "[A]\nk=v\n", u"A", u"k", u"v"},
        {"CR only", "[A]\rk=v\r", u"A", u"k", u"v"},
        {"blank lines between", "\r\n\r\n[A]\r\n\r\n\n\rk=v\r\n\r\n", u"A", u"k", u"v"},
        {"empty value is absent", "[A]\r\nk=\r\n", u"A", u"k", std::nullopt},
        {"blank value is absent", "[A]\r\nk=  \t \r\n", u"A", u"k", std::nullopt},
        {"blanks around name and =, inner kept", "[A]\r\n \t name \t=  a b = c  \r\n", u"A",
         u"name", u"a b = c"},
        {"value keeps brackets and =", "[A]\r\nk=[x]=y//z\r\n", u"A", u"k", u"[x]=y//z"},
        {"section name case-insensitive", "[mainSection]\r\nKey=1\r\n", u"MAINSECTION", u"key",
         u"1"},
        {"key name case-insensitive", "[A]\r\nbUtf8=1\r\n", u"a", u"BUTF8", u"1"},
        {"header name trimmed", "[  A b  ]\r\nk=v\r\n", u"a B", u"k", u"v"},
        {"key before any header ignored", "k=v\r\n[A]\r\nj=w\r\n", u"A", u"k", std::nullopt},
        {"header after // opens nothing", "[A]\r\nx=1\r\n// [B]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"... and B does not exist", "[A]\r\nx=1\r\n// [B]\r\nk=v\r\n", u"B", u"k", std::nullopt},
        {"key on a // line keeps the slashes", "[A]\r\n//k=v\r\n", u"A", u"k", std::nullopt},
        {"... under its own name", "[A]\r\n//k=v\r\n", u"A", u"//k", u"v"},
        {"last line without break not read", "[A]\r\nk=v", u"A", u"k", std::nullopt},
        {"the line before it is", "[A]\r\nj=w\r\nk=v", u"A", u"j", u"w"},
        {"byte-order mark before header", "\xEF\xBB\xBF[A]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"junk before header", "junk [A]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"rest of header line ignored", "[A] k=v\r\n", u"A", u"k", std::nullopt},
        {"second ] on header line opens nothing", "[A]B]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"empty header keeps current section", "[A]\r\n[]\r\n[ ]\r\nk=v\r\n", u"A", u"k", u"v"},
        {"unclosed header keeps current section", "[A]\r\n[B\r\nk=v\r\n", u"A", u"k", u"v"},
        {"= inside header is part of the name", "[A=B]\r\nk=v\r\n", u"A=B", u"k", u"v"},
        {"empty key name ignored", "[A]\r\n=v\r\n", u"A", u"", std::nullopt},
        {"line without = ignored", "[A]\r\njust text\r\nk=v\r\n", u"A", u"just text", std::nullopt},
        {"same header twice: first keys", "[A]\r\nk=1\r\n[B]\r\nx=2\r\n[a]\r\nj=3\r\n", u"A", u"k",
         u"1"},
        {"same header twice: later keys", "[A]\r\nk=1\r\n[B]\r\nx=2\r\n[a]\r\nj=3\r\n", u"A", u"j",
         u"3"},
        {"same header twice: other section intact", "[A]\r\nk=1\r\n[B]\r\nx=2\r\n[a]\r\nj=3\r\n",
         u"B", u"x", u"2"},
        {"single section: other name", "[A]\r\nk=v\r\n", u"AA", u"k", std::nullopt},
        {"prefix name is another section", "[AB]\r\nk=1\r\n[A]\r\nk=2\r\n", u"A", u"k", u"2"},
        {"duplicate key: the first counts", "[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", u"A", u"k",
         u"1"},
        {"non-ASCII letters match exactly",
         "[stra\xC3\x9F"
         "e]\r\nk=v\r\n",
         u"STRA\u00DFE", u"k", u"v"},
        {"non-ASCII letters keep their case", "[\xC3\xA4]\r\nk=v\r\n", u"\u00C4", u"k",
         std::nullopt},
        {"empty file", "", u"A", u"k", std::nullopt},
    };
    for (const TParseCase& c : cases) {
        TKLXIni ini;
        ini.LoadFromText(c.text);
        EXPECT_EQ(Lookup(ini, c.section, c.key), c.expected) << c.what;
    }
}

TEST(IniParse, ReadsGiveDefaultsForBadIndexes) {
    TKLXIni ini;
    ini.LoadFromText("[A]\r\nk=5\r\n[Empty]\r\n");
    for (int section : {-1, 2, 1000, ini.FindSection(u"Empty")}) {
        EXPECT_EQ(ini.ReadString(section, u"k", kDefault), kDefault) << section;
        EXPECT_EQ(ini.ReadInteger(section, u"k", -7), -7) << section;
        EXPECT_EQ(ini.ReadFloat(section, u"k", 2.5), 2.5) << section;
    }
    EXPECT_EQ(ini.ReadInteger(ini.FindSection(u"A"), u"k", -7), 5);
}

TEST(IniParse, MissingFileGivesEnoentAndDefaults) {
    TTempTree tree;
    TKLXIni ini;
    ini.LoadFromText("[A]\r\nk=v\r\n");
    EXPECT_EQ(ini.LoadFromFile(U(tree.Path("missing.ini"))), ENOENT);
    EXPECT_EQ(ini.FindSection(u"A"), -1);
    EXPECT_EQ(ini.ReadString(0, u"k", kDefault), kDefault);
}

TEST(IniParse, ManySectionsAndKeysAreFoundByBinarySearch) {
    // Sections appear in reverse order and each twice, so the sort and the
    // merge both matter.
    std::string text;
    for (int pass = 0; pass < 2; ++pass)
        for (int s = 499; s >= 0; --s) {
            text += "[S" + std::to_string(s) + "]\r\n";
            for (int k = 9; k >= 0; --k)
                text += "K" + std::to_string(pass * 10 + k) + "=" +
                        std::to_string(s * 100 + pass * 10 + k) + "\r\n";
        }
    TKLXIni ini;
    ini.LoadFromText(text);
    for (int s = 0; s < 500; s += 7) {
        const int section = ini.FindSection(U("s" + std::to_string(s)));
        ASSERT_GE(section, 0) << s;
        for (int k = 0; k < 20; ++k)
            EXPECT_EQ(ini.ReadInteger(section, U("k" + std::to_string(k)), -1), s * 100 + k);
        EXPECT_EQ(ini.ReadInteger(section, u"K20", -1), -1);
    }
    EXPECT_EQ(ini.FindSection(u"S500"), -1);
}

// Short sections are searched in file order, long ones (histories) after a
// sort: both must find every key, and of equal names the first in the file.
TEST(IniParse, ShortAndLongSectionsFindTheFirstOfEqualNames) {
    for (int count : {1, 31, 32, 33, 300}) {
        std::string text = "[S]\r\n";
        // Reverse order, a duplicate of each key later on (under a second
        // header of the same section, so the merge counts too) and the
        // names in mixed case.
        for (int k = count - 1; k >= 0; --k)
            text +=
                (k % 2 ? "key_" : "KEY_") + std::to_string(k) + "=" + std::to_string(k) + "\r\n";
        text += "[s]\r\n";
        for (int k = 0; k < count; ++k)
            text += "Key_" + std::to_string(k) + "=-1\r\n";
        TKLXIni ini;
        ini.LoadFromText(text);
        const int section = ini.FindSection(u"S");
        ASSERT_GE(section, 0) << count;
        for (int k = 0; k < count; ++k)
            EXPECT_EQ(ini.ReadInteger(section, U("kEy_" + std::to_string(k)), -2), k)
                << count << " " << k;
        EXPECT_EQ(ini.ReadInteger(section, U("key_" + std::to_string(count)), -2), -2) << count;
        EXPECT_EQ(ini.ReadInteger(section, u"key_", -2), -2) << count;
        // A prepared name reads the same.
        EXPECT_EQ(ini.ReadInteger(section, TIniKey(u"KEY_0"), -2), 0) << count;
        EXPECT_EQ(ini.ReadString(section, TIniKey(u"nokey"), u"d"), u"d") << count;
    }
}

// ---- Numbers ----

TEST(IniNumbers, ReadInteger) {
    struct TCase {
        const char* text;
        std::int32_t expected;
    };
    constexpr std::int32_t kDef = -77;
    const TCase cases[] = {
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"-5", -5},
        {"+7", 7},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", kDef},
        {"-2147483649", kDef},
        {"99999999999999999999999", kDef},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"$7FFFFFFF", 2147483647},
        {"$80000000", kDef},
        {"0xFFFFFFFF", kDef},
        {"0x", kDef},
        {"$", kDef},
        {"0x$1F", kDef},
        {"-$1F", kDef},
        {"$-1", kDef},
        {"0x-1", kDef},
        {"12abc", kDef},
        {"1 2", kDef},
        {"1.0", kDef},
        {"-", kDef},
        {"+", kDef},
        {"--1", kDef},
        {"abc", kDef},
    };
    for (const TCase& c : cases) {
        TKLXIni ini;
        ini.LoadFromText(std::string("[A]\r\nk=") + c.text + "\r\n");
        EXPECT_EQ(ini.ReadInteger(ini.FindSection(u"A"), u"k", kDef), c.expected) << c.text;
    }
}

TEST(IniNumbers, ReadFloatWithPointSeparator) {
    ASSERT_EQ(DecimalSeparator(), u'.') << "tests run with LC_ALL=C.UTF-8";
    struct TCase {
        const char* text;
        double expected;
    };
    constexpr double kDef = -1.25;
    const TCase cases[] = {
        {"1.5", 1.5},   {"-2.5E-1", -0.25},   {"+3", 3.0},     {"1e3", 1000.0}, {".5", 0.5},
        {"5.", 5.0},    {"45000.5", 45000.5}, {"1e+20", 1e20}, {"junk", kDef},  {"1.5x", kDef},
        {"1,5", kDef},  {"1e", kDef},         {".", kDef},     {"inf", kDef},   {"nan", kDef},
        {"0x10", kDef}, {"1e999", kDef},      {"- 1", kDef},
    };
    for (const TCase& c : cases) {
        TKLXIni ini;
        ini.LoadFromText(std::string("[A]\r\nk=") + c.text + "\r\n");
        EXPECT_EQ(ini.ReadFloat(ini.FindSection(u"A"), u"k", kDef), c.expected) << c.text;
    }
}

class IniCommaLocale : public ::testing::Test {
protected:
    void SetUp() override {
        const char* all = std::getenv("LC_ALL");
        m_hadAll = all != nullptr;
        if (all)
            m_oldAll = all;
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
            locale_t probe = ::newlocale(LC_ALL_MASK, name, nullptr);
            if (probe == nullptr)
                continue;
            ::freelocale(probe);
            ::setenv("LC_ALL", name, 1);
            ReloadLocaleFormats();
            if (DecimalSeparator() == u',')
                return;
        }
        GTEST_SKIP() << "no installed locale with a decimal comma";
    }
    void TearDown() override {
        if (m_hadAll)
            ::setenv("LC_ALL", m_oldAll.c_str(), 1);
        else
            ::unsetenv("LC_ALL");
        ReloadLocaleFormats();
    }

private:
    bool m_hadAll = false;
    std::string m_oldAll;
};

TEST_F(IniCommaLocale, FloatsUseTheRegionalSeparatorOnly) {
    TKLXIni out;
    out.WriteFloat(out.AddSection("A"), u"f", 1.5);
    EXPECT_EQ(out.SavedText(), "[A]\r\nf=1,5\r\n");
    TKLXIni in;
    in.LoadFromText("[A]\r\nc=1,5\r\np=1.5\r\n");
    EXPECT_EQ(in.ReadFloat(in.FindSection(u"A"), u"c", 0), 1.5);
    // A file written under a point locale does not read back under a comma one.
    EXPECT_EQ(in.ReadFloat(in.FindSection(u"A"), u"p", 0), 0);
}

// ---- Writing ----

TEST(IniWrite, TextInOrderOfAddition) {
    TKLXIni ini;
    const int main = ini.AddSection("MainSection");
    const int history = ini.AddSection("HistorySection");
    ini.AddSection("Unused");
    ini.WriteInteger(main, u"sptlMain", 650);
    ini.WriteInteger(main, u"bUTF8", 1);
    ini.WriteInteger(history, u"MaxHistoryItems", 20);
    EXPECT_EQ(ini.SavedText(), "[MainSection]\r\nsptlMain=650\r\nbUTF8=1\r\n\r\n"
                               "[HistorySection]\r\nMaxHistoryItems=20\r\n");
}

TEST(IniWrite, ValuesAndInterleavedSections) {
    TKLXIni ini;
    const int a = ini.AddSection("A");
    const int b = ini.AddSection("B");
    ini.WriteString(a, u"s", u"x = y");
    ini.WriteString(a, u"empty", u"");
    ini.WriteInteger(b, u"neg", -2147483647 - 1);
    ini.WriteFloat(a, u"third", 1.0 / 3.0);
    ini.WriteFloat(a, u"date", 45000.5);
    ini.WriteFloat(a, u"big", 1e20);
    ini.WriteFloat(a, u"whole", 3.0);
    ini.WriteString(a, u"\u00E4", u"\u20AC");
    EXPECT_EQ(ini.SavedText(), "[A]\r\ns=x = y\r\nempty=\r\n\r\n"
                               "[B]\r\nneg=-2147483648\r\n\r\n"
                               "[A]\r\nthird=0.333333333333333\r\ndate=45000.5\r\nbig=1e+20\r\n"
                               "whole=3\r\n\xC3\xA4=\xE2\x82\xAC\r\n");

    TKLXIni back;
    back.LoadFromText(ini.SavedText());
    const int sa = back.FindSection(u"a");
    EXPECT_EQ(back.ReadString(sa, u"S", kDefault), u"x = y");
    EXPECT_EQ(back.ReadString(sa, u"empty", kDefault), kDefault);
    EXPECT_EQ(back.ReadInteger(back.FindSection(u"B"), u"neg", 0), -2147483647 - 1);
    EXPECT_EQ(back.ReadFloat(sa, u"third", 0), 0.333333333333333);
    EXPECT_EQ(back.ReadFloat(sa, u"date", 0), 45000.5);
    EXPECT_EQ(back.ReadFloat(sa, u"big", 0), 1e20);
    EXPECT_EQ(back.ReadString(sa, u"\u00E4", kDefault), u"\u20AC");
}

TEST(IniWrite, KeysThatWouldBreakTheFileAreLeftOut) {
    TKLXIni ini;
    EXPECT_EQ(ini.AddSection("Bad\r\nName"), -1);
    EXPECT_EQ(ini.AddSection(std::string(65536, 'n')), -1);
    const int a = ini.AddSection("A");
    EXPECT_EQ(a, 0);
    ini.WriteString(-1, u"k", u"lost");
    ini.WriteString(5, u"k", u"lost");
    // A folder name may hold a line break on Linux; written raw it would
    // inject "[MainSection]" and a key into the file.
    ini.WriteString(a, u"SearchPath_0", u"/tmp/x\n[MainSection]\nbDeleteDirectly=1");
    ini.WriteString(a, u"k\r", u"v");
    ini.WriteString(a, u"long", std::u16string(65536, u'v'));
    ini.WriteString(a, u"limit", std::u16string(65535, u'v'));
    ini.WriteString(a, u"kept", u"1");
    EXPECT_EQ(ini.SavedText(), "[A]\r\nlimit=" + std::string(65535, 'v') + "\r\nkept=1\r\n");
}

TEST(IniWrite, InvalidUtf8RoundTripsByteForByte) {
    // A folder name that is not UTF-8, as the lossless codec decodes it.
    const std::string raw = "/data/caf\xE9/\xFF\xFE";
    const std::u16string decoded = FromUtf8(raw);
    TKLXIni out;
    out.WriteString(out.AddSection("Paths"), u"SearchPath_0", decoded);
    const std::string text = out.SavedText();
    EXPECT_EQ(text, "[Paths]\r\nSearchPath_0=" + raw + "\r\n");

    TKLXIni in;
    in.LoadFromText(text);
    const std::u16string read = in.ReadString(in.FindSection(u"Paths"), u"SearchPath_0", u"");
    EXPECT_EQ(read, decoded);
    EXPECT_EQ(ToUtf8(read), raw);
}

// ---- Reading in blocks ----

// "[A]" then keys k0, k1, ... of about 1000 bytes a line, the last line
// sized so that the text has exactly size bytes.
std::string FileOfSize(std::size_t size, bool finalBreak) {
    std::string text = "[A]\r\n";
    int n = 0;
    while (size - text.size() > 1100) {
        const std::string name = "k" + std::to_string(n++) + "=";
        text += name + std::string(998 - name.size(), 'x') + "\r\n";
    }
    const std::string name = "k" + std::to_string(n) + "=";
    text += name + std::string(size - text.size() - name.size() - 2, 'x') + "\r\n";
    if (!finalBreak)
        text.resize(text.size() - 2);
    return text;
}

TEST(IniBlocks, FileSizesAroundTheBlockSize) {
    TTempTree tree;
    for (std::size_t size : {kBlock - 1, kBlock, kBlock + 1, 2 * kBlock - 1, 2 * kBlock,
                             2 * kBlock + 1, 3 * kBlock + 5}) {
        for (bool finalBreak : {true, false}) {
            const std::string text = FileOfSize(size, finalBreak);
            tree.File("size.ini", text);
            ASSERT_EQ(ReadBytes(tree.Path("size.ini")).size(), size - (finalBreak ? 0 : 2));
            // The name of the last key.
            const std::size_t lastLine = text.rfind("\r\nk", text.size() - 3) + 2;
            const std::u16string lastKey =
                U(text.substr(lastLine, text.find('=', lastLine) - lastLine));
            TKLXIni ini;
            ASSERT_EQ(ini.LoadFromFile(U(tree.Path("size.ini"))), 0);
            const int a = ini.FindSection(u"A");
            EXPECT_EQ(ini.ReadString(a, u"k0", kDefault).substr(0, 1), u"x") << size;
            EXPECT_EQ(ini.ReadString(a, lastKey, kDefault) != kDefault, finalBreak)
                << size << " " << finalBreak;
        }
    }
}

TEST(IniBlocks, LinesStraddlingTheBlockEndAreParsedWhole) {
    for (std::size_t boundary : {kBlock, 2 * kBlock}) {
        for (int shift = -12; shift <= 1; ++shift) {
            // The key line starts so that the block end falls at every
            // place in it: before, inside the name, at "=", in the value, at
            // the CR, between CR and LF.
            std::string text = "[A]\r\n";
            const std::size_t lineStart = boundary - 12 + static_cast<std::size_t>(shift + 12);
            while (lineStart - text.size() > 1100)
                text += "pad=" + std::string(994, 'p') + "\r\n";
            text += "pad=" + std::string(lineStart - text.size() - 6, 'p') + "\r\n";
            ASSERT_EQ(text.size(), lineStart);
            text += "key=value\r\nnext=2\r\n";
            TKLXIni ini;
            ini.LoadFromText(text);
            const int a = ini.FindSection(u"A");
            EXPECT_EQ(ini.ReadString(a, u"key", kDefault), u"value") << boundary << " " << shift;
            EXPECT_EQ(ini.ReadInteger(a, u"next", 0), 2) << boundary << " " << shift;
        }
    }
}

TEST(IniBlocks, LinesLongerThanTheBlockAreSkippedWhole) {
    struct TCase {
        std::size_t before; // bytes of short lines before the long one
        std::size_t length; // bytes of the long line without its break
        bool parsed;
    };
    const TCase cases[] = {
        {0, kBlock, true},          {0, kBlock + 1, false}, {30000, kBlock, true},
        {30000, kBlock + 1, false}, {100, 200000, false},   {70000, 3 * kBlock, false},
    };
    for (const TCase& c : cases) {
        std::string text = "[A]\r\n";
        while (text.size() < c.before)
            text += "pad=1\r\n";
        // Two long lines: a key, and a header that would file "after" under B.
        text += "long=" + std::string(c.length - 5, 'v') + "\r\n";
        text += std::string(c.length - 3, 'w') + "[B]\r\n";
        text += "after=2\r\n";
        TKLXIni ini;
        ini.LoadFromText(text);
        const int a = ini.FindSection(u"A");
        EXPECT_EQ(ini.ReadString(a, u"long", kDefault) != kDefault, c.parsed) << c.length;
        EXPECT_EQ(ini.FindSection(u"B") >= 0, c.parsed) << c.length;
        const int after = c.parsed ? ini.FindSection(u"B") : a;
        EXPECT_EQ(ini.ReadInteger(after, u"after", 0), 2) << c.before << " " << c.length;
    }
}

TEST(IniBlocks, ShortReadsParseLikeOneText) {
    // Random lines of every kind, some longer than a block; reading the file
    // in pieces of any size must give what parsing the text gives.
    std::mt19937 rng(1234);
    const char* pieces[] = {"[", "]", "=",   "/",   "//",           " ",   "\r", "\n", "\r\n",
                            "a", "B", "[S]", "k=v", "\xEF\xBB\xBF", "\xFF"};
    std::string text;
    while (text.size() < 300000) {
        if (rng() % 200 == 0)
            text += std::string(kBlock - 10 + rng() % 20, 'L');
        text += pieces[rng() % std::size(pieces)];
    }
    TKLXIni whole;
    whole.LoadFromText(text);
    const std::string expected = whole.SavedText();
    ASSERT_NE(expected.find("=v"), std::string::npos);

    TTempTree tree;
    tree.File("mixed.ini", text);
    for (std::size_t piece : {1u, 7u, 4096u, 65535u}) {
        TFaultFs fs;
        fs.ShortReads("mixed.ini", piece);
        TFaultFsInstall install(fs);
        TKLXIni ini;
        ASSERT_EQ(ini.LoadFromFile(U(tree.Path("mixed.ini"))), 0);
        EXPECT_EQ(ini.SavedText(), expected) << piece;
    }
}

TEST(IniBlocks, KeysBeforeAReadErrorStayAvailable) {
    TTempTree tree;
    std::string text = "[A]\r\nfirst=1\r\n";
    while (text.size() < 3 * kBlock)
        text += "pad=" + std::string(90, 'p') + "\r\n";
    text += "last=2\r\n";
    tree.File("err.ini", text);
    TFaultFs fs;
    fs.Fail(TFsOp::Read, "err.ini", EIO, 1);
    TFaultFsInstall install(fs);
    TKLXIni ini;
    EXPECT_EQ(ini.LoadFromFile(U(tree.Path("err.ini"))), EIO);
    const int a = ini.FindSection(u"a");
    EXPECT_EQ(ini.ReadInteger(a, u"first", 0), 1);
    EXPECT_EQ(ini.ReadInteger(a, u"last", 0), 0);
}

// ---- Saving ----

TEST(IniSave, SavedFileLoadsBackByteForByte) {
    TTempTree tree;
    const std::u16string path = U(tree.Path("QVD.ini"));
    TKLXIni out;
    const int main = out.AddSection("MainSection");
    const int paths = out.AddSection("SearchPaths");
    out.WriteInteger(main, u"bUTF8", 1);
    for (int i = 0; i < 3000; ++i)
        out.WriteString(paths, U("SearchPath_" + std::to_string(i)),
                        U("/home/user/\xC3\xA4" + std::to_string(i) + std::string(40, 'd')));
    out.WriteFloat(main, u"Stamp", 45123.75);
    ASSERT_EQ(out.SaveToFile(path), 0);
    const std::string bytes = ReadBytes(tree.Path("QVD.ini"));
    EXPECT_EQ(bytes, out.SavedText());
    EXPECT_GT(bytes.size(), 2 * kBlock);
    EXPECT_EQ(bytes.substr(0, 13), "[MainSection]");
    EXPECT_EQ(Names(tree.Root()), std::vector<std::string>{"QVD.ini"});

    TKLXIni in;
    ASSERT_EQ(in.LoadFromFile(path), 0);
    const int p = in.FindSection(u"SearchPaths");
    for (int i = 0; i < 3000; i += 13)
        EXPECT_EQ(in.ReadString(p, U("searchpath_" + std::to_string(i)), u""),
                  U("/home/user/\xC3\xA4" + std::to_string(i) + std::string(40, 'd')));
    EXPECT_EQ(in.ReadFloat(in.FindSection(u"MainSection"), u"Stamp", 0), 45123.75);

    // Written again from what was read, the file comes out the same.
    TKLXIni again;
    const int m2 = again.AddSection("MainSection");
    again.WriteInteger(m2, u"bUTF8", in.ReadInteger(in.FindSection(u"MainSection"), u"bUTF8", 0));
    const int p2 = again.AddSection("SearchPaths");
    for (int i = 0; i < 3000; ++i) {
        const std::u16string key = U("SearchPath_" + std::to_string(i));
        again.WriteString(p2, key, in.ReadString(p, key, u""));
    }
    again.WriteFloat(m2, u"Stamp", in.ReadFloat(in.FindSection(u"MainSection"), u"Stamp", 0));
    ASSERT_EQ(again.SaveToFile(path), 0);
    EXPECT_EQ(ReadBytes(tree.Path("QVD.ini")), bytes);
}

struct TSaveFault {
    const char* what;
    TFsOp op;
    int error;
};

TEST(IniSave, FailedSaveLeavesTheOldFileAndNoTemporary) {
    const TSaveFault faults[] = {
        {"disk full", TFsOp::Write, ENOSPC},      {"write error", TFsOp::Write, EIO},
        {"flush error", TFsOp::FSync, EIO},       {"close error", TFsOp::Close, EIO},
        {"rename refused", TFsOp::Rename, EXDEV}, {"create refused", TFsOp::Open, EACCES},
    };
    for (const TSaveFault& f : faults) {
        TTempTree tree;
        const std::string old = "[MainSection]\r\nbUTF8=1\r\n";
        tree.File("QVD.ini", old);
        TKLXIni ini;
        const int main = ini.AddSection("MainSection");
        for (int i = 0; i < 2000; ++i)
            ini.WriteString(main, U("Key" + std::to_string(i)), std::u16string(100, u'n'));
        TFaultFs fs;
        fs.Fail(f.op, "QVD.ini", f.error);
        {
            TFaultFsInstall install(fs);
            EXPECT_EQ(ini.SaveToFile(U(tree.Path("QVD.ini"))), f.error) << f.what;
        }
        EXPECT_EQ(ReadBytes(tree.Path("QVD.ini")), old) << f.what;
        EXPECT_EQ(Names(tree.Root()), std::vector<std::string>{"QVD.ini"}) << f.what;
    }
}

TEST(IniSave, TakenTemporaryNamesAreSkipped) {
    TTempTree tree;
    TFaultFs fs;
    // The first three names tried are taken by someone else.
    fs.Add({TFsOp::Open, "QVD.ini.tmp-", EEXIST, 0, 3, 0});
    TFaultFsInstall install(fs);
    TKLXIni ini;
    ini.WriteInteger(ini.AddSection("A"), u"k", 1);
    EXPECT_EQ(ini.SaveToFile(U(tree.Path("QVD.ini"))), 0);
    EXPECT_EQ(ReadBytes(tree.Path("QVD.ini")), "[A]\r\nk=1\r\n");
    EXPECT_EQ(Names(tree.Root()), std::vector<std::string>{"QVD.ini"});
}

TEST(IniSave, KeepsModeAndLinks) {
    TTempTree tree;
    tree.File("real/QVD.ini", "old\r\n");
    ASSERT_EQ(::chmod(tree.Path("real/QVD.ini").c_str(), 0600), 0);
    tree.Symlink(tree.Path("real/QVD.ini"), "link.ini");
    TKLXIni ini;
    ini.WriteInteger(ini.AddSection("A"), u"k", 1);
    ASSERT_EQ(ini.SaveToFile(U(tree.Path("link.ini"))), 0);

    struct stat st {};
    ASSERT_EQ(::lstat(tree.Path("link.ini").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(tree.Path("real/QVD.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadBytes(tree.Path("real/QVD.ini")), "[A]\r\nk=1\r\n");
    EXPECT_EQ(Names(tree.Path("real")), std::vector<std::string>{"QVD.ini"});
}

TEST(IniSave, MissingFolderGivesItsError) {
    TTempTree tree;
    TKLXIni ini;
    ini.WriteInteger(ini.AddSection("A"), u"k", 1);
    EXPECT_EQ(ini.SaveToFile(U(tree.Path("no/such/QVD.ini"))), ENOENT);
}

} // namespace
} // namespace vdx
