#pragma once
// Everything that outlives a run: options, panel and window layouts, history
// lists, the remove-empty settings, the current search set and the stored
// search sets, together with the start-up globals the windows share. The
// windows read and change a TSettings directly; LoadSettings fills it from
// the settings file once at start-up and SaveSettings writes it back as a
// whole new file. Nothing here depends on the user-interface toolkit: fonts
// and colours are plain values the windows turn into their own.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_SearchData.h"
#include "persistence/VDX_unit_Columns.h"
#include "persistence/VDX_unit_History.h"
#include "persistence/VDX_unit_Placement.h"
#include "persistence/VDX_unit_Tools.h"

namespace vdx {

class TKLXIni;

// A colour value: 0x00BBGGRR, or a system colour kSystemColor + index.
inline constexpr std::int32_t kSystemColor = static_cast<std::int32_t>(0xFF000000u);
inline constexpr std::int32_t SystemColor(int index) {
    return static_cast<std::int32_t>(0xFF000000u | static_cast<std::uint32_t>(index));
}
// The system colour indexes the settings use.
inline constexpr int kColorActiveCaption = 2;
inline constexpr int kColorInactiveCaption = 3;
inline constexpr int kColorWindowText = 8;
inline constexpr int kColorCaptionText = 9;
inline constexpr int kColorHighlight = 13;
inline constexpr int kColorHighlightText = 14;
inline constexpr int kColorInactiveCaptionText = 19;

inline constexpr std::int32_t RgbColor(int red, int green, int blue) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(red) |
                                     static_cast<std::uint32_t>(green) << 8 |
                                     static_cast<std::uint32_t>(blue) << 16);
}

// Font style bits; only these four are read and written.
inline constexpr std::int32_t kFontBold = 1;
inline constexpr std::int32_t kFontItalic = 2;
inline constexpr std::int32_t kFontUnderline = 4;
inline constexpr std::int32_t kFontStrikeOut = 8;
inline constexpr std::int32_t kFontStyleMask = 15;

struct TFontData {
    std::u16string name;
    std::int32_t size = 0; // points
    std::int32_t color = SystemColor(kColorWindowText);
    std::int32_t style = 0; // kFontBold ...
};

// The values every window shares that are set up before the settings load.
// The four folders are injectable: InitGlobals fills them from the system,
// tests set their own.
struct TStartupGlobals {
    std::u16string localAppDataFolder; // $XDG_CONFIG_HOME or ~/.config; "" unknown
    std::u16string documentsFolder;    // "" unknown
    std::u16string homeFolder;         // "" unknown
    std::u16string programFolder;      // the executable's folder; "" unknown
    TFontData defaultFont;             // handed in by the caller (the toolkit's font)
    TFontData linkFont;                // the default font, underlined, blue
    // Selection colours of owner-drawn lists: focused, and unfocused.
    std::int32_t selectionText = SystemColor(kColorHighlightText);
    std::int32_t selectionBack = SystemColor(kColorHighlight);
    std::int32_t inactiveSelectionText = SystemColor(kColorInactiveCaptionText);
    std::int32_t inactiveSelectionBack = SystemColor(kColorInactiveCaption);
};

// The settings of the remove-empty-folders tool. A plain value: copying it
// copies every field and the lists, which is how its window edits a copy.
struct TRemoveEmpty {
    std::u16string MainFolder;
    bool bSubFolders = true;
    bool bAllowRemoveH = false;
    bool bAllowRemoveS = false;
    bool bStoreLog = true;
    TStrList IncludeList;
    TStrList ExcludeList;
};

// The history rules of the lists. Folder and log paths compare exactly (Linux
// tells /a/B from /a/b); masks, patterns and find texts ignore ASCII case.
// The two log lists keep their fixed limits at load as well as when adding.
namespace history_rules {
inline constexpr THistoryRule kLogFiles{u'?', kNoIgnoredChar, 400, THistoryCompare::Exact};
inline constexpr THistoryRule kLogSearch{u'?', kNoIgnoredChar, 100,
                                         THistoryCompare::IgnoreAsciiCase};
inline constexpr THistoryRule kDeletePattern{u'?', u'?', 0, THistoryCompare::IgnoreAsciiCase};
inline constexpr THistoryRule kSmartPattern{u'?', kNoIgnoredChar, 0,
                                            THistoryCompare::IgnoreAsciiCase};
inline constexpr THistoryRule kFolder{u'?', u'?', 0, THistoryCompare::Exact};
inline constexpr THistoryRule kMask{u';', u';', 0, THistoryCompare::IgnoreAsciiCase};
inline constexpr THistoryRule kOutputFolder{kNoIgnoredChar, kNoIgnoredChar, 0,
                                            THistoryCompare::Exact};
// The remove-empty start folder ignores one trailing "/" when adding.
inline constexpr THistoryRule kRemoveFolder{u'?', kPathDelim, 0, THistoryCompare::Exact};
} // namespace history_rules

// The entry the log viewer's find list starts with when it is empty.
inline constexpr std::u16string_view kDefaultFindText = u"folder";

class TSettings {
public:
    TSettings();
    TSettings(const TSettings&) = delete;
    TSettings& operator=(const TSettings&) = delete;

    TStartupGlobals globals;
    // The folder the settings file was read from (shown by the Options window).
    std::u16string settingsFolder;

    // MainSection
    std::int32_t sptlMain = 650;
    std::int32_t sptlSearchSet = 250;
    std::int32_t sptlResults = 250;
    std::int32_t sptlSmart = 500;
    bool bShow_SetStore = true;
    bool bShow_Navigator = true;
    bool bUTF8 = true;
    TPlacementRecord mainPlacement = MainPlacementDefaults();
    std::array<TPlacementRecord, kPlacementWindowCount> placements{};
    bool b_Smart_Vert = true;
    bool bCutPaths = false;
    bool bColorViews = true;
    std::int32_t clColorSN = RgbColor(226, 241, 252);
    std::int32_t clColorSC = RgbColor(211, 249, 229);
    bool bWindowsFolder = true;
    bool bProgramFolder = true;
    bool bHiddenFolders = true;
    bool bDeleteDirectly = false;
    TFontData resultFont; // ResultFontName, ResultFontSize, ResultFontColor, ResultFontStyle

    // ReportSection
    std::u16string ReportFolder;
    bool bReport_Groups = true;
    bool bReport_Summary = true;
    THistory reportPathHistory{history_rules::kOutputFolder};

    // LogSection
    std::u16string LogFolder;
    bool LogFull_bUse = true;
    bool LogFull_bCreateNew = false;
    bool LogFull_bOverwrite = false;
    std::int32_t LogFull_MaxSize = 1000;
    bool LogError_bUse = true;
    bool LogError_bCreateNew = false;
    bool LogError_bOverwrite = false;
    std::int32_t LogError_MaxSize = 1000;
    THistory logPathHistory{history_rules::kOutputFolder};

    // Column layouts; ResultView is kept in SG_Columns.
    TColumnList& Columns(TColumnLayout layout) { return m_columns[static_cast<int>(layout)]; }
    const TColumnList& Columns(TColumnLayout layout) const {
        return m_columns[static_cast<int>(layout)];
    }
    std::int32_t ResultView = 0;

    // Tool bar layouts.
    TTool& Tool(TToolBarKind bar) { return m_tools[ToolIndex(bar)]; }
    const TTool& Tool(TToolBarKind bar) const { return m_tools[ToolIndex(bar)]; }

    // NavigatorSection
    bool bNavAsc = true;
    std::int32_t NavSortCol = 2;

    // SmartSection
    bool bWashClean = true;
    bool bInstance = true;
    bool bDateSmall = true;
    bool bPathSmall = true;
    bool bNameSmall = true;
    bool bSizeSmall = true;
    std::array<std::int32_t, 4> Pos_Smart{0, 1, 2, 3};

    // HistorySection: the limit of every history without a fixed one, as read
    // (a negative value behaves like 0).
    std::int32_t MaxHistoryItems = 20;

    // History lists.
    THistory logFileHistory{history_rules::kLogFiles};
    THistory logSearchHistory{history_rules::kLogSearch};
    THistory deletePatternHistory{history_rules::kDeletePattern};
    THistory smartCleanHistory{history_rules::kSmartPattern};
    THistory smartKeepHistory{history_rules::kSmartPattern};
    THistory searchPathHistory{history_rules::kFolder};
    THistory copyPathHistory{history_rules::kFolder};
    THistory fileFilterIncHistory{history_rules::kMask};
    THistory fileFilterExcHistory{history_rules::kMask};
    THistory removeHistory{history_rules::kRemoveFolder};

    // RemoveEmptySection
    TRemoveEmpty removeEmpty;

    // The current search set and the stored sets, in store order.
    TSearchSet currentSet;
    std::vector<std::unique_ptr<TSearchSet>> storedSets;

    // Puts text at the front of a history with that list's rule and limit.
    void AddToHistory(THistory& history, std::u16string_view text) {
        history.Add(text, MaxHistoryItems);
    }
    // Every value back to its default (globals and settingsFolder stay); the
    // ReportFolder and LogFolder defaults follow globals.documentsFolder.
    void ResetToDefaults();
    // The defaults of the two output folders: the Documents folder followed by
    // "/QVD/" and "/QVD/Logs/"; the home folder in its place when Documents is
    // unknown; "" when both are.
    std::u16string DefaultReportFolder() const;
    std::u16string DefaultLogFolder() const;

private:
    static std::size_t ToolIndex(TToolBarKind bar) {
        return static_cast<std::size_t>(static_cast<int>(bar) -
                                        static_cast<int>(TToolBarKind::SearchSet));
    }

    std::array<TColumnList, kColumnLayoutCount> m_columns;
    std::array<TTool, kToolBarCount> m_tools;
};

// The program's settings, alive for the whole run.
TSettings& Settings();

// The start-up globals: the special folders from the system, the default font
// handed in by the caller (the toolkit's message font), the link font and the
// result font derived from it, the selection colours; the panel switches on.
void InitGlobals(TSettings& settings, std::u16string_view defaultFontName,
                 std::int32_t defaultFontSize);

// The settings file's name, and the folder below the local application-data
// folder that holds it.
inline constexpr std::u16string_view kSettingsFileName = u"QVD.ini";
inline constexpr std::u16string_view kSettingsSubFolder = u"Quillborne/QVD/";

// The data folder (local application-data folder + "/Quillborne/QVD/"), ""
// when the local application-data folder is unknown.
std::u16string SettingsDataFolder(const TStartupGlobals& globals);
// The program folder with a trailing "/", "" when unknown.
std::u16string SettingsProgramFolder(const TStartupGlobals& globals);
// The file to read: the data folder's when that folder exists or can be
// created (with its parents), unless it has no file and the program folder
// has one; otherwise the program folder's. Creates the data folder.
std::u16string SettingsFileToLoad(const TStartupGlobals& globals);
// The file LoadSettings reads, found without creating any folder: the data
// folder's file when it exists, else the program folder's when that exists;
// "" when neither does (every setting then has its default). For readers
// that must leave the disk untouched, such as the command line.
std::u16string ExistingSettingsFile(const TStartupGlobals& globals);
// The file to write: the data folder's when it exists or can be created,
// else the program folder's.
std::u16string SettingsFileToSave(const TStartupGlobals& globals);

// The store holds at least one of the sections this program writes: a file
// without any is some other file, which a save must not replace.
bool HoldsProgramSections(const TKLXIni& ini);

// Reads every key from a loaded store in the load order; missing sections and
// bad values give defaults. Touches no file.
void ReadSettings(TSettings& settings, const TKLXIni& ini);
// Writes every section into a fresh store, in the file's section order.
void WriteSettings(const TSettings& settings, TKLXIni& ini);
// Checks ReportFolder and LogFolder (creating them when missing) and falls
// back to the program folder, or its "Logs" folder, when they cannot be used.
void CheckOutputFolders(TSettings& settings);

// Locates and reads the settings file (a missing or unreadable file gives
// every default), checks the output folders and records settingsFolder.
void LoadSettings(TSettings& settings);
// Locates and writes the file as a whole; 0 or the errno of the failure
// (the program reports nothing; tests look at it).
int SaveSettings(const TSettings& settings);

} // namespace vdx
