#include "platform/VDX_unit_Environment.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace vdx {
namespace {

// Sets variables for one test and removes them afterwards.
class EnvironmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("HOME", "/home/tester", 1);
        ::setenv("VDX_Mixed", "mixed", 1);
        ::setenv("VDX_EXACT", "upper", 1);
        ::setenv("vdx_exact", "lower", 1);
        ::setenv("VDX_UTF8", "caf\xC3\xA9", 1);
        ::unsetenv("NOPE");
    }
    void TearDown() override {
        for (const char* name : {"VDX_Mixed", "VDX_EXACT", "vdx_exact", "VDX_UTF8"})
            ::unsetenv(name);
    }
};

TEST_F(EnvironmentTest, MatchesExactlyFirstThenWithoutCase) {
    EXPECT_EQ(EnvironmentVariable(u"VDX_EXACT"), u"upper");
    EXPECT_EQ(EnvironmentVariable(u"vdx_exact"), u"lower");
    EXPECT_EQ(EnvironmentVariable(u"vdx_mixed"), u"mixed");
    EXPECT_EQ(EnvironmentVariable(u"VDX_UTF8"), u"caf\u00E9");
    EXPECT_EQ(EnvironmentVariable(u"NOPE"), std::nullopt);
    EXPECT_EQ(EnvironmentVariable(u""), std::nullopt);
    EXPECT_EQ(EnvironmentVariable(u"VDX_EXACT=upper"), std::nullopt);
}

TEST_F(EnvironmentTest, ExpandsKnownReferencesAndKeepsTheRest) {
    const struct {
        const char16_t* in;
        const char16_t* out;
    } cases[] = {
        {u"%HOME%/a", u"/home/tester/a"},
        {u"%home%/a", u"/home/tester/a"},
        {u"%NOPE%\\x", u"%NOPE%\\x"},
        {u"100%", u"100%"},
        {u"%%", u"%%"},
        {u"a%%b%HOME%", u"a%%b/home/tester"},
        {u"%NOPE%HOME%", u"%NOPE%HOME%"},
        {u"%VDX_Mixed%-%VDX_UTF8%", u"mixed-caf\u00E9"},
        {u"no reference", u"no reference"},
        {u"", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ExpandEnvironmentText(c.in), c.out);
}

TEST_F(EnvironmentTest, ListsEveryVariable) {
    const auto all = EnvironmentVariables();
    const auto has = [&all](const char16_t* name, const char16_t* value) {
        return std::find(all.begin(), all.end(),
                         std::pair<std::u16string, std::u16string>(name, value)) != all.end();
    };
    EXPECT_TRUE(has(u"VDX_EXACT", u"upper"));
    EXPECT_TRUE(has(u"vdx_exact", u"lower"));
    EXPECT_TRUE(has(u"VDX_UTF8", u"caf\u00E9"));
}

} // namespace
} // namespace vdx
