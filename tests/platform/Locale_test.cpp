#include "platform/VDX_unit_Locale.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <locale.h>
#include <string>

namespace vdx {
namespace {

TCalendarTime March5() {
    TCalendarTime c;
    c.year = 2019;
    c.month = 3;
    c.day = 5;
    c.hour = 14;
    c.minute = 7;
    c.second = 9;
    c.dayOfWeek = 2;
    return c;
}

// Switches LC_ALL for one test and restores it, re-reading the formats both
// times.
class LocaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* all = std::getenv("LC_ALL");
        m_hadAll = all != nullptr;
        if (all)
            m_oldAll = all;
    }
    void TearDown() override {
        if (m_hadAll)
            ::setenv("LC_ALL", m_oldAll.c_str(), 1);
        else
            ::unsetenv("LC_ALL");
        ReloadLocaleFormats();
    }
    static void Use(const char* name) {
        ::setenv("LC_ALL", name, 1);
        ReloadLocaleFormats();
    }
    static bool Installed(const char* name) {
        locale_t loc = ::newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
        if (!loc)
            return false;
        ::freelocale(loc);
        return true;
    }

private:
    bool m_hadAll = false;
    std::string m_oldAll;
};

TEST_F(LocaleTest, CLocaleUsesCommaAndPointAndItsOwnFormats) {
    // A locale that is not installed reads as the C locale.
    for (const char* name : {"C.UTF-8", "POSIX", "xx_NOWHERE.UTF-8"}) {
        SCOPED_TRACE(name);
        Use(name);
        EXPECT_EQ(ThousandSeparator(), u',');
        EXPECT_EQ(DecimalSeparator(), u'.');
        EXPECT_EQ(FormatShortDate(March5()), u"03/05/19");
        EXPECT_EQ(FormatLongTime(March5()), u"14:07:09");
        EXPECT_EQ(MonthName(1), u"January");
        EXPECT_EQ(MonthName(12), u"December");
        EXPECT_EQ(MonthName(0), u"");
        EXPECT_EQ(MonthName(13), u"");
    }
}

TEST_F(LocaleTest, InstalledLocalesGiveTheirOwnSeparatorsAndNames) {
    const struct {
        const char* name;
        char16_t thousands;
        char16_t decimal;
        const char16_t* shortDate;
        const char16_t* march;
    } cases[] = {
        {"en_US.UTF-8", u',', u'.', u"03/05/2019", u"March"},
        {"de_DE.UTF-8", u'.', u',', u"05.03.2019", u"M\u00E4rz"},
    };
    int tried = 0;
    for (const auto& c : cases) {
        if (!Installed(c.name))
            continue;
        SCOPED_TRACE(c.name);
        ++tried;
        Use(c.name);
        EXPECT_EQ(ThousandSeparator(), c.thousands);
        EXPECT_EQ(DecimalSeparator(), c.decimal);
        EXPECT_EQ(FormatShortDate(March5()), c.shortDate);
        EXPECT_EQ(MonthName(3), c.march);
    }
    if (tried == 0)
        GTEST_SKIP() << "neither en_US.UTF-8 nor de_DE.UTF-8 is installed";
}

} // namespace
} // namespace vdx
