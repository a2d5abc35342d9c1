#include "platform/VDX_unit_SpecialFolders.h"

#include <cstdlib>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <string>
#include <string_view>
#include <unistd.h>

#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"

namespace vdx {

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// folder + "/" + rel, without doubling the slash of the root folder.
std::string Below(const std::string& folder, const char* rel) {
    return folder == "/" ? "/" + std::string(rel) : folder + "/" + rel;
}

std::string EnvPath(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = EnvPath("HOME");
    if (home.empty()) {
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
            found->pw_dir)
            home = found->pw_dir;
    }
    return home.empty() ? home : WithoutTrailingSlash(home);
}

std::string ConfigFolder() {
    // A relative XDG_CONFIG_HOME is invalid by the base-directory rules and
    // is ignored.
    const std::string config = EnvPath("XDG_CONFIG_HOME");
    if (!config.empty() && config[0] == '/')
        return WithoutTrailingSlash(config);
    const std::string home = HomeFolder();
    return home.empty() ? home : Below(home, ".config");
}

bool ReadSmallFile(const std::string& path, std::string& content) {
    int fd = -1;
    if (Fs().Open(path.c_str(), O_RDONLY, 0, fd) != 0)
        return false;
    content.clear();
    char buffer[4096];
    int rc = 0;
    // user-dirs.dirs is a few hundred bytes; a huge file is not one.
    while (content.size() < (1u << 20)) {
        std::size_t done = 0;
        rc = Fs().Read(fd, buffer, sizeof buffer, done);
        if (rc != 0 || done == 0)
            break;
        content.append(buffer, done);
    }
    (void)Fs().Close(fd);
    return rc == 0;
}

// The value of key in a user-dirs.dirs file: KEY="$HOME/rel" or KEY="/abs",
// quoted or not, with backslash escapes. Empty when the key is missing or its
// value is neither form.
std::string UserDirFromFile(const std::string& content, std::string_view key,
                            const std::string& home) {
    std::string result;
    std::size_t lineStart = 0;
    while (lineStart < content.size()) {
        std::size_t lineEnd = content.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = content.size();
        std::string_view line(content.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        auto skipBlanks = [&line] {
            while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
                line.remove_prefix(1);
        };
        skipBlanks();
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        skipBlanks();
        if (line.empty() || line.front() != '=')
            continue;
        line.remove_prefix(1);
        skipBlanks();
        const bool quoted = !line.empty() && line.front() == '"';
        if (quoted)
            line.remove_prefix(1);
        std::string value;
        bool relative = false;
        if (line.substr(0, 5) == "$HOME") {
            line.remove_prefix(5);
            relative = true;
        } else if (line.empty() || line.front() != '/') {
            continue;
        }
        while (!line.empty()) {
            const char ch = line.front();
            if (quoted ? ch == '"' : (ch == ' ' || ch == '\t' || ch == '\r' || ch == '#'))
                break;
            if (ch == '\\' && line.size() > 1) {
                line.remove_prefix(1);
                value.push_back(line.front());
            } else {
                value.push_back(ch);
            }
            line.remove_prefix(1);
        }
        if (relative) {
            if (home.empty())
                continue;
            value = (home == "/" ? std::string() : home) + value;
        }
        // The last assignment wins, as when the file is sourced by a shell.
        result = WithoutTrailingSlash(value);
    }
    return result;
}

std::string DocumentsFolder() {
    const std::string home = HomeFolder();
    const std::string config = ConfigFolder();
    std::string content;
    if (!config.empty() && ReadSmallFile(Below(config, "user-dirs.dirs"), content)) {
        const std::string dir = UserDirFromFile(content, "XDG_DOCUMENTS_DIR", home);
        if (!dir.empty())
            return dir;
    }
    return home.empty() ? home : Below(home, "Documents");
}

std::string ProgramFolder() {
    // The kernel's own link to the running executable, not a user path.
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buffer)
        return {};
    std::string exe(buffer, static_cast<std::size_t>(n));
    const std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos)
        return {};
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

} // namespace

std::u16string SpecialFolderPath(TSpecialFolder folder) {
    switch (folder) {
    case TSpecialFolder::Documents:
        return DecodeFileName(DocumentsFolder());
    case TSpecialFolder::LocalAppData:
        return DecodeFileName(ConfigFolder());
    case TSpecialFolder::ProgramFolder:
        return DecodeFileName(ProgramFolder());
    case TSpecialFolder::Home:
        return DecodeFileName(HomeFolder());
    }
    return {};
}

const std::vector<std::u16string>& SystemFolderList() {
    static const std::vector<std::u16string> folders = {
        u"/bin",    u"/boot", u"/dev", u"/etc",  u"/lib", u"/lib32", u"/lib64",
        u"/libx32", u"/proc", u"/run", u"/sbin", u"/sys", u"/usr",   u"/var/lib",
    };
    return folders;
}

std::vector<std::u16string> ProgramFilesFolderList() {
    std::vector<std::u16string> folders = {u"/opt", u"/snap", u"/usr/local", u"/var/lib/flatpak"};
    const std::string home = HomeFolder();
    if (!home.empty())
        folders.push_back(DecodeFileName(Below(home, ".local/share/flatpak")));
    return folders;
}

} // namespace vdx
