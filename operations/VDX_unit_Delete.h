#pragma once
// The deletion engine: a worker thread (TDeleteThread) that deletes the files
// of the operation list, into the trash in batches of at most eight or
// directly with unlink, records each result in the log lines and the files'
// removed flags, and has the store re-index without the files that are gone;
// and its waiter (TRunDeleteThread), which runs the worker, frees it and
// reports the end.
//
// Safety: right before a file is acted on, it must still be the regular file
// of the size and last-write time the search recorded (lstat, links not
// followed), and no folder below its search path may have turned into a
// link; otherwise it is left alone and counted as failed. Direct deletion
// only ever unlinks single files. Files on a volume without a usable trash are
// deleted permanently only when the caller says the user confirmed that.

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

#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "operations/VDX_unit_OperationList.h"
#include "operations/VDX_unit_OperationLogs.h"
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

// The most files handed to the trash in one call.
inline constexpr std::uint32_t kTrashBatchSize = 8;

// Sends one batch of full paths to the trash: 0 when every file went, else
// the first error. Tests replace it to watch or fake the batches.
using TTrashBatchFn =
    std::function<int(const std::vector<std::u16string>& paths, TNoTrashAction noTrash)>;

// Everything a run acts on besides the store.
struct TDeleteInputs {
    // File indices of the operation list, in list order (sorted by folder
    // before the start, so each folder's files stand together).
    std::vector<std::int32_t> files;
    // true: unlink each file; false: move the files to the trash.
    bool deleteDirectly = false;
    // What the trash loop does with files on a volume that has no usable
    // trash: kDeletePermanently only when the safety analysis showed those
    // volumes and the user confirmed.
    TNoTrashAction noTrash = TNoTrashAction::kKeep;
    // Volumes (by the file records' volume index) whose permanent-deletion
    // verdict the user saw and confirmed: only their files may go for good.
    std::bitset<kMaxVolumes> permanentVolumes;
    // The list's count and bytes when the user confirmed, for the summary.
    std::uint32_t filesToProcess = 0;
    std::uint64_t bytesToProcess = 0;
    // Empty: the platform's TrashBatch.
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
    int CallTrash(const std::vector<std::u16string>& paths);

    // 0 when the file may be deleted now; kErrorChangedSinceSearch when it
    // is not the file the search recorded; else the errno of the lstat that
    // failed (ENOENT when it or one of its folders is gone).
    int CheckBeforeDelete(std::uint32_t file, const std::string& native);
    int CheckFolders(std::uint32_t folder);

    // The recordings of one entry: a deletion attempt with its result code,
    // a file missing before its turn, and a file the checks left alone.
    void RecordResult(std::uint32_t file, int code, bool trash);
    void RecordMissing(std::uint32_t file);
    void RecordRefused(std::uint32_t file, int code);
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
    // The last folder whose chain passed CheckFolders; -1 for none.
    std::int64_t m_checkedFolder = -1;

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
