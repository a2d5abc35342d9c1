#include "cli/VDX_cli_Find.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "cli/VDX_cli_Options.h"
#include "cli/VDX_cli_Output.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_SearchRun.h"
#include "engine/VDX_unit_SetCheck.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Time.h"

namespace vdx::cli {
namespace {

// Messages are worded with "\r\n" line breaks for message boxes; a terminal
// wants "\n".
std::string TerminalText(std::u16string_view text) {
    std::string bytes = ToUtf8(text);
    std::string result;
    result.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n'))
            result.push_back(bytes[i]);
    return result;
}

int UsageError(const std::string& message) {
    std::fprintf(stderr, "vardex-cli find: %s\n\n%s", message.c_str(), kFindUsage);
    return kExitUsage;
}

// The phase text of the scan progress window.
const char* SearchPhaseText(std::int32_t phase) {
    switch (phase) {
    case kPhaseCompleted:
        return "Scanning completed";
    case kPhasePreparingTables:
        return "Preparing tables";
    case kPhaseCleanup:
        return "Cleanup files";
    case kPhaseIndexing:
        return "Indexing";
    default: // the aborted code too
        return "Scanning folders";
    }
}

// One self-overwriting line on standard error while the search runs.
class TProgressLine {
public:
    explicit TProgressLine(bool enabled) : m_enabled(enabled) {}

    void Show(const TSearchSafeProgress& p) {
        if (!m_enabled)
            return;
        std::fprintf(stderr, "\r%s: %u folders, %u files", SearchPhaseText(p.phase),
                     p.foldersListed, p.filesAdded);
        if (p.pathsNotFound > 0)
            std::fprintf(stderr, ", %u not found", p.pathsNotFound);
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

// 0 or the errno of reading the current folder.
int CurrentFolder(std::u16string& cwd) {
    std::string resolved;
    const int rc = Fs().RealPath(".", resolved);
    cwd = rc == 0 ? DecodeFileName(resolved) : std::u16string(u"/");
    return rc;
}

} // namespace

int RunFind(const std::vector<std::string>& args) {
    // The current folder matters only for relative paths; when it cannot be
    // read, absolute paths still work.
    std::u16string cwd;
    int cwdError = CurrentFolder(cwd);

    TFindOptions options;
    std::string error;
    if (!ParseFindOptions(args, cwd, options, error))
        return UsageError(error);
    if (options.help) {
        std::fputs(kFindUsage, stdout);
        return kExitOk;
    }
    if (options.relativeGiven && cwdError != 0) {
        std::fprintf(stderr, "vardex-cli find: cannot read the current folder: %s\n",
                     ToUtf8(SystemErrorText(cwdError)).c_str());
        return kExitFailed;
    }

    const TSearchSet set = BuildSearchSet(options);
    const TSetCheckResult check = CheckSearchSet(set);
    if (!check.ok)
        return UsageError(TerminalText(check.title) + "\n" + TerminalText(check.message));

    TSearchRun run;
    TMessageQueue queue;
    TMutexCaller caller;
    TProgressLine progress(!options.quiet && ::isatty(STDERR_FILENO) == 1);
    const std::uint64_t startTick = TickCountMs();
    if (!run.StartSearch(set, &queue, &caller, options.protectHidden, options.protectPrograms,
                         options.protectSystem)) {
        std::fputs("vardex-cli find: the search could not be started\n", stderr);
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
    const std::uint64_t durationMs = TickCountMs() - startTick;

    TSearchSafeProgress final;
    {
        auto lock = caller.Lock();
        final = run.SearchProgress();
    }
    const TScanData& store = run.Store();
    if (!store.Status().m_searchDone) {
        std::fputs("vardex-cli find: the search did not complete\n", stderr);
        return kExitFailed;
    }

    if (final.pathsNotFound > 0) {
        for (const std::u16string& path : options.paths)
            if (!FolderExists(path))
                std::fprintf(stderr, "vardex-cli find: warning: '%s' is not a folder\n",
                             EncodeFileName(path).c_str());
        if (final.pathsNotFound >= options.paths.size()) {
            std::fputs("vardex-cli find: none of the given paths is a folder\n", stderr);
            return kExitFailed;
        }
    }

    TFindSummary summary;
    summary.filesScanned = store.FilesFoundSum();
    summary.filesTaken = store.FileCount();
    summary.foldersListed = final.foldersListed;
    summary.pathsNotFound = final.pathsNotFound;
    summary.durationMs = durationMs;

    TOutBuffer out(STDOUT_FILENO);
    if (options.format == TOutputFormat::Json)
        WriteJsonView(out, store, options.view, summary);
    else
        WriteTextView(out, store, options.view, summary);
    if (const int rc = out.Flush(); rc != 0) {
        std::fprintf(stderr, "vardex-cli find: cannot write the output: %s\n",
                     ToUtf8(SystemErrorText(rc)).c_str());
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace vdx::cli
