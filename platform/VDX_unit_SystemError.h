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
// A folder on the way to the file is no longer the folder the search listed:
// a link or another folder now stands in its place.
inline constexpr int kErrorFolderChanged = 0x10000003;
// No other file of the file's group that stays is still there unchanged, so
// acting on the file would leave no copy of it.
inline constexpr int kErrorNoRemainingCopy = 0x10000004;

// The C library's message text for an errno value (at most 4096 characters),
// trimmed and without line breaks.
std::u16string SystemErrorText(int errorCode);

} // namespace vdx
