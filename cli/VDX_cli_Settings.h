#pragma once
// The settings file as the command line uses it: the global --settings
// option, reading the file without touching the disk otherwise, writing it
// whole and atomically when a command changes the stored sets, and finding
// stored sets by name as the sets store does.

#include <string>
#include <string_view>
#include <vector>

#include "persistence/VDX_unit_Settings.h"
#include "platform/VDX_unit_FileLock.h"

namespace vdx::cli {

// Options that may stand before or after the command.
struct TGlobalOptions {
    // --settings FILE as given; empty: the default settings file.
    std::u16string settingsFile;
};

// Takes the global options out of args, on either side of the command, up to
// a "--". false with error set for an option without its value.
bool ExtractGlobalOptions(std::vector<std::string>& args, TGlobalOptions& out, std::string& error);

// Where the settings came from.
struct TSettingsSource {
    // The file read; "" when the default file does not exist.
    std::u16string path;
    // 0, or the errno of reading path (ENOENT: a --settings file that does
    // not exist yet).
    int error = 0;
    // The file has content but none of the program's sections: it is some
    // other file, read as empty settings and never to be written over.
    bool foreign = false;
};

// Takes the lock that every read-modify-write of the settings file holds
// from before its read to after its atomic replace, on the file a save
// would write (the --settings file or the program's own). Unless create,
// a settings file that does not exist yet is not locked (nothing can be
// changed in it, and no folder or lock file is made for it). Returns 0 or
// the errno.
int LockCliSettings(const TGlobalOptions& global, TFileLock& lock, bool create);

// Prepares settings with the start-up globals and fills them from the
// --settings file or the default one, when it exists. Creates no folder and
// writes nothing; a missing file leaves every default.
TSettingsSource LoadCliSettings(const TGlobalOptions& global, TSettings& settings);

// Writes every setting as a whole new file (through a temporary file renamed
// over the old one): to the --settings file, or where the program saves its
// settings. Returns 0 or the errno; path receives the file. A caller that
// read the settings first holds LockCliSettings's lock around both and does
// not save over a source that was foreign.
int SaveCliSettings(const TGlobalOptions& global, const TSettings& settings, std::u16string& path);

// Puts the log files a command wrote at the front of the settings' log
// history (newest first, as the log viewer lists them) and saves the
// settings, holding the lock from the read to the write. A settings file
// that cannot be read or is not a settings file is left alone. Returns 0 or
// the errno (EINVAL for a foreign file); path receives the settings file.
int AddLogsToHistory(const TGlobalOptions& global, const std::vector<std::u16string>& logs,
                     std::u16string& path);

// The index of the first stored set whose name equals name, both
// upper-cased (name is not trimmed); -1 when none does.
int FindStoredSet(const TSettings& settings, std::u16string_view name);

// Orders the stored sets by upper-cased name, as the sets store shows them;
// sets of equal names keep their order.
void SortStoredSets(TSettings& settings);

// The stored names, one per line after "Stored search sets:", or the
// store's empty text; for the error about a name that matches none.
std::string StoredSetNames(const TSettings& settings);

} // namespace vdx::cli
