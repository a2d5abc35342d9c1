#pragma once
// `vardex-cli find`: runs one search over the given folders with the search
// run controller, shows its progress on a terminal and prints a view.

#include <string>
#include <string_view>
#include <vector>

namespace vdx {
class TSearchRun;
}

namespace vdx::cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // no given path exists, or the run failed
inline constexpr int kExitUsage = 2;  // bad arguments or a refused set of paths

struct TGlobalOptions;
struct TFindOptions;
struct TFindSummary;

// args are the arguments after "find", without the global options. Returns
// the exit status.
int RunFind(const std::vector<std::string>& args, const TGlobalOptions& global);

// The command a message comes from ("find", "delete" ...) and the usage text
// printed after an argument error.
struct TCommandInfo {
    const char* name;
    const char* usage;
};

// The search that options describe, then its content comparison (with
// --compare) and the smart marking of options.view, each with its progress
// line on a terminal. Returns kExitOk with run holding the marked results and
// summary filled, else the exit status after the reason went to stderr. run
// must be fresh.
int SearchAndMark(const TCommandInfo& cmd, const TFindOptions& options,
                  const TGlobalOptions& global, TSearchRun& run, TFindSummary& summary);

// The absolute current folder; "/" when it cannot be read. 0 or the errno.
int CurrentFolder(std::u16string& cwd);

// A message written with "\r\n" line breaks for message boxes, as UTF-8
// with "\n" line breaks for a terminal.
std::string TerminalText(std::u16string_view text);

} // namespace vdx::cli
