#pragma once
// The result views over the store: what the results grid and the group
// navigator ask of a view, by row or by navigator position, the two sorts
// and the figures used to size columns and fill tabs and status bars.
// Every query takes a typed position (VDX_unit_Indexes) and answers a
// neutral value for one out of range, so that a window may ask about any row
// it draws without checking first. Group texts and cell texts are in
// VDX_unit_ViewTexts; marking is in VDX_unit_Marks.

#include <cstdint>
#include <string_view>

#include "engine/VDX_unit_Grouping.h" // TRowSortKey
#include "engine/VDX_unit_Indexes.h"
#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// ---- Rows of the results grid ----

std::uint32_t RowCount(const TScanData& store, TViewKind view);
// The file of the row; TFileIndex::kNone for a header row or a row out of
// range.
TFileIndex RowFile(const TScanData& store, TViewKind view, TRow row);
// The row's file is marked in this view; false for a header row.
bool RowMark(const TScanData& store, TViewKind view, TRow row);
// Group index + 1 of the row's group; 0 out of range.
std::int32_t RowGroupNumber(const TScanData& store, TViewKind view, TRow row);
// Navigator position + 1 of the row's group; -1 out of range.
std::int32_t RowNavigatorNumber(const TScanData& store, TViewKind view, TRow row);

// ---- Positions of the group navigator ----

std::uint32_t NavigatorCount(const TScanData& store, TViewKind view);
// The group index listed at the position; TGroupIndex::kNone out of range.
TGroupIndex NavGroupIndex(const TScanData& store, TViewKind view, TNavPos position);
// Group index + 1; 0 out of range.
std::int32_t NavGroupNumber(const TScanData& store, TViewKind view, TNavPos position);
std::uint32_t NavFileCount(const TScanData& store, TViewKind view, TNavPos position);
// 0 out of range and in Zero size, whose groups keep no bytes.
std::uint64_t NavTotalBytes(const TScanData& store, TViewKind view, TNavPos position);
// The common size of the group's files; -1 out of range and in the views
// whose groups have no common size (Same name, Zero size).
std::int64_t NavCommonSize(const TScanData& store, TViewKind view, TNavPos position);
// The group's name as stored (Same name, Same name-size, Full clones);
// "?name" otherwise.
std::u16string_view NavName(const TScanData& store, TViewKind view, TNavPos position);
// The full path of the group's folder (Zero size); "?name" otherwise.
std::u16string_view NavFolderPath(const TScanData& store, TViewKind view, TNavPos position);
// 0 none, 1 all, 2 some of the group's files marked; 0 out of range.
std::uint8_t NavMarkState(const TScanData& store, TViewKind view, TNavPos position);
// The one-based row of the group's header, which is the row of its first
// file; TRow::kNone out of range.
TRow NavHeaderRow(const TScanData& store, TViewKind view, TNavPos position);

// ---- Sorting ----

// Re-sorts the view's rows: groups stay in ascending index order with their
// header row first whatever the direction; the files of each group follow
// the key's chain, reversed when not ascending. Keys are TRowSortKey values;
// an unknown key sorts by name. Refreshes every group's header-row field.
void SortRows(TScanData& store, TViewKind view, int key, bool ascending);

// Re-sorts the view's navigator order by the chain of the view's family for
// code, the navigator column clicked (a code without a chain of its own
// takes the family's last one), the whole comparison reversed when not
// ascending; then sets every group's navigator position. Groups equal on a
// whole chain are told apart by their index.
void SortNavigator(TScanData& store, TViewKind view, int code, bool ascending);

// ---- Figures ----

// The largest values a view shows, for sizing its columns.
struct TWidestValues {
    std::int32_t m_groupNumber = 0; // the largest group number
    std::uint64_t m_fileSize = 0;   // the largest size among the view's file rows
    std::uint64_t m_groupTotal = 0; // the largest group total; 0 in Zero size
};
TWidestValues WidestValues(const TScanData& store, TViewKind view);

// The counts of a view for its tab, the status bar and the information
// window, as the store keeps them.
struct TViewFigures {
    std::uint32_t m_groups = 0;
    std::uint32_t m_fileRows = 0;
    std::uint32_t m_groupFiles = 0;
    std::uint64_t m_groupBytes = 0;
    std::uint32_t m_markedFiles = 0;
    std::uint64_t m_markedBytes = 0; // always 0 in Zero size
};
TViewFigures ViewFigures(const TScanData& store, TViewKind view);

// The view's marked-file count equals its number of file rows; the main
// window's "Mark all files" then clears instead of marking.
bool AllRowsMarked(const TScanData& store, TViewKind view);

} // namespace vdx
