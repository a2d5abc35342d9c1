#pragma once
// Duplicate grouping: turns the flat file table of a scan into the Same name,
// Same size, Same name-size and Zero size views by sorting the table in place,
// numbering equal names, and cutting runs of equal keys into groups; and
// re-indexes the store after files have been removed. The building blocks
// are shared with the content comparison and the result views.

#include <cstdint>
#include <string_view>

#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// Progress phases shown while the grouping runs.
// kPhasePreparingTables and kPhaseIndexing come from the message header.
inline constexpr int kPhaseScanCompleted = 7;

inline constexpr int kGroupingStepCount = 11;

// Lets the search worker report progress, pause and cancel between steps,
// and tests inject a failure into a step.
class TGroupingControl {
public:
    virtual ~TGroupingControl() = default;
    // Called before each step with that step's progress phase, and with the
    // completed phase after the last step; may block while the search is
    // paused. false asks the grouping to stop (the search is then aborted).
    virtual bool Continue(int progressPhase) = 0;
    // Called inside the exception guard of step 1..11, before its work.
    virtual void EnterStep(int step) { (void)step; }
};

// Runs the eleven steps in order, each under its own exception guard that
// appends the step's name to the error file and goes on. Returns false when
// control asked to stop between two steps.
bool RunGrouping(TScanData& store, TGroupingControl* control = nullptr);

// The step's name as written to the error file (step 1..11).
std::u16string_view GroupingStepName(int step);

// Rebuilds every view from the files not flagged removed and drops from the
// file table the removed files and every file left in no Same name or Same
// size group that is not zero-size. Marks are kept.
void ReindexAfterRemovals(TScanData& store);

// ---- Building blocks ----

enum class TFileSortKey {
    Name,     // removed last; base-name class, extension class, time, size, folder
    Size,     // removed last; size, time, base-name class, extension class, folder
    NameSize, // removed last; files with both a name and a size group first, name group, size group
    Content,  // removed last; Same content group
};
// In-place sort of the file table. The last key is the file's own name
// position, so any two distinct files differ.
void SortFiles(TScanData& store, TFileSortKey key);

void MakeUpperPool(TScanData& store);
// Sorts folders by path, each folder directly followed by its sub-tree, and
// rewrites every parent and file folder index.
void SortFolders(TScanData& store);
void AssignBaseNameClasses(TScanData& store);
void AssignExtensionClasses(TScanData& store);
// Each resets its view and sorts the file table; the order table and rows
// are built separately.
void BuildSizeGroups(TScanData& store);
void BuildNameGroups(TScanData& store);
void BuildNameSizeGroups(TScanData& store);
// The groups in creation order; sets every group's navigator position.
void BuildOrderTable(TScanData& store, TViewKind view);
// File rows of the view's files in file-table order plus one header row per
// group, sorted by name and with every group's header row set.
void BuildRows(TScanData& store, TViewKind view);
// Groups, rows and order of the Zero size view; counts the zero-size files.
void BuildZeroSizeView(TScanData& store);
// Group file and byte sums of every view and the zero-size file count.
void ComputeTotals(TScanData& store);
// Full clones groups, order and rows from the Same content view.
void BuildFullClones(TScanData& store);

// Row sort keys of the results grid.
enum TRowSortKey : int {
    kRowKeyName = 2,
    kRowKeyExtension = 3,
    kRowKeySize = 4,
    kRowKeyDate = 5,
    kRowKeyPath = 6,
    kRowKeyFolder = 7,
    kRowKeyGroup = 9,
    kRowKeyMark = 10,
};
// Sorts the view's rows: groups by ascending index whatever the direction,
// each header row first, its files by the key's chain (reversed when not
// ascending); then refreshes the header-row fields. Unknown keys sort by name.
void SortViewRows(TScanData& store, TViewKind view, int key, bool ascending);
// Sets each group's header-row field from the current row order.
void RefreshHeaderRows(TScanData& store, TViewKind view);

// Compares two folders' paths for the folder order: component by component,
// upper-cased first and then exactly, the end of a component before any
// character. Negative when a sorts first. Needs the upper-cased pool.
int CompareFolderPaths(const TScanData& store, std::uint32_t a, std::uint32_t b);

} // namespace vdx
