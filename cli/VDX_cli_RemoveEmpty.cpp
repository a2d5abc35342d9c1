#include "cli/VDX_cli_RemoveEmpty.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "cli/VDX_cli_Find.h"
#include "cli/VDX_cli_Interrupt.h"
#include "cli/VDX_cli_Options.h"
#include "cli/VDX_cli_Output.h"
#include "cli/VDX_cli_Settings.h"
#include "engine/VDX_unit_Helpers.h"
#include "operations/VDX_unit_RemoveEmpty.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"

namespace vdx::cli {

const char* const kRemoveEmptyUsage =
    "Usage: vardex-cli remove-empty [OPTIONS] DIR\n"
    "\n"
    "Removes the empty folders below DIR, deepest first, so that a folder whose\n"
    "sub-folders were all empty goes as well. Folders whose name begins with \".\"\n"
    "are kept unless --allow-hidden is given; DIR itself goes only with both\n"
    "--allow-hidden and --allow-system. Only empty folders are ever removed,\n"
    "symbolic links are never followed, and the walk stays on the file system of\n"
    "DIR (a mount point below it, a bind mount too, is kept). A folder that cannot\n"
    "be read is tried as empty: it goes only if it is.\n"
    "\n"
    "Options:\n"
    "  --no-subfolders   only look at the direct sub-folders of DIR\n"
    "  --allow-hidden    also remove hidden folders\n"
    "  --allow-system    allow DIR itself to be removed (with --allow-hidden)\n"
    "  --include SUB     only consider SUB and the folders below it (repeatable)\n"
    "  --exclude SUB     leave SUB and the folders below it alone (repeatable)\n"
    "                    SUB is a folder relative to DIR (\"a/b\" or \"/a/b\")\n"
    "  --no-log          do not put the report into the removed-folders log\n"
    "                    (QVDRemovedFolders.txt in the log folder)\n"
    "  --dry-run         list the folders that would be removed; nothing is touched\n"
    "  --yes             remove without asking (required when standard input is\n"
    "                    not a terminal)\n"
    "  --quiet           no statistics line on the terminal\n"
    "  --settings FILE   the settings file whose LogFolder is used\n"
    "  -h, --help        show this text\n"
    "\n"
    "Ctrl+C (or a closed terminal) aborts the walk; the report is still printed\n"
    "and logged.\n"
    "\n"
    "Exit status: 0 every folder found empty was removed (or a dry run), 1 some\n"
    "could not be removed, the run was aborted or not confirmed, 2 bad arguments,\n"
    "DIR is not a folder, or neither a terminal nor --yes confirmed.\n";

namespace {

int UsageError(const std::string& message) {
    std::fprintf(stderr, "vardex-cli remove-empty: %s\n\n%s", message.c_str(), kRemoveEmptyUsage);
    return kExitUsage;
}

// An --include or --exclude folder as the remover's lists hold it:
// "/a/b/*.*", relative to dir. false with error set for a folder outside dir.
bool MakeEntry(const std::string& arg, std::u16string_view dir, std::u16string& entry,
               std::string& error) {
    std::u16string sub = DecodeFileName(arg);
    while (!sub.empty() && sub.front() == u'/')
        sub.erase(sub.begin());
    const std::u16string full = NormalizePath(sub, dir);
    if (full == dir) {
        entry = u"/*.*";
        return true;
    }
    const std::u16string prefix = dir == u"/" ? std::u16string() : std::u16string(dir);
    if (full.size() <= prefix.size() + 1 || !full.starts_with(prefix) ||
        full[prefix.size()] != u'/') {
        error = "'" + arg + "' is not a folder below the folder to clean";
        return false;
    }
    // The trailing separator keeps "/a/b" from also naming "/a/bc".
    entry = full.substr(prefix.size()) + u"/*.*";
    return true;
}

// The statistics line on standard error, overwriting itself.
class TTerminalView : public TRemoveProgressView {
public:
    explicit TTerminalView(bool enabled) : m_enabled(enabled) {}
    void ShowMainFolder(std::u16string_view) override {}
    void ShowStatistics(const TRemoveStatistics& stats) override {
        if (!m_enabled)
            return;
        std::fprintf(stderr, "\r%s\033[K", ToUtf8(RemoveStatisticsText(stats)).c_str());
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

} // namespace

int RunRemoveEmpty(const std::vector<std::string>& args, const TGlobalOptions& global) {
    std::u16string cwd;
    const int cwdError = CurrentFolder(cwd);

    TRemoveOptions options;
    std::vector<std::string> includes;
    std::vector<std::string> excludes;
    std::string dirArg;
    bool dirGiven = false;
    bool quiet = false;
    bool dryRun = false;
    bool yes = false;
    std::string error;
    TArgReader reader(args);
    while (reader.Next()) {
        if (!reader.IsOption()) {
            if (dirGiven)
                return UsageError("only one folder may be given");
            dirArg = reader.Arg();
            dirGiven = true;
            continue;
        }
        const std::string& name = reader.Name();
        std::string value;
        bool ok = true;
        if (name == "-h" || name == "--help") {
            std::fputs(kRemoveEmptyUsage, stdout);
            return kExitOk;
        } else if (name == "--no-subfolders") {
            ok = reader.Flag(error);
            options.subFolders = false;
        } else if (name == "--allow-hidden") {
            ok = reader.Flag(error);
            options.allowHidden = true;
        } else if (name == "--allow-system") {
            ok = reader.Flag(error);
            options.allowSystem = true;
        } else if (name == "--no-log") {
            ok = reader.Flag(error);
            options.storeLog = false;
        } else if (name == "--dry-run") {
            ok = reader.Flag(error);
            dryRun = true;
        } else if (name == "--yes") {
            ok = reader.Flag(error);
            yes = true;
        } else if (name == "--quiet" || name == "-q") {
            ok = reader.Flag(error);
            quiet = true;
        } else if (name == "--include") {
            ok = reader.Value(value, error);
            includes.push_back(value);
        } else if (name == "--exclude") {
            ok = reader.Value(value, error);
            excludes.push_back(value);
        } else {
            error = "unknown option '" + reader.Arg() + "'";
            ok = false;
        }
        if (!ok)
            return UsageError(error);
    }
    if (!dirGiven || dirArg.empty())
        return UsageError("Please enter a main folder for scan.");
    if (!dirArg.starts_with("/") && cwdError != 0) {
        std::fprintf(stderr, "vardex-cli remove-empty: cannot read the current folder: %s\n",
                     ToUtf8(SystemErrorText(cwdError)).c_str());
        return kExitFailed;
    }
    // The shell has expanded what it should; a "$" in a folder name stays.
    const std::u16string dir = NormalizePath(DecodeFileName(dirArg), cwd);
    if (!FolderExists(dir)) {
        std::fprintf(stderr,
                     "vardex-cli remove-empty: The folder you typed does not exist:\n\n%s\n",
                     TerminalName(dir).c_str());
        return kExitUsage;
    }
    for (const std::string& sub : includes) {
        std::u16string entry;
        if (!MakeEntry(sub, dir, entry, error))
            return UsageError(error);
        options.includeList.push_back(TStrItem{entry});
    }
    for (const std::string& sub : excludes) {
        std::u16string entry;
        if (!MakeEntry(sub, dir, entry, error))
            return UsageError(error);
        options.excludeList.push_back(TStrItem{entry});
    }

    TSettings settings;
    const TSettingsSource source = LoadCliSettings(global, settings);
    if (source.error != 0) {
        std::fprintf(stderr, "vardex-cli remove-empty: cannot read the settings file '%s': %s\n",
                     TerminalName(source.path).c_str(),
                     ToUtf8(SystemErrorText(source.error)).c_str());
        return kExitFailed;
    }
    options.mainFolder = dir;
    TRemoveInputs inputs = MakeRemoveInputs(options, settings.LogFolder);
    // The folder as given, not expanded a second time.
    inputs.mainFolder = AddTrailingBackslash(dir);
    inputs.dryRun = dryRun;

    if (!dryRun && !yes) {
        if (::isatty(STDIN_FILENO) != 1) {
            std::fputs("vardex-cli remove-empty: standard input is not a terminal: add --yes to "
                       "confirm (or --dry-run to see what would go). No folder was touched.\n",
                       stderr);
            return kExitUsage;
        }
        if (!AskOnTerminal("Remove the empty folders below '" + TerminalName(inputs.mainFolder) +
                           "'?")) {
            std::fputs("vardex-cli remove-empty: not confirmed. No folder was touched.\n", stderr);
            return kExitFailed;
        }
    }

    TMessageQueue queue;
    TMutexCaller caller;
    TTerminalView view(!quiet && ::isatty(STDERR_FILENO) == 1);
    TRunRemoveThread remover;
    {
        TInterruptGuard interrupts;
        if (!remover.Start(inputs, &queue, &caller, &view, nullptr)) {
            std::fputs("vardex-cli remove-empty: the remover could not be started\n", stderr);
            return kExitFailed;
        }
        bool cancelled = false;
        for (;;) {
            if (!cancelled && TInterruptGuard::Interrupted()) {
                cancelled = true;
                remover.Terminate();
            }
            TPostedMessage message;
            if (queue.Take(message, 100) && message.code == kMsgRemoveEnded)
                break;
        }
        remover.Finished();
    }
    view.Clear();

    TOutBuffer out(STDOUT_FILENO);
    for (const TStrItem& line : remover.Report()) {
        out.PutShown(line.text);
        out.Put('\n');
    }
    out.Put(ToUtf8(RemoveStatisticsText(remover.Statistics())));
    out.Put('\n');
    if (dryRun) {
        out.Put("Dry run: no folder was removed.\n");
    } else if (remover.LogWritten()) {
        out.Put("Log file is stored in:\n");
        out.PutShown(inputs.logPath);
        out.Put('\n');
        // Into the settings' log history, where the log viewer finds it.
        std::u16string settingsPath;
        if (AddLogsToHistory(global, {inputs.logPath}, settingsPath) != 0)
            std::fprintf(stderr, "vardex-cli remove-empty: warning: the log history of the "
                                 "settings file was not updated\n");
    } else if (inputs.storeLog) {
        out.Put("Log file could not be stored: ");
        out.PutShown(inputs.logPath.empty() ? std::u16string(u"no log folder") : inputs.logPath);
        out.Put('\n');
    } else {
        out.Put("Log file is not stored\n");
    }
    (void)out.Flush(); // the removal's outcome, not the report, decides the exit status
    const TRemoveStatistics& stats = remover.Statistics();
    if (dryRun)
        return remover.Aborted() ? kExitFailed : kExitOk;
    return !remover.Aborted() && stats.removed == stats.foundEmpty ? kExitOk : kExitFailed;
}

} // namespace vdx::cli
