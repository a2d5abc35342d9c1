#pragma once
// The last copy always stays: before an operation deletes or moves a marked
// file, at least one other file of its group that the operation leaves where
// it is must still be there, unchanged since the search. Otherwise a copy
// removed by another program while the user confirmed would make the
// operation take the last one.

#include <cstdint>
#include <vector>

#include "engine/VDX_unit_ScanData.h"
#include "operations/VDX_unit_FolderOpener.h"

namespace vdx {

// Checks files of one operation, on the operation's thread. Has its own
// folder opener, so that looking at the copies does not close the folder
// the operation is acting in.
class TRemainingCopyCheck {
public:
    // files are the operation's file indices (negative ones are ignored);
    // view is the view whose groups the operation list was built from. store
    // must outlive the check; only its tables are read.
    TRemainingCopyCheck(const TScanData& store, TViewKind view,
                        const std::vector<std::int32_t>& files);

    // 0 when a file of file's group in the view that stays (not in the
    // operation, not marked in the view, not removed) is still the file the
    // search recorded (TFolderOpener::CheckFile); else
    // kErrorNoRemainingCopy, also for a file in no group.
    int Check(std::uint32_t file);

    // Closes the opener's folders (after a pause).
    void Reset() { m_opener.Reset(); }

private:
    bool Stays(std::uint32_t file) const;
    // other stays and is still the file the search recorded.
    bool IsRemainingCopy(std::uint32_t file, std::uint32_t other);

    const TScanData& m_store;
    TViewKind m_view;
    std::vector<bool> m_inOperation;
    TFolderOpener m_opener;
};

} // namespace vdx
