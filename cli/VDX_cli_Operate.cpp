#include "cli/VDX_cli_Operate.h"

#include <algorithm>
#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "cli/VDX_cli_Find.h"
#include "cli/VDX_cli_Interrupt.h"
#include "cli/VDX_cli_Options.h"
#include "cli/VDX_cli_Output.h"
#include "cli/VDX_cli_Settings.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "operations/VDX_unit_OperationRun.h"
#include "operations/VDX_unit_SafetyAnalysis.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Time.h"

namespace vdx::cli {

#define VDX_OPERATE_SEARCH_USAGE                                                                   \
    "The search, --compare, --view, the smart marking options (--keep, --rules ...)\n"             \
    "and the filters are those of find (see vardex-cli find --help); at least\n"                   \
    "one smart marking option must be given, and the marked files of the view\n"                   \
    "form the list of files to act on.\n"                                                          \
    "\n"                                                                                           \
    "The default is --compare --view content: only files of the same content.\n"                   \
    "Any other view must be named with --view (content and clones need\n"                          \
    "--compare), and the plan then says that its files are not known to be\n"                      \
    "identical.\n"                                                                                 \
    "\n"                                                                                           \
    "Before anything is touched the plan is printed: the files, grouped by\n"                      \
    "volume"

#define VDX_OPERATE_RUN_USAGE                                                                      \
    "  --dry-run             print the plan and stop; nothing is touched\n"                        \
    "  --yes                 confirm without asking (required when standard input\n"               \
    "                        is not a terminal)\n"                                                 \
    "  --quiet               no progress line on the terminal\n"                                   \
    "  --settings FILE       the settings file whose log settings are used\n"                      \
    "  -h, --help            show this text\n"                                                     \
    "\n"                                                                                           \
    "Ctrl+C during the run aborts it after the current file; the logs are still\n"                 \
    "written. The full and error logs follow the log settings (LogFolder and\n"                    \
    "the LogFull_ and LogError_ keys of the settings file).\n"                                     \
    "\n"                                                                                           \
    "Exit status: 0 every file succeeded (or a dry run), 1 some file failed, the\n"                \
    "run was aborted, refused or not confirmed, or the search failed, 2 bad\n"                     \
    "arguments.\n"

const char* const kDeleteUsage =
    "Usage: vardex-cli delete [OPTIONS] PATH... | --set NAME | --current-set\n"
    "\n"
    "Deletes the marked files of a view: into the trash, or directly.\n"
    "\n" VDX_OPERATE_SEARCH_USAGE ", with the trash verdict of each volume.\n"
    "\n"
    "Options:\n"
    "  --directly            delete directly instead of moving the files into the\n"
    "                        trash (unrecoverable)\n"
    "  --allow-whole-groups  also delete when every file of a group is marked, so\n"
    "                        that no copy of it would remain (refused otherwise)\n"
    "\n"
    "With --yes, files on a volume without a usable trash stay where they are\n"
    "unless --directly is given; confirming on a terminal after the plan named\n"
    "those volumes deletes them permanently.\n" VDX_OPERATE_RUN_USAGE;

const char* const kCopyUsage =
    "Usage: vardex-cli copy --dest DIR [OPTIONS] PATH... | --set NAME | --current-set\n"
    "\n"
    "Copies the marked files of a view below DIR, each under its own folder path\n"
    "(/data/a/x.txt goes to DIR/data/a/x.txt).\n"
    "\n" VDX_OPERATE_SEARCH_USAGE ".\n"
    "\n"
    "Options:\n"
    "  --dest DIR            the destination folder (created when missing); as\n"
    "                        written when it exists, else with its %NAME%\n"
    "                        references expanded\n"
    "  --collision RULE      when the destination file exists: skip (default),\n"
    "                        autorename or overwrite\n" VDX_OPERATE_RUN_USAGE;

const char* const kMoveUsage =
    "Usage: vardex-cli move --dest DIR [OPTIONS] PATH... | --set NAME | --current-set\n"
    "\n"
    "Moves the marked files of a view below DIR, each under its own folder path\n"
    "(/data/a/x.txt goes to DIR/data/a/x.txt); a source is removed only after\n"
    "its copy is complete, and only while a file of its group stays behind.\n"
    "\n" VDX_OPERATE_SEARCH_USAGE ".\n"
    "\n"
    "Options:\n"
    "  --dest DIR            the destination folder (created when missing); as\n"
    "                        written when it exists, else with its %NAME%\n"
    "                        references expanded\n"
    "  --collision RULE      when the destination file exists: skip (default),\n"
    "                        autorename or overwrite\n"
    "  --allow-whole-groups  also move a file when no other file of its group\n"
    "                        stays in place (refused otherwise)\n" VDX_OPERATE_RUN_USAGE;

namespace {

// The options of the three commands besides those of find.
struct TOperateOptions {
    bool dryRun = false;
    bool yes = false;
    bool allowWholeGroups = false;
    bool directly = false;
    bool destGiven = false;
    std::string dest;
    bool collisionGiven = false;
    TCollisionRule rule = TCollisionRule::Skip;
};

const char* CommandName(TOperationKind kind) {
    switch (kind) {
    case TOperationKind::Delete:
        return "delete";
    case TOperationKind::Copy:
        return "copy";
    case TOperationKind::Move:
        return "move";
    }
    return "delete";
}

const char* UsageOf(TOperationKind kind) {
    switch (kind) {
    case TOperationKind::Delete:
        return kDeleteUsage;
    case TOperationKind::Copy:
        return kCopyUsage;
    case TOperationKind::Move:
        return kMoveUsage;
    }
    return kDeleteUsage;
}

std::string Grouped(std::uint64_t value) {
    return ToUtf8(FormatNumber(static_cast<std::int64_t>(value)));
}

// A path or volume text for the plan and messages: control characters and
// raw bytes escaped, so that a name can neither rewrite nor add plan lines.
std::string Path8(std::u16string_view path) {
    return TerminalName(path);
}

// Takes this command's own options out of args (up to a "--"); the rest goes
// to the find parser. A value that merely looks like one of these options
// (after --include, say) is taken as the option; such values are not
// expected.
bool ExtractOperateOptions(TOperationKind kind, const std::vector<std::string>& args,
                           TOperateOptions& out, std::vector<std::string>& rest,
                           std::string& error) {
    const bool transfer = kind != TOperationKind::Delete;
    bool ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (ended || !arg.starts_with("--")) {
            rest.push_back(arg);
            continue;
        }
        if (arg == "--") {
            ended = true;
            rest.push_back(arg);
            continue;
        }
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool inlineValue = eq != std::string::npos;
        auto flag = [&](bool& target) {
            if (inlineValue) {
                error = "option " + name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto value = [&](std::string& target) {
            if (inlineValue) {
                target = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                target = args[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
            return true;
        };
        bool ok = true;
        if (name == "--dry-run") {
            ok = flag(out.dryRun);
        } else if (name == "--yes") {
            ok = flag(out.yes);
        } else if (name == "--allow-whole-groups" || name == "--directly") {
            // A move can take the last copy of a group away too.
            if (transfer && (name == "--directly" || kind == TOperationKind::Copy)) {
                error = "option " + name + " applies to delete" +
                        (name == "--directly" ? " only" : " and move only");
                return false;
            }
            ok = flag(name == "--directly" ? out.directly : out.allowWholeGroups);
        } else if (name == "--dest" || name == "--collision") {
            if (!transfer) {
                error = "option " + name + " applies to copy and move only";
                return false;
            }
            if (name == "--dest") {
                ok = value(out.dest);
                out.destGiven = true;
            } else {
                std::string rule;
                ok = value(rule);
                out.collisionGiven = true;
                if (ok && rule == "skip") {
                    out.rule = TCollisionRule::Skip;
                } else if (ok && rule == "autorename") {
                    out.rule = TCollisionRule::AutoRename;
                } else if (ok && rule == "overwrite") {
                    out.rule = TCollisionRule::Overwrite;
                } else if (ok) {
                    error =
                        "unknown collision rule '" + rule + "' (use skip, autorename or overwrite)";
                    return false;
                }
            }
        } else {
            rest.push_back(arg);
        }
        if (!ok)
            return false;
    }
    return true;
}

int UsageError(TOperationKind kind, const std::string& message) {
    std::fprintf(stderr, "vardex-cli %s: %s\n\n%s", CommandName(kind), message.c_str(),
                 UsageOf(kind));
    return kExitUsage;
}

const char* RuleText(TCollisionRule rule) {
    switch (rule) {
    case TCollisionRule::Skip:
        return "Skip";
    case TCollisionRule::AutoRename:
        return "Autorename";
    case TCollisionRule::Overwrite:
        return "Overwrite";
    }
    return "Skip";
}

// True for the views whose files are known to have the same content.
bool ViewIsIdentical(TViewKind view) {
    const TViewKind kind = NormalizeViewKind(view);
    // Zero-size files are all empty, and so identical too.
    return kind == kViewSameContent || kind == kViewFullClones || kind == kViewZeroSize;
}

// The plan: the search as it runs (paths with their references expanded),
// then the list's files grouped by volume in the order of the safety
// analysis's items (sorted by root), each group under its volume's lines;
// for a deletion with the volume's verdict and advice. Files whose volume is
// not known come last.
void PrintPlan(TOperationKind kind, TOperationRun& op, TSearchRun& run,
               const TSafetyAnalysis& analysis, const TFindOptions& options,
               const std::u16string& destination, TCollisionRule rule, TOutBuffer& out) {
    const TOperationList& list = op.List();
    const TScanData& store = run.Store();
    const TScanDrivesData& drives = run.Drives();
    const std::string view = ToUtf8(ViewCaption(list.View()));
    const char* verb = kind == TOperationKind::Delete ? "Delete"
                       : kind == TOperationKind::Copy ? "Copy"
                                                      : "Move";
    for (std::size_t i = 0; i < run.SearchSetCopy().Count(); ++i) {
        const TSearchData& path = *run.SearchSetCopy().Item(i);
        out.Put("Search path: " + Path8(path.SearchPath) + "\n");
        for (const TStrItem& dir : path.PathProcessor().Items())
            out.Put("  excluded folder: " + Path8(dir.text) + "\n");
    }
    for (const std::u16string& dir : options.mark.keepDirs)
        out.Put("Folder to keep: " + Path8(dir) + "\n");
    out.Put(std::string(verb) + " files from view '" + view + "': " + Grouped(list.Count()) +
            " file(s), total size " + Grouped(list.TotalBytes()) + " bytes\n");
    if (!ViewIsIdentical(list.View()))
        out.Put("Note: the files of the view '" + view + "' are not known to be identical.\n");
    if (kind == TOperationKind::Delete) {
        out.Put(op.DeleteDirectly() ? "Mode: delete directly (unrecoverable)\n"
                                    : "Mode: move into the trash\n");
    } else {
        out.Put("Destination folder: " + Path8(destination) + "\n");
        out.Put(std::string("When destination file exists: ") + RuleText(rule) + "\n");
    }

    // The item of each volume record; a record without selected files has none.
    std::vector<int> itemOfVolume(drives.Count(), -1);
    for (std::size_t i = 0; i < analysis.ItemCount(); ++i)
        if (analysis.Item(i).volume < itemOfVolume.size())
            itemOfVolume[analysis.Item(i).volume] = static_cast<int>(i);
    auto itemOf = [&](std::int32_t file) {
        const std::size_t volume = store.FileVolume(static_cast<std::uint32_t>(file));
        return volume < itemOfVolume.size() ? itemOfVolume[volume] : -1;
    };
    auto printFiles = [&](int item) {
        for (std::int32_t row = 0; row < list.Count(); ++row) {
            const std::int32_t file = list.FileOf(row);
            if (file < 0 || itemOf(file) != item)
                continue;
            std::u16string path = AddTrailingBackslash(list.FolderPath(row));
            path += list.Name(row);
            out.Put("    " + Path8(path) + " (" +
                    Grouped(static_cast<std::uint64_t>(list.Size(row))) + " bytes)\n");
        }
    };
    for (std::size_t i = 0; i < analysis.ItemCount(); ++i) {
        const TOutputItem& item = analysis.Item(i);
        out.Put("\n" + Path8(item.title) + Path8(item.details) + "\n");
        if (kind == TOperationKind::Delete) {
            out.Put("  " + ToUtf8(item.selection) + "\n");
            out.Put(std::string("  ") + (item.alert ? "ALERT: " : "") + ToUtf8(item.verdict) +
                    "\n");
            if (!item.advice.empty())
                out.Put("  " + ToUtf8(item.advice) + "\n");
        } else if (item.volume < drives.Count()) {
            const TScanDrivesItem& record = drives.Item(item.volume);
            out.Put("  " + Grouped(static_cast<std::uint64_t>(record.selectedFiles)) +
                    " files (total " + Grouped(record.selectedBytes) + " bytes)\n");
        }
        printFiles(static_cast<int>(i));
    }
    bool unknown = false;
    for (std::int32_t row = 0; row < list.Count() && !unknown; ++row)
        unknown = list.FileOf(row) >= 0 && itemOf(list.FileOf(row)) < 0;
    if (unknown) {
        out.Put("\nFiles on no known volume\n");
        // More mounts than the volume table holds: no verdict was made, so
        // none of these files may go for good.
        if (kind == TOperationKind::Delete)
            out.Put(op.DeleteDirectly()
                        ? "  ALERT: No verdict is known for these files. They will not be "
                          "deleted.\n"
                        : "  ALERT: No verdict is known for these files. They go into the trash "
                          "where their volume has one, and stay where they are otherwise.\n");
        printFiles(-1);
    }
}

// The files a run would refuse as things stand, with why; nothing when every
// file is still the one the search found.
void PrintRefused(const TOperationList& list, const std::vector<TRefusedFile>& refused,
                  TOutBuffer& out) {
    if (refused.empty())
        return;
    out.Put("\nFiles a run would refuse now (changed or gone since the search): " +
            Grouped(refused.size()) + " file(s)\n");
    for (const TRefusedFile& file : refused) {
        std::u16string path = AddTrailingBackslash(list.FolderPath(file.row));
        path += list.Name(file.row);
        const std::string why = file.code == ENOENT ? std::string("gone since the search")
                                                    : ToUtf8(SystemErrorText(file.code));
        out.Put("    " + Path8(path) + " (" + why + ")\n");
    }
}

// The confirmation's summary of the plan: one line per volume with its
// verdict, under the caption of the confirmation window.
std::string VolumeVerdicts(const TSafetyAnalysis& analysis) {
    std::string text = analysis.ItemCount() == 1
                           ? " List contains a drive from which you delete files \n"
                           : " List contains " + Grouped(analysis.ItemCount()) +
                                 " drives from which you delete files \n";
    for (std::size_t i = 0; i < analysis.ItemCount(); ++i) {
        const TOutputItem& item = analysis.Item(i);
        text += "  " + Path8(item.title) + ": " + (item.alert ? "ALERT: " : "") +
                ToUtf8(item.verdict) + "\n";
    }
    return text;
}

// The safety alert's figures and texts, then the files of the groups that
// would lose every copy, group by group.
void PrintAlert(const TAlertList& alerts, TOutBuffer& out) {
    out.Put("\nSecurity alert\n");
    out.Put("In " + Grouped(static_cast<std::uint64_t>(alerts.FullyListedGroups())) + " of " +
            Grouped(static_cast<std::uint64_t>(alerts.GroupsInList())) +
            " groups of duplicates you are going to delete ALL files (total " +
            Grouped(static_cast<std::uint64_t>(alerts.Count())) + " files).\n");
    out.Put("ALERT: You are going to delete ALL files from several groups.This means that you "
            "delete duplicate files along with an unique file which you consider as "
            "\"original\" and want to keep it. If you are not sure, just click the button "
            "<Cancel>.\n");
    out.Put("List of alerted files: " + Grouped(static_cast<std::uint64_t>(alerts.Count())) +
            " file(s), total size " + Grouped(alerts.TotalBytes()) + " bytes\n");
    for (std::int32_t row = 0; row < alerts.Count(); ++row) {
        std::u16string path = AddTrailingBackslash(alerts.FolderPath(row));
        path += alerts.Name(row);
        out.Put("    group " + Grouped(static_cast<std::uint64_t>(alerts.GroupNumber(row))) + ": " +
                Path8(path) + "\n");
    }
}

// Local date-time spans (days) as the progress windows show them.
std::string Elapsed(double start, double now) {
    return ToUtf8(
        FormatDuration(kDurHours | kDurMinutes | kDurSeconds, std::max(0.0, now - start)));
}

std::uint64_t DeletePercent(std::uint64_t processed, std::uint64_t total) {
    if (total < 10000)
        return processed * 100 / std::max<std::uint64_t>(total, 1);
    return processed / (total / 100);
}

// One self-overwriting line on standard error while the operation runs.
class TOperationProgress {
public:
    TOperationProgress(bool enabled, TOperationKind kind, std::uint64_t files, std::uint64_t bytes)
        : m_enabled(enabled), m_kind(kind), m_files(files), m_kilobytes(bytes / 1024) {}

    void Show(const TDeleteSafeProgress& p) {
        if (!m_enabled)
            return;
        const std::string stage = ToUtf8(StageText(TProgressKind::Delete, p.phase));
        std::fprintf(stderr, "\r%s: %s [%s Kb] of %s [%s Kb], %d %%, elapsed %s", stage.c_str(),
                     Grouped(p.processed).c_str(), Grouped(p.kilobytes).c_str(),
                     Grouped(m_files).c_str(), Grouped(m_kilobytes).c_str(),
                     static_cast<int>(DeletePercent(p.processed, m_files)),
                     Elapsed(p.start, p.now).c_str());
        End();
    }

    void Show(const TCopySafeProgress& p) {
        if (!m_enabled)
            return;
        const bool move = m_kind == TOperationKind::Move;
        const std::string stage =
            ToUtf8(StageText(move ? TProgressKind::Move : TProgressKind::Copy, p.phase));
        const std::uint64_t percent = p.kilobytes / std::max<std::uint64_t>(m_kilobytes / 100, 1);
        std::fprintf(stderr, "\r%s: %s [%s Kb] of %s [%s Kb], %s errors: %s, %d %%, elapsed %s",
                     stage.c_str(), Grouped(p.processed).c_str(), Grouped(p.kilobytes).c_str(),
                     Grouped(m_files).c_str(), Grouped(m_kilobytes).c_str(), move ? "move" : "copy",
                     Grouped(p.failed).c_str(), static_cast<int>(percent),
                     Elapsed(p.start, p.now).c_str());
        // The estimate is refreshed at most every 800 ms; the time paused is
        // left out of the rate.
        const std::uint64_t tick = TickCountMs();
        if (m_remaining.empty() || tick - m_remainingTick >= 800) {
            m_remainingTick = tick;
            const double msPerDay = 86400000.0;
            const double working = std::max(1.0, (p.now - p.start - p.pausedTotal) * msPerDay);
            const double rate = p.kilobytes / working; // Kb per millisecond
            const double totalMs = static_cast<double>(m_kilobytes) / std::max(rate, 1.0);
            const double leftMs = std::max(0.0, totalMs - (p.now - p.start) * msPerDay);
            m_remaining =
                ToUtf8(FormatDuration(kDurHours | kDurMinutes | kDurSeconds, leftMs / msPerDay)) +
                " (" + Grouped(static_cast<std::uint64_t>(rate * 1000 + 0.5)) + " Kb/sec)";
        }
        std::fprintf(stderr, ", remaining %s", m_remaining.c_str());
        End();
    }

    void Clear() {
        if (m_shown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
        }
        m_shown = false;
    }

private:
    void End() {
        std::fputs("\033[K", stderr);
        std::fflush(stderr);
        m_shown = true;
    }

    bool m_enabled;
    TOperationKind m_kind;
    std::uint64_t m_files;
    std::uint64_t m_kilobytes;
    bool m_shown = false;
    std::string m_remaining;
    std::uint64_t m_remainingTick = 0;
};

// Waits for the worker's end, showing its progress and turning an interrupt
// into the cancel request. Returns whether the user interrupted.
template <typename TSnapshot, typename TRead, typename TCancel>
bool WaitForWorker(TMessageQueue& queue, TMutexCaller& caller, std::uint32_t progressCode,
                   std::uint32_t endedCode, TRead read, TCancel cancel,
                   TOperationProgress& progress) {
    bool cancelled = false;
    for (;;) {
        if (!cancelled && TInterruptGuard::Interrupted()) {
            cancelled = true;
            cancel();
        }
        TPostedMessage message;
        if (!queue.Take(message, 100))
            continue;
        if (message.code == progressCode) {
            TSnapshot snapshot;
            {
                auto lock = caller.Lock();
                snapshot = read();
            }
            progress.Show(snapshot);
        } else if (message.code == endedCode) {
            break;
        }
    }
    progress.Clear();
    return cancelled;
}

// A step's result when the command goes on to the next step; any other value
// is the command's exit status.
constexpr int kGoOn = -1;

// What the command was asked to do, once its arguments and settings are read.
struct TOperateRequest {
    TOperationKind kind = TOperationKind::Delete;
    TCommandInfo cmd{};
    TOperateOptions op;
    TFindOptions options;
    std::u16string destination; // copy and move: resolved, with a trailing "/"
    TSettings settings;
};

// What the plan put on the screen, which the confirmation holds to.
struct TPlanShown {
    // Every file of some group is marked and --allow-whole-groups was not
    // given: a real run is refused.
    bool wholeGroupsRefused = false;
    // Volumes whose verdict, now on the screen, says their files go for
    // good: the only ones where the deletion may remove a file permanently,
    // once the user confirmed after seeing them.
    std::bitset<kMaxVolumes> shownPermanent;
};

// Reads the command's arguments and the log settings; nothing is searched
// or touched yet.
int ParseOperate(TOperationKind kind, const std::vector<std::string>& args,
                 const TGlobalOptions& global, TOperateRequest& req) {
    req.kind = kind;
    req.cmd = TCommandInfo{CommandName(kind), UsageOf(kind)};
    TOperateOptions& op = req.op;
    TFindOptions& options = req.options;
    std::u16string cwd;
    const int cwdError = CurrentFolder(cwd);

    std::vector<std::string> rest;
    std::string error;
    if (!ExtractOperateOptions(kind, args, op, rest, error))
        return UsageError(kind, error);
    if (!ParseFindOptions(rest, cwd, options, error))
        return UsageError(kind, error);
    if (options.help) {
        std::fputs(UsageOf(kind), stdout);
        return kExitOk;
    }
    if (options.format != TOutputFormat::Text)
        return UsageError(kind, "option --format applies to find only");
    // Only files of the same content are duplicates for sure; any looser
    // view has to be asked for by name.
    if (!options.viewGiven) {
        options.view = kViewSameContent;
        options.compare = true;
    }
    if (!options.mark.smartMark)
        return UsageError(kind, "no file is marked without smart marking: give --keep DIR or "
                                "another smart marking option");
    if (kind != TOperationKind::Delete &&
        (!op.destGiven || TrimText(DecodeFileName(op.dest)).empty()))
        return UsageError(kind, "You should define destination path (--dest DIR)");
    const bool relative = options.search.relativeGiven || options.mark.relativeGiven ||
                          (op.destGiven && !op.dest.starts_with("/"));
    if (relative && cwdError != 0) {
        std::fprintf(stderr, "vardex-cli %s: cannot read the current folder: %s\n", req.cmd.name,
                     ToUtf8(SystemErrorText(cwdError)).c_str());
        return kExitFailed;
    }
    if (op.destGiven) {
        if (!ResolveGivenPath("the folder of --dest", TrimText(DecodeFileName(op.dest)), cwd, true,
                              req.destination, error))
            return UsageError(kind, error);
        req.destination = AddTrailingBackslash(req.destination);
    }

    // The log settings are needed before anything runs: a settings file that
    // cannot be read stops the command while nothing is touched yet.
    const TSettingsSource source = LoadCliSettings(global, req.settings);
    if (source.error != 0) {
        std::fprintf(stderr, "vardex-cli %s: cannot read the settings file '%s': %s\n",
                     req.cmd.name, Path8(source.path).c_str(),
                     ToUtf8(SystemErrorText(source.error)).c_str());
        return kExitFailed;
    }
    return kGoOn;
}

// Searches and marks, builds the operation list and prints the plan: the
// files per volume with their verdicts, those a run would refuse now, and
// the safety alert. Only reads; the same for a dry run and a real one.
int PlanOperate(const TOperateRequest& req, const TGlobalOptions& global, TSearchRun& run,
                TOperationRun& operation, TSafetyAnalysis& analysis, TPlanShown& shown,
                TOutBuffer& out) {
    const TCommandInfo& cmd = req.cmd;
    TFindSummary summary;
    if (const int status = SearchAndMark(cmd, req.options, global, run, summary); status != kExitOk)
        return status;

    if (const int rc = operation.BuildList(req.options.view); rc != 0) {
        std::fprintf(stderr, "vardex-cli %s: cannot build the list of files: %s\n", cmd.name,
                     ToUtf8(SystemErrorText(rc)).c_str());
        return kExitFailed;
    }
    if (operation.List().Count() == 0) {
        out.Put("There are no items\n");
        return out.Flush() == 0 ? kExitOk : kExitFailed;
    }
    // The order the workers use, so the plan lists the files as they are
    // acted on.
    operation.List().Sort(kOpSortFolder, true);
    operation.SetDeleteDirectly(req.op.directly);
    operation.AnalyseSafety(analysis);
    PrintPlan(req.kind, operation, run, analysis, req.options, req.destination, req.op.rule, out);
    std::vector<TRefusedFile> refusedFiles;
    if (const int rc = operation.FindRefused(refusedFiles); rc != 0) {
        (void)out.Flush();
        std::fprintf(stderr, "vardex-cli %s: cannot check the files of the list: %s\n", cmd.name,
                     ToUtf8(SystemErrorText(rc)).c_str());
        return kExitFailed;
    }
    PrintRefused(operation.List(), refusedFiles, out);

    if (req.kind == TOperationKind::Delete) {
        if (const int rc = operation.BuildAlerts(); rc != 0) {
            (void)out.Flush(); // the command fails with its own message
            std::fprintf(stderr, "vardex-cli %s: cannot build the alert list: %s\n", cmd.name,
                         ToUtf8(SystemErrorText(rc)).c_str());
            return kExitFailed;
        }
        if (operation.Alerts().Count() > 0) {
            PrintAlert(operation.Alerts(), out);
            shown.wholeGroupsRefused = !req.op.allowWholeGroups;
        }
        shown.shownPermanent = analysis.PermanentVolumes();
    }
    if (const int rc = out.Flush(); rc != 0) {
        std::fprintf(stderr, "vardex-cli %s: cannot write the output: %s\n", cmd.name,
                     ToUtf8(SystemErrorText(rc)).c_str());
        return kExitFailed;
    }
    return kGoOn;
}

// The end of a dry run, in place of confirming and running.
int ReportDryRun(const TPlanShown& shown) {
    if (shown.wholeGroupsRefused)
        std::puts("\nA real run would be refused: every file of some group is marked "
                  "(--allow-whole-groups deletes them anyway).");
    std::puts("\nDry run: no file was touched.");
    return kExitOk;
}

// The whole-group refusal, then --yes or the question on the terminal.
// noTrash receives what happens to files on volumes without a usable trash:
// they go for good only after the user saw the verdicts that say so and
// answered on the terminal.
int ConfirmOperate(const TOperateRequest& req, TOperationRun& operation,
                   const TSafetyAnalysis& analysis, const TPlanShown& shown,
                   TNoTrashAction& noTrash) {
    const TCommandInfo& cmd = req.cmd;
    const TOperationKind kind = req.kind;
    if (shown.wholeGroupsRefused) {
        std::fprintf(stderr,
                     "vardex-cli %s: refused: every file of %d group(s) is marked, so no copy "
                     "would remain; give --allow-whole-groups to delete them anyway. No file was "
                     "touched.\n",
                     cmd.name, operation.Alerts().FullyListedGroups());
        return kExitFailed;
    }

    noTrash = TNoTrashAction::kKeep;
    if (!req.op.yes) {
        if (::isatty(STDIN_FILENO) != 1) {
            std::fprintf(stderr,
                         "vardex-cli %s: standard input is not a terminal: add --yes to confirm. "
                         "No file was touched.\n",
                         cmd.name);
            return kExitUsage;
        }
        const TOperationList& list = operation.List();
        std::string question;
        if (kind == TOperationKind::Delete)
            question = VolumeVerdicts(analysis) +
                       "\nAre you sure you want to delete whole list of " + Grouped(list.Count()) +
                       " file(s) which contains " + Grouped(list.TotalBytes()) + " bytes?";
        else
            question = std::string("Are you sure you want to ") +
                       (kind == TOperationKind::Copy ? "copy" : "move") + " whole list of " +
                       Grouped(list.Count()) + " file(s) which contains " +
                       Grouped(list.TotalBytes()) + " bytes to the folder?\n\n" +
                       Path8(RemoveTrailingBackslash(req.destination)) + "\n";
        if (!AskOnTerminal("\n" + question)) {
            std::fprintf(stderr, "vardex-cli %s: not confirmed. No file was touched.\n", cmd.name);
            return kExitFailed;
        }
        noTrash = TNoTrashAction::kDeletePermanently;
        operation.SetPermanentVolumes(shown.shownPermanent);
    } else if (req.op.directly) {
        // --yes --directly asked for permanent deletion up front.
        operation.SetPermanentVolumes(shown.shownPermanent);
    } else if (shown.shownPermanent.any()) {
        std::fputs("\nWith --yes, files on a volume without a usable trash stay where they are "
                   "(use --directly, or confirm on a terminal, to delete them permanently).\n",
                   stdout);
        std::fflush(stdout);
    }
    return kGoOn;
}

TLogSettings FullLogSettings(const TSettings& s) {
    return TLogSettings{s.LogFull_bUse, s.LogFull_bCreateNew, s.LogFull_bOverwrite,
                        s.LogFull_MaxSize};
}

TLogSettings ErrorLogSettings(const TSettings& s) {
    return TLogSettings{s.LogError_bUse, s.LogError_bCreateNew, s.LogError_bOverwrite,
                        s.LogError_MaxSize};
}

// Runs the worker with its progress line and Ctrl+C as the abort, then
// writes the logs (logs receives where) and closes the run.
int ExecuteOperate(const TOperateRequest& req, TOperationRun& operation, TNoTrashAction noTrash,
                   TLogWriteResult& logs) {
    const TCommandInfo& cmd = req.cmd;
    const TOperationKind kind = req.kind;
    const TOperateOptions& op = req.op;
    operation.SetAllowWholeGroups(op.allowWholeGroups);
    const TLogSettings fullLog = FullLogSettings(req.settings);
    const TLogSettings errorLog = ErrorLogSettings(req.settings);

    TMessageQueue queue;
    TMutexCaller caller;
    const std::uint64_t files = static_cast<std::uint64_t>(operation.List().Count());
    TOperationProgress progress(!req.options.quiet && ::isatty(STDERR_FILENO) == 1, kind, files,
                                operation.List().TotalBytes());
    TInterruptGuard interrupts;
    if (kind == TOperationKind::Delete) {
        if (!operation.StartDelete(&queue, &caller, req.options.view, fullLog.use, errorLog.use,
                                   noTrash)) {
            std::fprintf(stderr, "vardex-cli %s: the deletion could not be started\n", cmd.name);
            return kExitFailed;
        }
        WaitForWorker<TDeleteSafeProgress>(
            queue, caller, kMsgDeleteProgress, kMsgDeleteWorkerEnded,
            [&] { return operation.DeleteProgress(); }, [&] { operation.CancelDelete(); },
            progress);
        // The worker has ended: the logs are written before the run is
        // closed, as the progress window does.
        logs = operation.WriteLogs(req.settings.LogFolder, fullLog, errorLog, nullptr);
        operation.DeleteFinished();
    } else {
        if (!operation.StartCopyMove(&queue, &caller, req.options.view, fullLog.use, errorLog.use,
                                     req.destination, op.rule, kind == TOperationKind::Move,
                                     op.allowWholeGroups)) {
            std::fprintf(stderr, "vardex-cli %s: the %s could not be started\n", cmd.name,
                         cmd.name);
            return kExitFailed;
        }
        WaitForWorker<TCopySafeProgress>(
            queue, caller, kMsgCopyProgress, kMsgCopyWorkerEnded,
            [&] { return operation.CopyProgress(); }, [&] { operation.CancelCopy(); }, progress);
        logs = operation.WriteLogs(req.settings.LogFolder, fullLog, errorLog, nullptr);
        operation.CopyFinished();
    }
    return kGoOn;
}

// The summary of the run and where its logs went; the logs enter the log
// history. The exit status says whether every file succeeded.
int ReportOperate(const TOperateRequest& req, const TGlobalOptions& global,
                  const TOperationRun& operation, const TLogWriteResult& logs, TOutBuffer& out) {
    const TOperationKind kind = req.kind;
    const TOperationOutcome outcome = operation.Outcome();
    std::string report = "\n" + TerminalText(SummaryBlock(kind, outcome.figures));
    if (outcome.skipped > 0)
        report +=
            "Skipped files (the destination file existed): " + Grouped(outcome.skipped) + "\n";
    if (outcome.aborted)
        report += std::string("File ") +
                  (kind == TOperationKind::Delete ? "deleting"
                   : kind == TOperationKind::Copy ? "copying"
                                                  : "moving") +
                  " was aborted.\n";
    if (logs.fullWritten)
        report += "\nFull log file was stored into:\n" + Path8(logs.fullPath) + "\n";
    if (logs.errorWritten)
        report += "\nError log file was stored into:\n" + Path8(logs.errorPath) + "\n";
    out.Put(report);
    (void)out.Flush(); // the operation's outcome, not the report, decides the exit status
    // The logs enter the settings' log history, where the log viewer finds
    // them, in the order they were written, as the progress window adds them.
    std::vector<std::u16string> written;
    if (logs.fullWritten)
        written.push_back(logs.fullPath);
    if (logs.errorWritten)
        written.push_back(logs.errorPath);
    std::u16string settingsPath;
    if (const int rc = AddLogsToHistory(global, written, settingsPath); rc != 0)
        std::fprintf(stderr,
                     "vardex-cli %s: warning: the log history of the settings file '%s' was not "
                     "updated: %s\n",
                     req.cmd.name, Path8(settingsPath).c_str(),
                     rc == EINVAL ? "it is not a settings file"
                                  : ToUtf8(SystemErrorText(rc)).c_str());
    return outcome.AllDone() ? kExitOk : kExitFailed;
}

} // namespace

// Parse, plan, confirm, execute, report; a dry run stops after the plan.
int RunOperate(TOperationKind kind, const std::vector<std::string>& args,
               const TGlobalOptions& global) {
    TOperateRequest req;
    if (const int status = ParseOperate(kind, args, global, req); status != kGoOn)
        return status;

    TSearchRun run;
    TOperationRun operation(run);
    TSafetyAnalysis analysis(run.Drives());
    TPlanShown shown;
    TOutBuffer out(STDOUT_FILENO);
    if (const int status = PlanOperate(req, global, run, operation, analysis, shown, out);
        status != kGoOn)
        return status;
    if (req.op.dryRun)
        return ReportDryRun(shown);

    TNoTrashAction noTrash = TNoTrashAction::kKeep;
    if (const int status = ConfirmOperate(req, operation, analysis, shown, noTrash);
        status != kGoOn)
        return status;
    TLogWriteResult logs;
    if (const int status = ExecuteOperate(req, operation, noTrash, logs); status != kGoOn)
        return status;
    return ReportOperate(req, global, operation, logs, out);
}

} // namespace vdx::cli
