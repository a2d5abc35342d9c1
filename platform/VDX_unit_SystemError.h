#pragma once

#include <string>

namespace vdx {

// The C library's message text for an errno value (at most 4096 characters),
// trimmed and without line breaks.
std::u16string SystemErrorText(int errorCode);

} // namespace vdx
