// End-to-end tests of `vardex-cli remove-empty` on temporary trees; HOME and
// the XDG folders point into the tree, and the removed-folders log goes to
// the log folder of a --settings file there.

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_Process.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx::test {
namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Below m/: A/B/C (empty chain), D (empty), .h (hidden, empty),
// F/f (a file), K/L (empty, for filters), \xff/ (empty, not UTF-8).
class RemoveEmptyTest : public ::testing::Test {
protected:
    RemoveEmptyTest() : m_xdg(m_tree.Root()), m_home("HOME", m_tree.Path("home")) {
        m_tree.Dir("home");
        m_tree.Dir("m/A/B/C");
        m_tree.Dir("m/D");
        m_tree.Dir("m/.h");
        m_tree.File("m/F/f", "x");
        m_tree.Dir("m/K/L");
        m_tree.Dir("m/KL");
        m_tree.File("settings.ini", "[LogSection]\nLogFolder=" + m_tree.Path("logs") + "\n");
    }

    TProcessResult Cli(std::vector<std::string> extra) {
        std::vector<std::string> args{"--settings", m_tree.Path("settings.ini"), "remove-empty",
                                      M(""), "--yes"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProcess(VDX_CLI_PATH, args);
    }
    std::string M(const std::string& rel) const { return m_tree.Path("m/" + rel); }
    std::string Log() const { return m_tree.Path("logs/QVDRemovedFolders.txt"); }

    TTempTree m_tree;
    TTempXdgHome m_xdg;
    TEnvGuard m_home;
};

TEST_F(RemoveEmptyTest, RemovesEmptyFoldersDeepestFirstAndLogsTheReport) {
    m_tree.Dir("m/\xff");
    const TProcessResult r = Cli({});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(Names(M("")), (std::vector<std::string>{".h", "F"}));
    EXPECT_TRUE(Exists(M("F/f")));
    const std::size_t c = r.out.find("Deleted empty folder '" + M("A/B/C/") + "'");
    const std::size_t b = r.out.find("Deleted empty folder '" + M("A/B/") + "'");
    const std::size_t a = r.out.find("Deleted empty folder '" + M("A/") + "'");
    ASSERT_NE(c, std::string::npos) << r.out;
    EXPECT_LT(c, b);
    EXPECT_LT(b, a);
    EXPECT_TRUE(Contains(r.out, "'" + M("\\377/") + "'")) << r.out; // the raw byte shown escaped
    EXPECT_TRUE(Contains(r.out, "Found 8 in scanned 11 folders, 8 empty folders have been deleted"))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "Scanned folders: 11, found empty: 8, removed: 8")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Log file is stored in:\n" + Log())) << r.out;
    // The log enters the settings' log history, for the log viewer.
    EXPECT_TRUE(Contains(ReadAll(m_tree.Path("settings.ini")), "Logfile_1=" + Log()));
    const std::string log = ReadAll(Log());
    EXPECT_TRUE(Contains(log, "Search for empty folders in " + M(""))) << log;
    EXPECT_TRUE(Contains(log, "Deleted empty folder '" + M("A/B/C/") + "'\r\n")) << log;
}

TEST_F(RemoveEmptyTest, OptionsAndFiltersAsTheWindowSetsThem) {
    struct TCase {
        std::vector<std::string> args;
        std::vector<std::string> left; // names left in m/
    };
    const TCase cases[] = {
        // Only direct sub-folders that are empty already: A holds B.
        {{"--no-subfolders"}, {".h", "A", "F", "K"}},
        {{"--allow-hidden"}, {"F"}},
        {{"--include", "K"}, {".h", "A", "D", "F", "KL"}},
        // "K" names K and its sub-folders, never the sibling KL.
        {{"--exclude", "/K"}, {".h", "F", "K"}},
        {{"--include", "A/B", "--include", "D"}, {".h", "A", "F", "K", "KL"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + c.args.back());
        const TProcessResult r = Cli(c.args);
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(Names(M("")), c.left) << r.out;
        // Reset to a full tree for the next case.
        for (const char* dir : {"m/A/B/C", "m/D", "m/.h", "m/K/L", "m/KL"})
            m_tree.Dir(dir);
    }
    EXPECT_TRUE(Exists(M("F/f")));
}

TEST_F(RemoveEmptyTest, TheMainFolderGoesOnlyWithHiddenAndSystemAllowed) {
    TTempTree other;
    other.Dir("main/sub");
    const std::vector<std::string> base{"--settings",   m_tree.Path("settings.ini"),
                                        "remove-empty", other.Path("main"),
                                        "--no-log",     "--yes"};
    auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProcess(VDX_CLI_PATH, args);
    };
    TProcessResult r = run({"--allow-hidden"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Exists(other.Path("main")));
    EXPECT_FALSE(Exists(other.Path("main/sub")));
    EXPECT_TRUE(Contains(r.out, "Log file is not stored")) << r.out;
    EXPECT_FALSE(Exists(Log()));

    r = run({"--allow-hidden", "--allow-system"});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Exists(other.Path("main")));
}

TEST_F(RemoveEmptyTest, ReportsAFolderThatCouldNotBeRemoved) {
    // The parent of a protected hidden folder counts as empty, and its
    // removal fails because it is not.
    m_tree.Dir("m/P/.q");
    const TProcessResult r = Cli({});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Failed to delete folder '" + M("P/") + "'")) << r.out;
    EXPECT_TRUE(Exists(M("P/.q")));
}

TEST_F(RemoveEmptyTest, RefusedArgumentsRemoveNothing) {
    const std::vector<std::vector<std::string>> cases{
        {"remove-empty"},
        {"remove-empty", M("nothere")},
        {"remove-empty", M(""), "--include", "../outside"},
        {"remove-empty", M(""), M("D")},
        {"remove-empty", M(""), "--frobnicate"},
        // Neither a terminal nor --yes confirms.
        {"remove-empty", M("")},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.back());
        const TProcessResult r = RunProcess(VDX_CLI_PATH, args);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_TRUE(Exists(M("D")));
        EXPECT_TRUE(Exists(M("A/B/C")));
    }
}

TEST_F(RemoveEmptyTest, DryRunListsWhatWouldGoAndTouchesNothing) {
    const std::vector<std::string> args{"--settings", m_tree.Path("settings.ini"), "remove-empty",
                                        M(""), "--dry-run"};
    const TProcessResult r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Exists(M("A/B/C")));
    EXPECT_TRUE(Exists(M("D")));
    EXPECT_FALSE(Exists(Log()));
    const std::size_t c = r.out.find("Would delete empty folder '" + M("A/B/C/") + "'");
    const std::size_t a = r.out.find("Would delete empty folder '" + M("A/") + "'");
    ASSERT_NE(c, std::string::npos) << r.out;
    EXPECT_LT(c, a);
    EXPECT_TRUE(Contains(r.out, "Would delete empty folder '" + M("D/") + "'")) << r.out;
    EXPECT_FALSE(Contains(r.out, M(".h/"))) << r.out;
    EXPECT_TRUE(Contains(r.out, "Dry run: no folder was removed.")) << r.out;
}

// On a terminal the question comes first; only "y" removes.
TEST_F(RemoveEmptyTest, TerminalConfirmationDecides) {
    for (const std::string answer : {"n\n", "y\n"}) {
        SCOPED_TRACE(answer);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const std::string slave = ::ptsname(master);
        const std::string errPath = m_tree.Path("err.txt");
        std::vector<std::string> args{VDX_CLI_PATH, "--settings", m_tree.Path("settings.ini"),
                                      "remove-empty", M("")};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, slave.c_str(), O_RDWR, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        pid_t pid = -1;
        ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 2000 && !Contains(ReadAll(errPath), "[y/N]"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_TRUE(Contains(ReadAll(errPath), "Remove the empty folders below '" + M("") + "'?"))
            << ReadAll(errPath);
        EXPECT_TRUE(Exists(M("D"))); // nothing before the answer
        ASSERT_EQ(::write(master, answer.data(), answer.size()),
                  static_cast<ssize_t>(answer.size()));
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        ::close(master);
        ASSERT_TRUE(WIFEXITED(status));
        if (answer == "y\n") {
            EXPECT_EQ(WEXITSTATUS(status), 0) << ReadAll(errPath);
            EXPECT_FALSE(Exists(M("D")));
        } else {
            EXPECT_EQ(WEXITSTATUS(status), 1);
            EXPECT_TRUE(Contains(ReadAll(errPath), "not confirmed"));
            EXPECT_TRUE(Exists(M("A/B/C")));
            EXPECT_FALSE(Exists(Log()));
        }
    }
}

} // namespace
} // namespace vdx::test
