#include "engine/VDX_unit_Views.h"

#include <algorithm>

#include "engine/VDX_unit_ViewTexts.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TViewsDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TViewsDoor::Key();

template <typename T>
int Compare3(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

const TViewRowItem* RowAt(const TScanData& store, TViewKind view, std::int64_t row) {
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    if (row < 0 || row >= static_cast<std::int64_t>(rows.Count()))
        return nullptr;
    return &rows[static_cast<std::uint32_t>(row)];
}

bool GroupExists(const TScanData& store, TViewKind view, std::int64_t group) {
    return group >= 0 && group < static_cast<std::int64_t>(store.GroupCount(view));
}

// ---- Navigator order ----

enum class TNavKey : std::uint8_t { State, Name, Ext, Count, Total, Size, Number };

struct TNavChain {
    TNavKey keys[5];
    int length;
};

using K = TNavKey;

// Chains by navigator code 0, 1, 2, ...; a code beyond the table takes the
// last chain.
constexpr TNavChain kNameChains[] = {
    {{K::State, K::Name, K::Ext, K::Count, K::Total}, 5},
    {{K::Number, K::Name}, 2},
    {{K::Name, K::Ext, K::Total, K::Count, K::Number}, 5},
    {{K::Ext, K::Name, K::Total, K::Count, K::Number}, 5},
    {{K::Total, K::Count, K::Name, K::State, K::Number}, 5},
    {{K::Count, K::Total, K::State, K::Name, K::Number}, 5},
};
constexpr TNavChain kSizeChains[] = {
    {{K::State, K::Size, K::Total}, 3},
    {{K::Number, K::Size}, 2},
    {{K::Size, K::Total, K::Count, K::Number}, 4},
    {{K::Total, K::Count, K::Size, K::State, K::Number}, 5},
    {{K::Count, K::Total, K::State, K::Size, K::Number}, 5},
};
constexpr TNavChain kNameSizeChains[] = {
    {{K::State, K::Name, K::Ext, K::Count, K::Total}, 5},
    {{K::Number, K::Name}, 2},
    {{K::Name, K::Ext, K::Total, K::Count, K::Number}, 5},
    {{K::Ext, K::Name, K::Total, K::Count, K::Number}, 5},
    {{K::Size, K::Count, K::Name, K::Ext, K::Total}, 5},
    {{K::Total, K::Count, K::Name, K::State, K::Number}, 5},
    {{K::Count, K::Total, K::State, K::Name, K::Number}, 5},
};
constexpr TNavChain kZeroChains[] = {
    {{K::State, K::Count, K::Number}, 3},
    {{K::Number, K::Count}, 2},
    {{K::Count, K::State, K::Number}, 3},
};

template <std::size_t N>
const TNavChain& PickChain(const TNavChain (&chains)[N], int code) {
    if (code < 0 || static_cast<std::size_t>(code) >= N)
        return chains[N - 1];
    return chains[static_cast<std::size_t>(code)];
}

const TNavChain& ChainFor(TViewKind view, int code) {
    switch (NormalizeViewKind(view)) {
    case kViewSameName:
        return PickChain(kNameChains, code);
    case kViewSameSize:
    case kViewSameContent:
        return PickChain(kSizeChains, code);
    case kViewZeroSize:
        return PickChain(kZeroChains, code);
    default:
        return PickChain(kNameSizeChains, code);
    }
}

// What the navigator compares of each group record.
std::uint64_t TotalOf(const TNameGroupItem& g) {
    return g.m_totalBytes;
}
std::uint64_t TotalOf(const TSizeGroupItem& g) {
    return g.m_totalBytes;
}
std::uint64_t TotalOf(const TNameSizeGroupItem& g) {
    return g.m_totalBytes;
}
std::uint64_t TotalOf(const TFolderGroupItem&) {
    return 0;
}
std::uint64_t SizeOf(const TNameGroupItem&) {
    return 0;
}
std::uint64_t SizeOf(const TSizeGroupItem& g) {
    return g.m_size;
}
std::uint64_t SizeOf(const TNameSizeGroupItem& g) {
    return g.m_size;
}
std::uint64_t SizeOf(const TFolderGroupItem&) {
    return 0;
}

// A stretch of the pool in characters.
struct TSpan {
    std::uint32_t start;
    std::uint32_t length;
};
struct TNameSpans {
    TSpan base;
    TSpan ext;
};

// Base name and extension as the file classes see them: a name without
// extension keeps its terminating zero in the base name (README after
// README.TXT) and has an empty extension, which sorts first.
template <typename G>
TNameSpans NameSpansOf(const G& g) {
    std::uint32_t end = g.m_namePos + g.m_nameLength;
    TNameSpans spans{};
    spans.base = {g.m_namePos / 2, (g.m_extPos - g.m_namePos + 1) / 2};
    if (g.m_extPos < end)
        spans.ext = {g.m_extPos / 2, (end - g.m_extPos) / 2};
    return spans;
}
TNameSpans NameSpansOf(const TSizeGroupItem&) {
    return {};
}
TNameSpans NameSpansOf(const TFolderGroupItem&) {
    return {};
}

int CompareSpans(const char16_t* text, TSpan a, TSpan b) {
    std::uint32_t common = std::min(a.length, b.length);
    const char16_t* ta = text + a.start;
    const char16_t* tb = text + b.start;
    for (std::uint32_t i = 0; i < common; ++i) {
        if (ta[i] != tb[i])
            return ta[i] < tb[i] ? -1 : 1;
    }
    return Compare3(a.length, b.length);
}

// All marked first, then some, then none.
int StateRank(std::uint8_t state) {
    return state == 1 ? 0 : (state == 2 ? 1 : 2);
}

template <typename G>
int CompareGroups(const G* groups, std::int32_t a, std::int32_t b, const TNavChain& chain,
                  const char16_t* text) {
    const G& ga = groups[a];
    const G& gb = groups[b];
    for (int k = 0; k < chain.length; ++k) {
        int c = 0;
        switch (chain.keys[k]) {
        case TNavKey::State:
            c = Compare3(StateRank(ga.m_markState), StateRank(gb.m_markState));
            break;
        case TNavKey::Name:
            c = CompareSpans(text, NameSpansOf(ga).base, NameSpansOf(gb).base);
            break;
        case TNavKey::Ext:
            c = CompareSpans(text, NameSpansOf(ga).ext, NameSpansOf(gb).ext);
            break;
        case TNavKey::Count:
            c = Compare3(ga.m_head.m_fileCount, gb.m_head.m_fileCount);
            break;
        case TNavKey::Total:
            c = Compare3(TotalOf(ga), TotalOf(gb));
            break;
        case TNavKey::Size:
            c = Compare3(SizeOf(ga), SizeOf(gb));
            break;
        case TNavKey::Number:
            c = Compare3(a, b);
            break;
        }
        if (c != 0)
            return c;
    }
    return Compare3(a, b);
}

template <typename G>
void SortOrderBy(TRecordTable<std::int32_t>& order, const TRecordTable<G>& groups,
                 const TNavChain& chain, bool ascending, const char16_t* text) {
    const G* data = groups.Data();
    std::sort(order.begin(), order.end(), [=, &chain](std::int32_t a, std::int32_t b) {
        int c = CompareGroups(data, a, b, chain, text);
        return ascending ? c < 0 : c > 0;
    });
}

// The order table lists every group once after each build; anything else
// (a build that failed half way) is replaced by the group order first, so
// that the sort reads no group that does not exist.
bool EnsureOrderTable(TScanData& store, TViewKind view) {
    TRecordTable<std::int32_t>& order = store.Order(kKey, view);
    std::uint32_t n = store.GroupCount(view);
    bool valid = order.Count() == n;
    for (std::uint32_t i = 0; valid && i < n; ++i)
        valid = order[i] >= 0 && static_cast<std::uint32_t>(order[i]) < n;
    if (valid)
        return true;
    if (order.ResizeExact(n) != 0)
        return false;
    for (std::uint32_t i = 0; i < n; ++i)
        order[i] = static_cast<std::int32_t>(i);
    return true;
}

// The group at the position as a table index; false out of range.
bool GroupAt(const TScanData& store, TViewKind view, TNavPos position, std::uint32_t& group) {
    const std::int32_t g = NavGroupIndex(store, view, position).Value();
    if (g < 0)
        return false;
    group = static_cast<std::uint32_t>(g);
    return true;
}

} // namespace

// ---- Rows ----

std::uint32_t RowCount(const TScanData& store, TViewKind view) {
    return store.Rows(view).Count();
}

TFileIndex RowFile(const TScanData& store, TViewKind view, TRow row) {
    const TViewRowItem* item = RowAt(store, view, row.Value());
    return item != nullptr ? TFileIndex{item->m_file} : TFileIndex::kNone;
}

bool RowMark(const TScanData& store, TViewKind view, TRow row) {
    const std::int32_t file = RowFile(store, view, row).Value();
    if (file < 0 || static_cast<std::uint32_t>(file) >= store.FileCount())
        return false;
    return store.IsMarked(static_cast<std::uint32_t>(file), view);
}

std::int32_t RowGroupNumber(const TScanData& store, TViewKind view, TRow row) {
    const TViewRowItem* item = RowAt(store, view, row.Value());
    if (item == nullptr || !GroupExists(store, view, item->m_group))
        return 0;
    return item->m_group + 1;
}

std::int32_t RowNavigatorNumber(const TScanData& store, TViewKind view, TRow row) {
    const TViewRowItem* item = RowAt(store, view, row.Value());
    if (item == nullptr || !GroupExists(store, view, item->m_group))
        return -1;
    return store.GroupHead(view, static_cast<std::uint32_t>(item->m_group)).m_navPosition + 1;
}

// ---- Navigator ----

std::uint32_t NavigatorCount(const TScanData& store, TViewKind view) {
    return store.Order(view).Count();
}

TGroupIndex NavGroupIndex(const TScanData& store, TViewKind view, TNavPos position) {
    const TRecordTable<std::int32_t>& order = store.Order(view);
    const std::int64_t p = position.Value();
    if (p < 0 || p >= static_cast<std::int64_t>(order.Count()))
        return TGroupIndex::kNone;
    const std::int32_t group = order[static_cast<std::uint32_t>(p)];
    return GroupExists(store, view, group) ? TGroupIndex{group} : TGroupIndex::kNone;
}

std::int32_t NavGroupNumber(const TScanData& store, TViewKind view, TNavPos position) {
    return NavGroupIndex(store, view, position).Value() + 1;
}

std::uint32_t NavFileCount(const TScanData& store, TViewKind view, TNavPos position) {
    std::uint32_t g = 0;
    return GroupAt(store, view, position, g) ? store.GroupHead(view, g).m_fileCount : 0;
}

std::uint64_t NavTotalBytes(const TScanData& store, TViewKind view, TNavPos position) {
    std::uint32_t g = 0;
    return GroupAt(store, view, position, g) ? store.GroupTotalBytes(view, g) : 0;
}

std::int64_t NavCommonSize(const TScanData& store, TViewKind view, TNavPos position) {
    std::uint32_t g = 0;
    if (!GroupAt(store, view, position, g))
        return -1;
    switch (NormalizeViewKind(view)) {
    case kViewSameSize:
        return static_cast<std::int64_t>(store.SizeGroups()[g].m_size);
    case kViewSameContent:
        return static_cast<std::int64_t>(store.ContentGroups()[g].m_size);
    case kViewSameNameSize:
        return static_cast<std::int64_t>(store.NameSizeGroups()[g].m_size);
    case kViewFullClones:
        return static_cast<std::int64_t>(store.CloneGroups()[g].m_size);
    default:
        return -1;
    }
}

std::u16string_view NavName(const TScanData& store, TViewKind view, TNavPos position) {
    const TGroupIndex g = NavGroupIndex(store, view, position);
    return g == TGroupIndex::kNone ? kNoNameText : GroupName(store, view, g);
}

std::u16string_view NavFolderPath(const TScanData& store, TViewKind view, TNavPos position) {
    if (NormalizeViewKind(view) != kViewZeroSize)
        return kNoNameText;
    std::uint32_t g = 0;
    if (!GroupAt(store, view, position, g))
        return kNoNameText;
    const std::uint32_t folder = store.FolderGroups()[g].m_folder;
    return folder < store.FolderCount() ? store.FolderPath(folder) : kNoNameText;
}

std::uint8_t NavMarkState(const TScanData& store, TViewKind view, TNavPos position) {
    std::uint32_t g = 0;
    return GroupAt(store, view, position, g) ? store.GroupMarkState(view, g) : 0;
}

TRow NavHeaderRow(const TScanData& store, TViewKind view, TNavPos position) {
    std::uint32_t g = 0;
    return GroupAt(store, view, position, g) ? TRow{store.GroupHead(view, g).m_headerRow}
                                             : TRow::kNone;
}

// ---- Sorting ----

void SortRows(TScanData& store, TViewKind view, int key, bool ascending) {
    SortViewRows(store, view, key, ascending);
    store.AnnounceViewChanged(view, TViewChange::Order);
}

void SortNavigator(TScanData& store, TViewKind view, int code, bool ascending) {
    view = NormalizeViewKind(view);
    if (!EnsureOrderTable(store, view))
        return;
    const TNavChain& chain = ChainFor(view, code);
    // Names are compared upper-cased; a store whose upper-cased pool was
    // never made (its grouping failed) compares them as found.
    const char16_t* text = store.UpperPool().UsedBytes() == store.Pool().UsedBytes()
                               ? store.UpperPool().Data()
                               : store.Pool().Data();
    TRecordTable<std::int32_t>& order = store.Order(kKey, view);
    switch (view) {
    case kViewSameName:
        SortOrderBy(order, store.NameGroups(), chain, ascending, text);
        break;
    case kViewSameSize:
        SortOrderBy(order, store.SizeGroups(), chain, ascending, text);
        break;
    case kViewSameContent:
        SortOrderBy(order, store.ContentGroups(), chain, ascending, text);
        break;
    case kViewFullClones:
        SortOrderBy(order, store.CloneGroups(), chain, ascending, text);
        break;
    case kViewZeroSize:
        SortOrderBy(order, store.FolderGroups(), chain, ascending, text);
        break;
    default:
        SortOrderBy(order, store.NameSizeGroups(), chain, ascending, text);
        break;
    }
    for (std::uint32_t i = 0; i < order.Count(); ++i)
        store.GroupHead(kKey, view, static_cast<std::uint32_t>(order[i])).m_navPosition =
            static_cast<std::int32_t>(i);
    store.AnnounceViewChanged(view, TViewChange::Order);
}

// ---- Figures ----

TWidestValues WidestValues(const TScanData& store, TViewKind view) {
    TWidestValues widest;
    std::uint32_t groups = store.GroupCount(view);
    widest.m_groupNumber = static_cast<std::int32_t>(groups);
    for (std::uint32_t g = 0; g < groups; ++g)
        widest.m_groupTotal = std::max(widest.m_groupTotal, store.GroupTotalBytes(view, g));
    for (const TViewRowItem& row : store.Rows(view)) {
        if (row.m_file >= 0 && static_cast<std::uint32_t>(row.m_file) < store.FileCount())
            widest.m_fileSize =
                std::max(widest.m_fileSize, store.FileSize(static_cast<std::uint32_t>(row.m_file)));
    }
    return widest;
}

TViewFigures ViewFigures(const TScanData& store, TViewKind view) {
    const TViewCounters& counters = store.Counters(view);
    TViewFigures figures;
    figures.m_groups = store.GroupCount(view);
    figures.m_fileRows = counters.m_fileRows;
    figures.m_groupFiles = counters.m_groupFiles;
    figures.m_groupBytes = counters.m_groupBytes;
    figures.m_markedFiles = counters.m_markedFiles;
    figures.m_markedBytes = NormalizeViewKind(view) == kViewZeroSize ? 0 : counters.m_markedBytes;
    return figures;
}

bool AllRowsMarked(const TScanData& store, TViewKind view) {
    const TViewCounters& counters = store.Counters(view);
    return counters.m_markedFiles == counters.m_fileRows;
}

} // namespace vdx
