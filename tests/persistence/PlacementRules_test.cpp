#include "persistence/VDX_unit_PlacementRules.h"

#include <gtest/gtest.h>
#include <vector>

namespace vdx {
namespace {

// A laptop panel with a 40-pixel bar at the bottom, and a second monitor to
// its right that is taller and has no bar.
const TMonitorArea kLaptop{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true};
const TMonitorArea kRight{{1920, 0, 1280, 1024}, {1920, 0, 1280, 1024}, false};

TPlacementRecord Record(int monitor, bool flag, TPlaceRect r, bool moved = true, int state = 1) {
    TPlacementRecord record;
    record.monitorNumber = monitor;
    record.monitorFlag = flag;
    record.left = r.left;
    record.top = r.top;
    record.width = r.width;
    record.height = r.height;
    record.moved = moved;
    record.state = state;
    return record;
}

TEST(PlacementRulesTest, RestoredRectFollowsMonitorsThatCameAndWent) {
    struct TCase {
        const char* what;
        std::vector<TMonitorArea> monitors;
        TPlacementRecord record;
        bool isMain;
        int mainMonitor;
        TPlaceRect expected;
    };
    const TCase cases[] = {
        {"on its own monitor",
         {kLaptop, kRight},
         Record(1, false, {80, 100, 800, 600}),
         false,
         0,
         {2000, 100, 800, 600}},
        {"its monitor is gone: the last one",
         {kLaptop},
         Record(1, false, {80, 100, 800, 600}),
         false,
         0,
         {80, 100, 800, 600}},
        {"a negative number: the first one",
         {kLaptop, kRight},
         Record(-3, false, {80, 100, 800, 600}),
         false,
         1,
         {80, 100, 800, 600}},
        {"it shared the main window's monitor",
         {kLaptop, kRight},
         Record(0, true, {80, 100, 800, 600}),
         false,
         1,
         {2000, 100, 800, 600}},
        {"main window on the primary after the order changed",
         {kRight, kLaptop},
         Record(0, true, {80, 100, 800, 600}),
         true,
         0,
         {80, 100, 800, 600}},
        {"main window not on the primary keeps its number",
         {kRight, kLaptop},
         Record(0, false, {80, 100, 800, 600}),
         true,
         0,
         {2000, 100, 800, 600}},
        // 50 pixels left on the monitor are not enough for the caption rule,
        // which then lifts the window onto the monitor's top.
        {"wholly right of the work area",
         {kLaptop},
         Record(0, false, {2500, 100, 800, 600}),
         false,
         0,
         {1870, 0, 800, 600}},
        {"wholly left of the work area",
         {kLaptop},
         Record(0, false, {-900, 100, 800, 600}),
         false,
         0,
         {-730, 100, 800, 600}},
        {"wholly below the work area",
         {kLaptop},
         Record(0, false, {80, 1500, 800, 600}),
         false,
         0,
         {80, 990, 800, 600}},
        {"top above every monitor comes down onto the target",
         {kLaptop},
         Record(0, false, {80, -500, 800, 600}),
         false,
         0,
         {80, 0, 800, 600}},
        {"top above a taller window is cut to the monitor",
         {kLaptop},
         Record(0, false, {80, -200, 800, 1200}),
         false,
         0,
         {80, 0, 800, 1080}},
        {"top on a monitor by only 50 pixels does not count",
         {kLaptop, kRight},
         Record(0, false, {-750, 100, 800, 600}),
         false,
         0,
         {-750, 0, 800, 600}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RestoredRect(c.record, c.monitors, c.isMain, c.mainMonitor), c.expected);
    }
}

TEST(PlacementRulesTest, StoreThenRestoreReturnsToTheSamePlace) {
    // Bars at the top or left shift the work area; the stored offsets are
    // relative to it, so the window comes back to the same pixels.
    const std::vector<std::vector<TMonitorArea>> setups = {
        {kLaptop, kRight},
        {{{0, 0, 1920, 1080}, {0, 40, 1920, 1040}, true}, kRight},
        {{{0, 0, 1920, 1080}, {64, 0, 1856, 1080}, true}, kRight},
    };
    const TPlaceRect windows[] = {{300, 200, 900, 700}, {2100, 50, 1000, 800}};
    for (const auto& monitors : setups) {
        for (const TPlaceRect& normal : windows) {
            TPlacementRecord record = Record(0, false, {0, 0, 10, 10}, false);
            StorePlacementRecord(record, monitors, normal, false, false, 0);
            EXPECT_TRUE(record.moved);
            EXPECT_EQ(record.state, 1);
            const TRestoredPlacement back = RestoreWindowRect(record, monitors, normal, 7);
            EXPECT_EQ(back.rect, normal);
            EXPECT_FALSE(back.maximized);
        }
    }
}

TEST(PlacementRulesTest, StoringSetsMonitorFlagStateAndMovedOnlyOnChange) {
    const std::vector<TMonitorArea> monitors = {kLaptop, kRight};
    TPlacementRecord record = Record(0, true, {80, 100, 800, 600}, false);
    StorePlacementRecord(record, monitors, {80, 100, 800, 600}, true, false, 0);
    EXPECT_FALSE(record.moved) << "an unchanged rectangle leaves moved clear";
    EXPECT_EQ(record.state, 3);
    EXPECT_TRUE(record.monitorFlag);

    // The same offsets on another monitor are no change of the rectangle.
    StorePlacementRecord(record, monitors, {2000, 100, 800, 600}, false, false, 0);
    EXPECT_FALSE(record.moved);
    EXPECT_EQ(record.monitorNumber, 1);
    EXPECT_FALSE(record.monitorFlag) << "not on the main window's monitor";

    StorePlacementRecord(record, monitors, {2010, 100, 800, 600}, false, false, 0);
    EXPECT_TRUE(record.moved);
    EXPECT_EQ(record.left, 90);

    StorePlacementRecord(record, monitors, {2010, 100, 800, 600}, false, false, 0);
    EXPECT_TRUE(record.moved) << "moved, once set, stays";

    // The main window's flag says whether it is on the primary monitor.
    TPlacementRecord main = MainPlacementDefaults();
    StorePlacementRecord(main, monitors, {2000, 100, 800, 600}, false, true, 0);
    EXPECT_FALSE(main.monitorFlag);
    StorePlacementRecord(main, monitors, {10, 10, 800, 600}, false, true, 1);
    EXPECT_TRUE(main.monitorFlag);

    // Without positions only the size and state are taken.
    TPlacementRecord blind = Record(1, false, {80, 100, 800, 600}, false);
    StorePlacementRecord(blind, monitors, {0, 0, 900, 600}, false, false, 0, false);
    EXPECT_EQ(blind.left, 80);
    EXPECT_EQ(blind.top, 100);
    EXPECT_EQ(blind.width, 900);
    EXPECT_EQ(blind.monitorNumber, 1);
    EXPECT_TRUE(blind.moved);
}

TEST(PlacementRulesTest, FirstOpeningIsSizedFromTheMainMonitorAndCentred) {
    const std::vector<TMonitorArea> monitors = {kLaptop, kRight};
    struct TCase {
        TPlacementWindow window;
        TPlaceRect main;
        TPlaceRect expected;
    };
    const TCase cases[] = {
        {TPlacementWindow::LogViewer, {0, 0, 1920, 1040}, {240, 149, 1440, 742}},
        {TPlacementWindow::Variables, {0, 0, 1920, 1040}, {384, 260, 1152, 520}},
        // Main window on the right monitor: its work area gives the size.
        {TPlacementWindow::Delete, {1920, 0, 1280, 1024}, {2080, 146, 960, 731}},
        // A small main window near the left edge: centred over it, then kept
        // inside the work area.
        {TPlacementWindow::Smart, {0, 0, 400, 300}, {0, 0, 1440, 742}},
    };
    for (const TCase& c : cases) {
        TPlacementRecord record = Record(0, true, {-1, 0, -1, -1}, false);
        const TRestoredPlacement placed =
            RestoreWindowRect(record, monitors, c.main, PlacementSizeFactor(c.window));
        EXPECT_EQ(placed.rect, c.expected);
        EXPECT_FALSE(record.moved);
        const int monitor = BestMonitor(monitors, c.main);
        const TPlaceRect& work = monitors[static_cast<std::size_t>(monitor)].work;
        EXPECT_EQ(record.left, c.expected.left - work.left);
        EXPECT_EQ(record.width, c.expected.width);
        // Closing it untouched keeps the default placement.
        StorePlacementRecord(record, monitors, placed.rect, false, false, monitor);
        EXPECT_FALSE(record.moved);
    }
}

TEST(PlacementRulesTest, MainWindowAndMaximisedRecords) {
    const std::vector<TMonitorArea> monitors = {kRight, kLaptop};
    // Never moved: 7/9 of the primary's work area, centred in it.
    EXPECT_EQ(RestoreMainRect(MainPlacementDefaults(), monitors).rect,
              (TPlaceRect{213, 116, 1493, 808}));
    // No primary: the first monitor's full rectangle.
    TMonitorArea plain = kRight;
    EXPECT_EQ(MainDefaultRect(std::vector<TMonitorArea>{plain}),
              (TPlaceRect{1920 + 142, 114, 995, 796}));
    // A maximised record comes back maximised over its stored normal size.
    const TPlacementRecord record = Record(1, false, {80, 100, 800, 600}, true, 3);
    const TRestoredPlacement placed = RestoreMainRect(record, monitors);
    EXPECT_TRUE(placed.maximized);
    EXPECT_EQ(placed.rect, (TPlaceRect{80, 100, 800, 600}));
}

TEST(PlacementRulesTest, CentringKeepsTheDialogInsideTheWorkArea) {
    const TPlaceRect work{0, 0, 1920, 1040};
    struct TCase {
        const char* what;
        int width, height;
        TPlaceRect owner;
        TPlaceRect expected;
    };
    const TCase cases[] = {
        {"over the owner", 400, 200, {100, 100, 1000, 800}, {400, 400, 400, 200}},
        {"owner partly off screen: over its visible part",
         400,
         200,
         {-1000, 0, 1400, 1040},
         {0, 420, 400, 200}},
        {"wider and taller than the work area: flush right and bottom",
         2000,
         1200,
         {0, 0, 1920, 1040},
         {-80, -160, 2000, 1200}},
        {"owner off every work area: the work area's centre",
         400,
         200,
         {5000, 0, 300, 300},
         {760, 420, 400, 200}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(CenterOverRect(c.width, c.height, c.owner, work), c.expected);
    }
}

TEST(PlacementRulesTest, BestMonitorTakesTheLargestShareAndTheFirstOnTies) {
    const std::vector<TMonitorArea> monitors = {kLaptop, kRight};
    EXPECT_EQ(BestMonitor(monitors, {1800, 0, 300, 100}), 1);
    EXPECT_EQ(BestMonitor(monitors, {1820, 0, 200, 100}), 0);
    EXPECT_EQ(BestMonitor(monitors, {-5000, -5000, 10, 10}), 0);
    EXPECT_EQ(BestMonitor({}, {0, 0, 10, 10}), 0);
}

} // namespace
} // namespace vdx
