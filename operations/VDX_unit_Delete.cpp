#include "operations/VDX_unit_Delete.h"

#include <cerrno>
#include <exception>
#include <sys/stat.h>
#include <system_error>
#include <utility>

#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

namespace {

// The longest a progress hand-over may be held back while work goes on.
constexpr std::uint64_t kProgressIntervalMs = 200;

// The error codes of the program's own checks: the file was never touched.
bool RefusedByCheck(int code) {
    return code == kErrorChangedSinceSearch;
}

// lstat found nothing at the path: the file or one of its folders is gone.
bool Vanished(int code) {
    return code == ENOENT || code == ENOTDIR;
}

// The existence test after a failed attempt. Only a path that is certainly
// gone counts as gone; when lstat fails for another reason (a folder that
// cannot be searched) the file may well still be there and must not be
// reported as deleted.
bool Exists(const std::string& native) {
    struct stat st {};
    return !Vanished(Fs().LStat(native.c_str(), st));
}

} // namespace

TDeleteInputs DeleteInputsFromList(const TOperationList& list, bool deleteDirectly,
                                   TNoTrashAction noTrash) {
    TDeleteInputs inputs;
    inputs.files.reserve(static_cast<std::size_t>(list.Count()));
    for (std::int32_t row = 0; row < list.Count(); ++row)
        inputs.files.push_back(list.FileOf(row));
    inputs.deleteDirectly = deleteDirectly;
    inputs.noTrash = noTrash;
    inputs.filesToProcess = static_cast<std::uint32_t>(list.Count());
    inputs.bytesToProcess = list.TotalBytes();
    return inputs;
}

// ---- TDeleteThread ----

TDeleteThread::TDeleteThread(TScanData& store, TDeleteInputs inputs, TOperationLogs& logs,
                             TDeleteSafeProgress& progress, TMessageTarget* window,
                             TMainThreadCaller* caller)
    : m_store(store), m_inputs(std::move(inputs)), m_logs(logs), m_progress(progress),
      m_window(window), m_caller(caller) {}

TDeleteThread::~TDeleteThread() {
    if (m_thread.joinable())
        m_thread.join();
    if (m_window != nullptr)
        m_window->Post(kMsgDeleteWorkerEnded, 0, 0);
}

void TDeleteThread::Start() {
    m_thread = std::thread(&TDeleteThread::Execute, this);
}

void TDeleteThread::WaitFor() {
    if (m_thread.joinable())
        m_thread.join();
}

void TDeleteThread::Execute() {
    try {
        Run();
        return;
    } catch (const std::exception& e) {
        AddErrorEntry(u"TDeleteThread: " + FromUtf8(e.what()));
    } catch (...) {
        AddErrorEntry(u"TDeleteThread: unknown exception");
    }
    m_aborted = true;
    // Files already gone must still leave the views, and the logs still get
    // their summary and closing lines.
    try {
        ReindexAfterRemovals(m_store);
        if (!m_summaryAdded)
            m_logs.AddSummary(SummaryBlock(TOperationKind::Delete, Summary()), AnyFailure());
        if (!m_finishLogged)
            m_logs.FinishRun(TOperationKind::Delete, true, AnyFailure());
        m_summaryAdded = m_finishLogged = true;
        SetPhase(kPhaseAborted);
    } catch (...) {
        AddErrorEntry(u"TDeleteThread: the run could not be closed after an exception");
    }
}

TLogSummary TDeleteThread::Summary() const {
    TLogSummary summary;
    summary.filesToProcess = m_inputs.filesToProcess;
    summary.bytesToProcess = m_inputs.bytesToProcess;
    summary.filesDone = m_counters.deletedCount;
    summary.bytesDone = m_counters.deletedBytes;
    summary.filesInError = static_cast<std::uint64_t>(m_counters.failedCount);
    summary.bytesInError = m_counters.failedBytes;
    return summary;
}

void TDeleteThread::Run() {
    m_start = NowDateTime();
    m_lastHandOverTick = TickCountMs();
    m_counters = TDeleteCounters{};
    SetPhase(kPhaseDeleting);

    if (m_inputs.deleteDirectly)
        DirectLoop();
    else
        TrashLoop();

    // ReindexAfterRemovals guards each of its steps itself.
    ReindexAfterRemovals(m_store);
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
        const std::string native = NativePath(m_store.FullPath(file));
        int code = CheckBeforeDelete(file, native);
        // unlink needs no write permission on the file itself, so a read-only
        // file is deleted as it is; its mode is never changed, which also
        // leaves a file that cannot be deleted exactly as it was.
        if (code == 0)
            code = Fs().Unlink(native.c_str());
        if (RefusedByCheck(code))
            RecordRefused(file, code);
        else
            RecordResult(file, code, false);
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
            if (Exists(NativePath(m_store.FullPath(file)))) {
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
    // waited through a pause since its files were appended.
    std::vector<std::u16string> paths;
    paths.reserve(m_batchCount);
    for (std::uint32_t k = 0; k < m_batchCount; ++k) {
        TBatchEntry& entry = m_batch[k];
        std::u16string path = m_store.FullPath(entry.file);
        entry.check = CheckBeforeDelete(entry.file, NativePath(path));
        if (entry.check == 0)
            paths.push_back(std::move(path));
    }
    const int code = paths.empty() ? 0 : CallTrash(paths);
    for (std::uint32_t k = 0; k < m_batchCount; ++k) {
        const TBatchEntry& entry = m_batch[k];
        if (entry.check == 0)
            RecordResult(entry.file, code, true);
        else if (Vanished(entry.check))
            RecordMissing(entry.file);
        else if (RefusedByCheck(entry.check))
            RecordRefused(entry.file, entry.check);
        else
            RecordResult(entry.file, entry.check, true);
    }
    m_batchCount = 0;
}

int TDeleteThread::CallTrash(const std::vector<std::u16string>& paths) {
    try {
        if (m_inputs.trashBatch)
            return m_inputs.trashBatch(paths, m_inputs.noTrash);
        return TrashBatch(paths, m_inputs.noTrash);
    } catch (...) {
        m_logs.AddFull(std::u16string(kShellExceptionLine));
        return -1;
    }
}

int TDeleteThread::CheckFolders(std::uint32_t folder) {
    if (static_cast<std::int64_t>(folder) == m_checkedFolder)
        return 0;
    // Below its search path the scan never followed a link, so a folder of
    // the chain that is now a link (or no folder at all) was replaced after
    // the search, and the path would lead to other files.
    std::uint32_t current = folder;
    for (std::uint32_t depth = 0; depth < m_store.FolderCount(); ++depth) {
        const TScanFolderItem& item = m_store.Folder(current);
        if (item.m_searchRoot != 0 || item.m_parent == current)
            break;
        const std::string native = NativePath(RemoveTrailingBackslash(m_store.FolderPath(current)));
        struct stat st {};
        if (const int rc = Fs().LStat(native.c_str(), st); rc != 0)
            return rc;
        if (!S_ISDIR(st.st_mode))
            return kErrorChangedSinceSearch;
        current = item.m_parent;
        if (current >= m_store.FolderCount())
            break;
    }
    m_checkedFolder = folder;
    return 0;
}

int TDeleteThread::CheckBeforeDelete(std::uint32_t file, const std::string& native) {
    if (const int rc = CheckFolders(m_store.File(file).m_folder); rc != 0)
        return rc;
    struct stat st {};
    if (const int rc = Fs().LStat(native.c_str(), st); rc != 0)
        return rc;
    if (!S_ISREG(st.st_mode) || static_cast<std::uint64_t>(st.st_size) != m_store.FileSize(file) ||
        FileTimeFromTimespec(st.st_mtim) != m_store.FileLastWrite(file))
        return kErrorChangedSinceSearch;
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

void TDeleteThread::RecordResult(std::uint32_t file, int code, bool trash) {
    CountProcessed(file);
    const std::u16string path = m_store.FullPath(file);
    const bool gone = code == 0 || !Exists(NativePath(path));
    m_store.File(file).m_removed = gone ? 1 : 0;
    if (gone) {
        ++m_counters.deletedCount;
        m_counters.deletedBytes += m_store.FileSize(file);
        m_logs.AddFull(LineOkDeleting(LineStampNow(), path));
        return;
    }
    CountFailed(file);
    const std::u16string stamp = LineStampNow();
    m_logs.AddBoth(trash ? LineFailedToDeleteCode(stamp, code, path)
                         : LineFailedToDelete(stamp, path),
                   AnyFailure());
}

void TDeleteThread::RecordMissing(std::uint32_t file) {
    CountProcessed(file);
    m_store.File(file).m_removed = 1;
    CountFailed(file);
    m_logs.AddBoth(LineUnableToLocate(LineStampNow(), m_store.FullPath(file)), AnyFailure());
}

void TDeleteThread::RecordRefused(std::uint32_t file, int code) {
    CountProcessed(file);
    m_store.File(file).m_removed = 0;
    CountFailed(file);
    m_logs.AddBoth(LineFailedToDeleteReason(LineStampNow(), m_store.FullPath(file), code),
                   AnyFailure());
}

void TDeleteThread::PauseCheck() {
    // The folders may have changed while the run stood still.
    if (m_signals.WaitWhilePaused())
        m_checkedFolder = -1;
}

void TDeleteThread::SetPhase(std::int32_t phase) {
    m_phase = phase;
    HandOver();
}

void TDeleteThread::ThrottledHandOver() {
    if (TickCountMs() - m_lastHandOverTick > kProgressIntervalMs)
        HandOver();
}

void TDeleteThread::HandOver() {
    m_lastHandOverTick = TickCountMs();
    auto routine = [this] {
        m_store.Operation().RecordProgress(m_counters.processedCount, m_counters.processedBytes,
                                           m_counters.failedCount);
        m_progress.start = m_start;
        m_progress.now = NowDateTime();
        m_progress.phase = m_phase;
        m_progress.processed = m_counters.processedCount;
        m_progress.kilobytes = static_cast<std::uint32_t>(m_counters.processedBytes / 1024);
        m_progress.failed = static_cast<std::uint32_t>(m_counters.failedCount);
        if (m_window != nullptr)
            m_window->Post(kMsgDeleteProgress, 0, 0);
    };
    CallOnMainThread(m_caller, routine);
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
