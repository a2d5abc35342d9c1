#pragma once
// A guided tour for reviewing the windows: with VDX_SCREENSHOTS set to a
// folder, the program opens each of its windows in turn, saves a PNG of each
// into that folder and quits. scripts/screenshots runs it under a virtual
// display on a generated tree; it is not part of normal use.

#include <QString>

namespace vdx {

class Tform_Main;

// Starts the tour once the event loop runs; searchFolder, when not empty,
// becomes the current set's only path first.
void StartScreenshotTour(Tform_Main& window, const QString& folder, const QString& searchFolder);

} // namespace vdx
