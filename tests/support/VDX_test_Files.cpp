#include "tests/support/VDX_test_Files.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vdx::test {

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool PermissionBitsBind() {
    // CapEff in /proc/self/status is the effective set as a hexadecimal mask;
    // bit 1 is CAP_DAC_OVERRIDE, bit 2 CAP_DAC_READ_SEARCH.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) != 0)
            continue;
        const unsigned long long effective = std::strtoull(line.c_str() + 7, nullptr, 16);
        return (effective & 0x6ull) == 0;
    }
    return false;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Canonical(const std::string& path) {
    char* full = ::realpath(path.c_str(), nullptr);
    std::string out = full ? full : path;
    std::free(full);
    return out;
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(std::move(name));
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEnvGuard::TEnvGuard(const char* name, const std::string& value) : m_name(name) {
    if (const char* old = std::getenv(name))
        m_old = old;
    ::setenv(name, value.c_str(), 1);
}

TEnvGuard::~TEnvGuard() {
    if (m_old)
        ::setenv(m_name, m_old->c_str(), 1);
    else
        ::unsetenv(m_name);
}

TTempXdgHome::TTempXdgHome(const std::string& root)
    : m_data(root + "/data"), m_dataGuard("XDG_DATA_HOME", m_data),
      m_configGuard("XDG_CONFIG_HOME", root + "/config") {}

} // namespace vdx::test
