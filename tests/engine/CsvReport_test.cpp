#include "engine/VDX_unit_CsvReport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "engine/VDX_unit_Grouping.h"
#include "engine/VDX_unit_Helpers.h"
#include "engine/VDX_unit_ViewTexts.h"
#include "platform/VDX_unit_FileSystem.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_StoreKey.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

constexpr TFileTime kTime = 132000000000000000LL;

// Keeps every byte it is given.
class TStringSink : public TByteSink {
public:
    int Write(std::string_view bytes) override {
        m_text.append(bytes);
        ++m_calls;
        return 0;
    }
    std::string m_text;
    int m_calls = 0;
};

// Takes the first write and fails every later one.
class TFailingSink : public TByteSink {
public:
    int Write(std::string_view bytes) override {
        ++m_calls;
        if (m_calls > 1)
            return EIO;
        m_taken += bytes.size();
        return 0;
    }
    int m_calls = 0;
    std::size_t m_taken = 0;
};

// Splits a report into records and fields the way a CSV reader does:
// quoted fields may hold commas, doubled quotes and line breaks; records end
// with CR LF. A stray LF or CR outside quotes is a format fault.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> fields;
    std::string field;
    bool inQuotes = false;
    bool wasQuoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            EXPECT_TRUE(field.empty()) << "quote inside an unquoted field at " << i;
            EXPECT_FALSE(wasQuoted) << "second quoted part in a field at " << i;
            inQuotes = true;
            wasQuoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
            wasQuoted = false;
        } else if (c == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
            fields.push_back(field);
            records.push_back(fields);
            fields.clear();
            field.clear();
            wasQuoted = false;
            ++i;
        } else {
            EXPECT_NE(c, '\n') << "bare LF at " << i;
            field += c;
        }
    }
    EXPECT_FALSE(inQuotes) << "unterminated quoted field";
    EXPECT_TRUE(field.empty() && fields.empty()) << "last line has no CR LF";
    return records;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

TCalendarTime March9() {
    TCalendarTime t;
    t.year = 2018;
    t.month = 3;
    t.day = 9;
    t.hour = 15;
    t.minute = 28;
    return t;
}

// Two folders, one with a comma in its path; a Same size pair of 1,500 bytes
// and two zero-size files in one folder.
class CsvReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto r = static_cast<std::uint32_t>(m_store.AddFolder(1, 0, 0, true, u"/r/"));
        const auto ab = static_cast<std::uint32_t>(m_store.AddFolder(1, 0, r, false, u"/r/a,b/"));
        ASSERT_EQ(m_store.AddFile(1, r, u"x.txt", 1500, kTime, kAttrArchive), 0);
        ASSERT_EQ(m_store.AddFile(1, ab, u"y.txt", 1500, kTime, kAttrArchive), 0);
        ASSERT_EQ(m_store.AddFile(1, r, u"e1", 0, kTime, kAttrArchive), 0);
        ASSERT_EQ(m_store.AddFile(1, r, u"e2", 0, kTime, kAttrArchive | kAttrHidden), 0);
        ASSERT_TRUE(RunGrouping(m_store));
        m_options.m_created = March9();
    }

    std::string Report(TViewKind view) {
        TStringSink sink;
        EXPECT_EQ(WriteCsvReport(sink, m_store, view, m_options), 0);
        return sink.m_text;
    }

    TScanData m_store;
    TCsvReportOptions m_options;
};

TEST_F(CsvReportTest, SameSizeReportLineByLine) {
    const std::string date = Utf8(FormatFileTime(kTime));
    ASSERT_EQ(date.find_first_of(",\"\r\n"), std::string::npos) << "locale gives " << date;
    ASSERT_EQ(Utf8(FormatNumber(1500)), "1,500") << "tests run with LC_ALL=C.UTF-8";

    const std::string text = Report(kViewSameSize);
    // UTF-8 without a byte-order mark: the first byte is the summary's text.
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text[0], 'R');
    const std::vector<std::string> expected = {
        "Report created March 9 2018 at 15:28,,,,,,",
        "Current view: Same size contains 1 group(s) 2 Kb in 2 file(s),,,,,,",
        ",,,,,,",
        "Grp,Name,Ext,Path,Size,Date,Attr",
        "\"group #1 \"\"1,500 bytes\"\" contains 2 files and 3,000 bytes\",,,,,,",
        "1,x,txt,/r/,\"1,500\"," + date + ",a---",
        "1,y,txt,\"/r/a,b/\",\"1,500\"," + date + ",a---",
    };
    EXPECT_EQ(Lines(text), expected);
}

TEST_F(CsvReportTest, ZeroSizeWritesSizeZeroAndNoKb) {
    const std::string text = Report(kViewZeroSize);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[1], "Current view: Zero size contains 1 group(s) 2 file(s),,,,,,");
    EXPECT_EQ(lines[4], "group #1 contains 2 files,,,,,,");
    const auto records = ParseCsv(text);
    for (std::size_t i = 5; i < records.size(); ++i) {
        ASSERT_EQ(records[i].size(), 7u);
        EXPECT_EQ(records[i][4], "0");
    }
    EXPECT_EQ(records[6][6], "ah--");
}

// Both switches: the summary decides the first line, the group switch
// whether title rows appear; file rows and header are always there.
TEST_F(CsvReportTest, SummaryAndGroupSwitches) {
    struct TCase {
        bool summary;
        bool groups;
        std::size_t lines;
        const char* first;
    };
    const TCase cases[] = {
        {true, true, 7, "Report created March 9 2018 at 15:28,,,,,,"},
        {true, false, 6, "Report created March 9 2018 at 15:28,,,,,,"},
        {false, true, 4, "Grp,Name,Ext,Path,Size,Date,Attr"},
        {false, false, 3, "Grp,Name,Ext,Path,Size,Date,Attr"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "summary " << c.summary << " groups " << c.groups);
        m_options.m_summary = c.summary;
        m_options.m_groups = c.groups;
        const std::vector<std::string> lines = Lines(Report(kViewSameSize));
        ASSERT_EQ(lines.size(), c.lines);
        EXPECT_EQ(lines[0], c.first);
        const std::size_t header = c.summary ? 3 : 0;
        EXPECT_EQ(lines[header], "Grp,Name,Ext,Path,Size,Date,Attr");
        std::size_t groupRows = 0;
        for (std::size_t i = header + 1; i < lines.size(); ++i)
            groupRows += lines[i].find("group #") != std::string::npos ? 1 : 0;
        EXPECT_EQ(groupRows, c.groups ? 1u : 0u);
    }
}

TEST(CsvFieldTest, QuotingCases) {
    struct TCase {
        std::u16string text;
        std::string field;
    };
    const TCase cases[] = {
        {u"", ""},
        {u"plain name.txt", "plain name.txt"},
        {u"a,b", "\"a,b\""},
        {u"say \"hi\"", "\"say \"\"hi\"\"\""},
        {u"\"", "\"\"\"\""},
        {u"line\nbreak", "\"line\nbreak\""},
        {u"cr\ronly", "\"cr\ronly\""},
        {u"both\r\n", "\"both\r\n\""},
        {u" leading and trailing ", " leading and trailing "},
        {u"semi;colon\ttab", "semi;colon\ttab"},
        {u"caf\u00e9", "caf\xc3\xa9"},
        {u"\u00e9,\"\u20ac\"", "\"\xc3\xa9,\"\"\xe2\x82\xac\"\"\""},
        // A name that was not valid UTF-8 gets its own byte back.
        {std::u16string(u"bad") + char16_t(0xDCFF), "bad\xff"},
        {std::u16string(u"q\"") + char16_t(0xDC80), "\"q\"\"\x80\""},
    };
    for (const TCase& c : cases) {
        std::string out = "x,";
        AppendCsvField(out, c.text);
        EXPECT_EQ(out, "x," + c.field) << Utf8(c.text);
    }
}

// Names and folders with commas, quotes and line breaks still give seven
// fields per row, and the fields read back are the grid's cell texts.
TEST(CsvReportNamesTest, AwkwardNamesReadBackAsCellTexts) {
    TScanData store;
    const auto a = static_cast<std::uint32_t>(store.AddFolder(1, 0, 0, true, u"/d/\"q\"/"));
    const auto b = static_cast<std::uint32_t>(store.AddFolder(1, 0, a, false, u"/d/\"q\"/l\nf/"));
    const std::u16string names[] = {u"a,b.txt", u"say \"hi\".txt", u"two\r\nlines.txt",
                                    u"\u00e9t\u00e9.txt"};
    for (const std::u16string& name : names) {
        ASSERT_EQ(store.AddFile(1, a, name, 2048, kTime, kAttrArchive), 0);
        ASSERT_EQ(store.AddFile(1, b, name, 2048, kTime, kAttrArchive | kAttrReadOnly), 0);
    }
    ASSERT_TRUE(RunGrouping(store));

    for (TViewKind view : {kViewSameName, kViewSameSize, kViewSameNameSize}) {
        SCOPED_TRACE(Utf8(ViewCaption(view)));
        TStringSink sink;
        TCsvReportOptions options;
        ASSERT_EQ(WriteCsvReport(sink, store, view, options), 0);
        const auto records = ParseCsv(sink.m_text);
        const TRecordTable<TViewRowItem>& rows = store.Rows(view);
        ASSERT_EQ(records.size(), 4u + rows.Count());
        for (const auto& record : records)
            EXPECT_EQ(record.size(), 7u);
        for (std::uint32_t r = 0; r < rows.Count(); ++r) {
            const auto& record = records[4 + r];
            if (rows[r].m_file < 0) {
                EXPECT_EQ(record[0], Utf8(GroupText(store, view, TGroupIndex{rows[r].m_group})));
                continue;
            }
            const auto file = static_cast<std::uint32_t>(rows[r].m_file);
            for (int c = 0; c < 7; ++c)
                EXPECT_EQ(record[c],
                          Utf8(FileCellText(store, view, TFileIndex{file}, kGridColGroup + c)));
        }
    }
}

TEST_F(CsvReportTest, SinkFailureStopsTheReport) {
    // Enough rows that the writer hands over more than one piece.
    TScanData store;
    const auto f = static_cast<std::uint32_t>(store.AddFolder(1, 0, 0, true, u"/big/"));
    for (int i = 0; i < 4000; ++i) {
        std::u16string name = u"file";
        for (int v = i; v > 0; v /= 10)
            name += static_cast<char16_t>(u'0' + v % 10);
        ASSERT_EQ(store.AddFile(1, f, name, 77, kTime, kAttrArchive), 0);
    }
    ASSERT_TRUE(RunGrouping(store));
    TStringSink whole;
    ASSERT_EQ(WriteCsvReport(whole, store, kViewSameSize, m_options), 0);
    ASSERT_GT(whole.m_calls, 2);

    TFailingSink failing;
    EXPECT_EQ(WriteCsvReport(failing, store, kViewSameSize, m_options), EIO);
    EXPECT_EQ(failing.m_calls, 2) << "nothing is written after the first failure";
    EXPECT_LT(failing.m_taken, whole.m_text.size());
}

TEST(CsvReportTextTest, CreatedTimeStatusPanelsAndProposedName) {
    EXPECT_EQ(Utf8(ReportCreatedText(March9())), "March 9 2018 at 15:28");
    TCalendarTime early;
    early.year = 2020;
    early.month = 1;
    early.day = 31;
    early.hour = 9;
    early.minute = 5;
    EXPECT_EQ(Utf8(ReportCreatedText(early)), "January 31 2020 at 09:05");

    TScanData empty;
    const struct {
        TViewKind view;
        const char* panel0;
        const char* panel1;
        const char* panel2;
    } cases[] = {
        {kViewSameName, " Current view: Same name contains 0 group(s)", " 0 Kb in 0 file(s)",
         " 0 Kb in 0 marked file(s)"},
        {kViewSameNameSize, " Current view: Same name&size contains 0 group(s)",
         " 0 Kb in 0 file(s)", " 0 Kb in 0 marked file(s)"},
        {kViewFullClones, " Current view: Full duplicates contains 0 group(s)",
         " 0 Kb in 0 file(s)", " 0 Kb in 0 marked file(s)"},
        {kViewZeroSize, " Current view: Zero size contains 0 group(s)", " 0 file(s)",
         " 0 marked file(s)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8(StatusPanelText(empty, c.view, 0)), c.panel0);
        EXPECT_EQ(Utf8(StatusPanelText(empty, c.view, 1)), c.panel1);
        EXPECT_EQ(Utf8(StatusPanelText(empty, c.view, 2)), c.panel2);
    }
    EXPECT_EQ(StatusPanelText(empty, kViewSameName, 3), u"");

    EXPECT_EQ(Utf8(ProposedReportPath(u"/home/u/Documents/QVD/", kViewFullClones,
                                      u"2018-03-09 15.28.00")),
              "/home/u/Documents/QVD/VDX view 'Full clones' (2018-03-09 15.28.00).csv");
}

TEST_F(CsvReportTest, StatusLineCountsBigFiguresAndMarks) {
    // 1,500 + 1,500 bytes truncate to 2 Kb; marking one file shows in panel 2.
    EXPECT_EQ(Utf8(StatusPanelText(m_store, kViewSameSize, 1)), " 2 Kb in 2 file(s)");
    TViewCounters& counters = m_store.Counters(kTestKey, kViewSameSize);
    counters.m_markedFiles = 1234;
    counters.m_markedBytes = 1024ull * 5000;
    EXPECT_EQ(Utf8(StatusPanelText(m_store, kViewSameSize, 2)),
              " 5,000 Kb in 1,234 marked file(s)");
    // A grouped figure in the summary line is one quoted field.
    counters.m_groupBytes = 1024ull * 1024 * 1024 * 5;
    const auto records = ParseCsv(Report(kViewSameSize));
    ASSERT_EQ(records[1].size(), 7u);
    EXPECT_EQ(records[1][0],
              "Current view: Same size contains 1 group(s) 5,242,880 Kb in 2 file(s)");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(d);
    }
    return names;
}

TEST_F(CsvReportTest, SaveWritesTheSameBytesAndKeepsMode) {
    TTempTree tree;
    const std::string path = tree.Path("report.csv");
    const std::string expected = Report(kViewSameSize);

    TCsvSaveResult result = SaveCsvReport(FromUtf8(path), m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, 0);
    EXPECT_TRUE(result.m_created);
    EXPECT_EQ(ReadFile(path), expected);

    // Replacing keeps the permission bits of the earlier report.
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    m_options.m_summary = false;
    result = SaveCsvReport(FromUtf8(path), m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, 0);
    EXPECT_EQ(ReadFile(path), Report(kViewSameSize));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link to the report stays a link; the file it points to is replaced.
    tree.Symlink(path, "link.csv");
    m_options.m_summary = true;
    result = SaveCsvReport(FromUtf8(tree.Path("link.csv")), m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, 0);
    ASSERT_EQ(lstat(tree.Path("link.csv").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(FolderEntries(tree.Root()).size(), 2u) << "no temporary file is left";
}

TEST_F(CsvReportTest, SaveFailuresTellCreationFromWriting) {
    TTempTree tree;
    tree.File("old.csv", "earlier report");
    tree.Dir("folder.csv");

    // Not created: a missing folder, a folder as target.
    TCsvSaveResult result =
        SaveCsvReport(FromUtf8(tree.Path("missing/r.csv")), m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, ENOENT);
    EXPECT_FALSE(result.m_created);
    result = SaveCsvReport(FromUtf8(tree.Path("folder.csv")), m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, EISDIR);
    EXPECT_FALSE(result.m_created);

    // A read-only report is not overwritten (the superuser may write anyway).
    if (geteuid() != 0) {
        ASSERT_EQ(chmod(tree.Path("old.csv").c_str(), 0444), 0);
        result = SaveCsvReport(FromUtf8(tree.Path("old.csv")), m_store, kViewSameSize, m_options);
        EXPECT_EQ(result.m_error, EACCES);
        EXPECT_FALSE(result.m_created);
        EXPECT_EQ(ReadFile(tree.Path("old.csv")), "earlier report");
        ASSERT_EQ(chmod(tree.Path("old.csv").c_str(), 0644), 0);
    }

    // Created, then a failing write, flush or rename: the earlier report
    // stays whole and the temporary file is removed.
    const struct {
        TFsOp op;
        int error;
    } faults[] = {{TFsOp::Write, ENOSPC}, {TFsOp::FSync, EIO}, {TFsOp::Rename, EXDEV}};
    for (const auto& fault : faults) {
        TFaultFs fs;
        fs.Fail(fault.op, "old.csv", fault.error);
        TFaultFsInstall install(fs);
        result = SaveCsvReport(FromUtf8(tree.Path("old.csv")), m_store, kViewSameSize, m_options);
        EXPECT_EQ(result.m_error, fault.error);
        EXPECT_TRUE(result.m_created);
        EXPECT_EQ(ReadFile(tree.Path("old.csv")), "earlier report");
        EXPECT_EQ(FolderEntries(tree.Root()).size(), 2u) << "temporary file left behind";
    }

    // Not a regular file: written in place.
    TStringSink expected;
    ASSERT_EQ(WriteCsvReport(expected, m_store, kViewSameSize, m_options), 0);
    result = SaveCsvReport(u"/dev/null", m_store, kViewSameSize, m_options);
    EXPECT_EQ(result.m_error, 0);
    EXPECT_TRUE(result.m_created);
}

} // namespace
} // namespace vdx
