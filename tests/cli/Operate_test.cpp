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
#include <sys/mount.h>
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

TEST_F(OperateTest, PlanShowsControlCharactersOfNamesEscaped) {
    // A name that would erase its own line of the plan, and one that would
    // add a line of its own.
    m_tree.File("d/b/IMPORTANT.doc\x1b[2K\r", "hello");
    m_tree.File("d/c/a\n    /etc/passwd (5 bytes)", "hello");
    const TProcessResult r = Cli("delete", {"--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, D("b/IMPORTANT.doc\\033[2K\\r") + " (5 bytes)")) << r.out;
    EXPECT_TRUE(Contains(r.out, D("c/a\\n    /etc/passwd (5 bytes)") + " (5 bytes)")) << r.out;
    EXPECT_FALSE(Contains(r.out, "\x1b")) << r.out;
    EXPECT_FALSE(Contains(r.out, "\r")) << r.out;
    EXPECT_FALSE(Contains(r.out, "\n    /etc/passwd")) << r.out;
    ExpectTreeUntouched();
}

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
    EXPECT_TRUE(Contains(log, "Deleting files from view 'Same content'")) << log;
    EXPECT_TRUE(Contains(log, "- Ok deleting: '" + D("b/x.txt") + "'")) << log;
    EXPECT_TRUE(Contains(log, "Files deleting was finished at")) << log;
    EXPECT_FALSE(Exists(ErrorLog()));
    // The log enters the settings' log history, for the log viewer, and the
    // rest of the settings file stays.
    const std::string settings = ReadAll(m_tree.Path("settings.ini"));
    EXPECT_TRUE(Contains(settings, "[LogHistory]")) << settings;
    EXPECT_TRUE(Contains(settings, "LogHistoryCount=1")) << settings;
    EXPECT_TRUE(Contains(settings, "Logfile_1=" + FullLog())) << settings;
    EXPECT_TRUE(Contains(settings, "LogFolder=" + m_tree.Path("logs"))) << settings;
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
    // The summary shows the raw bytes escaped; the log holds them as they are.
    EXPECT_TRUE(Contains(r.out, D("b/\\377\\376-name.txt"))) << r.out;
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
        // The question repeats each volume's verdict right above it.
        EXPECT_TRUE(Contains(err, " List contains a drive from which you delete files \n  Drive "))
            << err;
        EXPECT_TRUE(Contains(err, ": Deleted files would be send into Recycle Bin.")) << err;
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

// A unique file whose only likeness to a kept file is its size: only a view
// named on purpose lists it, and the plan then says what that view means.
TEST_F(OperateTest, OnlyTheContentViewIsTheDefaultOfCommandsThatChangeFiles) {
    m_tree.File("d/b/unique.txt", "world"); // the size of "hello"
    for (const std::string command : {"delete", "copy", "move"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> extra{"--dry-run"};
        if (command != "delete")
            extra = {"--dry-run", "--dest", m_tree.Path("out")};
        TProcessResult r = Cli(command, extra);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.out, "files from view 'Same content': 3 file(s)")) << r.out;
        EXPECT_FALSE(Contains(r.out, "unique.txt")) << r.out;
        EXPECT_FALSE(Contains(r.out, "not known to be identical")) << r.out;

        extra.insert(extra.end(), {"--view", "size"});
        r = Cli(command, extra);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.out, "files from view 'Same size': 4 file(s)")) << r.out;
        EXPECT_TRUE(Contains(r.out, D("b/unique.txt"))) << r.out;
        EXPECT_TRUE(Contains(r.out, "Note: the files of the view 'Same size' are not known to be "
                                    "identical"))
            << r.out;
    }
    const TProcessResult r = Cli("delete", {"--yes", "--directly"});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_EQ(ReadAll(D("b/unique.txt")), "world");
    EXPECT_FALSE(Exists(D("b/x.txt")));
}

// A folder whose name holds a reference to a set variable is that folder;
// only a name that does not exist as written is expanded, and the plan shows
// what was used.
TEST_F(OperateTest, PathsThatExistAsWrittenAreNotExpanded) {
    TEnvGuard var("VDX_TEST_NAME", "real");
    m_tree.File("p/%VDX_TEST_NAME%/a.txt", "same");
    m_tree.File("p/%VDX_TEST_NAME%/keep/a.txt", "same");
    m_tree.File("p/real/a.txt", "same");
    m_tree.File("p/real/keep/a.txt", "same");
    const std::string literal = m_tree.Path("p/%VDX_TEST_NAME%");
    const std::vector<std::string> base{
        "--settings", m_tree.Path("settings.ini"), "delete", literal, "--keep", literal + "/keep"};
    std::vector<std::string> args = base;
    args.push_back("--dry-run");
    TProcessResult r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Search path: " + literal + "\n")) << r.out;
    EXPECT_TRUE(Contains(r.out, "Folder to keep: " + literal + "/keep\n")) << r.out;

    args = base;
    args.push_back("--yes");
    r = RunProcess(VDX_CLI_PATH, args);
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_FALSE(Exists(literal + "/a.txt"));
    EXPECT_EQ(ReadAll(literal + "/keep/a.txt"), "same");
    EXPECT_EQ(ReadAll(m_tree.Path("p/real/a.txt")), "same");

    // A name that does not exist as written is expanded: --dest names
    // out-real, and the plan says so.
    r = Cli("copy", {"--dry-run", "--dest", m_tree.Path("out-%VDX_TEST_NAME%")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Destination folder: " + m_tree.Path("out-real") + "/\n")) << r.out;
}

TEST_F(OperateTest, APathLongerThanTheLimitIsRefusedNeverCut) {
    // 2000 characters cut from these would name d/ itself, or a folder
    // inside the tree.
    const std::string longTail = "/" + std::string(1000, 'n') + "/" + std::string(1000, 'm');
    TEnvGuard var("VDX_TEST_LONG", longTail);
    struct TCase {
        std::vector<std::string> args;
        std::string what;
    };
    const std::string settings = m_tree.Path("settings.ini");
    const TCase cases[] = {
        {{"delete", D("") + longTail, "--keep", D("keep"), "--yes"}, "the path"},
        {{"delete", D("%VDX_TEST_LONG%"), "--keep", D("keep"), "--yes"}, "the path"},
        {{"delete", D(""), "--keep", D("keep") + longTail, "--yes"}, "--keep"},
        {{"delete", D(""), "--keep", D("keep"), "--exclude-dir", D("%VDX_TEST_LONG%"), "--yes"},
         "--exclude-dir"},
        {{"copy", D(""), "--keep", D("keep"), "--dest", m_tree.Path("out%VDX_TEST_LONG%"), "--yes"},
         "--dest"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args{"--settings", settings};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const TProcessResult r = RunProcess(VDX_CLI_PATH, args);
        EXPECT_EQ(r.status, 2) << r.out << r.err;
        EXPECT_TRUE(Contains(r.err, "longer than 2000 characters")) << r.err;
        EXPECT_TRUE(Contains(r.err, c.what)) << r.err;
        ExpectTreeUntouched();
        EXPECT_TRUE(Names(Trash()).empty());
        EXPECT_FALSE(Exists(m_tree.Path("out")));
    }
}

// A tmpfs mounted inside the searched tree is a volume of its own with its
// own verdict, and a read-only mount says that nothing will be deleted there.
// Needs the right to mount (root); skipped elsewhere.
TEST_F(OperateTest, EachMountInTheTreeIsListedWithItsOwnVerdict) {
    m_tree.Dir("d/ram");
    m_tree.Dir("d/ro");
    if (::mount("none", D("ram").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct TUnmount {
        std::vector<std::string> paths;
        ~TUnmount() {
            for (const std::string& p : paths)
                ::umount2(p.c_str(), MNT_DETACH);
        }
    } unmount{{D("ram")}};
    ASSERT_EQ(::mount("none", D("ro").c_str(), "tmpfs", 0, "size=1m"), 0);
    unmount.paths.push_back(D("ro"));
    m_tree.File("d/ram/x.txt", "hello");
    m_tree.File("d/ro/x.txt", "hello");
    ASSERT_EQ(::mount("none", D("ro").c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);

    TProcessResult r = Cli("delete", {"--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string ram = "\nDrive " + Canonical(D("ram")) + " [] (tmpfs, serial ";
    const std::string ro = "\nDrive " + Canonical(D("ro")) + " [] (tmpfs, serial ";
    const std::size_t ramAt = r.out.find(ram);
    const std::size_t roAt = r.out.find(ro);
    ASSERT_NE(ramAt, std::string::npos) << r.out;
    ASSERT_NE(roAt, std::string::npos) << r.out;
    // Each volume's block: its verdict, then its own files.
    const std::string ramBlock = r.out.substr(ramAt, r.out.find("\nDrive ", ramAt + 1) - ramAt);
    const std::string roBlock = r.out.substr(roAt, r.out.find("\nDrive ", roAt + 1) - roAt);
    EXPECT_TRUE(Contains(ramBlock, "ALERT: Files will be deleted permanently.")) << ramBlock;
    EXPECT_TRUE(Contains(ramBlock, D("ram/x.txt"))) << ramBlock;
    EXPECT_FALSE(Contains(ramBlock, D("b/x.txt"))) << ramBlock;
    EXPECT_TRUE(Contains(roBlock, "ALERT: The drive is mounted read-only. Files cannot be "
                                  "deleted from it"))
        << roBlock;
    EXPECT_TRUE(Contains(roBlock, D("ro/x.txt"))) << roBlock;
    EXPECT_TRUE(Contains(r.out, "Deleted files would be send into Recycle Bin.")) << r.out;

    // --yes trashes what has a trash and leaves the tmpfs files alone.
    r = Cli("delete", {"--yes"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(ReadAll(D("ram/x.txt")), "hello");
    EXPECT_EQ(ReadAll(D("ro/x.txt")), "hello");
    EXPECT_FALSE(Exists(D("b/x.txt")));
    EXPECT_EQ(ReadAll(D("keep/x.txt")), "hello");
}

} // namespace
} // namespace vdx::test
