#pragma once
// The empty-folder remover: a worker thread (TRemoveThread) that walks the
// tree below a main folder depth first and removes every folder it finds
// empty as the walk comes back up, deepest first, and a waiter
// (TRunRemoveThread) that the remover's progress window starts, steers and
// is told by when the run is over. A report of each run is put at the top of
// the removed-folders log.
//
// Safety: a folder is only ever removed with rmdir, which refuses a folder
// that is not empty at that moment; symbolic links are never followed (a link
// is an entry like a file, so its folder is not empty); a folder that cannot
// be read completely counts as not empty.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "platform/VDX_unit_Threads.h"

namespace vdx {

inline constexpr std::u16string_view kRemovedFoldersLogName = u"QVDRemovedFolders.txt";

// The remover's settings as its window edits them (the settings store keeps
// the same fields).
struct TRemoveOptions {
    std::u16string mainFolder; // may hold environment references
    bool subFolders = true;    // walk the whole tree, else only direct sub-folders
    bool allowHidden = false;  // folders whose name begins with "." may go
    bool allowSystem = false;  // only the main folder itself counts as system
    bool storeLog = true;
    TStrList includeList; // "/Sub/*.*" entries relative to the main folder
    TStrList excludeList;
};

// What the worker is given: the options with the main folder expanded and
// ending with "/", and the full path of the removed-folders log.
struct TRemoveInputs {
    std::u16string mainFolder;
    bool subFolders = true;
    bool allowHidden = false;
    bool allowSystem = false;
    bool storeLog = true;
    TStrList includeList;
    TStrList excludeList;
    std::u16string logPath; // empty when no log folder is known
};

// Expands and completes the options; logFolder is the operation log folder
// setting (trimmed and expanded here). An empty main folder stays empty.
TRemoveInputs MakeRemoveInputs(const TRemoveOptions& options, std::u16string_view logFolder);

// The include and exclude entries made absolute, and the test each folder
// of the walk passes. Paths are compared exactly (Linux tells /a/B from
// /a/b), and an entry must stand at the start of a path.
class TRemoveFilter {
public:
    // Each entry loses its first "*.*", is trimmed and, unless nothing is
    // left, is put after the main folder (without its trailing "/").
    void Prepare(std::u16string_view mainFolder, const TStrList& includeList,
                 const TStrList& excludeList);
    bool Filtering() const { return !m_include.empty() || !m_exclude.empty(); }
    // folderPath ends with "/". Without entries every folder passes;
    // otherwise it needs an include entry (when there are any) and no
    // exclude entry at its start.
    bool Passes(std::u16string_view folderPath) const;
    // True for a folder that fails the test but lies on the way to an
    // include entry below it: it is walked to reach that entry, never
    // removed itself.
    bool LeadsToInclude(std::u16string_view folderPath) const;

    const std::vector<std::u16string>& IncludePaths() const { return m_include; }
    const std::vector<std::u16string>& ExcludePaths() const { return m_exclude; }

private:
    bool Excluded(std::u16string_view folderPath) const;

    std::vector<std::u16string> m_include;
    std::vector<std::u16string> m_exclude;
};

struct TRemoveStatistics {
    std::int32_t scanned = 0;    // folders visited
    std::int32_t foundEmpty = 0; // folders whose removal was attempted
    std::int32_t removed = 0;
};

// "Scanned folders: %s, found empty: %s, removed: %s" with thousands
// separators, the progress window's statistics line.
std::u16string RemoveStatisticsText(const TRemoveStatistics& stats);

// The progress window as the worker sees it. Both calls run on the
// user-interface thread, through the worker's synchronous call.
class TRemoveProgressView {
public:
    virtual ~TRemoveProgressView() = default;
    // The folder being cleaned, expanded and ending with "/"; the window
    // shows "Scanning the folder: %s" with it fitted to its width.
    virtual void ShowMainFolder(std::u16string_view mainFolder) = 0;
    virtual void ShowStatistics(const TRemoveStatistics& stats) = 0;
};

// The worker. Created and freed by its waiter; freeing it posts
// kMsgRemoveEnded with wParam 1 when the run was aborted, else 0.
class TRemoveThread {
public:
    // window, caller, view and logHistory may each be nullptr. logHistory
    // (the settings' log history) is changed only through caller, on the
    // user-interface thread.
    TRemoveThread(TRemoveInputs inputs, TMessageTarget* window, TMainThreadCaller* caller,
                  TRemoveProgressView* view, TStrList* logHistory);
    ~TRemoveThread();
    TRemoveThread(const TRemoveThread&) = delete;
    TRemoveThread& operator=(const TRemoveThread&) = delete;

    // Throws std::system_error when no thread can be started.
    void Start();
    void WaitFor();
    // Marks a run that never started as aborted.
    void MarkNotStarted() { m_aborted = true; }

    void Pause() { m_signals.Pause(); }
    void Resume() { m_signals.Resume(); }
    // Also releases a paused worker, so that the cancel is seen even when
    // nobody resumes it.
    void Terminate() { m_signals.Terminate(); }

    // Valid once the thread has ended.
    bool Aborted() const { return m_aborted; }
    const TRemoveStatistics& Statistics() const { return m_stats; }
    // The run's report lines, handed over once (the command line prints
    // them); the log holds them when LogWritten.
    TStrList TakeReport() { return std::move(m_report); }
    bool LogWritten() const { return m_logWritten; }

private:
    struct TListing;

    bool Terminated() const { return m_signals.Terminated(); }
    void Execute();
    void Run();
    void Finish();
    void PauseCheck();
    void UpdateStatistics(bool force);
    void Report(std::u16string line) { m_report.push_back(TStrItem{std::move(line)}); }

    // Walks one folder (path ends with "/"); true when it counts as empty.
    bool Walk(const std::u16string& path, bool hidden, bool system, bool traverseOnly);
    // The check of a direct sub-folder when sub-folders is off.
    bool Check(const std::u16string& path, bool hidden);
    // true when the folder may be removed by the hidden, system and filter
    // rules.
    bool Removable(const std::u16string& path, bool hidden, bool system) const;
    bool RemoveFolder(const std::u16string& path);
    // Lists the folder; false when it could not be read completely.
    bool List(const std::u16string& path, bool followLink, TListing& out) const;

    TRemoveInputs m_inputs;
    TMessageTarget* m_window;
    TMainThreadCaller* m_caller;
    TRemoveProgressView* m_view;
    TStrList* m_logHistory;

    TRemoveFilter m_filter;
    TRemoveStatistics m_stats;
    TStrList m_report;
    bool m_logWritten = false;
    bool m_aborted = false;
    std::uint64_t m_lastStatsTick = 0;

    TWorkerSignals m_signals;
    std::thread m_thread;
};

// The waiter: the progress window starts it when it is shown. It creates the
// worker, runs it, waits for it and frees it (which posts the completion
// message). Steering calls run on the user-interface thread.
class TRunRemoveThread {
public:
    TRunRemoveThread() = default;
    // Tells a worker that still runs to stop, and waits for it.
    ~TRunRemoveThread();
    TRunRemoveThread(const TRunRemoveThread&) = delete;
    TRunRemoveThread& operator=(const TRunRemoveThread&) = delete;

    // Starts a run. false, and nothing happens, while a run exists (until
    // Finished), when the main folder is not an absolute path, or when no
    // thread can be started.
    bool Start(TRemoveInputs inputs, TMessageTarget* window, TMainThreadCaller* caller,
               TRemoveProgressView* view, TStrList* logHistory);
    void Pause();
    void Resume();
    void Terminate();
    // From Start until Finished.
    bool Running() const { return m_run.Running(); }
    // The window has seen the completion message: joins the waiter.
    void Finished();

    // The outcome of the last run, valid after Finished.
    bool Aborted() const { return m_aborted; }
    const TRemoveStatistics& Statistics() const { return m_stats; }
    const TStrList& Report() const { return m_report; }
    bool LogWritten() const { return m_logWritten; }

private:
    bool m_aborted = false;
    TRemoveStatistics m_stats;
    TStrList m_report;
    bool m_logWritten = false;
    // Last, so that it is joined before the outcome above goes away.
    TWorkerRun<TRemoveThread> m_run;
};

} // namespace vdx
