#pragma once
// `vardex-cli sets`: lists, saves and deletes the stored search sets of the
// settings file.

#include <string>
#include <vector>

namespace vdx::cli {

struct TGlobalOptions;

// The usage text of `vardex-cli sets`.
extern const char* const kSetsUsage;

// args are the arguments after "sets", without the global options. Returns
// the exit status.
int RunSets(const std::vector<std::string>& args, const TGlobalOptions& global);

} // namespace vdx::cli
