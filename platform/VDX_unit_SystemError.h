#pragma once

#include <string>

namespace vdx {

// Failures of the program's own checks, carried like errno values (far above
// every errno) so that they travel through the same result codes and log
// lines; SystemErrorText gives their texts.
// The file is no longer the one the search recorded: another size or
// last-write time, or no longer a regular file.
inline constexpr int kErrorChangedSinceSearch = 0x10000001;
// The destination of a copy or move is the source file itself.
inline constexpr int kErrorSameFile = 0x10000002;

// The C library's message text for an errno value (at most 4096 characters),
// trimmed and without line breaks.
std::u16string SystemErrorText(int errorCode);

} // namespace vdx
