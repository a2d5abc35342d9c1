// End-to-end tests of `vardex-cli find` beyond the search: the content
// comparison and its two views, the CSV report, row orders, the JSON file
// details and smart marking from the command line.

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_Json.h"
#include "tests/support/VDX_test_Process.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx::test {
namespace {

TProcessResult Cli(std::vector<std::string> args) {
    return RunProcess(VDX_CLI_PATH, args);
}

TJson JsonOf(const TProcessResult& r) {
    TJson json;
    std::string error;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ParseJson(r.out, json, error)) << error << "\n" << r.out;
    return json;
}

std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n") {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find(end, start);
        if (stop == std::string::npos)
            stop = text.size();
        lines.push_back(text.substr(start, stop - start));
        start = stop + end.size();
    }
    return lines;
}

// Seconds since 1970 of a few fixed UTC moments.
constexpr std::int64_t k2020 = 1577880000; // 2020-01-01T12:00:00Z
constexpr std::int64_t k2021 = 1609502400; // 2021-01-01T12:00:00Z
constexpr std::int64_t k2022 = 1641038400; // 2022-01-01T12:00:00Z

class FindCompareTest : public ::testing::Test {
protected:
    std::string P(const std::string& rel) const { return m_tree.Path(rel); }
    std::string Rel(const std::u16string& path) const {
        const std::string bytes = EncodeFileName(path);
        EXPECT_EQ(bytes.rfind(m_tree.Root() + "/", 0), 0u) << bytes;
        return bytes.substr(m_tree.Root().size() + 1);
    }

    // The groups as sets of relative paths, in a set so the order of groups
    // and files does not matter.
    std::set<std::set<std::string>> GroupSets(const TJson& json) const {
        std::set<std::set<std::string>> groups;
        for (const TJson& g : json["groups"].items) {
            std::set<std::string> files;
            for (const TJson& f : g["files"].items)
                files.insert(Rel(f.text));
            groups.insert(files);
        }
        return groups;
    }

    // The marked files of every group, relative.
    std::set<std::string> Marked(const TJson& json) const {
        std::set<std::string> marked;
        for (const TJson& g : json["groups"].items) {
            const auto& files = g["files"].items;
            const auto& marks = g["marked"].items;
            EXPECT_EQ(files.size(), marks.size());
            for (std::size_t i = 0; i < files.size() && i < marks.size(); ++i) {
                EXPECT_EQ(marks[i].type, TJson::TType::Bool);
                if (marks[i].boolean)
                    marked.insert(Rel(files[i].text));
            }
        }
        return marked;
    }

    TTempTree m_tree;
};

// ---- Content comparison ----

TEST_F(FindCompareTest, CompareFindsExactlyTheIdenticalFiles) {
    const std::string big(100000, 'q');
    std::string bigLast = big;
    bigLast.back() = 'r';
    std::string bigFirst = big;
    bigFirst.front() = 'r';
    // Identical in three places, two of them under the same name.
    m_tree.File("a/same.txt", "alpha-1");
    m_tree.File("b/same.txt", "alpha-1");
    m_tree.File("c/renamed.txt", "alpha-1");
    // Same size, different bytes: a Same size group, no content group.
    m_tree.File("a/s1.dat", "alpha-2");
    // A name that is not UTF-8, identical to a plain one.
    m_tree.File("raw/\xFF\xFEname.bin", "raw-bytes");
    m_tree.File("raw/plain.bin", "raw-bytes");
    // Large files differing only in their last or first byte, two pairs.
    m_tree.File("big/w", big);
    m_tree.File("big/x", big);
    m_tree.File("big/y", bigLast);
    m_tree.File("big/z", bigLast);
    m_tree.File("big/alone", bigFirst);
    // Empty files are Zero size only, never compared.
    m_tree.File("e/empty1");
    m_tree.File("e/empty2");
    // 40,000 bytes, equal up to a difference in the second block.
    std::string mid(40000, 'm');
    m_tree.File("mid/m1", mid);
    mid[33000] = 'n';
    m_tree.File("mid/m2", mid);

    const TJson size = JsonOf(Cli({"find", "--format", "json", "--compare", P("")}));
    // Same size: 7, 9, 40,000 and 100,000 bytes.
    EXPECT_EQ(size["groups"].items.size(), 4u);

    const TJson content =
        JsonOf(Cli({"find", "--format", "json", "--compare", "--view", "content", P("")}));
    EXPECT_EQ(EncodeFileName(content["view"].text), "content");
    const std::set<std::set<std::string>> expected = {
        {"a/same.txt", "b/same.txt", "c/renamed.txt"},
        {"raw/\xFF\xFEname.bin", "raw/plain.bin"},
        {"big/w", "big/x"},
        {"big/y", "big/z"},
    };
    EXPECT_EQ(GroupSets(content), expected);
    const TJson& s = content["summary"];
    EXPECT_EQ(s["groups"].number, 4);
    EXPECT_EQ(s["files_in_groups"].number, 9);
    EXPECT_EQ(s["bytes_in_groups"].number, 3 * 7 + 2 * 9 + 4 * 100000);

    const TJson clones =
        JsonOf(Cli({"find", "--format", "json", "--compare", "--view", "clones", P("")}));
    EXPECT_EQ(GroupSets(clones), (std::set<std::set<std::string>>{{"a/same.txt", "b/same.txt"}}));

    // The text view names the content groups by their common size.
    const TProcessResult text = Cli({"find", "--compare", "--view", "content", P("")});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("group #1 \"7 bytes\" contains 3 files and 21 bytes\n"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(P("raw/\\377\\376name.bin") + "\n"), std::string::npos);
    EXPECT_NE(text.out.find("\nSame content: 4 groups, 9 files, 400,039 bytes; "),
              std::string::npos)
        << text.out;
}

// Root reads the file all the same: scripts/test reruns this as root without
// the capabilities that bypass the permission bits.
TEST_F(FindCompareTest, UnreadableFilesAreNamedAndFailTheRun) {
    if (!test::PermissionBitsBind())
        GTEST_SKIP() << "root reads a file without read permission";
    m_tree.Dir("home");
    ::setenv("HOME", P("home").c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        m_tree.File(name, std::string(5000, 'z'));
    ASSERT_EQ(::chmod(P("c.bin").c_str(), 0), 0);
    TProcessResult r = Cli({"find", "--compare", "--view", "content", "--format", "json", P("")});
    EXPECT_EQ(r.status, 1) << r.err;
    TJson json;
    std::string error;
    ASSERT_TRUE(ParseJson(r.out, json, error)) << error << r.out;
    EXPECT_EQ(GroupSets(json), (std::set<std::set<std::string>>{{"a.bin", "b.bin"}}));
    EXPECT_EQ(json["summary"]["files_not_compared"].number, 1);
    EXPECT_NE(
        r.err.find("1 file could not be compared:\n  " + P("c.bin") + ": Permission denied\n"),
        std::string::npos)
        << r.err;
    // The error file under Documents names it too.
    const std::string folder = P("home/Documents/QVD");
    std::string logged;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            if (std::string(entry->d_name).rfind("VDXerrors_", 0) == 0) {
                std::ifstream in(folder + "/" + entry->d_name);
                logged.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
        ::closedir(dir);
    }
    EXPECT_NE(logged.find("cannot read " + P("c.bin") + ": Permission denied"), std::string::npos)
        << logged;

    r = Cli({"find", "--compare", "--view", "content", P("")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find(", 1 file could not be compared, "), std::string::npos) << r.out;
}

TEST_F(FindCompareTest, ALowLimitOfOpenFilesLeavesNoFileOut) {
    // Far more files in one group than the process may open at once.
    constexpr int kFiles = 60;
    for (int i = 0; i < kFiles; ++i)
        m_tree.File("f" + std::to_string(i), std::string(70000, 'k'));
    const std::string command = "ulimit -n 20 && exec \"$0\" find --compare --view content "
                                "--format json \"$1\"";
    const TProcessResult r = RunProcess("/bin/sh", {"-c", command, VDX_CLI_PATH, P("")});
    ASSERT_EQ(r.status, 0) << r.err;
    TJson json;
    std::string error;
    ASSERT_TRUE(ParseJson(r.out, json, error)) << error << r.out;
    ASSERT_EQ(json["groups"].items.size(), 1u) << r.out;
    EXPECT_EQ(json["groups"].items[0]["files"].items.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(json["summary"]["files_not_compared"].number, 0);
    EXPECT_EQ(r.err, "");
}

TEST_F(FindCompareTest, CompareWithoutSameSizeGroups) {
    m_tree.File("a/one", "1");
    m_tree.File("a/two", "22");
    const TJson json =
        JsonOf(Cli({"find", "--format", "json", "--compare", "--view", "clones", P("")}));
    EXPECT_TRUE(json["groups"].items.empty());
    EXPECT_EQ(json["summary"]["groups"].number, 0);
}

TEST_F(FindCompareTest, ArgumentsRefused) {
    m_tree.File("a/x", "1");
    const std::vector<std::vector<std::string>> cases = {
        {"find", "--view", "content", P("")},
        {"find", "--view", "clones", P("")},
        {"find", "--no-summary", P("")},
        {"find", "--format", "json", "--no-groups", P("")},
        {"find", "--sort", "grp", P("")},
        {"find", "--sort", "size:down", P("")},
        {"find", "--compare=yes", P("")},
        {"find", "--keep", "", P("")},
        {"find", "--rules", "date,date", P("")},
        {"find", "--rules", "date,colour", P("")},
        {"find", "--rules", "", P("")},
        {"find", "--prefer", "newest", P("")},
        {"find", "--prefer-size", "greater", P("")},
        {"find", "--prefer-name", "larger", P("")},
        {"find", "--prefer-path", "longer", P("")},
        // Nothing could be marked.
        {"find", "--no-wash-clean", P("")},
    };
    for (const auto& args : cases) {
        const TProcessResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args) << "\n" << r.err;
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("Usage: vardex-cli find"), std::string::npos) << r.err;
    }
    EXPECT_NE(Cli({"find", "--view", "content", P("")}).err.find("add --compare"),
              std::string::npos);
}

// ---- JSON details ----

TEST_F(FindCompareTest, JsonListsSizesUtcTimesAndMarksBesideThePaths) {
    m_tree.File("a/dup.txt", "abc");
    m_tree.File("b/dup.txt", "abcdefgh");
    m_tree.File("c/dup.txt", "abc");
    m_tree.SetMTime("a/dup.txt", k2020);
    m_tree.SetMTime("b/dup.txt", k2022);
    m_tree.SetMTime("c/dup.txt", k2021);
    const TJson json = JsonOf(Cli({"find", "--format", "json", "--view", "name", P("")}));
    ASSERT_EQ(json["groups"].items.size(), 1u);
    const TJson& g = json["groups"].items[0];
    EXPECT_EQ(ToUtf8(g["text"].text), "group #1 \"dup.txt\" contains 3 files and 14 bytes");
    std::map<std::string, std::pair<double, std::string>> byFile;
    ASSERT_EQ(g["files"].items.size(), 3u);
    ASSERT_EQ(g["sizes"].items.size(), 3u);
    ASSERT_EQ(g["mtimes"].items.size(), 3u);
    ASSERT_EQ(g["marked"].items.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        byFile[Rel(g["files"].items[i].text)] = {g["sizes"].items[i].number,
                                                 ToUtf8(g["mtimes"].items[i].text)};
        EXPECT_FALSE(g["marked"].items[i].boolean);
    }
    using TEntry = std::pair<double, std::string>;
    EXPECT_EQ(byFile["a/dup.txt"], (TEntry{3, "2020-01-01T12:00:00Z"}));
    EXPECT_EQ(byFile["b/dup.txt"], (TEntry{8, "2022-01-01T12:00:00Z"}));
    EXPECT_EQ(byFile["c/dup.txt"], (TEntry{3, "2021-01-01T12:00:00Z"}));
    EXPECT_EQ(json["summary"]["marked_files"].number, 0);
    EXPECT_EQ(json["summary"]["marked_bytes"].number, 0);

    // A fraction of a second, and a time before 1970.
    m_tree.File("t/early", "zz");
    m_tree.File("t/late", "zz");
    const struct {
        const char* file;
        timespec time;
    } times[] = {{"t/early", {-14182940, 0}}, {"t/late", {k2022 + 59, 250000000}}};
    for (const auto& t : times) {
        const timespec both[2] = {t.time, t.time};
        ASSERT_EQ(::utimensat(AT_FDCWD, P(t.file).c_str(), both, 0), 0) << t.file;
    }
    const TJson timed = JsonOf(Cli({"find", "--format", "json", "--sort", "date", P("t")}));
    ASSERT_EQ(timed["groups"].items.size(), 1u);
    const TJson& mtimes = timed["groups"].items[0]["mtimes"];
    ASSERT_EQ(mtimes.items.size(), 2u);
    EXPECT_EQ(ToUtf8(mtimes.items[0].text), "1969-07-20T20:17:40Z");
    EXPECT_EQ(ToUtf8(mtimes.items[1].text), "2022-01-01T12:00:59.25Z");
}

// ---- Row order ----

TEST_F(FindCompareTest, SortOrdersFilesWithinEachGroupOnly) {
    // Same name groups: f.txt in a, b, c with different sizes and times;
    // g.txt in a and b.
    m_tree.File("a/f.txt", "123");
    m_tree.File("b/f.txt", "1234567890");
    m_tree.File("c/f.txt", "12345");
    m_tree.File("a/g.txt", "1");
    m_tree.File("b/g.txt", "12");
    m_tree.SetMTime("a/f.txt", k2022);
    m_tree.SetMTime("b/f.txt", k2020);
    m_tree.SetMTime("c/f.txt", k2021);
    m_tree.SetMTime("a/g.txt", k2020);
    m_tree.SetMTime("b/g.txt", k2021);
    struct TCase {
        const char* sort;
        std::vector<std::vector<std::string>> groups;
    };
    const TCase cases[] = {
        {"name", {{"a/f.txt", "b/f.txt", "c/f.txt"}, {"a/g.txt", "b/g.txt"}}},
        {"size", {{"a/f.txt", "c/f.txt", "b/f.txt"}, {"a/g.txt", "b/g.txt"}}},
        {"size:desc", {{"b/f.txt", "c/f.txt", "a/f.txt"}, {"b/g.txt", "a/g.txt"}}},
        {"date", {{"b/f.txt", "c/f.txt", "a/f.txt"}, {"a/g.txt", "b/g.txt"}}},
        {"date:desc", {{"a/f.txt", "c/f.txt", "b/f.txt"}, {"b/g.txt", "a/g.txt"}}},
        {"path:desc", {{"c/f.txt", "b/f.txt", "a/f.txt"}, {"b/g.txt", "a/g.txt"}}},
        {"ext", {{"a/f.txt", "b/f.txt", "c/f.txt"}, {"a/g.txt", "b/g.txt"}}},
    };
    for (const TCase& c : cases) {
        const TJson json =
            JsonOf(Cli({"find", "--format", "json", "--view", "name", "--sort", c.sort, P("")}));
        std::vector<std::vector<std::string>> groups;
        double previous = 0;
        for (const TJson& g : json["groups"].items) {
            // Groups keep ascending order whatever the sort.
            EXPECT_GT(g["group"].number, previous) << c.sort;
            previous = g["group"].number;
            groups.emplace_back();
            for (const TJson& f : g["files"].items)
                groups.back().push_back(Rel(f.text));
        }
        EXPECT_EQ(groups, c.groups) << c.sort;
    }

    // By mark: the marked files of each group first.
    const TJson marked = JsonOf(Cli(
        {"find", "--format", "json", "--view", "name", "--keep", P("b"), "--sort", "mark", P("")}));
    ASSERT_EQ(marked["groups"].items.size(), 2u);
    const TJson& f = marked["groups"].items[0];
    ASSERT_EQ(f["files"].items.size(), 3u);
    EXPECT_EQ(Rel(f["files"].items[2].text), "b/f.txt");
    EXPECT_TRUE(f["marked"].items[0].boolean);
    EXPECT_TRUE(f["marked"].items[1].boolean);
    EXPECT_FALSE(f["marked"].items[2].boolean);
}

// ---- CSV ----

TEST_F(FindCompareTest, CsvReport) {
    m_tree.File("x,y/k1.bin", std::string(2048, 'k'));
    m_tree.File("z/k2.bin", std::string(2048, 'k'));
    m_tree.File("z/s1", "ab");
    m_tree.File("z/s2", "ab");
    {
        const TProcessResult r = Cli({"find", "--format", "csv", P("")});
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_TRUE(r.out.ends_with("\r\n"));
        const auto lines = Lines(r.out, "\r\n");
        ASSERT_EQ(lines.size(), 4u + 2 + 4) << r.out;
        EXPECT_TRUE(lines[0].starts_with("Report created ")) << lines[0];
        EXPECT_TRUE(lines[0].ends_with(",,,,,,") && !lines[0].ends_with(",,,,,,,")) << lines[0];
        EXPECT_EQ(lines[1], "Current view: Same size contains 2 group(s) 4 Kb in 4 file(s),,,,,,");
        EXPECT_EQ(lines[2], ",,,,,,");
        EXPECT_EQ(lines[3], "Grp,Name,Ext,Path,Size,Date,Attr");
        EXPECT_EQ(lines[4], "\"group #1 \"\"2 bytes\"\" contains 2 files and 4 bytes\",,,,,,");
        EXPECT_TRUE(lines[5].starts_with("1,s1,," + P("z") + "/,2,")) << lines[5];
        EXPECT_TRUE(lines[5].ends_with(",a---")) << lines[5];
        // A path or a size with a comma is one quoted field.
        EXPECT_TRUE(lines[8].starts_with("2,k1,bin,\"" + P("x,y") + "/\",\"2,048\",")) << lines[8];
        EXPECT_EQ(r.out.find('\n'), r.out.find("\r\n") + 1);
    }
    {
        const TProcessResult r =
            Cli({"find", "--format", "csv", "--no-summary", "--no-groups", P("")});
        const auto lines = Lines(r.out, "\r\n");
        ASSERT_EQ(lines.size(), 5u) << r.out;
        EXPECT_EQ(lines[0], "Grp,Name,Ext,Path,Size,Date,Attr");
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_TRUE(lines[i][0] == '1' || lines[i][0] == '2') << lines[i];
    }
    {
        // Marks add a column and the marked figures to the summary.
        const TProcessResult r = Cli({"find", "--format", "csv", "--no-groups", "--keep", P("x,y"),
                                      "--no-wash-clean", P("")});
        ASSERT_EQ(r.status, 0) << r.err;
        const auto lines = Lines(r.out, "\r\n");
        ASSERT_EQ(lines.size(), 8u) << r.out;
        EXPECT_TRUE(lines[0].ends_with(",,,,,,,"));
        EXPECT_EQ(lines[1], "Current view: Same size contains 2 group(s) 4 Kb in 4 file(s) 2 Kb in "
                            "1 marked file(s),,,,,,,");
        EXPECT_EQ(lines[3], "Grp,Name,Ext,Path,Size,Date,Attr,M");
        EXPECT_TRUE(lines[4].ends_with(",0")) << lines[4];
        EXPECT_TRUE(lines[5].ends_with(",0")) << lines[5];
        EXPECT_TRUE(lines[6].starts_with("2,k1,") && lines[6].ends_with(",0")) << lines[6];
        EXPECT_TRUE(lines[7].starts_with("2,k2,") && lines[7].ends_with(",1")) << lines[7];
    }
}

// ---- Smart marking ----

class SmartMarkCliTest : public FindCompareTest {
protected:
    void SetUp() override {
        // Mixed: one copy kept, two in To Clean.
        m_tree.File("keep/p.dat", "AAAAA");
        m_tree.File("clean/p.dat", "AAAAA");
        m_tree.File("clean/sub/p.dat", "AAAAA");
        // Wholly in To Clean ("keep2" is not below "keep"); times differ.
        m_tree.File("keep2/q.dat", "BBBBBB");
        m_tree.File("other/q.dat", "BBBBBB");
        m_tree.SetMTime("keep2/q.dat", k2022);
        m_tree.SetMTime("other/q.dat", k2020);
        // Wholly in To Keep.
        m_tree.File("keep/r.dat", "CCCCCCC");
        m_tree.File("keep/sub/r.dat", "CCCCCCC");
        // Wholly in To Clean, in one folder, at the same time.
        m_tree.File("clean/t1.dat", "DDDDDDDD");
        m_tree.File("clean/t2.dat", "DDDDDDDD");
        m_tree.SetMTime("clean/t1.dat", k2021);
        m_tree.SetMTime("clean/t2.dat", k2021);
    }

    TJson Mark(std::vector<std::string> options) {
        std::vector<std::string> args = {"find",   "--format", "json",   "--compare",
                                         "--view", "content",  "--keep", P("keep")};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(P(""));
        return JsonOf(Cli(args));
    }
};

TEST_F(SmartMarkCliTest, KeepFoldersAndRules) {
    using TSet = std::set<std::string>;
    struct TCase {
        std::vector<std::string> options;
        TSet marked;
    };
    const TCase cases[] = {
        // Default: wash clean, keep one, date first keeping the newer, then
        // path, then name keeping the smaller.
        {{}, {"clean/p.dat", "clean/sub/p.dat", "other/q.dat", "clean/t2.dat"}},
        {{"--prefer", "older"}, {"clean/p.dat", "clean/sub/p.dat", "keep2/q.dat", "clean/t2.dat"}},
        {{"--rules", "path", "--prefer-path", "greater"},
         {"clean/p.dat", "clean/sub/p.dat", "keep2/q.dat", "clean/t2.dat"}},
        {{"--rules", "name,date", "--prefer-name", "greater"},
         {"clean/p.dat", "clean/sub/p.dat", "other/q.dat", "clean/t1.dat"}},
        {{"--no-keep-one"},
         {"clean/p.dat", "clean/sub/p.dat", "keep2/q.dat", "other/q.dat", "clean/t1.dat",
          "clean/t2.dat"}},
        {{"--no-wash-clean"}, {"clean/p.dat", "clean/sub/p.dat"}},
        // A second To Keep folder saves its group from wash-clean marking.
        {{"--keep", P("keep2")}, {"clean/p.dat", "clean/sub/p.dat", "other/q.dat", "clean/t2.dat"}},
        {{"--keep", P("other"), "--keep-one", "--wash-clean"},
         {"clean/p.dat", "clean/sub/p.dat", "keep2/q.dat", "clean/t2.dat"}},
    };
    for (const TCase& c : cases) {
        const std::string label = ::testing::PrintToString(c.options);
        const TJson json = Mark(c.options);
        const TSet marked = Marked(json);
        EXPECT_EQ(marked, c.marked) << label;
        double bytes = 0;
        for (const std::string& file : marked)
            bytes += file.find("p.dat") != std::string::npos   ? 5
                     : file.find("q.dat") != std::string::npos ? 6
                                                               : 8;
        EXPECT_EQ(json["summary"]["marked_files"].number, static_cast<double>(marked.size()))
            << label;
        EXPECT_EQ(json["summary"]["marked_bytes"].number, bytes) << label;
    }
}

TEST_F(SmartMarkCliTest, TextShowsMarksAndTheirSum) {
    const TProcessResult r =
        Cli({"find", "--compare", "--view", "content", "--keep", P("keep"), P("")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::set<std::string> marked;
    std::size_t fileLines = 0;
    for (const std::string& line : Lines(r.out)) {
        if (!line.starts_with("M ") && !line.starts_with("  "))
            continue;
        ++fileLines;
        if (line[0] == 'M')
            marked.insert(line.substr(line.rfind(m_tree.Root() + "/") + m_tree.Root().size() + 1));
    }
    EXPECT_EQ(fileLines, 9u) << r.out;
    EXPECT_EQ(marked, (std::set<std::string>{"clean/p.dat", "clean/sub/p.dat", "other/q.dat",
                                             "clean/t2.dat"}));
    EXPECT_NE(r.out.find("\nSame content: 4 groups, 9 files, 57 bytes; marked 4 files, 24 bytes; "),
              std::string::npos)
        << r.out;
}

TEST_F(SmartMarkCliTest, KeepFolderOutsideTheViewIsNamed) {
    const TProcessResult r = Cli({"find", "--format", "json", "--keep", P("nowhere"), P("")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: --keep '" + P("nowhere") + "' holds no folder of the view"),
              std::string::npos)
        << r.err;
    // With no To Keep folder every group is wholly in To Clean: one file of
    // each stays unmarked.
    const TJson json = JsonOf(r);
    EXPECT_EQ(json["summary"]["marked_files"].number, 5);
}

TEST_F(SmartMarkCliTest, FindTouchesNoFile) {
    Mark({"--no-keep-one"});
    for (const char* file : {"clean/p.dat", "clean/sub/p.dat", "keep2/q.dat", "other/q.dat",
                             "clean/t1.dat", "clean/t2.dat", "keep/p.dat"})
        EXPECT_EQ(::access(P(file).c_str(), F_OK), 0) << file;
}

} // namespace
} // namespace vdx::test
