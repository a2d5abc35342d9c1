#pragma once
// The texts a result view shows: the header text of each group and the cell
// texts of a file row of the results grid. Free functions over a read-only
// store, so that the grid, the CSV report and the command line all word a
// view the same way. Texts are made on request, one row at a time.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/VDX_unit_Indexes.h"
#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// Column identifiers of the results grid (the column layouts use the same).
enum TGridColumn : int {
    kGridColMark = 10,
    kGridColGroup = 11,
    kGridColName = 12,
    kGridColExt = 13,
    kGridColPath = 14,
    kGridColSize = 15,
    kGridColDate = 16,
    kGridColAttr = 17,
};

// The text of a position that names no group or row.
inline constexpr std::u16string_view kNoGroupText = u"?grp";
// The name of a group position out of range, or of a view without names.
inline constexpr std::u16string_view kNoNameText = u"?name";

// The caption of a view ("Same name" .. "Zero size").
std::u16string_view ViewCaption(TViewKind view);

// The group's name as stored: the name of the file that created the group
// (Same name, Same name-size, Full clones); kNoNameText for another view or
// a group out of range.
std::u16string_view GroupName(const TScanData& store, TViewKind view, TGroupIndex group);

// The header text of group index group of the view; kNoGroupText when the
// group does not exist.
std::u16string GroupText(const TScanData& store, TViewKind view, TGroupIndex group);
// The group text of the group that grid row row belongs to (header or file
// row); kNoGroupText for a row out of range.
std::u16string RowGroupText(const TScanData& store, TViewKind view, TRow row);

// "ahrs" with "-" for each attribute bit that is clear (archive, hidden,
// read-only, system, in this order).
std::u16string AttributeCellText(std::uint32_t attributes);

// The text of one grid column for file file of the view. "M" has no text (it
// is drawn as a check box) and nor has an unknown column or a file index out
// of range. "Grp" is empty when the file is in no group of the view.
std::u16string FileCellText(const TScanData& store, TViewKind view, TFileIndex file, int column);

} // namespace vdx
