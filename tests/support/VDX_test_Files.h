#pragma once
// Small file and environment helpers the tests share: reading back what a
// run wrote, listing folders, and pointing XDG folders at a temporary tree.

#include <optional>
#include <string>
#include <vector>

namespace vdx::test {

// True when path names an entry of any kind, a dangling symlink included.
bool Exists(const std::string& path);
// The whole content of a file as bytes; empty when it cannot be opened.
std::string ReadAll(const std::string& path);
// The path with every symlink resolved (a temporary folder often lies behind
// one); the path itself when it cannot be resolved.
std::string Canonical(const std::string& path);
// The names in folder without "." and "..", sorted; empty when it cannot be read.
std::vector<std::string> Names(const std::string& folder);

// True when the permission bits bind this process: it holds neither
// CAP_DAC_OVERRIDE nor CAP_DAC_READ_SEARCH, so a read-only folder or an
// unreadable file refuses it as it would refuse a user. False for root with
// its usual capabilities; scripts/test reruns the tests that need it as root
// with those two capabilities dropped.
bool PermissionBitsBind();

// Sets an environment variable for the life of the object and restores its
// earlier value (or its absence) afterwards.
class TEnvGuard {
public:
    TEnvGuard(const char* name, const std::string& value);
    ~TEnvGuard();
    TEnvGuard(const TEnvGuard&) = delete;
    TEnvGuard& operator=(const TEnvGuard&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// Points XDG_DATA_HOME at root/data and XDG_CONFIG_HOME at root/config for
// the life of the object, so the home trash and the settings lie on the same
// file system as the files a test trashes and no real home is touched.
class TTempXdgHome {
public:
    explicit TTempXdgHome(const std::string& root);

    // root/data/Trash, the home trash.
    std::string Trash() const { return m_data + "/Trash"; }
    const std::string& Data() const { return m_data; }

private:
    std::string m_data;
    TEnvGuard m_dataGuard;
    TEnvGuard m_configGuard;
};

} // namespace vdx::test
