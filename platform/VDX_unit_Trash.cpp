#include "platform/VDX_unit_Trash.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/VDX_unit_DirReader.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SpecialFolders.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
// The longest file name the common Linux file systems take.
constexpr std::size_t kMaxNameBytes = 255;
// Names tried as NAME, NAME.2 ... NAME.16 first; after that random suffixes,
// so that deleting thousands of equally named duplicates does not probe an
// ever longer row of taken names.
constexpr int kCountedNames = 16;
constexpr int kRandomNames = 64;
constexpr int kMaxMeasureDepth = 128;
constexpr std::size_t kDirBufferBytes = 32768;
constexpr std::size_t kMaxKtrashrcBytes = 1u << 20;
constexpr double kDefaultKdePercent = 10.0;

std::string Join(const std::string& folder, std::string_view name) {
    std::string out = folder;
    if (out.empty() || out.back() != '/')
        out.push_back('/');
    out.append(name);
    return out;
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string ParentOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The canonical form of a folder that may not exist yet: its nearest
// existing ancestor resolved, the missing rest appended as written.
std::string CanonicalFolder(std::string folder) {
    folder = WithoutTrailingSlash(std::move(folder));
    std::string tail;
    for (;;) {
        std::string resolved;
        if (Fs().RealPath(folder.c_str(), resolved) == 0)
            return tail.empty() ? resolved : Join(resolved, tail);
        std::size_t slash = folder.rfind('/');
        if (slash == std::string::npos || folder == "/")
            return tail.empty() ? folder : Join(folder, tail);
        std::string name = folder.substr(slash + 1);
        tail = tail.empty() ? name : name + "/" + tail;
        folder = slash == 0 ? "/" : folder.substr(0, slash);
    }
}

// The entry's path with its folder resolved and its own name kept, so that a
// symbolic link is trashed as the link it is.
int CanonicalEntryPath(const std::string& path, std::string& canonical) {
    std::string trimmed = path;
    if (trimmed.empty() || trimmed.back() == '/')
        return EINVAL;
    std::string name = NameOf(trimmed);
    if (name == "." || name == "..")
        return EINVAL;
    std::string parent;
    int err = Fs().RealPath(ParentOf(trimmed).c_str(), parent);
    if (err)
        return err;
    canonical = Join(parent, name);
    return 0;
}

// 0 when the existing folder at path is a real directory of uid (no
// symbolic link), EPERM when it is anything else, the errno of lstat when it
// cannot be looked at. With create, a missing folder is made (mode 0700);
// without, its parent must allow making it.
int UseOwnFolder(const std::string& path, uid_t uid, bool create, const std::string& parent) {
    struct stat st {};
    int err = Fs().LStat(path.c_str(), st);
    if (err == ENOENT) {
        if (!create)
            return Fs().Access(parent.c_str(), W_OK | X_OK);
        err = Fs().MakeDir(path.c_str(), 0700);
        // EEXIST: made by someone else in between; judged below like any
        // folder found.
        if (err && err != EEXIST)
            return err;
        err = Fs().LStat(path.c_str(), st);
    }
    if (err)
        return err;
    return S_ISDIR(st.st_mode) && st.st_uid == uid ? 0 : EPERM;
}

// The files/ and info/ folders of a trash folder whose own existence has been
// settled. Without create, a trash folder that does not exist yet holds no
// sub-folders to check.
int UseTrashSubfolders(const std::string& folder, bool create) {
    struct stat st {};
    if (!create && Fs().LStat(folder.c_str(), st) == ENOENT)
        return 0;
    for (const char* sub : {"files", "info"}) {
        std::string path = Join(folder, sub);
        int err = Fs().LStat(path.c_str(), st);
        if (err == ENOENT) {
            if (!create) {
                err = Fs().Access(folder.c_str(), W_OK | X_OK);
                if (err)
                    return err;
                continue;
            }
            err = Fs().MakeDir(path.c_str(), 0700);
            if (err && err != EEXIST)
                return err;
            err = Fs().LStat(path.c_str(), st);
        }
        if (err)
            return err;
        if (!S_ISDIR(st.st_mode))
            return EPERM;
    }
    return 0;
}

// The home trash folder (canonical) made or checked: every missing folder on
// the way is created with mode 0700, as the base-directory rules ask for
// $XDG_DATA_HOME.
int UseHomeTrash(const std::string& folder, bool create) {
    std::string existing = folder;
    std::vector<std::string> missing;
    struct stat st {};
    int err = 0;
    for (;;) {
        err = Fs().Stat(existing.c_str(), st);
        if (err != ENOENT || existing == "/")
            break;
        missing.push_back(existing);
        existing = ParentOf(existing);
    }
    if (err)
        return err;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    if (!missing.empty()) {
        if (!create)
            return Fs().Access(existing.c_str(), W_OK | X_OK);
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            err = Fs().MakeDir(it->c_str(), 0700);
            if (err && err != EEXIST)
                return err;
        }
    }
    return UseTrashSubfolders(folder, create);
}

int ErrorOfProblem(const TTrashLocation& location) {
    switch (location.problem) {
    case TTrashProblem::kNone:
        return 0;
    case TTrashProblem::kReadOnly:
        return EROFS;
    case TTrashProblem::kSystemVolume:
    case TTrashProblem::kSwitchedOff:
        return ENOTSUP;
    case TTrashProblem::kNoTrashFolder:
        break;
    }
    return location.error ? location.error : ENOENT;
}

// Problems that will still be there when the user tries again, and that the
// safety analysis therefore reported before the user confirmed.
bool IsLastingProblem(const TTrashLocation& location) {
    switch (location.problem) {
    case TTrashProblem::kNone:
        return false;
    case TTrashProblem::kSystemVolume:
    case TTrashProblem::kReadOnly:
    case TTrashProblem::kSwitchedOff:
        return true;
    case TTrashProblem::kNoTrashFolder:
        break;
    }
    return location.error == EACCES || location.error == EPERM || location.error == EROFS;
}

bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The n-th candidate name for an entry called name (n from 1), short enough
// that NAME.trashinfo is still a legal file name. A name is only cut between
// whole UTF-8 sequences, so a file system that insists on UTF-8 takes it.
std::string CandidateName(const std::string& name, int n, std::mt19937_64* random) {
    std::string suffix;
    if (n > kCountedNames && random) {
        char hex[20];
        std::snprintf(hex, sizeof hex, ".%016llx", static_cast<unsigned long long>((*random)()));
        suffix = hex;
    } else if (n > 1) {
        // Appended rather than built with operator+, which trips a false
        // -Wrestrict in GCC 12's string code.
        suffix = ".";
        suffix += std::to_string(n);
    }
    std::size_t room = kMaxNameBytes - kInfoSuffix.size() - suffix.size();
    std::string base = name;
    if (base.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && IsUtf8Continuation(base[cut]))
            --cut;
        base.resize(cut);
    }
    return base + suffix;
}

std::string DeletionDateNow() {
    TCalendarTime local;
    if (!FileTimeToLocalCalendar(NowFileTime(), local))
        return {};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", local.year, local.month,
                  local.day, local.hour, local.minute, local.second);
    return text;
}

// Renames without ever replacing an entry that is already there. A file
// system without RENAME_NOREPLACE gets a look first; the gap between the
// look and the rename only matters if another program fills a name that our
// info file has just reserved.
int MoveNoReplaceAt(int fromDir, const std::string& from, int toDir, const std::string& to) {
    int err = Fs().RenameAt(fromDir, from.c_str(), toDir, to.c_str(), RENAME_NOREPLACE);
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;
    struct stat st {};
    err = Fs().StatAt(toDir, to.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (err == 0)
        return EEXIST;
    if (err != ENOENT)
        return err;
    return Fs().RenameAt(fromDir, from.c_str(), toDir, to.c_str(), 0);
}

std::mt19937_64& RandomNames() {
    thread_local std::mt19937_64 engine{std::random_device{}()};
    return engine;
}

// Calls visit(name, type) for each entry of the open folder fd except "."
// and ".."; 0 or the errno of reading.
template <typename Visit>
int ForEachEntryOf(int fd, Visit visit) {
    std::vector<char> buffer(kDirBufferBytes);
    TDirReader reader(fd, buffer.data(), buffer.size());
    TDirEntry entry;
    while (reader.Next(entry))
        visit(entry.Name());
    return reader.Error();
}

// Adds the sizes of everything below the open folder fd; closes fd.
int SumFolder(int fd, int depth, std::uint64_t& bytes) {
    int firstError = 0;
    std::vector<std::string> folders;
    int err = ForEachEntryOf(fd, [&](std::string_view name) {
        std::string entry(name);
        struct stat st {};
        int statErr = Fs().StatAt(fd, entry.c_str(), st, AT_SYMLINK_NOFOLLOW);
        if (statErr) {
            if (!firstError)
                firstError = statErr;
            return;
        }
        if (S_ISDIR(st.st_mode))
            folders.push_back(std::move(entry));
        else
            bytes += static_cast<std::uint64_t>(st.st_size);
    });
    if (err && !firstError)
        firstError = err;
    if (depth < kMaxMeasureDepth) {
        for (const std::string& name : folders) {
            int sub = -1;
            err = Fs().OpenAt(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0, sub);
            if (!err)
                err = SumFolder(sub, depth + 1, bytes);
            if (err && !firstError)
                firstError = err;
        }
    }
    (void)Fs().Close(fd);
    return firstError;
}

bool TextEqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// KConfig's reading of a boolean; other texts keep the default.
void ReadKdeBool(std::string_view value, bool& out) {
    for (std::string_view yes : {"true", "1", "on", "yes"})
        if (TextEqualsNoCase(value, yes))
            out = true;
    for (std::string_view no : {"false", "0", "off", "no"})
        if (TextEqualsNoCase(value, no))
            out = false;
}

std::string ReadKtrashrc() {
    std::u16string config = SpecialFolderPath(TSpecialFolder::LocalAppData);
    if (config.empty())
        return {};
    std::string text;
    if (ReadSmallFile(Join(EncodeFileName(config), "ktrashrc").c_str(), text, kMaxKtrashrcBytes) !=
        0)
        return {};
    // An empty file still counts as present: its groups use the defaults.
    return text.empty() ? std::string("\n") : text;
}

} // namespace

std::string HomeTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/')
        return Join(WithoutTrailingSlash(data), "Trash");
    std::u16string home = SpecialFolderPath(TSpecialFolder::Home);
    if (home.empty())
        return {};
    return Join(EncodeFileName(home), ".local/share/Trash");
}

int FindTopDirTrash(const std::string& topDir, uid_t uid, bool create, std::string& folder) {
    const std::string uidText = std::to_string(uid);
    const std::string shared = Join(topDir, ".Trash");
    struct stat st {};
    // The administrator's shared trash counts only as a real folder with the
    // sticky bit, so no user can remove or swap another user's trash in it.
    if (Fs().LStat(shared.c_str(), st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        std::string mine = Join(shared, uidText);
        if (UseOwnFolder(mine, uid, create, shared) == 0) {
            folder = mine;
            return 0;
        }
    }
    std::string own = Join(topDir, ".Trash-" + uidText);
    int err = UseOwnFolder(own, uid, create, topDir);
    if (!err)
        folder = own;
    return err;
}

TTrashLocation LocateTrash(std::string_view canonicalPath, bool create) {
    std::vector<TMountEntry> mounts;
    int err = ReadMountTable(mounts);
    if (err) {
        TTrashLocation location;
        location.error = err;
        return location;
    }
    return LocateTrash(mounts, canonicalPath, create);
}

TTrashLocation LocateTrash(const std::vector<TMountEntry>& mounts, std::string_view canonicalPath,
                           bool create) {
    TTrashLocation location;
    std::string path(canonicalPath);
    std::string resolved = path;
    struct stat st {};
    // The entry itself when it exists (a mount point then stands for the
    // volume mounted on it), else its nearest existing folder.
    int err = Fs().LStat(path.c_str(), st);
    if (err)
        err = ResolveExistingPath(path, resolved, st);
    if (err) {
        location.error = err;
        return location;
    }
    std::ptrdiff_t mountIndex = FindMountOf(mounts, resolved, &st.st_dev);
    if (mountIndex < 0) {
        location.error = ENOENT;
        return location;
    }
    const TMountEntry& mount = mounts[static_cast<std::size_t>(mountIndex)];
    if (MountIsReadOnly(mount)) {
        location.problem = TTrashProblem::kReadOnly;
        return location;
    }

    // The home trash takes the files of the mount it lies on, whatever that
    // mount is: a home folder on tmpfs still has a working trash.
    std::string home = HomeTrashFolder();
    if (!home.empty()) {
        std::string homeFolder = CanonicalFolder(home);
        std::string homeExisting;
        struct stat homeSt {};
        if (ResolveExistingPath(homeFolder, homeExisting, homeSt) == 0 &&
            FindMountOf(mounts, homeExisting, &homeSt.st_dev) == mountIndex) {
            location.home = true;
            location.folder = homeFolder;
            location.error = UseHomeTrash(homeFolder, create);
            location.problem =
                location.error ? TTrashProblem::kNoTrashFolder : TTrashProblem::kNone;
            return location;
        }
    }

    if (IsSystemInternalFsType(mount.fsType)) {
        location.problem = TTrashProblem::kSystemVolume;
        return location;
    }
    if (MountHasOption(mount, "x-gvfs-notrash")) {
        location.problem = TTrashProblem::kSwitchedOff;
        return location;
    }
    location.topDir = mount.mountPoint;
    err = FindTopDirTrash(mount.mountPoint, ::getuid(), create, location.folder);
    if (!err)
        err = UseTrashSubfolders(location.folder, create);
    location.error = err;
    location.problem = err ? TTrashProblem::kNoTrashFolder : TTrashProblem::kNone;
    return location;
}

std::string EncodeTrashPath(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') ||
                     b == '-' || b == '_' || b == '.' || b == '~' || b == '/';
        if (plain) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return out;
}

std::string DecodeTrashPath(std::string_view text) {
    auto hexValue = [](char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int high = hexValue(text[i + 1]);
            int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out.push_back(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

namespace {
int TrashIntoFolders(int dirFd, const std::string& name, const std::string& path,
                     const TTrashLocation& location, int filesFd, int infoFd);
} // namespace

int TrashInto(std::string_view canonicalPath, const TTrashLocation& location) {
    if (location.problem != TTrashProblem::kNone)
        return ErrorOfProblem(location);
    const std::string path(canonicalPath);
    const std::string name = NameOf(path);
    if (name.empty() || name == "." || name == "..")
        return EINVAL;
    int dirFd = -1;
    int err = Fs().Open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY, 0, dirFd);
    if (err)
        return err;
    err = TrashIntoAt(dirFd, name, path, location);
    (void)Fs().Close(dirFd);
    return err;
}

int TrashIntoAt(int dirFd, const std::string& name, std::string_view canonicalPath,
                const TTrashLocation& location) {
    if (location.problem != TTrashProblem::kNone)
        return ErrorOfProblem(location);
    const std::string path(canonicalPath);
    struct stat st {};
    int err = Fs().StatAt(dirFd, name.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (err)
        return err;
    // Trashing an entry of the trash itself would leave its info file
    // without a file, or move the whole trash into itself.
    if (MountPointHolds(location.folder, path))
        return EINVAL;
    // The trash's own folders are opened without following a link in their
    // last component, so a files/ or info/ swapped for a link sends nothing
    // elsewhere; the entry must share files/'s file system, which is what
    // rename needs anyway.
    int filesFd = -1;
    err = Fs().Open(Join(location.folder, "files").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0,
                    filesFd);
    if (err)
        return err == ELOOP ? ENOTDIR : err;
    int infoFd = -1;
    err = Fs().Open(Join(location.folder, "info").c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0,
                    infoFd);
    if (err) {
        (void)Fs().Close(filesFd);
        return err == ELOOP ? ENOTDIR : err;
    }
    struct stat filesSt {};
    err = Fs().FStat(filesFd, filesSt);
    if (!err && filesSt.st_dev != st.st_dev)
        err = EXDEV;
    if (!err)
        err = TrashIntoFolders(dirFd, name, path, location, filesFd, infoFd);
    (void)Fs().Close(infoFd);
    (void)Fs().Close(filesFd);
    return err;
}

namespace {

int TrashIntoFolders(int dirFd, const std::string& name, const std::string& path,
                     const TTrashLocation& location, int filesFd, int infoFd) {
    std::string original = path;
    if (!location.home && MountPointHolds(location.topDir, path)) {
        // A top-folder trash records paths from its top folder, so the
        // entries stay valid when the volume is mounted elsewhere.
        original =
            location.topDir == "/" ? path.substr(1) : path.substr(location.topDir.size() + 1);
    }
    const std::string content = "[Trash Info]\nPath=" + EncodeTrashPath(original) +
                                "\nDeletionDate=" + DeletionDateNow() + "\n";

    int err = 0;
    for (int n = 1; n <= kCountedNames + kRandomNames; ++n) {
        const std::string trashName = CandidateName(name, n, &RandomNames());
        const std::string infoName = trashName + std::string(kInfoSuffix);
        int fd = -1;
        err = Fs().OpenAt(infoFd, infoName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600,
                          fd);
        if (err == EEXIST)
            continue;
        if (err)
            return err;
        err = WriteAll(fd, content.data(), content.size());
        // A failed close may be the first report of a failed write (NFS).
        int closeErr = Fs().Close(fd);
        if (!err)
            err = closeErr;
        if (err) {
            (void)Fs().UnlinkAt(infoFd, infoName.c_str(), 0);
            return err;
        }
        err = MoveNoReplaceAt(dirFd, name, filesFd, trashName);
        if (!err)
            return 0;
        (void)Fs().UnlinkAt(infoFd, infoName.c_str(), 0);
        // files/NAME taken without an info file of that name: an orphan of
        // some earlier trashing; try the next name.
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

} // namespace

namespace {

// The entry name of the open folder dirFd, whose canonical path is
// canonical: into its trash, or deleted for good where noTrash allows it.
int TrashOneAt(const std::vector<TMountEntry>& mounts, int dirFd, const std::string& name,
               const std::string& canonical, TNoTrashAction noTrash) {
    struct stat st {};
    int err = Fs().StatAt(dirFd, name.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (err)
        return err;
    TTrashLocation location = LocateTrash(mounts, canonical, true);
    if (location.problem == TTrashProblem::kNone)
        return TrashIntoAt(dirFd, name, canonical, location);
    err = ErrorOfProblem(location);
    if (noTrash != TNoTrashAction::kDeletePermanently || !IsLastingProblem(location))
        return err;
    // Only what the safety analysis also saw: it looks without creating
    // anything, so a trash folder that only failed while being made (and
    // that the analysis found usable) keeps the file.
    TTrashLocation foreseen = LocateTrash(mounts, canonical, false);
    if (!IsLastingProblem(foreseen))
        return err;
    return Fs().UnlinkAt(dirFd, name.c_str(), S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0);
}

int TrashOne(const std::vector<TMountEntry>& mounts, std::u16string_view path,
             TNoTrashAction noTrash) {
    std::string canonical;
    int err = CanonicalEntryPath(EncodeFileName(path), canonical);
    if (err)
        return err;
    int dirFd = -1;
    err = Fs().Open(ParentOf(canonical).c_str(), O_RDONLY | O_DIRECTORY, 0, dirFd);
    if (err)
        return err;
    err = TrashOneAt(mounts, dirFd, NameOf(canonical), canonical, noTrash);
    (void)Fs().Close(dirFd);
    return err;
}

} // namespace

int TrashFile(std::u16string_view path) {
    std::vector<TMountEntry> mounts;
    int err = ReadMountTable(mounts);
    if (err)
        return err;
    return TrashOne(mounts, path, TNoTrashAction::kKeep);
}

int TrashAt(const std::vector<TMountEntry>& mounts, int dirFd, const std::string& name,
            TNoTrashAction noTrash) {
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
        return EINVAL;
    // The folder's real path as the kernel knows the open descriptor, for
    // the mount lookup and the Path= entry; whatever its old path leads to
    // now plays no part.
    std::string folder;
    int err = Fs().RealPath(("/proc/self/fd/" + std::to_string(dirFd)).c_str(), folder);
    if (err)
        return err;
    return TrashOneAt(mounts, dirFd, name, Join(folder, name), noTrash);
}

int TrashBatch(const std::vector<std::u16string>& paths, TNoTrashAction noTrash) {
    if (paths.empty())
        return 0;
    std::vector<TMountEntry> mounts;
    int err = ReadMountTable(mounts);
    if (err)
        return err;
    return TrashBatch(mounts, paths, noTrash);
}

int TrashBatch(const std::vector<TMountEntry>& mounts, const std::vector<std::u16string>& paths,
               TNoTrashAction noTrash) {
    int first = 0;
    for (const std::u16string& path : paths) {
        int err = TrashOne(mounts, path, noTrash);
        if (err && !first)
            first = err;
    }
    return first;
}

bool ReadKdeTrashLimit(std::string_view ktrashrcText, std::string_view folder, bool& limited,
                       double& percent) {
    limited = true;
    percent = kDefaultKdePercent;
    bool inGroup = false;
    bool found = false;
    std::size_t start = 0;
    while (start < ktrashrcText.size()) {
        std::size_t end = std::min(ktrashrcText.find('\n', start), ktrashrcText.size());
        std::string_view line = Trimmed(ktrashrcText.substr(start, end - start));
        start = end + 1;
        if (line.starts_with('[')) {
            inGroup = line.size() >= 2 && line.back() == ']' &&
                      WithoutTrailingSlash(std::string(line.substr(1, line.size() - 2))) ==
                          WithoutTrailingSlash(std::string(folder));
            found = found || inGroup;
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inGroup || equals == std::string_view::npos)
            continue;
        std::string_view key = Trimmed(line.substr(0, equals));
        std::string_view value = Trimmed(line.substr(equals + 1));
        if (key == "UseSizeLimit") {
            ReadKdeBool(value, limited);
        } else if (key == "Percent") {
            std::string number(value);
            char* stop = nullptr;
            double parsed = std::strtod(number.c_str(), &stop);
            if (stop && stop != number.c_str() && *stop == '\0' && std::isfinite(parsed))
                percent = std::clamp(parsed, 0.0, 100.0);
        }
    }
    return found;
}

int MeasureTrash(const std::string& folder, std::uint64_t& bytes, std::uint64_t& items) {
    bytes = 0;
    items = 0;
    int firstError = 0;
    int fd = -1;
    int err = Fs().Open(Join(folder, "info").c_str(), O_RDONLY | O_DIRECTORY, 0, fd);
    if (!err) {
        err = ForEachEntryOf(fd, [&](std::string_view name) {
            if (name.size() > kInfoSuffix.size() && name.ends_with(kInfoSuffix))
                ++items;
        });
        (void)Fs().Close(fd);
    }
    if (err && err != ENOENT)
        firstError = err;
    err = Fs().Open(Join(folder, "files").c_str(), O_RDONLY | O_DIRECTORY, 0, fd);
    if (!err)
        err = SumFolder(fd, 0, bytes);
    if (err && err != ENOENT && !firstError)
        firstError = err;
    return firstError;
}

TTrashState QueryTrash(std::u16string_view root) {
    std::vector<TMountEntry> mounts;
    int err = ReadMountTable(mounts);
    if (err) {
        TTrashState state;
        state.error = err;
        return state;
    }
    return QueryTrash(mounts, root);
}

TTrashState QueryTrash(const std::vector<TMountEntry>& mounts, std::u16string_view root) {
    TTrashState state;
    std::string canonical;
    struct stat st {};
    int err = root.empty()
                  ? ENOENT
                  : ResolveExistingPath(WithoutTrailingSlash(EncodeFileName(root)), canonical, st);
    if (err) {
        state.error = err;
        return state;
    }
    TTrashLocation location = LocateTrash(mounts, canonical, false);
    state.problem = location.problem;
    state.error = location.error;
    state.folder = location.folder;
    if (location.problem != TTrashProblem::kNone)
        return state;
    MeasureTrash(location.folder, state.bytes, state.items);

    std::string ktrashrc = ReadKtrashrc();
    if (ktrashrc.empty())
        return state;
    double percent = kDefaultKdePercent;
    bool limited = true;
    if (!ReadKdeTrashLimit(ktrashrc, location.folder, limited, percent) && location.home) {
        // KDE names the home trash as the user's settings spell it, which
        // need not be the resolved form.
        std::string literal = HomeTrashFolder();
        ReadKdeTrashLimit(ktrashrc, literal, limited, percent);
    }
    if (!limited)
        return state;
    struct statvfs vfs {};
    std::string existing;
    struct stat existingSt {};
    if (ResolveExistingPath(location.folder, existing, existingSt) != 0 ||
        Fs().StatVfs(existing.c_str(), vfs) != 0)
        return state;
    const double total = static_cast<double>(vfs.f_blocks) * static_cast<double>(vfs.f_frsize);
    state.limited = true;
    state.capacityBytes = static_cast<std::uint64_t>(total * percent / 100.0);
    return state;
}

} // namespace vdx
