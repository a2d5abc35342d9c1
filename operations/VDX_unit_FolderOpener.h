#pragma once
// Acting only where the search found a file. The operations never hand a
// full path to a call that changes anything: a path walked again by the
// kernel would follow a folder that was swapped for a link after the search
// into some other tree. Instead TFolderOpener opens the folder of a store
// record through descriptors, one component at a time from its search root,
// never following a link and checking each folder against the device and
// inode the scan recorded; the caller then acts on the bare name in that
// folder (unlinkat, renameat2, openat). Once a folder is open, it stays the
// folder the search listed whatever happens to its path.

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/VDX_unit_ScanData.h"

namespace vdx {

// Whether st (an lstat/fstatat without following links, or an fstat of the
// opened file) still describes the file the search recorded: a regular file
// of its size, last-write time, inode and change time. A record without an
// identity (no scan made it) never matches.
bool MatchesRecord(const TScanData& store, std::uint32_t file, const struct stat& st);

// The rule every operation applies before it acts on a file, and the plan
// before it lists one: 0 while st still describes the file the search
// recorded (MatchesRecord), else kErrorChangedSinceSearch.
int CheckUnchanged(const TScanData& store, std::uint32_t file, const struct stat& st);

// Opens the folders of one store for one operation run, on one thread. The
// open chain of the last folder is kept (one descriptor per folder from the
// search root down, at most 64 of them plus the folder itself in a deeper
// tree), so that consecutive files of one folder cost nothing but the check
// of the file itself, and a neighbouring folder only the components that
// differ.
class TFolderOpener {
public:
    // store must outlive the opener; its folder table is only read.
    explicit TFolderOpener(const TScanData& store);
    ~TFolderOpener();
    TFolderOpener(const TFolderOpener&) = delete;
    TFolderOpener& operator=(const TFolderOpener&) = delete;

    // Opens the store folder and every folder above it up to its search
    // root. The root is opened as its path names it (the user may have named
    // a link), every folder below it by its bare name with links refused
    // (O_NOFOLLOW | O_DIRECTORY), and each is checked against its recorded
    // device and inode. 0 with dirFd the open folder, owned by the opener and
    // valid until the next call or Reset; kErrorFolderChanged when a folder
    // of the chain is no longer the one the search listed (a link, another
    // folder, no folder, no recorded identity); ENOENT when one is gone; else
    // the errno of the open that failed.
    int OpenFolder(std::uint32_t folder, int& dirFd);

    // Opens the file's folder and checks its entry there (fstatat on the
    // bare name, links not followed) with CheckUnchanged. 0 with dirFd and
    // name ready for a call on the entry (name valid until the next call);
    // kErrorChangedSinceSearch for another file in its place; ENOENT when
    // the entry is gone; the errors of OpenFolder for its folder. st, when
    // given, receives what fstatat returned.
    int CheckFile(std::uint32_t file, int& dirFd, const char*& name, struct stat* st = nullptr);

    // Closes the open chain, so that the next call walks from the search
    // root again (after a pause, during which folders may have moved).
    void Reset();

private:
    struct TLink {
        std::uint32_t folder;
        int fd;
    };

    // Opens one link of the wanted chain below parentFd (-1 for the root).
    int OpenLink(std::uint32_t folder, int parentFd, int& fd);
    void CloseFrom(std::size_t depth);

    const TScanData& m_store;
    std::vector<TLink> m_chain;          // root first
    std::vector<std::uint32_t> m_wanted; // reused for every OpenFolder
    std::string m_component;             // the native name being opened
    std::string m_name;                  // the native name of the last checked file
};

} // namespace vdx
