#pragma once
// `vardex-cli delete`, `copy` and `move`: the search and smart marking of
// find, then the operation list of the marked files of the view, its plan
// per volume, the whole-group refusal, the confirmation, the run with its
// progress line and Ctrl+C as the abort, the logs and the summary.

#include <string>
#include <vector>

#include "operations/VDX_unit_OperationLogs.h"

namespace vdx::cli {

struct TGlobalOptions;

// The usage texts of the three commands.
extern const char* const kDeleteUsage;
extern const char* const kCopyUsage;
extern const char* const kMoveUsage;

// args are the arguments after the command, without the global options.
// Returns the exit status: 0 when every file succeeded (or a dry run), 1 when
// some failed, the run was aborted or refused, 2 for bad arguments.
int RunOperate(TOperationKind kind, const std::vector<std::string>& args,
               const TGlobalOptions& global);

} // namespace vdx::cli
