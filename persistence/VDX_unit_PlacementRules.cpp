#include "persistence/VDX_unit_PlacementRules.h"

#include <algorithm>

namespace vdx {

namespace {

// How far two rectangles overlap horizontally (negative when apart).
std::int32_t HorizontalOverlap(const TPlaceRect& a, const TPlaceRect& b) {
    return std::min(a.Right(), b.Right()) - std::max(a.left, b.left);
}

TPlaceRect Intersection(const TPlaceRect& a, const TPlaceRect& b) {
    const std::int32_t left = std::max(a.left, b.left);
    const std::int32_t top = std::max(a.top, b.top);
    const std::int32_t right = std::min(a.Right(), b.Right());
    const std::int32_t bottom = std::min(a.Bottom(), b.Bottom());
    if (right <= left || bottom <= top)
        return TPlaceRect{};
    return TPlaceRect{left, top, right - left, bottom - top};
}

// The rule wants more than 50 pixels of a monitor under the caption.
constexpr std::int32_t kCaptionOverlap = 50;

} // namespace

std::int64_t IntersectionArea(const TPlaceRect& a, const TPlaceRect& b) {
    const TPlaceRect common = Intersection(a, b);
    return std::int64_t{common.width} * common.height;
}

int BestMonitor(std::span<const TMonitorArea> monitors, const TPlaceRect& rect) {
    int best = 0;
    std::int64_t bestArea = 0;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const std::int64_t area = IntersectionArea(rect, monitors[i].work);
        if (area > bestArea) {
            bestArea = area;
            best = static_cast<int>(i);
        }
    }
    return best;
}

int PrimaryMonitor(std::span<const TMonitorArea> monitors) {
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        if (monitors[i].primary)
            return static_cast<int>(i);
    }
    return 0;
}

int ClampMonitor(std::span<const TMonitorArea> monitors, int number) {
    if (monitors.empty() || number < 0)
        return 0;
    return std::min(number, static_cast<int>(monitors.size()) - 1);
}

TPlaceRect PullIntoWorkArea(TPlaceRect rect, const TPlaceRect& work) {
    if (rect.left > work.Right())
        rect.left = work.Right() - 50;
    if (rect.Right() < work.left)
        rect.left = work.left + 70 - rect.width;
    if (rect.Bottom() < work.top)
        rect.top = work.top + 50 - rect.height;
    if (rect.top > work.Bottom())
        rect.top = work.Bottom() - 50;
    return rect;
}

TPlaceRect KeepTopEdgeOnMonitor(TPlaceRect rect, std::span<const TMonitorArea> monitors,
                                int target) {
    if (monitors.empty())
        return rect;
    for (const TMonitorArea& monitor : monitors) {
        if (HorizontalOverlap(rect, monitor.full) > kCaptionOverlap &&
            rect.top >= monitor.full.top && rect.top <= monitor.full.Bottom())
            return rect;
    }
    const TMonitorArea* chosen =
        &monitors[static_cast<std::size_t>(ClampMonitor(monitors, target))];
    std::int32_t d = chosen->full.top - rect.top;
    for (const TMonitorArea& monitor : monitors) {
        const std::int32_t below = monitor.full.top - rect.top;
        if (HorizontalOverlap(rect, monitor.full) > kCaptionOverlap && below > 0 && below < d) {
            chosen = &monitor;
            d = below;
        }
    }
    rect.top += d;
    const std::int32_t excess = rect.Bottom() - chosen->full.Bottom();
    if (excess > 0)
        rect.height -= std::min(excess, d);
    return rect;
}

TPlacementCapture CapturePlacement(std::span<const TMonitorArea> monitors,
                                   const TPlaceRect& normal) {
    TPlacementCapture capture;
    capture.relative = normal;
    if (monitors.empty())
        return capture;
    capture.monitor = BestMonitor(monitors, normal);
    const TMonitorArea& monitor = monitors[static_cast<std::size_t>(capture.monitor)];
    capture.relative.left -= monitor.work.left;
    capture.relative.top -= monitor.work.top;
    capture.primary = monitor.primary;
    return capture;
}

void StorePlacementRecord(TPlacementRecord& record, std::span<const TMonitorArea> monitors,
                          const TPlaceRect& normal, bool maximized, bool isMain, int mainMonitor,
                          bool positionKnown) {
    TPlacementCapture capture = CapturePlacement(monitors, normal);
    if (!positionKnown) {
        capture.relative.left = record.left;
        capture.relative.top = record.top;
        capture.monitor = ClampMonitor(monitors, record.monitorNumber);
        capture.primary = isMain ? record.monitorFlag : false;
    }
    const TPlaceRect& r = capture.relative;
    record.moved = record.moved || r.left != record.left || r.top != record.top ||
                   r.width != record.width || r.height != record.height;
    record.state = maximized ? 3 : 1;
    record.left = r.left;
    record.top = r.top;
    record.width = r.width;
    record.height = r.height;
    if (positionKnown) {
        record.monitorNumber = capture.monitor;
        record.monitorFlag = isMain ? capture.primary : capture.monitor == mainMonitor;
    }
}

TPlaceRect RestoredRect(const TPlacementRecord& record, std::span<const TMonitorArea> monitors,
                        bool isMain, int mainMonitor) {
    int target = 0;
    if (record.monitorFlag)
        target = isMain ? PrimaryMonitor(monitors) : ClampMonitor(monitors, mainMonitor);
    else
        target = ClampMonitor(monitors, record.monitorNumber);
    TPlaceRect rect{record.left, record.top, record.width, record.height};
    if (monitors.empty())
        return rect;
    const TPlaceRect& work = monitors[static_cast<std::size_t>(target)].work;
    rect.left += work.left;
    rect.top += work.top;
    rect = PullIntoWorkArea(rect, work);
    return KeepTopEdgeOnMonitor(rect, monitors, target);
}

TPlaceRect FirstOpeningSize(const TPlaceRect& work, int factor) {
    // 64-bit products: a wall of monitors must not overflow.
    const std::int64_t f = factor;
    return TPlaceRect{0, 0, static_cast<std::int32_t>((f - 1) * work.width / (f + 1)),
                      static_cast<std::int32_t>((f - 2) * work.height / f)};
}

TPlaceRect MainDefaultRect(std::span<const TMonitorArea> monitors) {
    if (monitors.empty())
        return TPlaceRect{};
    TPlaceRect area = monitors.front().full;
    for (const TMonitorArea& monitor : monitors) {
        if (monitor.primary) {
            area = monitor.work;
            break;
        }
    }
    const std::int32_t width = static_cast<std::int32_t>(std::int64_t{area.width} * 7 / 9);
    const std::int32_t height = static_cast<std::int32_t>(std::int64_t{area.height} * 7 / 9);
    return TPlaceRect{area.left + (area.width - width) / 2, area.top + (area.height - height) / 2,
                      width, height};
}

TPlaceRect CenterOverRect(std::int32_t width, std::int32_t height, const TPlaceRect& owner,
                          const TPlaceRect& work) {
    TPlaceRect over = Intersection(owner, work);
    if (over.width == 0)
        over = work; // the owner lies off every work area
    TPlaceRect rect{over.left + (over.width - width) / 2, over.top + (over.height - height) / 2,
                    width, height};
    rect.left = std::max(rect.left, work.left);
    rect.left = std::min(rect.left, work.Right() - width);
    rect.top = std::max(rect.top, work.top);
    rect.top = std::min(rect.top, work.Bottom() - height);
    return rect;
}

TRestoredPlacement RestoreWindowRect(TPlacementRecord& record,
                                     std::span<const TMonitorArea> monitors,
                                     const TPlaceRect& mainRect, int factor) {
    const int mainMonitor = BestMonitor(monitors, mainRect);
    if (record.moved || monitors.empty())
        return TRestoredPlacement{RestoredRect(record, monitors, false, mainMonitor),
                                  record.state == 3};
    const TPlaceRect& work = monitors[static_cast<std::size_t>(mainMonitor)].work;
    const TPlaceRect size = FirstOpeningSize(work, factor);
    const TPlaceRect rect = CenterOverRect(size.width, size.height, mainRect, work);
    const TPlacementCapture capture = CapturePlacement(monitors, rect);
    record.left = capture.relative.left;
    record.top = capture.relative.top;
    record.width = capture.relative.width;
    record.height = capture.relative.height;
    return TRestoredPlacement{rect, record.state == 3};
}

TRestoredPlacement RestoreMainRect(const TPlacementRecord& record,
                                   std::span<const TMonitorArea> monitors) {
    if (record.moved && !monitors.empty())
        return TRestoredPlacement{RestoredRect(record, monitors, true, 0), record.state == 3};
    return TRestoredPlacement{MainDefaultRect(monitors), record.state == 3};
}

} // namespace vdx
