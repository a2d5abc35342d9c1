#include "platform/VDX_unit_SpecialFolders.h"

#include <cerrno>
#include <cstdlib>
#include <gtest/gtest.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TTempTree;

// Points HOME and XDG_CONFIG_HOME into a temporary tree.
class SpecialFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_home = m_tree.Path("home");
        m_tree.Dir("home/.config");
        ::setenv("HOME", m_home.c_str(), 1);
        ::unsetenv("XDG_CONFIG_HOME");
    }
    std::u16string Home(const char* rel) const { return FromUtf8(m_home + rel); }

    TTempTree m_tree;
    std::string m_home;
};

TEST_F(SpecialFoldersTest, DocumentsComesFromUserDirs) {
    const struct {
        const char* what;
        const char* file; // nullptr: no user-dirs.dirs at all
        std::u16string expected;
    } cases[] = {
        {"no file", nullptr, Home("/Documents")},
        {"relative to home", "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n", Home("/Docs")},
        {"absolute, trailing slash", "XDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", u"/srv/docs"},
        {"unquoted with blanks", "# written by hand\n  XDG_DOCUMENTS_DIR = $HOME/Plain  # note\n",
         Home("/Plain")},
        {"escaped quote",
         "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\"\"\n",
         Home("/My \"Docs\"")},
        {"last one wins", "XDG_DOCUMENTS_DIR=\"$HOME/A\"\nXDG_DOCUMENTS_DIR=\"$HOME/B\"\n",
         Home("/B")},
        {"neither form is ignored", "XDG_DOCUMENTS_DIR=\"docs\"\n", Home("/Documents")},
        {"other keys only", "XDG_DOCUMENTS_DIRX=\"/x\"\nXDG_MUSIC_DIR=\"/m\"\n",
         Home("/Documents")},
        {"non-UTF-8 name", "XDG_DOCUMENTS_DIR=\"$HOME/caf\xE9\"", Home("/caf\xE9")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(m_tree.Path("home/.config/user-dirs.dirs").c_str());
        if (c.file)
            m_tree.File("home/.config/user-dirs.dirs", c.file);
        EXPECT_EQ(SpecialFolderPath(TSpecialFolder::Documents), c.expected);
    }
    // The file is looked up in XDG_CONFIG_HOME when that is set.
    m_tree.File("xdg/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/FromXdg\"\n");
    ::setenv("XDG_CONFIG_HOME", m_tree.Path("xdg").c_str(), 1);
    EXPECT_EQ(SpecialFolderPath(TSpecialFolder::Documents), Home("/FromXdg"));
}

TEST_F(SpecialFoldersTest, ConfigAndHomeFolders) {
    EXPECT_EQ(SpecialFolderPath(TSpecialFolder::LocalAppData), Home("/.config"));
    ::setenv("XDG_CONFIG_HOME", "/etc/xdg-user/", 1);
    EXPECT_EQ(SpecialFolderPath(TSpecialFolder::LocalAppData), u"/etc/xdg-user");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(SpecialFolderPath(TSpecialFolder::LocalAppData), Home("/.config"));

    ::setenv("HOME", (m_home + "/").c_str(), 1);
    EXPECT_EQ(SpecialFolderPath(TSpecialFolder::Home), Home(""));
    ::unsetenv("HOME");
    const passwd* entry = ::getpwuid(::getuid());
    if (entry && entry->pw_dir && *entry->pw_dir) {
        EXPECT_EQ(SpecialFolderPath(TSpecialFolder::Home), FromUtf8(entry->pw_dir));
    }
}

TEST_F(SpecialFoldersTest, ProgramFolderHoldsTheRunningProgram) {
    const std::u16string folder = SpecialFolderPath(TSpecialFolder::ProgramFolder);
    ASSERT_FALSE(folder.empty());
    ASSERT_EQ(folder.front(), u'/');
    std::string exe = program_invocation_name;
    exe = exe.substr(exe.rfind('/') + 1);
    struct stat st {};
    EXPECT_EQ(::stat((ToUtf8(folder) + "/" + exe).c_str(), &st), 0) << exe;
}

TEST_F(SpecialFoldersTest, ProtectedFolderLists) {
    const std::vector<std::u16string> system = {
        u"/bin",    u"/boot", u"/dev", u"/etc",  u"/lib", u"/lib32", u"/lib64",
        u"/libx32", u"/proc", u"/run", u"/sbin", u"/sys", u"/usr",   u"/var/lib"};
    EXPECT_EQ(SystemFolderList(), system);
    const std::vector<std::u16string> programs = {
        u"/opt", u"/snap", u"/usr/local", u"/var/lib/flatpak", Home("/.local/share/flatpak")};
    EXPECT_EQ(ProgramFilesFolderList(), programs);
}

} // namespace
} // namespace vdx
