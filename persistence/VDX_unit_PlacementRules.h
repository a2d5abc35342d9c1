#pragma once
// The arithmetic of window placement, free of any toolkit: which monitor a
// window is on, how a stored record becomes a rectangle again (pulled into
// view, its caption on a monitor), the first-opening sizes and the centring
// of a dialog over the main window. The Qt glue (platform/qt) feeds it the
// monitors of QGuiApplication::screens() in list order.
//
// Rectangles are left/top/width/height; right and bottom are exclusive, so a
// rectangle that ends where another begins does not overlap it.

#include <cstdint>
#include <span>

#include "persistence/VDX_unit_Placement.h"

namespace vdx {

struct TPlaceRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    std::int32_t Right() const { return left + width; }
    std::int32_t Bottom() const { return top + height; }
    bool operator==(const TPlaceRect&) const = default;
};

struct TMonitorArea {
    TPlaceRect full; // the whole monitor
    TPlaceRect work; // without panels and docks
    bool primary = false;
};

// The area two rectangles share, 0 when they do not meet.
std::int64_t IntersectionArea(const TPlaceRect& a, const TPlaceRect& b);

// The monitor whose work area shares the most with rect (the first on equal
// areas, 0 when rect meets none or the list is empty).
int BestMonitor(std::span<const TMonitorArea> monitors, const TPlaceRect& rect);

// The primary monitor, or the first when none is marked primary.
int PrimaryMonitor(std::span<const TMonitorArea> monitors);

// A stored monitor number limited to the existing monitors.
int ClampMonitor(std::span<const TMonitorArea> monitors, int number);

// Moves rect (keeping its size) back towards work when it lies wholly
// beyond one of its edges, so that a part of it can be grabbed.
TPlaceRect PullIntoWorkArea(TPlaceRect rect, const TPlaceRect& work);

// Moves rect vertically until its top edge lies on a monitor's full
// rectangle (so that its caption can be reached); target is the monitor it
// is meant for.
TPlaceRect KeepTopEdgeOnMonitor(TPlaceRect rect, std::span<const TMonitorArea> monitors,
                                int target);

// A window's normal rectangle relative to its best monitor's work area.
struct TPlacementCapture {
    TPlaceRect relative;
    int monitor = 0;
    bool primary = false;
};
TPlacementCapture CapturePlacement(std::span<const TMonitorArea> monitors,
                                   const TPlaceRect& normal);

// Updates record when its window closes. mainMonitor is the main window's
// best monitor (ignored for the main window itself, whose flag says whether
// it was on the primary monitor). positionKnown is false where the window
// system does not tell positions (Wayland): the stored left and top and the
// monitor are kept then, only size and state are taken.
void StorePlacementRecord(TPlacementRecord& record, std::span<const TMonitorArea> monitors,
                          const TPlaceRect& normal, bool maximized, bool isMain, int mainMonitor,
                          bool positionKnown = true);

// The rectangle a moved record gives back: relative to the target monitor's
// work area, pulled into it, its top edge on a monitor. The target is the
// main window's monitor (other windows whose flag is set), the primary
// monitor (the main window whose flag is set) or the stored number limited
// to the monitors. Not meaningful for an empty monitor list.
TPlaceRect RestoredRect(const TPlacementRecord& record, std::span<const TMonitorArea> monitors,
                        bool isMain, int mainMonitor);

// The size of a window's first opening on a work area: (factor - 1) / (factor
// + 1) of the width and (factor - 2) / factor of the height.
TPlaceRect FirstOpeningSize(const TPlaceRect& work, int factor);

// The main window never moved: 7/9 of the primary monitor's work area (of the
// first monitor's full rectangle when none is primary), centred in it.
TPlaceRect MainDefaultRect(std::span<const TMonitorArea> monitors);

// Where a dialog of size (width, height) goes when it is centred over the
// main window: the centre of the main window's part of work, then inside
// work (a dialog larger than work ends flush with its right or bottom edge).
TPlaceRect CenterOverRect(std::int32_t width, std::int32_t height, const TPlaceRect& owner,
                          const TPlaceRect& work);

// What a window gets when it is shown: its normal rectangle on the screen
// and whether it is then maximised.
struct TRestoredPlacement {
    TPlaceRect rect;
    bool maximized = false;
};

// One of the six windows with a record is shown. A moved record gives its
// rectangle back; otherwise the first-opening size from the main window's
// monitor, centred over the main window, is written into record (moved stays
// clear, so a window never moved or resized keeps its default placement).
TRestoredPlacement RestoreWindowRect(TPlacementRecord& record,
                                     std::span<const TMonitorArea> monitors,
                                     const TPlaceRect& mainRect, int factor);

// The main window is first shown.
TRestoredPlacement RestoreMainRect(const TPlacementRecord& record,
                                   std::span<const TMonitorArea> monitors);

} // namespace vdx
