// End-to-end tests of the stored search sets on the command line: `sets
// list`, `sets save`, `sets delete`, `find --set` and `find --current-set`,
// and the global --settings option. HOME and XDG_CONFIG_HOME point into a
// temporary tree, so the user's own settings are never read or touched.

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Json.h"
#include "tests/support/VDX_test_Process.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx::test {
namespace {

TProcessResult Cli(std::vector<std::string> args) {
    return RunProcess(VDX_CLI_PATH, args);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Sets an environment variable for the fixture's lifetime.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (m_had)
            ::setenv(m_name, m_old.c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

// Files to search:
//   a/x.txt, b/x.txt ("hello")   a/y.log, b/y.log ("hi")
//   a/cache/z.txt ("hello")      c/w.txt ("hello")
class SetsTest : public ::testing::Test {
protected:
    SetsTest()
        : m_home("HOME", m_tree.Path("home")), m_config("XDG_CONFIG_HOME", m_tree.Path("config")) {
        m_tree.Dir("home");
        m_tree.Dir("config");
        m_tree.File("data/a/x.txt", "hello");
        m_tree.File("data/b/x.txt", "hello");
        m_tree.File("data/a/y.log", "hi");
        m_tree.File("data/b/y.log", "hi");
        m_tree.File("data/a/cache/z.txt", "hello");
        m_tree.File("data/c/w.txt", "hello");
    }

    std::string D(const std::string& rel) const { return m_tree.Path("data/" + rel); }
    std::string Ini() const { return m_tree.Path("settings.ini"); }
    std::string DefaultIni() const { return m_tree.Path("config/Quillborne/QVD/QVD.ini"); }

    // The files of every group of a JSON result, relative to data/, sorted.
    std::vector<std::string> Found(const TProcessResult& r) const {
        EXPECT_EQ(r.status, 0) << r.err;
        TJson json;
        std::string error;
        EXPECT_TRUE(ParseJson(r.out, json, error)) << error << "\n" << r.out;
        std::vector<std::string> files;
        for (const TJson& g : json["groups"].items)
            for (const TJson& f : g["files"].items)
                files.push_back(EncodeFileName(f.text).substr(D("").size()));
        std::sort(files.begin(), files.end());
        return files;
    }

    TTempTree m_tree;
    TScopedEnv m_home;
    TScopedEnv m_config;
};

using TFiles = std::vector<std::string>;

TEST_F(SetsTest, SaveListFindAndDeleteThroughOneFile) {
    TProcessResult r = Cli({"--settings", Ini(), "sets", "save", "Texts", D("a"), D("b"),
                            "--include", "*.txt", "--exclude-dir", D("a/cache")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Stored the search set 'Texts' (2 paths) in " + Ini() + "\n");
    EXPECT_EQ(r.err, "");
    // Only the given file was written; no default folder was made.
    EXPECT_TRUE(Exists(Ini()));
    EXPECT_FALSE(Exists(m_tree.Path("config/Quillborne")));

    r = Cli({"sets", "save", "All", D("c"), D("a"), "--settings=" + Ini()});
    ASSERT_EQ(r.status, 0) << r.err;

    // Sorted by name; every path with the cells of the current-set list.
    r = Cli({"sets", "list", "--settings", Ini()});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string defaults = "    Include mask: *.* | Exclude mask: - | Size filter: - | "
                                 "Date filter: - | Attr filter: - | Excluded paths: - | SF: Yes";
    const std::string texts = "    Include mask: *.txt | Exclude mask: - | Size filter: - | "
                              "Date filter: - | Attr filter: - | Excluded paths: Yes | SF: Yes";
    EXPECT_EQ(Lines(r.out),
              (TFiles{"All [2 paths]", "  " + D("c"), defaults, "  " + D("a"), defaults,
                      "Texts [2 paths]", "  " + D("a"), texts, "  " + D("b"), texts}))
        << r.out;

    // The set's own filters apply: only the two x.txt outside the cache.
    EXPECT_EQ(Found(Cli({"--settings", Ini(), "find", "--format", "json", "--set", "texts"})),
              (TFiles{"a/x.txt", "b/x.txt"}));
    EXPECT_EQ(Found(Cli({"find", "--format=json", "--set=ALL", "--settings", Ini()})),
              (TFiles{"a/cache/z.txt", "a/x.txt", "c/w.txt"}));

    r = Cli({"--settings", Ini(), "sets", "delete", "tExTs"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Deleted the stored search set 'Texts' (2 paths) from " + Ini() + "\n");
    r = Cli({"--settings", Ini(), "sets", "list"});
    EXPECT_EQ(Lines(r.out)[0], "All [2 paths]");
    EXPECT_EQ(Lines(r.out).size(), 5u) << r.out;
    r = Cli({"--settings", Ini(), "sets", "delete", "All"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Cli({"--settings", Ini(), "sets", "list"}).out, "There are no stored search sets.\n");
}

TEST_F(SetsTest, FilterOptionsMapToTheCellsAsFindTakesThem) {
    ASSERT_EQ(Cli({"--settings", Ini(), "sets", "save", "F", D("a"), "--min-size", "2M",
                   "--max-size", "500K", "--newer", "2024-01-01", "--attr", "+h-s", "--exclude",
                   "*.tmp", "--exclude", "~*", "--no-subfolders"})
                  .status,
              2); // min above max is refused, as by find
    const TProcessResult r =
        Cli({"--settings", Ini(), "sets", "save", "F", D("a"), "--min-size", "500K", "--max-size",
             "2M", "--newer", "2024-01-01", "--attr", "+h-s", "--exclude", "*.tmp", "--exclude",
             "~*", "--no-subfolders"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(Cli({"--settings", Ini(), "sets", "list"}).out),
              (TFiles{"F [1 path]", "  " + D("a"),
                      "    Include mask: *.* | Exclude mask: *.tmp;~* | Size filter: more 500 Kb, "
                      "less 2 Mb | Date filter: Yes | Attr filter: H (S) | Excluded paths: - | "
                      "SF: No"}));
    // The file holds the fields as the program stores them.
    const std::string ini = ReadAll(Ini());
    for (const char* line :
         {"SetStoreCount=1", "SetName=F", "PathCount=1", "FLT_SizeA=500", "FLT_SizeDegreeA=1",
          "FLT_SizeB=2", "FLT_SizeDegreeB=2", "FLT_SizePos=2", "FLT_DatePos=1",
          "FLT_Attr_IncMask=2", "FLT_Attr_ExcMask=4", "bSubFolders=0"})
        EXPECT_NE(ini.find(std::string("\r\n") + line + "\r\n"), std::string::npos) << line;
}

TEST_F(SetsTest, SaveReplacesASetOfEqualNameIgnoringCase) {
    ASSERT_EQ(Cli({"--settings", Ini(), "sets", "save", "Photos", D("a"), D("b")}).status, 0);
    TProcessResult r = Cli({"--settings", Ini(), "sets", "save", "PHOTOS", D("c")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Replaced the stored search set 'Photos' (2 paths) with 'PHOTOS' (1 path) in " +
                  Ini() + "\n");
    r = Cli({"--settings", Ini(), "sets", "list"});
    EXPECT_EQ(Lines(r.out).size(), 3u) << r.out;
    EXPECT_EQ(Lines(r.out)[0], "PHOTOS [1 path]");
    EXPECT_EQ(Lines(r.out)[1], "  " + D("c"));

    // The name is matched as typed: a blank in front or behind matches
    // nothing, so another set of the same trimmed name is stored, as the
    // name dialog does.
    r = Cli({"--settings", Ini(), "sets", "save", " photos ", D("a")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Stored the search set 'photos' (1 path)", 0), 0u) << r.out;
    r = Cli({"--settings", Ini(), "sets", "list"});
    EXPECT_EQ(Lines(r.out)[0], "PHOTOS [1 path]");
    EXPECT_EQ(Lines(r.out)[3], "photos [1 path]");
    // Of two equal names the first in the list is the one found.
    EXPECT_EQ(Cli({"--settings", Ini(), "sets", "delete", "Photos"}).status, 0);
    EXPECT_EQ(Lines(Cli({"--settings", Ini(), "sets", "list"}).out)[0], "photos [1 path]");

    for (const char* blank : {"", "   "}) {
        r = Cli({"--settings", Ini(), "sets", "save", blank, D("a")});
        EXPECT_EQ(r.status, 2) << blank;
        EXPECT_NE(r.err.find("blank"), std::string::npos) << r.err;
    }
}

TEST_F(SetsTest, CurrentSetIsSearchedAndCanBeStored) {
    // A file as the desktop program writes it, with settings the command
    // line does not use: they must survive a save.
    const std::string ini = "[MainSection]\r\nsptlMain=400\r\n\r\n"
                            "[SearchPathHistory]\r\nSearchPathCount=1\r\nSearchPath_1=" +
                            D("a") +
                            "\r\n\r\n"
                            "[CurrentSetSection]\r\nCurrentSetCount=2\r\n\r\n"
                            "[CurrentSearchData_1]\r\nSearchPath=" +
                            D("a") +
                            "\r\nFLT_Include=*.log\r\n\r\n"
                            "[CurrentSearchData_2]\r\nSearchPath=" +
                            D("b") + "\r\nFLT_Include=*.log\r\n";
    m_tree.File("settings.ini", ini);
    EXPECT_EQ(Found(Cli({"--settings", Ini(), "find", "--format", "json", "--current-set"})),
              (TFiles{"a/y.log", "b/y.log"}));
    // Reading wrote nothing.
    EXPECT_EQ(ReadAll(Ini()), ini);

    const TProcessResult r = Cli({"--settings", Ini(), "sets", "save", "Logs", "--current-set"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Found(Cli({"--settings", Ini(), "find", "--format", "json", "--set", "logs"})),
              (TFiles{"a/y.log", "b/y.log"}));
    const std::string saved = ReadAll(Ini());
    for (const std::string& line :
         TFiles{"sptlMain=400", "SearchPath_1=" + D("a"), "CurrentSetCount=2", "SetName=Logs"})
        EXPECT_NE(saved.find("\r\n" + line + "\r\n"), std::string::npos) << line;

    // A copy of a stored set under another name.
    ASSERT_EQ(Cli({"--settings", Ini(), "sets", "save", "Copy", "--set", "LOGS"}).status, 0);
    EXPECT_EQ(Lines(Cli({"--settings", Ini(), "sets", "list"}).out)[0], "Copy [2 paths]");
}

TEST_F(SetsTest, RefusedArgumentsLeaveTheFileAsItWas) {
    ASSERT_EQ(Cli({"--settings", Ini(), "sets", "save", "One", D("a")}).status, 0);
    ASSERT_EQ(Cli({"--settings", Ini(), "sets", "save", "Two", D("b")}).status, 0);
    const std::string before = ReadAll(Ini());
    struct TCase {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const TCase cases[] = {
        {{"find", "--set", "one", D("c")}, 2, "takes the place of the PATH arguments"},
        {{"find", "--set", "one", "--include", "*.txt"}, 2, "--include cannot be combined"},
        {{"find", "--current-set", "--min-size", "1"}, 2, "--min-size cannot be combined"},
        {{"find", "--set", "one", "--current-set"}, 2, "cannot be combined"},
        {{"find", "--set", "three"},
         2,
         "no stored search set is named 'three'\nStored search sets:\n  One\n  Two\n"},
        // The current set of this file is empty.
        {{"find", "--current-set"}, 2, "the current search set holds no path"},
        {{"sets", "delete", "three"}, 2, "Stored search sets:\n  One\n  Two\n"},
        {{"sets", "delete"}, 2, "needs the name"},
        {{"sets", "delete", "One", "Two"}, 2, "one name"},
        {{"sets", "save", "Three"}, 2, "no folder to search was given"},
        {{"sets", "save", "Three", D("a"), D("a/cache")}, 2, "is a parent of a folder"},
        {{"sets", "save", "Three", "--set", "nine"}, 2, "no stored search set is named 'nine'"},
        {{"sets", "save", "Three", D("a"), "--view", "name"}, 2, "unknown option '--view'"},
        {{"sets", "save", "Three", D("a"), "--no-protect-hidden"}, 2, "unknown option"},
        // A folder name the file would give back trimmed names another folder.
        {{"sets", "save", "Three", D("a") + " "}, 2, "cannot be kept in the settings file"},
        {{"sets", "save", "Three", D("a"), "--exclude-dir", D("a/x\ny")},
         2,
         "cannot be kept in the settings file"},
        {{"sets", "save", "Line\nbreak", D("a")}, 2, "line break"},
        {{"sets", "rename", "One"}, 2, "unknown sets command"},
        {{"sets"}, 2, "give list, save or delete"},
        {{"sets", "list", "extra"}, 2, "list takes no argument"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"--settings", Ini()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const TProcessResult r = Cli(args);
        EXPECT_EQ(r.status, c.status) << ::testing::PrintToString(c.args) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos)
            << ::testing::PrintToString(c.args) << "\n"
            << r.err;
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(c.args);
    }
    EXPECT_EQ(ReadAll(Ini()), before);
    EXPECT_FALSE(Exists(m_tree.Path("config/Quillborne")));
}

TEST_F(SetsTest, DefaultFileIsReadOnlyWhenItExistsAndWrittenOnlyBySave) {
    // Nothing stored yet: reading commands create neither file nor folder.
    TProcessResult r = Cli({"sets", "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "There are no stored search sets.\n");
    r = Cli({"find", "--set", "any"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("There are no stored search sets."), std::string::npos) << r.err;
    EXPECT_EQ(Cli({"sets", "delete", "any"}).status, 2);
    EXPECT_FALSE(Exists(m_tree.Path("config/Quillborne")));

    r = Cli({"sets", "save", "Mine", D("a"), D("b")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Stored the search set 'Mine' (2 paths) in " + DefaultIni() + "\n");
    ASSERT_TRUE(Exists(DefaultIni()));
    EXPECT_EQ(Found(Cli({"find", "--format", "json", "--set", "mine"})),
              (TFiles{"a/cache/z.txt", "a/x.txt", "a/y.log", "b/x.txt", "b/y.log"}));
    EXPECT_EQ(Cli({"sets", "delete", "MINE"}).status, 0);
    EXPECT_EQ(ReadAll(DefaultIni()).find("SetName="), std::string::npos);
    // No temporary file is left beside it; the lock file stays.
    const std::string folder = m_tree.Path("config/Quillborne/QVD");
    const TProcessResult listing = RunProcess("/bin/ls", {"-A", folder});
    EXPECT_EQ(listing.out, "QVD.ini\nQVD.ini.lock\n");
}

TEST_F(SetsTest, SettingsThatCannotBeReadAreNeverOverwritten) {
    // A folder in the place of the file cannot be read.
    m_tree.Dir("settings.ini");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"sets", "save", "X", D("a")},
          std::vector<std::string>{"sets", "list"}, std::vector<std::string>{"sets", "delete", "X"},
          std::vector<std::string>{"find", "--set", "X"}}) {
        std::vector<std::string> all = {"--settings", Ini()};
        all.insert(all.end(), args.begin(), args.end());
        const TProcessResult r = Cli(all);
        EXPECT_EQ(r.status, 1) << ::testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find("cannot read the settings file '" + Ini() + "'"), std::string::npos)
            << r.err;
    }
    // A --settings file that does not exist is an error for readers, and
    // save creates it.
    const std::string missing = m_tree.Path("new.ini");
    EXPECT_EQ(Cli({"--settings", missing, "sets", "list"}).status, 1);
    EXPECT_EQ(Cli({"--settings", missing, "find", "--set", "X"}).status, 1);
    EXPECT_FALSE(Exists(missing));
    EXPECT_EQ(Cli({"--settings", missing, "sets", "save", "X", D("a")}).status, 0);
    EXPECT_TRUE(Exists(missing));
    // The option needs its file.
    EXPECT_EQ(Cli({"sets", "list", "--settings"}).status, 2);
    EXPECT_EQ(Cli({"--settings=", "sets", "list"}).status, 2);
}

TEST_F(SetsTest, SavesRunAtOnceKeepEverySet) {
    // Each run reads the file, adds its set and replaces the file; without
    // the lock, runs that read the same old file drop each other's sets.
    constexpr int kRuns = 16;
    std::vector<TProcessResult> results(kRuns);
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i)
        threads.emplace_back([&, i] {
            results[i] =
                Cli({"--settings", Ini(), "sets", "save", "S" + std::to_string(i), D("a")});
        });
    for (std::thread& t : threads)
        t.join();
    for (const TProcessResult& r : results)
        EXPECT_EQ(r.status, 0) << r.err;
    const TProcessResult list = Cli({"--settings", Ini(), "sets", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    for (int i = 0; i < kRuns; ++i)
        EXPECT_NE(list.out.find("S" + std::to_string(i) + " [1 path]\n"), std::string::npos)
            << i << "\n"
            << list.out;
    // The lock file stays beside the settings; nothing else is left.
    EXPECT_TRUE(Exists(Ini() + ".lock"));
}

TEST_F(SetsTest, AFileThatIsNotASettingsFileIsNeverReplaced) {
    struct TCase {
        const char* what;
        std::string content;
        int saveStatus;
    };
    std::string random(4096, '\0');
    for (std::size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<char>((i * 2654435761u) >> 13);
    const TCase cases[] = {
        {"random bytes", random, 1},
        {"an INI file of another program", "[Desktop Entry]\nName=x\n", 1},
        {"text without sections", "just some notes\n", 1},
        {"empty", "", 0},
        {"a settings file", "[MainSection]\n", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        {
            std::ofstream out(Ini(), std::ios::binary | std::ios::trunc);
            out << c.content;
        }
        for (const char* command : {"save", "delete"}) {
            std::vector<std::string> args = {"--settings", Ini(), "sets", command, "X"};
            if (std::string(command) == "save")
                args.push_back(D("a"));
            const TProcessResult r = Cli(args);
            if (c.saveStatus == 0) {
                EXPECT_EQ(r.status, 0) << command << r.err;
                continue;
            }
            EXPECT_EQ(r.status, 1) << command;
            EXPECT_NE(r.err.find("'" + Ini() + "' is not a settings file"), std::string::npos)
                << r.err;
            std::ifstream in(Ini(), std::ios::binary);
            const std::string now((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
            EXPECT_EQ(now, c.content) << command;
        }
    }
}

} // namespace
} // namespace vdx::test
