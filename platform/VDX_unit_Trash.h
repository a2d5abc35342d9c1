#pragma once
// The user's trash (what the program's texts call the Recycle Bin): the
// freedesktop.org Trash, so that file managers and trash tools list and
// restore what the program trashed. A file on the file system of the home
// trash ($XDG_DATA_HOME/Trash) goes there; a file on any other mount goes to
// the trash folder at the top of that mount ($topdir/.Trash/$uid or
// $topdir/.Trash-$uid). A file is only ever renamed into a trash on its own
// file system, never copied, so trashing cannot leave a half-written copy.
//
// Deletion and the delete safety analysis both decide through LocateTrash, so
// the analysis foresees exactly the volumes where files cannot be trashed.

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "platform/VDX_unit_Volumes.h"

namespace vdx {

// Why the files of a mount cannot be trashed.
enum class TTrashProblem {
    kNone,
    // A file system that is not a place for user data: kernel interfaces,
    // RAM disks, container overlays (tmpfs, overlay, proc ...).
    kSystemVolume,
    // The mount or its file system is read-only.
    kReadOnly,
    // The mount carries the option x-gvfs-notrash.
    kSwitchedOff,
    // The trash folder could not be determined, is unsafe to use, or cannot
    // be created (TTrashLocation::error says why).
    kNoTrashFolder,
};

// Where the files of one mount go when trashed.
struct TTrashLocation {
    TTrashProblem problem = TTrashProblem::kNoTrashFolder;
    // The errno behind kNoTrashFolder.
    int error = 0;
    // True for the home trash, whose Path= entries are absolute.
    bool home = false;
    // The trash folder (holding files/ and info/), canonical, no trailing "/".
    std::string folder;
    // The mount point that relative Path= entries of a top-folder trash start
    // from; empty for the home trash.
    std::string topDir;
};

// $XDG_DATA_HOME/Trash (an XDG_DATA_HOME that is not absolute is ignored),
// else $HOME/.local/share/Trash; empty when neither is known.
std::string HomeTrashFolder();

// The trash folder of topDir for user uid: topDir/.Trash/uid when
// topDir/.Trash is a real directory (not a symbolic link) with the sticky bit
// and topDir/.Trash/uid is, or can be made, a directory of that user; else
// topDir/.Trash-uid, which must be a real directory of that user when it
// exists. With create, missing folders are created (mode 0700); without,
// a missing folder only has to be creatable. 0 or the errno that rules the
// trash out (EPERM for a folder that exists but must not be used).
int FindTopDirTrash(const std::string& topDir, uid_t uid, bool create, std::string& folder);

// Where an entry at canonicalPath (absolute, its folder's symbolic links
// resolved) would be trashed, with the folders of the trash created when
// create is set. The first form reads the mount table; a caller handling
// many paths passes the table it read.
TTrashLocation LocateTrash(std::string_view canonicalPath, bool create);
TTrashLocation LocateTrash(const std::vector<TMountEntry>& mounts, std::string_view canonicalPath,
                           bool create);

// Percent-encodes a file name for Path= (RFC 2396): every byte except
// letters, digits, "-", "_", ".", "~" and "/" becomes %XX, so names that are
// not UTF-8 survive byte for byte.
std::string EncodeTrashPath(std::string_view bytes);
// Reverses EncodeTrashPath (and any other %XX escaping); a "%" that is not
// followed by two hex digits stays as it is.
std::string DecodeTrashPath(std::string_view text);

// Moves the entry at canonicalPath into the trash folder of location: first
// creates info/NAME.trashinfo with O_EXCL (NAME made unique with ".2", ".3"
// ... and shortened so that it fits), then renames the entry to files/NAME
// without replacing anything. The info file is removed again when the rename
// fails. 0 or errno: EXDEV when the entry is not on the trash's file system
// (nothing is copied), EINVAL for an entry inside the trash itself.
int TrashInto(std::string_view canonicalPath, const TTrashLocation& location);

// TrashInto for the entry name of the open folder dirFd, whose canonical
// path is canonicalPath (for Path= and the check that the entry does not lie
// inside the trash): the entry is renamed from dirFd into files/ with
// renameat2, so whatever the folder's path leads to by now plays no part.
int TrashIntoAt(int dirFd, const std::string& name, std::string_view canonicalPath,
                const TTrashLocation& location);

// Trashes the file or folder at path: LocateTrash (creating the trash when
// needed), then TrashInto. 0 or errno; ENOENT when path does not exist,
// ENOTSUP when its volume has no usable trash (EROFS for a read-only one, or
// the error that ruled the trash folder out). The file stays where it was
// whenever the result is not 0.
int TrashFile(std::u16string_view path);

// What TrashBatch does with a file on a volume that has no usable trash.
enum class TNoTrashAction {
    // Leave it in place and report the error TrashFile reports.
    kKeep,
    // Delete it permanently, as the Windows shell does where there is no
    // Recycle Bin. Only for callers whose user has been told by the safety
    // analysis that these files will be lost and has confirmed. Applies to
    // lasting reasons only (system volume, trash switched off, trash folder
    // ruled out by permissions or ownership); a trash that failed for a
    // passing reason (ENOSPC, EIO ...) keeps the file.
    kDeletePermanently,
};

// Trashes each path in order (the batch form of the Recycle Bin deletion):
// 0 when every one succeeded, else the first errno; the remaining paths are
// still tried. The mount table is read once per batch.
int TrashBatch(const std::vector<std::u16string>& paths, TNoTrashAction noTrash);
// The same over a given mount table.
int TrashBatch(const std::vector<TMountEntry>& mounts, const std::vector<std::u16string>& paths,
               TNoTrashAction noTrash);

// Trashes the entry name (a bare name) of the open folder dirFd as TrashBatch
// trashes one path: the trash of the folder the descriptor holds, the entry
// moved from the descriptor, and with kDeletePermanently on a volume without
// a usable trash unlinked from it. 0 or errno as TrashFile.
int TrashAt(const std::vector<TMountEntry>& mounts, int dirFd, const std::string& name,
            TNoTrashAction noTrash);

// The size limit of a trash folder in KDE's ktrashrc text: the group named
// after the folder, UseSizeLimit (default true) and Percent (default 10, of
// the volume's size). limited is false when the group sets UseSizeLimit to
// false. A file without the group uses the defaults.
// Returns true when the text has the folder's group; limited and percent are
// set in every case.
bool ReadKdeTrashLimit(std::string_view ktrashrcText, std::string_view folder, bool& limited,
                       double& percent);

// The trash of one volume as the safety analysis needs it.
struct TTrashState {
    TTrashProblem problem = TTrashProblem::kNoTrashFolder;
    int error = 0;
    std::string folder;
    // False: the trash may grow without limit.
    bool limited = false;
    std::uint64_t capacityBytes = 0;
    // What the trash holds now: the sizes below files/ and the number of
    // info/*.trashinfo entries.
    std::uint64_t bytes = 0;
    std::uint64_t items = 0;
};

// Bytes below folder/files (folders counted by their contents, symbolic
// links not followed) and entries of folder/info ending in ".trashinfo".
// A missing trash folder holds nothing. 0 or the errno of the first
// unreadable folder (the figures then count what could be read).
int MeasureTrash(const std::string& folder, std::uint64_t& bytes, std::uint64_t& items);

// Whether files on the volume with this root (or any path on it) can be
// trashed, and where, with the trash's limit (from $XDG_CONFIG_HOME/ktrashrc
// when that file exists, else unlimited) and content. Creates nothing.
TTrashState QueryTrash(std::u16string_view root);
TTrashState QueryTrash(const std::vector<TMountEntry>& mounts, std::u16string_view root);

} // namespace vdx
