#pragma once
// The stored placement of the main window and of the six resizable windows:
// where each was on which monitor, kept relative to that monitor's work area
// so that it reopens there. Data only; the windows apply and capture it.

#include <cstdint>
#include <string_view>

namespace vdx {

class TKLXIni;

struct TPlacementRecord {
    std::int32_t monitorNumber = 0; // position in the system's monitor list
    std::int32_t state = 1;         // 3 maximised, 1 normal (-1: main window never shown)
    std::int32_t left = -1;         // normal rectangle, relative to the work area
    std::int32_t top = 0;
    std::int32_t width = -1;
    std::int32_t height = -1;
    bool moved = false; // the stored rectangle is to be used
    // Main window: it was on the primary monitor. Other windows: they were on
    // the main window's monitor.
    bool monitorFlag = true;
};

// The main window's record before it was ever stored.
TPlacementRecord MainPlacementDefaults();

// The windows with a record besides the main window, in the order their keys
// are written.
enum class TPlacementWindow : int { Alert, CopyTo, Delete, LogViewer, Smart, Variables };
inline constexpr int kPlacementWindowCount = 6;

// The name W of the keys "b_" W "_moved" ... ("Alert", "CopyTo" ...).
std::u16string_view PlacementName(TPlacementWindow window);
// The size factor of the window's first opening.
int PlacementSizeFactor(TPlacementWindow window);

// The keys of one record in their written order: "b_" W "_moved", then the
// monitor flag ("b_Main_Primary" for the main window, else "b_" W "_Main"),
// "w_" W "_Num", "_State", "_Top", "_Left", "_Width", "_Height". A missing or
// invalid key keeps the value of defaults.
void LoadPlacement(TPlacementRecord& record, const TKLXIni& ini, int section,
                   std::u16string_view name, bool isMain, const TPlacementRecord& defaults);
void SavePlacement(const TPlacementRecord& record, TKLXIni& ini, int section,
                   std::u16string_view name, bool isMain);

} // namespace vdx
