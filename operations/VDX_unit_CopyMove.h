#pragma once
// The copy and move engine: a worker thread (TCopyThread) that copies or
// moves the files of the operation list into a destination folder, below
// which it rebuilds each file's source folder path, and its waiter
// (TRunCopyThread), which runs the worker, frees it and reports the end.
//
// Safety: a copy is written into an unnamed file in the destination folder
// (or, where the file system has none, a temporary "~tmp~" file beside its
// final name) and given its name only when complete; an existing destination is
// replaced only under the overwrite rule, and then by that final rename; a
// move deletes its source only after the copy is complete, has the recorded
// size, and the source is still the file the search recorded. Every source
// is reached through its folder as the search listed it (opened from the
// search root without following links) and must still be the file the
// search recorded (size, last-write time, inode, change time); one that is
// not, or lies in a folder that is not, is failed and left alone.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "operations/VDX_unit_FolderOpener.h"
#include "operations/VDX_unit_OperationList.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "operations/VDX_unit_RemainingCopy.h"
#include "platform/VDX_unit_Threads.h"

namespace vdx {

// What happens when a file of the destination name already exists; the
// values follow the Copy/Move window's drop-down "Skip", "Autorename",
// "Overwrite".
enum class TCollisionRule : std::int32_t { Skip = 0, AutoRename = 1, Overwrite = 2 };

// What the collision check did for one file.
enum class TCollisionOutcome { None, Skip, AutoRename, Overwrite };

// The copy worker's progress as the copy progress window reads it. The
// worker's cells are written only inside snapshot routines; the three pause
// cells only by the waiter's pause and resume. Both run on the
// user-interface thread.
struct TCopySafeProgress {
    double start = 0;       // local date-time the worker started
    double now = 0;         // local date-time of the snapshot
    double pauseStart = 0;  // when the last pause began
    double resume = 0;      // when the last pause ended
    double pausedTotal = 0; // days spent paused so far, left out of remaining-time estimates
    std::int32_t phase = kPhaseCopying;
    std::uint32_t filesDone = 0;     // first counter: files processed
    std::uint32_t kilobytesDone = 0; // second counter: bytes / 1024, cut to 32 bits
    std::uint32_t errors = 0;        // third counter: files failed
};

// The counters of one run.
struct TCopyCounters {
    std::uint32_t processedCount = 0;
    std::uint64_t processedBytes = 0;
    std::uint32_t successCount = 0;
    std::uint64_t successBytes = 0; // bytes written by copies, sizes of renamed files
    std::int32_t failedCount = 0;
    std::uint64_t failedBytes = 0;
};

// The summary block's figures of a copy or move of files files and bytes
// bytes that came to counters.
TLogSummary SummaryOf(const TCopyCounters& counters, std::uint64_t files, std::uint64_t bytes);

// Everything a run acts on besides the store.
struct TCopyInputs {
    // File indices of the operation list, in list order; files of one folder
    // stand together (the list is sorted by folder before the start).
    std::vector<std::int32_t> files;
    std::u16string destination; // full path; a trailing "/" is added when missing
    TCollisionRule rule = TCollisionRule::Skip;
    bool move = false;
    // The destination's volume index; a file of the same volume is moved by
    // renaming it. kNoVolume when not known.
    std::uint16_t destinationVolume = kNoVolume;
    // The list's count and bytes when the user confirmed, for the summary.
    std::uint32_t filesToProcess = 0;
    std::uint64_t bytesToProcess = 0;
    // The view the list was taken from: a move takes a file away only while
    // a file of its group in this view stays behind unchanged, unless the
    // user allowed whole groups to go.
    TViewKind view = kViewSameContent;
    bool allowWholeGroups = false;
};

// The inputs as the store's run figures hold them (move flag, destination,
// destination volume, files and bytes to process), with the list's files and
// the collision rule, which the figures do not keep (and, from a list, its
// view).
TCopyInputs CopyInputsFromStore(const TScanData& store, std::vector<std::int32_t> files,
                                TCollisionRule rule);
// The same with the files of the operation list in its present order; the
// worker keeps its own copy of the indices.
TCopyInputs CopyInputsFromStore(const TScanData& store, const TOperationList& list,
                                TCollisionRule rule);

// The relative form of a source folder path: repeated "/" collapsed into
// one and one leading "/" removed, so that "/data/photos/" becomes
// "data/photos/" and lands below the destination as such.
std::u16string RelativeSourceFolder(std::u16string_view folderPath);

// Creates the folder path (absolute, ending with "/") with every missing
// level. An existing folder, or a link to one, is passed. Returns 0 or the
// errno of the failure; ENOTDIR when a level exists but is not a folder.
// *madeLast tells whether the folder itself was made by this call.
int CreateFolderPath(std::u16string_view path, bool* madeLast = nullptr);

// name + "[n-new]", the autorename form of a name (extension included).
std::u16string AutoRenamedName(std::u16string_view name, std::uint32_t n);

// The worker. Created by its waiter's owner, run and freed by the waiter;
// freeing it posts kMsgCopyWorkerEnded.
class TCopyThread {
public:
    // window and caller may be nullptr (no messages; snapshot routines run on
    // the worker's thread). store, logs and progress must outlive the worker.
    TCopyThread(TScanData& store, TCopyInputs inputs, TOperationLogs& logs,
                TCopySafeProgress& progress, TMessageTarget* window, TMainThreadCaller* caller);
    ~TCopyThread();
    TCopyThread(const TCopyThread&) = delete;
    TCopyThread& operator=(const TCopyThread&) = delete;

    // Throws std::system_error when no thread can be started.
    void Start();
    void WaitFor();
    // A worker that never ran reports nothing.
    void Discard() { m_window = nullptr; }

    void Pause() { m_signals.Pause(); }
    void Resume() { m_signals.Resume(); }
    // Also releases a paused worker, so that the cancel is seen even when
    // nobody resumes it.
    void Terminate() { m_signals.Terminate(); }

    // Valid once the thread has ended.
    const TCopyCounters& Counters() const { return m_counters; }
    bool Aborted() const { return m_aborted; }
    bool FolderError() const { return m_folderError; }

private:
    struct TFileJob;

    bool Terminated() const { return m_signals.Terminated(); }
    void Execute();
    void Run();
    // After a move, the views lose the moved files and their totals are
    // recomputed; then the summary block is added. Each step runs once, so
    // that an exception can finish what the run left undone.
    void Reindex();
    void RecomputeTotals();
    void CloseRun();
    TLogSummary Summary() const;
    void MainLoop();
    // Makes the destination folder of a source folder and opens both for the
    // files in them; false (and logged) when the destination cannot be made.
    bool EnterFolder(std::uint32_t folder);
    void CloseFolders();
    // Opens the source folder again from its search root, after a pause.
    void ReopenSource(std::uint32_t folder);
    void ProcessFile(std::uint32_t file);
    void PauseCheck();
    void Snapshot();
    void ThrottledSnapshot();
    void SetPhase(std::int32_t phase);
    bool AnyFailure() const { return m_counters.failedCount > 0 || m_folderError; }

    // The two procedures. Each returns 0 or an error code and fills the
    // job's outcome, name used and bytes written; *interrupted* is set when
    // a cancel stopped the copy (the result is then not 0).
    int RenameProcedure(TFileJob& job);
    int CopyProcedure(TFileJob& job);
    // Writes the copy from the open source into a temporary file and puts
    // it in place; the copy procedure's steps after the collision check.
    int CopyToTarget(TFileJob& job, int source);
    // Gives the unnamed file fd the name `to` in the destination folder,
    // never replacing; a private code when no way of linking works.
    int LinkUnnamed(int fd, const char* to);
    // Gives the finished unnamed file its final name unless the job's rule
    // is to replace an existing file (then nothing is linked); a name taken
    // meanwhile is decided again. linked tells whether the name was given.
    int LinkUnnamedInPlace(TFileJob& job, int fd, bool& linked);
    // Gives the unnamed file a free temporary name beside its final one.
    int LinkUnnamedAsTemp(const TFileJob& job, int fd, std::string& tempName);
    // Removes the name just given to the job's copy, if it still is that copy.
    void RemovePlaced(const TFileJob& job);
    // Decides the name the file takes at the destination; 0 or an error.
    int CollisionCheck(TFileJob& job);
    // Puts the finished temporary file under its final name by the job's
    // rule; 0, or an error with the temporary file still in place.
    int PlaceTemporary(TFileJob& job, const std::string& tempName);
    // Deletes the source of a move whose copy is in place.
    int DeleteMovedSource(TFileJob& job);
    // 0 when the job's file may leave its place: always in a copy, in a
    // move while a copy of its group stays; else kErrorNoRemainingCopy.
    int CheckRemainingCopy(const TFileJob& job);

    TScanData& m_store;
    TCopyInputs m_inputs;
    TOperationLogs& m_logs;
    TCopySafeProgress& m_progress;
    TMessageTarget* m_window;
    TMainThreadCaller* m_caller;
    TOperationKind m_kind;
    // Opens each source folder through descriptors, as the search found it.
    TFolderOpener m_opener;
    // For a move without whole groups allowed: whether a copy stays.
    std::unique_ptr<TRemainingCopyCheck> m_remaining;
    bool m_resumed = false; // the worker was paused since the folders were opened

    TCopyCounters m_counters;
    bool m_aborted = false;
    bool m_folderError = false;
    bool m_anyRemoved = false;
    bool m_reindexed = false;
    bool m_totalsDone = false;
    bool m_summaryAdded = false;
    bool m_finishLogged = false;
    double m_start = 0;
    std::int32_t m_phase = kPhaseCopying;
    std::uint64_t m_lastSnapshotTick = 0;
    // The folders of the files in hand: paths ending with "/" for the logs,
    // descriptors for the calls (the source's owned by the opener), and the
    // error of opening the source.
    std::u16string m_sourceFolder;
    std::u16string m_destFolder;
    int m_sourceDir = -1;
    int m_destDir = -1;
    int m_sourceDirError = 0;
    bool m_destFolderNew = false; // made by this run when it was entered
    // Whether the destination folder's file system makes unnamed files
    // (O_TMPFILE); tried again in each folder, which may be another mount.
    bool m_unnamedTemp = true;
    // How an unnamed file is linked: by its descriptor (needs the
    // capability to), through /proc/self/fd, or not at all.
    enum class TLinkMode { EmptyPath, Proc, None };
    TLinkMode m_linkMode = TLinkMode::EmptyPath;
    // The read and write buffer of copies the kernel cannot do itself.
    std::unique_ptr<char[]> m_buffer;

    TWorkerSignals m_signals;
    std::thread m_thread;
};

// The waiter: runs the worker it is given, waits for it, frees it (which
// posts kMsgCopyWorkerEnded) and then posts kMsgCopyWaiterDone. Steering
// calls run on the user-interface thread and do nothing without a worker.
class TRunCopyThread {
public:
    TRunCopyThread() = default;
    // Cancels a worker that still runs and waits for it.
    ~TRunCopyThread();
    TRunCopyThread(const TRunCopyThread&) = delete;
    TRunCopyThread& operator=(const TRunCopyThread&) = delete;

    // Starts the pair. false, and the worker is freed without running or
    // posting, while a run exists (until Finished) or when no thread can be
    // started. progress is the record the worker writes; its pause cells are
    // kept here.
    bool Start(std::unique_ptr<TCopyThread> worker, TCopySafeProgress& progress,
               TMessageTarget* window);
    // Pause also notes when the pause began, resume adds the pause to the
    // record's paused total.
    void Pause();
    void Resume();
    void Terminate();
    // From Start until Finished.
    bool Running() const { return m_run.Running(); }
    // The window has seen the worker end: joins the waiter.
    void Finished();

    // The outcome of the last run, valid after Finished.
    const TCopyCounters& Counters() const { return m_counters; }
    bool Aborted() const { return m_aborted; }

private:
    TCopySafeProgress* m_progress = nullptr;
    bool m_paused = false; // a pause whose time is not yet in the paused total
    TCopyCounters m_counters;
    bool m_aborted = false;
    // Last, so that it is joined before the outcome above goes away.
    TWorkerRun<TCopyThread> m_run;
};

} // namespace vdx
