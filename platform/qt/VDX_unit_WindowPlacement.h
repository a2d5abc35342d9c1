#pragma once
// Where the windows appear: a dialog is centred over its owner and kept
// inside the owner's monitor's work area.

class QWidget;

namespace vdx {

// Moves window so that it is centred over owner (the primary screen when
// owner is null), inside that screen's work area.
void CenterOverOwner(QWidget* window, const QWidget* owner);

} // namespace vdx
