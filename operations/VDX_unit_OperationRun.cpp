#include "operations/VDX_unit_OperationRun.h"

#include <cerrno>
#include <new>
#include <utility>

#include "operations/VDX_unit_FolderOpener.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TOperationRunDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TOperationRunDoor::Key();

} // namespace

TOperationRun::TOperationRun(TSearchRun& searchRun)
    : m_searchRun(searchRun), m_list(searchRun.Store()), m_alerts(searchRun.Store()) {}

// The waiters, declared last, are destroyed first: each cancels and joins
// its worker while the logs and progress records it writes still exist.
TOperationRun::~TOperationRun() = default;

bool TOperationRun::AnyRunning() const {
    return DeleteRunning() || CopyRunning() || m_searchRun.SearchRunning() ||
           m_searchRun.ContentRunning();
}

int TOperationRun::BuildList(TViewKind view) {
    if (AnyRunning())
        return EBUSY;
    m_alerts.Clear();
    return m_list.Build(view);
}

void TOperationRun::AnalyseSafety(TSafetyAnalysis& analysis) const {
    analysis.ResetSelection();
    const TScanData& store = m_searchRun.Store();
    for (std::int32_t row = 0; row < m_list.Count(); ++row) {
        const std::int32_t file = m_list.FileOf(row);
        if (file < 0)
            continue;
        const auto index = static_cast<std::uint32_t>(file);
        analysis.AddFile(store.FileVolume(index), store.FileSize(index));
    }
    analysis.Analyse(m_deleteDirectly);
}

int TOperationRun::FindRefused(std::vector<TRefusedFile>& refused) const {
    refused.clear();
    // A deletion or move re-indexes the store on its own thread.
    if (AnyRunning())
        return EBUSY;
    // One opener for the whole list: files of one folder stand together once
    // the list is sorted by folder, and cost one fstatat each.
    TFolderOpener opener(m_searchRun.Store());
    try {
        for (std::int32_t row = 0; row < m_list.Count(); ++row) {
            const std::int32_t file = m_list.FileOf(row);
            if (file < 0)
                continue;
            int dirFd = -1;
            const char* name = nullptr;
            if (const int rc = opener.CheckFile(static_cast<std::uint32_t>(file), dirFd, name);
                rc != 0)
                refused.push_back(TRefusedFile{row, rc});
        }
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
    return 0;
}

bool TOperationRun::PrepareStart(TViewKind view) {
    TScanData& store = m_searchRun.Store();
    if (AnyRunning() || !store.Status().m_searchDone)
        return false;
    // Only files the user marked in the view on screen may be touched: a
    // list taken from another view, or one the store no longer matches (a
    // new search, changed marks, a re-index since it was built), is refused.
    if (NormalizeViewKind(view) != m_list.View() || !m_list.MatchesStore())
        return false;
    m_list.Sort(kOpSortFolder, true);
    TOperationFigures& figures = store.Operation(kKey);
    figures = TOperationFigures{};
    figures.m_filesToProcess = static_cast<std::uint32_t>(m_list.Count());
    figures.m_bytesToProcess = m_list.TotalBytes();
    store.Status(kKey).m_fullLogOpened = false;
    store.Status(kKey).m_errorLogOpened = false;
    return true;
}

TLogWriteResult TOperationRun::WriteLogs(std::u16string_view logFolder, const TLogSettings& full,
                                         const TLogSettings& error, TStrList* history) {
    TLogWriteResult result = m_logs.WriteLogs(logFolder, full, error, history);
    TScanStatus& status = m_searchRun.Store().Status(kKey);
    status.m_fullLogOpened = result.fullWritten;
    status.m_errorLogOpened = result.errorWritten;
    return result;
}

bool TOperationRun::StartDelete(TMessageTarget* window, TMainThreadCaller* caller, TViewKind view,
                                bool fullLogOn, bool errorLogOn, TNoTrashAction noTrash,
                                TTrashBatchFn trashBatch) {
    if (!PrepareStart(view))
        return false;
    TScanData& store = m_searchRun.Store();
    m_logs.BeginRun(fullLogOn, errorLogOn, m_list.View(), TOperationKind::Delete,
                    HeaderFiguresOf(store, m_searchRun.SearchSetCopy()));
    m_deleteProgress = TDeleteSafeProgress{};
    m_lastKind = TOperationKind::Delete;
    TDeleteInputs inputs = DeleteInputsFromList(m_list, m_deleteDirectly, noTrash);
    inputs.trashBatch = std::move(trashBatch);
    inputs.permanentVolumes = m_permanentVolumes;
    inputs.allowWholeGroups = m_allowWholeGroups;
    auto worker = std::make_unique<TDeleteThread>(store, std::move(inputs), m_logs,
                                                  m_deleteProgress, window, caller);
    // Busy before the worker exists on its thread: it writes the store from
    // its first file on.
    store.AnnounceBusy();
    if (m_deleteWaiter.Start(std::move(worker), window))
        return true;
    store.AnnounceIdle();
    return false;
}

void TOperationRun::DeleteFinished() {
    if (!m_deleteWaiter.Running())
        return;
    m_deleteWaiter.Finished();
    const TDeleteCounters& c = m_deleteWaiter.Counters();
    m_searchRun.Store().Operation(kKey).RecordOutcome(
        c.processedCount, c.processedBytes, c.doneCount, c.doneBytes, c.failedCount, c.failedBytes);
    m_list.Invalidate();
    m_alerts.Clear();
    m_searchRun.Store().AnnounceIdle();
}

bool TOperationRun::StartCopyMove(TMessageTarget* window, TMainThreadCaller* caller, TViewKind view,
                                  bool fullLogOn, bool errorLogOn, std::u16string_view destination,
                                  TCollisionRule rule, bool move, bool allowWholeGroups) {
    if (destination.empty() || !PrepareStart(view))
        return false;
    TScanData& store = m_searchRun.Store();
    TOperationFigures& figures = store.Operation(kKey);
    figures.m_move = move;
    figures.m_destination = AddTrailingBackslash(destination);
    figures.m_destinationVolume = m_searchRun.Drives().Find(figures.m_destination);
    figures.m_collisionRule = static_cast<std::int32_t>(rule);
    m_logs.BeginRun(fullLogOn, errorLogOn, m_list.View(),
                    move ? TOperationKind::Move : TOperationKind::Copy,
                    HeaderFiguresOf(store, m_searchRun.SearchSetCopy()));
    m_copyProgress = TCopySafeProgress{};
    m_lastCopyWasMove = move;
    m_lastKind = move ? TOperationKind::Move : TOperationKind::Copy;
    TCopyInputs inputs = CopyInputsFromStore(store, m_list, rule);
    inputs.allowWholeGroups = allowWholeGroups;
    auto worker = std::make_unique<TCopyThread>(store, std::move(inputs), m_logs, m_copyProgress,
                                                window, caller);
    store.AnnounceBusy();
    if (m_copyWaiter.Start(std::move(worker), m_copyProgress, window))
        return true;
    store.AnnounceIdle();
    return false;
}

void TOperationRun::CopyFinished() {
    if (!m_copyWaiter.Running())
        return;
    m_copyWaiter.Finished();
    const TCopyCounters& c = m_copyWaiter.Counters();
    m_searchRun.Store().Operation(kKey).RecordOutcome(
        c.processedCount, c.processedBytes, c.doneCount, c.doneBytes, c.failedCount, c.failedBytes);
    // A move re-indexes the store; a copy leaves every file index as it was.
    if (m_lastCopyWasMove) {
        m_list.Invalidate();
        m_alerts.Clear();
    }
    m_searchRun.Store().AnnounceIdle();
}

TOperationOutcome TOperationRun::Outcome() const {
    TOperationOutcome outcome;
    outcome.kind = m_lastKind;
    const TOperationFigures& recorded = m_searchRun.Store().Operation();
    if (m_lastKind == TOperationKind::Delete) {
        const TDeleteCounters& c = DeleteCounters();
        outcome.figures = SummaryOf(c, recorded.m_filesToProcess, recorded.m_bytesToProcess);
        outcome.processed = c.processedCount;
        outcome.aborted = DeleteAborted();
    } else {
        const TCopyCounters& c = CopyCounters();
        outcome.figures = SummaryOf(c, recorded.m_filesToProcess, recorded.m_bytesToProcess);
        outcome.processed = c.processedCount;
        outcome.aborted = CopyAborted();
        const std::uint64_t settled = outcome.figures.filesDone + outcome.figures.filesInError;
        if (outcome.processed > settled)
            outcome.skipped = outcome.processed - settled;
    }
    if (outcome.processed >= outcome.figures.filesToProcess)
        outcome.aborted = false;
    return outcome;
}

} // namespace vdx
