#pragma once
// The empty-folder remover: a worker thread (TRemoveThread) that walks the
// tree below a main folder depth first and removes every folder it finds
// empty as the walk comes back up, deepest first, and a waiter
// (TRunRemoveThread) that the remover's progress window starts, steers and
// is told by when the run is over. A report of each run is put at the top of
// the removed-folders log.
//
// Safety: a folder is only ever removed with rmdir, which refuses a folder
// that is not empty at that moment, on its bare name in the descriptor of the
// parent the walk came through, and only while that name still is the folder
// the walk found. Every folder below the main one is opened from its
// parent's descriptor without following links (a link is an entry like a
// file, so its folder is not empty, and a folder swapped for a link is not
// entered); the walk never leaves the main folder's file system (a mount
// point below it, a bind mount too, is kept and not entered). A folder that
// cannot be listed counts as empty: its removal is tried, and rmdir refuses
// it when it holds anything.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <thread>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_WorkerRun.h"
#include "engine/VDX_unit_WorkerShell.h"
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
    // List what would be removed, remove nothing and write no log.
    bool dryRun = false;
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
class TRemoveThread final : public TWorkerShell {
public:
    // window, caller, view and logHistory may each be nullptr. logHistory
    // (the settings' log history) is changed only through caller, on the
    // user-interface thread.
    TRemoveThread(TRemoveInputs inputs, TMessageTarget* window, TMainThreadCaller* caller,
                  TRemoveProgressView* view, TStrList* logHistory);
    ~TRemoveThread() override { Join(); }

    // Marks a run that never started as aborted.
    void MarkNotStarted() { SetAborted(true); }

    // Valid once the thread has ended.
    bool Aborted() const { return m_aborted; }
    const TRemoveStatistics& Statistics() const { return m_stats; }
    // The run's report lines, handed over once (the command line prints
    // them); the log holds them when LogWritten.
    TStrList TakeReport() { return std::move(m_report); }
    bool LogWritten() const { return m_logWritten; }

private:
    struct TListing;
    // A descriptor closed when it goes out of scope.
    class TFd {
    public:
        TFd() = default;
        ~TFd() { Reset(); }
        TFd(const TFd&) = delete;
        TFd& operator=(const TFd&) = delete;
        void Reset(int fd = -1);
        int Get() const { return m_fd; }

    private:
        int m_fd = -1;
    };
    // What tells one folder from another, and the mount it lies on.
    struct TFolderId {
        dev_t dev = 0;
        ino_t ino = 0;
        bool isFolder = false;
        bool hasMount = false; // the kernel told the mount id
        std::uint64_t mount = 0;
    };
    // A folder of the walk: where it lies (its parent's descriptor and its
    // bare name there, the only way it is ever removed), its own descriptor
    // (-1 when it cannot be opened for listing) and what it was when found.
    struct TFolder {
        const TFolder* parent = nullptr; // the folder the walk came from
        int parentFd = -1;
        int parentError = 0; // why the folder cannot be removed at all
        std::string name;
        TFd fd;
        TFolderId id;
    };
    enum class TOpenResult {
        Folder, // walk or check it (fd is -1 when it cannot be listed)
        Gone,   // removed since the listing: as if it never was
        Kept,   // a link or file in its place, or another file system: content
    };

    void Work() override;
    // The report's closing lines and the log, however the walk ended.
    void Close(bool failed) override;
    void Finish();
    // The end message's wParam tells an aborted run.
    void SetAborted(bool aborted) {
        m_aborted = aborted;
        SetEndParam(aborted ? 1 : 0);
    }
    void PauseCheck();
    void UpdateStatistics(bool force);
    void Report(std::u16string line) { m_report.push_back(TStrItem{std::move(line)}); }

    // statx (or fstatat where the kernel has no statx) of name in dirFd;
    // an empty name with AT_EMPTY_PATH is dirFd itself.
    int Identify(int dirFd, const char* name, int flags, TFolderId& id) const;
    bool OnMainFileSystem(const TFolderId& id) const;
    // Opens the sub-folder name of parentFd without following a link.
    TOpenResult OpenSub(int parentFd, const char* name, TFolder& out) const;
    // Opens the main folder and its parent, and walks it.
    void WalkMain();
    // Walks one folder (path ends with "/"); true when it counts as empty.
    bool Walk(const TFolder& folder, const std::u16string& path, bool hidden, bool system,
              bool traverseOnly);
    // The check of a direct sub-folder when sub-folders is off.
    bool Check(const TFolder& folder, const std::u16string& path, bool hidden);
    // true when the folder may be removed by the hidden, system and filter
    // rules.
    bool Removable(const std::u16string& path, bool hidden, bool system) const;
    bool RemoveFolder(const TFolder& folder, const std::u16string& path);
    // Lists the open folder; false when it could not be read completely.
    bool List(int fd, TListing& out);

    TRemoveInputs m_inputs;
    TRemoveProgressView* m_view;
    TStrList* m_logHistory;

    TRemoveFilter m_filter;
    TRemoveStatistics m_stats;
    TStrList m_report;
    bool m_logWritten = false;
    bool m_aborted = false;
    TFolderId m_mainId;
    // The getdents64 buffer, reused by every listing.
    std::vector<unsigned char> m_entryBuffer;
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
