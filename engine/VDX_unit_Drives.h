#pragma once
// The volume table: one record per volume that a search path of the last
// search lies on. Search paths, folders and files carry the index of their
// volume, so a later copy or move can tell whether it stays on one volume and
// the delete safety analysis can sum the selection per volume.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vdx {

// A volume index as search paths and the store's records hold it.
using TVolumeIndex = std::uint16_t;
// The index that means "no volume".
inline constexpr TVolumeIndex kNoVolume = 256;
// Indexes stop below kNoVolume, so the table holds at most this many records.
inline constexpr std::size_t kMaxVolumes = 256;
// Label and file-system name are kept to this many characters.
inline constexpr std::size_t kMaxVolumeText = 128;

// One volume. The selection and Recycle Bin fields belong to the delete
// safety analysis, which fills them over the table of the last search.
struct TScanDrivesItem {
    // The mount point with a trailing "/"; empty when the volume could not be
    // determined.
    std::u16string root;
    std::uint32_t serial = 0;
    std::u16string fileSystem;
    std::u16string label;
    std::uint64_t totalBytes = 0;
    // Free space available to the user (not to root).
    std::uint64_t freeBytes = 0;
    std::int32_t driveType = 0;
    std::int32_t selectedFiles = 0;
    std::uint64_t selectedBytes = 0;
    bool settingsKnown = false;
    bool deleteAtOnce = false;
    // Megabytes.
    std::int32_t capacity = 0;
    std::int64_t binBytes = 0;
    std::int64_t binItems = 0;
};

class TScanDrivesData {
public:
    // Frees every record; the table is empty.
    void Clear();

    // The index of the first record whose root is the root of path's volume
    // (for a path that does not exist yet, its nearest existing parent's), or
    // kNoVolume when no record has it.
    TVolumeIndex Find(std::u16string_view path) const;

    // The index of path's volume, adding a record when the volume is new. A
    // volume that cannot be determined shares the record with the empty root.
    // kNoVolume when the table already holds kMaxVolumes other volumes.
    TVolumeIndex Register(std::u16string_view path);

    // Appends a record as given, for volumes described by other means (tests
    // of the users of the table); kNoVolume when the table is full.
    TVolumeIndex Add(TScanDrivesItem item);

    std::size_t Count() const { return m_items.size(); }
    const TScanDrivesItem& Item(std::size_t index) const { return m_items[index]; }
    TScanDrivesItem& Item(std::size_t index) { return m_items[index]; }

private:
    TVolumeIndex FindRoot(std::u16string_view root) const;

    std::vector<TScanDrivesItem> m_items;
};

} // namespace vdx
