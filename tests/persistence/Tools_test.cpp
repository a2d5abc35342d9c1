#include "persistence/VDX_unit_Tools.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

using TTools = std::vector<std::int32_t>;

std::string S(std::u16string_view text) {
    return ToUtf8(text);
}

void LoadFrom(TTool& tool, std::string_view text) {
    TKLXIni ini;
    ini.LoadFromText(text);
    const std::string_view name = tool.SectionName();
    tool.Load(ini, ini.FindSection(std::u16string(name.begin(), name.end())));
}

std::string Saved(const TTool& tool) {
    TKLXIni ini;
    tool.Save(ini, ini.AddSection(tool.SectionName()));
    return ini.SavedText();
}

class TRecordingView : public TToolBarView {
public:
    void RebuildBar(const TTool& tool) override { rebuilt.push_back(tool.Current()); }
    void ApplyShowCaptions(bool show) override { captions.push_back(show); }

    std::vector<TTools> rebuilt;
    std::vector<bool> captions;
};

TEST(ToolTable, EveryToolHasItsRowAndUnknownNumbersFail) {
    const TToolInfo& report = ToolInfo(51);
    EXPECT_EQ(S(report.text), "Report");
    EXPECT_EQ(S(report.command), "actResAct_ReportMenu");
    EXPECT_EQ(report.style, TToolStyle::DropDown);
    EXPECT_EQ(report.image, 21);
    EXPECT_EQ(S(report.dropDownMenu), "pupReportMenu");
    EXPECT_EQ(ToolInfo(68).style, TToolStyle::CheckButton);
    EXPECT_EQ(ToolInfo(0).style, TToolStyle::Separator);
    EXPECT_EQ(S(ToolInfo(63).text), "Delete");
    EXPECT_EQ(S(ToolInfo(63).command), "actSet_DeletePath");

    const TToolInfo& unknown = ToolInfo(70);
    EXPECT_EQ(S(unknown.text), "! failed !");
    EXPECT_EQ(S(unknown.command), "actResAct_Explore");
    EXPECT_FALSE(IsKnownTool(70));

    // Every tool of every pool is known; images are distinct.
    std::vector<std::int32_t> images;
    for (const TToolInfo& info : ToolTable())
        if (info.image >= 0)
            images.push_back(info.image);
    std::sort(images.begin(), images.end());
    EXPECT_EQ(std::adjacent_find(images.begin(), images.end()), images.end());
    for (int bar = 20; bar <= 22; ++bar) {
        const TTool layout(static_cast<TToolBarKind>(bar));
        for (std::int32_t tool : layout.Pool())
            EXPECT_TRUE(IsKnownTool(tool)) << tool;
    }
}

TEST(ToolLayouts, AMissingSectionLeavesTheBarEmptyUntilItTakesItsDefaults) {
    TTool results(TToolBarKind::Result);
    LoadFrom(results, "[tlbSetStoreSection]\r\nButtonCount=1\r\nButton_1=81\r\n");
    EXPECT_TRUE(results.Current().empty());
    EXPECT_TRUE(results.ShowCaptions());
    EXPECT_TRUE(results.TakeDefaultsIfEmpty());
    EXPECT_EQ(results.Current(), (TTools{49, 0, 41, 42, 43, 0, 46, 0, 51, 47, 52, 53, 0, 48, 0}));
    // Mark all, Mark group and Navigator are in the pool but not the defaults.
    EXPECT_EQ(results.Available(), (TTools{0, 44, 45, 50}));
    EXPECT_FALSE(results.TakeDefaultsIfEmpty());
}

TEST(ToolLayouts, LoadingSkipsNegativeUnknownAndRepeatedTools) {
    TTool bar(TToolBarKind::SearchSet);
    LoadFrom(bar, "[tlbSearchSetSection]\r\nShowLabels=0\r\nButtonCount=8\r\n"
                  "Button_1=65\r\nButton_2=0\r\nButton_3=-1\r\nButton_4=61\r\n"
                  "Button_5=81\r\nButton_6=999\r\nButton_7=65\r\nButton_8=0\r\nButton_9=62\r\n");
    EXPECT_FALSE(bar.ShowCaptions());
    // 81 belongs to another bar, 999 to none; a tool appears once, separators
    // as often as they stand.
    EXPECT_EQ(bar.Current(), (TTools{65, 0, 61, 0}));
    EXPECT_EQ(bar.Available(), (TTools{0, 62, 63, 64, 66, 67, 68, 69, 71}));
}

TEST(ToolLayouts, SaveWritesLabelsCountAndButtonsFromOne) {
    TTool store(TToolBarKind::SetStore);
    store.ResetToDefaults();
    store.SetShowCaptions(false);
    const std::string text = Saved(store);
    EXPECT_EQ(text, "[tlbSetStoreSection]\r\nShowLabels=0\r\nButtonCount=4\r\n"
                    "Button_1=81\r\nButton_2=82\r\nButton_3=83\r\nButton_4=84\r\n");
    TTool loaded(TToolBarKind::SetStore);
    LoadFrom(loaded, text);
    EXPECT_EQ(loaded.Current(), store.Current());
    EXPECT_EQ(Saved(loaded), text);
}

TEST(ToolLayouts, AnEmptiedBarIsSavedEmptyAndTakesItsDefaultsAtTheNextStart) {
    TTool store(TToolBarKind::SetStore);
    store.ResetToDefaults();
    while (!store.Current().empty())
        store.RemoveToAvailable(0);
    EXPECT_EQ(store.Available(), (TTools{0, 81, 82, 83, 84}));
    const std::string text = Saved(store);
    EXPECT_EQ(text, "[tlbSetStoreSection]\r\nShowLabels=1\r\nButtonCount=0\r\n");
    TTool next(TToolBarKind::SetStore);
    LoadFrom(next, text);
    EXPECT_TRUE(next.TakeDefaultsIfEmpty());
    EXPECT_EQ(next.Current(), (TTools{81, 82, 83, 84}));
}

TEST(ToolLayouts, AddingAndRemovingKeepTheSeparatorAvailableOnce) {
    TTool bar(TToolBarKind::SetStore);
    const std::int32_t start[] = {82};
    bar.SetCurrent(start);
    EXPECT_EQ(bar.Available(), (TTools{0, 81, 83, 84}));

    // The separator before the first button; it stays available.
    EXPECT_EQ(bar.AddFromAvailable(0, 0), 0);
    EXPECT_EQ(bar.Current(), (TTools{0, 82}));
    EXPECT_EQ(bar.Available(), (TTools{0, 81, 83, 84}));
    // 84 with no current selection goes to the end and leaves the list.
    EXPECT_EQ(bar.AddFromAvailable(3, -1), 2);
    EXPECT_EQ(bar.Current(), (TTools{0, 82, 84}));
    EXPECT_EQ(bar.Available(), (TTools{0, 81, 83}));
    // Out of range: nothing changes.
    EXPECT_EQ(bar.AddFromAvailable(3, 0), -1);
    EXPECT_EQ(bar.RemoveToAvailable(3), -1);

    // Removing the separator adds no second one.
    EXPECT_EQ(bar.RemoveToAvailable(0), 0);
    EXPECT_EQ(bar.Available(), (TTools{0, 81, 83}));
    // A tool returns sorted; the answer is its new place.
    EXPECT_EQ(bar.RemoveToAvailable(1), 3);
    EXPECT_EQ(bar.Available(), (TTools{0, 81, 83, 84}));
    EXPECT_EQ(bar.Current(), (TTools{82}));
}

TEST(ToolLayouts, ExchangeAndMoveRearrangeTheCurrentButtons) {
    TTool bar(TToolBarKind::SetStore);
    bar.ResetToDefaults();
    EXPECT_TRUE(bar.Exchange(0, 3));
    EXPECT_EQ(bar.Current(), (TTools{84, 82, 83, 81}));
    EXPECT_TRUE(bar.Move(0, 2));
    EXPECT_EQ(bar.Current(), (TTools{82, 83, 84, 81}));
    EXPECT_TRUE(bar.Move(3, 0));
    EXPECT_EQ(bar.Current(), (TTools{81, 82, 83, 84}));
    EXPECT_FALSE(bar.Exchange(0, 4));
    EXPECT_FALSE(bar.Move(-1, 0));
    EXPECT_FALSE(bar.Move(0, 4));
    EXPECT_EQ(bar.Current(), (TTools{81, 82, 83, 84}));
}

TEST(ToolLayouts, TheBoundBarFollowsResetsAndCaptionSwitches) {
    TRecordingView view;
    TTool bar(TToolBarKind::SearchSet);
    bar.SetView(&view);
    bar.ResetToDefaults();
    bar.SetShowCaptions(false);
    bar.Rebuild();
    ASSERT_EQ(view.rebuilt.size(), 2u);
    EXPECT_EQ(view.rebuilt[0], (TTools{61, 62, 63, 64, 0, 65, 0, 69, 71, 67, 68}));
    EXPECT_EQ(view.captions, (std::vector<bool>{false}));
    bar.SetView(nullptr);
    bar.ResetToDefaults();
    EXPECT_EQ(view.rebuilt.size(), 2u);
}

TEST(ToolLayouts, TextsOfListPositionsOutsideTheListsAreQuestionMarks) {
    TTool bar(TToolBarKind::Result);
    bar.ResetToDefaults();
    EXPECT_EQ(S(bar.CurrentText(0)), "Content compare");
    EXPECT_EQ(S(bar.CurrentText(1)), "Separator");
    EXPECT_EQ(S(bar.CurrentText(15)), "??");
    EXPECT_EQ(S(bar.AvailableText(0)), "Separator");
    EXPECT_EQ(S(bar.AvailableText(1)), "Mark all");
    EXPECT_EQ(S(bar.AvailableText(4)), "??");
}

} // namespace
} // namespace vdx
