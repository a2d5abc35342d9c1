#include "platform/VDX_unit_Trash.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_Process.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::Exists;
using test::Names;
using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFaultRule;
using test::TFsOp;
using test::TTempTree;

std::u16string U(const std::string& bytes) {
    return DecodeFileName(bytes);
}

// The value of key in a .trashinfo text.
std::string InfoValue(const std::string& info, const std::string& key) {
    std::istringstream lines(info);
    std::string line;
    while (std::getline(lines, line))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return {};
}

// A temporary home trash (XDG_DATA_HOME) and settings folder next to the
// files the tests trash, so every trash lies on the files' own file system.
class TrashTest : public ::testing::Test {
protected:
    TrashTest() : m_root(Canonical(m_tree.Root())), m_home(m_root) { m_tree.Dir("work"); }

    std::string Work(const std::string& name) const { return m_root + "/work/" + name; }
    std::string HomeTrash() const { return m_home.Trash(); }

    void Make(const std::string& path, const std::string& content) const {
        std::ofstream out(path, std::ios::binary);
        out << content;
    }

    std::vector<std::string> InfoNames() const { return Names(HomeTrash() + "/info"); }
    std::vector<std::string> TrashedNames() const { return Names(HomeTrash() + "/files"); }

    // trash-list's lines that name a file of this test.
    std::vector<std::string> TrashListLines() const {
        test::TProcessResult result = test::RunProcess("/usr/bin/trash-list", {});
        EXPECT_EQ(result.status, 0) << result.err;
        std::vector<std::string> lines;
        std::size_t start = 0;
        const std::string& out = result.out;
        while (start < out.size()) {
            std::size_t end = out.find('\n', start);
            if (end == std::string::npos)
                end = out.size();
            // A name with a line break spans two lines; the date starts each entry.
            std::string line = out.substr(start, end - start);
            if (std::regex_match(line.substr(0, std::min<std::size_t>(line.size(), 20)),
                                 std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )")))
                lines.push_back(line);
            else if (!lines.empty())
                lines.back() += "\n" + line;
            start = end + 1;
        }
        std::vector<std::string> ours;
        for (const std::string& line : lines)
            if (line.find(m_root) != std::string::npos)
                ours.push_back(line.substr(20));
        std::sort(ours.begin(), ours.end());
        return ours;
    }

    // trash-restore of the one trashed file whose original path starts with
    // path, answering its prompt with index 0.
    test::TProcessResult Restore(const std::string& path) const {
        return test::RunProcess(
            "/bin/sh", {"-c", "printf '0\\n' | /usr/bin/trash-restore \"$1\"", "sh", path});
    }

    TTempTree m_tree;
    std::string m_root;
    test::TTempXdgHome m_home;
};

TEST_F(TrashTest, TrashedFilesAreListedAndRestoredByTrashCli) {
    // Names that need escaping in Path=, and one that is not UTF-8.
    const std::vector<std::string> names = {"plain.txt", "with space.txt", "100% sure", "new\nline",
                                            "h\xC3\xA9llo #1?&=+.txt"};
    const std::string notUtf8 = "bad\xFF\xFE.bin";
    for (const std::string& name : names)
        Make(Work(name), "content of " + name);
    Make(Work(notUtf8), "raw bytes");

    for (const std::string& name : names)
        ASSERT_EQ(TrashFile(U(Work(name))), 0) << name;
    ASSERT_EQ(TrashFile(U(Work(notUtf8))), 0);

    for (const std::string& name : names) {
        EXPECT_FALSE(Exists(Work(name))) << name;
        EXPECT_EQ(ReadAll(HomeTrash() + "/files/" + name), "content of " + name);
        const std::string info = ReadAll(HomeTrash() + "/info/" + name + ".trashinfo");
        EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
        EXPECT_EQ(DecodeTrashPath(InfoValue(info, "Path")), Work(name))
            << "absolute in the home trash";
        EXPECT_TRUE(std::regex_match(InfoValue(info, "DeletionDate"),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")))
            << info;
    }
    EXPECT_EQ(InfoValue(ReadAll(HomeTrash() + "/info/100% sure.trashinfo"), "Path"),
              EncodeTrashPath(m_root) + "/work/100%25%20sure");
    const std::string rawInfo = ReadAll(HomeTrash() + "/info/" + notUtf8 + ".trashinfo");
    EXPECT_NE(InfoValue(rawInfo, "Path").find("bad%FF%FE.bin"), std::string::npos);
    EXPECT_EQ(DecodeTrashPath(InfoValue(rawInfo, "Path")), Work(notUtf8)) << "byte for byte";

    std::vector<std::string> expected;
    for (const std::string& name : names)
        expected.push_back(Work(name));
    // trash-cli decodes Path= as UTF-8 and shows the bytes it cannot as U+FFFD.
    expected.push_back(Work("bad\xEF\xBF\xBD\xEF\xBF\xBD.bin"));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(TrashListLines(), expected);

    // trash-restore works on Python text, so it can restore every name that
    // is UTF-8 but not the raw one; that one was checked byte for byte above.
    for (const std::string& name : names) {
        test::TProcessResult result = Restore(Work(name));
        EXPECT_EQ(result.status, 0) << name << result.out << result.err;
        EXPECT_EQ(ReadAll(Work(name)), "content of " + name);
    }
    EXPECT_EQ(InfoNames(), std::vector<std::string>{notUtf8 + ".trashinfo"});
}

TEST_F(TrashTest, SameNameTrashedRepeatedlyGetsUniqueEntries) {
    for (const char* folder : {"a", "b", "c"}) {
        m_tree.Dir(std::string("work/") + folder);
        Make(Work(std::string(folder) + "/same.txt"), folder);
        ASSERT_EQ(TrashFile(U(Work(std::string(folder) + "/same.txt"))), 0);
    }
    EXPECT_EQ(InfoNames(), (std::vector<std::string>{"same.txt.2.trashinfo", "same.txt.3.trashinfo",
                                                     "same.txt.trashinfo"}));
    EXPECT_EQ(TrashedNames(), (std::vector<std::string>{"same.txt", "same.txt.2", "same.txt.3"}));
    EXPECT_EQ(ReadAll(HomeTrash() + "/files/same.txt.2"), "b");
    EXPECT_EQ(TrashListLines(), (std::vector<std::string>{Work("a/same.txt"), Work("b/same.txt"),
                                                          Work("c/same.txt")}));
    for (const char* folder : {"c", "a", "b"}) {
        test::TProcessResult result = Restore(Work(std::string(folder) + "/same.txt"));
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        EXPECT_EQ(ReadAll(Work(std::string(folder) + "/same.txt")), folder);
    }
    EXPECT_TRUE(InfoNames().empty());
}

TEST_F(TrashTest, ManyEqualNamesAndOrphansNeverReplaceAnything) {
    // A file left in files/ without its info file by some other program.
    m_tree.Dir("data/Trash/info");
    m_tree.File("data/Trash/files/dup.jpg", "orphan");
    for (int i = 0; i < 25; ++i) {
        m_tree.Dir("work/" + std::to_string(i));
        Make(Work(std::to_string(i) + "/dup.jpg"), std::to_string(i));
        ASSERT_EQ(TrashFile(U(Work(std::to_string(i) + "/dup.jpg"))), 0) << i;
    }
    EXPECT_EQ(ReadAll(HomeTrash() + "/files/dup.jpg"), "orphan");
    std::vector<std::string> infos = InfoNames();
    ASSERT_EQ(infos.size(), 25u);
    std::vector<std::string> contents;
    for (const std::string& info : infos) {
        const std::string trashName = info.substr(0, info.size() - 10);
        EXPECT_NE(trashName, "dup.jpg");
        contents.push_back(ReadAll(HomeTrash() + "/files/" + trashName));
        EXPECT_EQ(DecodeTrashPath(InfoValue(ReadAll(HomeTrash() + "/info/" + info), "Path")),
                  Work(contents.back() + "/dup.jpg"));
    }
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(std::unique(contents.begin(), contents.end()), contents.end());
    EXPECT_EQ(TrashedNames().size(), 26u);
}

TEST_F(TrashTest, LongNamesAreShortenedOnCharacterBoundaries) {
    // 2 + 124 * 2 = 250 bytes: too long for NAME.trashinfo.
    std::string name = "ab";
    for (int i = 0; i < 124; ++i)
        name += "\xC3\xA9";
    Make(Work(name), "long");
    ASSERT_EQ(TrashFile(U(Work(name))), 0);
    std::vector<std::string> infos = InfoNames();
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_LE(infos[0].size(), 255u);
    const std::string trashName = infos[0].substr(0, infos[0].size() - 10);
    EXPECT_EQ(trashName.size(), 244u) << "cut before a two-byte character, not inside it";
    EXPECT_EQ(U(trashName).find(u'\xDCA9'), std::u16string::npos);
    EXPECT_EQ(ReadAll(HomeTrash() + "/files/" + trashName), "long");
    EXPECT_EQ(TrashListLines(), std::vector<std::string>{Work(name)});
    EXPECT_EQ(Restore(Work(name)).status, 0);
    EXPECT_EQ(ReadAll(Work(name)), "long");
}

TEST_F(TrashTest, SymbolicLinkIsTrashedAsTheLink) {
    Make(Work("target.txt"), "stays");
    m_tree.Symlink("target.txt", "work/link");
    ASSERT_EQ(TrashFile(U(Work("link"))), 0);
    EXPECT_EQ(ReadAll(Work("target.txt")), "stays");
    struct stat st {};
    ASSERT_EQ(::lstat((HomeTrash() + "/files/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST_F(TrashTest, BadPathsAreRefused) {
    EXPECT_EQ(TrashFile(u""), EINVAL);
    EXPECT_EQ(TrashFile(U(Work(""))), EINVAL) << "trailing slash";
    EXPECT_EQ(TrashFile(U(Work(".."))), EINVAL);
    EXPECT_EQ(TrashFile(U(Work("missing"))), ENOENT);
    EXPECT_EQ(TrashFile(U(Work("no/such/folder/x"))), ENOENT);
    Make(Work("in-trash"), "x");
    ASSERT_EQ(TrashFile(U(Work("in-trash"))), 0);
    EXPECT_EQ(TrashFile(U(HomeTrash() + "/files/in-trash")), EINVAL);
    EXPECT_EQ(TrashFile(U(HomeTrash())), EINVAL) << "the trash into itself";
    EXPECT_TRUE(Exists(HomeTrash() + "/files/in-trash"));
}

TEST_F(TrashTest, HomeTrashIsCreatedPrivate) {
    Make(Work("f"), "x");
    ASSERT_FALSE(Exists(m_home.Data()));
    ASSERT_EQ(TrashFile(U(Work("f"))), 0);
    for (const std::string& folder :
         {m_home.Data(), HomeTrash(), HomeTrash() + "/files", HomeTrash() + "/info"}) {
        struct stat st {};
        ASSERT_EQ(::stat(folder.c_str(), &st), 0) << folder;
        EXPECT_EQ(st.st_mode & 0077, 0u) << folder;
    }
    struct stat st {};
    ASSERT_EQ(::stat((HomeTrash() + "/info/f.trashinfo").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

// Every failure on the way leaves the file where it was and no info file
// behind.
TEST_F(TrashTest, FailuresLeaveTheFileAndNoInfoFile) {
    struct TCase {
        const char* what;
        TFsOp op;
        const char* pathPart;
        int error;
    };
    const TCase cases[] = {
        {"rename across file systems", TFsOp::Rename, "/files/", EXDEV},
        {"rename refused", TFsOp::Rename, "/files/", EACCES},
        {"info file not creatable", TFsOp::OpenAt, ".trashinfo", EACCES},
        {"info file not writable", TFsOp::Write, ".trashinfo", ENOSPC},
        {"info file close fails", TFsOp::Close, ".trashinfo", EIO},
        {"trash folder not creatable", TFsOp::MakeDir, "/Trash", EACCES},
        {"info folder not creatable", TFsOp::MakeDir, "/info", ENOSPC},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::string cmd = "rm -rf '" + m_home.Data() + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        Make(Work("victim"), "precious");
        TFaultFs fs;
        fs.Fail(c.op, c.pathPart, c.error);
        int result = 0;
        {
            TFaultFsInstall install(fs);
            result = TrashFile(U(Work("victim")));
        }
        EXPECT_EQ(result, c.error);
        EXPECT_EQ(ReadAll(Work("victim")), "precious");
        EXPECT_TRUE(InfoNames().empty());
        EXPECT_TRUE(TrashedNames().empty());
    }
}

TEST_F(TrashTest, RenameWithoutNoReplaceSupportStillNeverReplaces) {
    // The first rename (RENAME_NOREPLACE) reports that the file system cannot
    // do it; the plain rename that follows must still see the taken name.
    m_tree.Dir("data/Trash/info");
    m_tree.File("data/Trash/files/taken", "older");
    Make(Work("taken"), "newer");
    TFaultFs fs;
    test::TFaultRule rule;
    rule.op = TFsOp::Rename;
    rule.pathPart = "/files/taken";
    rule.error = EINVAL;
    rule.times = 1;
    fs.Add(rule);
    {
        TFaultFsInstall install(fs);
        ASSERT_EQ(TrashFile(U(Work("taken"))), 0);
    }
    EXPECT_EQ(ReadAll(HomeTrash() + "/files/taken"), "older");
    EXPECT_EQ(ReadAll(HomeTrash() + "/files/taken.2"), "newer");
    EXPECT_EQ(InfoNames(), std::vector<std::string>{"taken.2.trashinfo"});
}

TEST_F(TrashTest, FileInReadOnlyFolderStays) {
    if (!test::PermissionBitsBind())
        GTEST_SKIP() << "root may rename in a read-only folder; the fault test covers EACCES";
    m_tree.Dir("work/locked");
    Make(Work("locked/f"), "keep");
    ASSERT_EQ(::chmod(Work("locked").c_str(), 0555), 0);
    EXPECT_EQ(TrashFile(U(Work("locked/f"))), EACCES);
    EXPECT_EQ(ReadAll(Work("locked/f")), "keep");
    EXPECT_TRUE(InfoNames().empty());
}

// The top-folder trash rules: the shared .Trash only with the sticky bit and
// never through a link; a per-user folder only when it is the user's own
// real folder.
TEST_F(TrashTest, TopDirTrashFollowsTheStickyBitRules) {
    const uid_t uid = ::getuid();
    const std::string uidText = std::to_string(uid);
    struct TCase {
        const char* what;
        std::function<void(const std::string& top)> prepare;
        int error;
        const char* folder; // relative to top
    };
    const std::vector<TCase> cases = {
        {"nothing there", [](const std::string&) {}, 0, ".Trash-UID"},
        {"sticky shared trash",
         [](const std::string& top) {
             ::mkdir((top + "/.Trash").c_str(), 0777);
             ::chmod((top + "/.Trash").c_str(), 01777);
         },
         0, ".Trash/UID"},
        {"shared trash without sticky bit",
         [](const std::string& top) {
             ::mkdir((top + "/.Trash").c_str(), 0777);
             ::chmod((top + "/.Trash").c_str(), 0777);
         },
         0, ".Trash-UID"},
        {"shared trash is a link to a sticky folder",
         [](const std::string& top) {
             ::mkdir((top + "/real").c_str(), 0777);
             ::chmod((top + "/real").c_str(), 01777);
             ::symlink("real", (top + "/.Trash").c_str());
         },
         0, ".Trash-UID"},
        {"user's place in the shared trash is a file",
         [uidText](const std::string& top) {
             ::mkdir((top + "/.Trash").c_str(), 0777);
             ::chmod((top + "/.Trash").c_str(), 01777);
             std::ofstream(top + "/.Trash/" + uidText) << "x";
         },
         0, ".Trash-UID"},
        {"own trash is a link",
         [uidText](const std::string& top) {
             ::mkdir((top + "/elsewhere").c_str(), 0700);
             ::symlink("elsewhere", (top + "/.Trash-" + uidText).c_str());
         },
         EPERM, nullptr},
        {"own trash is a file",
         [uidText](const std::string& top) { std::ofstream(top + "/.Trash-" + uidText) << "x"; },
         EPERM, nullptr},
    };
    int n = 0;
    for (const TCase& c : cases) {
        for (bool create : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (create ? " (create)" : " (look)"));
            const std::string rel = "top" + std::to_string(n++);
            m_tree.Dir(rel);
            const std::string top = m_root + "/" + rel;
            c.prepare(top);
            std::string folder;
            EXPECT_EQ(FindTopDirTrash(top, uid, create, folder), c.error);
            if (!c.folder)
                continue;
            std::string expected = std::regex_replace(c.folder, std::regex("UID"), uidText);
            EXPECT_EQ(folder, top + "/" + expected);
            struct stat st {};
            const bool made = ::lstat(folder.c_str(), &st) == 0;
            EXPECT_EQ(made, create) << "looking creates nothing";
            if (made) {
                EXPECT_TRUE(S_ISDIR(st.st_mode));
                EXPECT_EQ(st.st_mode & 0777, 0700u);
            }
        }
    }
}

TEST_F(TrashTest, TopDirTrashOfAnotherUserIsNotUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    m_tree.Dir("top/.Trash-0");
    ASSERT_EQ(::chown(m_tree.Path("top/.Trash-0").c_str(), 12345, 12345), 0);
    std::string folder;
    EXPECT_EQ(FindTopDirTrash(m_root + "/top", 0, true, folder), EPERM);
}

// A made-up machine over the test's folders: everything lies on the real file
// system, but the table says which folder is what kind of mount.
class TrashMountsTest : public TrashTest {
protected:
    TrashMountsTest() {
        for (const char* folder : {"vol", "sys", "ro", "notrash"})
            m_tree.Dir(folder);
        struct stat st {};
        ::stat(m_root.c_str(), &st);
        auto add = [&](const std::string& point, const char* type, const char* options) {
            TMountEntry entry;
            entry.mountId = static_cast<int>(m_mounts.size()) + 1;
            entry.device = st.st_dev;
            entry.root = "/";
            entry.mountPoint = point;
            entry.mountOptions = options;
            entry.fsType = type;
            entry.source = "/dev/fake";
            entry.superOptions = "rw";
            m_mounts.push_back(entry);
        };
        add("/", "ext4", "rw,relatime");
        add(m_root + "/vol", "vfat", "rw,nosuid");
        add(m_root + "/sys", "tmpfs", "rw");
        add(m_root + "/ro", "ext4", "ro,relatime");
        add(m_root + "/notrash", "ext4", "rw,x-gvfs-notrash");
    }

    std::string Own() const { return ".Trash-" + std::to_string(::getuid()); }

    std::vector<TMountEntry> m_mounts;
};

TEST_F(TrashMountsTest, EachKindOfMountGetsItsTrashOrItsReason) {
    struct TCase {
        const char* rel;
        TTrashProblem problem;
        bool home;
    };
    const TCase cases[] = {
        {"work", TTrashProblem::kNone, true},
        {"vol", TTrashProblem::kNone, false},
        {"sys", TTrashProblem::kSystemVolume, false},
        {"ro", TTrashProblem::kReadOnly, false},
        {"notrash", TTrashProblem::kSwitchedOff, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.rel);
        const std::string file = m_root + "/" + c.rel + "/f";
        Make(file, "x");
        TTrashLocation look = LocateTrash(m_mounts, file, false);
        EXPECT_EQ(look.problem, c.problem);
        EXPECT_EQ(look.home, c.home);
        EXPECT_FALSE(Exists(HomeTrash())) << "looking creates nothing";
        TTrashState state = QueryTrash(m_mounts, U(m_root + "/" + c.rel + "/"));
        EXPECT_EQ(state.problem, c.problem);
        EXPECT_EQ(state.folder, look.folder);
    }
    EXPECT_EQ(LocateTrash(m_mounts, m_root + "/vol/f", false).folder, m_root + "/vol/" + Own());
    EXPECT_EQ(LocateTrash(m_mounts, m_root + "/vol/f", false).topDir, m_root + "/vol");
    EXPECT_EQ(LocateTrash(m_mounts, m_root + "/work/f", false).folder, HomeTrash());
}

TEST_F(TrashMountsTest, HomeTrashServesItsOwnMountEvenOnTmpfs) {
    m_mounts[0].fsType = "tmpfs";
    Make(Work("f"), "x");
    TTrashLocation location = LocateTrash(m_mounts, Work("f"), true);
    EXPECT_EQ(location.problem, TTrashProblem::kNone);
    EXPECT_TRUE(location.home);
    Make(m_root + "/sys/f", "x");
    EXPECT_EQ(LocateTrash(m_mounts, m_root + "/sys/f", true).problem, TTrashProblem::kSystemVolume);
}

TEST_F(TrashMountsTest, TopDirTrashRecordsPathsFromItsTopFolder) {
    m_tree.Dir("vol/sub dir");
    Make(m_root + "/vol/sub dir/f 1", "one");
    ASSERT_EQ(TrashBatch(m_mounts, {U(m_root + "/vol/sub dir/f 1")}, TNoTrashAction::kKeep), 0);
    const std::string trash = m_root + "/vol/" + Own();
    EXPECT_EQ(ReadAll(trash + "/files/f 1"), "one");
    const std::string info = ReadAll(trash + "/info/f 1.trashinfo");
    EXPECT_EQ(InfoValue(info, "Path"), "sub%20dir/f%201");
    struct stat st {};
    ASSERT_EQ(::stat(trash.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(Exists(HomeTrash()));
}

TEST_F(TrashMountsTest, BatchTriesEveryPathAndReportsTheFirstError) {
    Make(Work("a"), "a");
    Make(m_root + "/sys/b", "b");
    Make(m_root + "/vol/c", "c");
    const std::vector<std::u16string> batch = {U(Work("a")), U(m_root + "/sys/b"),
                                               U(Work("missing")), U(m_root + "/vol/c")};
    EXPECT_EQ(TrashBatch(m_mounts, batch, TNoTrashAction::kKeep), ENOTSUP);
    EXPECT_FALSE(Exists(Work("a")));
    EXPECT_EQ(ReadAll(m_root + "/sys/b"), "b") << "kept: no trash there";
    EXPECT_FALSE(Exists(m_root + "/vol/c")) << "the batch goes on after a failure";
    EXPECT_EQ(TrashBatch(m_mounts, {}, TNoTrashAction::kKeep), 0);
}

TEST_F(TrashMountsTest, PermanentDeletionOnlyWhereTheAnalysisForesawIt) {
    const std::string own = m_root + "/vol/" + Own();
    struct TCase {
        const char* what;
        std::string file;
        std::function<void()> prepare;
        std::optional<TFaultRule> fault;
        bool deleted;
        int result;
    };
    auto makeDirFault = [](const std::string& part, int error) {
        TFaultRule rule;
        rule.op = TFsOp::MakeDir;
        rule.pathPart = part;
        rule.error = error;
        return rule;
    };
    const std::vector<TCase> cases = {
        {"system volume", m_root + "/sys/f", [] {}, std::nullopt, true, 0},
        {"trash switched off", m_root + "/notrash/f", [] {}, std::nullopt, true, 0},
        {"own trash folder is a link", m_root + "/vol/f", [&] { ::symlink("/", own.c_str()); },
         std::nullopt, true, 0},
        {"trash folder full while being made", m_root + "/vol/f", [] {},
         makeDirFault("/.Trash-", ENOSPC), false, ENOSPC},
        {"making refused although the folder looked writable", m_root + "/vol/f", [] {},
         makeDirFault("/.Trash-", EACCES), false, EACCES},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(own.c_str());
        ::rmdir(own.c_str());
        c.prepare();
        Make(c.file, "data");
        TFaultFs fs;
        if (c.fault)
            fs.Add(*c.fault);
        int keep = 0;
        int permanent = 0;
        {
            TFaultFsInstall install(fs);
            keep = TrashBatch(m_mounts, {U(c.file)}, TNoTrashAction::kKeep);
            permanent = TrashBatch(m_mounts, {U(c.file)}, TNoTrashAction::kDeletePermanently);
        }
        EXPECT_NE(keep, 0) << "kept files are reported";
        EXPECT_EQ(permanent, c.result);
        EXPECT_EQ(Exists(c.file), !c.deleted);
        ::unlink(c.file.c_str());
    }
    ::unlink(own.c_str());
}

TEST_F(TrashTest, QueryReportsContentAndKdeLimit) {
    TTrashState state = QueryTrash(U(m_root));
    EXPECT_EQ(state.problem, TTrashProblem::kNone);
    EXPECT_EQ(state.folder, HomeTrash());
    EXPECT_EQ(state.bytes, 0u);
    EXPECT_EQ(state.items, 0u);
    EXPECT_FALSE(state.limited) << "no ktrashrc: unlimited";
    EXPECT_FALSE(Exists(HomeTrash())) << "the query creates nothing";

    Make(Work("one"), std::string(100, 'x'));
    m_tree.Dir("work/folder/deeper");
    Make(Work("folder/a"), std::string(200, 'y'));
    Make(Work("folder/deeper/b"), std::string(50, 'z'));
    ASSERT_EQ(TrashFile(U(Work("one"))), 0);
    ASSERT_EQ(TrashFile(U(Work("folder"))), 0);
    state = QueryTrash(U(m_root));
    EXPECT_EQ(state.bytes, 350u);
    EXPECT_EQ(state.items, 2u);

    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(m_root.c_str(), &vfs), 0);
    const double total = static_cast<double>(vfs.f_blocks) * static_cast<double>(vfs.f_frsize);
    m_tree.File("config/ktrashrc", "[" + HomeTrash() + "]\nPercent=2.5\nUseSizeLimit=true\n");
    state = QueryTrash(U(m_root));
    EXPECT_TRUE(state.limited);
    EXPECT_NEAR(static_cast<double>(state.capacityBytes), total * 0.025, 1.0);
    m_tree.File("config/ktrashrc", "[" + HomeTrash() + "]\nUseSizeLimit=false\n");
    EXPECT_FALSE(QueryTrash(U(m_root)).limited);
    m_tree.File("config/ktrashrc", "[/some/other/Trash]\nPercent=50\n");
    state = QueryTrash(U(m_root));
    EXPECT_TRUE(state.limited) << "a ktrashrc without our group: KDE's defaults";
    EXPECT_NEAR(static_cast<double>(state.capacityBytes), total * 0.10, 1.0);
}

TEST(TrashText, KdeLimitGroups) {
    struct TCase {
        const char* text;
        bool found;
        bool limited;
        double percent;
    };
    const TCase cases[] = {
        {"", false, true, 10},
        {"[/t]\nPercent=15\n", true, true, 15},
        {"[/t/]\r\nUseSizeLimit = false\r\n", true, false, 10},
        {"[/other]\nPercent=15\n[/t]\nUseSizeLimit=0\n", true, false, 10},
        {"[/t]\nPercent=abc\nUseSizeLimit=maybe\n", true, true, 10},
        {"[/t]\nPercent=250\n", true, true, 100},
        {"[/t]\nPercent=-3\n", true, true, 0},
        {"Percent=5\n[/t2]\nPercent=7\n", false, true, 10},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.text);
        bool limited = false;
        double percent = 0;
        EXPECT_EQ(ReadKdeTrashLimit(c.text, "/t", limited, percent), c.found);
        EXPECT_EQ(limited, c.limited);
        EXPECT_DOUBLE_EQ(percent, c.percent);
    }
}

TEST(TrashText, PathEncodingIsLosslessAndReadable) {
    EXPECT_EQ(EncodeTrashPath("/a b/100%/\xC3\xA9\xFF\n~_-."), "/a%20b/100%25/%C3%A9%FF%0A~_-.");
    for (std::string raw : {std::string("/x/\x01\x7F\x80\xFF"), std::string("%%41"),
                            std::string("plain/path"), std::string("\0nul", 4)})
        EXPECT_EQ(DecodeTrashPath(EncodeTrashPath(raw)), raw);
    EXPECT_EQ(DecodeTrashPath("%41%62c%2f"), "Abc/");
    EXPECT_EQ(DecodeTrashPath("100%"), "100%");
    EXPECT_EQ(DecodeTrashPath("%4"), "%4");
    EXPECT_EQ(DecodeTrashPath("%zz%4g"), "%zz%4g");
}

TEST(MountOptions, ListsUtabAndFstab) {
    EXPECT_TRUE(MountOptionListHas("rw,ro,relatime", "ro"));
    EXPECT_TRUE(MountOptionListHas("ro", "ro"));
    EXPECT_FALSE(MountOptionListHas("errors=remount-ro", "ro"));
    EXPECT_FALSE(MountOptionListHas("", "ro"));
    EXPECT_FALSE(MountOptionListHas("rw,", ""));

    TMountEntry entry;
    entry.mountOptions = "rw,nosuid";
    entry.superOptions = "ro,errors=continue";
    EXPECT_TRUE(MountIsReadOnly(entry)) << "the file system itself is read-only";
    entry.superOptions = "rw";
    EXPECT_FALSE(MountIsReadOnly(entry));

    for (const char* type : {"tmpfs", "overlay", "proc", "sysfs", "cgroup2", "devtmpfs", "ramfs"})
        EXPECT_TRUE(IsSystemInternalFsType(type)) << type;
    for (const char* type : {"ext4", "btrfs", "vfat", "nfs4", "fuse.sshfs", "xfs"})
        EXPECT_FALSE(IsSystemInternalFsType(type)) << type;

    const std::string_view utab =
        "SRC=/dev/sdb1 TARGET=/media/u/My\\040Stick ROOT=/ OPTS=uhelper=udisks2,x-gvfs-notrash\n"
        "SRC=/dev/sdc1 TARGET=/mnt/other ROOT=/ OPTS=uhelper=udisks2\n";
    EXPECT_TRUE(UtabHasOption(utab, "/media/u/My Stick", "x-gvfs-notrash"));
    EXPECT_FALSE(UtabHasOption(utab, "/mnt/other", "x-gvfs-notrash"));
    EXPECT_FALSE(UtabHasOption(utab, "/media/u", "x-gvfs-notrash"));

    const std::string_view fstab =
        "# /etc/fstab\n"
        "UUID=1234 / ext4 defaults 0 1\n"
        "LABEL=data\t/srv/my\\040data/\txfs\tdefaults,x-gvfs-notrash 0 2\n"
        "#/dev/sdz /old ext4 x-gvfs-notrash 0 0\n"
        "/dev/sdy /short\n";
    EXPECT_TRUE(FstabHasOption(fstab, "/srv/my data", "x-gvfs-notrash"));
    EXPECT_FALSE(FstabHasOption(fstab, "/", "x-gvfs-notrash"));
    EXPECT_FALSE(FstabHasOption(fstab, "/old", "x-gvfs-notrash")) << "commented out";
    EXPECT_FALSE(FstabHasOption(fstab, "/short", "x-gvfs-notrash"));

    entry.mountPoint = "/nowhere/vdx-test";
    entry.mountOptions = "rw,x-gvfs-notrash";
    EXPECT_TRUE(MountHasOption(entry, "x-gvfs-notrash"));
}

} // namespace
} // namespace vdx
