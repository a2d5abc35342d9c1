#pragma once
// `vardex-cli remove-empty DIR`: removes the empty folders below DIR with the
// empty-folder remover, shows its statistics line on a terminal, prints the
// run's report and puts it at the top of the removed-folders log.

#include <string>
#include <vector>

namespace vdx::cli {

struct TGlobalOptions;

extern const char* const kRemoveEmptyUsage;

// args are the arguments after "remove-empty", without the global options.
// Returns the exit status: 0 when the walk completed and every folder found
// empty was removed, 1 when some removal failed or the run was aborted, 2
// for bad arguments or a DIR that is not a folder.
int RunRemoveEmpty(const std::vector<std::string>& args, const TGlobalOptions& global);

} // namespace vdx::cli
