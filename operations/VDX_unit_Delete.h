#pragma once
// The deletion engine: a worker thread (TDeleteThread) that deletes the files
// of the operation list, into the trash in batches of at most eight or
// directly with unlink, records each result in the log lines and the files'
// removed flags, and has the store re-index without the files that are gone;
// and its waiter (TRunDeleteThread), which runs the worker, frees it and
// reports the end.
//
// Safety: right before a file is acted on, its folder is opened through
// descriptors from its search root without following links, each folder
// checked against its identity from the search (TFolderOpener), and the entry
// there must still be the file the search recorded (regular, size, last-write
// time, inode, change time); at least one file of its group that stays must
// still be there unchanged (TRemainingCopyCheck) unless the user chose to
// remove whole groups. The file is then unlinked or renamed into the trash
// by its bare name in that open folder, so a folder swapped for a link after
// the search sends nothing elsewhere. A file is only ever deleted for good
// on a volume the caller lists in permanentVolumes: those the plan showed
// with a permanent-deletion verdict that the user confirmed.

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/VDX_unit_Drives.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "operations/VDX_unit_FolderOpener.h"
#include "operations/VDX_unit_OperationList.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "operations/VDX_unit_RemainingCopy.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Trash.h"

namespace vdx {

// The deletion worker's progress as the delete progress window reads it.
// Written only inside the worker's hand-over routine on the user-interface
// thread.
struct TDeleteSafeProgress {
    double start = 0; // local date-time the worker started
    double now = 0;   // local date-time of the snapshot
    std::int32_t phase = kPhaseDeleting;
    std::uint32_t processed = 0; // first counter: entries handled, deleted or failed
    std::uint32_t kilobytes = 0; // second counter: processed bytes / 1024, cut to 32 bits
    std::uint32_t failed = 0;    // third counter: files that failed so far
};

// The counters of one run.
struct TDeleteCounters {
    std::uint32_t processedCount = 0;
    std::uint64_t processedBytes = 0;
    std::uint32_t deletedCount = 0; // files that are gone
    std::uint64_t deletedBytes = 0;
    std::int32_t failedCount = 0; // files that could not be deleted or located
    std::uint64_t failedBytes = 0;
};

// The summary block's figures of a deletion of files files and bytes bytes
// that came to counters.
TLogSummary SummaryOf(const TDeleteCounters& counters, std::uint64_t files, std::uint64_t bytes);

// The most files handed to the trash in one call.
inline constexpr std::uint32_t kTrashBatchSize = 8;

// One file of a trash batch, checked and ready: its folder open (a
// descriptor the worker owns until the batch has been recorded) and its bare
// name there.
struct TTrashRequest {
    int dirFd = -1;
    std::string name;
    // The full path as the store has it, for tests that watch the batches.
    std::u16string path;
    // kDeletePermanently only for a file on a volume of permanentVolumes.
    TNoTrashAction noTrash = TNoTrashAction::kKeep;
};

// Sends one batch to the trash: results receives one code per request (0 or
// the errno of that file). Tests replace it to watch or fake the batches.
using TTrashBatchFn =
    std::function<void(const std::vector<TTrashRequest>& batch, std::vector<int>& results)>;

// The platform's trash for a batch (TrashAt per request over one reading of
// the mount table).
void TrashRequests(const std::vector<TTrashRequest>& batch, std::vector<int>& results);

// Everything a run acts on besides the store.
struct TDeleteInputs {
    // File indices of the operation list, in list order (sorted by folder
    // before the start, so each folder's files stand together).
    std::vector<std::int32_t> files;
    // The view the list was built from; its groups say which files are
    // copies of each other.
    TViewKind view = kViewSameContent;
    // true: unlink each file; false: move the files to the trash.
    bool deleteDirectly = false;
    // What the trash loop does with files on a volume that has no usable
    // trash; kDeletePermanently acts only on the volumes below.
    TNoTrashAction noTrash = TNoTrashAction::kKeep;
    // The volumes (by the file records' volume index) whose files may be
    // deleted for good, in either mode: those the plan showed with a
    // permanent-deletion verdict and the user confirmed. A file on any other
    // volume is never unlinked.
    std::bitset<kMaxVolumes> permanentVolumes;
    // The user chose to remove whole groups (answered the safety alert, or
    // --allow-whole-groups): no file needs a remaining copy.
    bool allowWholeGroups = false;
    // The list's count and bytes when the user confirmed, for the summary.
    std::uint32_t filesToProcess = 0;
    std::uint64_t bytesToProcess = 0;
    // Empty: TrashRequests.
    TTrashBatchFn trashBatch;
};

// The inputs with the files of the operation list in its present order and
// the list's count and bytes as the files to process.
TDeleteInputs DeleteInputsFromList(const TOperationList& list, bool deleteDirectly,
                                   TNoTrashAction noTrash);

// The worker. Created by the controller, run and freed by its waiter;
// freeing it posts kMsgDeleteWorkerEnded.
class TDeleteThread {
public:
    // window and caller may be nullptr (no messages; hand-over routines run
    // on the worker's thread). store, logs and progress must outlive the
    // worker; the logs' run must have begun (header and flags).
    TDeleteThread(TScanData& store, TDeleteInputs inputs, TOperationLogs& logs,
                  TDeleteSafeProgress& progress, TMessageTarget* window, TMainThreadCaller* caller);
    ~TDeleteThread();
    TDeleteThread(const TDeleteThread&) = delete;
    TDeleteThread& operator=(const TDeleteThread&) = delete;

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
    const TDeleteCounters& Counters() const { return m_counters; }
    bool Aborted() const { return m_aborted; }

private:
    // One appended entry of the trash batch and what its check found.
    struct TBatchEntry {
        std::uint32_t file = 0;
        int check = 0;
    };

    bool Terminated() const { return m_signals.Terminated(); }
    bool AnyFailure() const { return m_counters.failedCount > 0; }
    void Execute();
    void Run();
    TLogSummary Summary() const;
    void DirectLoop();
    void TrashLoop();
    // Checks and trashes the appended entries, then records each of them.
    void SendBatch();
    void CallTrash(const std::vector<TTrashRequest>& batch, std::vector<int>& results);

    // 0 when the file may be deleted now, with dirFd and name set for the
    // call on its entry; else the code it is recorded with: ENOENT when it
    // or its folder is gone, kErrorChangedSinceSearch, kErrorFolderChanged,
    // kErrorNoRemainingCopy, or the errno of a folder that cannot be opened.
    int CheckBeforeDelete(std::uint32_t file, int& dirFd, const char*& name);
    bool MayDeletePermanently(std::uint32_t file) const;

    // Records one entry by its code: 0 deleted; ENOENT not found (gone
    // before its turn, never counted as deleted); a code of the program's own
    // checks left alone with the reason; any other errno failed with it.
    void Record(std::uint32_t file, int code, bool trash);
    void RecordMissing(std::uint32_t file);
    void RecordRefused(std::uint32_t file, int code);
    void RecordFailed(std::uint32_t file, int code, bool trash);
    void CountProcessed(std::uint32_t file);
    void CountFailed(std::uint32_t file);

    void PauseCheck();
    void HandOver();
    void ThrottledHandOver();
    void SetPhase(std::int32_t phase);

    TScanData& m_store;
    TDeleteInputs m_inputs;
    TOperationLogs& m_logs;
    TDeleteSafeProgress& m_progress;
    TMessageTarget* m_window;
    TMainThreadCaller* m_caller;

    TDeleteCounters m_counters;
    bool m_aborted = false;
    // Each goes into the logs once, also when an exception cut the run short.
    bool m_summaryAdded = false;
    bool m_finishLogged = false;
    double m_start = 0;
    std::int32_t m_phase = kPhaseDeleting;
    std::uint64_t m_lastHandOverTick = 0;
    // The open folders of the files deleted, and of the copies that stay.
    TFolderOpener m_opener;
    TRemainingCopyCheck m_remaining;

    std::array<TBatchEntry, kTrashBatchSize> m_batch{};
    std::uint32_t m_batchCount = 0;

    TWorkerSignals m_signals;
    std::thread m_thread;
};

// The waiter: runs the worker it is given, waits for it, frees it (which
// posts kMsgDeleteWorkerEnded) and then posts kMsgDeleteWaiterDone. Steering
// calls run on the user-interface thread and do nothing without a worker.
class TRunDeleteThread {
public:
    TRunDeleteThread() = default;
    // Cancels a worker that still runs and waits for it.
    ~TRunDeleteThread();
    TRunDeleteThread(const TRunDeleteThread&) = delete;
    TRunDeleteThread& operator=(const TRunDeleteThread&) = delete;

    // Starts the pair. false, and the worker is freed without running or
    // posting, while a run exists (until Finished) or when no thread can be
    // started.
    bool Start(std::unique_ptr<TDeleteThread> worker, TMessageTarget* window);
    void Pause();
    void Resume();
    void Terminate();
    // From Start until Finished.
    bool Running() const { return m_run.Running(); }
    // The window has seen the worker end: joins the waiter.
    void Finished();

    // The outcome of the last run, valid after Finished.
    const TDeleteCounters& Counters() const { return m_counters; }
    bool Aborted() const { return m_aborted; }

private:
    TDeleteCounters m_counters;
    bool m_aborted = false;
    // Last, so that it is joined before the outcome above goes away.
    TWorkerRun<TDeleteThread> m_run;
};

} // namespace vdx
