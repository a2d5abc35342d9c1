#include "cli/VDX_cli_Find.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/VDX_cli_Options.h"
#include "cli/VDX_cli_Output.h"
#include "cli/VDX_cli_Settings.h"
#include "engine/VDX_unit_ContentCompare.h"
#include "engine/VDX_unit_ErrorFile.h"
#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_SetCheck.h"
#include "engine/VDX_unit_SmartMark.h"
#include "engine/VDX_unit_Views.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Time.h"

namespace vdx::cli {

std::string TerminalText(std::u16string_view text) {
    // Only the message's own "\r\n" breaks the line; every other control
    // character (of a path quoted in it) is shown escaped.
    std::string result;
    for (;;) {
        const std::size_t br = text.find(u"\r\n");
        AppendTerminalName(text.substr(0, br), result);
        if (br == std::u16string_view::npos)
            return result;
        result.push_back('\n');
        text.remove_prefix(br + 2);
    }
}

namespace {

int UsageError(const TCommandInfo& cmd, const std::string& message) {
    std::fprintf(stderr, "vardex-cli %s: %s\n\n%s", cmd.name, message.c_str(), cmd.usage);
    return kExitUsage;
}

// The set the options name: one path per given folder, or a copy of a set
// of the settings file. Returns kExitOk, or the exit status after printing
// why there is no set.
int ResolveSearchSet(const TCommandInfo& cmd, const TSearchOptions& options,
                     const TGlobalOptions& global, TSearchSet& set) {
    if (!options.FromSettings()) {
        set = BuildSearchSet(options);
        return kExitOk;
    }
    TSettings settings;
    const TSettingsSource source = LoadCliSettings(global, settings);
    if (source.error != 0) {
        std::fprintf(stderr, "vardex-cli %s: cannot read the settings file '%s': %s\n", cmd.name,
                     TerminalName(source.path).c_str(),
                     ToUtf8(SystemErrorText(source.error)).c_str());
        return kExitFailed;
    }
    if (options.useCurrentSet) {
        set.Assign(settings.currentSet);
        if (set.Count() == 0) {
            std::fprintf(stderr, "vardex-cli %s: the current search set holds no path\n", cmd.name);
            return kExitUsage;
        }
        return kExitOk;
    }
    SortStoredSets(settings);
    const int index = FindStoredSet(settings, options.setName);
    if (index < 0) {
        std::fprintf(stderr, "vardex-cli %s: no stored search set is named '%s'\n%s", cmd.name,
                     TerminalName(options.setName).c_str(), StoredSetNames(settings).c_str());
        return kExitUsage;
    }
    set.Assign(*settings.storedSets[static_cast<std::size_t>(index)]);
    if (set.Count() == 0) {
        // Only a damaged file gives a stored set without a readable path.
        std::fprintf(stderr, "vardex-cli %s: the stored search set '%s' holds no path\n", cmd.name,
                     TerminalName(set.name).c_str());
        return kExitUsage;
    }
    return kExitOk;
}

// What the comparison has to do: the files, kilobytes and groups of the
// Same size view.
struct TCompareTotals {
    std::uint32_t files = 0;
    std::uint64_t kilobytes = 0;
    std::uint32_t groups = 0;
};

// The content window's two percentages: files in whole percent of the files
// to compare (by hundredths of the count from 10,000 files on, as the
// window counts), size in hundredths of the kilobytes to compare.
std::uint64_t FilesPercent(std::uint64_t done, std::uint64_t total) {
    if (total < 10000)
        return done * 100 / std::max<std::uint64_t>(total, 1);
    return done / (total / 100);
}
std::uint64_t SizePercent(std::uint64_t doneKb, std::uint64_t totalKb) {
    return doneKb / std::max<std::uint64_t>(totalKb / 100, 1);
}

std::string Grouped(std::uint64_t value) {
    return ToUtf8(FormatNumber(static_cast<std::int64_t>(value)));
}

// One self-overwriting line on standard error while the search or the
// comparison runs.
class TProgressLine {
public:
    explicit TProgressLine(bool enabled) : m_enabled(enabled) {}

    void Show(const TSearchSafeProgress& p) {
        if (!m_enabled)
            return;
        std::fprintf(stderr, "\r%s: %u folders, %u files",
                     ToUtf8(StageText(TProgressKind::Search, p.phase)).c_str(), p.foldersListed,
                     p.filesAdded);
        if (p.pathsNotFound > 0)
            std::fprintf(stderr, ", %u not found", p.pathsNotFound);
        std::fputs("\033[K", stderr);
        std::fflush(stderr);
        m_shown = true;
    }
    // "Compared files:" of totals "Files to compare:", with both percentages.
    void Show(const TContentSafeProgress& p, const TCompareTotals& totals) {
        if (!m_enabled)
            return;
        std::fprintf(stderr,
                     "\r%s: %s of %s files [%s of %s Kb] in %s of %s groups, files %d %%, "
                     "size %d %%",
                     ToUtf8(StageText(TProgressKind::Content, p.phase)).c_str(),
                     Grouped(p.filesCompared).c_str(), Grouped(totals.files).c_str(),
                     Grouped(p.kilobytesCompared).c_str(), Grouped(totals.kilobytes).c_str(),
                     Grouped(p.groupsCompared).c_str(), Grouped(totals.groups).c_str(),
                     static_cast<int>(FilesPercent(p.filesCompared, totals.files)),
                     static_cast<int>(SizePercent(p.kilobytesCompared, totals.kilobytes)));
        if (p.filesNotCompared > 0)
            std::fprintf(stderr, ", %s not compared", Grouped(p.filesNotCompared).c_str());
        std::fputs("\033[K", stderr);
        std::fflush(stderr);
        m_shown = true;
    }
    void Clear() {
        if (m_shown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
        }
        m_shown = false;
    }

private:
    bool m_enabled;
    bool m_shown = false;
};

// A search path lies in one of the protected folders (the same prefix test
// as the scan's): the scan lists it but enters none of its sub-folders.
bool LiesIn(std::u16string_view path, const std::vector<std::u16string>& folders) {
    for (const std::u16string& folder : folders)
        if (!folder.empty() && path.starts_with(folder))
            return true;
    return false;
}

// Says once per protection that it kept folders out of the search, and
// which option lifts it, so that a search path below /usr, say, does not
// just find nothing.
void ReportProtections(const TCommandInfo& cmd, const TScanData& store, const TSearchSet& set) {
    struct TProtection {
        bool on;
        std::uint32_t skipped;
        const std::vector<std::u16string>* folders; // null: hidden folders
        const char* what;
        const char* option;
    };
    const TProtectionSkips& skips = store.ProtectionSkips();
    const TProtection protections[] = {
        {store.m_protectSystemFolder, skips.system, &store.SystemFolders(),
         "the operating system's folders", "--no-protect-system"},
        {store.m_protectProgramFolder, skips.programs, &store.ProgramFolders(),
         "the folders of installed programs", "--no-protect-programs"},
        {store.m_protectHiddenFolders, skips.hidden, nullptr, "hidden folders",
         "--no-protect-hidden"},
    };
    for (const TProtection& p : protections) {
        if (!p.on)
            continue;
        std::string inside;
        for (std::size_t i = 0; i < set.Count() && p.folders != nullptr && inside.empty(); ++i) {
            const std::u16string path = ExpandEnvVars(set.Path(i)->SearchPath);
            if (LiesIn(path, *p.folders))
                inside = TerminalName(path);
        }
        if (!inside.empty())
            std::fprintf(stderr,
                         "vardex-cli %s: '%s' lies in %s: only the files directly in it are "
                         "taken, %s folders below it were skipped; %s enters them\n",
                         cmd.name, inside.c_str(), p.what, Grouped(p.skipped).c_str(), p.option);
        else if (p.skipped > 0)
            std::fprintf(stderr, "vardex-cli %s: %s %s skipped as %s; %s enters them\n", cmd.name,
                         Grouped(p.skipped).c_str(), p.skipped == 1 ? "folder was" : "folders were",
                         p.what, p.option);
    }
}

// Names the first files the comparison could not read, with the reason, so
// that none of them passes for a unique file without a word.
void ReportUncompared(const TCommandInfo& cmd, const TScanData& store) {
    constexpr std::size_t kShown = 5;
    const std::vector<TUncomparedFile>& files = store.UncomparedFiles();
    if (files.empty())
        return;
    // The command line opens the error file only when there is something
    // to write, so that a clean run leaves no folder behind; the worker had
    // none to write to, so the entries go in now.
    if (ErrorFilePath().empty() && !OpenErrorFile().empty())
        for (const TUncomparedFile& file : files)
            AddErrorEntry(UncomparedEntryText(file));
    std::fprintf(stderr, "vardex-cli %s: %s %s could not be compared:\n", cmd.name,
                 Grouped(files.size()).c_str(), files.size() == 1 ? "file" : "files");
    for (std::size_t i = 0; i < files.size() && i < kShown; ++i)
        std::fprintf(stderr, "  %s: %s\n", TerminalName(files[i].m_path).c_str(),
                     ToUtf8(SystemErrorText(files[i].m_error)).c_str());
    if (files.size() > kShown) {
        const std::u16string errorFile = ErrorFilePath();
        std::fprintf(stderr, "  and %s more%s%s%s\n", Grouped(files.size() - kShown).c_str(),
                     errorFile.empty() ? "" : " (all are in the error file ",
                     TerminalName(errorFile).c_str(), errorFile.empty() ? "" : ")");
    }
}

// Runs the content comparison of the finished search, showing its progress.
// false when it could not start or did not complete.
bool RunComparison(const TCommandInfo& cmd, TSearchRun& run, TMessageQueue& queue,
                   TMutexCaller& caller, TProgressLine& progress) {
    const TScanData& store = run.Store();
    const TViewFigures sizeFigures = ViewFigures(store, kViewSameSize);
    TCompareTotals totals;
    totals.files = sizeFigures.m_groupFiles;
    totals.kilobytes = sizeFigures.m_groupBytes / 1024;
    totals.groups = sizeFigures.m_groups;
    if (!run.StartContentCompare(&queue, &caller)) {
        std::fprintf(stderr, "vardex-cli %s: the content comparison could not be started\n",
                     cmd.name);
        return false;
    }
    for (;;) {
        TPostedMessage message;
        if (!queue.Take(message, 500))
            continue;
        if (message.code == kMsgContentProgress) {
            TContentSafeProgress snapshot;
            {
                auto lock = caller.Lock();
                snapshot = run.ContentProgress();
            }
            progress.Show(snapshot, totals);
        } else if (message.code == kMsgContentWorkerEnded) {
            break;
        }
    }
    run.ContentFinished();
    progress.Clear();
    if (!store.Status().m_contentDone) {
        std::fprintf(stderr, "vardex-cli %s: the content comparison did not complete\n", cmd.name);
        return false;
    }
    ReportUncompared(cmd, store);
    return true;
}

// The folder path (as stored, ending in "/") lies in dir or below it, by
// whole components.
bool InKeepDir(std::u16string_view folderPath, std::u16string_view dir) {
    if (dir == u"/")
        return true;
    return folderPath.size() > dir.size() && folderPath.starts_with(dir) &&
           folderPath[dir.size()] == u'/';
}

// Puts the folders of the view below the --keep folders into To Keep and
// the rest into To Clean, then marks the view. Names each --keep folder
// that holds no folder of the view. false when the area list could not be
// made.
bool ApplySmartMarking(const TCommandInfo& cmd, TScanData& store, TViewKind view,
                       const TMarkOptions& options) {
    TSmartAreas areas(store);
    if (const int rc = areas.BuildAreas(view); rc != 0) {
        std::fprintf(stderr, "vardex-cli %s: smart marking failed: %s\n", cmd.name,
                     ToUtf8(SystemErrorText(rc)).c_str());
        return false;
    }
    std::vector<bool> used(options.keepDirs.size(), false);
    for (std::uint32_t row = 0; row < areas.Count(); ++row) {
        const std::u16string_view path = areas.FolderPath(row);
        bool keep = false;
        for (std::size_t k = 0; k < options.keepDirs.size(); ++k) {
            if (InKeepDir(path, options.keepDirs[k])) {
                keep = true;
                used[k] = true;
            }
        }
        if (keep)
            areas.ToggleCheck(row);
    }
    areas.MoveChecked(kAreaKeep);
    areas.ApplyAreas();
    for (std::size_t k = 0; k < options.keepDirs.size(); ++k)
        if (!used[k])
            std::fprintf(stderr,
                         "vardex-cli %s: warning: --keep '%s' holds no folder of the "
                         "view\n",
                         cmd.name, TerminalName(options.keepDirs[k]).c_str());
    SmartMark(store, view, options.smart);
    return true;
}

} // namespace

int CurrentFolder(std::u16string& cwd) {
    std::string resolved;
    const int rc = Fs().RealPath(".", resolved);
    cwd = rc == 0 ? DecodeFileName(resolved) : std::u16string(u"/");
    return rc;
}

int SearchAndMark(const TCommandInfo& cmd, const TFindOptions& options,
                  const TGlobalOptions& global, TSearchRun& run, TFindSummary& summary) {
    TSearchSet set;
    if (const int status = ResolveSearchSet(cmd, options.search, global, set); status != kExitOk)
        return status;
    const TSetCheckResult check = CheckSearchSet(set);
    if (!check.ok)
        return UsageError(cmd, TerminalText(check.title) + "\n" + TerminalText(check.message));

    TMessageQueue queue;
    TMutexCaller caller;
    TProgressLine progress(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    const std::uint64_t startTick = TickCountMs();
    if (!run.StartSearch(set, &queue, &caller, options.protectHidden, options.protectPrograms,
                         options.protectSystem)) {
        std::fprintf(stderr, "vardex-cli %s: the search could not be started\n", cmd.name);
        return kExitFailed;
    }
    for (;;) {
        TPostedMessage message;
        if (!queue.Take(message, 500))
            continue;
        if (message.code == kMsgSearchProgress) {
            TSearchSafeProgress snapshot;
            {
                auto lock = caller.Lock();
                snapshot = run.SearchProgress();
            }
            progress.Show(snapshot);
        } else if (message.code == kMsgSearchWorkerEnded) {
            break;
        }
    }
    run.SearchFinished();
    progress.Clear();

    TSearchSafeProgress final;
    {
        auto lock = caller.Lock();
        final = run.SearchProgress();
    }
    TScanData& store = run.Store();
    if (!store.Status().m_searchDone) {
        std::fprintf(stderr, "vardex-cli %s: the search did not complete\n", cmd.name);
        return kExitFailed;
    }

    if (final.pathsNotFound > 0) {
        // Paths of a stored set may hold environment references.
        for (std::size_t i = 0; i < set.Count(); ++i)
            if (!FolderExists(set.Path(i)->pathsFinal ? set.Path(i)->SearchPath
                                                      : ExpandEnvVars(set.Path(i)->SearchPath)))
                std::fprintf(stderr, "vardex-cli %s: warning: '%s' is not a folder\n", cmd.name,
                             TerminalName(set.Path(i)->SearchPath).c_str());
        if (final.pathsNotFound >= set.Count()) {
            std::fprintf(stderr, "vardex-cli %s: none of the given paths is a folder\n", cmd.name);
            return kExitFailed;
        }
    }

    ReportProtections(cmd, store, set);

    if (options.compare && !RunComparison(cmd, run, queue, caller, progress))
        return kExitFailed;

    // Marks are chosen on the grouping's name order, so that the file a rule
    // keeps among equals does not depend on the order asked for the output.
    if (options.mark.smartMark && !ApplySmartMarking(cmd, store, options.view, options.mark))
        return kExitFailed;

    summary = TFindSummary{};
    summary.filesScanned = store.FilesFoundSum();
    summary.filesTaken = store.FileCount();
    summary.foldersListed = final.foldersListed;
    summary.pathsNotFound = final.pathsNotFound;
    summary.filesNotCompared = store.UncomparedFiles().size();
    summary.foldersProtected = store.ProtectionSkips().Total();
    summary.durationMs = TickCountMs() - startTick;
    summary.marksShown = options.mark.smartMark;
    return kExitOk;
}

int RunFind(const std::vector<std::string>& args, const TGlobalOptions& global) {
    const TCommandInfo cmd{"find", kFindUsage};
    // The current folder matters only for relative paths; when it cannot be
    // read, absolute paths still work.
    std::u16string cwd;
    int cwdError = CurrentFolder(cwd);

    TFindOptions options;
    std::string error;
    if (!ParseFindOptions(args, cwd, options, error))
        return UsageError(cmd, error);
    if (options.help) {
        std::fputs(kFindUsage, stdout);
        return kExitOk;
    }
    if ((options.search.relativeGiven || options.mark.relativeGiven) && cwdError != 0) {
        std::fprintf(stderr, "vardex-cli find: cannot read the current folder: %s\n",
                     ToUtf8(SystemErrorText(cwdError)).c_str());
        return kExitFailed;
    }

    TSearchRun run;
    TFindSummary summary;
    if (const int status = SearchAndMark(cmd, options, global, run, summary); status != kExitOk)
        return status;
    TScanData& store = run.Store();
    if (options.sortKey != kRowKeyName || !options.sortAscending)
        SortRows(store, options.view, options.sortKey, options.sortAscending);

    TOutBuffer out(STDOUT_FILENO);
    switch (options.format) {
    case TOutputFormat::Json:
        WriteJsonView(out, store, options.view, summary);
        break;
    case TOutputFormat::Csv:
        WriteCsvView(out, store, options.view, summary, options.csvSummary, options.csvGroups);
        break;
    case TOutputFormat::Text:
        WriteTextView(out, store, options.view, summary);
        break;
    }
    if (const int rc = out.Flush(); rc != 0) {
        std::fprintf(stderr, "vardex-cli find: cannot write the output: %s\n",
                     ToUtf8(SystemErrorText(rc)).c_str());
        return kExitFailed;
    }
    // The view is complete for the files that were read; the status tells
    // a script that some were not.
    return summary.filesNotCompared > 0 ? kExitFailed : kExitOk;
}

} // namespace vdx::cli
