#include "engine/VDX_unit_SmartMark.h"

#include <algorithm>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Marks.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TSmartMarkDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TSmartMarkDoor::Key();

bool IsRule(int rule) {
    return rule >= 0 && rule < kSmartRuleCount;
}

// Negative when a is smaller, positive when greater.
template <typename T>
int Compare(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Positive when the rule prefers file next over the candidate (keeps it
// instead), negative when it prefers the candidate, 0 when it cannot tell.
int RulePreference(const TScanData& store, const TSmartMarkSettings& settings, int rule,
                   std::uint32_t candidate, std::uint32_t next) {
    const TScanFileItem& c = store.File(candidate);
    const TScanFileItem& n = store.File(next);
    int order = 0; // next against the candidate, negative when next is smaller
    bool keepSmaller = true;
    switch (rule) {
    case kRuleDate:
        order = Compare(n.m_lastWrite, c.m_lastWrite);
        keepSmaller = !settings.m_dateSmall; // on keeps the newer, the greater time
        break;
    case kRulePath:
        order = Compare(n.m_folder, c.m_folder);
        keepSmaller = settings.m_pathSmall;
        break;
    case kRuleName:
        order = Compare(n.m_baseClass, c.m_baseClass);
        if (order == 0)
            order = Compare(n.m_extClass, c.m_extClass);
        keepSmaller = settings.m_nameSmall;
        break;
    case kRuleSize:
        order = Compare(n.m_size, c.m_size);
        keepSmaller = settings.m_sizeSmall;
        break;
    default:
        return 0;
    }
    return keepSmaller ? -order : order;
}

bool IsFileRow(const TScanData& store, const TViewRowItem& row) {
    return row.m_file >= 0 && static_cast<std::uint32_t>(row.m_file) < store.FileCount();
}

bool InKeepFolder(const TScanData& store, std::uint32_t file) {
    const std::uint32_t folder = store.File(file).m_folder;
    return folder < store.FolderCount() && store.Folder(folder).m_keepFolder != 0;
}

// The file of rows [begin, end) that the rules keep: the first file,
// replaced by each later file that the first rule with an opinion prefers;
// when no rule can tell two files apart the earlier one stays.
std::uint32_t FileToKeep(const TScanData& store, TViewKind view, const TSmartMarkSettings& settings,
                         const TSmartRuleOrder& order, std::uint32_t begin, std::uint32_t end) {
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    auto candidate = static_cast<std::uint32_t>(rows[begin].m_file);
    for (std::uint32_t r = begin + 1; r < end; ++r) {
        const auto next = static_cast<std::uint32_t>(rows[r].m_file);
        for (int rule : order) {
            const int preference = RulePreference(store, settings, rule, candidate, next);
            if (preference > 0)
                candidate = next;
            if (preference != 0)
                break;
        }
    }
    return candidate;
}

} // namespace

std::u16string_view SmartRuleCaption(int rule) {
    switch (rule) {
    case kRuleDate:
        return u"Modified date";
    case kRulePath:
        return u"Path in a-z order";
    case kRuleName:
        return u"Name in a-z order";
    case kRuleSize:
        return u"File size";
    default:
        return {};
    }
}

TSmartRuleOrder ValidRuleOrder(const TSmartRuleOrder& order) {
    bool seen[kSmartRuleCount] = {};
    for (int rule : order) {
        if (!IsRule(rule) || seen[rule])
            return kDefaultRuleOrder;
        seen[rule] = true;
    }
    return order;
}

bool RuleOffered(TViewKind view, int rule) {
    view = NormalizeViewKind(view);
    switch (rule) {
    case kRuleDate:
        return true;
    case kRulePath:
        return view != kViewZeroSize;
    case kRuleName:
        return view == kViewSameSize || view == kViewSameContent || view == kViewZeroSize;
    case kRuleSize:
        return view == kViewSameName;
    default:
        return false;
    }
}

std::vector<int> OfferedRules(TViewKind view, const TSmartRuleOrder& order) {
    std::vector<int> rules;
    for (int rule : ValidRuleOrder(order))
        if (RuleOffered(view, rule))
            rules.push_back(rule);
    return rules;
}

TSmartRuleOrder CompleteRuleOrder(const std::vector<int>& listed) {
    TSmartRuleOrder order{};
    bool used[kSmartRuleCount] = {};
    int filled = 0;
    for (int rule : listed) {
        if (!IsRule(rule) || used[rule] || filled == kSmartRuleCount)
            continue;
        used[rule] = true;
        order[static_cast<std::size_t>(filled++)] = rule;
    }
    // From the last position backwards, the highest missing type first, so
    // the missing rules follow the list in ascending order.
    int position = kSmartRuleCount - 1;
    for (int rule = kSmartRuleCount - 1; rule >= 0; --rule) {
        if (!used[rule])
            order[static_cast<std::size_t>(position--)] = rule;
    }
    return order;
}

// ---- Area list ----

int TSmartAreas::BuildAreas(TViewKind view) {
    Clear();
    const TRecordTable<TViewRowItem>& rows = m_store.Rows(NormalizeViewKind(view));
    const std::uint32_t folderCount = m_store.FolderCount();
    std::vector<std::uint8_t> used(folderCount, 0);
    for (const TViewRowItem& row : rows) {
        if (!IsFileRow(m_store, row))
            continue;
        const std::uint32_t folder = m_store.File(static_cast<std::uint32_t>(row.m_file)).m_folder;
        if (folder < folderCount)
            used[folder] = 1;
    }
    for (std::uint32_t folder = 0; folder < folderCount; ++folder) {
        if (!used[folder])
            continue;
        const TSmartAreaItem item{static_cast<std::int32_t>(folder), kAreaClean, 0};
        if (int rc = m_items.Append(item)) {
            Clear();
            return rc;
        }
    }
    Recount();
    return 0;
}

void TSmartAreas::Clear() {
    m_items.Reset();
    Recount();
}

void TSmartAreas::Recount() {
    m_cleanCount = m_cleanChecked = m_keepCount = m_keepChecked = 0;
    for (const TSmartAreaItem& item : m_items) {
        if (item.m_area == kAreaKeep) {
            ++m_keepCount;
            m_keepChecked += item.m_checked ? 1 : 0;
        } else {
            ++m_cleanCount;
            m_cleanChecked += item.m_checked ? 1 : 0;
        }
    }
}

std::int32_t TSmartAreas::Folder(std::int64_t row) const {
    return ValidRow(row) ? m_items[static_cast<std::uint32_t>(row)].m_folder : -1;
}

TSmartArea TSmartAreas::Area(std::int64_t row) const {
    return ValidRow(row) && m_items[static_cast<std::uint32_t>(row)].m_area == kAreaKeep
               ? kAreaKeep
               : kAreaClean;
}

std::u16string_view TSmartAreas::FolderPath(std::int64_t row) const {
    const std::int32_t folder = Folder(row);
    if (folder < 0 || static_cast<std::uint32_t>(folder) >= m_store.FolderCount())
        return kBadSmartPath;
    return m_store.FolderPath(static_cast<std::uint32_t>(folder));
}

std::u16string_view TSmartAreas::FolderPathUpper(std::int64_t row) const {
    const std::int32_t folder = Folder(row);
    if (folder < 0 || static_cast<std::uint32_t>(folder) >= m_store.FolderCount())
        return kBadSmartPath;
    const TScanFolderItem& item = m_store.Folder(static_cast<std::uint32_t>(folder));
    // Before grouping the upper-cased pool does not exist yet.
    if (std::uint64_t{item.m_pathPos} + item.m_pathLength > m_store.UpperPool().UsedBytes())
        return kBadSmartPath;
    return m_store.FolderPathUpper(static_cast<std::uint32_t>(folder));
}

bool TSmartAreas::IsChecked(std::int64_t row) const {
    return ValidRow(row) && m_items[static_cast<std::uint32_t>(row)].m_checked != 0;
}

bool TSmartAreas::ToggleCheck(std::int64_t row) {
    if (!ValidRow(row))
        return false;
    TSmartAreaItem& item = m_items[static_cast<std::uint32_t>(row)];
    item.m_checked = item.m_checked ? 0 : 1;
    Recount();
    return true;
}

bool TSmartAreas::ToggleCheckTree(std::int64_t row) {
    if (!ValidRow(row))
        return false;
    const auto first = static_cast<std::uint32_t>(row);
    const std::uint8_t area = m_items[first].m_area;
    const std::uint8_t state = m_items[first].m_checked ? 0 : 1;
    m_items[first].m_checked = state;
    const std::u16string_view top = FolderPath(first);
    for (std::uint32_t r = first + 1; r < m_items.Count() && m_items[r].m_area == area; ++r) {
        if (top == kBadSmartPath || !FolderPath(r).starts_with(top))
            break;
        m_items[r].m_checked = state;
    }
    Recount();
    return true;
}

void TSmartAreas::CheckPattern(std::u16string_view text, bool inClean) {
    const std::u16string pattern = UpperCaseText(TrimText(text));
    if (pattern.empty())
        return;
    const std::uint8_t area = inClean ? kAreaClean : kAreaKeep;
    for (std::uint32_t r = 0; r < m_items.Count(); ++r) {
        if (m_items[r].m_area != area)
            continue;
        std::u16string_view path = FolderPathUpper(r);
        std::u16string upper;
        if (path == kBadSmartPath) {
            upper = UpperCaseText(FolderPath(r));
            path = upper;
        }
        m_items[r].m_checked = path.find(pattern) != std::u16string_view::npos ? 1 : 0;
    }
    Recount();
}

void TSmartAreas::ClearChecks(bool inClean) {
    const std::uint8_t area = inClean ? kAreaClean : kAreaKeep;
    for (TSmartAreaItem& item : m_items)
        if (item.m_area == area)
            item.m_checked = 0;
    Recount();
}

std::uint32_t TSmartAreas::MoveChecked(TSmartArea toArea) {
    const std::uint8_t to = toArea == kAreaKeep ? kAreaKeep : kAreaClean;
    std::uint32_t moved = 0;
    for (TSmartAreaItem& item : m_items) {
        if (item.m_area != to && item.m_checked) {
            item.m_area = to;
            ++moved;
        }
    }
    if (moved != 0) {
        std::sort(m_items.begin(), m_items.end(),
                  [](const TSmartAreaItem& a, const TSmartAreaItem& b) {
                      if (a.m_area != b.m_area)
                          return a.m_area < b.m_area;
                      return a.m_folder < b.m_folder;
                  });
    }
    Recount();
    return moved;
}

void TSmartAreas::ApplyAreas() {
    for (TScanFolderItem& folder : m_store.Folders(kKey))
        folder.m_keepFolder = 0;
    for (const TSmartAreaItem& item : m_items) {
        if (item.m_folder >= 0 && static_cast<std::uint32_t>(item.m_folder) < m_store.FolderCount())
            m_store.Folder(kKey, static_cast<std::uint32_t>(item.m_folder)).m_keepFolder =
                item.m_area == kAreaKeep ? 1 : 0;
    }
}

// ---- Marking ----

void SmartMark(TScanData& store, TViewKind view, const TSmartMarkSettings& settings) {
    view = NormalizeViewKind(view);
    ClearViewMarks(store, view);
    const TSmartRuleOrder order = ValidRuleOrder(settings.m_order);
    // Marking changes file records and group counts, never the row table.
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    const std::uint32_t rowCount = rows.Count();

    // Each group is a header row followed by its file rows; [begin, end) are
    // the rows after a header up to the next header.
    std::uint32_t begin = 0;
    while (begin < rowCount) {
        if (!IsFileRow(store, rows[begin])) {
            ++begin;
            continue;
        }
        std::uint32_t end = begin;
        std::uint32_t files = 0;
        std::uint32_t kept = 0;
        while (end < rowCount && IsFileRow(store, rows[end])) {
            const auto file = static_cast<std::uint32_t>(rows[end].m_file);
            ++files;
            kept += InKeepFolder(store, file) ? 1 : 0;
            ++end;
        }

        if (kept == 0 && settings.m_washClean) {
            const std::int64_t keep =
                settings.m_keepInstance ? FileToKeep(store, view, settings, order, begin, end) : -1;
            for (std::uint32_t r = begin; r < end; ++r) {
                const auto file = static_cast<std::uint32_t>(rows[r].m_file);
                if (static_cast<std::int64_t>(file) != keep)
                    SetFileMark(store, view, TFileIndex{rows[r].m_file}, true);
            }
        } else if (kept > 0 && kept < files) {
            for (std::uint32_t r = begin; r < end; ++r) {
                const auto file = static_cast<std::uint32_t>(rows[r].m_file);
                if (!InKeepFolder(store, file))
                    SetFileMark(store, view, TFileIndex{rows[r].m_file}, true);
            }
        }
        begin = end;
    }
    store.AnnounceViewChanged(view, TViewChange::Marks);
}

} // namespace vdx
