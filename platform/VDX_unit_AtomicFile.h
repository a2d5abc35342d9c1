#pragma once
// Replacing a file so that a crash, a full disk or a failed write never
// leaves it half written: the new content goes to a temporary file beside
// the target, is flushed, and is renamed over the target only when whole.

#include <functional>
#include <string>

namespace vdx {

// Writes the new content to the open temporary file; 0 or errno. It must
// not close the descriptor.
using TWriteContent = std::function<int(int fd)>;

struct TAtomicWriteOptions {
    // The temporary file's path. Empty picks a fresh name beside the target
    // and creates it exclusively; a fixed name is truncated when it exists
    // and is never followed when it is a link.
    std::string fixedTemp;
    // A target that is a symlink stays one: the file it points to is replaced.
    bool resolveLink = false;
    // The new file gets the permission bits of the regular file it replaces
    // (a first file gets what the umask gives).
    bool keepMode = false;
    // Flushes the folder after the rename, so that the rename itself
    // survives a crash; a failure there is not reported (the data is safe).
    bool syncFolder = false;
};

// Replaces the file at target (native bytes) with what write produces.
// Returns 0 or the errno of the first failure; on failure the temporary file
// is removed and the old target is untouched. created, when given, is set
// to true once the temporary file has been made (false: nothing could be
// created at all). All file-system calls go through Fs().
int WriteFileAtomically(const std::string& target, const TWriteContent& write,
                        const TAtomicWriteOptions& options, bool* created = nullptr);

} // namespace vdx
