#pragma once
// TSearchRun is the one controller through which the front ends start and
// steer every long operation. Each operation runs as a worker thread plus a
// waiter thread that starts the worker, waits for it, frees it and posts its
// end message. Workers report through progress records that only snapshot
// routines (run on the user-interface thread through TMainThreadCaller) and
// the controller's pause and resume write.
//
// This header holds the search and content comparison sides; the deletion
// and copy/move operations join it with their workers.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/VDX_unit_Drives.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "platform/VDX_unit_Threads.h"

namespace vdx {

// The search worker's progress as the scan progress window reads it.
// Written only inside snapshot routines; read on the user-interface thread.
struct TSearchSafeProgress {
    double start = 0; // local date-time the worker started
    double now = 0;   // local date-time of the snapshot
    std::int32_t phase = kPhaseScanning;
    std::uint32_t foldersListed = 0; // first counter
    std::uint32_t filesAdded = 0;    // second counter
    std::uint32_t pathsNotFound = 0; // third counter
};

// The content worker's progress as the content progress window reads it.
// The worker's cells are written only inside snapshot routines; the three
// pause cells only by the controller's pause and resume. Both run on the
// user-interface thread.
struct TContentSafeProgress {
    double start = 0;       // local date-time the worker started
    double now = 0;         // local date-time of the snapshot
    double pauseStart = 0;  // when the last pause began
    double resume = 0;      // when the last pause ended
    double pausedTotal = 0; // days spent paused so far, left out of remaining-time estimates
    std::int32_t phase = kPhaseComparing;
    std::uint32_t filesCompared = 0;     // first counter
    std::uint32_t groupsCompared = 0;    // second counter
    std::uint32_t kilobytesCompared = 0; // third counter: bytes / 1024, cut to 32 bits
    // Files that could not be opened or read so far; they join no group.
    // The store's UncomparedFiles names them once the worker has ended.
    std::uint32_t filesNotCompared = 0;
};

class TSearchThread;  // the search worker (folder scan, then grouping)
class TContentThread; // the content worker (comparison, then the content views)

class TSearchRun {
public:
    TSearchRun();
    ~TSearchRun(); // cancels and joins whatever still runs
    TSearchRun(const TSearchRun&) = delete;
    TSearchRun& operator=(const TSearchRun&) = delete;

    // Starts a search of set. window receives the progress messages (nullptr
    // stands for an invalid handle: the waiter then posts nothing); caller
    // runs the snapshot routines on the user-interface thread. Returns false
    // and does nothing while a search or a comparison runs. The store's
    // observer is told of the clearing, then that the store is busy until
    // SearchFinished.
    bool StartSearch(const TSearchSet& set, TMessageTarget* window, TMainThreadCaller* caller,
                     bool protectHidden, bool protectProgramFiles, bool protectWindows);

    // Steering, called on the user-interface thread; each does nothing when
    // no search runs.
    void PauseSearch();
    void ResumeSearch();
    void CancelSearch();
    // The progress window has seen its worker end: joins and forgets the
    // search and the content threads, so that either may start again, and
    // announces the store idle.
    void SearchFinished();
    bool SearchRunning() const;
    // Empties every table and view after a search the user aborted, so that
    // no partial result is shown; the aborted flag stays. Announced to the
    // store's observer. Does nothing while a search or comparison runs.
    void ClearResults();

    // Starts the comparison of every Same size group after clearing the
    // content views (announced, as is the store busy until ContentFinished).
    // Returns false and does nothing unless the last search completed, or
    // while a search or a comparison runs.
    bool StartContentCompare(TMessageTarget* window, TMainThreadCaller* caller);
    // Steering of the comparison, as for the search; pause and resume also
    // keep the pause cells of the content progress record.
    void PauseContent();
    void ResumeContent();
    void CancelContent();
    // The same operation as SearchFinished, under the name the content
    // window uses.
    void ContentFinished() { SearchFinished(); }
    bool ContentRunning() const;

    TScanData& Store() { return m_store; }
    const TScanData& Store() const { return m_store; }
    // The volumes of the last search: those of its paths, and those of the
    // mounts its scan entered. The search worker adds to it while it runs.
    TScanDrivesData& Drives() { return m_drives; }
    const TSearchDataList& SearchSetCopy() const { return m_searchSetCopy; }
    const TSearchSafeProgress& SearchProgress() const { return m_searchProgress; }
    const TContentSafeProgress& ContentProgress() const { return m_contentProgress; }

private:
    void PrepareSearchPaths();

    TScanData m_store;
    TScanDrivesData m_drives;
    TSearchDataList m_searchSetCopy;
    TSearchSafeProgress m_searchProgress;
    TWorkerRun<TSearchThread> m_searchRun;

    TContentSafeProgress m_contentProgress;
    bool m_contentPaused = false; // a pause whose time is not yet in the paused total
    TWorkerRun<TContentThread> m_contentRun;
};

} // namespace vdx
