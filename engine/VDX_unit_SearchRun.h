#pragma once
// TSearchRun is the one controller through which the front ends start and
// steer every long operation. Each operation runs as a worker thread plus a
// waiter thread that starts the worker, waits for it, frees it and posts its
// end message. Workers report through progress records that only snapshot
// routines (run on the user-interface thread through TMainThreadCaller) and
// the controller's pause and resume write.
//
// This header holds the search side; the content comparison, deletion and
// copy/move operations join it with their workers.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/VDX_unit_Drives.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
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

class TSearchThread; // the search worker (folder scan, then grouping)

class TSearchRun {
public:
    TSearchRun();
    ~TSearchRun(); // cancels and joins whatever still runs
    TSearchRun(const TSearchRun&) = delete;
    TSearchRun& operator=(const TSearchRun&) = delete;

    // Starts a search of set. window receives the progress messages (nullptr
    // stands for an invalid handle: the waiter then posts nothing); caller
    // runs the snapshot routines on the user-interface thread. Returns false
    // and does nothing while a search runs.
    bool StartSearch(const TSearchSet& set, TMessageTarget* window, TMainThreadCaller* caller,
                     bool protectHidden, bool protectProgramFiles, bool protectWindows);

    // Steering, called on the user-interface thread; each does nothing when
    // no search runs.
    void PauseSearch();
    void ResumeSearch();
    void CancelSearch();
    // The progress window has seen the worker end: joins and forgets the
    // threads, so a new search may start.
    void SearchFinished();
    bool SearchRunning() const;

    TScanData& Store() { return m_store; }
    const TScanData& Store() const { return m_store; }
    TScanDrivesData& Drives() { return m_drives; }
    const TSearchDataList& SearchSetCopy() const { return m_searchSetCopy; }
    const TSearchSafeProgress& SearchProgress() const { return m_searchProgress; }

private:
    void PrepareSearchPaths();
    // The search waiter's body: starts the worker, waits for it, frees it
    // and posts the waiter's end message.
    void RunSearchWaiter(TMessageTarget* window);
    // Lets the worker run to its end and joins the waiter.
    void JoinSearchWaiter();

    TScanData m_store;
    TScanDrivesData m_drives;
    TSearchDataList m_searchSetCopy;
    TSearchSafeProgress m_searchProgress;
    // Owned here but freed by the waiter when the worker has ended; the lock
    // keeps the steering calls from reaching a worker being freed.
    std::mutex m_searchWorkerLock;
    std::unique_ptr<TSearchThread> m_searchWorker;
    std::thread m_searchWaiter;
};

} // namespace vdx
