#include "ui/VDX_unit_DialogParts.h"

#include <QPushButton>

#include "persistence/VDX_unit_Settings.h"

namespace vdx {

QString PlainCaption(QString caption) {
    return caption.remove(QLatin1Char('&')).simplified();
}

QPushButton* MakeDialogButton(const QString& caption, const char* name) {
    auto* button = new QPushButton(caption);
    button->setObjectName(QString::fromLatin1(name));
    button->setAccessibleName(PlainCaption(caption));
    button->setAutoDefault(false);
    return button;
}

QColor SettingsColor(std::int32_t value, const QPalette& palette) {
    if ((static_cast<std::uint32_t>(value) & 0xFF000000u) == 0)
        return QColor(value & 255, value >> 8 & 255, value >> 16 & 255);
    switch (value & 0xFFFF) {
    case kColorHighlight:
    case kColorActiveCaption:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case kColorHighlightText:
    case kColorCaptionText:
        return palette.color(QPalette::Active, QPalette::HighlightedText);
    case kColorInactiveCaption:
        return palette.color(QPalette::Inactive, QPalette::Highlight);
    case kColorInactiveCaptionText:
        return palette.color(QPalette::Inactive, QPalette::HighlightedText);
    default:
        return palette.color(QPalette::Active, QPalette::Text);
    }
}

} // namespace vdx
