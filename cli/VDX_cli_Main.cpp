// vardex-cli: the command-line front end of Vardex.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "cli/VDX_cli_Find.h"

namespace {

constexpr const char* kUsage =
    "Usage: vardex-cli COMMAND [OPTIONS] [PATH...]\n"
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
    "  -h, --help     show this text\n"
    "  --version      show the program's version\n"
    "\n"
    "Commands other than --help and --version are added as they are built;\n"
    "a command that is not available yet is refused with exit status 2.\n";

} // namespace

int main(int argc, char** argv) {
    // Numbers and dates follow the user's locale.
    std::setlocale(LC_ALL, "");
    if (argc < 2) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string_view command = argv[1];
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "--version") {
        std::printf("vardex-cli %s\n", VDX_VERSION);
        return 0;
    }
    if (command == "find")
        return vdx::cli::RunFind(std::vector<std::string>(argv + 2, argv + argc));
    std::fprintf(stderr, "vardex-cli: unknown command '%s'\n\n%s", argv[1], kUsage);
    return 2;
}
