#pragma once
// Where the windows appear. The main window and six resizable windows keep a
// placement record (per monitor, relative to its work area); every other
// dialog is centred over the main window within the main window's monitor.
// The arithmetic lives in persistence/VDX_unit_PlacementRules.h; this is
// the QScreen glue. Monitors are QGuiApplication::screens() in list order,
// the work area is availableGeometry(), rectangles are geometry() (the
// client area). Where the window system hides positions (Wayland) only the
// size and the maximised state are restored and stored.

#include <vector>

#include "persistence/VDX_unit_PlacementRules.h"

class QWidget;

namespace vdx {

// The monitors as the placement rules see them.
std::vector<TMonitorArea> CurrentMonitors();
// False where positions of top-level windows can be neither read nor set.
bool WindowPositionsKnown();

// The main window, before its first showing: its normal rectangle and, for
// a maximised record, the maximised state.
void RestoreMainPlacement(QWidget* window, const TPlacementRecord& record);
// The main window, when it closes (before the settings are saved).
void CollectMainPlacement(const QWidget* window, TPlacementRecord& record);

// One of the six windows with a record, before it is shown. main is the main
// window (null: the primary monitor stands in). A first opening writes its
// default rectangle into record.
void RestoreWindowPlacement(QWidget* window, TPlacementRecord& record, TPlacementWindow which,
                            const QWidget* main);
// The same window when it closes.
void CollectWindowPlacement(const QWidget* window, TPlacementRecord& record, const QWidget* main);

// Moves window so that it is centred over owner's part of its monitor's work
// area (the primary screen when owner is null) and inside that work area.
void CenterOverOwner(QWidget* window, const QWidget* owner);

} // namespace vdx
