#include "engine/VDX_unit_SearchRun.h"

#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "engine/VDX_unit_ContentCompare.h"
#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_FolderScan.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_WorkerShell.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TSearchRunDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TSearchRunDoor::Key();

} // namespace

// The search worker: scans the folders of its own copy of the set into the
// store, then groups them. It never touches a window: it reports through the
// progress record, written inside snapshot routines on the user-interface
// thread, and posted messages.
class TSearchThread final : public TWorkerShell, public TScanControl, public TGroupingControl {
public:
    // drives is the controller's volume table: the scan adds the volumes of
    // the mounts it enters while nothing else reads the table.
    TSearchThread(TScanData& store, TScanDrivesData& drives, TSearchDataList&& paths,
                  TSearchSafeProgress& progress, TMessageTarget* window, TMainThreadCaller* caller)
        : TWorkerShell(u"TSearchThread", {kMsgSearchProgress, kMsgSearchWorkerEnded}, window,
                       caller),
          m_store(store), m_drives(drives), m_paths(std::move(paths)), m_progress(progress) {}

    // Freeing the worker tells the progress window that the search is over,
    // completed or not.
    ~TSearchThread() override { Join(); }

    // Marks the store as holding an aborted search (the worker never ran).
    static void MarkAborted(TScanData& store) {
        store.Status(kKey).m_searchAborted = true;
        store.Status(kKey).m_searchDone = false;
    }

private:
    void Close(bool failed) override {
        if (failed)
            Abort();
    }

    void Work() override {
        TScanStatus& status = m_store.Status(kKey);
        status.m_searchAborted = false;
        status.m_searchDone = false;
        status.m_contentAborted = false;
        status.m_contentDone = false;
        m_start = NowDateTime();
        m_phase = kPhaseScanning;
        PauseCheck();

        bool completed = !Terminated();
        if (completed) {
            Snapshot();
            m_store.ClearForNewSearch();
            for (std::size_t i = 0; i < m_paths.Count(); ++i)
                m_paths.Item(i)->Prepare();
            m_scan = std::make_unique<TFolderScan>(m_store, m_paths, this);
            m_scan->SetVolumeTable(&m_drives);
            completed = m_scan->ScanAll() && !Terminated();
            Snapshot();
        }
        if (completed) {
            completed = RunGrouping(m_store, this) && !Terminated();
            Snapshot();
        }
        if (completed) {
            m_store.m_durationSearch = NowDateTime() - m_start;
            status.m_searchAborted = false;
            status.m_searchDone = true;
        } else {
            Abort();
        }
    }

    void Abort() {
        m_phase = kPhaseAborted;
        MarkAborted(m_store);
        Snapshot();
    }

    // Blocks while the search is paused.
    void PauseCheck() { WaitWhilePaused(); }

    // Copies the counters into the progress record on the user-interface
    // thread and tells the window to redraw from it.
    void Snapshot() {
        TWorkerShell::Snapshot([this] {
            m_progress.start = m_start;
            m_progress.now = NowDateTime();
            m_progress.phase = m_phase;
            if (m_scan) {
                m_progress.foldersListed = m_scan->FoldersListed();
                m_progress.filesAdded = m_scan->FilesAdded();
                m_progress.pathsNotFound = m_scan->PathsNotFound();
            }
        });
    }

    // ---- TScanControl ----
    bool Continue() override {
        PauseCheck();
        return !Terminated();
    }
    void FolderDone() override {
        if (SnapshotDue())
            Snapshot();
    }

    // ---- TGroupingControl ----
    bool Continue(int progressPhase) override {
        PauseCheck();
        if (Terminated())
            return false;
        if (progressPhase != m_phase) {
            m_phase = progressPhase;
            Snapshot();
        } else if (SnapshotDue()) {
            Snapshot();
        }
        return !Terminated();
    }

    TScanData& m_store;
    TScanDrivesData& m_drives;
    TSearchDataList m_paths;
    TSearchSafeProgress& m_progress;
    std::unique_ptr<TFolderScan> m_scan;

    double m_start = 0;
    std::int32_t m_phase = kPhaseScanning;
};

// The content worker: compares every Same size group of the store, then
// builds the Same content and Full clones views. Reports like the search
// worker; a comparison that does not complete leaves no content view.
class TContentThread final : public TWorkerShell, public TCompareControl {
public:
    TContentThread(TScanData& store, TContentSafeProgress& progress, TMessageTarget* window,
                   TMainThreadCaller* caller)
        : TWorkerShell(u"TContentThread", {kMsgContentProgress, kMsgContentWorkerEnded}, window,
                       caller),
          m_store(store), m_progress(progress) {}

    // Freeing the worker tells the progress window that the comparison is
    // over, completed or not.
    ~TContentThread() override { Join(); }

    // Marks the comparison aborted and drops whatever it built.
    static void MarkAborted(TScanData& store) {
        store.ClearContentResults();
        store.Status(kKey).m_contentAborted = true;
        store.Status(kKey).m_contentDone = false;
    }

private:
    void Close(bool failed) override {
        if (failed)
            Abort();
        m_compare.reset();
    }

    void Work() override {
        TScanStatus& status = m_store.Status(kKey);
        status.m_contentAborted = false;
        status.m_contentDone = false;
        m_counters = TCompareCounters{};
        m_start = NowDateTime();
        SetPhase(kPhaseComparing);

        m_compare = std::make_unique<TContentCompare>(m_store, this);
        bool completed = m_compare->CompareAll() && !Terminated();
        m_counters = m_compare->Counters();
        m_compare.reset(); // frees the read buffers before the views are built
        if (completed) {
            SetPhase(kPhasePreparingViewTables);
            Guarded(u"TContentThread: PrepareContentViews", [this] { BuildContentViews(m_store); });
            PauseCheck();
            completed = !Terminated();
        }
        if (completed) {
            SetPhase(kPhaseIndexingTables);
            Guarded(u"TContentThread: PrepareContentTotals", [this] { ComputeTotals(m_store); });
            m_store.m_durationContent = NowDateTime() - m_start;
            status.m_contentAborted = false;
            status.m_contentDone = true;
            SetPhase(kPhaseCompleted);
        } else {
            Abort();
        }
    }

    // Runs one step of the view building; a failure is written to the error
    // file and the work goes on, as in the grouping.
    template <typename F>
    static void Guarded(std::u16string_view name, F&& work) {
        try {
            work();
        } catch (const std::exception& e) {
            AddErrorEntry(std::u16string(name) + u": " + FromUtf8(e.what()));
        } catch (...) {
            AddErrorEntry(std::u16string(name) + u": unknown exception");
        }
    }

    void Abort() {
        m_phase = kPhaseAborted;
        MarkAborted(m_store);
        Snapshot();
    }

    void SetPhase(std::int32_t phase) {
        m_phase = phase;
        Snapshot();
    }

    void PauseCheck() { WaitWhilePaused(); }

    void Snapshot() {
        if (m_compare)
            m_counters = m_compare->Counters();
        TWorkerShell::Snapshot([this] {
            m_progress.start = m_start;
            m_progress.now = NowDateTime();
            m_progress.phase = m_phase;
            m_progress.filesCompared = m_counters.filesCompared;
            m_progress.groupsCompared = m_counters.groupsCompared;
            m_progress.kilobytesCompared =
                static_cast<std::uint32_t>(m_counters.bytesCompared / 1024);
            m_progress.filesNotCompared = m_counters.filesUnreadable;
        });
    }

    // ---- TCompareControl ----
    bool Continue() override {
        PauseCheck();
        return !Terminated();
    }
    void Progress() override {
        if (SnapshotDue())
            Snapshot();
    }

    TScanData& m_store;
    TContentSafeProgress& m_progress;
    std::unique_ptr<TContentCompare> m_compare;
    TCompareCounters m_counters;

    double m_start = 0;
    std::int32_t m_phase = kPhaseComparing;
};

namespace {

// Starts the run with the store announced busy first, since the worker may
// write it from its first instruction on; a run that does not start leaves
// the store idle again.
template <typename TWorker>
bool StartAnnounced(TScanData& store, TWorkerRun<TWorker>& run, std::unique_ptr<TWorker> worker,
                    typename TWorkerRun<TWorker>::THooks hooks) {
    store.AnnounceBusy();
    if (run.Start(std::move(worker), std::move(hooks)))
        return true;
    store.AnnounceIdle();
    return false;
}

} // namespace

TSearchRun::TSearchRun() = default;

TSearchRun::~TSearchRun() {
    m_searchRun.Finish();
    m_contentRun.Finish();
}

void TSearchRun::ClearResults() {
    if (m_searchRun.Running() || ContentRunning() || m_searchRun.HasWorker())
        return;
    const bool aborted = m_store.Status().m_searchAborted;
    m_store.AnnounceClearing(TStoreChange::NewSearch);
    m_store.ClearForNewSearch();
    m_store.Status(kKey).m_searchAborted = aborted;
    m_store.AnnounceCleared(TStoreChange::NewSearch);
}

bool TSearchRun::StartSearch(const TSearchSet& set, TMessageTarget* window,
                             TMainThreadCaller* caller, bool protectHidden,
                             bool protectProgramFiles, bool protectWindows) {
    if (m_searchRun.Running() || ContentRunning())
        return false;
    if (m_searchRun.HasWorker())
        return false;
    m_searchSetCopy.Assign(set.Paths());
    PrepareSearchPaths();
    m_store.m_protectHiddenFolders = protectHidden;
    m_store.m_protectProgramFolder = protectProgramFiles;
    m_store.m_protectSystemFolder = protectWindows;
    m_store.AnnounceClearing(TStoreChange::NewSearch);
    m_store.ClearForNewSearch();
    m_store.AnnounceCleared(TStoreChange::NewSearch);
    m_searchProgress = TSearchSafeProgress{};

    // The worker's own copy is taken from the set as the user wrote it, so
    // that the scan expands each path exactly once; the volumes come from
    // the prepared copy.
    TSearchDataList workerPaths;
    workerPaths.Assign(set.Paths());
    for (std::size_t i = 0; i < workerPaths.Count(); ++i)
        workerPaths.Item(i)->volumeIndex = m_searchSetCopy.Item(i)->volumeIndex;

    auto worker = std::make_unique<TSearchThread>(m_store, m_drives, std::move(workerPaths),
                                                  m_searchProgress, window, caller);
    TWorkerRun<TSearchThread>::THooks hooks;
    // The worker thread could not be started: the search ends aborted.
    hooks.notStarted = [this](TSearchThread&) { TSearchThread::MarkAborted(m_store); };
    hooks.window = window;
    hooks.doneCode = kMsgSearchWaiterDone;
    return StartAnnounced(m_store, m_searchRun, std::move(worker), std::move(hooks));
}

void TSearchRun::PauseSearch() {
    m_searchRun.Pause();
}

void TSearchRun::ResumeSearch() {
    m_searchRun.Resume();
}

void TSearchRun::CancelSearch() {
    m_searchRun.Terminate();
}

void TSearchRun::SearchFinished() {
    m_searchRun.Finish();
    m_contentRun.Finish();
    m_store.AnnounceIdle();
}

bool TSearchRun::SearchRunning() const {
    return m_searchRun.Running();
}

bool TSearchRun::StartContentCompare(TMessageTarget* window, TMainThreadCaller* caller) {
    // While a search runs its worker owns the store, flags included.
    if (SearchRunning() || ContentRunning())
        return false;
    if (m_contentRun.HasWorker())
        return false;
    if (!m_store.Status().m_searchDone)
        return false;
    m_store.AnnounceClearing(TStoreChange::Content);
    m_store.ClearContentResults();
    m_store.AnnounceCleared(TStoreChange::Content);
    m_contentProgress = TContentSafeProgress{};
    m_contentPaused = false;

    auto worker = std::make_unique<TContentThread>(m_store, m_contentProgress, window, caller);
    TWorkerRun<TContentThread>::THooks hooks;
    hooks.notStarted = [this](TContentThread&) { TContentThread::MarkAborted(m_store); };
    hooks.window = window;
    hooks.doneCode = kMsgContentWaiterDone;
    return StartAnnounced(m_store, m_contentRun, std::move(worker), std::move(hooks));
}

void TSearchRun::PauseContent() {
    m_contentRun.WithWorker([this](TContentThread& worker) {
        // A second pause before the resume continues the first one.
        if (!m_contentPaused) {
            m_contentProgress.pauseStart = NowDateTime();
            m_contentPaused = true;
        }
        worker.Pause();
    });
}

void TSearchRun::ResumeContent() {
    m_contentRun.WithWorker([this](TContentThread& worker) {
        m_contentProgress.resume = NowDateTime();
        // Only a pause that began counts, so a resume on its own adds nothing.
        if (m_contentPaused && m_contentProgress.resume > m_contentProgress.pauseStart)
            m_contentProgress.pausedTotal +=
                m_contentProgress.resume - m_contentProgress.pauseStart;
        m_contentPaused = false;
        worker.Resume();
    });
}

void TSearchRun::CancelContent() {
    m_contentRun.Terminate();
}

bool TSearchRun::ContentRunning() const {
    return m_contentRun.Running();
}

void TSearchRun::PrepareSearchPaths() {
    m_drives.Clear();
    for (std::size_t i = 0; i < m_searchSetCopy.Count(); ++i) {
        TSearchData& path = *m_searchSetCopy.Item(i);
        // A path whose expansion is too long keeps its text and gets no
        // volume; the scan finds no such folder.
        std::u16string expanded;
        if (!path.pathsFinal && ExpandPathEnvVars(path.SearchPath, expanded) != 0) {
            path.volumeIndex = kNoVolume;
            continue;
        }
        if (!path.pathsFinal)
            path.SearchPath = std::move(expanded);
        path.volumeIndex = m_drives.Register(path.SearchPath);
    }
    for (std::size_t i = 0; i < m_searchSetCopy.Count(); ++i)
        m_searchSetCopy.Item(i)->Prepare();
}

} // namespace vdx
