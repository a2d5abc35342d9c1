// End-to-end tests of `vardex-cli delete`, `copy` and `move` on temporary
// trees: HOME, XDG_CONFIG_HOME and XDG_DATA_HOME point into the tree, so the
// trash lies on the tree's file system and no real settings, logs or trash
// are touched; standard input is /dev/null, so --yes is needed to act.

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
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

// Files to search, below d/:
//   keep/x.txt, b/x.txt, c/x2.txt ("hello": one Same size group of three)
//   keep/y.log, b/y.log ("hi!": a group of two)
//   b/solo.dat (no duplicate)
// With --keep d/keep the files of b and c are marked, one copy of each
// group stays in keep.
class OperateTest : public ::testing::Test {
protected:
    OperateTest() : m_xdg(m_tree.Root()), m_home("HOME", m_tree.Path("home")) {
        m_tree.Dir("home");
        m_tree.Dir("config");
        m_tree.File("d/keep/x.txt", "hello");
        m_tree.File("d/b/x.txt", "hello");
        m_tree.File("d/c/x2.txt", "hello");
        m_tree.File("d/keep/y.log", "hi!");
        m_tree.File("d/b/y.log", "hi!");
        m_tree.File("d/b/solo.dat", "single");
        WriteSettings("1", "1");
    }

    // A settings file whose log folder is logs/, with the two use flags.
    void WriteSettings(const std::string& fullUse, const std::string& errorUse) {
        m_tree.File("settings.ini", "[LogSection]\nLogFolder=" + m_tree.Path("logs") +
                                        "\nLogFull_bUse=" + fullUse +
                                        "\nLogError_bUse=" + errorUse + "\n");
    }

    TProcessResult Cli(const std::string& command, std::vector<std::string> extra) {
        std::vector<std::string> args{
            "--settings", m_tree.Path("settings.ini"), command, D(""), "--keep", D("keep")};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunProcess(VDX_CLI_PATH, args);
    }

    std::string D(const std::string& rel) const { return m_tree.Path("d/" + rel); }
    std::string Trash() const { return m_xdg.Trash() + "/files"; }
    std::string FullLog() const { return m_tree.Path("logs/VDX_full.log"); }
    std::string ErrorLog() const { return m_tree.Path("logs/VDX_error.log"); }

    // Every searched file is still where it was, with its content.
    void ExpectTreeUntouched() const {
        EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
        EXPECT_EQ(ReadAll(D("b/x.txt")), "hello");
        EXPECT_EQ(ReadAll(D("c/x2.txt")), "hello");
        EXPECT_EQ(ReadAll(D("keep/y.log")), "hi!");
        EXPECT_EQ(ReadAll(D("b/y.log")), "hi!");
        EXPECT_EQ(ReadAll(D("b/solo.dat")), "single");
    }

    TTempTree m_tree;
    TTempXdgHome m_xdg;
    TEnvGuard m_home;
};

TEST_F(OperateTest, DryRunPrintsThePlanPerVolumeAndTouchesNothing) {
    for (const std::string command : {"delete", "copy", "move"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> extra{"--dry-run"};
        if (command != "delete")
            extra = {"--dry-run", "--dest", m_tree.Path("out")};
        const TProcessResult r = Cli(command, extra);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.out, "3 file(s), total size 13 bytes")) << r.out;
        EXPECT_TRUE(Contains(r.out, "Drive ")) << r.out;
        EXPECT_TRUE(Contains(r.out, D("b/x.txt"))) << r.out;
        EXPECT_TRUE(Contains(r.out, D("c/x2.txt"))) << r.out;
        EXPECT_TRUE(Contains(r.out, D("b/y.log"))) << r.out;
        EXPECT_FALSE(Contains(r.out, D("keep/"))) << r.out;
        EXPECT_FALSE(Contains(r.out, "solo.dat")) << r.out;
        EXPECT_TRUE(Contains(r.out, "Dry run: no file was touched.")) << r.out;
        if (command == "delete") {
            EXPECT_TRUE(Contains(r.out, "Deleted files would be send into Recycle Bin.")) << r.out;
        }
        ExpectTreeUntouched();
        EXPECT_FALSE(Exists(m_tree.Path("out")));
        EXPECT_FALSE(Exists(m_tree.Path("logs")));
        EXPECT_TRUE(Names(Trash()).empty());
    }
}

TEST_F(OperateTest, WithoutTerminalOrYesNothingHappens) {
    for (const std::string command : {"delete", "copy", "move"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> extra;
        if (command != "delete")
            extra = {"--dest", m_tree.Path("out")};
        const TProcessResult r = Cli(command, extra);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Contains(r.err, "--yes")) << r.err;
        ExpectTreeUntouched();
        EXPECT_FALSE(Exists(m_tree.Path("out")));
        EXPECT_TRUE(Names(Trash()).empty());
    }
}

TEST_F(OperateTest, DeleteMovesTheMarkedFilesIntoTheTrashAndLogsThem) {
    const TProcessResult r = Cli("delete", {"--yes"});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_FALSE(Exists(D("b/x.txt")));
    EXPECT_FALSE(Exists(D("c/x2.txt")));
    EXPECT_FALSE(Exists(D("b/y.log")));
    EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
    EXPECT_EQ(ReadAll(D("keep/y.log")), "hi!");
    EXPECT_EQ(ReadAll(D("b/solo.dat")), "single");
    EXPECT_EQ(Names(Trash()), (std::vector<std::string>{"x.txt", "x2.txt", "y.log"}));

    EXPECT_TRUE(Contains(r.out, "Files to delete: 3 [13 bytes]")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Successfully deleted files: 3 [13 bytes]")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Full log file was stored into:\n" + FullLog())) << r.out;
    EXPECT_FALSE(Contains(r.out, "Error log file")) << r.out;
    const std::string log = ReadAll(FullLog());
    EXPECT_TRUE(Contains(log, "Deleting files from view 'Same size'")) << log;
    EXPECT_TRUE(Contains(log, "- Ok deleting: '" + D("b/x.txt") + "'")) << log;
    EXPECT_TRUE(Contains(log, "Files deleting was finished at")) << log;
    EXPECT_FALSE(Exists(ErrorLog()));
}

TEST_F(OperateTest, DeleteDirectlyUnlinksWithoutTheTrash) {
    const TProcessResult r = Cli("delete", {"--directly", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_TRUE(Contains(r.out, "You do not move files to the Recycle Bin (remove directly)."))
        << r.out;
    EXPECT_FALSE(Exists(D("b/x.txt")));
    EXPECT_FALSE(Exists(D("c/x2.txt")));
    EXPECT_FALSE(Exists(D("b/y.log")));
    EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
    EXPECT_TRUE(Names(Trash()).empty());
}

TEST_F(OperateTest, DeletingEveryFileOfAGroupIsRefusedUnlessAllowed) {
    // Every folder in To Clean and keep-one off marks all five duplicates.
    const std::vector<std::string> base{"--settings",   m_tree.Path("settings.ini"),
                                        "delete",       D(""),
                                        "--wash-clean", "--no-keep-one"};
    std::vector<std::string> args = base;
    args.push_back("--yes");
    TProcessResult r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.out, "In 2 of 2 groups of duplicates you are going to delete ALL "
                                "files (total 5 files)."))
        << r.out;
    EXPECT_TRUE(Contains(r.out, "List of alerted files: 5 file(s), total size 21 bytes")) << r.out;
    EXPECT_TRUE(Contains(r.err, "--allow-whole-groups")) << r.err;
    ExpectTreeUntouched();
    EXPECT_TRUE(Names(Trash()).empty());
    EXPECT_FALSE(Exists(m_tree.Path("logs")));

    args.push_back("--allow-whole-groups");
    r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(Names(Trash()).size(), 5u);
    EXPECT_FALSE(Exists(D("keep/x.txt")));
    EXPECT_EQ(ReadAll(D("b/solo.dat")), "single");
}

// A move takes no group's last copy away unless whole groups may go.
TEST_F(OperateTest, MovingEveryFileOfAGroupIsRefusedUnlessAllowed) {
    std::vector<std::string> args{
        "--settings", m_tree.Path("settings.ini"), "move", D(""), "--wash-clean", "--no-keep-one",
        "--dest",     m_tree.Path("out"),          "--yes"};
    TProcessResult r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    ExpectTreeUntouched();
    EXPECT_TRUE(Contains(r.out, "Successfully moved files: 0 [0 bytes]")) << r.out;
    EXPECT_TRUE(Contains(ReadAll(ErrorLog()), ": no remaining copy")) << ReadAll(ErrorLog());

    args.push_back("--allow-whole-groups");
    r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_FALSE(Exists(D("keep/x.txt")));
    EXPECT_EQ(ReadAll(m_tree.Path("out") + D("keep/x.txt")), "hello");
    EXPECT_EQ(ReadAll(D("b/solo.dat")), "single");
}

// With the home trash unusable the verdict says so; --yes then keeps the
// files instead of deleting them for good, and the run reports failure.
TEST_F(OperateTest, YesNeverDeletesPermanentlyWhereNoTrashCanTakeTheFiles) {
    m_tree.File("data/Trash", "not a folder");
    const TProcessResult r = Cli("delete", {"--yes"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "ALERT: ")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Successfully deleted files: 0 [0 bytes]")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error log file was stored into:\n" + ErrorLog())) << r.out;
    ExpectTreeUntouched();
    EXPECT_TRUE(Contains(ReadAll(ErrorLog()), "*** Deleting errors ***"));
}

TEST_F(OperateTest, CopyAndMoveFollowTheCollisionRule) {
    struct TCase {
        const char* command;
        const char* rule; // nullptr: the default
        const char* kept; // content at the target afterwards
        bool renamed;     // the file also lands under its "[1-new]" name
    };
    const TCase cases[] = {
        {"copy", nullptr, "old", false},       {"copy", "skip", "old", false},
        {"copy", "autorename", "old", true},   {"copy", "overwrite", "hello", false},
        {"move", nullptr, "old", false},       {"move", "autorename", "old", true},
        {"move", "overwrite", "hello", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + (c.rule ? c.rule : "default"));
        TTempTree out;
        // The destination holds the source path below it, one file of it
        // already taken.
        const std::string target = out.Root() + D("b/x.txt");
        out.File(D("b/x.txt").substr(1), "old");
        std::vector<std::string> extra{"--yes", "--dest", out.Root()};
        if (c.rule != nullptr)
            extra.insert(extra.end(), {"--collision", c.rule});
        const TProcessResult r = Cli(c.command, extra);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(ReadAll(target), c.kept);
        EXPECT_EQ(Exists(target + "[1-new]"), c.renamed);
        if (c.renamed) {
            EXPECT_EQ(ReadAll(target + "[1-new]"), "hello");
        }
        EXPECT_EQ(ReadAll(out.Root() + D("c/x2.txt")), "hello");
        EXPECT_EQ(ReadAll(out.Root() + D("b/y.log")), "hi!");
        EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
        const bool skipped = !c.renamed && std::string(c.kept) == "old";
        if (std::string(c.command) == "copy" || skipped) {
            // A skipped file is never removed from its source.
            EXPECT_EQ(ReadAll(D("b/x.txt")), "hello");
        } else {
            EXPECT_FALSE(Exists(D("b/x.txt")));
        }
        if (std::string(c.command) == "move") {
            EXPECT_FALSE(Exists(D("c/x2.txt")));
            EXPECT_FALSE(Exists(D("b/y.log")));
        } else {
            EXPECT_EQ(ReadAll(D("c/x2.txt")), "hello");
        }
        EXPECT_EQ(Contains(r.out, "Skipped files (the destination file existed): 1"), skipped)
            << r.out;
        // Put the tree back for the next case.
        m_tree.File("d/b/x.txt", "hello");
        m_tree.File("d/c/x2.txt", "hello");
        m_tree.File("d/b/y.log", "hi!");
    }
}

TEST_F(OperateTest, AFailedCopyExitsWithOneAndWritesTheErrorLog) {
    TTempTree out;
    // A file where the first folder of the source path should be made.
    const std::string first = D("").substr(1, D("").find('/', 1) - 1);
    out.File(first, "in the way");
    const TProcessResult r = Cli("move", {"--yes", "--dest", out.Root()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, "Successfully moved files: 0 [0 bytes]")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Error log file was stored into:\n" + ErrorLog())) << r.out;
    EXPECT_TRUE(Contains(ReadAll(ErrorLog()), "*** Moving errors ***"));
    ExpectTreeUntouched();
    EXPECT_EQ(ReadAll(out.Path(first)), "in the way");
}

TEST_F(OperateTest, LogsFollowTheSettings) {
    WriteSettings("0", "1");
    const TProcessResult r = Cli("copy", {"--yes", "--dest", m_tree.Path("out")});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Contains(r.out, "log file was stored")) << r.out;
    EXPECT_FALSE(Exists(FullLog()));
    EXPECT_FALSE(Exists(ErrorLog()));
    EXPECT_EQ(ReadAll(m_tree.Path("out") + D("b/x.txt")), "hello");
}

TEST_F(OperateTest, NamesThatAreNotUtf8AreDeletedByteForByte) {
    const std::string raw = "b/\xff\xfe-name.txt";
    m_tree.File("d/" + raw, "hello");
    const TProcessResult r = Cli("delete", {"--yes"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(Contains(r.out, D(raw))) << r.out;
    EXPECT_FALSE(Exists(D(raw)));
    const std::vector<std::string> trashed = Names(Trash());
    EXPECT_NE(std::find(trashed.begin(), trashed.end(), "\xff\xfe-name.txt"), trashed.end());
    EXPECT_TRUE(Contains(ReadAll(FullLog()), "\xff\xfe-name.txt"));
    EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
}

TEST_F(OperateTest, RefusedArgumentsTouchNothing) {
    const std::vector<std::vector<std::string>> cases{
        {"copy", D(""), "--keep", D("keep"), "--yes"},                      // no --dest
        {"copy", D(""), "--keep", D("keep"), "--dest", "o", "--directly"},  // delete only
        {"delete", D(""), "--keep", D("keep"), "--dest", m_tree.Path("o")}, // copy/move only
        {"move", D(""), "--keep", D("keep"), "--dest", "o", "--collision", "merge"},
        {"delete", D(""), "--yes"}, // nothing marks
        {"delete", D(""), "--keep", D("keep"), "--format", "json", "--yes"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args.front() + " " + args.back());
        const TProcessResult r = RunProcess(VDX_CLI_PATH, args);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        ExpectTreeUntouched();
        EXPECT_TRUE(Names(Trash()).empty());
        EXPECT_FALSE(Exists(m_tree.Path("o")));
    }
}

// The command line started with its output in files, for tests that talk
// to it while it runs: stdin from stdinPath (a terminal, or /dev/null).
class TChild {
public:
    TChild(const std::vector<std::string>& args, const std::string& stdinPath,
           const std::string& outPath, const std::string& errPath) {
        std::vector<char*> argv;
        std::string program = VDX_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, stdinPath.c_str(), O_RDWR, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        if (::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TChild() {
        if (m_pid > 0 && !m_waited) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }
    pid_t Pid() const { return m_pid; }
    // The exit status; 128 + the signal number when a signal ended it.
    int Wait() {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_waited = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    bool m_waited = false;
};

// Ctrl+C during the run is the abort answer: the worker stops after the
// current batch, the summary and the logs say so, and every file is either
// still in place or in the trash.
TEST_F(OperateTest, InterruptAbortsThroughTheCancelPathAndWritesTheLogs) {
    constexpr int kFiles = 8000;
    for (int i = 0; i < kFiles; ++i)
        m_tree.File("d/many/f" + std::to_string(i), "hello");
    TChild child(
        {"--settings", m_tree.Path("settings.ini"), "delete", D(""), "--keep", D("keep"), "--yes"},
        "/dev/null", m_tree.Path("out.txt"), m_tree.Path("err.txt"));
    ASSERT_GT(child.Pid(), 0);
    // Interrupt once the first files have reached the trash.
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
        started = !Names(Trash()).empty();
        if (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(started) << ReadAll(m_tree.Path("err.txt"));
    ::kill(child.Pid(), SIGINT);
    const int status = child.Wait();
    const std::string out = ReadAll(m_tree.Path("out.txt"));
    const std::size_t trashed = Names(Trash()).size();
    const std::size_t left = Names(D("many")).size();
    // Nothing is lost: each marked file is in one place or the other.
    EXPECT_EQ(trashed + left + (Exists(D("b/x.txt")) ? 1 : 0) + (Exists(D("c/x2.txt")) ? 1 : 0) +
                  (Exists(D("b/y.log")) ? 1 : 0),
              static_cast<std::size_t>(kFiles + 3));
    EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
    const std::string log = ReadAll(FullLog());
    if (left > 0) {
        EXPECT_EQ(status, 1) << out;
        EXPECT_TRUE(Contains(out, "File deleting was aborted.")) << out;
        EXPECT_TRUE(Contains(log, "File deleting was aborted at")) << log.substr(0, 2000);
        EXPECT_TRUE(Contains(out, "Successfully deleted files: ")) << out;
    } else {
        // The run outpaced the signal.
        EXPECT_EQ(status, 0) << out;
    }
    EXPECT_TRUE(Contains(log, "*** Deleting information ***"));
}

// Every entry below the copies' folder out whose name holds "~tmp~", and
// every copy whose content is not its source's (a partial copy); the copy
// of /x/y lies at out/x/y.
std::vector<std::string> PartialCopiesBelow(const std::string& out, const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : Names(folder)) {
        const std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            const auto below = PartialCopiesBelow(out, path);
            found.insert(found.end(), below.begin(), below.end());
        } else if (name.find("~tmp~") != std::string::npos ||
                   ReadAll(path) != ReadAll(path.substr(out.size()))) {
            found.push_back(path);
        }
    }
    return found;
}

// A closed terminal (SIGHUP) ends a copy through the same cancel path as
// Ctrl+C: no partial copy stays, and the logs say the run was aborted.
TEST_F(OperateTest, HangupAbortsACopyThroughTheCancelPath) {
    constexpr int kFiles = 6000;
    for (int i = 0; i < kFiles; ++i)
        m_tree.File("d/many/f" + std::to_string(i), "hello");
    TChild child({"--settings", m_tree.Path("settings.ini"), "copy", D(""), "--keep", D("keep"),
                  "--dest", m_tree.Path("out"), "--yes"},
                 "/dev/null", m_tree.Path("out.txt"), m_tree.Path("err.txt"));
    ASSERT_GT(child.Pid(), 0);
    const std::string copies = m_tree.Path("out") + D("many");
    bool started = false;
    for (int i = 0; i < 6000 && !started; ++i) {
        started = !Names(copies).empty();
        if (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(started) << ReadAll(m_tree.Path("err.txt"));
    ::kill(child.Pid(), SIGHUP);
    const int status = child.Wait();
    const std::string out = ReadAll(m_tree.Path("out.txt"));
    EXPECT_TRUE(PartialCopiesBelow(m_tree.Path("out"), m_tree.Path("out")).empty());
    const std::string log = ReadAll(FullLog());
    EXPECT_TRUE(Contains(log, "*** Copying information ***")) << log.substr(0, 2000);
    if (Names(copies).size() < static_cast<std::size_t>(kFiles)) {
        EXPECT_EQ(status, 1) << out;
        EXPECT_TRUE(Contains(out, "File copying was aborted.")) << out;
        EXPECT_TRUE(Contains(log, "File copying was aborted at")) << log.substr(0, 2000);
    } else {
        EXPECT_EQ(status, 0) << out; // the run outpaced the signal
    }
    ExpectTreeUntouched();
}

// On a terminal the plan is followed by the question; only "y" acts.
TEST_F(OperateTest, TerminalConfirmationDecides) {
    for (const std::string answer : {"n\n", "\n", "y\n"}) {
        SCOPED_TRACE(answer);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(::grantpt(master), 0);
        ASSERT_EQ(::unlockpt(master), 0);
        const std::string slave = ::ptsname(master);
        TChild child(
            {"--settings", m_tree.Path("settings.ini"), "delete", D(""), "--keep", D("keep")},
            slave, m_tree.Path("out.txt"), m_tree.Path("err.txt"));
        ASSERT_GT(child.Pid(), 0);
        // Wait for the question before answering.
        for (int i = 0; i < 2000 && !Contains(ReadAll(m_tree.Path("err.txt")), "[y/N]"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::string err = ReadAll(m_tree.Path("err.txt"));
        EXPECT_TRUE(Contains(err, "Are you sure you want to delete whole list of 3 file(s) which "
                                  "contains 13 bytes?"))
            << err;
        ASSERT_EQ(::write(master, answer.data(), answer.size()),
                  static_cast<ssize_t>(answer.size()));
        const int status = child.Wait();
        ::close(master);
        const std::string out = ReadAll(m_tree.Path("out.txt"));
        if (answer == "y\n") {
            EXPECT_EQ(status, 0) << out << ReadAll(m_tree.Path("err.txt"));
            EXPECT_EQ(Names(Trash()), (std::vector<std::string>{"x.txt", "x2.txt", "y.log"}));
            EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
        } else {
            EXPECT_EQ(status, 1);
            EXPECT_TRUE(Contains(ReadAll(m_tree.Path("err.txt")), "not confirmed"));
            ExpectTreeUntouched();
            EXPECT_FALSE(Exists(m_tree.Path("logs")));
        }
    }
}

} // namespace
} // namespace vdx::test
