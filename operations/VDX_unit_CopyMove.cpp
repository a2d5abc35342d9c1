#include "operations/VDX_unit_CopyMove.h"

#include <cerrno>
#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <utility>

#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_StoreObserver.h"
#include "operations/VDX_unit_FolderOpener.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TCopyMoveDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TCopyMoveDoor::Key();

// One block of a copy: small enough that progress and cancel stay
// responsive during a large file.
constexpr std::size_t kCopyBlock = 128 * 1024;

constexpr std::u16string_view kTempPrefix = u"~tmp~";

// Names longer than this are refused by Linux file systems (bytes).
constexpr std::size_t kNameMax = 255;

// Bounds the searches for a free name, so that a folder full of candidates
// ends with an error instead of running for ever.
constexpr std::uint32_t kMaxNameTries = 100000;
constexpr int kMaxPlaceTries = 100;

// A descriptor closed when it goes out of scope; Close reports the error.
class TFd {
public:
    TFd() = default;
    ~TFd() {
        if (m_fd >= 0)
            (void)Fs().Close(m_fd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int& Ref() { return m_fd; }
    int Get() const { return m_fd; }
    int Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 ? Fs().Close(fd) : 0;
    }

private:
    int m_fd = -1;
};

// A temporary file, named in a folder descriptor, removed when it goes out
// of scope unless it has been put in place.
class TTempFile {
public:
    explicit TTempFile(int folder) : m_folder(folder) {}
    ~TTempFile() {
        if (!m_name.empty())
            (void)Fs().UnlinkAt(m_folder, m_name.c_str(), 0);
    }
    TTempFile(const TTempFile&) = delete;
    TTempFile& operator=(const TTempFile&) = delete;
    void Set(std::string name) { m_name = std::move(name); }
    void Release() { m_name.clear(); }
    const std::string& Name() const { return m_name; }

private:
    int m_folder;
    std::string m_name;
};

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The file system (or the kernel) has no unnamed files; a named temporary
// file does the same, short of surviving a kill.
bool UnnamedTempUnsupported(int rc) {
    return rc == EOPNOTSUPP || rc == EISDIR || rc == EINVAL || rc == ENOSYS;
}

// An unnamed copy that no call could give a name (neither by descriptor nor
// through /proc); never leaves the worker.
constexpr int kErrorNoLinkForUnnamed = 0x1000F001;

// The kernel cannot copy between these two files; reading and writing can.
bool KernelCopyUnsupported(int rc) {
    return rc == ENOSYS || rc == EXDEV || rc == EOPNOTSUPP || rc == EINVAL || rc == EBADF ||
           rc == EPERM;
}

// The temporary name of attempt k: "~tmp~name" first, then numbered forms,
// and a short numbered name when the name is too long to carry a prefix.
std::u16string TempName(std::u16string_view name, std::uint32_t k) {
    if (k == 0 && EncodeFileName(name).size() + kTempPrefix.size() <= kNameMax)
        return std::u16string(kTempPrefix) + std::u16string(name);
    std::u16string numbered = std::u16string(kTempPrefix) + FormatPlainNumber(k) + u"~";
    if (EncodeFileName(name).size() + numbered.size() <= kNameMax)
        return numbered + std::u16string(name);
    numbered.pop_back();
    return numbered;
}

// Makes the data and name of a finished copy durable before the source of
// a move goes; a folder that refuses to be synced (some file systems) is
// accepted, an input/output error is not.
int SyncFolder(const std::string& folder) {
    TFd fd;
    if (Fs().Open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0, fd.Ref()) != 0)
        return 0;
    const int rc = Fs().FSync(fd.Get());
    return rc == EIO ? rc : 0;
}

// Opens a folder for the *at calls: a path descriptor, which needs no read
// permission on the folder itself. 0 or the errno.
int OpenFolder(std::u16string_view folder, int& fd) {
    std::string native = NativePath(LongPathForm(folder));
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    return Fs().Open(native.c_str(), O_PATH | O_DIRECTORY, 0, fd);
}

} // namespace

TCopyInputs CopyInputsFromStore(const TScanData& store, std::vector<std::int32_t> files,
                                TCollisionRule rule) {
    const TOperationFigures& figures = store.Operation();
    TCopyInputs inputs;
    inputs.files = std::move(files);
    inputs.destination = figures.m_destination;
    inputs.rule = rule;
    inputs.move = figures.m_move;
    inputs.destinationVolume = figures.m_destinationVolume;
    inputs.filesToProcess = figures.m_filesToProcess;
    inputs.bytesToProcess = figures.m_bytesToProcess;
    return inputs;
}

TCopyInputs CopyInputsFromStore(const TScanData& store, const TOperationList& list,
                                TCollisionRule rule) {
    std::vector<std::int32_t> files;
    files.reserve(static_cast<std::size_t>(list.Count()));
    for (std::int32_t row = 0; row < list.Count(); ++row)
        files.push_back(list.FileOf(row));
    TCopyInputs inputs = CopyInputsFromStore(store, std::move(files), rule);
    inputs.view = list.View();
    return inputs;
}

std::u16string RelativeSourceFolder(std::u16string_view folderPath) {
    std::u16string out;
    out.reserve(folderPath.size());
    for (const char16_t c : folderPath) {
        if (c == kPathDelim && !out.empty() && out.back() == kPathDelim)
            continue;
        out.push_back(c);
    }
    if (!out.empty() && out.front() == kPathDelim)
        out.erase(0, 1);
    return out;
}

int CreateFolderPath(std::u16string_view path, bool* madeLast) {
    if (madeLast != nullptr)
        *madeLast = false;
    const std::string native = NativePath(LongPathForm(AddTrailingBackslash(path)));
    // Most folders of a copy exist already, or only their last level is new.
    {
        struct stat st {};
        if (Fs().Stat(native.c_str(), st) == 0 && S_ISDIR(st.st_mode))
            return 0;
    }
    // Every "/" after a component ends one level; the root and empty
    // components ("//") end none.
    for (std::size_t i = 1; i < native.size(); ++i) {
        if (native[i] != '/' || native[i - 1] == '/')
            continue;
        const std::string prefix = native.substr(0, i);
        struct stat st {};
        int rc = Fs().Stat(prefix.c_str(), st);
        if (rc == 0) {
            if (S_ISDIR(st.st_mode))
                continue;
            return ENOTDIR;
        }
        if (rc != ENOENT)
            return rc;
        rc = Fs().MakeDir(prefix.c_str(), 0777);
        if (rc == 0) {
            if (madeLast != nullptr)
                *madeLast = native.find_first_not_of('/', i) == std::string::npos;
            continue;
        }
        if (rc != EEXIST)
            return rc;
        // Made by someone else since the test, or a name that is no folder
        // (a dangling link).
        if (Fs().Stat(prefix.c_str(), st) == 0 && S_ISDIR(st.st_mode))
            continue;
        return ENOTDIR;
    }
    return 0;
}

std::u16string AutoRenamedName(std::u16string_view name, std::uint32_t n) {
    return std::u16string(name) + u"[" + FormatPlainNumber(n) + u"-new]";
}

// ---- TCopyThread ----

// Every call on a file is made relative to the descriptors of its source
// and destination folders (m_sourceDir, m_destDir) with its bare name: the
// kernel then walks no path per call.
struct TCopyThread::TFileJob {
    std::uint32_t file = 0; // its store record
    std::u16string name;
    std::string nativeName; // name, encoded for the file system
    std::uint64_t size = 0;
    TFileTime lastWrite = 0;
    struct stat sourceStat {}; // the source as checked before acting on it
    TCollisionOutcome outcome = TCollisionOutcome::None;
    std::u16string usedName;    // the name at the destination
    std::string nativeUsedName; // usedName, encoded
    std::uint64_t written = 0;
    bool interrupted = false;
    bool copied = false;   // went through the copy procedure
    struct stat placed {}; // the finished copy, for the check before a move deletes the source
};

TCopyThread::TCopyThread(TScanData& store, TCopyInputs inputs, TOperationLogs& logs,
                         TCopySafeProgress& progress, TMessageTarget* window,
                         TMainThreadCaller* caller)
    : TWorkerShell(u"TCopyThread", {kMsgCopyProgress, kMsgCopyWorkerEnded}, window, caller),
      m_store(store), m_inputs(std::move(inputs)), m_logs(logs), m_progress(progress),
      m_kind(m_inputs.move ? TOperationKind::Move : TOperationKind::Copy), m_opener(store) {
    m_inputs.destination = AddTrailingBackslash(m_inputs.destination);
}

TCopyThread::~TCopyThread() {
    Join();
    CloseFolders();
}

void TCopyThread::Close(bool failed) {
    if (!failed)
        return;
    m_aborted = true;
    // The error log then goes only when nothing failed, as after any run.
    CloseFolders();
    CloseRun();
    if (!m_finishLogged)
        m_logs.FinishRun(m_kind, true, AnyFailure());
    m_finishLogged = true;
    SetPhase(kPhaseAborted);
}

TLogSummary TCopyThread::Summary() const {
    return SummaryOf(m_counters, m_inputs.filesToProcess, m_inputs.bytesToProcess);
}

void TCopyThread::Reindex() {
    // Only a move removes files from the views; a copy leaves the store as
    // it was, so re-indexing would be work for nothing.
    if (!m_anyRemoved || m_reindexed)
        return;
    m_reindexed = true;
    try {
        ReindexAnnounced(m_store, Caller());
    } catch (const std::exception& e) {
        AddErrorEntry(u"TCopyThread: ReindexAfterRemovals: " + FromUtf8(e.what()));
    }
}

void TCopyThread::RecomputeTotals() {
    if (!m_anyRemoved || m_totalsDone)
        return;
    m_totalsDone = true;
    try {
        ComputeTotals(m_store);
    } catch (const std::exception& e) {
        AddErrorEntry(u"TCopyThread: ComputeTotals: " + FromUtf8(e.what()));
    }
}

void TCopyThread::CloseRun() {
    Reindex();
    RecomputeTotals();
    if (!m_summaryAdded) {
        m_summaryAdded = true;
        m_logs.AddSummary(SummaryBlock(m_kind, Summary()), AnyFailure());
    }
}

void TCopyThread::Work() {
    m_start = NowDateTime();
    MarkSnapshot();
    m_counters = TCopyCounters{};
    if (m_inputs.move && !m_inputs.allowWholeGroups)
        m_remaining = std::make_unique<TRemainingCopyCheck>(m_store, m_inputs.view, m_inputs.files);
    SetPhase(kPhaseCopying);

    MainLoop();

    Snapshot();
    Reindex();
    SetPhase(kPhasePreparingViewTables);
    SetPhase(kPhaseIndexingTables);
    CloseRun();

    m_aborted = Terminated();
    SetPhase(m_aborted ? kPhaseAborted : kPhaseCompleted);
    m_logs.FinishRun(m_kind, m_aborted, AnyFailure());
    m_finishLogged = true;
}

void TCopyThread::MainLoop() {
    const std::u16string& destRoot = m_inputs.destination;
    if (const int rootRc = CreateFolderPath(destRoot); rootRc != 0) {
        m_folderError = true;
        m_logs.AddFolderError(LineCannotCreateMainFolder(LineStampNow(), destRoot, rootRc));
    } else {
        std::uint32_t previousFolder = UINT32_MAX;
        bool folderReady = false;
        for (const std::int32_t entry : m_inputs.files) {
            PauseCheck();
            if (Terminated())
                break;
            ThrottledSnapshot();
            if (entry < 0 || static_cast<std::uint32_t>(entry) >= m_store.FileCount())
                continue;
            const auto file = static_cast<std::uint32_t>(entry);
            const std::uint32_t folder = m_store.File(file).m_folder;
            if (folder != previousFolder) {
                previousFolder = folder;
                folderReady = EnterFolder(folder);
            } else if (m_resumed && folderReady) {
                ReopenSource(folder);
            }
            m_resumed = false;
            // The files of a folder that could not be made are neither
            // counted nor logged one by one.
            if (folderReady)
                ProcessFile(file);
        }
    }
    CloseFolders();
    m_opener.Reset();
    Snapshot();
    m_logs.AddBoth(u"", AnyFailure());
}

bool TCopyThread::EnterFolder(std::uint32_t folder) {
    CloseFolders();
    m_unnamedTemp = true;
    m_sourceFolder = AddTrailingBackslash(m_store.FolderPath(folder));
    m_destFolder = m_inputs.destination + RelativeSourceFolder(m_store.FolderPath(folder));
    int rc = CreateFolderPath(m_destFolder, &m_destFolderNew);
    if (rc == 0)
        rc = OpenFolder(m_destFolder, m_destDir);
    if (rc != 0) {
        m_folderError = true;
        m_logs.AddFolderError(LineCannotCreateFolder(LineStampNow(), m_destFolder, rc));
        return false;
    }
    // The source folder is opened from its search root without following
    // links, each folder on the way checked against what the search listed.
    // One that cannot be opened, or is no longer the folder the search
    // listed, fails each of its files with that error.
    m_sourceDirError = m_opener.OpenFolder(folder, m_sourceDir);
    return true;
}

void TCopyThread::ReopenSource(std::uint32_t folder) {
    // Folders may have moved while the run was paused: the chain is walked
    // again from the search root.
    m_opener.Reset();
    if (m_remaining)
        m_remaining->Reset();
    m_sourceDir = -1;
    m_sourceDirError = m_opener.OpenFolder(folder, m_sourceDir);
}

void TCopyThread::CloseFolders() {
    // The source folder's descriptor belongs to the opener, which keeps the
    // chain above it for the next folder.
    if (m_destDir >= 0)
        (void)Fs().Close(m_destDir);
    m_sourceDir = -1;
    m_destDir = -1;
    m_sourceDirError = 0;
    m_destFolderNew = false;
}

void TCopyThread::ProcessFile(std::uint32_t file) {
    TFileJob job;
    job.file = file;
    job.name = std::u16string(m_store.FileName(file));
    job.nativeName = NativePath(job.name);
    job.size = m_store.FileSize(file);
    job.lastWrite = m_store.FileLastWrite(file);
    const std::u16string& destFolder = m_destFolder;

    const std::uint64_t bytesBefore = m_counters.processedBytes;
    int rc = 0;
    if (m_sourceDirError != 0) {
        // Counted as processed like any other file that failed.
        m_counters.processedBytes += job.size;
        rc = m_sourceDirError;
    } else if (m_inputs.move && m_store.FileVolume(file) == m_inputs.destinationVolume) {
        m_counters.processedBytes += job.size;
        rc = RenameProcedure(job);
        if (rc == EXDEV) {
            // Two mounts of one file system, or a volume table that did not
            // know better: the rename cannot work, a copy can.
            m_counters.processedBytes = bytesBefore;
            job.outcome = TCollisionOutcome::None;
            rc = CopyProcedure(job);
        } else {
            job.written = job.size;
        }
    } else {
        rc = CopyProcedure(job);
    }
    if (job.copied) {
        if (job.interrupted) {
            // A cancelled file is not reported at all: no partial copy is
            // left and its source is untouched.
            m_counters.processedBytes = bytesBefore;
            return;
        }
        m_counters.processedBytes = bytesBefore + job.size;
        if (rc != 0)
            job.written = job.size;
    }
    ++m_counters.processedCount;

    const std::u16string source = m_sourceFolder + job.name;
    const std::u16string stamp = LineStampNow();
    if (rc != 0) {
        ++m_counters.failedCount;
        m_counters.failedBytes += job.size;
        const std::u16string& shownName =
            job.outcome == TCollisionOutcome::AutoRename ? job.usedName : job.name;
        m_logs.AddBoth(LineFailedTransfer(m_kind, stamp, source, destFolder + shownName, rc), true);
        return;
    }
    switch (job.outcome) {
    case TCollisionOutcome::Skip:
        m_logs.AddFull(LineSkip(m_kind, stamp, source, job.size, destFolder + job.name));
        return;
    case TCollisionOutcome::AutoRename:
        m_logs.AddFull(LineRenamed(m_kind, stamp, source, job.size, destFolder + job.usedName));
        break;
    default:
        m_logs.AddFull(LineOkTransfer(m_kind, stamp, source, job.size, destFolder + job.name));
        break;
    }
    ++m_counters.doneCount;
    m_counters.doneBytes += job.written;
    if (m_inputs.move) {
        m_store.File(kKey, file).m_removed = 1;
        m_anyRemoved = true;
    }
}

int TCopyThread::CollisionCheck(TFileJob& job) {
    job.outcome = TCollisionOutcome::None;
    job.usedName = job.name;
    job.nativeUsedName = job.nativeName;
    struct stat st {};
    int rc = Fs().StatAt(m_destDir, job.nativeName.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (rc == ENOENT)
        return 0;
    if (rc != 0)
        return rc;
    switch (m_inputs.rule) {
    case TCollisionRule::Skip:
        job.outcome = TCollisionOutcome::Skip;
        return 0;
    case TCollisionRule::AutoRename:
        for (std::uint32_t n = 1; n <= kMaxNameTries; ++n) {
            std::u16string candidate = AutoRenamedName(job.name, n);
            std::string nativeCandidate = NativePath(candidate);
            rc = Fs().StatAt(m_destDir, nativeCandidate.c_str(), st, AT_SYMLINK_NOFOLLOW);
            if (rc == 0)
                continue;
            if (rc != ENOENT)
                return rc;
            job.outcome = TCollisionOutcome::AutoRename;
            job.usedName = std::move(candidate);
            job.nativeUsedName = std::move(nativeCandidate);
            return 0;
        }
        return EEXIST;
    case TCollisionRule::Overwrite:
        // Only a file is ever replaced, and never by itself: replacing the
        // source with its own copy and then deleting the source would lose it.
        if (S_ISDIR(st.st_mode))
            return EISDIR;
        if (SameFile(st, job.sourceStat))
            return kErrorSameFile;
        job.outcome = TCollisionOutcome::Overwrite;
        return 0;
    }
    // A rule of no known value never replaces anything.
    job.outcome = TCollisionOutcome::Skip;
    return 0;
}

int TCopyThread::RenameProcedure(TFileJob& job) {
    const char* source = job.nativeName.c_str();
    if (const int rc = Fs().StatAt(m_sourceDir, source, job.sourceStat, AT_SYMLINK_NOFOLLOW);
        rc != 0)
        return rc;
    if (const int rc = CheckUnchanged(m_store, job.file, job.sourceStat); rc != 0)
        return rc;
    if (const int rc = CheckRemainingCopy(job); rc != 0)
        return rc;
    for (int attempt = 0; attempt < kMaxPlaceTries; ++attempt) {
        if (const int rc = CollisionCheck(job); rc != 0)
            return rc;
        if (job.outcome == TCollisionOutcome::Skip)
            return 0;
        const char* to = job.nativeUsedName.c_str();
        if (job.outcome == TCollisionOutcome::Overwrite)
            return Fs().RenameAt(m_sourceDir, source, m_destDir, to, 0);
        int rc = Fs().RenameAt(m_sourceDir, source, m_destDir, to, RENAME_NOREPLACE);
        if (rc == EINVAL) {
            // The file system cannot promise not to replace: test, then rename.
            struct stat st {};
            rc = Fs().StatAt(m_destDir, to, st, AT_SYMLINK_NOFOLLOW) == 0
                     ? EEXIST
                     : Fs().RenameAt(m_sourceDir, source, m_destDir, to, 0);
        }
        // EEXIST: the name was taken since the check; decide again.
        if (rc != EEXIST)
            return rc;
    }
    return EEXIST;
}

int TCopyThread::CopyProcedure(TFileJob& job) {
    job.copied = true;
    job.written = 0;
    job.interrupted = false;

    // The source must still be the regular file the search recorded, checked
    // on the open descriptor: a link put in its place is not followed, a
    // FIFO cannot block the open (a socket refuses it), a device node or a
    // folder is opened only to be refused, and never becomes a terminal.
    TFd source;
    if (const int rc = Fs().OpenAt(m_sourceDir, job.nativeName.c_str(),
                                   O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0, source.Ref());
        rc != 0)
        return rc == ELOOP || rc == ENXIO ? kErrorChangedSinceSearch : rc;
    if (const int rc = Fs().FStat(source.Get(), job.sourceStat); rc != 0)
        return rc;
    if (const int rc = CheckUnchanged(m_store, job.file, job.sourceStat); rc != 0)
        return rc;
    // A move that could not take the file away is not begun.
    if (const int rc = CheckRemainingCopy(job); rc != 0)
        return rc;
    if (job.size > kCopyBlock)
        (void)Fs().Advise(source.Get(), POSIX_FADV_SEQUENTIAL); // only a hint

    PauseCheck();
    if (Terminated()) {
        job.interrupted = true;
        return ECANCELED;
    }
    ThrottledSnapshot();

    if (m_destFolderNew) {
        // A folder this run made holds only what the run put there, and no
        // two files of a source folder share a name: nothing to look up.
        // Someone else's file that appears meanwhile, or a name that
        // collides only on a file system that ignores case, is caught when
        // the copy is put in place, which never replaces without the rule.
        job.outcome = TCollisionOutcome::None;
        job.usedName = job.name;
        job.nativeUsedName = job.nativeName;
    } else {
        if (const int rc = CollisionCheck(job); rc != 0)
            return rc;
        if (job.outcome == TCollisionOutcome::Skip)
            return 0;
    }

    int rc = CopyToTarget(job, source.Get());
    if (rc == kErrorNoLinkForUnnamed) {
        // The unnamed copy could not be given a name, and from now on no
        // unnamed file is made: the same file again, through a named
        // temporary file.
        m_counters.processedBytes -= job.written;
        job.written = 0;
        rc = Fs().Seek(source.Get(), 0);
        if (rc == 0)
            rc = CopyToTarget(job, source.Get());
    }
    return rc;
}

int TCopyThread::CopyToTarget(TFileJob& job, int source) {
    // The copy is written into a file without a name (O_TMPFILE) where the
    // file system has them, and linked under its name only when complete:
    // even a killed process leaves no partial file. Elsewhere it is a named
    // temporary file, always a new one (an existing file of that name may
    // be the user's, so it is never truncated). Either is made with the
    // source's permissions, which spares a change of mode in most cases.
    const mode_t mode = job.sourceStat.st_mode & 0777;
    TTempFile temp(m_destDir);
    TFd target;
    bool unnamed = false;
    if (m_unnamedTemp && m_linkMode != TLinkMode::None) {
        const int rc = Fs().OpenAt(m_destDir, ".", O_WRONLY | O_TMPFILE, mode, target.Ref());
        if (rc == 0)
            unnamed = true;
        else if (UnnamedTempUnsupported(rc))
            m_unnamedTemp = false;
        else
            return rc;
    }
    for (std::uint32_t k = 0; !unnamed; ++k) {
        if (k >= kMaxNameTries)
            return EEXIST;
        std::string name = NativePath(TempName(job.usedName, k));
        const int rc = Fs().OpenAt(m_destDir, name.c_str(),
                                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, mode, target.Ref());
        if (rc == 0) {
            temp.Set(std::move(name));
            break;
        }
        if (rc != EEXIST && !(rc == ENAMETOOLONG && k == 0))
            return rc;
    }

    PauseCheck();
    if (Terminated()) {
        job.interrupted = true;
        return ECANCELED;
    }

    // The copy stops at the recorded size; a source that grew meanwhile is
    // caught by the check of its size after the copy.
    bool kernelCopy = true;
    while (job.written < job.size) {
        std::size_t done = 0;
        if (kernelCopy) {
            const int rc = Fs().CopyFileRange(source, target.Get(), kCopyBlock, done);
            // Some file systems answer "nothing to copy" for a file that has
            // bytes; reading tells the truth.
            if ((rc != 0 && KernelCopyUnsupported(rc)) ||
                (rc == 0 && done == 0 && job.written == 0 && job.size > 0)) {
                kernelCopy = false;
                continue;
            }
            if (rc != 0)
                return rc;
        } else {
            if (!m_buffer)
                m_buffer = std::make_unique<char[]>(kCopyBlock);
            if (const int rc = Fs().Read(source, m_buffer.get(), kCopyBlock, done); rc != 0)
                return rc;
            if (done > 0)
                if (const int rc = WriteAll(target.Get(), m_buffer.get(), done); rc != 0)
                    return rc;
        }
        if (done == 0)
            break;
        job.written += done;
        m_counters.processedBytes += done;
        ThrottledSnapshot();
        PauseCheck();
        if (Terminated()) {
            job.interrupted = true;
            return ECANCELED;
        }
    }

    // A file written to while it was copied gives a copy of no single state.
    if (job.written != job.size)
        return kErrorChangedSinceSearch;
    {
        struct stat after {};
        if (const int rc = Fs().FStat(source, after); rc != 0)
            return rc;
        if (const int rc = CheckUnchanged(m_store, job.file, after); rc != 0)
            return rc;
    }

    // The creation time cannot be set on Linux; access and write times are
    // copied to the nanosecond, or both from the write time when the
    // access time is refused.
    struct timespec times[2] = {job.sourceStat.st_atim, job.sourceStat.st_mtim};
    if (Fs().FUtimens(target.Get(), times) != 0) {
        times[0] = times[1];
        if (const int rc = Fs().FUtimens(target.Get(), times); rc != 0)
            return rc;
    }
    // The mode asked for at creation may have been narrowed by the umask or
    // a default ACL.
    if (const int rc = Fs().FStat(target.Get(), job.placed); rc != 0)
        return rc;
    if ((job.placed.st_mode & 07777) != mode)
        if (const int rc = Fs().FChmod(target.Get(), mode); rc != 0)
            return rc;
    // A move deletes the only other copy, so its data must be on the disk
    // first; a plain copy leaves the source, and syncing every file would
    // cost more than the copy.
    if (m_inputs.move)
        if (const int rc = Fs().FSync(target.Get()); rc != 0)
            return rc;

    if (unnamed) {
        // A name is given while the descriptor is open, so close comes after
        // it; the file systems that report late write errors on close
        // (network ones) have no unnamed files anyway. A link never
        // replaces, so a copy that is to replace a file gets a temporary
        // name, and the old file goes only after the close succeeded.
        bool linked = false;
        if (const int rc = LinkUnnamedInPlace(job, target.Get(), linked); rc != 0)
            return rc;
        if (job.outcome == TCollisionOutcome::Overwrite) {
            std::string tempName;
            const int rc = LinkUnnamedAsTemp(job, target.Get(), tempName);
            if (rc != 0)
                return rc;
            temp.Set(std::move(tempName));
        }
        if (const int rc = target.Close(); rc != 0) {
            if (linked)
                RemovePlaced(job);
            return rc;
        }
        if (job.outcome == TCollisionOutcome::Overwrite)
            if (const int rc = PlaceTemporary(job, temp.Name()); rc != 0)
                return rc;
    } else {
        // Late write errors (network file systems) are reported by close.
        if (const int rc = target.Close(); rc != 0)
            return rc;
        if (const int rc = PlaceTemporary(job, temp.Name()); rc != 0)
            return rc; // the temporary file goes; source and destination are as they were
    }
    if (job.outcome == TCollisionOutcome::Skip)
        return 0; // the name was taken meanwhile; the temporary file goes
    temp.Release();

    if (m_inputs.move)
        return DeleteMovedSource(job);
    return 0;
}

int TCopyThread::LinkUnnamed(int fd, const char* to) {
    if (m_linkMode == TLinkMode::EmptyPath) {
        const int rc = Fs().LinkAt(fd, "", m_destDir, to, AT_EMPTY_PATH);
        // Refused with ENOENT without the capability to link by descriptor.
        if (rc != ENOENT)
            return rc;
        m_linkMode = TLinkMode::Proc;
    }
    if (m_linkMode == TLinkMode::Proc) {
        char path[40];
        std::snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
        const int rc = Fs().LinkAt(AT_FDCWD, path, m_destDir, to, AT_SYMLINK_FOLLOW);
        if (rc != ENOENT)
            return rc;
        // No /proc: the rest of the run uses named temporary files.
        m_linkMode = TLinkMode::None;
    }
    return kErrorNoLinkForUnnamed;
}

int TCopyThread::LinkUnnamedInPlace(TFileJob& job, int fd, bool& linked) {
    linked = false;
    for (int attempt = 0; attempt < kMaxPlaceTries; ++attempt) {
        if (job.outcome == TCollisionOutcome::Overwrite)
            return 0;
        const int rc = LinkUnnamed(fd, job.nativeUsedName.c_str());
        if (rc == 0)
            linked = true;
        if (rc != EEXIST)
            return rc;
        // The name was taken while the copy was written: decide again.
        if (const int check = CollisionCheck(job); check != 0)
            return check;
        if (job.outcome == TCollisionOutcome::Skip)
            return 0;
    }
    return EEXIST;
}

int TCopyThread::LinkUnnamedAsTemp(const TFileJob& job, int fd, std::string& tempName) {
    for (std::uint32_t k = 0; k < kMaxNameTries; ++k) {
        std::string name = NativePath(TempName(job.usedName, k));
        const int rc = LinkUnnamed(fd, name.c_str());
        if (rc == 0) {
            tempName = std::move(name);
            return 0;
        }
        if (rc != EEXIST && !(rc == ENAMETOOLONG && k == 0))
            return rc;
    }
    return EEXIST;
}

void TCopyThread::RemovePlaced(const TFileJob& job) {
    struct stat st {};
    const char* name = job.nativeUsedName.c_str();
    if (Fs().StatAt(m_destDir, name, st, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(st, job.placed))
        (void)Fs().UnlinkAt(m_destDir, name, 0);
}

int TCopyThread::PlaceTemporary(TFileJob& job, const std::string& tempName) {
    const char* from = tempName.c_str();
    for (int attempt = 0; attempt < kMaxPlaceTries; ++attempt) {
        const char* to = job.nativeUsedName.c_str();
        if (job.outcome == TCollisionOutcome::Overwrite)
            return Fs().RenameAt(m_destDir, from, m_destDir, to, 0);
        int rc = Fs().RenameAt(m_destDir, from, m_destDir, to, RENAME_NOREPLACE);
        if (rc == EINVAL) {
            struct stat st {};
            rc = Fs().StatAt(m_destDir, to, st, AT_SYMLINK_NOFOLLOW) == 0
                     ? EEXIST
                     : Fs().RenameAt(m_destDir, from, m_destDir, to, 0);
        }
        if (rc != EEXIST)
            return rc;
        // The name was taken while the copy was written: decide again.
        if (const int check = CollisionCheck(job); check != 0)
            return check;
        if (job.outcome == TCollisionOutcome::Skip)
            return 0;
    }
    return EEXIST;
}

int TCopyThread::DeleteMovedSource(TFileJob& job) {
    struct stat st {};
    // The copy in place must be the one just written, whole.
    if (const int rc = Fs().StatAt(m_destDir, job.nativeUsedName.c_str(), st, AT_SYMLINK_NOFOLLOW);
        rc != 0)
        return rc;
    if (!SameFile(st, job.placed) || static_cast<std::uint64_t>(st.st_size) != job.size)
        return EIO;
    if (const int rc = SyncFolder(NativePath(LongPathForm(m_destFolder))); rc != 0)
        return rc;
    // A pause while the file was copied may have let its folder move: the
    // source goes only from its folder as the search listed it.
    if (m_resumed) {
        m_resumed = false;
        ReopenSource(m_store.File(job.file).m_folder);
        if (m_sourceDirError != 0)
            return m_sourceDirError;
    }
    // The source must still be the file that was copied.
    const char* source = job.nativeName.c_str();
    if (const int rc = Fs().StatAt(m_sourceDir, source, st, AT_SYMLINK_NOFOLLOW); rc != 0)
        return rc;
    if (!SameFile(st, job.sourceStat))
        return kErrorChangedSinceSearch;
    if (const int rc = CheckUnchanged(m_store, job.file, st); rc != 0)
        return rc;
    // Checked again now: a copy may have gone while this one was written.
    if (const int rc = CheckRemainingCopy(job); rc != 0)
        return rc;
    return Fs().UnlinkAt(m_sourceDir, source, 0);
}

int TCopyThread::CheckRemainingCopy(const TFileJob& job) {
    return m_remaining ? m_remaining->Check(job.file) : 0;
}

void TCopyThread::PauseCheck() {
    if (WaitWhilePaused())
        m_resumed = true;
}

void TCopyThread::SetPhase(std::int32_t phase) {
    m_phase = phase;
    Snapshot();
}

void TCopyThread::ThrottledSnapshot() {
    if (SnapshotDue())
        Snapshot();
}

void TCopyThread::Snapshot() {
    TWorkerShell::Snapshot([this] {
        m_store.Operation(kKey).RecordProgress(m_counters.processedCount, m_counters.processedBytes,
                                               m_counters.failedCount);
        m_progress.start = m_start;
        m_progress.now = NowDateTime();
        m_progress.phase = m_phase;
        m_progress.processed = m_counters.processedCount;
        m_progress.kilobytes = static_cast<std::uint32_t>(m_counters.processedBytes / 1024);
        m_progress.failed = static_cast<std::uint32_t>(m_counters.failedCount);
    });
}

// ---- TRunCopyThread ----

TRunCopyThread::~TRunCopyThread() {
    Finished();
}

bool TRunCopyThread::Start(std::unique_ptr<TCopyThread> worker, TCopySafeProgress& progress,
                           TMessageTarget* window) {
    if (!worker)
        return false;
    if (m_run.Running()) {
        worker->Discard();
        return false;
    }
    m_counters = TCopyCounters{};
    m_aborted = false;
    m_paused = false;
    m_progress = &progress;
    TWorkerRun<TCopyThread>::THooks hooks;
    hooks.collect = [this](TCopyThread& ended, bool started) {
        m_counters = ended.Counters();
        m_aborted = !started || ended.Aborted();
    };
    hooks.window = window;
    hooks.doneCode = kMsgCopyWaiterDone;
    return m_run.Start(std::move(worker), std::move(hooks));
}

void TRunCopyThread::Pause() {
    m_run.WithWorker([this](TCopyThread& worker) {
        m_progress->pauseStart = NowDateTime();
        m_paused = true;
        worker.Pause();
    });
}

void TRunCopyThread::Resume() {
    m_run.WithWorker([this](TCopyThread& worker) {
        if (m_paused) {
            m_progress->resume = NowDateTime();
            const double paused = m_progress->resume - m_progress->pauseStart;
            if (paused > 0)
                m_progress->pausedTotal += paused;
            m_paused = false;
        }
        worker.Resume();
    });
}

void TRunCopyThread::Terminate() {
    m_run.Terminate();
}

void TRunCopyThread::Finished() {
    m_run.Finish();
}

} // namespace vdx
