#pragma once
// `vardex-cli find`: runs one search over the given folders with the search
// run controller, shows its progress on a terminal and prints a view.

#include <string>
#include <vector>

namespace vdx::cli {

// Exit statuses of the command line.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1; // no given path exists, or the run failed
inline constexpr int kExitUsage = 2;  // bad arguments or a refused set of paths

struct TGlobalOptions;

// args are the arguments after "find", without the global options. Returns
// the exit status.
int RunFind(const std::vector<std::string>& args, const TGlobalOptions& global);

} // namespace vdx::cli
