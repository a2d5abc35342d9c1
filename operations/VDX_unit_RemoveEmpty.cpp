#include "operations/VDX_unit_RemoveEmpty.h"

#include <cerrno>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <utility>

#include "engine/VDX_unit_ErrorFile.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "platform/VDX_unit_DirReader.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

namespace {

// The statistics line is redrawn at most this often.
constexpr std::uint64_t kStatisticsIntervalMs = 100;

// 71 equals signs, the report's separator.
constexpr std::u16string_view kReportSeparator =
    u"=======================================================================";

// Room for a few hundred entries per getdents64 call.
constexpr std::size_t kEntryBufferBytes = 32 * 1024;

// A folder path as the system calls take it: without its trailing "/",
// which would make the kernel follow a link in the last component. The
// root "/" stays.
std::string NativeFolder(std::u16string_view folderPath) {
    std::string native = EncodeFileName(folderPath);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return native;
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && text.substr(0, prefix.size()) == prefix;
}

void PrepareEntries(std::u16string_view base, const TStrList& entries,
                    std::vector<std::u16string>& out) {
    out.clear();
    for (const TStrItem& item : entries) {
        std::u16string entry = item.text;
        const std::size_t mask = entry.find(u"*.*");
        if (mask != std::u16string::npos)
            entry.erase(mask, 3);
        entry = TrimText(entry);
        if (!entry.empty())
            out.push_back(std::u16string(base) + entry);
    }
}

} // namespace

// The sub-folders of one listed folder, kept as one block of names so that
// a listing costs no allocation per entry.
struct TRemoveThread::TListing {
    bool hasFile = false; // a file, link or any other non-folder entry
    std::string names;    // the sub-folders' names, each ended by '\0'
    std::vector<std::uint32_t> starts;
};

void TRemoveThread::TFd::Reset(int fd) {
    if (m_fd >= 0)
        (void)Fs().Close(m_fd);
    m_fd = fd;
}

// ---------------------------------------------------------------------------
// Inputs and filter

TRemoveInputs MakeRemoveInputs(const TRemoveOptions& options, std::u16string_view logFolder) {
    TRemoveInputs inputs;
    const std::u16string main = TrimText(ExpandEnvVars(TrimText(options.mainFolder)));
    if (!main.empty())
        inputs.mainFolder = AddTrailingBackslash(main);
    inputs.subFolders = options.subFolders;
    inputs.allowHidden = options.allowHidden;
    inputs.allowSystem = options.allowSystem;
    inputs.storeLog = options.storeLog;
    inputs.includeList = options.includeList;
    inputs.excludeList = options.excludeList;
    const std::u16string folder = PrepareLogFolder(logFolder);
    if (!folder.empty())
        inputs.logPath = folder + std::u16string(kRemovedFoldersLogName);
    return inputs;
}

void TRemoveFilter::Prepare(std::u16string_view mainFolder, const TStrList& includeList,
                            const TStrList& excludeList) {
    const std::u16string base = RemoveTrailingBackslash(mainFolder);
    PrepareEntries(base, includeList, m_include);
    PrepareEntries(base, excludeList, m_exclude);
}

bool TRemoveFilter::Excluded(std::u16string_view folderPath) const {
    for (const std::u16string& entry : m_exclude)
        if (StartsWith(folderPath, entry))
            return true;
    return false;
}

bool TRemoveFilter::Passes(std::u16string_view folderPath) const {
    if (!Filtering())
        return true;
    bool included = m_include.empty();
    for (std::size_t i = 0; i < m_include.size() && !included; ++i)
        included = StartsWith(folderPath, m_include[i]);
    return included && !Excluded(folderPath);
}

bool TRemoveFilter::LeadsToInclude(std::u16string_view folderPath) const {
    if (Excluded(folderPath))
        return false;
    for (const std::u16string& entry : m_include)
        if (entry.size() > folderPath.size() && StartsWith(entry, folderPath))
            return true;
    return false;
}

std::u16string RemoveStatisticsText(const TRemoveStatistics& stats) {
    return u"Scanned folders: " + FormatNumber(stats.scanned) + u", found empty: " +
           FormatNumber(stats.foundEmpty) + u", removed: " + FormatNumber(stats.removed);
}

// ---------------------------------------------------------------------------
// TRemoveThread

TRemoveThread::TRemoveThread(TRemoveInputs inputs, TMessageTarget* window,
                             TMainThreadCaller* caller, TRemoveProgressView* view,
                             TStrList* logHistory)
    : TWorkerShell(u"TRemoveThread", {0, kMsgRemoveEnded}, window, caller, kStatisticsIntervalMs),
      m_inputs(std::move(inputs)), m_view(view), m_logHistory(logHistory) {}

void TRemoveThread::Close(bool failed) {
    SetAborted(failed || Terminated());
    Finish();
}

void TRemoveThread::Work() {
    m_stats = TRemoveStatistics{};
    if (m_view != nullptr) {
        const std::u16string folder = m_inputs.mainFolder;
        CallOnMain([this, &folder] { m_view->ShowMainFolder(folder); });
    }
    UpdateStatistics(true);
    m_filter.Prepare(m_inputs.mainFolder, m_inputs.includeList, m_inputs.excludeList);

    Report(u"----- on " + LineStampNow() + u" -----");
    Report(u"Search for empty folders in " + m_inputs.mainFolder);
    if (m_inputs.subFolders)
        Report(u"Include sub folders");
    if (m_inputs.allowHidden)
        Report(u"Remove folders with HIDDEN attribute");
    if (m_inputs.allowSystem)
        Report(u"Remove folders with SYSTEM attribute");
    Report(std::u16string(kReportSeparator));

    WalkMain();
}

void TRemoveThread::Finish() {
    if (m_aborted)
        Report(u"WARNING: scanning was aborted");
    if (m_inputs.dryRun)
        Report(u"Found " + FormatPlainNumber(m_stats.foundEmpty) + u" in scanned " +
               FormatPlainNumber(m_stats.scanned) + u" folders; dry run: no folder was deleted");
    else
        Report(u"Found " + FormatPlainNumber(m_stats.foundEmpty) + u" in scanned " +
               FormatPlainNumber(m_stats.scanned) + u" folders, " +
               FormatPlainNumber(m_stats.removed) + u" empty folders have been deleted");
    Report(std::u16string(kReportSeparator));
    Report(u"");
    // The last figures are always shown, however recent the previous ones.
    UpdateStatistics(true);
    if (!m_inputs.storeLog || m_inputs.logPath.empty() || m_inputs.dryRun)
        return;
    if (WriteLinesToFile(m_inputs.logPath, m_inputs.logPath + u"~$temp", m_report, true) != 0)
        return;
    m_logWritten = true;
    if (m_logHistory != nullptr) {
        CallOnMain([this] { AddToLogHistory(*m_logHistory, m_inputs.logPath); });
    }
}

void TRemoveThread::PauseCheck() {
    WaitWhilePaused();
}

void TRemoveThread::UpdateStatistics(bool force) {
    if (!force && !SnapshotDue())
        return;
    if (m_view == nullptr) {
        MarkSnapshot();
        return;
    }
    const TRemoveStatistics stats = m_stats;
    Snapshot([this, stats] { m_view->ShowStatistics(stats); });
}

int TRemoveThread::Identify(int dirFd, const char* name, int flags, TFolderId& id) const {
    struct statx stx {};
    int rc = Fs().StatxAt(dirFd, name, flags, STATX_TYPE | STATX_INO | STATX_MNT_ID, stx);
    if (rc == 0) {
        id.dev = ::makedev(stx.stx_dev_major, stx.stx_dev_minor);
        id.ino = stx.stx_ino;
        id.isFolder = S_ISDIR(stx.stx_mode);
        id.hasMount = (stx.stx_mask & STATX_MNT_ID) != 0;
        id.mount = stx.stx_mnt_id;
        return 0;
    }
    if (rc != ENOSYS)
        return rc;
    // A kernel without statx: the device alone tells the file systems apart.
    struct stat st {};
    rc = name[0] == '\0' ? Fs().FStat(dirFd, st) : Fs().StatAt(dirFd, name, st, flags);
    if (rc != 0)
        return rc;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.isFolder = S_ISDIR(st.st_mode);
    id.hasMount = false;
    return 0;
}

bool TRemoveThread::OnMainFileSystem(const TFolderId& id) const {
    if (id.dev != m_mainId.dev)
        return false;
    // A bind mount of the same file system has the same device.
    return !id.hasMount || !m_mainId.hasMount || id.mount == m_mainId.mount;
}

TRemoveThread::TOpenResult TRemoveThread::OpenSub(int parentFd, const char* name,
                                                  TFolder& out) const {
    out.parentFd = parentFd;
    out.parentError = 0;
    out.name = name;
    out.fd.Reset();
    int fd = -1;
    const int rc = Fs().OpenAt(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0, fd);
    if (rc == 0) {
        out.fd.Reset(fd);
        if (Identify(fd, "", AT_EMPTY_PATH, out.id) != 0)
            return TOpenResult::Kept; // cannot tell where it lies
    } else if (rc == ENOENT) {
        return TOpenResult::Gone;
    } else if (rc == ELOOP || rc == ENOTDIR) {
        // A link or a file put in the folder's place since the listing.
        return TOpenResult::Kept;
    } else {
        // It cannot be listed (no read permission, no descriptor left): it
        // counts as empty, and its removal is tried.
        const int id = Identify(parentFd, name, AT_SYMLINK_NOFOLLOW, out.id);
        if (id == ENOENT)
            return TOpenResult::Gone;
        if (id != 0 || !out.id.isFolder)
            return TOpenResult::Kept;
    }
    // A mount point below the main folder is another file system: it is not
    // walked, and it keeps its parent.
    return OnMainFileSystem(out.id) ? TOpenResult::Folder : TOpenResult::Kept;
}

bool TRemoveThread::List(int fd, TListing& out) {
    out.hasFile = false;
    out.names.clear();
    out.starts.clear();
    if (m_entryBuffer.empty())
        m_entryBuffer.resize(kEntryBufferBytes);
    TDirReader reader(fd, m_entryBuffer.data(), m_entryBuffer.size());
    TDirEntry entry;
    while (reader.Next(entry)) {
        unsigned char type = entry.type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            const int rc = Fs().StatAt(fd, entry.name, st, AT_SYMLINK_NOFOLLOW);
            if (rc == ENOENT)
                continue; // gone since the listing
            // An entry that cannot be examined is kept as content.
            type = rc == 0 && S_ISDIR(st.st_mode) ? DT_DIR : DT_REG;
        }
        if (type != DT_DIR) {
            out.hasFile = true;
            continue;
        }
        out.starts.push_back(static_cast<std::uint32_t>(out.names.size()));
        out.names.append(entry.name, entry.length);
        out.names.push_back('\0');
    }
    return reader.Error() == 0;
}

bool TRemoveThread::Removable(const std::u16string& path, bool hidden, bool system) const {
    return (!hidden || m_inputs.allowHidden) && (!system || m_inputs.allowSystem) &&
           m_filter.Passes(path);
}

bool TRemoveThread::RemoveFolder(const TFolder& folder, const std::u16string& path) {
    ++m_stats.foundEmpty;
    if (m_inputs.dryRun) {
        Report(LineStampNow() + u" - Would delete empty folder '" + path + u"'");
        return true;
    }
    // Only rmdir, which refuses a folder that is not empty by itself, on the
    // bare name in the parent the walk came through, and only while that
    // name still is the folder the walk found. The folder's own permissions
    // do not matter to rmdir (its parent's do), so they are left as they are.
    // The folders on the way down are checked too: one moved out of the main
    // folder since it was entered takes its sub-folders with it.
    int rc = folder.parentError;
    for (const TFolder* f = &folder; rc == 0 && f != nullptr && f->parentFd >= 0; f = f->parent) {
        TFolderId now;
        rc = Identify(f->parentFd, f->name.c_str(), AT_SYMLINK_NOFOLLOW, now);
        if (rc == 0 && (now.dev != f->id.dev || now.ino != f->id.ino))
            rc = kErrorChangedSinceSearch;
    }
    if (rc == 0)
        rc = Fs().UnlinkAt(folder.parentFd, folder.name.c_str(), AT_REMOVEDIR);
    if (rc == 0) {
        ++m_stats.removed;
        Report(LineStampNow() + u" - Deleted empty folder '" + path + u"'");
        return true;
    }
    Report(LineStampNow() + u" - Failed to delete folder '" + path + u"' - " + SystemErrorText(rc));
    return false;
}

void TRemoveThread::WalkMain() {
    const std::u16string& path = m_inputs.mainFolder;
    const std::string native = NativeFolder(LongPathForm(path));
    TFolder main;
    // The main folder is taken as the user named it, a link included;
    // nothing below it is followed.
    int fd = -1;
    if (Fs().Open(native.c_str(), O_RDONLY | O_DIRECTORY, 0, fd) == 0) {
        main.fd.Reset(fd);
        if (Identify(fd, "", AT_EMPTY_PATH, m_mainId) != 0)
            return; // nothing can be told apart from another file system
    } else if (Identify(AT_FDCWD, native.c_str(), 0, m_mainId) != 0 || !m_mainId.isFolder) {
        return;
    }
    main.id = m_mainId;
    // Its parent is opened only when the main folder itself may go.
    TFd parent;
    if (m_inputs.allowHidden && m_inputs.allowSystem) {
        const std::size_t slash = native.rfind('/');
        if (native == "/" || slash == std::string::npos) {
            main.parentError = EBUSY;
        } else {
            const std::string parentPath = slash == 0 ? std::string("/") : native.substr(0, slash);
            int parentFd = -1;
            main.parentError = Fs().Open(parentPath.c_str(), O_PATH | O_DIRECTORY, 0, parentFd);
            parent.Reset(parentFd);
            main.parentFd = parentFd;
            main.name = native.substr(slash + 1);
            if (main.parentError == 0) {
                // The name in the parent is what rmdir acts on: a link named
                // by the user is never removed in place of its folder.
                TFolderId named;
                if (Identify(parentFd, main.name.c_str(), AT_SYMLINK_NOFOLLOW, named) == 0)
                    main.id = named;
            }
        }
    } else {
        main.parentError = EBUSY; // never used: the main folder may not go
    }
    // The main folder counts as hidden and system, so it goes only when both
    // are allowed.
    Walk(main, path, true, true, false);
}

bool TRemoveThread::Walk(const TFolder& folder, const std::u16string& path, bool hidden,
                         bool system, bool traverseOnly) {
    PauseCheck();
    if (Terminated())
        return false;
    UpdateStatistics(false);

    bool hasContent = false;
    bool childResult = true;
    TListing listing;
    // A folder that cannot be listed, or only in part, counts as empty as
    // far as it could be seen: rmdir refuses it if it holds anything.
    if (folder.fd.Get() >= 0)
        List(folder.fd.Get(), listing);
    if (listing.hasFile)
        hasContent = true;

    std::u16string child;
    std::u16string decoded;
    for (const std::uint32_t start : listing.starts) {
        const char* name = listing.names.data() + start;
        DecodeFileName(std::string_view(name), decoded);
        child.assign(path).append(decoded).push_back(kPathDelim);
        const bool childHidden = name[0] == '.';
        bool traverse = false;
        if (!m_filter.Passes(child)) {
            // A folder outside the filter is ignored altogether, unless an
            // include entry lies below it.
            if (!m_inputs.subFolders || !m_filter.LeadsToInclude(child))
                continue;
            traverse = true;
        }
        TFolder sub;
        sub.parent = &folder;
        const TOpenResult opened = OpenSub(folder.fd.Get(), name, sub);
        if (opened == TOpenResult::Gone)
            continue;
        if (opened == TOpenResult::Kept) {
            childResult = false;
            if (m_inputs.subFolders)
                hasContent = true;
            continue;
        }
        if (m_inputs.subFolders) {
            // On Linux no folder carries the system attribute.
            const bool empty = Walk(sub, child, childHidden, false, traverse);
            if (!empty) {
                childResult = false;
                hasContent = true;
            }
        } else if (!Check(sub, child, childHidden)) {
            // A direct sub-folder that stays keeps its parent, whatever the
            // order the listing gave.
            childResult = false;
        }
    }

    // After a cancel nothing more is removed, not even a folder whose walk
    // had already ended.
    if (childResult && !hasContent && !traverseOnly && !Terminated() &&
        Removable(path, hidden, system))
        childResult = RemoveFolder(folder, path);
    ++m_stats.scanned;
    return childResult && !hasContent;
}

bool TRemoveThread::Check(const TFolder& folder, const std::u16string& path, bool hidden) {
    PauseCheck();
    if (Terminated())
        return false;
    UpdateStatistics(false);

    // Empty when the listing holds nothing but "." and ".."; a folder that
    // cannot be listed counts as empty.
    TListing listing;
    if (folder.fd.Get() >= 0)
        List(folder.fd.Get(), listing);
    bool result = !listing.hasFile && listing.starts.empty();
    if (result && !Terminated() && Removable(path, hidden, false))
        result = RemoveFolder(folder, path);
    ++m_stats.scanned;
    return result;
}

// ---------------------------------------------------------------------------
// TRunRemoveThread

TRunRemoveThread::~TRunRemoveThread() {
    Finished();
}

bool TRunRemoveThread::Start(TRemoveInputs inputs, TMessageTarget* window,
                             TMainThreadCaller* caller, TRemoveProgressView* view,
                             TStrList* logHistory) {
    if (m_run.Running())
        return false;
    // An empty or relative main folder would make the walk start wherever
    // the process happens to be, or at "/".
    if (inputs.mainFolder.empty() || inputs.mainFolder.front() != kPathDelim)
        return false;
    m_aborted = false;
    m_stats = TRemoveStatistics{};
    m_report.clear();
    m_logWritten = false;
    auto worker =
        std::make_unique<TRemoveThread>(std::move(inputs), window, caller, view, logHistory);
    TWorkerRun<TRemoveThread>::THooks hooks;
    // The window still gets its completion message, as for an abort.
    hooks.notStarted = [](TRemoveThread& ended) { ended.MarkNotStarted(); };
    hooks.collect = [this](TRemoveThread& ended, bool) {
        m_aborted = ended.Aborted();
        m_stats = ended.Statistics();
        m_report = ended.TakeReport();
        m_logWritten = ended.LogWritten();
    };
    return m_run.Start(std::move(worker), std::move(hooks));
}

void TRunRemoveThread::Pause() {
    m_run.Pause();
}

void TRunRemoveThread::Resume() {
    m_run.Resume();
}

void TRunRemoveThread::Terminate() {
    m_run.Terminate();
}

void TRunRemoveThread::Finished() {
    m_run.Finish();
}

} // namespace vdx
