#include "platform/VDX_unit_SystemError.h"

#include <cerrno>
#include <gtest/gtest.h>

namespace vdx {
namespace {

TEST(SystemErrorText, GivesTheLibraryMessageOnOneLine) {
    EXPECT_EQ(SystemErrorText(ENOENT), u"No such file or directory");
    EXPECT_EQ(SystemErrorText(EACCES), u"Permission denied");
    EXPECT_EQ(SystemErrorText(ENOSPC), u"No space left on device");
    for (const int code : {0, EXDEV, 99999, -5}) {
        const std::u16string text = SystemErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_EQ(text.find_first_of(u"\r\n"), std::u16string::npos) << code;
        EXPECT_NE(text.front(), u' ') << code;
        EXPECT_NE(text.back(), u' ') << code;
    }
}

} // namespace
} // namespace vdx
