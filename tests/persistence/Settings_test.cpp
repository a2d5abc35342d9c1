#include "persistence/VDX_unit_Settings.h"

#include <chrono>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "persistence/KLX_unit_Ini.h"
#include "platform/VDX_unit_Locale.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

// Dates are written with the locale's decimal separator: the expectations
// below hold for the C.UTF-8 locale (a point).
class TSettingsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        ::setenv("LC_ALL", "C.UTF-8", 1);
        std::setlocale(LC_ALL, "");
        ReloadLocaleFormats();
    }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new TSettingsEnvironment);

std::u16string U(std::string_view utf8) {
    return FromUtf8(utf8);
}

std::string S(std::u16string_view text) {
    return ToUtf8(text);
}

// ---------------------------------------------------------------------------
// Helpers

struct TLine {
    std::string section;
    std::string key;
    std::string value;
};

// The key lines of a written text with their sections, in order.
std::vector<TLine> ParseLines(const std::string& text) {
    std::vector<TLine> lines;
    std::string section;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty())
            continue;
        if (line.front() == '[') {
            section = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t eq = line.find('=');
        lines.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
    }
    return lines;
}

std::vector<std::string> Sections(const std::string& text) {
    std::vector<std::string> sections;
    for (const TLine& line : ParseLines(text))
        if (sections.empty() || sections.back() != line.section)
            sections.push_back(line.section);
    return sections;
}

std::vector<std::string> KeysOf(const std::string& text, const std::string& section) {
    std::vector<std::string> keys;
    for (const TLine& line : ParseLines(text))
        if (line.section == section)
            keys.push_back(line.key);
    return keys;
}

std::string SaveText(const TSettings& settings) {
    TKLXIni ini;
    WriteSettings(settings, ini);
    return ini.SavedText();
}

void LoadText(TSettings& settings, std::string_view text) {
    TKLXIni ini;
    ini.LoadFromText(text);
    ReadSettings(settings, ini);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TStartupGlobals TestGlobals(const test::TTempTree& tree) {
    TStartupGlobals g;
    g.localAppDataFolder = U(tree.Path("config"));
    g.documentsFolder = U(tree.Path("docs"));
    g.programFolder = U(tree.Path("prog"));
    g.defaultFont = TFontData{u"Sans", 10, SystemColor(kColorWindowText), 0};
    return g;
}

// A settings object with the defaults of a run whose folders lie in tree.
void MakeDefault(TSettings& settings, const TStartupGlobals& globals) {
    settings.globals = globals;
    settings.ResetToDefaults();
}

std::unique_ptr<TSearchData> MakePath(std::u16string_view folder) {
    auto data = std::make_unique<TSearchData>();
    data->SearchPath = std::u16string(folder);
    data->bSubFolders = false;
    TFileFilter& f = data->fileFilter;
    f.FLT_Include = u"*.jpg; *.png";
    f.FLT_Exclude = u"*.tmp";
    f.FLT_bUseExclude = true;
    f.FLT_bUseDate = true;
    f.FLT_bUseSize = true;
    f.FLT_bUseAttr = true;
    f.FLT_DateTimeA = 45000.25;
    f.FLT_DateTimeB = 45100.123456789;
    f.FLT_DatePos = kDateBetween;
    f.FLT_SizeA = 5;
    f.FLT_SizeB = -7;
    f.FLT_SizeDegreeA = kDegreeKb;
    f.FLT_SizeDegreeB = kDegreeMb;
    f.FLT_SizePos = kSizeBeyond;
    f.FLT_Attr_IncMask = kAttrArchive | kAttrReadOnly;
    f.FLT_Attr_ExcMask = 0x80000004u; // a high bit: written as a negative number
    data->folderFilter.Add(std::u16string(folder) + u"/cache");
    data->folderFilter.Add(std::u16string(folder) + u"/tmp");
    return data;
}

void FillList(TStrList& list, std::initializer_list<const char16_t*> texts) {
    list.clear();
    for (const char16_t* text : texts)
        list.push_back(TStrItem{text});
}

// Gives every key of the file a value other than its default.
void FillNonDefault(TSettings& s, const std::u16string& base) {
    s.sptlMain = 600;
    s.sptlSearchSet = 300;
    s.sptlResults = 310;
    s.sptlSmart = 420;
    s.bShow_SetStore = false;
    s.bShow_Navigator = false;
    s.bUTF8 = false;
    s.mainPlacement = TPlacementRecord{1, 3, 6, 5, 700, 500, true, false};
    for (int w = 0; w < kPlacementWindowCount; ++w)
        s.placements[static_cast<std::size_t>(w)] =
            TPlacementRecord{2 + w, 3, 20 + w, 10 + w, 300 + w, 200 + w, true, false};
    s.b_Smart_Vert = false;
    s.bCutPaths = true;
    s.bColorViews = false;
    s.clColorSN = RgbColor(1, 2, 3);
    s.clColorSC = SystemColor(kColorHighlight);
    s.bWindowsFolder = false;
    s.bProgramFolder = false;
    s.bHiddenFolders = false;
    s.bDeleteDirectly = true;
    s.resultFont =
        TFontData{u"DejaVu Serif \u00e9", 14, RgbColor(10, 20, 30), kFontBold | kFontUnderline};

    s.ReportFolder = base + u"/reports/";
    s.bReport_Groups = false;
    s.bReport_Summary = false;
    FillList(s.reportPathHistory.items, {u"/r/one/", u"/r/two/"});
    s.LogFolder = base + u"/logs";
    s.LogFull_bUse = false;
    s.LogFull_bCreateNew = true;
    s.LogFull_bOverwrite = true;
    s.LogFull_MaxSize = 2500;
    s.LogError_bUse = false;
    s.LogError_bCreateNew = true;
    s.LogError_bOverwrite = true;
    s.LogError_MaxSize = 333;
    FillList(s.logPathHistory.items, {u"/l/one", u"/l/two", u"/l/three"});

    const struct {
        TColumnLayout layout;
        std::vector<std::int32_t> shown;
        std::int32_t sort;
    } layouts[] = {
        {TColumnLayout::SearchSet, {27, 20, 22, 21, 24, 23, 26, 25}, 22},
        {TColumnLayout::Results, {17, 16, 15, 14, 13, 12, 10}, 15},
        {TColumnLayout::Delete, {17, 16, 15, 10, 12, 13}, 16},
        {TColumnLayout::CopyMove, {17, 16, 15, 10, 12, 13}, 14},
        {TColumnLayout::Alert, {17, 16, 15, 11, 12, 13}, 13},
    };
    for (const auto& l : layouts) {
        TColumnList& columns = s.Columns(l.layout);
        columns.autosize = false;
        columns.ascending = false;
        columns.sortColumn = l.sort;
        for (std::size_t i = 0; i < columns.DefinitionCount(); ++i)
            columns.Definition(i)->width = 150 + columns.Definition(i)->id;
        columns.ClearShown();
        for (std::int32_t id : l.shown)
            ASSERT_TRUE(columns.AddShown(id));
    }
    s.ResultView = 3;

    const std::int32_t searchSetBar[] = {65, 0, 61, 68};
    const std::int32_t storeBar[] = {84, 83};
    const std::int32_t resultBar[] = {53, 0, 50, 51};
    s.Tool(TToolBarKind::SearchSet).SetCurrent(searchSetBar);
    s.Tool(TToolBarKind::SetStore).SetCurrent(storeBar);
    s.Tool(TToolBarKind::Result).SetCurrent(resultBar);
    for (int b = 0; b < kToolBarCount; ++b)
        s.Tool(static_cast<TToolBarKind>(20 + b)).SetShowCaptions(false);

    s.bNavAsc = false;
    s.NavSortCol = 4;
    s.bWashClean = false;
    s.bInstance = false;
    s.bDateSmall = false;
    s.bPathSmall = false;
    s.bNameSmall = false;
    s.bSizeSmall = false;
    s.Pos_Smart = {3, 2, 1, 0};
    s.MaxHistoryItems = 30;

    FillList(s.logFileHistory.items, {u"/logs/VDX_1.log", u"/logs/VDX_2.log"});
    FillList(s.logSearchHistory.items, {u"needle", u"hay"});
    FillList(s.deletePatternHistory.items, {u"*.bak"});
    FillList(s.smartCleanHistory.items, {u"old", u"older"});
    FillList(s.smartKeepHistory.items, {u"keep"});
    FillList(s.searchPathHistory.items, {u"/home/u/Photos", u"/home/u/photos"});
    FillList(s.copyPathHistory.items, {u"/mnt/backup"});
    FillList(s.fileFilterIncHistory.items, {u"*.jpg; *.png", u"*.*"});
    FillList(s.fileFilterExcHistory.items, {u"*.tmp"});

    s.removeEmpty.MainFolder = u"/data/empty";
    s.removeEmpty.bSubFolders = false;
    s.removeEmpty.bAllowRemoveH = true;
    s.removeEmpty.bAllowRemoveS = true;
    s.removeEmpty.bStoreLog = false;
    FillList(s.removeEmpty.IncludeList, {u"/data/empty/a", u"/data/empty/b"});
    FillList(s.removeEmpty.ExcludeList, {u"/data/empty/keep"});
    FillList(s.removeHistory.items, {u"/data/empty", u"/data/other/"});

    s.currentSet.Paths().Clear();
    s.currentSet.AddOwned(MakePath(u"/data/current one"));
    s.currentSet.AddOwned(MakePath(u"/data/\u00fcber"));
    s.storedSets.clear();
    for (int i = 1; i <= 2; ++i) {
        auto set = std::make_unique<TSearchSet>();
        set->name = u"Set " + U(std::to_string(i));
        set->AddOwned(MakePath(u"/stored/" + U(std::to_string(i)) + u"/a"));
        set->AddOwned(MakePath(u"/stored/" + U(std::to_string(i)) + u"/b"));
        s.storedSets.push_back(std::move(set));
    }
}

// ---------------------------------------------------------------------------
// Defaults

TEST(SettingsDefaults, AMissingFileGivesEveryDefaultAndTheFileIsCreatedInTheDataFolder) {
    test::TTempTree tree;
    TSettings settings;
    settings.globals = TestGlobals(tree);
    LoadSettings(settings);

    EXPECT_EQ(settings.sptlMain, 650);
    EXPECT_EQ(settings.sptlSmart, 500);
    EXPECT_TRUE(settings.bShow_SetStore);
    EXPECT_EQ(settings.mainPlacement.state, -1);
    EXPECT_EQ(settings.mainPlacement.top, 1);
    EXPECT_EQ(settings.placements[0].left, -1);
    EXPECT_EQ(settings.clColorSN, 16576994);
    EXPECT_EQ(settings.clColorSC, 15071699);
    EXPECT_EQ(S(settings.resultFont.name), "Sans");
    EXPECT_EQ(settings.resultFont.size, 10);
    EXPECT_EQ(settings.resultFont.color, SystemColor(kColorWindowText));
    EXPECT_EQ(S(settings.ReportFolder), tree.Path("docs") + "/QVD/");
    EXPECT_EQ(S(settings.LogFolder), tree.Path("docs") + "/QVD/Logs/");
    EXPECT_EQ(settings.MaxHistoryItems, 20);
    ASSERT_EQ(settings.logSearchHistory.Count(), 1u);
    EXPECT_EQ(S(settings.logSearchHistory.Text(0)), "folder");
    EXPECT_EQ(settings.currentSet.Count(), 0u);
    EXPECT_TRUE(settings.storedSets.empty());
    EXPECT_EQ(S(settings.settingsFolder), tree.Path("config") + "/Quillborne/QVD/");
    // The checks create the output folders.
    EXPECT_TRUE(FolderExists(U(tree.Path("docs/QVD/Logs"))));

    ASSERT_EQ(SaveSettings(settings), 0);
    EXPECT_TRUE(PathExists(U(tree.Path("config/Quillborne/QVD/QVD.ini"))));
    EXPECT_FALSE(PathExists(U(tree.Path("prog/QVD.ini"))));
}

TEST(SettingsDefaults, TheInitialValuesOfTheObjectAreTheDefaultsOfAMissingFile) {
    // The member initialisers and the reads each state the defaults; they
    // must agree, or a fresh object would save other values than a load of
    // nothing gives.
    test::TTempTree tree;
    TSettings fresh;
    fresh.globals = TestGlobals(tree);
    fresh.resultFont = fresh.globals.defaultFont;
    fresh.ReportFolder = fresh.DefaultReportFolder();
    fresh.LogFolder = fresh.DefaultLogFolder();
    TSettings loaded;
    MakeDefault(loaded, TestGlobals(tree));
    EXPECT_EQ(SaveText(fresh), SaveText(loaded));
}

TEST(SettingsDefaults, OutputFoldersLieBelowHomeWhenDocumentsIsUnknownAndNeverAtTheRoot) {
    struct TCase {
        const char* documents;
        const char* home;
        const char* report;
        const char* log;
    };
    const TCase cases[] = {
        {"/h/Docs", "/h", "/h/Docs/QVD/", "/h/Docs/QVD/Logs/"},
        {"", "/h", "/h/QVD/", "/h/QVD/Logs/"},
        {"", "", "", ""}, // the check at load falls back to the program folder
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.home);
        TSettings settings;
        settings.globals.documentsFolder = U(c.documents);
        settings.globals.homeFolder = U(c.home);
        EXPECT_EQ(settings.DefaultReportFolder(), U(c.report));
        EXPECT_EQ(settings.DefaultLogFolder(), U(c.log));
    }
}

TEST(SettingsDefaults, InitGlobalsDerivesTheFontsAndColoursFromTheCallersFont) {
    TSettings settings;
    InitGlobals(settings, u"Noto Sans", 11);
    const TStartupGlobals& g = settings.globals;
    EXPECT_EQ(S(g.defaultFont.name), "Noto Sans");
    EXPECT_EQ(g.linkFont.size, 11);
    EXPECT_EQ(g.linkFont.color, RgbColor(0, 0, 255));
    EXPECT_EQ(g.linkFont.style, kFontUnderline);
    EXPECT_EQ(S(settings.resultFont.name), "Noto Sans");
    EXPECT_EQ(g.selectionBack, SystemColor(kColorHighlight));
    EXPECT_EQ(g.selectionText, SystemColor(kColorHighlightText));
    EXPECT_FALSE(g.programFolder.empty()); // the test binary's own folder
}

// ---------------------------------------------------------------------------
// Round trips

TEST(SettingsRoundTrip, EveryKeyNonDefaultSurvivesSaveAndLoad) {
    test::TTempTree tree;
    const TStartupGlobals globals = TestGlobals(tree);
    TSettings defaults;
    MakeDefault(defaults, globals);
    // One default path record, to compare the path keys with.
    defaults.currentSet.AddOwned(std::make_unique<TSearchData>());
    defaults.currentSet.Path(0)->SearchPath = u"/x";
    const std::string defaultText = SaveText(defaults);

    TSettings original;
    MakeDefault(original, globals);
    FillNonDefault(original, U(tree.Root()));
    const std::string text = SaveText(original);

    // Every key the defaults write holds another value here (SearchPath
    // aside), so a key that load or save skipped would show below.
    std::map<std::pair<std::string, std::string>, std::string> defaultValues;
    for (const TLine& line : ParseLines(defaultText))
        defaultValues[{line.section, line.key}] = line.value;
    for (const TLine& line : ParseLines(text)) {
        const auto found = defaultValues.find({line.section, line.key});
        if (found == defaultValues.end())
            continue;
        if (line.key != "SearchPath") {
            EXPECT_NE(line.value, found->second) << line.section << " / " << line.key;
        }
        defaultValues.erase(found);
    }
    // Only the last shown position of the layouts that show one column less.
    std::vector<std::string> unmatched;
    for (const auto& [sectionAndKey, value] : defaultValues)
        unmatched.push_back(sectionAndKey.second);
    EXPECT_EQ(unmatched,
              (std::vector<std::string>{"CPY_clm_6", "OP_clm_6", "SA_clm_6", "SG_clm_7"}));

    TSettings loaded;
    MakeDefault(loaded, globals);
    LoadText(loaded, text);
    EXPECT_EQ(SaveText(loaded), text);

    // A few values by field, so a key read into the wrong field shows too.
    EXPECT_EQ(loaded.sptlResults, 310);
    EXPECT_EQ(loaded.placements[static_cast<int>(TPlacementWindow::Variables)].height, 205);
    EXPECT_EQ(S(loaded.resultFont.name), "DejaVu Serif \u00e9");
    EXPECT_EQ(loaded.resultFont.style, kFontBold | kFontUnderline);
    EXPECT_EQ(loaded.Columns(TColumnLayout::Results).ResultsSortKey(), 4);
    EXPECT_EQ(loaded.Columns(TColumnLayout::Results).ShownCount(), 7u);
    EXPECT_FALSE(loaded.Columns(TColumnLayout::Results).IsShown(kColGroup));
    EXPECT_EQ(loaded.ResultView, 3);
    EXPECT_EQ(loaded.Tool(TToolBarKind::Result).Current(),
              (std::vector<std::int32_t>{53, 0, 50, 51}));
    EXPECT_EQ(loaded.Pos_Smart, (std::array<std::int32_t, 4>{3, 2, 1, 0}));
    EXPECT_EQ(loaded.removeEmpty.IncludeList.size(), 2u);
    ASSERT_EQ(loaded.currentSet.Count(), 2u);
    const TSearchData& path = *loaded.currentSet.Path(1);
    EXPECT_EQ(S(path.SearchPath), "/data/\u00fcber");
    EXPECT_FALSE(path.bSubFolders);
    EXPECT_EQ(path.fileFilter.FLT_DateTimeB, 45100.123456789);
    EXPECT_EQ(path.fileFilter.FLT_SizeB, -7);
    EXPECT_EQ(path.fileFilter.FLT_Attr_ExcMask, 0x80000004u);
    EXPECT_EQ(path.folderFilter.Count(), 2u);
    ASSERT_EQ(loaded.storedSets.size(), 2u);
    EXPECT_EQ(S(loaded.storedSets[1]->name), "Set 2");
    EXPECT_EQ(S(loaded.storedSets[1]->Path(1)->SearchPath), "/stored/2/b");
}

TEST(SettingsRoundTrip, SectionsAndKeysAreWrittenInTheirOrder) {
    test::TTempTree tree;
    TSettings settings;
    MakeDefault(settings, TestGlobals(tree));
    FillNonDefault(settings, U(tree.Root()));
    const std::string text = SaveText(settings);

    const std::vector<std::string> expectedSections = {
        "MainSection",          "ReportSection",       "LogSection",
        "LV_Columns",           "SG_Columns",          "OP_Columns",
        "CPY_Columns",          "SA_Columns",          "tlbSearchSetSection",
        "tlbSetStoreSection",   "tlbResultSection",    "NavigatorSection",
        "SmartSection",         "HistorySection",      "LogHistory",
        "DeletePatternHistory", "SmartCleanHistory",   "SmartKeepHistory",
        "SearchPathHistory",    "CopyPathHistory",     "FileFilterIncHistory",
        "FileFilterExcHistory", "RemoveEmptySection",  "CurrentSetSection",
        "CurrentSearchData_1",  "CurrentSearchData_2", "SetStoreSection",
        "StoreSet_1",           "StoreSet_1_1",        "StoreSet_1_2",
        "StoreSet_2",           "StoreSet_2_1",        "StoreSet_2_2"};
    EXPECT_EQ(Sections(text), expectedSections);

    std::vector<std::string> mainKeys = {"sptlMain",  "sptlSearchSet",  "sptlResults",
                                         "sptlSmart", "bShow_SetStore", "bShow_Navigator",
                                         "bUTF8"};
    const char* const suffixes[] = {"_Num", "_State", "_Top", "_Left", "_Width", "_Height"};
    mainKeys.insert(mainKeys.end(), {"b_Main_moved", "b_Main_Primary"});
    for (const char* suffix : suffixes)
        mainKeys.push_back(std::string("w_Main") + suffix);
    for (const char* w : {"Alert", "CopyTo", "Delete", "LogViewer", "Smart", "Variables"}) {
        mainKeys.push_back(std::string("b_") + w + "_moved");
        mainKeys.push_back(std::string("b_") + w + "_Main");
        for (const char* suffix : suffixes)
            mainKeys.push_back(std::string("w_") + w + suffix);
    }
    mainKeys.insert(mainKeys.end(),
                    {"b_Smart_Vert", "bCutPaths", "bColorViews", "clColorSN", "clColorSC",
                     "bWindowsFolder", "bProgramFolder", "bHiddenFolders", "bDeleteDirectly",
                     "ResultFontName", "ResultFontSize", "ResultFontColor", "ResultFontStyle"});
    EXPECT_EQ(KeysOf(text, "MainSection"), mainKeys);

    EXPECT_EQ(KeysOf(text, "LogSection"),
              (std::vector<std::string>{
                  "LogFolder", "LogFull_bUse", "LogFull_bCreateNew", "LogFull_bOverwrite",
                  "LogFull_MaxSize", "LogError_bUse", "LogError_bCreateNew", "LogError_bOverwrite",
                  "LogError_MaxSize", "LogPathCount", "LogPath_1", "LogPath_2", "LogPath_3"}));
    EXPECT_EQ(KeysOf(text, "LogHistory"),
              (std::vector<std::string>{"LogHistoryCount", "Logfile_1", "Logfile_2",
                                        "SearchListCount", "Search_1", "Search_2"}));
    EXPECT_EQ(KeysOf(text, "RemoveEmptySection"),
              (std::vector<std::string>{"MainFolder", "bSubFolders", "bAllowRemoveH",
                                        "bAllowRemoveS", "bStoreLog", "IncludeListCount",
                                        "Include_1", "Include_2", "ExcludeListCount", "Exclude_1",
                                        "RemoveHistoryCount", "HistoryLine_1", "HistoryLine_2"}));
    EXPECT_EQ(KeysOf(text, "StoreSet_2"), (std::vector<std::string>{"SetName", "PathCount"}));
    EXPECT_EQ(KeysOf(text, "StoreSet_2_1"),
              (std::vector<std::string>{
                  "SearchPath",       "bSubFolders",      "FLT_Include",       "FLT_Exclude",
                  "FLT_bUseExclude",  "FLT_bUseDate",     "FLT_bUseSize",      "FLT_bUseAttr",
                  "FLT_DateTimeA",    "FLT_DateTimeB",    "FLT_DatePos",       "FLT_SizeA",
                  "FLT_SizeB",        "FLT_SizeDegreeA",  "FLT_SizeDegreeB",   "FLT_SizePos",
                  "FLT_Attr_IncMask", "FLT_Attr_ExcMask", "FolderFilterCount", "FolderFilter_1",
                  "FolderFilter_2"}));
}

TEST(SettingsRoundTrip, AFileWrittenByOneRunIsWrittenByteForByteByTheNext) {
    test::TTempTree tree;
    const TStartupGlobals globals = TestGlobals(tree);
    const std::string file = tree.Path("config/Quillborne/QVD/QVD.ini");
    {
        TSettings first;
        MakeDefault(first, globals);
        FillNonDefault(first, U(tree.Root()));
        ASSERT_EQ(SaveSettings(first), 0);
    }
    const std::string written = ReadFileBytes(file);
    ASSERT_FALSE(written.empty());
    for (int run = 0; run < 2; ++run) {
        TSettings next;
        next.globals = globals;
        LoadSettings(next);
        ASSERT_EQ(SaveSettings(next), 0);
        EXPECT_EQ(ReadFileBytes(file), written) << "run " << run;
    }
}

TEST(SettingsRoundTrip, ValuesTheFileCannotHoldAreWrittenSoTheNextLoadReadsTheSame) {
    test::TTempTree tree;
    TSettings settings;
    MakeDefault(settings, TestGlobals(tree));
    // Outer blanks are trimmed by every load; a line break would split the
    // line (a Linux folder name may hold one).
    settings.removeEmpty.MainFolder = u"  /data/x  ";
    FillList(settings.copyPathHistory.items, {u"/a\nb", u" /c ", u"   ", u"/d"});
    settings.currentSet.AddOwned(MakePath(u"/broken\nname"));
    settings.currentSet.AddOwned(MakePath(u"/fine"));
    auto set = std::make_unique<TSearchSet>();
    set->name = u"only broken";
    set->AddOwned(MakePath(u"/x\r"));
    settings.storedSets.push_back(std::move(set));

    const std::string text = SaveText(settings);
    EXPECT_NE(text.find("MainFolder=/data/x\r\n"), std::string::npos);
    EXPECT_NE(text.find("CopyPathCount=2\r\nCopyPath_1=/c\r\nCopyPath_2=/d\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("CurrentSetCount=1\r\n"), std::string::npos);
    EXPECT_NE(text.find("SetStoreCount=0\r\n"), std::string::npos);

    TSettings loaded;
    MakeDefault(loaded, TestGlobals(tree));
    LoadText(loaded, text);
    EXPECT_EQ(SaveText(loaded), text);
    ASSERT_EQ(loaded.currentSet.Count(), 1u);
    EXPECT_EQ(S(loaded.currentSet.Path(0)->SearchPath), "/fine");
}

// ---------------------------------------------------------------------------
// Bad values

TEST(SettingsBadValues, EveryBadValueFallsBackToItsDefault) {
    test::TTempTree tree;
    TSettings settings;
    MakeDefault(settings, TestGlobals(tree));
    LoadText(settings, "[MainSection]\r\n"
                       "sptlMain=1001\r\n"
                       "sptlSearchSet=-1\r\n"
                       "bShow_SetStore=2\r\n"
                       "bUTF8=yes\r\n"
                       "bCutPaths=1\r\n"
                       "clColorSN=0x12345678\r\n"
                       "clColorSC=-16777203\r\n"
                       "ResultFontSize=0\r\n"
                       "ResultFontStyle=0x35\r\n"
                       "[LogSection]\r\n"
                       "LogFull_MaxSize=-5\r\n"
                       "[SG_Columns]\r\n"
                       "ResultView=6\r\n"
                       "[SmartSection]\r\n"
                       "Pos_Smart0=1\r\nPos_Smart1=1\r\nPos_Smart2=2\r\nPos_Smart3=3\r\n"
                       "[CurrentSetSection]\r\nCurrentSetCount=1\r\n"
                       "[CurrentSearchData_1]\r\n"
                       "SearchPath=/p\r\n"
                       "bSubFolders=7\r\n"
                       "FLT_DatePos=4\r\n"
                       "FLT_SizePos=-1\r\n"
                       "FLT_DateTimeA=1e300\r\n"
                       "FLT_DateTimeB=abc\r\n");
    EXPECT_EQ(settings.sptlMain, 650);
    EXPECT_EQ(settings.sptlSearchSet, 250);
    EXPECT_TRUE(settings.bShow_SetStore);
    EXPECT_TRUE(settings.bUTF8);
    EXPECT_TRUE(settings.bCutPaths);
    EXPECT_EQ(settings.clColorSN, 16576994);
    EXPECT_EQ(settings.clColorSC, SystemColor(kColorHighlight)); // -16777203 is a system colour
    EXPECT_EQ(settings.resultFont.size, 10);
    EXPECT_EQ(settings.resultFont.style, 5); // only the four style bits
    EXPECT_EQ(settings.LogFull_MaxSize, 1000);
    EXPECT_EQ(settings.ResultView, 0);
    EXPECT_EQ(settings.Pos_Smart, (std::array<std::int32_t, 4>{0, 1, 2, 3}));
    ASSERT_EQ(settings.currentSet.Count(), 1u);
    const TSearchData& path = *settings.currentSet.Path(0);
    EXPECT_TRUE(path.bSubFolders);
    EXPECT_EQ(path.fileFilter.FLT_DatePos, 0);
    EXPECT_EQ(path.fileFilter.FLT_SizePos, 0);
    const double now = NowDateTime();
    EXPECT_NEAR(path.fileFilter.FLT_DateTimeA, now, 1.0 / 24);
    EXPECT_NEAR(path.fileFilter.FLT_DateTimeB, now, 1.0 / 24);
}

TEST(SettingsBadValues, ADateWrittenWithACommaReadsAsNowUnderAPointLocale) {
    TSettings settings;
    const double before = NowDateTime();
    LoadText(settings, "[CurrentSetSection]\r\nCurrentSetCount=1\r\n"
                       "[CurrentSearchData_1]\r\nSearchPath=/p\r\n"
                       "FLT_DateTimeA=45000,5\r\nFLT_DateTimeB=45000.5\r\n");
    const double after = NowDateTime();
    ASSERT_EQ(settings.currentSet.Count(), 1u);
    const TFileFilter& f = settings.currentSet.Path(0)->fileFilter;
    EXPECT_GE(f.FLT_DateTimeA, before);
    EXPECT_LE(f.FLT_DateTimeA, after);
    EXPECT_EQ(f.FLT_DateTimeB, 45000.5);
}

TEST(SettingsBadValues, HugeCountsInADamagedFileDoNotStallTheLoad) {
    TSettings settings;
    LoadText(settings, "[HistorySection]\r\nMaxHistoryItems=2000000000\r\n"
                       "[SearchPathHistory]\r\nSearchPathCount=2000000000\r\nSearchPath_1=/a\r\n"
                       "[CurrentSetSection]\r\nCurrentSetCount=2147483647\r\n"
                       "[SetStoreSection]\r\nSetStoreCount=-3\r\n");
    EXPECT_EQ(settings.searchPathHistory.Count(), 1u);
    EXPECT_EQ(settings.currentSet.Count(), 0u);
    EXPECT_TRUE(settings.storedSets.empty());
    EXPECT_EQ(settings.MaxHistoryItems, 2000000000); // kept as read, written back unchanged
}

// ---------------------------------------------------------------------------
// History lists

std::vector<std::string> Texts(const TStrList& list) {
    std::vector<std::string> texts;
    for (const TStrItem& item : list)
        texts.push_back(S(item.text));
    return texts;
}

TEST(SettingsHistory, LoadingDropsRepeatsByEachListsRule) {
    TSettings settings;
    LoadText(
        settings,
        "[SearchPathHistory]\r\nSearchPathCount=4\r\n"
        "SearchPath_1=/home/u/Photos\r\nSearchPath_2=/home/u/photos\r\n"
        "SearchPath_3=  /home/u/Photos  \r\nSearchPath_4=/home/u/Photos?\r\n"
        "[FileFilterIncHistory]\r\nFileFilterCount=4\r\n"
        "FileFilter_1=*.doc\r\nFileFilter_2=*.DOC;\r\nFileFilter_3=*.txt\r\nFileFilter_4=*.doc?\r\n"
        "[DeletePatternHistory]\r\nDeletePatternCount=3\r\n"
        "DeletePattern_1=Temp\r\nDeletePattern_2=TEMP?\r\nDeletePattern_3=temp;\r\n"
        "[ReportSection]\r\nReportPathCount=2\r\nReportPath_1=/r\r\nReportPath_2=/r?\r\n"
        "[RemoveEmptySection]\r\nRemoveHistoryCount=3\r\n"
        "HistoryLine_1=/d\r\nHistoryLine_2=/d?\r\nHistoryLine_3=/d/\r\n");
    // Folders compare exactly (two folders on Linux), trimmed, one "?" ignored.
    EXPECT_EQ(Texts(settings.searchPathHistory.items),
              (std::vector<std::string>{"/home/u/Photos", "/home/u/photos"}));
    // Masks ignore ASCII case and one trailing ";", not "?".
    EXPECT_EQ(Texts(settings.fileFilterIncHistory.items),
              (std::vector<std::string>{"*.doc", "*.txt", "*.doc?"}));
    EXPECT_EQ(Texts(settings.deletePatternHistory.items),
              (std::vector<std::string>{"Temp", "temp;"}));
    // Report and log folders ignore no character at load.
    EXPECT_EQ(Texts(settings.reportPathHistory.items), (std::vector<std::string>{"/r", "/r?"}));
    // The start-folder history ignores "?" at load, "/" only when adding.
    EXPECT_EQ(Texts(settings.removeHistory.items), (std::vector<std::string>{"/d", "/d/"}));
}

TEST(SettingsHistory, AbsentAndEmptyItemsAreSkippedAndTheOrderKept) {
    TSettings settings;
    LoadText(settings, "[CopyPathHistory]\r\nCopyPathCount=5\r\n"
                       "CopyPath_1=/one\r\nCopyPath_3=\r\nCopyPath_4=/four\r\nCopyPath_5=/five\r\n"
                       "CopyPath_6=/six\r\n");
    EXPECT_EQ(Texts(settings.copyPathHistory.items),
              (std::vector<std::string>{"/one", "/four", "/five"}));
}

TEST(SettingsHistory, ListsAreCutToTheirLimitAtLoad) {
    std::string text = "[HistorySection]\r\nMaxHistoryItems=3\r\n"
                       "[LogHistory]\r\nLogHistoryCount=5\r\n";
    for (int i = 1; i <= 5; ++i)
        text += "Logfile_" + std::to_string(i) + "=/logs/" + std::to_string(i) + "\r\n";
    // Repeats before the limit do not use up places.
    text += "[SmartKeepHistory]\r\nSmartMarkCount=6\r\n"
            "SmartFind_1=a\r\nSmartFind_2=A\r\nSmartFind_3=b\r\nSmartFind_4=a\r\n"
            "SmartFind_5=c\r\nSmartFind_6=d\r\n";
    TSettings settings;
    LoadText(settings, text);
    EXPECT_EQ(Texts(settings.smartKeepHistory.items), (std::vector<std::string>{"a", "b", "c"}));
    // The log file list keeps its own limit of 400.
    EXPECT_EQ(settings.logFileHistory.Count(), 5u);
}

TEST(SettingsHistory, AZeroOrNegativeLimitEmptiesEveryListAtLoad) {
    for (const char* limit : {"0", "-4"}) {
        SCOPED_TRACE(limit);
        TSettings settings;
        LoadText(settings, std::string("[HistorySection]\r\nMaxHistoryItems=") + limit +
                               "\r\n"
                               "[SearchPathHistory]\r\nSearchPathCount=1\r\nSearchPath_1=/a\r\n"
                               "[LogSection]\r\nLogPathCount=1\r\nLogPath_1=/l\r\n"
                               "[RemoveEmptySection]\r\nIncludeListCount=1\r\nInclude_1=/i\r\n"
                               "ExcludeListCount=1\r\nExclude_1=/e\r\n"
                               "RemoveHistoryCount=1\r\nHistoryLine_1=/h\r\n"
                               "[LogHistory]\r\nSearchListCount=1\r\nSearch_1=needle\r\n");
        EXPECT_TRUE(settings.searchPathHistory.items.empty());
        EXPECT_TRUE(settings.logPathHistory.items.empty());
        EXPECT_TRUE(settings.removeEmpty.IncludeList.empty());
        EXPECT_TRUE(settings.removeEmpty.ExcludeList.empty());
        EXPECT_TRUE(settings.removeHistory.items.empty());
        // The find list has its own limit; it keeps its entry.
        EXPECT_EQ(Texts(settings.logSearchHistory.items), (std::vector<std::string>{"needle"}));

        settings.AddToHistory(settings.copyPathHistory, u"/new");
        EXPECT_TRUE(settings.copyPathHistory.items.empty());
    }
}

TEST(SettingsHistory, AnEmptyFindListStartsWithFolder) {
    TSettings settings;
    LoadText(settings, "[LogHistory]\r\nSearchListCount=1\r\nSearch_1=\r\n");
    EXPECT_EQ(Texts(settings.logSearchHistory.items), (std::vector<std::string>{"folder"}));
}

TEST(SettingsHistory, AddingPutsTheTextInFrontWithTheAddingRule) {
    TSettings settings;
    settings.MaxHistoryItems = 3;
    const struct {
        THistory TSettings::*history;
        std::vector<const char16_t*> added; // oldest first
        std::vector<std::string> expected;
    } cases[] = {
        // The start folder ignores one trailing "/" when adding.
        {&TSettings::removeHistory, {u"/data", u"/data/"}, {"/data/"}},
        // Delete patterns ignore "?" and case.
        {&TSettings::deletePatternHistory, {u"*.TMP?", u"*.tmp"}, {"*.tmp"}},
        // Report folders ignore nothing and tell case apart.
        {&TSettings::reportPathHistory, {u"/r/", u"/r", u"/R"}, {"/R", "/r", "/r/"}},
        // Cut to MaxHistoryItems.
        {&TSettings::copyPathHistory, {u"/1", u"/2", u"/3", u"/4"}, {"/4", "/3", "/2"}},
    };
    for (const auto& c : cases) {
        THistory& history = settings.*c.history;
        history.items.clear();
        for (const char16_t* text : c.added)
            settings.AddToHistory(history, text);
        EXPECT_EQ(Texts(history.items), c.expected);
    }
    // The log file list has its fixed limit of 400, whatever MaxHistoryItems says.
    settings.logFileHistory.items.clear();
    for (int i = 0; i < 399; ++i)
        settings.logFileHistory.items.push_back(TStrItem{U("/logs/" + std::to_string(i))});
    settings.AddToHistory(settings.logFileHistory, u"/logs/new");
    EXPECT_EQ(settings.logFileHistory.Count(), 400u);
    settings.AddToHistory(settings.logFileHistory, u"/logs/newer");
    EXPECT_EQ(settings.logFileHistory.Count(), 400u);
    EXPECT_EQ(S(settings.logFileHistory.Text(0)), "/logs/newer");
    EXPECT_EQ(S(settings.logFileHistory.Text(399)), "/logs/397");
}

// ---------------------------------------------------------------------------
// Search sets

TEST(SettingsSets, RecordsAndSetsAreDroppedByTheirRules) {
    TSettings settings;
    LoadText(settings, "[CurrentSetSection]\r\nCurrentSetCount=3\r\n"
                       "[CurrentSearchData_1]\r\nSearchPath=/one\r\n"
                       "[CurrentSearchData_2]\r\nSearchPath=\r\nbSubFolders=0\r\n"
                       "[CurrentSearchData_3]\r\nSearchPath=/three\r\n"
                       "FolderFilterCount=4\r\nFolderFilter_1=/three/b\r\nFolderFilter_2=\r\n"
                       "FolderFilter_3=/three/a\r\nFolderFilter_4=/three/b\r\n"
                       "[SetStoreSection]\r\nSetStoreCount=5\r\n"
                       "[StoreSet_1]\r\nSetName=No paths\r\nPathCount=0\r\n"
                       "[StoreSet_1_1]\r\nSearchPath=/never\r\n"
                       "[StoreSet_2]\r\nSetName=\r\nPathCount=1\r\n"
                       "[StoreSet_2_1]\r\nSearchPath=/never\r\n"
                       "[StoreSet_3]\r\nSetName=All blank\r\nPathCount=1\r\n"
                       "[StoreSet_3_1]\r\nSearchPath=   \r\n"
                       "[StoreSet_4]\r\nSetName=Kept\r\nPathCount=3\r\n"
                       "[StoreSet_4_1]\r\nSearchPath=/k1\r\n"
                       "[StoreSet_4_3]\r\nSearchPath=/k3\r\n"
                       "[StoreSet_5]\r\nPathCount=1\r\n"
                       "[StoreSet_5_1]\r\nSearchPath=/never\r\n");
    ASSERT_EQ(settings.currentSet.Count(), 2u);
    EXPECT_EQ(S(settings.currentSet.Path(0)->SearchPath), "/one");
    const TSearchData& three = *settings.currentSet.Path(1);
    EXPECT_EQ(S(three.SearchPath), "/three");
    // A missing include key reads as empty, which passes every name.
    EXPECT_TRUE(three.fileFilter.FLT_Include.empty());
    // The excluded folders are normalised: blanks and repeats gone, sorted.
    ASSERT_EQ(three.folderFilter.Count(), 2u);
    EXPECT_EQ(S(three.folderFilter.Text(0)), "/three/a");
    EXPECT_EQ(S(three.folderFilter.Text(1)), "/three/b");

    // "All blank" stays although none of its records could be read.
    ASSERT_EQ(settings.storedSets.size(), 2u);
    EXPECT_EQ(S(settings.storedSets[0]->name), "All blank");
    EXPECT_EQ(settings.storedSets[0]->Count(), 0u);
    EXPECT_EQ(S(settings.storedSets[1]->name), "Kept");
    ASSERT_EQ(settings.storedSets[1]->Count(), 2u);
    EXPECT_EQ(S(settings.storedSets[1]->Path(1)->SearchPath), "/k3");

    // Written back, the set without a readable path is left out and the
    // others are renumbered from 1.
    const std::string text = SaveText(settings);
    EXPECT_EQ(KeysOf(text, "StoreSet_1"), (std::vector<std::string>{"SetName", "PathCount"}));
    EXPECT_NE(text.find("[StoreSet_1]\r\nSetName=Kept\r\nPathCount=2\r\n"), std::string::npos);
    EXPECT_EQ(text.find("StoreSet_2"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Where the file is

class TSettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_globals = TestGlobals(m_tree);
        m_tree.Dir("prog");
    }

    void WriteIni(const std::string& rel, int sptlMain) {
        m_tree.File(rel, "[MainSection]\r\nsptlMain=" + std::to_string(sptlMain) + "\r\n");
    }

    int LoadedSptlMain() {
        TSettings settings;
        settings.globals = m_globals;
        LoadSettings(settings);
        m_folder = S(settings.settingsFolder);
        return settings.sptlMain;
    }

    test::TTempTree m_tree;
    TStartupGlobals m_globals;
    std::string m_folder;
};

TEST_F(TSettingsFiles, AFileOnlyBesideTheProgramIsReadOnceThenTheDataFolderWins) {
    WriteIni("prog/QVD.ini", 111);
    EXPECT_EQ(LoadedSptlMain(), 111);
    EXPECT_EQ(m_folder, m_tree.Path("prog") + "/");

    TSettings settings;
    settings.globals = m_globals;
    LoadSettings(settings);
    settings.sptlMain = 222;
    ASSERT_EQ(SaveSettings(settings), 0);
    EXPECT_TRUE(PathExists(U(m_tree.Path("config/Quillborne/QVD/QVD.ini"))));
    EXPECT_EQ(LoadedSptlMain(), 222);
    EXPECT_EQ(m_folder, m_tree.Path("config") + "/Quillborne/QVD/");
}

TEST_F(TSettingsFiles, WithBothFilesTheDataFoldersIsRead) {
    WriteIni("prog/QVD.ini", 111);
    WriteIni("config/Quillborne/QVD/QVD.ini", 333);
    EXPECT_EQ(LoadedSptlMain(), 333);
}

TEST_F(TSettingsFiles, AnUnusableDataFolderSendsReadingAndWritingToTheProgramFolder) {
    // A file where the data folder's parent should be: it can be neither
    // found nor created.
    m_tree.File("config", "not a folder");
    WriteIni("prog/QVD.ini", 444);
    EXPECT_EQ(LoadedSptlMain(), 444);
    EXPECT_EQ(m_folder, m_tree.Path("prog") + "/");

    TSettings settings;
    settings.globals = m_globals;
    settings.sptlMain = 555;
    ASSERT_EQ(SaveSettings(settings), 0);
    EXPECT_EQ(LoadedSptlMain(), 555);
}

TEST_F(TSettingsFiles, OutputFoldersThatCannotBeCreatedFallBackToTheProgramFolder) {
    m_tree.File("blocker", "a file");
    m_tree.File("config/Quillborne/QVD/QVD.ini",
                "[ReportSection]\r\nReportFolder=" + m_tree.Path("blocker/reports/") +
                    "\r\n[LogSection]\r\nLogFolder=" + m_tree.Path("blocker/logs") + "\r\n");
    TSettings settings;
    settings.globals = m_globals;
    LoadSettings(settings);
    EXPECT_EQ(S(settings.ReportFolder), m_tree.Path("prog") + "/");
    EXPECT_EQ(S(settings.LogFolder), m_tree.Path("prog") + "/Logs");
    EXPECT_TRUE(FolderExists(U(m_tree.Path("prog/Logs"))));
}

TEST_F(TSettingsFiles, OutputFoldersAreCheckedExpandedAndCreatedButKeptAsWritten) {
    ::setenv("VDX_SETTINGS_TEST_BASE", m_tree.Root().c_str(), 1);
    m_tree.File("config/Quillborne/QVD/QVD.ini",
                "[ReportSection]\r\nReportFolder=%VDX_SETTINGS_TEST_BASE%/out/reports/\r\n"
                "[LogSection]\r\nLogFolder=%VDX_SETTINGS_TEST_BASE%/out/logs\r\n");
    TSettings settings;
    settings.globals = m_globals;
    LoadSettings(settings);
    EXPECT_EQ(S(settings.ReportFolder), "%VDX_SETTINGS_TEST_BASE%/out/reports/");
    EXPECT_EQ(S(settings.LogFolder), "%VDX_SETTINGS_TEST_BASE%/out/logs");
    EXPECT_TRUE(FolderExists(U(m_tree.Path("out/reports"))));
    EXPECT_TRUE(FolderExists(U(m_tree.Path("out/logs"))));
    ::unsetenv("VDX_SETTINGS_TEST_BASE");
}

} // namespace
} // namespace vdx
