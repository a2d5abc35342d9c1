#pragma once
// Marks of the result views: each file carries one mark bit per view, and
// the store keeps beside the bits the counts the windows show (marked files
// and a mark state per group, marked files and bytes per view). Every
// operation here changes bits and counts together, so that after any of
// them a group's marked count equals the number of its members whose bit is
// set, the view's count is the sum over its groups and the view's bytes the
// sum of its marked files' sizes (Zero size keeps no bytes). A file that
// carries a bit but belongs to no group of the view is counted nowhere.
// Each operation but SetFileMark announces the view's marks changed;
// SetFileMark is the step of loops over many files, whose callers announce
// once when they are done.

#include <cstdint>

#include "engine/VDX_unit_Indexes.h"
#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// Flips the mark of the row's file. false, changing nothing, for a header
// row or a row out of range.
bool ToggleRowMark(TScanData& store, TViewKind view, TRow row);

// Sets (on) or clears every file row's mark in the view, whatever the
// marks were before.
void MarkAll(TScanData& store, TViewKind view, bool on);

// Marks every file of the group at the navigator position unless all of
// them are marked, in which case it clears them all. false, changing
// nothing, for a position out of range.
bool ToggleGroupMarks(TScanData& store, TViewKind view, TNavPos position);

// Sets or clears one file's bit for the view, keeping its group's count and
// state and the view's counts. true when the bit changed; false for a file
// out of range or a bit that already had that value.
bool SetFileMark(TScanData& store, TViewKind view, TFileIndex file, bool on);

// Clears the view's bit on every file of the store, grouped or not, and
// zeroes every marked count of the view.
void ClearViewMarks(TScanData& store, TViewKind view);

// Every file of the group is marked (mark state 1); false for a group out
// of range.
bool GroupFullyMarked(const TScanData& store, TViewKind view, TGroupIndex group);

} // namespace vdx
