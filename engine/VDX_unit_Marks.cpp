#include "engine/VDX_unit_Marks.h"

#include <algorithm>

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TMarksDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TMarksDoor::Key();

std::uint8_t MarkStateOf(std::uint32_t marked, std::uint32_t count) {
    if (marked == 0)
        return 0;
    return marked >= count ? 1 : 2;
}

// Sets or clears the bit of file, which belongs to group (-1: none) of the
// view, and moves the file into or out of the counts. The caller has
// normalised view and checked file.
bool ApplyMark(TScanData& store, TViewKind view, std::uint32_t file, bool on) {
    TScanFileItem& f = store.File(kKey, file);
    const std::uint8_t bit = ViewMarkBit(view);
    if (((f.m_marks & bit) != 0) == on)
        return false;
    f.m_marks = static_cast<std::uint8_t>(on ? (f.m_marks | bit) : (f.m_marks & ~bit));
    const std::int32_t group = store.FileGroup(file, view);
    if (group < 0 || static_cast<std::uint32_t>(group) >= store.GroupCount(view))
        return true;
    const auto g = static_cast<std::uint32_t>(group);
    TGroupHead& head = store.GroupHead(kKey, view, g);
    TViewCounters& counters = store.Counters(kKey, view);
    // Zero size keeps no marked bytes; its files have none anyway.
    const std::uint64_t bytes = view == kViewZeroSize ? 0 : f.m_size;
    if (on) {
        ++head.m_markedCount;
        ++counters.m_markedFiles;
        counters.m_markedBytes += bytes;
    } else {
        // The guards only keep counts that were already wrong from wrapping.
        if (head.m_markedCount > 0)
            --head.m_markedCount;
        if (counters.m_markedFiles > 0)
            --counters.m_markedFiles;
        counters.m_markedBytes -= std::min(counters.m_markedBytes, bytes);
    }
    store.SetGroupMarkState(kKey, view, g, MarkStateOf(head.m_markedCount, head.m_fileCount));
    return true;
}

bool ValidFileRow(const TScanData& store, const TViewRowItem& row) {
    return row.m_file >= 0 && static_cast<std::uint32_t>(row.m_file) < store.FileCount();
}

} // namespace

bool SetFileMark(TScanData& store, TViewKind view, TFileIndex file, bool on) {
    if (file.Value() < 0 || static_cast<std::uint32_t>(file.Value()) >= store.FileCount())
        return false;
    return ApplyMark(store, NormalizeViewKind(view), static_cast<std::uint32_t>(file.Value()), on);
}

bool ToggleRowMark(TScanData& store, TViewKind view, TRow row) {
    view = NormalizeViewKind(view);
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    if (row.Value() < 0 || row.Value() >= static_cast<std::int64_t>(rows.Count()))
        return false;
    const TViewRowItem item = rows[static_cast<std::uint32_t>(row.Value())];
    if (!ValidFileRow(store, item))
        return false;
    const auto file = static_cast<std::uint32_t>(item.m_file);
    const bool changed = ApplyMark(store, view, file, !store.IsMarked(file, view));
    store.AnnounceViewChanged(view, TViewChange::Marks);
    return changed;
}

void MarkAll(TScanData& store, TViewKind view, bool on) {
    view = NormalizeViewKind(view);
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    for (std::uint32_t r = 0; r < rows.Count(); ++r) {
        if (ValidFileRow(store, rows[r]))
            ApplyMark(store, view, static_cast<std::uint32_t>(rows[r].m_file), on);
    }
    store.AnnounceViewChanged(view, TViewChange::Marks);
}

bool ToggleGroupMarks(TScanData& store, TViewKind view, TNavPos position) {
    view = NormalizeViewKind(view);
    const TRecordTable<std::int32_t>& order = store.Order(view);
    if (position.Value() < 0 || position.Value() >= static_cast<std::int64_t>(order.Count()))
        return false;
    const std::int32_t group = order[static_cast<std::uint32_t>(position.Value())];
    if (group < 0 || static_cast<std::uint32_t>(group) >= store.GroupCount(view))
        return false;
    const auto g = static_cast<std::uint32_t>(group);
    const bool on = store.GroupMarkState(view, g) != 1;

    // The group's files follow its header row, whose one-based position is
    // the zero-based position of the first file. A header-row field that
    // does not point there (rows never built) falls back to a full walk.
    const TRecordTable<TViewRowItem>& rows = store.Rows(view);
    const std::int32_t headerRow = store.GroupHead(view, g).m_headerRow;
    std::uint32_t first = 0;
    std::uint32_t count = rows.Count();
    if (headerRow >= 1 && static_cast<std::uint32_t>(headerRow) <= rows.Count() &&
        rows[static_cast<std::uint32_t>(headerRow) - 1].m_file < 0 &&
        rows[static_cast<std::uint32_t>(headerRow) - 1].m_group == group) {
        first = static_cast<std::uint32_t>(headerRow);
        for (count = 0; first + count < rows.Count(); ++count) {
            const TViewRowItem& row = rows[first + count];
            if (row.m_file < 0 || row.m_group != group)
                break;
        }
    }
    for (std::uint32_t r = first; r < first + count; ++r) {
        if (rows[r].m_group == group && ValidFileRow(store, rows[r]))
            ApplyMark(store, view, static_cast<std::uint32_t>(rows[r].m_file), on);
    }
    store.AnnounceViewChanged(view, TViewChange::Marks);
    return true;
}

void ClearViewMarks(TScanData& store, TViewKind view) {
    view = NormalizeViewKind(view);
    const std::uint8_t keep = static_cast<std::uint8_t>(~ViewMarkBit(view));
    for (TScanFileItem& f : store.Files(kKey))
        f.m_marks &= keep;
    const std::uint32_t groups = store.GroupCount(view);
    for (std::uint32_t g = 0; g < groups; ++g) {
        store.GroupHead(kKey, view, g).m_markedCount = 0;
        store.SetGroupMarkState(kKey, view, g, 0);
    }
    store.Counters(kKey, view).m_markedFiles = 0;
    store.Counters(kKey, view).m_markedBytes = 0;
    store.AnnounceViewChanged(view, TViewChange::Marks);
}

bool GroupFullyMarked(const TScanData& store, TViewKind view, TGroupIndex group) {
    const std::int32_t g = group.Value();
    return g >= 0 && static_cast<std::uint32_t>(g) < store.GroupCount(view) &&
           store.GroupMarkState(view, static_cast<std::uint32_t>(g)) == 1;
}

} // namespace vdx
