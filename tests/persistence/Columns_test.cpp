#include "persistence/VDX_unit_Columns.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {
namespace {

std::string S(std::u16string_view text) {
    return ToUtf8(text);
}

// Loads layout from the text of one section (or from a file without it).
TColumnList Loaded(TColumnLayout layout, std::string_view text,
                   std::int32_t* resultView = nullptr) {
    TKLXIni ini;
    ini.LoadFromText(text);
    const std::string_view section = ColumnLayoutInfo(layout).section;
    TColumnList columns(layout);
    columns.Load(ini, ini.FindSection(std::u16string(section.begin(), section.end())), resultView);
    return columns;
}

std::string Saved(const TColumnList& columns, const std::int32_t* resultView = nullptr) {
    TKLXIni ini;
    columns.Save(ini, ini.AddSection(columns.Info().section), resultView);
    return ini.SavedText();
}

std::vector<std::int32_t> WidthsOf(const TColumnList& columns) {
    std::vector<std::int32_t> widths;
    for (std::size_t i = 0; i < columns.DefinitionCount(); ++i)
        widths.push_back(columns.Definition(i)->width);
    return widths;
}

std::vector<std::int32_t> FixedOf(const TColumnList& columns) {
    std::vector<std::int32_t> fixed;
    for (std::size_t i = 0; i < columns.DefinitionCount(); ++i)
        if (columns.Definition(i)->fixed)
            fixed.push_back(columns.Definition(i)->id);
    return fixed;
}

std::vector<std::int32_t> DefinitionIds(const TColumnList& columns) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < columns.DefinitionCount(); ++i)
        ids.push_back(columns.Definition(i)->id);
    return ids;
}

TEST(ColumnLayouts, AMissingSectionGivesEachLayoutItsDefaults) {
    const struct {
        TColumnLayout layout;
        std::vector<std::int32_t> definitions;
        std::vector<std::int32_t> shown;
        std::vector<std::int32_t> fixed;
        std::int32_t sort;
    } cases[] = {
        {TColumnLayout::SearchSet,
         {20, 21, 22, 23, 24, 25, 26, 27},
         {20, 27, 21, 22, 23, 24, 25},
         {20},
         20},
        {TColumnLayout::Results,
         {10, 11, 12, 13, 14, 15, 16, 17},
         {10, 11, 12, 13, 14, 15, 16, 17},
         {10, 12, 13, 14, 15},
         12},
        {TColumnLayout::Delete,
         {10, 12, 13, 14, 15, 16, 17},
         {10, 12, 13, 14, 15, 16, 17},
         {10, 12, 13, 14, 15},
         12},
        {TColumnLayout::CopyMove,
         {10, 12, 13, 14, 15, 16, 17},
         {10, 12, 13, 14, 15, 16, 17},
         {10, 12, 13, 14, 15},
         12},
        {TColumnLayout::Alert,
         {11, 12, 13, 14, 15, 16, 17},
         {11, 12, 13, 14, 15, 16, 17},
         {11, 12, 13, 14},
         12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(ColumnLayoutInfo(c.layout).section));
        std::int32_t resultView = 4;
        const TColumnList columns = Loaded(c.layout, "[Other]\r\nbAsc=0\r\n", &resultView);
        EXPECT_EQ(DefinitionIds(columns), c.definitions);
        EXPECT_EQ(columns.Shown(), c.shown);
        EXPECT_EQ(FixedOf(columns), c.fixed);
        EXPECT_EQ(WidthsOf(columns), std::vector<std::int32_t>(c.definitions.size(), 100));
        EXPECT_EQ(columns.sortColumn, c.sort);
        EXPECT_TRUE(columns.ascending);
        EXPECT_TRUE(columns.autosize);
        EXPECT_EQ(resultView, 0);

        // LoadDefaults gives the same layout without a store.
        TColumnList defaults(c.layout);
        defaults.LoadDefaults();
        EXPECT_EQ(Saved(defaults), Saved(columns));
    }
}

TEST(ColumnLayouts, CaptionsComeFromTheTableAndUnknownIdentifiersReadQuestionMarks) {
    const TColumnList results = Loaded(TColumnLayout::Results, "");
    std::vector<std::string> captions;
    for (std::size_t i = 0; i < results.DefinitionCount(); ++i)
        captions.push_back(S(results.Definition(i)->caption));
    EXPECT_EQ(captions, (std::vector<std::string>{"M", "Grp", "Name", "Ext", "Path", "Size", "Date",
                                                  "Attr"}));
    EXPECT_EQ(S(Loaded(TColumnLayout::SearchSet, "").ShownDefinition(1)->caption), "SF");

    TColumnList list(TColumnLayout::Results);
    list.AddDefinition(99, 50);
    list.Finish({99});
    EXPECT_EQ(S(list.Definition(0)->caption), "???");
    EXPECT_TRUE(list.Definition(0)->fixed);
}

TEST(ColumnLayouts, ShownListsTakeOnlyDefinedColumnsOnce) {
    // 30 is no column; 20 is not a column of the results grid; 14 twice.
    const TColumnList columns =
        Loaded(TColumnLayout::Results, "[SG_Columns]\r\nSG_clm_Count=6\r\nSG_clm_0=12\r\n"
                                       "SG_clm_1=30\r\nSG_clm_2=20\r\nSG_clm_3=14\r\n"
                                       "SG_clm_4=14\r\nSG_clm_5=10\r\n");
    EXPECT_EQ(columns.Shown(), (std::vector<std::int32_t>{12, 14, 10}));

    TColumnList list(TColumnLayout::Results);
    list.AddDefinition(12, 100);
    EXPECT_FALSE(list.AddShown(18));
    EXPECT_FALSE(list.AddShown(13)); // not defined
    EXPECT_TRUE(list.AddShown(12));
    EXPECT_FALSE(list.AddShown(12));
}

TEST(ColumnLayouts, AShownListWithoutAUsableColumnTakesTheDefaultOrder) {
    const TColumnList columns = Loaded(
        TColumnLayout::Alert, "[SA_Columns]\r\nSA_clm_Count=2\r\nSA_clm_0=30\r\nSA_clm_1=10\r\n");
    EXPECT_EQ(columns.Shown(), (std::vector<std::int32_t>{11, 12, 13, 14, 15, 16, 17}));
}

TEST(ColumnLayouts, AHiddenColumnStaysHiddenAcrossSaveAndLoad) {
    TColumnList columns(TColumnLayout::Results);
    columns.LoadDefaults();
    columns.ClearShown();
    for (std::int32_t id : {12, 10, 13, 15, 16, 17, 11})
        columns.AddShown(id);
    columns.FindDefinition(kColName)->width = 240;
    columns.sortColumn = kColDate;
    columns.ascending = false;
    columns.autosize = false;
    const std::int32_t view = 5;
    const std::string text = Saved(columns, &view);
    EXPECT_EQ(text, "[SG_Columns]\r\nbAutosize=0\r\nbAsc=0\r\nSortCol=16\r\nResultView=5\r\n"
                    "Column_10=100\r\nColumn_11=100\r\nColumn_12=240\r\nColumn_13=100\r\n"
                    "Column_14=100\r\nColumn_15=100\r\nColumn_16=100\r\nColumn_17=100\r\n"
                    "SG_clm_Count=7\r\nSG_clm_0=12\r\nSG_clm_1=10\r\nSG_clm_2=13\r\n"
                    "SG_clm_3=15\r\nSG_clm_4=16\r\nSG_clm_5=17\r\nSG_clm_6=11\r\n");

    std::int32_t resultView = 0;
    const TColumnList loaded = Loaded(TColumnLayout::Results, text, &resultView);
    EXPECT_FALSE(loaded.IsShown(kColPath));
    EXPECT_EQ(loaded.ShownDefinition(0)->width, 240);
    EXPECT_EQ(loaded.ResultsSortKey(), 5);
    EXPECT_EQ(resultView, 5);
    EXPECT_EQ(Saved(loaded, &resultView), text);
}

TEST(ColumnLayouts, ALayoutWithNothingShownWritesNoShownKeys) {
    TColumnList columns(TColumnLayout::Delete);
    columns.LoadDefaults();
    columns.ClearShown();
    const std::string text = Saved(columns);
    EXPECT_EQ(text.find("OP_clm_"), std::string::npos);
    EXPECT_NE(text.find("SortCol=12\r\nColumn_10=100\r\n"), std::string::npos);
}

TEST(ColumnLayouts, BadValuesTakeTheirDefaults) {
    std::int32_t resultView = 0;
    const TColumnList columns =
        Loaded(TColumnLayout::Results,
               "[SG_Columns]\r\nbAutosize=3\r\nSortCol=20\r\nResultView=6\r\n"
               "Column_12=-5\r\nColumn_13=0\r\nColumn_14=1200\r\nSG_clm_Count=-2\r\n",
               &resultView);
    EXPECT_TRUE(columns.autosize);
    EXPECT_EQ(columns.sortColumn, kColName); // 20 is no column of this layout
    EXPECT_EQ(resultView, 0);
    EXPECT_EQ(columns.FindDefinition(12)->width, 100);
    EXPECT_EQ(columns.FindDefinition(13)->width, 0);
    EXPECT_EQ(columns.FindDefinition(14)->width, 1200); // autosize may spread wider than 800
    EXPECT_EQ(columns.ShownCount(), 8u);
}

TEST(ColumnLayouts, TheResultsSortKeyMapsEachColumnToTheStoresKey) {
    const std::pair<std::int32_t, int> cases[] = {{10, 10}, {11, 9}, {12, 2}, {13, 3}, {14, 6},
                                                  {15, 4},  {16, 5}, {17, 2}, {99, 2}};
    TColumnList columns(TColumnLayout::Results);
    for (const auto& [column, key] : cases) {
        columns.sortColumn = column;
        EXPECT_EQ(columns.ResultsSortKey(), key) << column;
    }
}

TEST(ColumnLayouts, LookupsOutOfRangeAnswerNothing) {
    TColumnList columns(TColumnLayout::SearchSet);
    columns.LoadDefaults();
    EXPECT_EQ(columns.Definition(8), nullptr);
    EXPECT_EQ(columns.ShownId(7), -1);
    EXPECT_EQ(columns.ShownDefinition(7), nullptr);
    EXPECT_EQ(columns.FindDefinition(12), nullptr);
    EXPECT_EQ(columns.ShownDefinition(1)->id, 27);
}

} // namespace
} // namespace vdx
