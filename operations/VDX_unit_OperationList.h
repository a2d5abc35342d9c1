#pragma once
// The operation list: the files marked in one view that a deletion, copy or
// move acts on, each with the check mark of the operation windows, and the
// alert-file list derived from it (the listed files of every group that is
// listed whole, which the delete safety alert shows). Both refer to files by
// their index in the store's file table and never write the store.
//
// Every row accessor answers a neutral value for a row outside the list, or
// for an entry whose file index is no longer valid (after the store has been
// re-indexed), so that a window may ask about any row it draws.

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/VDX_unit_ScanData.h"

namespace vdx {

#pragma pack(push, 1)
struct TOperationEntry {
    std::uint8_t m_checked;
    std::int32_t m_file; // -1: no longer a valid file index
};
#pragma pack(pop)
static_assert(sizeof(TOperationEntry) == 5);

// Growth step of the list, in entries.
inline constexpr std::uint32_t kOperationListStep = 16384;

// What the name and path accessors answer for a row that has no file.
inline constexpr std::u16string_view kNoFileName = u"?name";

// Sort keys of the operation and alert lists; each compares a chain of file
// properties and, last, the file index, so that no two entries are equal.
enum TOperationSortKey : int {
    kOpSortName,      // base name, extension, folder, time, size
    kOpSortExtension, // extension, base name, folder, time, size
    kOpSortSize,      // size, base name, extension, folder, time
    kOpSortTime,      // time, base name, extension, folder
    kOpSortFolder,    // folder, extension, base name, time, size
    kOpSortCheck,     // checked first, base name, extension, folder, size
    kOpSortGroup,     // alert list only: group number, then as name
};

// The key for a column identifier of the operation and alert list layouts:
// "M" 10, "Grp" 11, "Name" 12, "Ext" 13, "Path" 14, "Size" 15, "Date" 16,
// "Attr" 17 (which sorts by name); any other identifier sorts by name.
TOperationSortKey OperationSortKeyOfColumn(int columnId);

class TOperationList {
public:
    // store must outlive the list.
    explicit TOperationList(const TScanData& store) : m_store(store) {}
    TOperationList(const TOperationList&) = delete;
    TOperationList& operator=(const TOperationList&) = delete;

    // Empties the list, then appends unchecked every file of the file table,
    // in table order, whose mark bit for view is set and which has a group in
    // view. Returns 0, or the errno of a failed growth (the list then holds
    // the files taken so far and its totals agree with them).
    int Build(TViewKind view);
    // Empty, with a capacity of one entry and every figure zero.
    void Clear();
    // Sets every entry's file index to -1, keeping count and byte totals,
    // for a store whose file indices have changed (re-indexing after a run).
    void Invalidate();

    TViewKind View() const { return m_view; }
    std::int32_t Count() const { return static_cast<std::int32_t>(m_entries.Count()); }
    std::uint64_t TotalBytes() const { return m_totalBytes; }
    std::int32_t CheckedCount() const { return m_checkedCount; }
    std::uint64_t CheckedBytes() const { return m_checkedBytes; }
    std::size_t CapacityEntries() const { return m_entries.Capacity(); }

    // True when the store is of the revision the list was built from and
    // every entry still names a file that is marked in the list's view, has
    // a group there and is not flagged removed: the store still holds the
    // results the list was built from.
    bool MatchesStore() const;

    // ---- Rows ----

    // The row's file index; -1 for a row outside the list or an invalidated
    // entry.
    std::int32_t FileOf(std::int64_t row) const;
    std::u16string_view Name(std::int64_t row) const;       // kNoFileName without a file
    std::u16string_view FolderPath(std::int64_t row) const; // kNoFileName without a file
    std::int64_t Size(std::int64_t row) const;              // -1 without a file
    // false, leaving out untouched, without a file.
    bool LastWrite(std::int64_t row, TFileTime& out) const;
    bool Attributes(std::int64_t row, std::uint32_t& out) const;
    bool Checked(std::int64_t row) const;

    // ---- Checks ----

    // Inverts the row's check; false, changing nothing, for a row outside.
    bool ToggleCheck(std::int64_t row);
    // Checks (on) or unchecks every entry.
    void SetAllChecks(bool on);
    // Checks exactly the entries whose upper-cased folder path (byPath) or
    // file name contains the upper-cased pattern; unchecks all others.
    void CheckByPattern(std::u16string_view pattern, bool byPath);
    // Drops the checked entries, keeping the others in order, unchecked.
    void ExcludeChecked();

    // ---- Order ----

    void Sort(TOperationSortKey key, bool ascending);

    // The length of the longest full path (folder path with its trailing
    // separator, then the name) among the entries; the first entry with
    // that length is recorded. 0 for a list without valid entries.
    std::int32_t LongestPath();
    std::int32_t LongestPathRow() const { return m_longestRow; }
    const std::u16string& LongestPathText() const { return m_longestPath; }

private:
    bool ValidFile(std::int32_t file) const;
    const TOperationEntry* Entry(std::int64_t row) const;

    const TScanData& m_store;
    TRecordTable<TOperationEntry> m_entries{kOperationListStep};
    TViewKind m_view = kViewSameName;
    std::uint64_t m_revision = 0; // the store's when the list was built
    std::uint64_t m_totalBytes = 0;
    std::int32_t m_checkedCount = 0;
    std::uint64_t m_checkedBytes = 0;
    std::int32_t m_longestRow = -1;
    std::u16string m_longestPath;
};

// The alert-file list: the listed files of every group of the view all of
// whose files are in the operation list, kept together group by group.
class TAlertList {
public:
    explicit TAlertList(const TScanData& store) : m_store(store) {}
    TAlertList(const TAlertList&) = delete;
    TAlertList& operator=(const TAlertList&) = delete;

    // Rebuilds the list from the operation list's valid entries. Returns 0 or
    // the errno of a failed growth (the list is then empty).
    int Build(const TOperationList& list, TViewKind view);
    void Clear();

    TViewKind View() const { return m_view; }
    std::int32_t Count() const { return static_cast<std::int32_t>(m_files.Count()); }
    // Distinct groups of the view among the operation list's files.
    std::int32_t GroupsInList() const { return m_groupsInList; }
    // Groups all of whose files are in the operation list.
    std::int32_t FullyListedGroups() const { return m_fullGroups; }
    std::uint64_t TotalBytes() const { return m_totalBytes; }

    // Row accessors with the neutral values of TOperationList.
    std::int32_t FileOf(std::int64_t row) const;
    std::u16string_view Name(std::int64_t row) const;
    std::u16string_view FolderPath(std::int64_t row) const;
    std::int64_t Size(std::int64_t row) const;
    bool LastWrite(std::int64_t row, TFileTime& out) const;
    bool Attributes(std::int64_t row, std::uint32_t& out) const;
    // Group index + 1 in the list's view; 0 without a file.
    std::int32_t GroupNumber(std::int64_t row) const;

    void Sort(TOperationSortKey key, bool ascending);

private:
    const TScanData& m_store;
    TRecordTable<std::int32_t> m_files{kOperationListStep};
    TViewKind m_view = kViewSameName;
    std::int32_t m_groupsInList = 0;
    std::int32_t m_fullGroups = 0;
    std::uint64_t m_totalBytes = 0;
};

} // namespace vdx
