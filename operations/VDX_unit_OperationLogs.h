#pragma once
// The operation logs of deletions, copies and moves: the two line lists the
// workers fill while a run goes on, the texts of every line, and the
// write-out into the full and error log files when the run has ended. Also
// the safe "newest run first" file writer the removed-folders log shares.
//
// Nothing here reads the settings store: the caller hands in the log folder
// and the two log settings records as plain values.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_ScanData.h"
#include "engine/VDX_unit_SearchData.h"
#include "operations/VDX_unit_OperationCounters.h"

namespace vdx {

enum class TOperationKind { Delete, Copy, Move };

// One log's settings, as the options window edits them.
struct TLogSettings {
    bool use = true;
    bool createNew = false;      // every run writes a new file named with a time stamp
    bool overwrite = false;      // every run replaces the file's content
    std::int32_t maxSize = 1000; // KiB; a larger existing file is started afresh
};

// What the write-out of one run achieved. A flag is set only when the file
// really holds this run's lines.
struct TLogWriteResult {
    bool fullWritten = false;
    std::u16string fullPath;
    bool errorWritten = false;
    std::u16string errorPath;
};

// The figures of the last search that the log header describes.
struct TLogViewLine {
    std::uint64_t groups = 0;
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
};
struct TLogHeaderFigures {
    std::vector<std::u16string> searchPaths;
    std::uint64_t scannedFolders = 0; // sub-folders added by the scan
    std::uint64_t foundFiles = 0;     // entries found by the scan
    std::uint64_t filteredFiles = 0;  // files kept after filtering
    TLogViewLine sameName, sameSize, sameNameSize, sameContent, fullClones;
    std::uint64_t zeroSizeFiles = 0;
    double searchDuration = 0; // days
    bool contentCompared = false;
    double contentDuration = 0; // days
};

// Collects the header figures from the store and the controller's copy of
// the last search set.
TLogHeaderFigures HeaderFiguresOf(const TScanData& store, const TSearchDataList& searchSet);

// ---- Texts ----

// 78 equals signs: the line that opens and closes a run's block.
inline constexpr std::u16string_view kLogSeparator =
    u"==============================================================================";
inline constexpr std::u16string_view kShellExceptionLine = u"exception on SHFileOperation";

// The line stamp: the locale's short date, a blank and its long time; the
// time is left out at exactly midnight.
std::u16string FormatLineStamp(const TCalendarTime& local);
std::u16string LineStampNow();

// Per-file and per-event lines. stamp is the line stamp; paths are full
// paths; code is an errno whose system text ends the failure lines.
std::u16string LineOkDeleting(std::u16string_view stamp, std::u16string_view path);
std::u16string LineFailedToDelete(std::u16string_view stamp, std::u16string_view path);
// Trash deletion of the file's batch returned code.
std::u16string LineFailedToDeleteCode(std::u16string_view stamp, int code,
                                      std::u16string_view path);
std::u16string LineUnableToLocate(std::u16string_view stamp, std::u16string_view path);
// A file the deletion left alone because it failed one of the program's own
// checks (kErrorChangedSinceSearch ...): the failure line followed by the
// code's text, so the log says why.
std::u16string LineFailedToDeleteReason(std::u16string_view stamp, std::u16string_view path,
                                        int code);
// Ends with its own line break, so an empty line follows it in the file.
std::u16string LineCannotCreateMainFolder(std::u16string_view stamp, std::u16string_view folder,
                                          int code);
std::u16string LineCannotCreateFolder(std::u16string_view stamp, std::u16string_view folder,
                                      int code);
// "failed to copy file" or "failed to move file" (kind Copy or Move).
std::u16string LineFailedTransfer(TOperationKind kind, std::u16string_view stamp,
                                  std::u16string_view source, std::u16string_view target, int code);
std::u16string LineSkip(TOperationKind kind, std::u16string_view stamp, std::u16string_view source,
                        std::uint64_t size, std::u16string_view target);
std::u16string LineRenamed(TOperationKind kind, std::u16string_view stamp,
                           std::u16string_view source, std::uint64_t size,
                           std::u16string_view target);
std::u16string LineOkTransfer(TOperationKind kind, std::u16string_view stamp,
                              std::u16string_view source, std::uint64_t size,
                              std::u16string_view target);

// The figures of a run's summary block.
struct TLogSummary {
    std::uint64_t filesToProcess = 0;
    std::uint64_t bytesToProcess = 0;
    std::uint64_t filesDone = 0; // successful
    std::uint64_t bytesDone = 0;
    std::uint64_t filesInError = 0; // whose operation reported an error
    std::uint64_t bytesInError = 0;
};
// One item of several lines, each ended by CR LF. "Failed" is the files to
// process less the successful ones, so skipped and unreached files count.
std::u16string SummaryBlock(TOperationKind kind, const TLogSummary& figures);
// The summary block's figures of a run over files files and bytes bytes that
// came to counters.
TLogSummary SummaryOf(const TOperationCounters& counters, std::uint64_t files, std::uint64_t bytes);

// "File ... was aborted at" / "... was finished at" with the stamp.
std::u16string ClosingLine(TOperationKind kind, bool aborted, std::u16string_view stamp);

// ---- Line lists ----

// A list of log lines that two threads share; every access holds the
// list's own lock. An empty text stands for an empty line.
class TLogLines {
public:
    void Add(std::u16string text);
    // Inserts before position index; at the end when index is past it.
    void Insert(std::size_t index, std::u16string text);
    std::size_t Count() const;
    void Clear();
    TStrList Lines() const;

    // Runs f(TStrList&) under the lock, for work that must see the list
    // whole (the write-out).
    template <typename F>
    decltype(auto) Locked(F&& f) {
        std::lock_guard<std::mutex> lock(m_lock);
        return std::forward<F>(f)(m_lines);
    }

private:
    mutable std::mutex m_lock;
    TStrList m_lines;
};

// The two line lists of the run controller and the rules by which a run
// fills them: the header before the worker starts, the workers' lines while
// it runs, the summary and closing lines at its end, and the write-out after
// it has ended. At most one thread appends at a time.
class TOperationLogs {
public:
    TLogLines& FullLines() { return m_full; }
    TLogLines& ErrorLines() { return m_error; }

    // Starts a run: empties both lists, keeps the run's two flags and, unless
    // both are off, writes the shared header and each list's heading.
    void BeginRun(bool fullLogOn, bool errorLogOn, TViewKind view, TOperationKind kind,
                  const TLogHeaderFigures& figures);
    bool FullLogOn() const { return m_fullOn; }
    bool ErrorLogOn() const { return m_errorOn; }

    // Worker side. anyFailure: at least one file of the run has failed so
    // far (counted before the line is added); the error log takes lines only
    // from then on. A copy run should also pass true once a destination
    // folder could not be created, so that its error log stays whole.
    void AddFull(std::u16string text);
    void AddError(std::u16string text, bool anyFailure);
    void AddBoth(const std::u16string& text, bool anyFailure);
    // A destination folder that could not be created: both lists, the error
    // list whenever the error log is on.
    void AddFolderError(const std::u16string& text);
    // Puts the summary block right after the shared header of each list
    // that takes it (before "*** Deleted files ***" and the like).
    void AddSummary(const std::u16string& block, bool anyFailure);
    // The closing line, the separator and an empty line; then the error
    // list is dropped, header included, unless anything failed.
    void FinishRun(TOperationKind kind, bool aborted, bool anyFailure);

    // Writes both logs into logFolder (trimmed, environment references
    // expanded), puts each path written at the front of history (may be
    // nullptr) and empties both lists.
    TLogWriteResult WriteLogs(std::u16string_view logFolder, const TLogSettings& full,
                              const TLogSettings& error, TStrList* history);

private:
    TLogLines m_full;
    TLogLines m_error;
    bool m_fullOn = false;
    bool m_errorOn = false;
    // Where each list's heading stands; npos when the run has no header.
    std::size_t m_fullHeading = static_cast<std::size_t>(-1);
    std::size_t m_errorHeading = static_cast<std::size_t>(-1);
};

// ---- Files ----

// The log folder as used: trimmed, environment references expanded, with a
// trailing separator; empty when nothing is left.
std::u16string PrepareLogFolder(std::u16string_view logFolder);

// "VDX_full.log", or "VDX_full (<file-name stamp>).log" with createNew; the
// error log's names take "error" for "full".
std::u16string LogFileName(bool errorLog, bool createNew);

// Writes lines (UTF-8, each ended by CR LF, no byte-order mark) to path.
// With prepend, the bytes of an existing file follow them unchanged.
// Safe against every failure: the lines go to tempPath, which is flushed to
// disk and then renamed over path, so path always holds either its old
// content or the whole new content. An existing file that cannot be read
// is left alone and nothing is written. Missing folders of path are
// created. Returns 0 or the errno of the failure.
int WriteLinesToFile(std::u16string_view path, std::u16string_view tempPath, const TStrList& lines,
                     bool prepend);

// Puts path at the front of the log history, drops later entries equal to
// it (compared trimmed and exactly) and cuts the list to 400 entries.
void AddToLogHistory(TStrList& history, std::u16string_view path);
inline constexpr std::size_t kLogHistoryLimit = 400;

} // namespace vdx
