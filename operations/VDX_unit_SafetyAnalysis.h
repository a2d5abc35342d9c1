#pragma once
// The delete safety analysis: before files are deleted it tells the user,
// volume by volume, whether they will reach the trash (the Recycle Bin of the
// program's texts) or be lost for good. It sums the files to delete per
// volume of the volume table, asks each affected volume's trash what it can
// take, and builds one verdict item per volume for the confirmation window.

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/VDX_unit_Drives.h"
#include "platform/VDX_unit_Trash.h"

namespace vdx {

// The verdict on one volume with files to delete.
struct TOutputItem {
    std::u16string root;
    // "Drive /media/u/Stick"
    std::u16string title;
    // " [label] (file system, serial 1234) is a fixed drive"
    std::u16string details;
    // "3 files (total 1,024 bytes) are selected to delete from the drive"
    std::u16string selection;
    std::u16string verdict;
    // What the user can do instead; may be empty.
    std::u16string advice;
    // True when the files on this volume will not be recoverable, or may not be.
    bool alert = false;
    // True when the verdict tells the user that the files on this volume
    // will (or may) be deleted permanently: the only volumes whose files the
    // deletion may remove for good once the user confirmed. False on a
    // read-only volume, whose files stay where they are.
    bool permanent = false;
    // The index of the volume record in the volume table.
    std::size_t volume = 0;
};

// The trash of a volume as the system reports it; tests replace it.
using TTrashQuery = std::function<TTrashState(const TScanDrivesItem& volume)>;

// The words for a drive type in the details line: "a fixed drive" ...
std::u16string DriveTypeText(int driveType);

// Runs over the volume table of the last search, whose records it updates:
// the selection fields (files and bytes to delete) and the Recycle Bin fields
// (settings known, delete at once, capacity, bin bytes, bin items).
class TSafetyAnalysis {
public:
    // drives must outlive the analysis. An empty query asks the system
    // (QueryTrash of each volume's root).
    explicit TSafetyAnalysis(TScanDrivesData& drives, TTrashQuery query = {});

    // Selected files and bytes of every volume back to 0.
    void ResetSelection();
    // Counts one file of size bytes on the volume; a file without a volume
    // (kNoVolume) or with an index the table does not have is left out.
    void AddFile(std::size_t volumeIndex, std::uint64_t size);

    // Reads the trash of every volume with selected files into its record and
    // rebuilds the verdict items, sorted by root without regard to case.
    void Analyse(bool deleteDirectly);

    std::size_t ItemCount() const { return m_items.size(); }
    // The volumes of the items whose verdict names permanent deletion: what
    // a deletion confirmed after these verdicts may remove for good.
    std::bitset<kMaxVolumes> PermanentVolumes() const;
    const TOutputItem& Item(std::size_t index) const { return m_items[index]; }

private:
    TScanDrivesData& m_drives;
    TTrashQuery m_query;
    std::vector<TOutputItem> m_items;
};

} // namespace vdx
