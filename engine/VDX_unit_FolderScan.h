#pragma once
// The folder scan, first half of the search worker: walks every search path
// breadth-first over the store's folder table, lists each folder with
// getdents64 and one fstatat per entry, applies the path's filters and the
// folder protections, and appends the folders and accepted files to the
// store.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/VDX_unit_Drives.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"

namespace vdx {

// How the scan asks its worker for leave to go on and reports its progress.
class TScanControl {
public:
    virtual ~TScanControl() = default;
    // Waits while the search is paused; false when the worker was told to
    // terminate and the scan must stop.
    virtual bool Continue() = 0;
    // Called after each listed folder; the worker reports progress when its
    // interval has passed.
    virtual void FolderDone() = 0;
};

// Walks the paths of one search set into a store. The set and the store are
// the worker's and must outlive the scan; the store should have been cleared
// for a new search and every path prepared (TSearchData::Prepare).
class TFolderScan {
public:
    TFolderScan(TScanData& store, const TSearchDataList& paths, TScanControl* control = nullptr);
    TFolderScan(const TFolderScan&) = delete;
    TFolderScan& operator=(const TFolderScan&) = delete;

    // Replaces the protected folders the store was made with (absolute paths
    // without a trailing "/"), so tests can protect a folder of their own.
    void SetProtectedFolders(std::vector<std::u16string> systemFolders,
                             std::vector<std::u16string> programFolders);

    // The volume table of the search, which must outlive the scan. A folder
    // or file on another device than its parent folder lies on another
    // mount; its volume is registered there, so every record carries the
    // volume that really holds it. Without a table (or once the table is
    // full) such records get kNoVolume: never the parent's volume, whose
    // trash could not take them.
    void SetVolumeTable(TScanDrivesData* drives) { m_drives = drives; }

    // Scans every path in the set's order. false when the control asked to
    // stop; the store then holds what was found up to that point.
    bool ScanAll();

    // Counters of the progress record.
    std::uint32_t FoldersListed() const { return m_foldersListed; }
    std::uint32_t FilesAdded() const { return m_filesAdded; }
    std::uint32_t PathsNotFound() const { return m_pathsNotFound; }

private:
    struct TFolderId {
        dev_t dev;
        ino_t ino;
        bool operator==(const TFolderId&) const = default;
    };
    struct TFolderIdHash {
        std::size_t operator()(const TFolderId& id) const noexcept;
    };

    // false when the walk was stopped.
    bool ScanPath(std::uint32_t pathIndex, const TSearchData& path);
    // Opens the folder for listing; -1 when it cannot be opened.
    int OpenFolder(std::uint32_t folder);
    // Opens a folder whose path is too long for one system call, one
    // component at a time from the search root.
    int OpenFolderByComponents(const std::string& native);
    void ListFolder(std::uint32_t folder, const TSearchData& path);
    // True when the sub-folder at m_childPath (without trailing "/") may be
    // entered by the protections and the path's folder filter; counts the
    // folders a protection skips in the store.
    bool SubFolderAllowed(const TSearchData& path, bool hidden);
    bool Protected(const std::vector<std::u16string>& folders) const;
    // The volume of an entry on device, whose path is m_childPath.
    TVolumeIndex VolumeOfDevice(dev_t device);

    TScanData& m_store;
    const TSearchDataList& m_paths;
    TScanControl* m_control;
    std::vector<std::u16string> m_systemFolders;
    std::vector<std::u16string> m_programFolders;

    TScanDrivesData* m_drives = nullptr;
    // The volume of each device met so far, so that a mount is registered
    // once however often the walk enters it.
    std::unordered_map<dev_t, TVolumeIndex> m_volumeOfDevice;

    // Folders already in the table, by identity, so that a folder reached a
    // second time (bind mount, overlapping search paths) is not listed again.
    std::unordered_set<TFolderId, TFolderIdHash> m_seenFolders;

    // The search root being walked, as bytes, for the component walk.
    std::string m_rootNative;
    std::uint32_t m_rootFolder = 0;

    // Buffers reused for every folder and entry, so that listing allocates
    // nothing per file.
    std::vector<unsigned char> m_entryBuffer;
    std::u16string m_folderPath; // the folder being listed, ending with "/"
    std::u16string m_name;       // the decoded entry name
    std::u16string m_childPath;  // folder path + entry name

    std::uint32_t m_foldersListed = 0;
    std::uint32_t m_filesAdded = 0;
    std::uint32_t m_pathsNotFound = 0;
};

} // namespace vdx
