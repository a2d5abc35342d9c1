// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_RemoveEmpty.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Messages.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Exists;
using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

constexpr std::uint32_t kWaitMs = 20'000;

// The lines of a file written with CR LF endings; a bare LF fails the test.
std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "line without CR LF: " << text.substr(start);
            break;
        }
        lines.push_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find('\n'), std::string::npos) << lines.back();
        start = end + 2;
    }
    return lines;
}

// Records what the worker shows; called on the "user-interface thread", that
// is, under the mutex caller.
class TRecordingView : public TRemoveProgressView {
public:
    void ShowMainFolder(std::u16string_view mainFolder) override {
        folder = std::u16string(mainFolder);
        if (onShowFolder)
            onShowFolder();
    }
    void ShowStatistics(const TRemoveStatistics& stats) override {
        last = stats;
        ++statisticsCalls;
    }

    std::function<void()> onShowFolder;
    std::u16string folder;
    TRemoveStatistics last;
    int statisticsCalls = 0;
};

class RemoveEmpty : public ::testing::Test {
protected:
    void SetUp() override {
        m_tree.Dir("main");
        m_tree.Dir("logs");
    }

    std::string Main(std::string_view rel = {}) const {
        return rel.empty() ? m_tree.Path("main") : m_tree.Path("main/" + std::string(rel));
    }
    std::string LogPath() const { return m_tree.Path("logs/QVDRemovedFolders.txt"); }

    TRemoveInputs Inputs() const {
        TRemoveOptions options;
        options.mainFolder = FromUtf8(Main());
        options.subFolders = m_subFolders;
        options.allowHidden = m_allowHidden;
        options.allowSystem = m_allowSystem;
        options.storeLog = m_storeLog;
        options.includeList = m_include;
        options.excludeList = m_exclude;
        TRemoveInputs inputs = MakeRemoveInputs(options, FromUtf8(m_tree.Root() + "/logs"));
        inputs.dryRun = m_dryRun;
        return inputs;
    }

    // Runs the remover to its end as the progress window would: start, wait
    // for the completion message, finish.
    void Run() {
        TMessageQueue window;
        TRunRemoveThread runner;
        m_runner = &runner;
        ASSERT_TRUE(runner.Start(Inputs(), &window, &m_caller, &m_view, &m_history));
        TPostedMessage message;
        ASSERT_TRUE(window.Take(message, kWaitMs));
        EXPECT_EQ(message.code, kMsgRemoveEnded);
        m_endedAborted = message.wParam;
        runner.Finished();
        EXPECT_FALSE(runner.Running());
        m_stats = runner.Statistics();
        m_aborted = runner.Aborted();
        m_report = runner.Report();
        EXPECT_EQ(m_endedAborted, m_aborted ? 1 : 0);
        EXPECT_EQ(window.Count(), 0u);
        m_runner = nullptr;
    }

    // The report of the newest run: the log's lines up to its first empty
    // line.
    std::vector<std::string> Report() const {
        std::vector<std::string> lines = CrLfLines(ReadAll(LogPath()));
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].empty()) {
                lines.resize(i);
                break;
            }
        return lines;
    }

    // The report lines about folders, with the stamp cut off.
    std::vector<std::string> FolderLines() const {
        std::vector<std::string> out;
        for (const std::string& line : Report()) {
            const std::size_t dash = line.find(" - ");
            if (dash != std::string::npos && line.find("folder '") != std::string::npos)
                out.push_back(line.substr(dash + 3));
        }
        return out;
    }

    std::string Deleted(std::string_view rel) const {
        return "Deleted empty folder '" + Main(rel) + "/'";
    }
    std::string Failed(std::string_view rel, int code) const {
        return "Failed to delete folder '" + Main(rel) + "/' - " + ToUtf8(SystemErrorText(code));
    }

    TTempTree m_tree;
    bool m_subFolders = true;
    bool m_allowHidden = false;
    bool m_allowSystem = false;
    bool m_storeLog = true;
    bool m_dryRun = false;
    TStrList m_include;
    TStrList m_exclude;

    TMutexCaller m_caller;
    TRecordingView m_view;
    TStrList m_history;
    TRunRemoveThread* m_runner = nullptr;

    TRemoveStatistics m_stats;
    TStrList m_report;
    bool m_aborted = false;
    std::intptr_t m_endedAborted = -1;
};

TEST_F(RemoveEmpty, NestedEmptyFoldersGoDeepestFirstAndTheReportSaysSo) {
    m_tree.Dir("main/A/B/C");
    Run();
    EXPECT_FALSE(Exists(Main("A")));
    EXPECT_TRUE(Exists(Main()));
    EXPECT_FALSE(m_aborted);
    EXPECT_EQ(m_stats.scanned, 4);
    EXPECT_EQ(m_stats.foundEmpty, 3);
    EXPECT_EQ(m_stats.removed, 3);

    const std::vector<std::string> report = Report();
    ASSERT_EQ(report.size(), 9u);
    EXPECT_EQ(report[0].rfind("----- on ", 0), 0u) << report[0];
    EXPECT_EQ(report[0].substr(report[0].size() - 6), " -----");
    EXPECT_EQ(report[1], "Search for empty folders in " + Main() + "/");
    EXPECT_EQ(report[2], "Include sub folders");
    EXPECT_EQ(report[3], std::string(71, '='));
    EXPECT_EQ(FolderLines(),
              (std::vector<std::string>{Deleted("A/B/C"), Deleted("A/B"), Deleted("A")}));
    EXPECT_EQ(report[7], "Found 3 in scanned 4 folders, 3 empty folders have been deleted");
    EXPECT_EQ(report[8], std::string(71, '='));
    EXPECT_EQ(ReadAll(LogPath()).substr(ReadAll(LogPath()).size() - 4), "\r\n\r\n");

    // The window saw the main folder and the final figures.
    EXPECT_EQ(ToUtf8(m_view.folder), Main() + "/");
    EXPECT_EQ(m_view.last.removed, 3);
    EXPECT_EQ(m_view.last.scanned, 4);
    ASSERT_EQ(m_history.size(), 1u);
    EXPECT_EQ(ToUtf8(m_history[0].text), LogPath());
}

TEST_F(RemoveEmpty, FilesLinksAndSpecialEntriesKeepTheirFolders) {
    m_tree.File("main/withFile/deep/x.txt", "x");
    m_tree.Dir("main/withFile/emptyToo");
    m_tree.Dir("outside/emptyTarget");
    m_tree.Dir("main/linkOnly");
    m_tree.Dir("main/dangling");
    // A link to an empty folder is an entry like a file; the walk never
    // follows it.
    m_tree.Symlink(m_tree.Path("outside/emptyTarget"), "main/linkOnly/toFolder");
    m_tree.Symlink(m_tree.Path("outside"), "main/linkToOutside");
    m_tree.Symlink("/nonexistent", "main/dangling/link");
    m_tree.Dir("main/fifo");
    ASSERT_EQ(::mkfifo(Main("fifo/pipe").c_str(), 0600), 0);
    Run();
    EXPECT_TRUE(Exists(Main("withFile/deep/x.txt")));
    EXPECT_FALSE(Exists(Main("withFile/emptyToo")));
    EXPECT_TRUE(Exists(Main("linkOnly/toFolder")));
    EXPECT_TRUE(Exists(Main("dangling/link")));
    EXPECT_TRUE(Exists(Main("fifo/pipe")));
    EXPECT_TRUE(Exists(m_tree.Path("outside/emptyTarget")));
    EXPECT_EQ(FolderLines(), std::vector<std::string>{Deleted("withFile/emptyToo")});
    EXPECT_EQ(m_stats.removed, 1);
}

TEST_F(RemoveEmpty, WithoutSubFoldersOnlyEmptyDirectSubFoldersGo) {
    m_subFolders = false;
    m_tree.Dir("main/A/B");
    m_tree.Dir("main/D");
    m_tree.Dir("main/E");
    Run();
    EXPECT_TRUE(Exists(Main("A/B")));
    EXPECT_FALSE(Exists(Main("D")));
    EXPECT_FALSE(Exists(Main("E")));
    // The main folder, direct sub-folders: no walk below them.
    EXPECT_EQ(m_stats.scanned, 4);
    EXPECT_EQ(m_stats.removed, 2);
    const std::vector<std::string> report = Report();
    EXPECT_EQ(std::find(report.begin(), report.end(), "Include sub folders"), report.end());

    // The main folder stays even when allowed, because A still holds B,
    // whichever order the listing gave.
    m_allowHidden = m_allowSystem = true;
    Run();
    EXPECT_TRUE(Exists(Main("A/B")));
    EXPECT_TRUE(FolderLines().empty());
}

TEST_F(RemoveEmpty, HiddenFoldersNeedTheirPermission) {
    m_tree.Dir("main/X/.hidden");
    Run();
    EXPECT_TRUE(Exists(Main("X/.hidden")));
    // X counts as empty, so its removal is tried and reported as failed.
    EXPECT_EQ(FolderLines(), std::vector<std::string>{Failed("X", ENOTEMPTY)});
    EXPECT_EQ(m_stats.foundEmpty, 1);
    EXPECT_EQ(m_stats.removed, 0);

    m_allowHidden = true;
    Run();
    EXPECT_FALSE(Exists(Main("X")));
    EXPECT_EQ(FolderLines(), (std::vector<std::string>{Deleted("X/.hidden"), Deleted("X")}));
    const std::vector<std::string> report = Report();
    EXPECT_NE(std::find(report.begin(), report.end(), "Remove folders with HIDDEN attribute"),
              report.end());
}

TEST_F(RemoveEmpty, MainFolderGoesOnlyWithHiddenAndSystemAllowed) {
    struct TCase {
        bool hidden;
        bool system;
        bool removed;
    };
    const TCase cases[] = {
        {false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.hidden) + std::to_string(c.system));
        m_tree.Dir("main/sub");
        m_allowHidden = c.hidden;
        m_allowSystem = c.system;
        Run();
        EXPECT_FALSE(Exists(Main("sub")));
        EXPECT_EQ(Exists(Main()), !c.removed);
        EXPECT_EQ(m_stats.removed, c.removed ? 2 : 1);
        const std::vector<std::string> report = Report();
        EXPECT_EQ(std::find(report.begin(), report.end(), "Remove folders with SYSTEM attribute") !=
                      report.end(),
                  c.system);
        m_tree.Dir("main");
    }
}

TEST_F(RemoveEmpty, FolderThatCannotBeListedCountsAsEmptyAndRmdirDecides) {
    struct TCase {
        const char* what;
        TFsOp op;
        int after;
    };
    const TCase cases[] = {{"cannot be opened", TFsOp::OpenAt, 0},
                           {"listing cannot start", TFsOp::ReadDirEntries, 0},
                           {"listing breaks off", TFsOp::ReadDirEntries, 1}};
    for (const TCase& c : cases) {
        for (const bool holdsFile : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (holdsFile ? ", holds a file" : ", empty"));
            m_tree.Dir("main/P/U");
            m_tree.Dir("main/Q");
            if (holdsFile)
                m_tree.File("main/P/U/keep.txt", "k");
            TFaultFs fs;
            fs.Fail(c.op, "/main/P/U", EACCES, c.after);
            {
                TFaultFsInstall install(fs);
                Run();
            }
            // The removal of U is tried either way; rmdir alone decides, so
            // its content stays, and then it keeps P. A file seen before the
            // listing broke off is content as always.
            if (holdsFile && c.after > 0) {
                EXPECT_EQ(FolderLines(), std::vector<std::string>{Deleted("Q")});
                EXPECT_TRUE(Exists(Main("P/U/keep.txt")));
            } else if (holdsFile) {
                EXPECT_EQ(ReadAll(Main("P/U/keep.txt")), "k");
                EXPECT_EQ(FolderLines(),
                          (std::vector<std::string>{Failed("P/U", ENOTEMPTY), Deleted("Q")}));
                EXPECT_EQ(m_stats.foundEmpty, 2);
            } else {
                EXPECT_FALSE(Exists(Main("P")));
                EXPECT_EQ(FolderLines(),
                          (std::vector<std::string>{Deleted("P/U"), Deleted("P"), Deleted("Q")}));
            }
            ASSERT_EQ(::system(("rm -rf '" + Main("P") + "'").c_str()), 0);
        }
    }
}

// A file system that calls a hook after chosen calls, so that a test can
// change the tree at an exact moment of the walk.
class THookFs : public TFaultFs {
public:
    std::function<void(TFsOp, const std::string&)> hook;
    // Paths whose statx reports another mount (a bind mount of the same file
    // system) or another device.
    std::string otherMount;
    std::string otherDevice;
    int m_listings = 0;

    int OpenAt(int dirFd, const char* name, int flags, mode_t mode, int& fd) override {
        const int rc = TFaultFs::OpenAt(dirFd, name, flags, mode, fd);
        if (hook)
            hook(TFsOp::OpenAt, name);
        return rc;
    }
    // The first listing is the main folder's.
    int ReadDirEntries(int dirFd, void* buffer, std::size_t n, std::size_t& done) override {
        const int rc = TFaultFs::ReadDirEntries(dirFd, buffer, n, done);
        if (hook && m_listings++ == 0)
            hook(TFsOp::ReadDirEntries, {});
        return rc;
    }
    int StatxAt(int dirFd, const char* name, int flags, unsigned mask, struct statx& stx) override {
        const int rc = TFaultFs::StatxAt(dirFd, name, flags, mask, stx);
        int fd = -1;
        // Which folder was asked about, by its path.
        std::string path;
        if (name[0] == '\0' && TFileSystem::OpenAt(dirFd, ".", O_PATH, 0, fd) == 0) {
            char link[64];
            std::snprintf(link, sizeof(link), "/proc/self/fd/%d", fd);
            char buffer[4096];
            const ssize_t n = ::readlink(link, buffer, sizeof(buffer));
            if (n > 0)
                path.assign(buffer, static_cast<std::size_t>(n));
            (void)TFileSystem::Close(fd);
        }
        if (rc == 0 && !otherMount.empty() && path.ends_with(otherMount))
            stx.stx_mnt_id += 1000;
        if (rc == 0 && !otherDevice.empty() && path.ends_with(otherDevice))
            stx.stx_dev_minor += 1;
        return rc;
    }
};

// Seen: a folder swapped for a link mid-walk had empty folders outside the
// main folder removed. Nothing outside it is ever removed, whenever the swap
// happens.
TEST_F(RemoveEmpty, FolderSwappedForALinkRemovesNothingOutside) {
    struct TCase {
        const char* what;
        std::string trigger; // the swap follows the OpenAt of this name
    };
    const TCase cases[] = {{"between the listing and the entering", ""},
                           {"after the folder was entered", "A"},
                           {"after its sub-folder was entered", "B"}};
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(::system(("rm -rf '" + m_tree.Path("outside") + "' '" + Main() + "'").c_str()),
                  0);
        m_tree.Dir("main/A/B/C");
        m_tree.Dir("main/Q");
        m_tree.Dir("outside/target/B/C");
        m_tree.Dir("outside/target/other");
        THookFs fs;
        bool swapped = false;
        fs.hook = [&](TFsOp op, const std::string& name) {
            if (swapped || name != c.trigger || (op == TFsOp::ReadDirEntries) != c.trigger.empty())
                return;
            swapped = true;
            ASSERT_EQ(::rename(Main("A").c_str(), m_tree.Path("outside/moved").c_str()), 0);
            ASSERT_EQ(::symlink(m_tree.Path("outside/target").c_str(), Main("A").c_str()), 0);
        };
        {
            TFaultFsInstall install(fs);
            Run();
        }
        ASSERT_TRUE(swapped);
        EXPECT_TRUE(Exists(m_tree.Path("outside/target/B/C")));
        EXPECT_TRUE(Exists(m_tree.Path("outside/target/other")));
        // The folders moved out of the main folder stay as they are too.
        EXPECT_TRUE(Exists(m_tree.Path("outside/moved/B/C")));
        EXPECT_TRUE(Exists(Main("A"))); // the link: content of the main folder
        EXPECT_FALSE(Exists(Main("Q")));
        for (const std::string& line : FolderLines())
            EXPECT_EQ(line.find("Deleted empty folder '" + Main("A/")), std::string::npos) << line;
    }
}

// Seen: the walk went into a bind mount and emptied folders of another tree.
TEST_F(RemoveEmpty, OtherFileSystemsBelowTheMainFolderAreNotEntered) {
    for (const bool bindMount : {true, false}) {
        SCOPED_TRACE(bindMount ? "bind mount" : "other device");
        m_tree.Dir("main/mnt/empty");
        m_tree.Dir("main/mnt/deeper/empty");
        m_tree.Dir("main/plain");
        THookFs fs;
        (bindMount ? fs.otherMount : fs.otherDevice) = "/main/mnt";
        {
            TFaultFsInstall install(fs);
            Run();
        }
        EXPECT_TRUE(Exists(Main("mnt/empty")));
        EXPECT_TRUE(Exists(Main("mnt/deeper/empty")));
        EXPECT_FALSE(Exists(Main("plain")));
        EXPECT_EQ(FolderLines(), std::vector<std::string>{Deleted("plain")});
        ASSERT_EQ(::system(("rm -rf '" + Main("mnt") + "'").c_str()), 0);
    }
}

TEST_F(RemoveEmpty, DryRunListsWhatWouldGoAndRemovesNothing) {
    m_tree.Dir("main/A/B/C");
    m_tree.File("main/D/x.txt", "x");
    m_dryRun = true;
    Run();
    EXPECT_TRUE(Exists(Main("A/B/C")));
    EXPECT_FALSE(Exists(LogPath()));
    EXPECT_TRUE(m_history.empty());
    EXPECT_EQ(m_stats.foundEmpty, 3);
    EXPECT_EQ(m_stats.removed, 0);
    std::vector<std::string> lines;
    for (const TStrItem& item : m_report)
        lines.push_back(EncodeFileName(item.text));
    std::vector<std::string> folders;
    for (const std::string& line : lines)
        if (const std::size_t dash = line.find(" - "); dash != std::string::npos)
            folders.push_back(line.substr(dash + 3));
    EXPECT_EQ(folders,
              (std::vector<std::string>{"Would delete empty folder '" + Main("A/B/C") + "/'",
                                        "Would delete empty folder '" + Main("A/B") + "/'",
                                        "Would delete empty folder '" + Main("A") + "/'"}));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3],
              "Found 3 in scanned 5 folders; dry run: no folder was deleted");
}

TEST_F(RemoveEmpty, FolderThatCannotBeRemovedIsReportedAndKeepsItsParent) {
    // A parent that is read-only for this user refuses the removal of its
    // sub-folders (injected: the tests may run as root).
    m_tree.Dir("main/ro/child");
    m_tree.Dir("main/next");
    TFaultFs fs;
    fs.Fail(TFsOp::Unlink, "/main/ro/child", EACCES);
    {
        TFaultFsInstall install(fs);
        Run();
    }
    EXPECT_TRUE(Exists(Main("ro/child")));
    EXPECT_FALSE(Exists(Main("next")));
    const std::vector<std::string> lines = FolderLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), Failed("ro/child", EACCES)), lines.end());
    // The parent now has content: it is not tried at all.
    for (const std::string& line : lines)
        EXPECT_EQ(line.find(Main("ro") + "/'"), std::string::npos) << line;
    EXPECT_EQ(m_stats.foundEmpty, 2);
    EXPECT_EQ(m_stats.removed, 1);
}

TEST_F(RemoveEmpty, ReadOnlyEmptyFolderIsRemoved) {
    // rmdir asks the parent's permission, not the folder's own.
    m_tree.Dir("main/locked");
    ASSERT_EQ(::chmod(Main("locked").c_str(), 0555), 0);
    Run();
    EXPECT_FALSE(Exists(Main("locked")));
}

TEST_F(RemoveEmpty, NamesThatAreNotUtf8) {
    const std::string odd = "caf\xe9\xff";
    m_tree.Dir("main/" + odd + "/inner");
    Run();
    EXPECT_FALSE(Exists(Main(odd)));
    EXPECT_EQ(FolderLines(), (std::vector<std::string>{Deleted(odd + "/inner"), Deleted(odd)}));
}

TEST(RemoveFilter, PreparedEntriesAndTests) {
    TRemoveFilter filter;
    // "*.*" goes, blanks are trimmed, and an entry left empty is dropped.
    filter.Prepare(u"/m/", {{u" /A/*.* "}, {u"/B/C/*.*"}, {u"*.*"}}, {{u"/A/keep/*.*"}});
    ASSERT_EQ(filter.IncludePaths().size(), 2u);
    EXPECT_EQ(filter.IncludePaths()[0], u"/m/A/");
    EXPECT_EQ(filter.IncludePaths()[1], u"/m/B/C/");
    ASSERT_EQ(filter.ExcludePaths().size(), 1u);
    EXPECT_EQ(filter.ExcludePaths()[0], u"/m/A/keep/");
    struct TCase {
        std::u16string path;
        bool passes;
        bool leads;
    };
    const TCase cases[] = {
        {u"/m/", false, true},
        {u"/m/A/", true, false},
        {u"/m/A/x/", true, false},
        {u"/m/A/keep/", false, false},
        {u"/m/A/keep/y/", false, false},
        {u"/m/B/", false, true},
        {u"/m/B/C/", true, false},
        {u"/m/B/D/", false, false},
        // Paths compare exactly: Linux tells /m/a from /m/A.
        {u"/m/a/", false, false},
        // An entry counts only at the start of a path.
        {u"/m/x/m/A/", false, false},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(filter.Passes(c.path), c.passes) << ToUtf8(c.path);
        EXPECT_EQ(filter.LeadsToInclude(c.path), c.leads) << ToUtf8(c.path);
    }
    TRemoveFilter none;
    none.Prepare(u"/m/", {{u"*.*"}, {u"  "}}, {});
    EXPECT_FALSE(none.Filtering());
    EXPECT_TRUE(none.Passes(u"/anything/"));
}

TEST_F(RemoveEmpty, IncludeAndExcludeEntries) {
    m_tree.Dir("main/A/x");
    m_tree.Dir("main/A/keep/y");
    m_tree.Dir("main/B");
    m_tree.Dir("main/deep/er/est");
    m_include = {{u"/A/*.*"}, {u"/deep/er/*.*"}};
    m_exclude = {{u"/A/keep/*.*"}};
    m_allowHidden = m_allowSystem = true;
    Run();
    EXPECT_FALSE(Exists(Main("A/x")));
    EXPECT_TRUE(Exists(Main("A/keep/y")));
    EXPECT_TRUE(Exists(Main("B"))); // outside every include entry
    // An include entry below a folder outside the filter is still reached;
    // the folders on the way there stay.
    EXPECT_FALSE(Exists(Main("deep/er")));
    EXPECT_TRUE(Exists(Main("deep")));
    EXPECT_TRUE(Exists(Main()));
    const std::vector<std::string> lines = FolderLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), Deleted("deep/er/est")), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), Deleted("deep/er")), lines.end());
    // A holds the excluded keep/: it counts as empty and its removal fails.
    EXPECT_NE(std::find(lines.begin(), lines.end(), Failed("A", ENOTEMPTY)), lines.end());
}

TEST_F(RemoveEmpty, ReportGoesOnTopOfTheLogAndFailuresKeepTheOldLog) {
    m_tree.File("logs/QVDRemovedFolders.txt", "earlier run\r\n");
    m_tree.Dir("main/one");
    Run();
    const std::string text = ReadAll(LogPath());
    EXPECT_EQ(text.substr(text.size() - 13), "earlier run\r\n");
    EXPECT_EQ(text.rfind("----- on ", 0), 0u);
    EXPECT_FALSE(Exists(LogPath() + "~$temp"));

    m_tree.Dir("main/two");
    TFaultFs fs;
    fs.Fail(TFsOp::Write, "~$temp", ENOSPC);
    m_history.clear();
    {
        TFaultFsInstall install(fs);
        Run();
    }
    EXPECT_FALSE(Exists(Main("two")));
    EXPECT_EQ(ReadAll(LogPath()), text);
    EXPECT_FALSE(Exists(LogPath() + "~$temp"));
    EXPECT_TRUE(m_history.empty());
}

TEST_F(RemoveEmpty, StoreLogOffWritesNothing) {
    m_storeLog = false;
    m_tree.Dir("main/one");
    Run();
    EXPECT_FALSE(Exists(Main("one")));
    EXPECT_FALSE(Exists(LogPath()));
    EXPECT_TRUE(m_history.empty());
}

// A file system that cancels the run right after a chosen folder is removed.
class TCancelAfterRemove : public TFaultFs {
public:
    int UnlinkAt(int dirFd, const char* name, int flags) override {
        const int rc = TFaultFs::UnlinkAt(dirFd, name, flags);
        if (name == m_trigger && m_runner != nullptr)
            m_runner->Terminate();
        return rc;
    }
    std::string m_trigger;
    TRunRemoveThread* m_runner = nullptr;
};

TEST_F(RemoveEmpty, CancelStopsTheWalkAndTheReportSaysSo) {
    m_tree.Dir("main/A/B/C");
    m_tree.Dir("main/A/B2");
    m_tree.Dir("main/Z");
    TCancelAfterRemove fs;
    fs.m_trigger = "C";
    TMessageQueue window;
    TRunRemoveThread runner;
    fs.m_runner = &runner;
    {
        TFaultFsInstall install(fs);
        ASSERT_TRUE(runner.Start(Inputs(), &window, &m_caller, &m_view, &m_history));
        TPostedMessage message;
        ASSERT_TRUE(window.Take(message, kWaitMs));
        EXPECT_EQ(message.code, kMsgRemoveEnded);
        EXPECT_EQ(message.wParam, 1);
        runner.Finished();
    }
    EXPECT_TRUE(runner.Aborted());
    // C went before the cancel; nothing after it.
    EXPECT_FALSE(Exists(Main("A/B/C")));
    EXPECT_TRUE(Exists(Main("A/B")));
    EXPECT_TRUE(Exists(Main("A")));
    EXPECT_EQ(runner.Statistics().removed, static_cast<int>(FolderLines().size()));
    const std::vector<std::string> report = Report();
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ(report[report.size() - 3], "WARNING: scanning was aborted");
    EXPECT_EQ(report[report.size() - 2],
              "Found " + std::to_string(runner.Statistics().foundEmpty) + " in scanned " +
                  std::to_string(runner.Statistics().scanned) + " folders, " +
                  std::to_string(runner.Statistics().removed) + " empty folders have been deleted");
}

TEST_F(RemoveEmpty, PauseHoldsTheWorkerAndCancelWhilePausedEndsIt) {
    m_tree.Dir("main/A");
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel while paused" : "pause, then resume");
        m_tree.Dir("main/A");
        TMessageQueue window;
        TRunRemoveThread runner;
        // Paused before the walk begins, as a window asking "abort?" would.
        m_view.onShowFolder = [&runner] { runner.Pause(); };
        ASSERT_TRUE(runner.Start(Inputs(), &window, &m_caller, &m_view, &m_history));
        TPostedMessage message;
        EXPECT_FALSE(window.Take(message, 100));
        EXPECT_TRUE(Exists(Main("A")));
        // A second run cannot start meanwhile.
        EXPECT_FALSE(runner.Start(Inputs(), &window, &m_caller, &m_view, &m_history));
        if (cancel)
            runner.Terminate();
        else
            runner.Resume();
        ASSERT_TRUE(window.Take(message, kWaitMs));
        EXPECT_EQ(message.wParam, cancel ? 1 : 0);
        runner.Finished();
        EXPECT_EQ(Exists(Main("A")), cancel);
        EXPECT_EQ(runner.Aborted(), cancel);
        m_view.onShowFolder = nullptr;
    }
}

TEST_F(RemoveEmpty, StartRefusesAMainFolderThatIsNotAnAbsolutePath) {
    TRunRemoveThread runner;
    TRemoveInputs inputs = Inputs();
    inputs.mainFolder.clear();
    EXPECT_FALSE(runner.Start(inputs, nullptr, nullptr, nullptr, nullptr));
    inputs.mainFolder = u"relative/";
    EXPECT_FALSE(runner.Start(inputs, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(runner.Running());

    TRemoveOptions blank;
    blank.mainFolder = u"   ";
    EXPECT_TRUE(MakeRemoveInputs(blank, u"/logs").mainFolder.empty());
    EXPECT_TRUE(MakeRemoveInputs(blank, u"  ").logPath.empty());
}

TEST(RemoveEmptyInputs, MainFolderAndLogPathAreExpanded) {
    ::setenv("VDX_TEST_REMOVE", "/data/x", 1);
    TRemoveOptions options;
    options.mainFolder = u" %VDX_TEST_REMOVE%/photos ";
    options.allowHidden = true;
    options.includeList = {{u"/a/*.*"}};
    const TRemoveInputs inputs = MakeRemoveInputs(options, u"%VDX_TEST_REMOVE%/logs");
    ::unsetenv("VDX_TEST_REMOVE");
    EXPECT_EQ(ToUtf8(inputs.mainFolder), "/data/x/photos/");
    EXPECT_EQ(ToUtf8(inputs.logPath), "/data/x/logs/QVDRemovedFolders.txt");
    EXPECT_TRUE(inputs.allowHidden);
    ASSERT_EQ(inputs.includeList.size(), 1u);
    EXPECT_EQ(ToUtf8(RemoveStatisticsText({1234, 5, 0})),
              "Scanned folders: 1,234, found empty: 5, removed: 0");
}

} // namespace
} // namespace vdx
