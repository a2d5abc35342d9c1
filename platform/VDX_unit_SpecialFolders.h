#pragma once
// Folders the program needs to know by role. Paths have no trailing "/".

#include <string>
#include <vector>

namespace vdx {

enum class TSpecialFolder {
    Documents,     // XDG_DOCUMENTS_DIR from user-dirs.dirs, else ~/Documents
    LocalAppData,  // $XDG_CONFIG_HOME, else ~/.config
    ProgramFolder, // the folder of /proc/self/exe
    Home,          // $HOME, else the password database's home folder
};

// The folder's path; empty when it cannot be determined.
std::u16string SpecialFolderPath(TSpecialFolder folder);

// The operating system's folders, protected like the Windows folder.
const std::vector<std::u16string>& SystemFolderList();

// The folders that hold installed programs, protected like Program Files.
// The user's flatpak folder is included when a home folder is known.
std::vector<std::u16string> ProgramFilesFolderList();

} // namespace vdx
