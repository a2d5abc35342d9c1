#pragma once
// Smart marking: the user sorts the folders of a view into To Keep and To
// Clean, and the view's marks are replaced by marks on the files in To Clean
// folders of every group that also has a file in To Keep; optionally groups
// lying wholly in To Clean are marked too, keeping one file of each chosen
// by an ordered list of rules. The area list is the window's working state;
// the marking reads only the keep flags that ApplyAreas writes into the
// store's folder records.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/VDX_unit_ScanData.h"

namespace vdx {

enum TSmartArea : std::uint8_t {
    kAreaClean = 0,
    kAreaKeep = 1,
};

// The rule types, as stored in Pos_Smart0 .. Pos_Smart3.
enum TSmartRule : int {
    kRuleDate = 0, // "Modified date"
    kRulePath = 1, // "Path in a-z order"
    kRuleName = 2, // "Name in a-z order"
    kRuleSize = 3, // "File size"
};
inline constexpr int kSmartRuleCount = 4;
using TSmartRuleOrder = std::array<int, kSmartRuleCount>;
inline constexpr TSmartRuleOrder kDefaultRuleOrder = {kRuleDate, kRulePath, kRuleName, kRuleSize};

// The choices of the smart marking window (section SmartSection of the
// settings), filled by the window or the command line.
struct TSmartMarkSettings {
    bool m_washClean = true;                     // bWashClean: also mark groups wholly in To Clean
    bool m_keepInstance = true;                  // bInstance: in those groups keep one file
    bool m_dateSmall = true;                     // bDateSmall: the date rule keeps the newer file
    bool m_pathSmall = true;                     // bPathSmall: the path rule keeps the smaller path
    bool m_nameSmall = true;                     // bNameSmall: the name rule keeps the smaller name
    bool m_sizeSmall = true;                     // bSizeSmall: the size rule keeps the smaller file
    TSmartRuleOrder m_order = kDefaultRuleOrder; // Pos_Smart0 .. Pos_Smart3
};

// "Modified date" .. "File size"; empty for a number that is no rule.
std::u16string_view SmartRuleCaption(int rule);

// order when it holds each rule type exactly once, else the default order.
// A stored order the user edited by hand must not drop or repeat a rule.
TSmartRuleOrder ValidRuleOrder(const TSmartRuleOrder& order);

// Whether the rule can tell the files of a group of the view apart, so that
// the window offers it: the name rule only where names may differ (Same
// size, Same content, Zero size), the size rule only in Same name, the path
// rule everywhere but Zero size (whose groups are folders), the date rule
// always.
bool RuleOffered(TViewKind view, int rule);

// The rule list the window shows: the rules of order, in that order,
// without those the view does not offer.
std::vector<int> OfferedRules(TViewKind view, const TSmartRuleOrder& order);

// The order stored when the window closes: the listed rules first, in list
// order, then the rules missing from the list by ascending type. A list
// that repeats a rule or holds no rule type keeps only its valid first
// occurrences.
TSmartRuleOrder CompleteRuleOrder(const std::vector<int>& listed);

// One folder of the area list. The folder index refers to the store's folder
// table, which is in path order, so each folder's sub-tree follows it.
struct TSmartAreaItem {
    std::int32_t m_folder;
    std::uint8_t m_area; // TSmartArea
    std::uint8_t m_checked;
};
static_assert(sizeof(TSmartAreaItem) == 8);

// The text of an area row out of range (or whose folder no longer exists).
inline constexpr std::u16string_view kBadSmartPath = u"::? _GetSmartPath";

// The folders of one view split into the two areas, with their check boxes.
// Rows 0 .. CleanCount() - 1 are To Clean and the rest To Keep, each area in
// folder (path) order. Holds the store by reference; the list is valid until
// the store's folders change (a new search, a re-index), after which it is
// rebuilt by BuildAreas.
class TSmartAreas {
public:
    explicit TSmartAreas(TScanData& store) : m_store(store) {}
    TSmartAreas(const TSmartAreas&) = delete;
    TSmartAreas& operator=(const TSmartAreas&) = delete;

    // Lists every folder that holds a file of the view, once, all in To
    // Clean and unchecked. Returns 0, or ENOMEM when the list could not grow
    // (the list is then empty).
    int BuildAreas(TViewKind view);
    void Clear();

    std::uint32_t Count() const { return m_items.Count(); }
    std::uint32_t CleanCount() const { return m_cleanCount; }
    std::uint32_t CleanChecked() const { return m_cleanChecked; }
    std::uint32_t KeepCount() const { return m_keepCount; }
    std::uint32_t KeepChecked() const { return m_keepChecked; }
    // The first row of an area, so a grid's row r is list row AreaStart + r.
    std::uint32_t AreaStart(TSmartArea area) const { return area == kAreaKeep ? m_cleanCount : 0; }

    // The row's folder index, -1 out of range.
    std::int32_t Folder(std::int64_t row) const;
    // The row's area; To Clean for a row out of range.
    TSmartArea Area(std::int64_t row) const;
    // The folder's path as stored and upper-cased; kBadSmartPath for a row
    // out of range. Valid until the store's pools change.
    std::u16string_view FolderPath(std::int64_t row) const;
    std::u16string_view FolderPathUpper(std::int64_t row) const;

    bool IsChecked(std::int64_t row) const;
    // Flips the row's check box. false, changing nothing, out of range.
    bool ToggleCheck(std::int64_t row);
    // Flips the row's check box and gives the same state to the rows after
    // it that are its sub-folders, stopping at the first row that is not
    // (or at the end of the row's area). Paths are compared exactly: on
    // Linux /data/Photos is not below /data/photos. false out of range.
    bool ToggleCheckTree(std::int64_t row);
    // Checks every folder of the area whose path contains text (trimmed,
    // compared without letter case) and unchecks every other folder of it.
    // A blank text changes nothing.
    void CheckPattern(std::u16string_view text, bool inClean);
    // Unchecks every folder of the area.
    void ClearChecks(bool inClean);
    // Moves every checked folder of the other area into toArea, keeping its
    // check, and re-sorts the list. Returns how many folders moved.
    std::uint32_t MoveChecked(TSmartArea toArea);
    // Writes each listed folder's area into its folder record's keep flag;
    // every other folder's flag is cleared.
    void ApplyAreas();

private:
    bool ValidRow(std::int64_t row) const {
        return row >= 0 && row < static_cast<std::int64_t>(m_items.Count());
    }
    void Recount();

    TScanData& m_store;
    TRecordTable<TSmartAreaItem> m_items{2048};
    std::uint32_t m_cleanCount = 0;
    std::uint32_t m_cleanChecked = 0;
    std::uint32_t m_keepCount = 0;
    std::uint32_t m_keepChecked = 0;
};

// Replaces every mark of the view: clears them, then marks, in each group,
// the files outside To Keep folders when the group has a file in a To Keep
// folder, and, with m_washClean, every file of a group with none in To Keep
// except (with m_keepInstance) the one the rules keep. The keep flags come
// from the folder records (TSmartAreas::ApplyAreas). Marks of other views
// are untouched; the group and view counts are kept as every mark change
// keeps them.
void SmartMark(TScanData& store, TViewKind view, const TSmartMarkSettings& settings);

} // namespace vdx
