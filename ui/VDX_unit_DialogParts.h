#pragma once
// Small pieces the dialogs share: the accessible form of a caption, a plain
// dialog button, and the settings' colour values in the desktop's palette.

#include <QColor>
#include <QPalette>
#include <QString>
#include <cstdint>

class QPushButton;

namespace vdx {

// A caption as a screen reader should say it: without its mnemonic "&"
// and with blanks collapsed.
QString PlainCaption(QString caption);

// A push button named name, its accessible name the plain caption; not a
// default button unless the caller makes it one.
QPushButton* MakeDialogButton(const QString& caption, const char* name);

// A colour of the settings: a system colour as the palette's colour (the
// selection pair of a focused list, the inactive pair of an unfocused one),
// anything else as 0x00BBGGRR.
QColor SettingsColor(std::int32_t value, const QPalette& palette);

} // namespace vdx
