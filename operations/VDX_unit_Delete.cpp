#include "operations/VDX_unit_Delete.h"

#include <cerrno>
#include <exception>
#include <system_error>
#include <utility>

#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_StoreObserver.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The door through which this unit takes its key to the store's tables
// (TStoreKey).
struct TDeleteDoor {
    static constexpr TStoreKey Key() noexcept { return TStoreKey{}; }
};

namespace {

constexpr TStoreKey kKey = TDeleteDoor::Key();

// The error codes of the program's own checks: the file was never touched.
bool RefusedByCheck(int code) {
    return code == kErrorChangedSinceSearch || code == kErrorFolderChanged ||
           code == kErrorNoRemainingCopy || code == kErrorPermanentNotConfirmed;
}

// Nothing is at the path any more: the file or one of its folders is gone.
bool Vanished(int code) {
    return code == ENOENT;
}

} // namespace

TDeleteInputs DeleteInputsFromList(const TOperationList& list, bool deleteDirectly,
                                   TNoTrashAction noTrash) {
    TDeleteInputs inputs;
    inputs.files.reserve(static_cast<std::size_t>(list.Count()));
    for (std::int32_t row = 0; row < list.Count(); ++row)
        inputs.files.push_back(list.FileOf(row));
    inputs.view = list.View();
    inputs.deleteDirectly = deleteDirectly;
    inputs.noTrash = noTrash;
    inputs.filesToProcess = static_cast<std::uint32_t>(list.Count());
    inputs.bytesToProcess = list.TotalBytes();
    return inputs;
}

void TrashRequests(const std::vector<TTrashRequest>& batch, std::vector<int>& results) {
    results.assign(batch.size(), 0);
    std::vector<TMountEntry> mounts;
    if (const int rc = ReadMountTable(mounts); rc != 0) {
        results.assign(batch.size(), rc);
        return;
    }
    for (std::size_t i = 0; i < batch.size(); ++i)
        results[i] = TrashAt(mounts, batch[i].dirFd, batch[i].name, batch[i].noTrash);
}

// ---- TDeleteThread ----

TDeleteThread::TDeleteThread(TScanData& store, TDeleteInputs inputs, TOperationLogs& logs,
                             TDeleteSafeProgress& progress, TMessageTarget* window,
                             TMainThreadCaller* caller)
    : TWorkerShell(u"TDeleteThread", {kMsgDeleteProgress, kMsgDeleteWorkerEnded}, window, caller),
      m_store(store), m_inputs(std::move(inputs)), m_logs(logs), m_progress(progress),
      m_opener(store), m_remaining(store, m_inputs.view, m_inputs.files) {}

void TDeleteThread::Close(bool failed) {
    if (!failed)
        return;
    m_aborted = true;
    ReindexAnnounced(m_store, Caller());
    if (!m_summaryAdded)
        m_logs.AddSummary(SummaryBlock(TOperationKind::Delete, Summary()), AnyFailure());
    if (!m_finishLogged)
        m_logs.FinishRun(TOperationKind::Delete, true, AnyFailure());
    m_summaryAdded = m_finishLogged = true;
    SetPhase(kPhaseAborted);
}

TLogSummary TDeleteThread::Summary() const {
    return SummaryOf(m_counters, m_inputs.filesToProcess, m_inputs.bytesToProcess);
}

void TDeleteThread::Work() {
    m_start = NowDateTime();
    MarkSnapshot();
    m_counters = TDeleteCounters{};
    SetPhase(kPhaseDeleting);

    if (m_inputs.deleteDirectly)
        DirectLoop();
    else
        TrashLoop();

    // ReindexAfterRemovals guards each of its steps itself.
    ReindexAnnounced(m_store, Caller());
    SetPhase(kPhasePreparingViewTables);

    m_logs.AddSummary(SummaryBlock(TOperationKind::Delete, Summary()), AnyFailure());
    m_summaryAdded = true;

    PauseCheck();
    if (Terminated()) {
        m_aborted = true;
        m_logs.FinishRun(TOperationKind::Delete, true, AnyFailure());
        m_finishLogged = true;
        SetPhase(kPhaseAborted);
        return;
    }
    SetPhase(kPhaseIndexingTables);
    try {
        ComputeTotals(m_store);
    } catch (const std::exception& e) {
        AddErrorEntry(u"TDeleteThread: ComputeTotals: " + FromUtf8(e.what()));
    }
    m_logs.FinishRun(TOperationKind::Delete, false, AnyFailure());
    m_finishLogged = true;
    SetPhase(kPhaseCompleted);
}

void TDeleteThread::DirectLoop() {
    for (const std::int32_t entry : m_inputs.files) {
        PauseCheck();
        if (Terminated())
            break;
        ThrottledHandOver();
        if (entry < 0 || static_cast<std::uint32_t>(entry) >= m_store.FileCount())
            continue; // the controller hands over valid indices only
        const auto file = static_cast<std::uint32_t>(entry);
        int dirFd = -1;
        const char* name = nullptr;
        int code = CheckBeforeDelete(file, dirFd, name);
        if (code == 0 && !MayDeletePermanently(file))
            code = kErrorPermanentNotConfirmed;
        // unlink needs no write permission on the file itself, so a read-only
        // file is deleted as it is; its mode is never changed, which also
        // leaves a file that cannot be deleted exactly as it was.
        if (code == 0)
            code = Fs().UnlinkAt(dirFd, name, 0);
        Record(file, code, false);
    }
    HandOver();
    m_logs.AddBoth(u"", AnyFailure());
}

void TDeleteThread::TrashLoop() {
    m_batchCount = 0;
    const std::size_t count = m_inputs.files.size();
    for (std::size_t i = 0; i < count; ++i) {
        PauseCheck();
        if (Terminated())
            break;
        ThrottledHandOver();
        const std::int32_t entry = m_inputs.files[i];
        if (entry >= 0 && static_cast<std::uint32_t>(entry) < m_store.FileCount()) {
            const auto file = static_cast<std::uint32_t>(entry);
            int dirFd = -1;
            const char* name = nullptr;
            if (!Vanished(m_opener.CheckFile(file, dirFd, name))) {
                m_batch[m_batchCount++] = TBatchEntry{file, 0};
            } else {
                // A missing file closes the batch early, so that every
                // batch stays a run of consecutive entries.
                SendBatch();
                RecordMissing(file);
            }
        }
        if ((i + 1) % kTrashBatchSize == 0)
            SendBatch();
    }
    // After a cancel the files still waiting in the batch were never sent:
    // they are neither deleted nor counted nor logged.
    if (Terminated())
        m_batchCount = 0;
    else
        SendBatch();
    HandOver();
    m_logs.AddBoth(u"", AnyFailure());
}

void TDeleteThread::SendBatch() {
    if (m_batchCount == 0)
        return;
    // The checks run now, right before the trash call: the batch may have
    // waited through a pause since its files were appended. Each request
    // holds its own descriptor of its folder, since the opener keeps only
    // the folder of the file it looked at last.
    std::vector<TTrashRequest> batch;
    std::vector<std::uint32_t> sent;
    batch.reserve(m_batchCount);
    for (std::uint32_t k = 0; k < m_batchCount; ++k) {
        TBatchEntry& entry = m_batch[k];
        int dirFd = -1;
        const char* name = nullptr;
        entry.check = CheckBeforeDelete(entry.file, dirFd, name);
        if (entry.check != 0)
            continue;
        TTrashRequest request;
        entry.check = Fs().Duplicate(dirFd, request.dirFd);
        if (entry.check != 0)
            continue;
        request.name = name;
        request.path = m_store.FullPath(entry.file);
        request.noTrash = m_inputs.noTrash == TNoTrashAction::kDeletePermanently &&
                                  MayDeletePermanently(entry.file)
                              ? TNoTrashAction::kDeletePermanently
                              : TNoTrashAction::kKeep;
        batch.push_back(std::move(request));
        sent.push_back(k);
    }
    std::vector<int> results;
    if (!batch.empty())
        CallTrash(batch, results);
    for (std::size_t j = 0; j < sent.size(); ++j)
        m_batch[sent[j]].check = j < results.size() ? results[j] : -1;
    for (const TTrashRequest& request : batch)
        (void)Fs().Close(request.dirFd);
    for (std::uint32_t k = 0; k < m_batchCount; ++k)
        Record(m_batch[k].file, m_batch[k].check, true);
    m_batchCount = 0;
}

void TDeleteThread::CallTrash(const std::vector<TTrashRequest>& batch, std::vector<int>& results) {
    results.assign(batch.size(), -1);
    try {
        if (m_inputs.trashBatch)
            m_inputs.trashBatch(batch, results);
        else
            TrashRequests(batch, results);
        results.resize(batch.size(), -1);
    } catch (...) {
        m_logs.AddFull(std::u16string(kShellExceptionLine));
        results.assign(batch.size(), -1);
    }
}

bool TDeleteThread::MayDeletePermanently(std::uint32_t file) const {
    const std::uint16_t volume = m_store.FileVolume(file);
    return volume < m_inputs.permanentVolumes.size() && m_inputs.permanentVolumes.test(volume);
}

int TDeleteThread::CheckBeforeDelete(std::uint32_t file, int& dirFd, const char*& name) {
    if (const int rc = m_opener.CheckFile(file, dirFd, name); rc != 0)
        return rc;
    if (!m_inputs.allowWholeGroups)
        if (const int rc = m_remaining.Check(file); rc != 0)
            return rc;
    return 0;
}

void TDeleteThread::CountProcessed(std::uint32_t file) {
    ++m_counters.processedCount;
    m_counters.processedBytes += m_store.FileSize(file);
}

void TDeleteThread::CountFailed(std::uint32_t file) {
    ++m_counters.failedCount;
    m_counters.failedBytes += m_store.FileSize(file);
}

void TDeleteThread::Record(std::uint32_t file, int code, bool trash) {
    if (code == 0) {
        CountProcessed(file);
        m_store.File(kKey, file).m_removed = 1;
        ++m_counters.doneCount;
        m_counters.doneBytes += m_store.FileSize(file);
        m_logs.AddFull(LineOkDeleting(LineStampNow(), m_store.FullPath(file)));
    } else if (Vanished(code)) {
        RecordMissing(file);
    } else if (RefusedByCheck(code)) {
        RecordRefused(file, code);
    } else {
        RecordFailed(file, code, trash);
    }
}

void TDeleteThread::RecordFailed(std::uint32_t file, int code, bool trash) {
    CountProcessed(file);
    m_store.File(kKey, file).m_removed = 0;
    CountFailed(file);
    const std::u16string stamp = LineStampNow();
    const std::u16string path = m_store.FullPath(file);
    // The system's text says why; -1 (the trash call threw) has none.
    std::u16string line =
        trash ? LineFailedToDeleteCode(stamp, code, path) : LineFailedToDelete(stamp, path);
    if (code > 0)
        line += u" " + SystemErrorText(code);
    m_logs.AddBoth(line, AnyFailure());
}

void TDeleteThread::RecordMissing(std::uint32_t file) {
    CountProcessed(file);
    m_store.File(kKey, file).m_removed = 1;
    CountFailed(file);
    m_logs.AddBoth(LineUnableToLocate(LineStampNow(), m_store.FullPath(file)), AnyFailure());
}

void TDeleteThread::RecordRefused(std::uint32_t file, int code) {
    CountProcessed(file);
    m_store.File(kKey, file).m_removed = 0;
    CountFailed(file);
    m_logs.AddBoth(LineFailedToDeleteReason(LineStampNow(), m_store.FullPath(file), code),
                   AnyFailure());
}

void TDeleteThread::PauseCheck() {
    // The folders may have moved while the run stood still: walk them again.
    if (WaitWhilePaused()) {
        m_opener.Reset();
        m_remaining.Reset();
    }
}

void TDeleteThread::SetPhase(std::int32_t phase) {
    m_phase = phase;
    HandOver();
}

void TDeleteThread::ThrottledHandOver() {
    if (SnapshotDue())
        HandOver();
}

void TDeleteThread::HandOver() {
    Snapshot([this] {
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

// ---- TRunDeleteThread ----

TRunDeleteThread::~TRunDeleteThread() {
    Finished();
}

bool TRunDeleteThread::Start(std::unique_ptr<TDeleteThread> worker, TMessageTarget* window) {
    if (!worker)
        return false;
    if (m_run.Running()) {
        worker->Discard();
        return false;
    }
    m_counters = TDeleteCounters{};
    m_aborted = false;
    TWorkerRun<TDeleteThread>::THooks hooks;
    // A worker whose thread could not be started deleted nothing.
    hooks.collect = [this](TDeleteThread& ended, bool started) {
        m_counters = ended.Counters();
        m_aborted = !started || ended.Aborted();
    };
    hooks.window = window;
    hooks.doneCode = kMsgDeleteWaiterDone;
    return m_run.Start(std::move(worker), std::move(hooks));
}

void TRunDeleteThread::Pause() {
    m_run.Pause();
}

void TRunDeleteThread::Resume() {
    m_run.Resume();
}

void TRunDeleteThread::Terminate() {
    m_run.Terminate();
}

void TRunDeleteThread::Finished() {
    m_run.Finish();
}

} // namespace vdx
