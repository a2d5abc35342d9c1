#include "platform/VDX_unit_SystemError.h"

#include <cstring>

#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

constexpr std::size_t kMaxErrorTextLength = 4096;

// The GNU strerror_r returns its text, which may or may not be in buf; the
// XSI one fills buf and returns 0. Both overloads keep the code portable.
[[maybe_unused]] const char* ErrorTextOf(const char* result, const char*) {
    return result;
}
[[maybe_unused]] const char* ErrorTextOf(int result, const char* buffer) {
    return result == 0 ? buffer : "";
}

} // namespace

std::u16string SystemErrorText(int errorCode) {
    if (errorCode == kErrorChangedSinceSearch)
        return u"the file changed since the search";
    if (errorCode == kErrorSameFile)
        return u"the destination is the source file itself";
    if (errorCode == kErrorFolderChanged)
        return u"its folder changed since the search";
    if (errorCode == kErrorNoRemainingCopy)
        return u"no remaining copy";
    char buffer[1024];
    buffer[0] = '\0';
    const char* raw = ErrorTextOf(::strerror_r(errorCode, buffer, sizeof buffer), buffer);
    std::u16string text = FromUtf8(raw ? raw : "");
    if (text.size() > kMaxErrorTextLength)
        text.resize(kMaxErrorTextLength);

    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] <= u' ')
        ++begin;
    while (end > begin && text[end - 1] <= u' ')
        --end;
    std::u16string out;
    out.reserve(end - begin);
    for (std::size_t i = begin; i < end; ++i)
        if (text[i] != u'\r' && text[i] != u'\n')
            out.push_back(text[i]);
    return out;
}

} // namespace vdx
