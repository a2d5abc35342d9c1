#pragma once
// The program's own stand-ins for desktop programs that are missing: a
// read-only text window ("Open with Notepad" without a text editor) and a
// file properties window (no file manager answers). Both are modeless,
// belong to owner and delete themselves when closed.

#include <string_view>

#include "platform/qt/VDX_unit_Shell.h"

class QWidget;

namespace vdx {

// The largest part of a file the text window shows.
inline constexpr long long kTextWindowLimit = 16LL * 1024 * 1024;

// Reads the file (the program's UTF-16 path) and shows it; a file that
// cannot be read gives its errno and shows nothing.
TShellResult ShowTextWindow(QWidget* owner, std::u16string_view path);

// Shows name, folder, type, size, times, permissions and owner of the file
// (of a link itself, not its target); a file gone gives its errno.
TShellResult ShowPropertiesWindow(QWidget* owner, std::u16string_view path);

} // namespace vdx
