#pragma once
// TOperationRun is the file-operations side of the run controller: it owns
// the operation list and the alert-file list, the delete-directly switch, the
// operation logs' line lists, and the deletion and copy/move thread pairs
// with their progress records, and offers the windows the start, pause,
// resume, cancel and finished operations of those two kinds. It works on the
// store, search set copy and volume table of the search controller it is
// given, which lives in the engine layer and knows nothing of operations.
//
// One operation of any kind runs at a time: a deletion or copy/move is
// refused while a search, a comparison or the other operation runs, and
// while the operation list no longer describes what the store holds.

#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/VDX_unit_SearchRun.h"
#include "operations/VDX_unit_CopyMove.h"
#include "operations/VDX_unit_Delete.h"
#include "operations/VDX_unit_OperationList.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "operations/VDX_unit_SafetyAnalysis.h"

namespace vdx {

// What the last deletion, copy or move came to, as the summary window and
// the command line's report show it.
struct TOperationOutcome {
    TOperationKind kind = TOperationKind::Delete;
    // The summary block's figures: the run figures' files and bytes to
    // process, and the counters' successful and failed files.
    TLogSummary figures;
    // Files the worker reached, whatever became of them.
    std::uint64_t processed = 0;
    // Copy and move: files left alone because the destination file existed
    // and the rule said skip.
    std::uint64_t skipped = 0;
    // Stopped before every file was reached. A cancel that came after the
    // last file (while the store was re-indexed, say) stopped nothing the
    // user asked for and does not count.
    bool aborted = false;

    // Every file was reached and none failed; skipped files did what the
    // rule asked.
    bool AllDone() const {
        return !aborted && figures.filesInError == 0 && processed == figures.filesToProcess;
    }
};

// A file of the operation list that a run would refuse as things stand: the
// check the workers make before they act (TFolderOpener::CheckFile) failed.
struct TRefusedFile {
    std::int32_t row = 0;
    // kErrorChangedSinceSearch, kErrorFolderChanged, ENOENT when the file or
    // a folder of its path is gone, or the errno of the open or stat.
    int code = 0;
};

class TOperationRun {
public:
    // searchRun must outlive this object.
    explicit TOperationRun(TSearchRun& searchRun);
    // Cancels and joins whatever still runs.
    ~TOperationRun();
    TOperationRun(const TOperationRun&) = delete;
    TOperationRun& operator=(const TOperationRun&) = delete;

    TScanData& Store() { return m_searchRun.Store(); }
    TOperationList& List() { return m_list; }
    const TOperationList& List() const { return m_list; }
    TAlertList& Alerts() { return m_alerts; }
    TOperationLogs& Logs() { return m_logs; }

    // Writes the run's logs (TOperationLogs::WriteLogs) once its worker has
    // ended and records in the store's status whether each log was written,
    // which the information window shows. A new start clears both flags.
    TLogWriteResult WriteLogs(std::u16string_view logFolder, const TLogSettings& full,
                              const TLogSettings& error, TStrList* history);

    // Fills the operation list from the marks of view (the Delete, Copy and
    // Move commands). Returns 0 or the errno of a failed growth. Refused
    // (EBUSY) while an operation runs.
    int BuildList(TViewKind view);
    // Rebuilds the alert-file list from the operation list in its view.
    int BuildAlerts() { return m_alerts.Build(m_list, m_list.View()); }

    // The Delete window's choice: unlink directly instead of using the trash.
    bool DeleteDirectly() const { return m_deleteDirectly; }
    void SetDeleteDirectly(bool on) { m_deleteDirectly = on; }
    // The volumes whose files the next deletion may delete for good (those
    // the plan showed with a permanent-deletion verdict and the user
    // confirmed), and whether the user chose to remove whole groups; both go
    // into the next StartDelete's inputs.
    void SetPermanentVolumes(const std::bitset<kMaxVolumes>& volumes) {
        m_permanentVolumes = volumes;
    }
    void SetAllowWholeGroups(bool on) { m_allowWholeGroups = on; }

    // Sums the operation list per volume into analysis (files without a
    // volume are left out) and judges every volume with the delete-directly
    // switch.
    void AnalyseSafety(TSafetyAnalysis& analysis) const;

    // Checks every file of the list as the workers will check it right
    // before acting on it, so that the plan can name the files a run would
    // refuse now (changed or gone since the search); refused receives them
    // in list order. Only reads: folders are opened, nothing is changed.
    // Returns 0, EBUSY while an operation runs, or the errno of a failed
    // growth.
    int FindRefused(std::vector<TRefusedFile>& refused) const;

    // ---- Deletion ----

    // Deletes the files of the operation list, which must have been built
    // from view and still match the store. window receives the progress
    // messages (nullptr: none); caller runs the hand-over routines on the
    // user-interface thread. noTrash says what happens to files on volumes
    // without a usable trash; kDeletePermanently only after the user has
    // confirmed the safety analysis that named them. trashBatch replaces the
    // platform's trash call (tests). Sorts the list by folder, records the
    // run figures and writes the log header. Returns false and does nothing
    // when the last search has not completed, while any operation runs, or
    // when the list does not match.
    bool StartDelete(TMessageTarget* window, TMainThreadCaller* caller, TViewKind view,
                     bool fullLogOn, bool errorLogOn, TNoTrashAction noTrash,
                     TTrashBatchFn trashBatch = {});
    void PauseDelete() { m_deleteWaiter.Pause(); }
    void ResumeDelete() { m_deleteWaiter.Resume(); }
    void CancelDelete() { m_deleteWaiter.Terminate(); }
    // The progress window has seen the worker end: joins the waiter and,
    // since the store has been re-indexed, empties the entries' file indices.
    // The store, announced busy by the start, is announced idle.
    void DeleteFinished();
    bool DeleteRunning() const { return m_deleteWaiter.Running(); }
    const TDeleteSafeProgress& DeleteProgress() const { return m_deleteProgress; }
    // The outcome of the last deletion, valid after DeleteFinished.
    const TDeleteCounters& DeleteCounters() const { return m_deleteWaiter.Counters(); }
    bool DeleteAborted() const { return m_deleteWaiter.Aborted(); }

    // ---- Copy and move ----

    // Copies (move false) or moves the files of the operation list into
    // destination by rule. Records the run figures (with the destination's
    // volume in the volume table), writes the log header and starts the
    // pair; refused like StartDelete, and for an empty destination.
    // allowWholeGroups: a move may take the last copy of a group away.
    bool StartCopyMove(TMessageTarget* window, TMainThreadCaller* caller, TViewKind view,
                       bool fullLogOn, bool errorLogOn, std::u16string_view destination,
                       TCollisionRule rule, bool move, bool allowWholeGroups = false);
    // Pause and resume keep the pause cells of the copy progress record.
    void PauseCopy() { m_copyWaiter.Pause(); }
    void ResumeCopy() { m_copyWaiter.Resume(); }
    void CancelCopy() { m_copyWaiter.Terminate(); }
    // Joins the waiter; after a move the entries' file indices are emptied.
    // Announces the store idle, as DeleteFinished does.
    void CopyFinished();
    bool CopyRunning() const { return m_copyWaiter.Running(); }
    const TCopySafeProgress& CopyProgress() const { return m_copyProgress; }
    const TCopyCounters& CopyCounters() const { return m_copyWaiter.Counters(); }
    bool CopyAborted() const { return m_copyWaiter.Aborted(); }

    // The outcome of the last deletion, copy or move, valid once its
    // finished operation has run.
    TOperationOutcome Outcome() const;

    bool AnyRunning() const;

private:
    // The checks and preparations both starts share; false when refused.
    bool PrepareStart(TViewKind view);

    TSearchRun& m_searchRun;
    TOperationList m_list;
    TAlertList m_alerts;
    TOperationLogs m_logs;
    bool m_deleteDirectly = false;
    std::bitset<kMaxVolumes> m_permanentVolumes;
    bool m_allowWholeGroups = false;
    bool m_lastCopyWasMove = false;
    TOperationKind m_lastKind = TOperationKind::Delete;

    TDeleteSafeProgress m_deleteProgress;
    TRunDeleteThread m_deleteWaiter;
    TCopySafeProgress m_copyProgress;
    TRunCopyThread m_copyWaiter;
};

} // namespace vdx
