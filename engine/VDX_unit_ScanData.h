#pragma once
// The scan store: every folder and file a search takes, their names, the
// groups, rows and navigator orders of the six result views, and the counters
// the progress and information windows show. Built for millions of files:
// packed fixed-width records in blocks that grow by large steps, names kept
// once in a UTF-16 pool and referred to by byte position.

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/VDX_unit_SearchData.h" // kNoVolume and the attribute bits
#include "engine/VDX_unit_StoreObserver.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The six result views. Their codes are shared by every view operation; any
// code the store does not know is taken as Same name-size.
enum TViewKind : std::int32_t {
    kViewSameName = 16,
    kViewSameSize = 17,
    kViewSameNameSize = 18,
    kViewSameContent = 19,
    kViewFullClones = 20,
    kViewZeroSize = 21,
};
inline constexpr int kViewCount = 6;

constexpr TViewKind NormalizeViewKind(int kind) {
    switch (kind) {
    case kViewSameName:
    case kViewSameSize:
    case kViewSameContent:
    case kViewFullClones:
    case kViewZeroSize:
        return static_cast<TViewKind>(kind);
    default:
        return kViewSameNameSize;
    }
}
// 0..5 in display order, for the per-view arrays of the store.
constexpr int ViewSlot(int kind) {
    return NormalizeViewKind(kind) - kViewSameName;
}
constexpr TViewKind ViewOfSlot(int slot) {
    return static_cast<TViewKind>(kViewSameName + slot);
}
// The view's bit in TScanFileItem::m_marks.
constexpr std::uint8_t ViewMarkBit(int kind) {
    return static_cast<std::uint8_t>(1u << ViewSlot(kind));
}

// Growth steps of the tables, in records (the text pool in bytes).
inline constexpr std::uint32_t kFolderStep = 2048;
inline constexpr std::uint32_t kFileStep = 16384;
inline constexpr std::uint32_t kGroupStep = 16384;
inline constexpr std::uint32_t kTextPoolStep = 2359296;

#pragma pack(push, 1)

// One file taken by the scan. Positions are byte positions in the text pools.
struct TScanFileItem {
    TFileTime m_lastWrite;
    std::uint64_t m_size;
    std::uint32_t m_attributes;
    std::uint32_t m_folder;
    std::int32_t m_nameGroup; // -1: in no group of that view
    std::int32_t m_sizeGroup;
    std::int32_t m_nameSizeGroup;
    std::int32_t m_contentGroup;
    std::int32_t m_cloneGroup;
    std::int32_t m_zeroGroup;
    std::uint32_t m_namePos;
    // The dot that starts the extension; for a name without extension one
    // byte past the end of the name, inside its terminating zero.
    std::uint32_t m_extPos;
    std::int32_t m_baseClass;   // equal for equal base names ignoring case; -1 until grouped
    std::int32_t m_extClass;    // equal for equal extensions ignoring case; -1 until grouped
    std::uint16_t m_nameLength; // bytes
    std::uint16_t m_volume;
    std::uint8_t m_marks; // ViewMarkBit per view
    std::uint8_t m_removed;
    std::uint8_t m_zeroSize;
    // What tells the file the scan saw from one put in its place since: its
    // inode and its change time, each folded to 32 bits (FoldInode,
    // FoldChangeTime). A look-alike made with the same size and a copied
    // last-write time still gets a new change time, and usually a new inode.
    // The device is its folder's: a file lies on the file system of the
    // folder that lists it. Both 0 for a file no scan recorded.
    std::uint32_t m_inode;
    std::uint32_t m_changeTime;
};

// The item's group index in the view, -1 when it has none. Any other view
// kind reads Same name and size, as NormalizeViewKind maps it.
inline std::int32_t FileItemGroup(const TScanFileItem& f, TViewKind view) {
    switch (view) {
    case kViewSameName:
        return f.m_nameGroup;
    case kViewSameSize:
        return f.m_sizeGroup;
    case kViewSameContent:
        return f.m_contentGroup;
    case kViewFullClones:
        return f.m_cloneGroup;
    case kViewZeroSize:
        return f.m_zeroGroup;
    default:
        return f.m_nameSizeGroup;
    }
}

// Puts the item in no group of any view.
inline void ClearFileItemGroups(TScanFileItem& f) {
    f.m_nameGroup = -1;
    f.m_sizeGroup = -1;
    f.m_nameSizeGroup = -1;
    f.m_contentGroup = -1;
    f.m_cloneGroup = -1;
    f.m_zeroGroup = -1;
}

// One folder. A search path's own folder is its own parent.
struct TScanFolderItem {
    std::uint32_t m_searchPath;
    std::uint32_t m_parent;
    std::uint32_t m_filesFound;
    std::uint32_t m_subFoldersAdded;
    std::uint32_t m_discoveryIndex;
    std::uint32_t m_pathPos;    // the path always ends with the separator
    std::uint16_t m_pathLength; // bytes
    std::uint16_t m_volume;
    std::uint8_t m_searchRoot;
    std::uint8_t m_keepFolder;
    // The folder's identity as the scan listed it (for a search root, the
    // folder its path led to), so that an operation can tell it from a
    // folder or link put in its place. Both 0 for a folder no scan recorded.
    std::uint64_t m_device;
    std::uint64_t m_inode;
};

// One row of a view's grid: a file of a group, or the group's header row.
struct TViewRowItem {
    std::int32_t m_file; // -1: the header row
    std::int32_t m_group;
};

// The part every group record begins with.
struct TGroupHead {
    std::int32_t m_navPosition; // place in the view's order table, -1 until set
    std::int32_t m_headerRow;   // one-based row of the header = zero-based row of the first file
    std::uint32_t m_markedCount;
    std::uint32_t m_fileCount;
};

// A group of Same size or Same content.
struct TSizeGroupItem {
    TGroupHead m_head;
    std::uint64_t m_totalBytes;
    std::uint64_t m_size;
    std::uint8_t m_markState; // 0 none, 1 all, 2 some marked
};

// A group of Same name; its name is the name of the file that created it.
struct TNameGroupItem {
    TGroupHead m_head;
    std::uint64_t m_totalBytes;
    std::uint32_t m_namePos;
    std::uint32_t m_extPos;
    std::uint32_t m_nameLength;
    std::uint8_t m_markState;
};

// A group of Same name-size or Full clones.
struct TNameSizeGroupItem {
    TGroupHead m_head;
    std::uint64_t m_totalBytes;
    std::uint64_t m_size;
    std::uint32_t m_namePos;
    std::uint32_t m_extPos;
    std::uint16_t m_nameLength;
    std::uint8_t m_markState;
};

// A group of Zero size: the zero-size files of one folder.
struct TFolderGroupItem {
    TGroupHead m_head;
    std::uint32_t m_folder;
    std::uint8_t m_markState;
};

#pragma pack(pop)

static_assert(sizeof(TScanFileItem) == 79);
static_assert(sizeof(TScanFolderItem) == 46);

// The 32-bit forms of a file's identity kept in TScanFileItem. They are only
// ever compared for equality with the same fold of a fresh stat.
constexpr std::uint32_t FoldInode(std::uint64_t inode) {
    return static_cast<std::uint32_t>(inode ^ (inode >> 32));
}
constexpr std::uint32_t FoldChangeTime(std::int64_t seconds, std::int64_t nanoseconds) {
    const auto ns = static_cast<std::uint64_t>(seconds) * 1'000'000'000ull +
                    static_cast<std::uint64_t>(nanoseconds);
    return static_cast<std::uint32_t>(ns ^ (ns >> 32));
}
static_assert(sizeof(TViewRowItem) == 8);

// The memory allocator of the store's blocks, replaceable so that tests can
// make a growth fail. Same contract as std::realloc.
using TBlockReallocFn = void* (*)(void* block, std::size_t bytes);
// Installs fn (nullptr restores std::realloc) and returns the previous one.
// Not thread-safe: tests install it before any worker runs.
TBlockReallocFn SetBlockRealloc(TBlockReallocFn fn);
void* BlockRealloc(void* block, std::size_t bytes);

// A growable block of packed records. Growing reallocates the block (large
// blocks are remapped by the C library rather than copied), so no pointer or
// reference into a table may be kept across a call that appends.
template <typename T>
class TRecordTable {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    explicit TRecordTable(std::uint32_t step) : m_step(step) { Reset(); }
    ~TRecordTable() { std::free(m_data); }
    TRecordTable(const TRecordTable&) = delete;
    TRecordTable& operator=(const TRecordTable&) = delete;

    std::uint32_t Count() const { return m_count; }
    std::uint32_t Capacity() const { return m_capacity; }
    std::size_t CapacityBytes() const { return std::size_t{m_capacity} * sizeof(T); }
    bool Empty() const { return m_count == 0; }
    T* Data() { return m_data; }
    const T* Data() const { return m_data; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_count; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_count; }
    T& operator[](std::uint32_t i) { return m_data[i]; }
    const T& operator[](std::uint32_t i) const { return m_data[i]; }

    // Appends one record, growing by the table's step when full. Returns 0,
    // or the errno of the failed growth (the table is then unchanged).
    [[nodiscard]] int Append(const T& record) {
        if (int rc = MakeRoom())
            return rc;
        m_data[m_count++] = record;
        return 0;
    }

    // Grows by the step when the table is full, so that the next Append
    // cannot fail. Returns 0 or the errno of the failed growth.
    [[nodiscard]] int MakeRoom() {
        if (m_count < m_capacity)
            return 0;
        if (m_capacity > kMaxRecords - m_step)
            return EOVERFLOW;
        return SetCapacity(m_count + m_step);
    }

    // Makes the table exactly n records long (capacity n, at least one) for
    // tables that are rebuilt whole; the records' content is unspecified.
    [[nodiscard]] int ResizeExact(std::uint32_t n) {
        if (n > kMaxRecords)
            return EOVERFLOW;
        if (int rc = SetCapacity(n == 0 ? 1 : n))
            return rc;
        m_count = n;
        return 0;
    }

    // Drops the records from n on and shrinks the capacity to n + 1.
    void Truncate(std::uint32_t n) {
        if (n >= m_count)
            return;
        m_count = n;
        (void)SetCapacity(n + 1); // a failed shrink keeps the larger block
    }

    // Empty, with a capacity of one record.
    void Reset() {
        m_count = 0;
        if (m_capacity != 1 && SetCapacity(1) != 0 && m_data == nullptr)
            m_capacity = 0;
    }

private:
    // Record indices are signed 32-bit wherever they are stored.
    static constexpr std::uint32_t kMaxRecords = 0x7FFFFFFF;

    [[nodiscard]] int SetCapacity(std::uint32_t capacity) {
        void* block = BlockRealloc(m_data, std::size_t{capacity} * sizeof(T));
        if (block == nullptr)
            return ENOMEM;
        m_data = static_cast<T*>(block);
        m_capacity = capacity;
        return 0;
    }

    T* m_data = nullptr;
    std::uint32_t m_count = 0;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_step;
};

// A UTF-16 text pool: texts appended one after another, each followed by a
// terminating zero character, addressed by byte position.
class TTextPool {
public:
    TTextPool() { Reset(); }
    ~TTextPool() { std::free(m_data); }
    TTextPool(const TTextPool&) = delete;
    TTextPool& operator=(const TTextPool&) = delete;

    // Appends text and its terminating zero; bytePos receives its position.
    // Returns 0, or the errno of a failed growth (the pool is then unchanged).
    [[nodiscard]] int Append(std::u16string_view text, std::uint32_t& bytePos);
    // Replaces the content by a copy of source's used part, upper-cased.
    [[nodiscard]] int MakeUpperCopyOf(const TTextPool& source);
    void Reset();

    const char16_t* At(std::uint32_t bytePos) const { return m_data + bytePos / 2; }
    char16_t* Data() { return m_data; }
    const char16_t* Data() const { return m_data; }
    std::uint32_t UsedBytes() const { return m_usedBytes; }
    std::size_t CapacityBytes() const { return m_capacityBytes; }

private:
    [[nodiscard]] int SetCapacity(std::size_t bytes);

    char16_t* m_data = nullptr;
    std::uint32_t m_usedBytes = 0;
    std::size_t m_capacityBytes = 0;
};

// Counters of one view.
struct TViewCounters {
    std::uint32_t m_fileRows = 0;   // files that belong to a group of the view
    std::uint32_t m_groupFiles = 0; // sum of the groups' file counts
    std::uint64_t m_groupBytes = 0; // sum of the groups' total bytes
    std::uint32_t m_markedFiles = 0;
    std::uint64_t m_markedBytes = 0;
};

// Outcome flags of the last search and comparison, and whether the
// operation logs of the last run were written (the front end that writes
// them records it).
struct TScanStatus {
    bool m_searchAborted = false;
    bool m_searchDone = false;
    bool m_contentAborted = false;
    bool m_contentDone = false;
    bool m_fullLogOpened = false;
    bool m_errorLogOpened = false;
};

// Figures of the last deletion or copy/move, the one place the summary and
// information windows read them from: what the run was given when it
// started, its progress while it ran, and its outcome once it has ended.
// The checked counts of the operation windows are the operation list's.
struct TOperationFigures {
    std::uint32_t m_filesToProcess = 0;
    std::uint64_t m_bytesToProcess = 0;
    std::uint32_t m_filesProcessed = 0;
    std::uint64_t m_bytesProcessed = 0;
    std::uint32_t m_filesFailed = 0;
    std::uint32_t m_filesInError = 0;
    // Written when the run has ended: files deleted (a deletion) or copied
    // or moved (a copy/move) and their bytes, and the bytes of the failed
    // files.
    std::uint32_t m_filesDone = 0;
    std::uint64_t m_bytesDone = 0;
    std::uint64_t m_bytesFailed = 0;
    bool m_move = false; // copy when false
    std::u16string m_destination;
    std::uint16_t m_destinationVolume = kNoVolume;
    // The copy/move's collision rule, as the operations code it (Skip 0,
    // AutoRename 1, Overwrite 2); 0 for a deletion.
    std::int32_t m_collisionRule = 0;

    // Records the outcome of a run that has ended.
    void RecordOutcome(std::uint32_t processed, std::uint64_t processedBytes, std::uint32_t done,
                       std::uint64_t doneBytes, std::int32_t failed, std::uint64_t failedBytes) {
        RecordProgress(processed, processedBytes, failed);
        m_filesDone = done;
        m_bytesDone = doneBytes;
        m_bytesFailed = failedBytes;
    }

    // Records a running operation's progress. The workers count failures
    // once, so a failed file is both failed and in error here.
    void RecordProgress(std::uint32_t processed, std::uint64_t bytes, std::int32_t failed) {
        m_filesProcessed = processed;
        m_bytesProcessed = bytes;
        m_filesFailed = static_cast<std::uint32_t>(failed);
        m_filesInError = m_filesFailed;
    }
};

// Sub-folders the last search did not enter because a folder protection
// skipped them, per protection.
struct TProtectionSkips {
    std::uint32_t hidden = 0;
    std::uint32_t system = 0;   // the operating system's folders
    std::uint32_t programs = 0; // the folders of installed programs
    std::uint32_t Total() const { return hidden + system + programs; }
};

// A file of a Same size group that the last comparison could not open or
// read, with the errno: it is in no content group, and the front ends say so
// rather than let it pass as unique. Kept by path, which re-indexing after
// removals does not change.
struct TUncomparedFile {
    std::u16string m_path;
    int m_error = 0;
};

// The key to the store's mutable tables, records and figures. Only the
// units that build and change the store can make one: the folder scan,
// grouping, the content comparison, marks, smart marking, the views' sorts,
// the search run and the operations, each through a door of its own defined
// in its source file, and the tests and benchmarks through theirs. A front
// end reads through Views, ViewTexts and Marks and the const accessors, and
// reaching for a table to change does not compile there. The key costs
// nothing: an empty value passed along.
class TStoreKey {
private:
    constexpr TStoreKey() noexcept = default;

    friend struct TFolderScanDoor;
    friend struct TGroupingDoor;
    friend struct TContentCompareDoor;
    friend struct TMarksDoor;
    friend struct TSmartMarkDoor;
    friend struct TViewsDoor;
    friend struct TSearchRunDoor;
    friend struct TDeleteDoor;
    friend struct TCopyMoveDoor;
    friend struct TOperationRunDoor;
    friend struct TTestStoreDoor;
    friend struct TBenchStoreDoor;
};

class TScanData {
public:
    TScanData();
    TScanData(const TScanData&) = delete;
    TScanData& operator=(const TScanData&) = delete;

    // ---- Appending (the folder scan) ----

    // Adds a folder whose full path ends with the separator. A search root
    // becomes its own parent whatever parent says. Returns the new folder
    // index, or -1 with errorCode set when the table or the pool could not
    // grow or the path is too long for a record.
    std::int32_t AddFolder(std::uint16_t volume, std::uint32_t searchPath, std::uint32_t parent,
                           bool searchRoot, std::u16string_view path, int& errorCode);
    std::int32_t AddFolder(std::uint16_t volume, std::uint32_t searchPath, std::uint32_t parent,
                           bool searchRoot, std::u16string_view path);
    // Adds a file of folder. Returns 0, or the errno when the file table or
    // the pool could not grow (the file is then not added); EINVAL for an
    // empty name, ENAMETOOLONG for a name too long for a record.
    int AddFile(std::uint16_t volume, std::uint32_t folder, std::u16string_view name,
                std::uint64_t size, TFileTime lastWrite, std::uint32_t attributes);
    // Records how many entries the folder's listing had and how many
    // sub-folders were added from it, and adds both to the scan sums. Called
    // once per listed folder.
    void SetFolderCounts(std::uint32_t folder, std::uint32_t filesFound,
                         std::uint32_t subFoldersAdded);

    // ---- Resetting ----

    // Empties every table and pool and zeroes every counter and the four
    // search and comparison flags; keeps the protection settings.
    void ClearForNewSearch();
    // Empties the Same content and Full clones views (groups, rows, orders,
    // counters) and clears every file's content and clone group; the files'
    // Same content and Full clones mark bits are kept for the next
    // comparison to count.
    void ClearContentResults();
    // Rebuilds every view from the files not flagged removed and drops the
    // removed files from the file table. File indices change. Implemented by
    // the grouping unit.
    void ReindexAfterRemovals();
    // Resets one view's group table, rows, order and counters (the files'
    // group fields are left to the caller).
    void ResetView(TViewKind view);

    // ---- Record accessors ----

    std::uint32_t FileCount() const { return m_files.Count(); }
    std::uint32_t FolderCount() const { return m_folders.Count(); }
    const TScanFileItem& File(std::uint32_t i) const { return m_files[i]; }
    TScanFileItem& File(TStoreKey, std::uint32_t i) { return m_files[i]; }
    const TScanFolderItem& Folder(std::uint32_t i) const { return m_folders[i]; }
    TScanFolderItem& Folder(TStoreKey, std::uint32_t i) { return m_folders[i]; }

    // Texts as found, in their own letter case. The views are valid until
    // the next append.
    std::u16string_view FileName(std::uint32_t file) const;
    std::u16string_view FolderPath(std::uint32_t folder) const;
    std::u16string_view FolderPathOfFile(std::uint32_t file) const;
    std::u16string FullPath(std::uint32_t file) const;
    // The extension with its dot, or empty when the name has none.
    std::u16string_view FileExtension(std::uint32_t file) const;
    // The upper-cased name; only after the upper-cased pool has been made.
    std::u16string_view FileNameUpper(std::uint32_t file) const;
    std::u16string_view FolderPathUpper(std::uint32_t folder) const;

    std::uint64_t FileSize(std::uint32_t file) const { return m_files[file].m_size; }
    TFileTime FileLastWrite(std::uint32_t file) const { return m_files[file].m_lastWrite; }
    std::uint32_t FileAttributes(std::uint32_t file) const { return m_files[file].m_attributes; }
    std::uint16_t FileVolume(std::uint32_t file) const { return m_files[file].m_volume; }
    bool IsMarked(std::uint32_t file, TViewKind view) const {
        return (m_files[file].m_marks & ViewMarkBit(view)) != 0;
    }
    // The file's group index in the view, -1 when it has none.
    std::int32_t FileGroup(std::uint32_t file, TViewKind view) const;
    void SetFileGroup(TStoreKey, std::uint32_t file, TViewKind view, std::int32_t group);

    // ---- Tables ----
    // Read by anyone; changed only with the key (TStoreKey).

    const TRecordTable<TScanFileItem>& Files() const { return m_files; }
    TRecordTable<TScanFileItem>& Files(TStoreKey) { return m_files; }
    const TRecordTable<TScanFolderItem>& Folders() const { return m_folders; }
    TRecordTable<TScanFolderItem>& Folders(TStoreKey) { return m_folders; }
    const TTextPool& Pool() const { return m_pool; }
    TTextPool& Pool(TStoreKey) { return m_pool; }
    const TTextPool& UpperPool() const { return m_upperPool; }
    TTextPool& UpperPool(TStoreKey) { return m_upperPool; }

    TRecordTable<TNameGroupItem>& NameGroups(TStoreKey) { return m_nameGroups; }
    TRecordTable<TSizeGroupItem>& SizeGroups(TStoreKey) { return m_sizeGroups; }
    TRecordTable<TNameSizeGroupItem>& NameSizeGroups(TStoreKey) { return m_nameSizeGroups; }
    TRecordTable<TSizeGroupItem>& ContentGroups(TStoreKey) { return m_contentGroups; }
    TRecordTable<TNameSizeGroupItem>& CloneGroups(TStoreKey) { return m_cloneGroups; }
    TRecordTable<TFolderGroupItem>& FolderGroups(TStoreKey) { return m_folderGroups; }
    const TRecordTable<TNameGroupItem>& NameGroups() const { return m_nameGroups; }
    const TRecordTable<TSizeGroupItem>& SizeGroups() const { return m_sizeGroups; }
    const TRecordTable<TNameSizeGroupItem>& NameSizeGroups() const { return m_nameSizeGroups; }
    const TRecordTable<TSizeGroupItem>& ContentGroups() const { return m_contentGroups; }
    const TRecordTable<TNameSizeGroupItem>& CloneGroups() const { return m_cloneGroups; }
    const TRecordTable<TFolderGroupItem>& FolderGroups() const { return m_folderGroups; }

    const TRecordTable<TViewRowItem>& Rows(TViewKind view) const {
        return m_rowTables[ViewSlot(view)];
    }
    TRecordTable<TViewRowItem>& Rows(TStoreKey, TViewKind view) {
        return m_rowTables[ViewSlot(view)];
    }
    const TRecordTable<std::int32_t>& Order(TViewKind view) const {
        return m_orderTables[ViewSlot(view)];
    }
    TRecordTable<std::int32_t>& Order(TStoreKey, TViewKind view) {
        return m_orderTables[ViewSlot(view)];
    }
    const TViewCounters& Counters(TViewKind view) const { return m_viewCounters[ViewSlot(view)]; }
    TViewCounters& Counters(TStoreKey, TViewKind view) { return m_viewCounters[ViewSlot(view)]; }

    // Group access by view, for code that treats every view alike. g must be
    // below GroupCount(view).
    std::uint32_t GroupCount(TViewKind view) const;
    const TGroupHead& GroupHead(TViewKind view, std::uint32_t g) const;
    TGroupHead& GroupHead(TStoreKey, TViewKind view, std::uint32_t g);
    std::uint8_t GroupMarkState(TViewKind view, std::uint32_t g) const;
    void SetGroupMarkState(TStoreKey, TViewKind view, std::uint32_t g, std::uint8_t state);
    // Total bytes of the group; 0 for Zero size groups, which keep none.
    std::uint64_t GroupTotalBytes(TViewKind view, std::uint32_t g) const;

    // ---- Counters, flags and settings ----

    std::uint64_t FilesFoundSum() const { return m_filesFoundSum; }
    std::uint64_t SubFoldersAddedSum() const { return m_subFoldersSum; }
    std::uint32_t ZeroSizeFiles() const { return m_zeroSizeFiles; }
    void SetZeroSizeFiles(std::uint32_t n) { m_zeroSizeFiles = n; }
    std::uint32_t DroppedAtReindex() const { return m_droppedAtReindex; }
    void SetDroppedAtReindex(std::uint32_t n) { m_droppedAtReindex = n; }

    // Durations as date-time differences (days).
    double m_durationBaseNames = 0;  // sorting and classing base names
    double m_durationExtensions = 0; // sorting and classing extensions
    double m_durationSearch = 0;
    double m_durationContent = 0;

    const TProtectionSkips& ProtectionSkips() const { return m_protectionSkips; }
    TProtectionSkips& ProtectionSkips(TStoreKey) { return m_protectionSkips; }

    // Files the last comparison could not read; rare, so kept as a list.
    const std::vector<TUncomparedFile>& UncomparedFiles() const { return m_uncompared; }
    void AddUncomparedFile(std::u16string path, int error) {
        m_uncompared.push_back(TUncomparedFile{std::move(path), error});
    }

    const TScanStatus& Status() const { return m_status; }
    TScanStatus& Status(TStoreKey) { return m_status; }
    const TOperationFigures& Operation() const { return m_operation; }
    TOperationFigures& Operation(TStoreKey) { return m_operation; }

    // Folders protected from the scan, taken once when the store is made.
    // Linux paths are case-sensitive, so they are kept as the system gives
    // them rather than upper-cased.
    const std::vector<std::u16string>& SystemFolders() const { return m_systemFolders; }
    const std::vector<std::u16string>& ProgramFolders() const { return m_programFolders; }
    bool m_protectSystemFolder = true;
    bool m_protectProgramFolder = true;
    bool m_protectHiddenFolders = true;

    // Bytes held by every table and pool at their current capacities.
    std::size_t MemoryBytes() const;

    // ---- Change notices ----

    // The front end to tell of changes; nullptr (the default) tells nobody.
    // It must outlive the store or be taken away first.
    void SetObserver(TStoreObserver* observer) { m_observer = observer; }
    // Bumped by every change that replaces rows, groups or file indices
    // (each view reset, so every clearing and re-indexing), so that whoever
    // keeps indices across calls can tell a later store from the one it
    // read even when the indices happen to be the same. Readable from any
    // thread.
    std::uint64_t Revision() const { return m_revision.load(std::memory_order_relaxed); }
    // The announcements, made on the user-interface thread only (a worker
    // makes them through its main-thread caller).
    void AnnounceClearing(TStoreChange change);
    void AnnounceCleared(TStoreChange change);
    void AnnounceBusy();
    // Does nothing unless a worker was announced busy, so that a controller
    // may call it for every run it finishes.
    void AnnounceIdle();
    void AnnounceViewChanged(TViewKind view, TViewChange change);
    // Between AnnounceBusy and AnnounceIdle.
    bool Busy() const { return m_busy; }

private:
    void ResetViewCounters(TViewKind view) { m_viewCounters[ViewSlot(view)] = TViewCounters{}; }

    TRecordTable<TScanFolderItem> m_folders{kFolderStep};
    TRecordTable<TScanFileItem> m_files{kFileStep};
    TTextPool m_pool;
    TTextPool m_upperPool;

    TRecordTable<TNameGroupItem> m_nameGroups{kGroupStep};
    TRecordTable<TSizeGroupItem> m_sizeGroups{kGroupStep};
    TRecordTable<TNameSizeGroupItem> m_nameSizeGroups{kGroupStep};
    TRecordTable<TSizeGroupItem> m_contentGroups{kGroupStep};
    TRecordTable<TNameSizeGroupItem> m_cloneGroups{kGroupStep};
    TRecordTable<TFolderGroupItem> m_folderGroups{kGroupStep};

    // Rows and orders are rebuilt whole; their step is only a formality.
    TRecordTable<TViewRowItem> m_rowTables[kViewCount] = {
        TRecordTable<TViewRowItem>{1}, TRecordTable<TViewRowItem>{1},
        TRecordTable<TViewRowItem>{1}, TRecordTable<TViewRowItem>{1},
        TRecordTable<TViewRowItem>{1}, TRecordTable<TViewRowItem>{1}};
    TRecordTable<std::int32_t> m_orderTables[kViewCount] = {
        TRecordTable<std::int32_t>{1}, TRecordTable<std::int32_t>{1},
        TRecordTable<std::int32_t>{1}, TRecordTable<std::int32_t>{1},
        TRecordTable<std::int32_t>{1}, TRecordTable<std::int32_t>{1}};
    TViewCounters m_viewCounters[kViewCount];
    std::vector<TUncomparedFile> m_uncompared;
    TProtectionSkips m_protectionSkips;

    std::uint64_t m_filesFoundSum = 0;
    std::uint64_t m_subFoldersSum = 0;
    std::uint32_t m_zeroSizeFiles = 0;
    std::uint32_t m_droppedAtReindex = 0;

    TScanStatus m_status;
    TOperationFigures m_operation;
    std::vector<std::u16string> m_systemFolders;
    std::vector<std::u16string> m_programFolders;

    TStoreObserver* m_observer = nullptr;
    std::atomic<std::uint64_t> m_revision{0};
    bool m_busy = false; // written and read on the user-interface thread
};

} // namespace vdx
