#include "platform/qt/VDX_unit_Help.h"

#include <QWidget>

namespace vdx {

void SetHelpContext(QWidget* widget, int context) {
    widget->setProperty(kHelpContextProperty, context);
}

void ShowHelpContext(int /*context*/) {}

void ShowHelpTopic(const QString& /*topicFile*/) {}

} // namespace vdx
