// vardex-cli: the command-line front end of Vardex.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/VDX_cli_Find.h"
#include "cli/VDX_cli_Operate.h"
#include "cli/VDX_cli_RemoveEmpty.h"
#include "cli/VDX_cli_Sets.h"
#include "cli/VDX_cli_Settings.h"

namespace {

constexpr const char* kUsage =
    "Usage: vardex-cli [--settings FILE] COMMAND [OPTIONS] [PATH...]\n"
    "\n"
    "Finds duplicate files in a set of folders.\n"
    "\n"
    "Commands:\n"
    "  find      search the folders and print a view of the duplicates\n"
    "  delete    delete the marked files of a view (to the trash or directly)\n"
    "  copy      copy the marked files of a view into a folder\n"
    "  move      move the marked files of a view into a folder\n"
    "  sets      list, save and delete stored search sets\n"
    "  remove-empty  remove empty folders below a folder\n"
    "\n"
    "Options:\n"
    "  --settings FILE  use the settings file FILE instead of the default one\n"
    "                   (before or after the command); only commands that\n"
    "                   change settings, such as sets save, write it\n"
    "  -h, --help       show this text\n"
    "  --version        show the program's version\n"
    "\n"
    "'vardex-cli COMMAND --help' describes the options of a command.\n"
    "Examples:\n"
    "  vardex-cli find --compare --view content ~/Pictures /media/backup\n"
    "  vardex-cli delete --compare --view content --keep ~/Pictures --dry-run \\\n"
    "      ~/Pictures /media/backup\n";

} // namespace

int main(int argc, char** argv) {
    // Numbers and dates follow the user's locale.
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    vdx::cli::TGlobalOptions global;
    std::string error;
    if (!vdx::cli::ExtractGlobalOptions(args, global, error)) {
        std::fprintf(stderr, "vardex-cli: %s\n\n%s", error.c_str(), kUsage);
        return vdx::cli::kExitUsage;
    }
    if (args.empty()) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("vardex-cli %s\n", VDX_VERSION);
        return 0;
    }
    if (command == "find")
        return vdx::cli::RunFind(args, global);
    if (command == "sets")
        return vdx::cli::RunSets(args, global);
    if (command == "delete")
        return vdx::cli::RunOperate(vdx::TOperationKind::Delete, args, global);
    if (command == "copy")
        return vdx::cli::RunOperate(vdx::TOperationKind::Copy, args, global);
    if (command == "move")
        return vdx::cli::RunOperate(vdx::TOperationKind::Move, args, global);
    if (command == "remove-empty")
        return vdx::cli::RunRemoveEmpty(args, global);
    std::fprintf(stderr, "vardex-cli: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return vdx::cli::kExitUsage;
}
