#include "platform/qt/VDX_unit_WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vdx {

namespace {

TPlaceRect ToPlace(const QRect& r) {
    return TPlaceRect{r.x(), r.y(), r.width(), r.height()};
}

QRect ToQRect(const TPlaceRect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}

// The rectangle a window has when shown normal: geometry() lies while it is
// maximised or full screen.
TPlaceRect NormalRect(const QWidget* window) {
    QRect rect = window->geometry();
    if (window->isMaximized() || window->isFullScreen()) {
        const QRect normal = window->normalGeometry();
        if (normal.isValid())
            rect = normal;
    }
    return ToPlace(rect);
}

void Apply(QWidget* window, const TRestoredPlacement& placed) {
    if (WindowPositionsKnown())
        window->setGeometry(ToQRect(placed.rect));
    else
        window->resize(placed.rect.width, placed.rect.height);
    Qt::WindowStates states = window->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
    if (placed.maximized)
        states |= Qt::WindowMaximized;
    window->setWindowState(states);
}

// The main window's rectangle for the rules; the primary work area when
// there is no main window yet.
TPlaceRect MainRect(const QWidget* main, const std::vector<TMonitorArea>& monitors) {
    if (main)
        return ToPlace(main->frameGeometry());
    if (monitors.empty())
        return TPlaceRect{};
    return monitors[static_cast<std::size_t>(PrimaryMonitor(monitors))].work;
}

} // namespace

std::vector<TMonitorArea> CurrentMonitors() {
    std::vector<TMonitorArea> monitors;
    const QScreen* primary = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        monitors.push_back(TMonitorArea{ToPlace(screen->geometry()),
                                        ToPlace(screen->availableGeometry()), screen == primary});
    }
    return monitors;
}

bool WindowPositionsKnown() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

void RestoreMainPlacement(QWidget* window, const TPlacementRecord& record) {
    const std::vector<TMonitorArea> monitors = CurrentMonitors();
    if (monitors.empty())
        return;
    Apply(window, RestoreMainRect(record, monitors));
}

void CollectMainPlacement(const QWidget* window, TPlacementRecord& record) {
    StorePlacementRecord(record, CurrentMonitors(), NormalRect(window), window->isMaximized(), true,
                         0, WindowPositionsKnown());
}

void RestoreWindowPlacement(QWidget* window, TPlacementRecord& record, TPlacementWindow which,
                            const QWidget* main) {
    const std::vector<TMonitorArea> monitors = CurrentMonitors();
    if (monitors.empty())
        return;
    Apply(window, RestoreWindowRect(record, monitors, MainRect(main, monitors),
                                    PlacementSizeFactor(which)));
}

void CollectWindowPlacement(const QWidget* window, TPlacementRecord& record, const QWidget* main) {
    const std::vector<TMonitorArea> monitors = CurrentMonitors();
    StorePlacementRecord(record, monitors, NormalRect(window), window->isMaximized(), false,
                         BestMonitor(monitors, MainRect(main, monitors)), WindowPositionsKnown());
}

void CenterOverOwner(QWidget* window, const QWidget* owner) {
    if (!WindowPositionsKnown())
        return; // the compositor places dialogs over their parent itself
    const std::vector<TMonitorArea> monitors = CurrentMonitors();
    if (monitors.empty())
        return;
    const TPlaceRect over = MainRect(owner, monitors);
    const TPlaceRect& work = monitors[static_cast<std::size_t>(BestMonitor(monitors, over))].work;
    const QSize size = window->frameGeometry().size();
    const TPlaceRect placed = CenterOverRect(size.width(), size.height(), over, work);
    window->move(placed.left, placed.top);
}

} // namespace vdx
