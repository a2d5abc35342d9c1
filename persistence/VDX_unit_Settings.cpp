#include "persistence/VDX_unit_Settings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

#include "persistence/KLX_unit_Ini.h"
#include "persistence/VDX_unit_IniValues.h"
#include "platform/VDX_unit_SpecialFolders.h"

namespace vdx {

namespace {

// Day counts of 0001-01-01 and 9999-12-31: a date outside them is damage.
constexpr double kFirstDate = -693593.0;
constexpr double kLastDate = 2958466.0;

constexpr std::int32_t kMaxSplitterRatio = 1000;
// The most path sections one load looks for, over the current set and every
// stored set together: far beyond any real file, it keeps a file whose set
// and path counts were damaged from turning the load into billions of
// lookups.
constexpr std::int64_t kMaxPathLookups = 1'000'000;
constexpr int kSmartRuleCount = 4;

std::u16string Ascii(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

// A section of the written file: AddSection takes the name as UTF-8.
int AddSection(TKLXIni& ini, std::string_view name) {
    return ini.AddSection(name);
}

double ReadDate(const TKLXIni& ini, int section, const TIniKey& key, double defaultValue) {
    const double value = ini.ReadFloat(section, key, defaultValue);
    return std::isfinite(value) && value >= kFirstDate && value < kLastDate ? value : defaultValue;
}

// The four smart-marking rule positions must name each rule once; anything
// else would leave a rule out of the order, so the defaults apply.
void ReadSmartOrder(std::array<std::int32_t, 4>& order, const TKLXIni& ini, int section) {
    std::array<std::int32_t, 4> read{};
    std::array<bool, kSmartRuleCount> seen{};
    std::u16string key;
    bool valid = true;
    for (int i = 0; i < kSmartRuleCount; ++i) {
        read[static_cast<std::size_t>(i)] =
            ini.ReadInteger(section, NumberedKey(key, u"Pos_Smart", i), i);
        const std::int32_t rule = read[static_cast<std::size_t>(i)];
        if (rule < 0 || rule >= kSmartRuleCount || seen[static_cast<std::size_t>(rule)]) {
            valid = false;
            break;
        }
        seen[static_cast<std::size_t>(rule)] = true;
    }
    order = valid ? read : std::array<std::int32_t, 4>{0, 1, 2, 3};
}

// ---- Search path records ----

// The names of a search path record, prepared once: a large file holds
// thousands of records, so the names are not converted for every lookup.
struct TSearchPathKeys {
    TIniKey SearchPath{u"SearchPath"};
    TIniKey bSubFolders{u"bSubFolders"};
    TIniKey FLT_Include{u"FLT_Include"};
    TIniKey FLT_Exclude{u"FLT_Exclude"};
    TIniKey FLT_bUseExclude{u"FLT_bUseExclude"};
    TIniKey FLT_bUseDate{u"FLT_bUseDate"};
    TIniKey FLT_bUseSize{u"FLT_bUseSize"};
    TIniKey FLT_bUseAttr{u"FLT_bUseAttr"};
    TIniKey FLT_DateTimeA{u"FLT_DateTimeA"};
    TIniKey FLT_DateTimeB{u"FLT_DateTimeB"};
    TIniKey FLT_DatePos{u"FLT_DatePos"};
    TIniKey FLT_SizeA{u"FLT_SizeA"};
    TIniKey FLT_SizeB{u"FLT_SizeB"};
    TIniKey FLT_SizeDegreeA{u"FLT_SizeDegreeA"};
    TIniKey FLT_SizeDegreeB{u"FLT_SizeDegreeB"};
    TIniKey FLT_SizePos{u"FLT_SizePos"};
    TIniKey FLT_Attr_IncMask{u"FLT_Attr_IncMask"};
    TIniKey FLT_Attr_ExcMask{u"FLT_Attr_ExcMask"};
    TIniKey FolderFilterCount{u"FolderFilterCount"};
};

const TSearchPathKeys& SearchPathKeys() {
    static const TSearchPathKeys keys;
    return keys;
}

// The record of one section, or nullptr when its trimmed SearchPath is empty
// (a missing section included).
std::unique_ptr<TSearchData> ReadSearchPath(const TKLXIni& ini, int section, std::u16string& key) {
    if (section < 0)
        return nullptr;
    const TSearchPathKeys& k = SearchPathKeys();
    std::u16string path = ini.ReadString(section, k.SearchPath, u"");
    if (std::all_of(path.begin(), path.end(), [](char16_t c) { return c <= u' '; }))
        return nullptr;
    auto data = std::make_unique<TSearchData>();
    data->SearchPath = std::move(path);
    data->bSubFolders = ReadBool(ini, section, k.bSubFolders, true);
    TFileFilter& f = data->fileFilter;
    f.FLT_Include = ini.ReadString(section, k.FLT_Include, u"");
    f.FLT_Exclude = ini.ReadString(section, k.FLT_Exclude, u"");
    f.FLT_bUseExclude = ReadBool(ini, section, k.FLT_bUseExclude, false);
    f.FLT_bUseDate = ReadBool(ini, section, k.FLT_bUseDate, false);
    f.FLT_bUseSize = ReadBool(ini, section, k.FLT_bUseSize, false);
    f.FLT_bUseAttr = ReadBool(ini, section, k.FLT_bUseAttr, false);
    // The filter was created now, so its dates hold the current date and time.
    f.FLT_DateTimeA = ReadDate(ini, section, k.FLT_DateTimeA, f.FLT_DateTimeA);
    f.FLT_DateTimeB = ReadDate(ini, section, k.FLT_DateTimeB, f.FLT_DateTimeB);
    f.FLT_DatePos =
        ReadRanged(ini, section, k.FLT_DatePos, kDateOlderThanA, kDateOlderThanA, kDateBeyond);
    f.FLT_SizeA = ini.ReadInteger(section, k.FLT_SizeA, 0);
    f.FLT_SizeB = ini.ReadInteger(section, k.FLT_SizeB, 0);
    f.FLT_SizeDegreeA = ini.ReadInteger(section, k.FLT_SizeDegreeA, kDegreeBytes);
    f.FLT_SizeDegreeB = ini.ReadInteger(section, k.FLT_SizeDegreeB, kDegreeBytes);
    f.FLT_SizePos =
        ReadRanged(ini, section, k.FLT_SizePos, kSizeMoreThanA, kSizeMoreThanA, kSizeBeyond);
    f.FLT_Attr_IncMask =
        static_cast<std::uint32_t>(ini.ReadInteger(section, k.FLT_Attr_IncMask, 0));
    f.FLT_Attr_ExcMask =
        static_cast<std::uint32_t>(ini.ReadInteger(section, k.FLT_Attr_ExcMask, 0));
    const std::int32_t folderCount = ReadCount(ini, section, k.FolderFilterCount);
    // A damaged count can be far above the keys present: reserve only for
    // what a real file holds.
    data->folderFilter.Reserve(static_cast<std::size_t>(std::min(folderCount, 64)));
    for (std::int32_t n = 1; n <= folderCount; ++n)
        data->folderFilter.AddOwned(
            ini.ReadString(section, NumberedKey(key, u"FolderFilter_", n), u""));
    data->folderFilter.Normalize();
    return data;
}

// True when the record is written: a path that would be stored blank (a
// folder name holding a line break) could not be read back, so it is left
// out rather than written as a record the next load discards.
bool IsStorablePath(const TSearchData& data) {
    return !StoredText(data.SearchPath).empty();
}

void WriteSearchPath(const TSearchData& data, TKLXIni& ini, int section, std::u16string& key) {
    const TFileFilter& f = data.fileFilter;
    WriteText(ini, section, u"SearchPath", data.SearchPath);
    WriteBool(ini, section, u"bSubFolders", data.bSubFolders);
    WriteText(ini, section, u"FLT_Include", f.FLT_Include);
    WriteText(ini, section, u"FLT_Exclude", f.FLT_Exclude);
    WriteBool(ini, section, u"FLT_bUseExclude", f.FLT_bUseExclude);
    WriteBool(ini, section, u"FLT_bUseDate", f.FLT_bUseDate);
    WriteBool(ini, section, u"FLT_bUseSize", f.FLT_bUseSize);
    WriteBool(ini, section, u"FLT_bUseAttr", f.FLT_bUseAttr);
    ini.WriteFloat(section, u"FLT_DateTimeA", f.FLT_DateTimeA);
    ini.WriteFloat(section, u"FLT_DateTimeB", f.FLT_DateTimeB);
    ini.WriteInteger(section, u"FLT_DatePos", f.FLT_DatePos);
    ini.WriteInteger(section, u"FLT_SizeA", f.FLT_SizeA);
    ini.WriteInteger(section, u"FLT_SizeB", f.FLT_SizeB);
    ini.WriteInteger(section, u"FLT_SizeDegreeA", f.FLT_SizeDegreeA);
    ini.WriteInteger(section, u"FLT_SizeDegreeB", f.FLT_SizeDegreeB);
    ini.WriteInteger(section, u"FLT_SizePos", f.FLT_SizePos);
    ini.WriteInteger(section, u"FLT_Attr_IncMask", static_cast<std::int32_t>(f.FLT_Attr_IncMask));
    ini.WriteInteger(section, u"FLT_Attr_ExcMask", static_cast<std::int32_t>(f.FLT_Attr_ExcMask));
    const TStrList& folders = data.folderFilter.Items();
    ini.WriteInteger(section, u"FolderFilterCount", static_cast<std::int32_t>(folders.size()));
    for (std::size_t n = 0; n < folders.size(); ++n)
        WriteText(ini, section,
                  NumberedKey(key, u"FolderFilter_", static_cast<std::int64_t>(n) + 1),
                  folders[n].text);
}

std::int32_t StorablePathCount(const TSearchSet& set) {
    std::int32_t count = 0;
    for (std::size_t i = 0; i < set.Count(); ++i)
        if (IsStorablePath(*set.Path(i)))
            ++count;
    return count;
}

// ---- Sections ----

void ReadMainSection(TSettings& s, const TKLXIni& ini) {
    const int sec = ini.FindSection(u"MainSection");
    s.sptlMain = ReadRanged(ini, sec, u"sptlMain", 650, 0, kMaxSplitterRatio);
    s.sptlSearchSet = ReadRanged(ini, sec, u"sptlSearchSet", 250, 0, kMaxSplitterRatio);
    s.sptlResults = ReadRanged(ini, sec, u"sptlResults", 250, 0, kMaxSplitterRatio);
    s.sptlSmart = ReadRanged(ini, sec, u"sptlSmart", 500, 0, kMaxSplitterRatio);
    s.bShow_SetStore = ReadBool(ini, sec, u"bShow_SetStore", true);
    s.bShow_Navigator = ReadBool(ini, sec, u"bShow_Navigator", true);
    s.bUTF8 = ReadBool(ini, sec, u"bUTF8", true);
    LoadPlacement(s.mainPlacement, ini, sec, u"Main", true, MainPlacementDefaults());
    for (int w = 0; w < kPlacementWindowCount; ++w)
        LoadPlacement(s.placements[static_cast<std::size_t>(w)], ini, sec,
                      PlacementName(static_cast<TPlacementWindow>(w)), false, TPlacementRecord());
    s.b_Smart_Vert = ReadBool(ini, sec, u"b_Smart_Vert", true);
    s.bCutPaths = ReadBool(ini, sec, u"bCutPaths", false);
    s.bColorViews = ReadBool(ini, sec, u"bColorViews", true);
    s.clColorSN = ReadColor(ini, sec, u"clColorSN", RgbColor(226, 241, 252));
    s.clColorSC = ReadColor(ini, sec, u"clColorSC", RgbColor(211, 249, 229));
    s.bWindowsFolder = ReadBool(ini, sec, u"bWindowsFolder", true);
    s.bProgramFolder = ReadBool(ini, sec, u"bProgramFolder", true);
    s.bHiddenFolders = ReadBool(ini, sec, u"bHiddenFolders", true);
    s.bDeleteDirectly = ReadBool(ini, sec, u"bDeleteDirectly", false);
    const TFontData& font = s.globals.defaultFont;
    s.resultFont.name = ini.ReadString(sec, u"ResultFontName", font.name);
    s.resultFont.size = ini.ReadInteger(sec, u"ResultFontSize", font.size);
    if (s.resultFont.size <= 0)
        s.resultFont.size = font.size;
    s.resultFont.color = ReadColor(ini, sec, u"ResultFontColor", font.color);
    s.resultFont.style = ini.ReadInteger(sec, u"ResultFontStyle", 0) & kFontStyleMask;
}

void WriteMainSection(const TSettings& s, TKLXIni& ini) {
    const int sec = AddSection(ini, "MainSection");
    ini.WriteInteger(sec, u"sptlMain", s.sptlMain);
    ini.WriteInteger(sec, u"sptlSearchSet", s.sptlSearchSet);
    ini.WriteInteger(sec, u"sptlResults", s.sptlResults);
    ini.WriteInteger(sec, u"sptlSmart", s.sptlSmart);
    WriteBool(ini, sec, u"bShow_SetStore", s.bShow_SetStore);
    WriteBool(ini, sec, u"bShow_Navigator", s.bShow_Navigator);
    WriteBool(ini, sec, u"bUTF8", s.bUTF8);
    SavePlacement(s.mainPlacement, ini, sec, u"Main", true);
    for (int w = 0; w < kPlacementWindowCount; ++w)
        SavePlacement(s.placements[static_cast<std::size_t>(w)], ini, sec,
                      PlacementName(static_cast<TPlacementWindow>(w)), false);
    WriteBool(ini, sec, u"b_Smart_Vert", s.b_Smart_Vert);
    WriteBool(ini, sec, u"bCutPaths", s.bCutPaths);
    WriteBool(ini, sec, u"bColorViews", s.bColorViews);
    ini.WriteInteger(sec, u"clColorSN", s.clColorSN);
    ini.WriteInteger(sec, u"clColorSC", s.clColorSC);
    WriteBool(ini, sec, u"bWindowsFolder", s.bWindowsFolder);
    WriteBool(ini, sec, u"bProgramFolder", s.bProgramFolder);
    WriteBool(ini, sec, u"bHiddenFolders", s.bHiddenFolders);
    WriteBool(ini, sec, u"bDeleteDirectly", s.bDeleteDirectly);
    WriteText(ini, sec, u"ResultFontName", s.resultFont.name);
    ini.WriteInteger(sec, u"ResultFontSize", s.resultFont.size);
    ini.WriteInteger(sec, u"ResultFontColor", s.resultFont.color);
    ini.WriteInteger(sec, u"ResultFontStyle", s.resultFont.style & kFontStyleMask);
}

void ReadReportAndLogSections(TSettings& s, const TKLXIni& ini) {
    int sec = ini.FindSection(u"ReportSection");
    s.ReportFolder = ini.ReadString(sec, u"ReportFolder", s.DefaultReportFolder());
    s.bReport_Groups = ReadBool(ini, sec, u"bReport_Groups", true);
    s.bReport_Summary = ReadBool(ini, sec, u"bReport_Summary", true);
    s.reportPathHistory.Load(ini, sec, u"ReportPathCount", u"ReportPath_", s.MaxHistoryItems);

    sec = ini.FindSection(u"LogSection");
    s.LogFolder = ini.ReadString(sec, u"LogFolder", s.DefaultLogFolder());
    s.LogFull_bUse = ReadBool(ini, sec, u"LogFull_bUse", true);
    s.LogFull_bCreateNew = ReadBool(ini, sec, u"LogFull_bCreateNew", false);
    s.LogFull_bOverwrite = ReadBool(ini, sec, u"LogFull_bOverwrite", false);
    s.LogFull_MaxSize = ReadRanged(ini, sec, u"LogFull_MaxSize", 1000, 1, INT32_MAX);
    s.LogError_bUse = ReadBool(ini, sec, u"LogError_bUse", true);
    s.LogError_bCreateNew = ReadBool(ini, sec, u"LogError_bCreateNew", false);
    s.LogError_bOverwrite = ReadBool(ini, sec, u"LogError_bOverwrite", false);
    s.LogError_MaxSize = ReadRanged(ini, sec, u"LogError_MaxSize", 1000, 1, INT32_MAX);
    s.logPathHistory.Load(ini, sec, u"LogPathCount", u"LogPath_", s.MaxHistoryItems);
}

void WriteReportAndLogSections(const TSettings& s, TKLXIni& ini) {
    int sec = AddSection(ini, "ReportSection");
    WriteText(ini, sec, u"ReportFolder", s.ReportFolder);
    WriteBool(ini, sec, u"bReport_Groups", s.bReport_Groups);
    WriteBool(ini, sec, u"bReport_Summary", s.bReport_Summary);
    s.reportPathHistory.Save(ini, sec, u"ReportPathCount", u"ReportPath_");

    sec = AddSection(ini, "LogSection");
    WriteText(ini, sec, u"LogFolder", s.LogFolder);
    WriteBool(ini, sec, u"LogFull_bUse", s.LogFull_bUse);
    WriteBool(ini, sec, u"LogFull_bCreateNew", s.LogFull_bCreateNew);
    WriteBool(ini, sec, u"LogFull_bOverwrite", s.LogFull_bOverwrite);
    ini.WriteInteger(sec, u"LogFull_MaxSize", s.LogFull_MaxSize);
    WriteBool(ini, sec, u"LogError_bUse", s.LogError_bUse);
    WriteBool(ini, sec, u"LogError_bCreateNew", s.LogError_bCreateNew);
    WriteBool(ini, sec, u"LogError_bOverwrite", s.LogError_bOverwrite);
    ini.WriteInteger(sec, u"LogError_MaxSize", s.LogError_MaxSize);
    s.logPathHistory.Save(ini, sec, u"LogPathCount", u"LogPath_");
}

void ReadLayouts(TSettings& s, const TKLXIni& ini) {
    for (int l = 0; l < kColumnLayoutCount; ++l) {
        const auto layout = static_cast<TColumnLayout>(l);
        TColumnList& columns = s.Columns(layout);
        const int sec = ini.FindSection(Ascii(columns.Info().section));
        columns.Load(ini, sec, layout == TColumnLayout::Results ? &s.ResultView : nullptr);
    }
    for (int b = 0; b < kToolBarCount; ++b) {
        TTool& tool =
            s.Tool(static_cast<TToolBarKind>(static_cast<int>(TToolBarKind::SearchSet) + b));
        tool.Load(ini, ini.FindSection(Ascii(tool.SectionName())));
    }
}

void WriteLayouts(const TSettings& s, TKLXIni& ini) {
    for (int l = 0; l < kColumnLayoutCount; ++l) {
        const auto layout = static_cast<TColumnLayout>(l);
        const TColumnList& columns = s.Columns(layout);
        const int sec = AddSection(ini, columns.Info().section);
        columns.Save(ini, sec, layout == TColumnLayout::Results ? &s.ResultView : nullptr);
    }
    for (int b = 0; b < kToolBarCount; ++b) {
        const TTool& tool =
            s.Tool(static_cast<TToolBarKind>(static_cast<int>(TToolBarKind::SearchSet) + b));
        tool.Save(ini, AddSection(ini, tool.SectionName()));
    }
}

void ReadNavigatorAndSmart(TSettings& s, const TKLXIni& ini) {
    int sec = ini.FindSection(u"NavigatorSection");
    s.bNavAsc = ReadBool(ini, sec, u"bNavAsc", true);
    s.NavSortCol = ini.ReadInteger(sec, u"NavSortCol", 2);

    sec = ini.FindSection(u"SmartSection");
    s.bWashClean = ReadBool(ini, sec, u"bWashClean", true);
    s.bInstance = ReadBool(ini, sec, u"bInstance", true);
    s.bDateSmall = ReadBool(ini, sec, u"bDateSmall", true);
    s.bPathSmall = ReadBool(ini, sec, u"bPathSmall", true);
    s.bNameSmall = ReadBool(ini, sec, u"bNameSmall", true);
    s.bSizeSmall = ReadBool(ini, sec, u"bSizeSmall", true);
    ReadSmartOrder(s.Pos_Smart, ini, sec);
}

void WriteNavigatorAndSmart(const TSettings& s, TKLXIni& ini) {
    int sec = AddSection(ini, "NavigatorSection");
    WriteBool(ini, sec, u"bNavAsc", s.bNavAsc);
    ini.WriteInteger(sec, u"NavSortCol", s.NavSortCol);

    sec = AddSection(ini, "SmartSection");
    WriteBool(ini, sec, u"bWashClean", s.bWashClean);
    WriteBool(ini, sec, u"bInstance", s.bInstance);
    WriteBool(ini, sec, u"bDateSmall", s.bDateSmall);
    WriteBool(ini, sec, u"bPathSmall", s.bPathSmall);
    WriteBool(ini, sec, u"bNameSmall", s.bNameSmall);
    WriteBool(ini, sec, u"bSizeSmall", s.bSizeSmall);
    std::u16string key;
    for (int i = 0; i < kSmartRuleCount; ++i)
        ini.WriteInteger(sec, NumberedKey(key, u"Pos_Smart", i),
                         s.Pos_Smart[static_cast<std::size_t>(i)]);
}

// The history sections after HistorySection, in file order.
struct THistorySection {
    std::string_view section;
    THistory TSettings::*history;
    std::u16string_view countKey;
    std::u16string_view itemPrefix;
};

constexpr THistorySection kHistorySections[] = {
    {"LogHistory", &TSettings::logFileHistory, u"LogHistoryCount", u"Logfile_"},
    {"LogHistory", &TSettings::logSearchHistory, u"SearchListCount", u"Search_"},
    {"DeletePatternHistory", &TSettings::deletePatternHistory, u"DeletePatternCount",
     u"DeletePattern_"},
    {"SmartCleanHistory", &TSettings::smartCleanHistory, u"SmartMarkCount", u"SmartFind_"},
    {"SmartKeepHistory", &TSettings::smartKeepHistory, u"SmartMarkCount", u"SmartFind_"},
    {"SearchPathHistory", &TSettings::searchPathHistory, u"SearchPathCount", u"SearchPath_"},
    {"CopyPathHistory", &TSettings::copyPathHistory, u"CopyPathCount", u"CopyPath_"},
    {"FileFilterIncHistory", &TSettings::fileFilterIncHistory, u"FileFilterCount", u"FileFilter_"},
    {"FileFilterExcHistory", &TSettings::fileFilterExcHistory, u"FileFilterCount", u"FileFilter_"},
};

void ReadHistories(TSettings& s, const TKLXIni& ini) {
    for (const THistorySection& h : kHistorySections)
        (s.*h.history)
            .Load(ini, ini.FindSection(Ascii(h.section)), h.countKey, h.itemPrefix,
                  s.MaxHistoryItems);
    if (s.logSearchHistory.items.empty())
        s.logSearchHistory.items.push_back(TStrItem{std::u16string(kDefaultFindText)});
}

void WriteHistories(const TSettings& s, TKLXIni& ini) {
    int sec = AddSection(ini, "HistorySection");
    ini.WriteInteger(sec, u"MaxHistoryItems", s.MaxHistoryItems);
    std::string_view open;
    for (const THistorySection& h : kHistorySections) {
        // Both log lists share one section.
        if (h.section != open) {
            sec = AddSection(ini, h.section);
            open = h.section;
        }
        (s.*h.history).Save(ini, sec, h.countKey, h.itemPrefix);
    }
}

void ReadRemoveEmpty(TSettings& s, const TKLXIni& ini) {
    const int sec = ini.FindSection(u"RemoveEmptySection");
    TRemoveEmpty& r = s.removeEmpty;
    r.MainFolder = ini.ReadString(sec, u"MainFolder", u"");
    r.bSubFolders = ReadBool(ini, sec, u"bSubFolders", true);
    r.bAllowRemoveH = ReadBool(ini, sec, u"bAllowRemoveH", false);
    r.bAllowRemoveS = ReadBool(ini, sec, u"bAllowRemoveS", false);
    r.bStoreLog = ReadBool(ini, sec, u"bStoreLog", true);
    const std::size_t limit = HistoryLimit(s.MaxHistoryItems);
    LoadTextList(r.IncludeList, ini, sec, u"IncludeListCount", u"Include_", u'?', limit,
                 THistoryCompare::Exact);
    LoadTextList(r.ExcludeList, ini, sec, u"ExcludeListCount", u"Exclude_", u'?', limit,
                 THistoryCompare::Exact);
    s.removeHistory.Load(ini, sec, u"RemoveHistoryCount", u"HistoryLine_", s.MaxHistoryItems);
}

void WriteRemoveEmpty(const TSettings& s, TKLXIni& ini) {
    const int sec = AddSection(ini, "RemoveEmptySection");
    const TRemoveEmpty& r = s.removeEmpty;
    WriteText(ini, sec, u"MainFolder", r.MainFolder);
    WriteBool(ini, sec, u"bSubFolders", r.bSubFolders);
    WriteBool(ini, sec, u"bAllowRemoveH", r.bAllowRemoveH);
    WriteBool(ini, sec, u"bAllowRemoveS", r.bAllowRemoveS);
    WriteBool(ini, sec, u"bStoreLog", r.bStoreLog);
    SaveTextList(r.IncludeList, ini, sec, u"IncludeListCount", u"Include_");
    SaveTextList(r.ExcludeList, ini, sec, u"ExcludeListCount", u"Exclude_");
    s.removeHistory.Save(ini, sec, u"RemoveHistoryCount", u"HistoryLine_");
}

void ReadSets(TSettings& s, const TKLXIni& ini) {
    std::u16string sectionName;
    std::u16string key;

    s.currentSet.name.clear();
    s.currentSet.selectAfterSort = false;
    s.currentSet.Paths().Clear();
    const std::int32_t currentCount =
        ReadCount(ini, ini.FindSection(u"CurrentSetSection"), u"CurrentSetCount");
    std::int64_t lookupsLeft = kMaxPathLookups;
    for (std::int32_t n = 1; n <= currentCount && lookupsLeft > 0; ++n, --lookupsLeft) {
        const int sec = ini.FindSection(NumberedKey(sectionName, u"CurrentSearchData_", n));
        s.currentSet.AddOwned(ReadSearchPath(ini, sec, key));
    }

    s.storedSets.clear();
    const std::int32_t setCount =
        ReadCount(ini, ini.FindSection(u"SetStoreSection"), u"SetStoreCount");
    std::u16string prefix;
    for (std::int32_t i = 1; i <= setCount; ++i) {
        const int setSection = ini.FindSection(NumberedKey(sectionName, u"StoreSet_", i));
        std::u16string name = ini.ReadString(setSection, u"SetName", u"");
        const std::int32_t pathCount = ReadCount(ini, setSection, u"PathCount");
        if (name.empty() || pathCount == 0)
            continue;
        auto set = std::make_unique<TSearchSet>();
        set->name = std::move(name);
        NumberedKey(prefix, u"StoreSet_", i);
        prefix += u'_';
        for (std::int32_t j = 1; j <= pathCount && lookupsLeft > 0; ++j, --lookupsLeft) {
            const int sec = ini.FindSection(NumberedKey(sectionName, prefix, j));
            set->AddOwned(ReadSearchPath(ini, sec, key));
        }
        s.storedSets.push_back(std::move(set));
    }
}

void WriteSets(const TSettings& s, TKLXIni& ini) {
    std::string sectionName;
    std::u16string key;

    int sec = AddSection(ini, "CurrentSetSection");
    ini.WriteInteger(sec, u"CurrentSetCount", StorablePathCount(s.currentSet));
    std::int64_t n = 0;
    for (std::size_t i = 0; i < s.currentSet.Count(); ++i) {
        const TSearchData& data = *s.currentSet.Path(i);
        if (!IsStorablePath(data))
            continue;
        sec = AddSection(ini, NumberedSection(sectionName, "CurrentSearchData_", ++n));
        WriteSearchPath(data, ini, sec, key);
    }

    // A set the next load would drop (no name, or no path it can read back)
    // is not written, so that the file reads back exactly as written.
    std::vector<const TSearchSet*> sets;
    for (const auto& set : s.storedSets)
        if (set && !StoredText(set->name).empty() && StorablePathCount(*set) > 0)
            sets.push_back(set.get());
    sec = AddSection(ini, "SetStoreSection");
    ini.WriteInteger(sec, u"SetStoreCount", static_cast<std::int32_t>(sets.size()));
    std::string prefix;
    for (std::size_t i = 0; i < sets.size(); ++i) {
        const TSearchSet& set = *sets[i];
        const auto setNumber = static_cast<std::int64_t>(i) + 1;
        sec = AddSection(ini, NumberedSection(sectionName, "StoreSet_", setNumber));
        WriteText(ini, sec, u"SetName", set.name);
        ini.WriteInteger(sec, u"PathCount", StorablePathCount(set));
        NumberedSection(prefix, "StoreSet_", setNumber);
        prefix += '_';
        std::int64_t j = 0;
        for (std::size_t p = 0; p < set.Count(); ++p) {
            const TSearchData& data = *set.Path(p);
            if (!IsStorablePath(data))
                continue;
            sec = AddSection(ini, NumberedSection(sectionName, prefix, ++j));
            WriteSearchPath(data, ini, sec, key);
        }
    }
}

// The folder can be used: it exists, or it was created with its parents.
bool FolderUsable(std::u16string_view folder) {
    if (folder.empty())
        return false;
    if (FolderExists(folder))
        return true;
    int errorCode = 0;
    return ForceFolders(folder, errorCode);
}

std::u16string FolderOf(std::u16string_view file) {
    const std::size_t slash = file.rfind(kPathDelim);
    return slash == std::u16string_view::npos ? std::u16string()
                                              : std::u16string(file.substr(0, slash + 1));
}

} // namespace

// ---- TSettings ----

TSettings::TSettings()
    : m_columns{TColumnList(TColumnLayout::SearchSet), TColumnList(TColumnLayout::Results),
                TColumnList(TColumnLayout::Delete), TColumnList(TColumnLayout::CopyMove),
                TColumnList(TColumnLayout::Alert)},
      m_tools{TTool(TToolBarKind::SearchSet), TTool(TToolBarKind::SetStore),
              TTool(TToolBarKind::Result)} {
    for (TColumnList& columns : m_columns)
        columns.LoadDefaults();
    logSearchHistory.items.push_back(TStrItem{std::u16string(kDefaultFindText)});
}

void TSettings::ResetToDefaults() {
    // A store without sections gives every key its default, so the defaults
    // live in one place: the reads.
    TKLXIni empty;
    ReadSettings(*this, empty);
}

namespace {

// The folder the two output folders lie below: Documents, else the home
// folder; "" when neither is known, which the check at load replaces by the
// program folder. Never the root: "/QVD/" would be a folder of the whole
// system that a user cannot create.
std::u16string OutputBase(const TStartupGlobals& g) {
    const std::u16string& base = !g.documentsFolder.empty() ? g.documentsFolder : g.homeFolder;
    return base.empty() ? std::u16string() : AddTrailingBackslash(base);
}

} // namespace

std::u16string TSettings::DefaultReportFolder() const {
    const std::u16string base = OutputBase(globals);
    return base.empty() ? base : base + u"QVD/";
}

std::u16string TSettings::DefaultLogFolder() const {
    const std::u16string base = OutputBase(globals);
    return base.empty() ? base : base + u"QVD/Logs/";
}

TSettings& Settings() {
    static TSettings settings;
    return settings;
}

void InitGlobals(TSettings& settings, std::u16string_view defaultFontName,
                 std::int32_t defaultFontSize) {
    TStartupGlobals& g = settings.globals;
    g.localAppDataFolder = SpecialFolderPath(TSpecialFolder::LocalAppData);
    g.documentsFolder = SpecialFolderPath(TSpecialFolder::Documents);
    g.homeFolder = SpecialFolderPath(TSpecialFolder::Home);
    g.programFolder = SpecialFolderPath(TSpecialFolder::ProgramFolder);
    g.defaultFont = TFontData{std::u16string(defaultFontName), defaultFontSize,
                              SystemColor(kColorWindowText), 0};
    g.linkFont = TFontData{std::u16string(defaultFontName), defaultFontSize, RgbColor(0, 0, 255),
                           kFontUnderline};
    // The system is always "6.0 or later": the highlight colours.
    g.selectionText = SystemColor(kColorHighlightText);
    g.selectionBack = SystemColor(kColorHighlight);
    g.inactiveSelectionText = SystemColor(kColorInactiveCaptionText);
    g.inactiveSelectionBack = SystemColor(kColorInactiveCaption);
    settings.resultFont = g.defaultFont;
    settings.bShow_SetStore = true;
    settings.bShow_Navigator = true;
    settings.ReportFolder = settings.DefaultReportFolder();
    settings.LogFolder = settings.DefaultLogFolder();
}

// ---- Reading and writing ----

void ReadSettings(TSettings& s, const TKLXIni& ini) {
    ReadMainSection(s, ini);
    // Before any list: every list is cut to this limit.
    s.MaxHistoryItems = ini.ReadInteger(ini.FindSection(u"HistorySection"), u"MaxHistoryItems", 20);
    ReadReportAndLogSections(s, ini);
    ReadLayouts(s, ini);
    ReadNavigatorAndSmart(s, ini);
    ReadHistories(s, ini);
    ReadRemoveEmpty(s, ini);
    ReadSets(s, ini);
}

void WriteSettings(const TSettings& s, TKLXIni& ini) {
    WriteMainSection(s, ini);
    WriteReportAndLogSections(s, ini);
    WriteLayouts(s, ini);
    WriteNavigatorAndSmart(s, ini);
    WriteHistories(s, ini);
    WriteRemoveEmpty(s, ini);
    WriteSets(s, ini);
}

// ---- The file and the folders ----

std::u16string SettingsDataFolder(const TStartupGlobals& globals) {
    if (globals.localAppDataFolder.empty())
        return std::u16string();
    return AddTrailingBackslash(globals.localAppDataFolder) + std::u16string(kSettingsSubFolder);
}

std::u16string SettingsProgramFolder(const TStartupGlobals& globals) {
    if (globals.programFolder.empty())
        return std::u16string();
    return AddTrailingBackslash(globals.programFolder);
}

std::u16string SettingsFileToLoad(const TStartupGlobals& globals) {
    const std::u16string dataFolder = SettingsDataFolder(globals);
    const std::u16string programFolder = SettingsProgramFolder(globals);
    const std::u16string programFile = programFolder.empty()
                                           ? std::u16string()
                                           : programFolder + std::u16string(kSettingsFileName);
    if (!FolderUsable(dataFolder))
        return programFile;
    std::u16string dataFile = dataFolder + std::u16string(kSettingsFileName);
    if (!PathExists(dataFile) && !programFile.empty() && PathExists(programFile))
        return programFile;
    return dataFile;
}

std::u16string ExistingSettingsFile(const TStartupGlobals& globals) {
    const std::u16string dataFolder = SettingsDataFolder(globals);
    if (!dataFolder.empty()) {
        std::u16string dataFile = dataFolder + std::u16string(kSettingsFileName);
        if (PathExists(dataFile))
            return dataFile;
    }
    const std::u16string programFolder = SettingsProgramFolder(globals);
    if (!programFolder.empty()) {
        std::u16string programFile = programFolder + std::u16string(kSettingsFileName);
        if (PathExists(programFile))
            return programFile;
    }
    return std::u16string();
}

std::u16string SettingsFileToSave(const TStartupGlobals& globals) {
    const std::u16string dataFolder = SettingsDataFolder(globals);
    if (FolderUsable(dataFolder))
        return dataFolder + std::u16string(kSettingsFileName);
    const std::u16string programFolder = SettingsProgramFolder(globals);
    return programFolder.empty() ? std::u16string()
                                 : programFolder + std::u16string(kSettingsFileName);
}

bool HoldsProgramSections(const TKLXIni& ini) {
    // The sections every save writes; the numbered and layout sections
    // never stand without them.
    static constexpr std::u16string_view kSections[] = {
        u"MainSection",        u"ReportSection",     u"LogSection",
        u"NavigatorSection",   u"SmartSection",      u"HistorySection",
        u"RemoveEmptySection", u"CurrentSetSection", u"SetStoreSection"};
    for (std::u16string_view name : kSections)
        if (ini.FindSection(name) >= 0)
            return true;
    return false;
}

void CheckOutputFolders(TSettings& s) {
    const std::u16string programFolder = SettingsProgramFolder(s.globals);
    if (!FolderUsable(ExpandEnvVars(TrimText(s.ReportFolder))) && FolderUsable(programFolder))
        s.ReportFolder = programFolder;
    if (!FolderUsable(ExpandEnvVars(TrimText(s.LogFolder)))) {
        const std::u16string logs =
            programFolder.empty() ? std::u16string() : programFolder + u"Logs";
        if (FolderUsable(logs))
            s.LogFolder = logs;
    }
}

void LoadSettings(TSettings& settings) {
    const std::u16string file = SettingsFileToLoad(settings.globals);
    TKLXIni ini;
    // A missing or unreadable file leaves the store empty: every key then
    // takes its default, which is all the program needs to know.
    if (!file.empty())
        ini.LoadFromFile(file);
    ReadSettings(settings, ini);
    CheckOutputFolders(settings);
    settings.settingsFolder = FolderOf(file);
}

int SaveSettings(const TSettings& settings) {
    const std::u16string file = SettingsFileToSave(settings.globals);
    if (file.empty())
        return ENOENT;
    TKLXIni ini;
    WriteSettings(settings, ini);
    return ini.SaveToFile(file);
}

} // namespace vdx
