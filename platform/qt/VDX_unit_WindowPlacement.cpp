#include "platform/qt/VDX_unit_WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace vdx {

void CenterOverOwner(QWidget* window, const QWidget* owner) {
    QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect over = owner ? owner->frameGeometry() : area;
    const QSize size = window->frameGeometry().size();
    int left = over.center().x() - size.width() / 2;
    int top = over.center().y() - size.height() / 2;
    left = std::max(area.left(), std::min(left, area.right() + 1 - size.width()));
    top = std::max(area.top(), std::min(top, area.bottom() + 1 - size.height()));
    window->move(left, top);
}

} // namespace vdx
