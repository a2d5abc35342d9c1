// End-to-end tests of `vardex-cli find`: the program is run on temporary
// trees and its exit status, JSON and text output are checked.

#include <algorithm>
#include <ctime>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Json.h"
#include "tests/support/VDX_test_Process.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx::test {
namespace {

TProcessResult Cli(std::vector<std::string> args, const std::string& cwd = {}) {
    return RunProcess(VDX_CLI_PATH, args, cwd);
}

// Seconds since 1970 of local noon of a day, so that a day's filter bound
// in local time falls clearly before or after it.
std::int64_t LocalNoon(int year, int month, int day) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&t));
}

// The groups of a JSON result: each group's file paths, as bytes.
using TGroups = std::vector<std::vector<std::string>>;

TGroups GroupsOf(const TJson& result) {
    TGroups groups;
    for (const TJson& g : result["groups"].items) {
        groups.emplace_back();
        for (const TJson& f : g["files"].items)
            groups.back().push_back(EncodeFileName(f.text));
    }
    return groups;
}

// Parses the output of a run that must have succeeded.
TJson JsonOf(const TProcessResult& r) {
    TJson json;
    std::string error;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ParseJson(r.out, json, error)) << error << "\n" << r.out;
    return json;
}

// A tree with groups in every view:
//   5 bytes: a/dup.txt, b/dup.txt, b/note.txt, a/.hidden.txt (and
//            a/.hid/dup.txt inside a hidden folder)
//   2 bytes: c/dup.txt, c/x.log      2048 bytes: big/k1.bin, big/k2.bin
//   0 bytes: c/e1, c/e2              6 bytes: a/solo.dat
class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tree.File("a/dup.txt", "hello");
        m_tree.File("b/dup.txt", "hello");
        m_tree.File("b/note.txt", "hello");
        m_tree.File("a/.hidden.txt", "hello");
        m_tree.File("a/.hid/dup.txt", "hello");
        m_tree.File("c/dup.txt", "hi");
        m_tree.File("c/x.log", "hi");
        m_tree.FileOfSize("big/k1.bin", 2048);
        m_tree.FileOfSize("big/k2.bin", 2048);
        m_tree.File("c/e1");
        m_tree.File("c/e2");
        m_tree.File("a/solo.dat", "123456");
        m_tree.SetMTime("a/dup.txt", LocalNoon(2020, 1, 1));
        m_tree.SetMTime("b/dup.txt", LocalNoon(2022, 6, 1));
        m_tree.SetMTime("c/dup.txt", LocalNoon(2022, 3, 1));
        m_tree.SetMTime("c/x.log", LocalNoon(2022, 3, 1));
    }

    std::string P(const std::string& rel) const { return m_tree.Path(rel); }

    // Every file in any group, relative to the tree's root, sorted.
    std::vector<std::string> GroupedFiles(const TJson& result) const {
        std::vector<std::string> files;
        for (const auto& group : GroupsOf(result))
            for (const std::string& path : group)
                files.push_back(path.substr(m_tree.Root().size() + 1));
        std::sort(files.begin(), files.end());
        return files;
    }

    TTempTree m_tree;
};

TEST_F(FindTest, HelpDescribesTheCommand) {
    const TProcessResult r = Cli({"find", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: vardex-cli find"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--exclude-dir"), std::string::npos);
}

TEST_F(FindTest, JsonOfEveryView) {
    struct TCase {
        const char* view;
        TGroups groups; // relative paths, each group sorted
    };
    const TCase cases[] = {
        {"size",
         {{"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt"},
          {"big/k1.bin", "big/k2.bin"},
          {"c/dup.txt", "c/x.log"}}},
        {"name", {{"a/dup.txt", "b/dup.txt", "c/dup.txt"}}},
        {"name-size", {{"a/dup.txt", "b/dup.txt"}}},
        {"zero", {{"c/e1", "c/e2"}}},
    };
    for (const TCase& c : cases) {
        const TJson json = JsonOf(Cli({"find", "--format", "json", "--view", c.view, P("")}));
        EXPECT_EQ(EncodeFileName(json["view"].text), c.view);
        TGroups groups;
        for (auto group : GroupsOf(json)) {
            for (std::string& path : group) {
                ASSERT_EQ(path.rfind(m_tree.Root() + "/", 0), 0u) << "not absolute: " << path;
                path.erase(0, m_tree.Root().size() + 1);
            }
            std::sort(group.begin(), group.end());
            groups.push_back(group);
        }
        std::sort(groups.begin(), groups.end());
        EXPECT_EQ(groups, c.groups) << c.view;
        // Group numbers run from 1 in order.
        const auto& items = json["groups"].items;
        for (std::size_t i = 0; i < items.size(); ++i)
            EXPECT_EQ(items[i]["group"].number, static_cast<double>(i + 1));
    }
}

TEST_F(FindTest, JsonSummary) {
    const TJson json = JsonOf(Cli({"find", "--format=json", P("")}));
    const TJson& s = json["summary"];
    // 12 entries that are not folders, but a/.hid is never entered.
    EXPECT_EQ(s["files_scanned"].number, 11);
    EXPECT_EQ(s["files_taken"].number, 11);
    EXPECT_EQ(s["folders_listed"].number, 5); // root, a, b, c, big
    EXPECT_EQ(s["groups"].number, 3);
    EXPECT_EQ(s["files_in_groups"].number, 8);
    EXPECT_EQ(s["bytes_in_groups"].number, 4 * 5 + 2 * 2048 + 2 * 2);
    EXPECT_EQ(s["paths_not_found"].number, 0);
    EXPECT_EQ(s["duration_ms"].type, TJson::TType::Number);
}

TEST_F(FindTest, TextShowsGroupTextsAndAlignedFileLines) {
    const TProcessResult r = Cli({"find", "--view", "size", P("big"), P("c")});
    ASSERT_EQ(r.status, 0) << r.err;
    // Not a terminal: no progress line.
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < r.out.size();) {
        const std::size_t end = r.out.find('\n', start);
        lines.push_back(r.out.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 9u) << r.out;
    EXPECT_EQ(lines[0], "group #1 \"2 bytes\" contains 2 files and 4 bytes");
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "group #2 \"2,048 bytes\" contains 2 files and 4,096 bytes");
    EXPECT_EQ(lines[7], "");
    const std::string summary =
        "Same size: 2 groups, 4 files, 4,100 bytes; 6 of 6 files taken in 2 folders, ";
    EXPECT_EQ(lines[8].substr(0, summary.size()), summary) << lines[8];
    EXPECT_TRUE(lines[8].ends_with(" ms")) << lines[8];
    // File lines: size right-aligned to the widest size, then date,
    // attributes and the full path; the path column lines up.
    const std::string files[] = {lines[1], lines[2], lines[5], lines[6]};
    const std::string paths[] = {P("c/dup.txt"), P("c/x.log"), P("big/k1.bin"), P("big/k2.bin")};
    const std::size_t pathColumn = files[0].size() - paths[0].size();
    for (int i = 0; i < 4; ++i) {
        ASSERT_GE(files[i].size(), paths[i].size());
        EXPECT_EQ(files[i].substr(files[i].size() - paths[i].size()), paths[i]);
        EXPECT_EQ(files[i].size() - paths[i].size(), pathColumn) << files[i];
        EXPECT_NE(files[i].find("  a---  /"), std::string::npos) << files[i];
    }
    EXPECT_EQ(files[0].substr(0, 9), "      2  ");
    EXPECT_EQ(files[2].substr(0, 9), "  2,048  ");
}

TEST_F(FindTest, OptionsFilterTheFiles) {
    using TFiles = std::vector<std::string>;
    const TFiles all = {"a/.hidden.txt", "a/dup.txt",  "b/dup.txt", "b/note.txt",
                        "big/k1.bin",    "big/k2.bin", "c/dup.txt", "c/x.log"};
    struct TCase {
        std::vector<std::string> options;
        TFiles files;
    };
    const TCase cases[] = {
        {{}, all},
        {{"--include", "*.txt"}, {"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt"}},
        // Repeated masks add up.
        {{"--include", "*.bin", "--include", "*.log;dup.*"},
         {"a/dup.txt", "b/dup.txt", "big/k1.bin", "big/k2.bin", "c/dup.txt", "c/x.log"}},
        {{"--exclude", "note*;*.log"},
         {"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "big/k1.bin", "big/k2.bin"}},
        {{"--exclude-dir", P("b"), "--exclude-dir", P("big")},
         {"a/.hidden.txt", "a/dup.txt", "c/dup.txt", "c/x.log"}},
        {{"--no-protect-hidden"},
         {"a/.hid/dup.txt", "a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt", "big/k1.bin",
          "big/k2.bin", "c/dup.txt", "c/x.log"}},
        {{"--attr", "-h"},
         {"a/dup.txt", "b/dup.txt", "b/note.txt", "big/k1.bin", "big/k2.bin", "c/dup.txt",
          "c/x.log"}},
        {{"--attr=+h-r"}, {}}, // one hidden file has no partner
        {{"--min-size", "3"},
         {"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt", "big/k1.bin", "big/k2.bin"}},
        {{"--max-size", "1K"},
         {"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt", "c/dup.txt", "c/x.log"}},
        {{"--min-size", "1k", "--max-size", "2K"}, {"big/k1.bin", "big/k2.bin"}},
        {{"--min-size", "2049"}, {}},
        {{"--min-size", "2048", "--max-size", "2048"}, {"big/k1.bin", "big/k2.bin"}},
        {{"--older", "2023-01-01"}, {"a/dup.txt", "b/dup.txt", "c/dup.txt", "c/x.log"}},
        {{"--newer", "2023-01-01"}, {"a/.hidden.txt", "b/note.txt", "big/k1.bin", "big/k2.bin"}},
        {{"--newer", "2021-01-01", "--older", "2022-12-31T23:59"}, {"c/dup.txt", "c/x.log"}},
        {{"--newer", "2022-03-01T12:00:00", "--older", "2022-03-01T12:00"},
         {"c/dup.txt", "c/x.log"}},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"find", "--format", "json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(P(""));
        const std::string label = ::testing::PrintToString(c.options);
        const TProcessResult r = Cli(args);
        ASSERT_EQ(r.status, 0) << label << "\n" << r.err;
        TJson json;
        std::string error;
        ASSERT_TRUE(ParseJson(r.out, json, error)) << label << error;
        EXPECT_EQ(GroupedFiles(json), c.files) << label;
    }
}

TEST_F(FindTest, NoSubfoldersTakesOnlyThePathsOwnFiles) {
    const TJson json = JsonOf(Cli({"find", "--format", "json", "--no-subfolders", P("a")}));
    EXPECT_EQ(GroupedFiles(json), (std::vector<std::string>{"a/.hidden.txt", "a/dup.txt"}));
    EXPECT_EQ(json["summary"]["folders_listed"].number, 1);
}

TEST_F(FindTest, RelativePathsAreMadeAbsolute) {
    m_tree.Dir("work");
    const TJson json = JsonOf(
        Cli({"find", "--format", "json", "../a", "./../b/", "--exclude-dir", "../b/x"}, P("work")));
    EXPECT_EQ(GroupedFiles(json),
              (std::vector<std::string>{"a/.hidden.txt", "a/dup.txt", "b/dup.txt", "b/note.txt"}));
}

TEST_F(FindTest, RefusedSets) {
    struct TCase {
        std::vector<std::string> paths;
        const char* expected;
    };
    const TCase cases[] = {
        {{P("a"), P("b"), P("a")}, "The same search paths are in current search set\n'"},
        // Spelled differently, the same folder.
        {{P("a"), P("b/../a/.")}, "The same search paths are in current search set\n'"},
        {{P("b/"), P("")}, " is a parent of a folder in current search set\n"},
        {{P("a/.hid"), P("a")}, " is a parent of a folder in current search set\n"},
    };
    for (const TCase& c : cases) {
        std::vector<std::string> args = {"find"};
        args.insert(args.end(), c.paths.begin(), c.paths.end());
        const TProcessResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("Please modify either the search path or the current search set."),
                  std::string::npos);
        EXPECT_EQ(r.err.find('\r'), std::string::npos);
        EXPECT_NE(r.err.find("Usage: vardex-cli find"), std::string::npos);
    }
    // The message names the paths as given, parent first.
    const TProcessResult r = Cli({"find", P("a/.hid"), P("a")});
    EXPECT_NE(r.err.find("The search path\n '" + P("a") +
                         "'\n\n is a parent of a folder in "
                         "current search set\n '" +
                         P("a/.hid") + "'"),
              std::string::npos)
        << r.err;
}

TEST_F(FindTest, MissingPaths) {
    const std::string missing = P("no-such-folder");
    {
        const TProcessResult r = Cli({"find", "--format", "json", missing});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    }
    {
        // A file is not a folder either.
        const TProcessResult r = Cli({"find", P("a/dup.txt"), missing});
        EXPECT_EQ(r.status, 1) << r.err;
    }
    {
        const TProcessResult r = Cli({"find", "--format", "json", missing, P("c")});
        const TJson json = JsonOf(r);
        EXPECT_NE(r.err.find("warning: '" + missing + "'"), std::string::npos) << r.err;
        EXPECT_EQ(json["summary"]["paths_not_found"].number, 1);
        EXPECT_EQ(GroupedFiles(json), (std::vector<std::string>{"c/dup.txt", "c/x.log"}));
    }
}

TEST_F(FindTest, BadArguments) {
    const std::vector<std::vector<std::string>> cases = {
        {"find"},
        {"find", "--bogus", P("")},
        {"find", "--view", "content", P("")},
        {"find", "--format", "xml", P("")},
        {"find", "--min-size", "12Q", P("")},
        {"find", "--min-size", "-5", P("")},
        // Not a whole number of any unit within 32 bits.
        {"find", "--min-size", "3000000000", P("")},
        {"find", "--max-size", "99999999999G", P("")},
        {"find", "--min-size", "2K", "--max-size", "1K", P("")},
        {"find", "--newer", "2023-02-30", P("")},
        {"find", "--newer", "2023-1-5", P("")},
        {"find", "--older", "2023-01-05T25:00", P("")},
        {"find", "--newer", "2024-01-01", "--older", "2023-01-01", P("")},
        {"find", "--attr", "h", P("")},
        {"find", "--attr", "+x", P("")},
        {"find", "--attr", "+h-h", P("")},
        {"find", "--include", P("")}, // the value is taken; no path is left
        {"find", "--quiet=1", P("")},
        {"find", ""},
    };
    for (const auto& args : cases) {
        const TProcessResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args) << "\n" << r.out;
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("Usage: vardex-cli find"), std::string::npos)
            << ::testing::PrintToString(args) << r.err;
    }
    // Large sizes that some unit holds exactly are accepted.
    for (const char* size : {"2G", "2147483647", "3221225472", "8191G"})
        EXPECT_EQ(Cli({"find", "--quiet", "--min-size", size, P("")}).status, 0) << size;
}

TEST_F(FindTest, TextShowsNamesExactlyWithControlCharactersEscaped) {
    TTempTree tree;
    tree.File("README.TXT", "same");
    tree.File("x/README.TXT", "same");
    tree.File("IMPORTANT.doc\x1b[2K\r", "other");
    tree.File("x/IMPORTANT.doc\x1b[2K\r", "other");
    tree.File("caf\xe9\x9b", "third!");
    tree.File("x/caf\xe9\x9b", "third!");
    const TProcessResult r = Cli({"find", "--view", "name", tree.Root()});
    ASSERT_EQ(r.status, 0) << r.err;
    // The case as on disk, in group texts and paths alike.
    EXPECT_NE(r.out.find("\"README.TXT\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(tree.Path("x/README.TXT") + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(tree.Path("x/IMPORTANT.doc\\033[2K\\r") + "\n"), std::string::npos)
        << r.out;
    // Raw bytes of a name that is not UTF-8 are shown, not sent.
    EXPECT_NE(r.out.find(tree.Path("x/caf\\351\\233") + "\n"), std::string::npos) << r.out;
    for (char c : r.out)
        EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << static_cast<int>(c);
    EXPECT_EQ(r.out.find('\xe9'), std::string::npos);
    // JSON keeps its own escapes, which give the name back byte for byte.
    const TJson json = JsonOf(Cli({"find", "--view", "name", "--format", "json", tree.Root()}));
    std::set<std::string> names;
    for (const auto& group : GroupsOf(json))
        for (const std::string& path : group)
            names.insert(path);
    EXPECT_EQ(names.count(tree.Path("x/IMPORTANT.doc\x1b[2K\r")), 1u);
    EXPECT_EQ(names.count(tree.Path("x/caf\xe9\x9b")), 1u);
}

TEST_F(FindTest, ProtectionsThatSkipFoldersSaySoWithTheOptionThatLiftsThem) {
    // a/.hid is hidden; the other folders are entered.
    TProcessResult r = Cli({"find", "--format", "json", P("")});
    TJson json = JsonOf(r);
    EXPECT_EQ(json["summary"]["folders_skipped_by_protections"].number, 1);
    EXPECT_NE(r.err.find("1 folder was skipped as hidden folders; --no-protect-hidden enters them"),
              std::string::npos)
        << r.err;
    r = Cli({"find", P("")});
    EXPECT_NE(r.out.find(" folders, 1 folder skipped by protections, "), std::string::npos)
        << r.out;
    r = Cli({"find", "--no-protect-hidden", "--format", "json", P("")});
    json = JsonOf(r);
    EXPECT_EQ(json["summary"]["folders_skipped_by_protections"].number, 0);
    EXPECT_EQ(r.err, "");

    // A search path inside the operating system's folders: only its own
    // files are taken, and the message says why.
    r = Cli({"find", "--format", "json", "/usr/share"});
    json = JsonOf(r);
    EXPECT_GT(json["summary"]["folders_skipped_by_protections"].number, 0);
    EXPECT_NE(r.err.find("'/usr/share' lies in the operating system's folders"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--no-protect-system enters them"), std::string::npos) << r.err;
    EXPECT_EQ(json["summary"]["folders_listed"].number, 1);
}

TEST_F(FindTest, RawByteNameRoundTripsThroughJson) {
    const std::string odd = "a/dup\xFF.txt";
    m_tree.File(odd, "hello");
    const TProcessResult r = Cli({"find", "--format", "json", "--include", "dup*", P("")});
    ASSERT_EQ(r.status, 0) << r.err;
    // The raw byte is escaped, and the output itself is valid UTF-8.
    EXPECT_NE(r.out.find("dup\\uDCFF.txt"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\xFF'), std::string::npos);
    const TJson json = JsonOf(r);
    std::set<std::string> paths;
    for (const auto& group : GroupsOf(json))
        paths.insert(group.begin(), group.end());
    EXPECT_EQ(paths.count(P(odd)), 1u);

    // The text output, meant for a terminal, shows the raw byte escaped.
    const TProcessResult text = Cli({"find", "--include", "dup*", P("")});
    EXPECT_NE(text.out.find(P("a/dup\\377.txt") + "\n"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find('\xFF'), std::string::npos);
}

TEST_F(FindTest, JsonEscapesAndEmptyResult) {
    m_tree.File("q/a\"b\\c\n.txt", "zz");
    m_tree.File("q/plain.txt", "zz");
    const TJson json = JsonOf(Cli({"find", "--format", "json", P("q")}));
    EXPECT_EQ(GroupedFiles(json), (std::vector<std::string>{"q/a\"b\\c\n.txt", "q/plain.txt"}));

    const TJson empty = JsonOf(Cli({"find", "--format", "json", "--min-size", "1G", P("")}));
    EXPECT_EQ(empty["groups"].type, TJson::TType::Array);
    EXPECT_TRUE(empty["groups"].items.empty());
    EXPECT_EQ(empty["summary"]["groups"].number, 0);
}

} // namespace
} // namespace vdx::test
