// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_OperationLogs.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_FaultFs.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_Store.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::ReadAll;
using test::TFaultFs;
using test::TFaultFsInstall;
using test::TFsOp;
using test::TTempTree;

bool Exists(const std::string& path) {
    return std::ifstream(path).good();
}

std::vector<std::u16string> Texts(const TStrList& lines) {
    std::vector<std::u16string> texts;
    for (const TStrItem& item : lines)
        texts.push_back(item.text);
    return texts;
}

std::string U8(std::u16string_view text) {
    return ToUtf8(text);
}

TLogHeaderFigures OnePathFigures() {
    TLogHeaderFigures f;
    f.searchPaths = {u"/home/u/Photos"};
    f.scannedFolders = 12;
    f.foundFiles = 1234567;
    f.filteredFiles = 1200;
    f.sameName = {3, 4096, 7};
    f.sameSize = {2, 2048, 4};
    f.sameNameSize = {1, 1000, 2};
    f.zeroSizeFiles = 5;
    f.searchDuration = 61.5 / 86400.0;
    return f;
}

// The header lines that do not depend on the clock, from "" after the title
// up to the last empty line.
const std::vector<std::u16string> kOnePathHeaderBody = {
    u"",
    u"*** Scanning information ***",
    u"Search set contains 1 folder for scanning:",
    u"'/home/u/Photos'",
    u"",
    u"*** Scanning results ***",
    u"Scanned folders: 12",
    u"Found files: 1,234,567",
    u"Filtered files by search criteria: 1,200",
    u"",
    u"Same name: 3 groups contain 4,096 bytes in 7 files",
    u"Same size: 2 groups contain 2,048 bytes in 4 files",
    u"Same name and size: 1 groups contain 1,000 bytes in 2 files",
    u"Zero size: 5 files",
    u"Search taken: 1 minute 1 second 500 milliseconds",
    u"",
};

TEST(OperationLogsTexts, LineStampLeavesOutMidnight) {
    struct TCase {
        TCalendarTime time;
        std::u16string expected;
    };
    const TCase cases[] = {
        {{2018, 12, 8, 23, 42, 5, 0, 6}, u"12/08/18 23:42:05"},
        {{2018, 12, 8, 0, 0, 0, 0, 6}, u"12/08/18"},
        {{2018, 12, 8, 0, 0, 1, 0, 6}, u"12/08/18 00:00:01"},
        // A few milliseconds past midnight is not midnight.
        {{2018, 12, 8, 0, 0, 0, 7, 6}, u"12/08/18 00:00:00"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(U8(FormatLineStamp(c.time)), U8(c.expected));
}

TEST(OperationLogsTexts, EveryLineFormat) {
    const std::u16string err = SystemErrorText(ENOENT);
    struct TCase {
        std::u16string actual;
        std::u16string expected;
    };
    const TOperationKind C = TOperationKind::Copy;
    const TOperationKind M = TOperationKind::Move;
    const TCase cases[] = {
        {LineOkDeleting(u"S", u"/a/x"), u"S - Ok deleting: '/a/x'"},
        {LineFailedToDelete(u"S", u"/a/x"), u"S - Failed to delete: '/a/x'"},
        {LineFailedToDeleteCode(u"S", 13, u"/a/x"), u"S - Failed to delete (error 13): '/a/x'"},
        {LineUnableToLocate(u"S", u"/a/x"), u"S - Unable to locate: '/a/x'"},
        {LineCannotCreateMainFolder(u"S", u"/out/", ENOENT),
         u"S - Cannot create the main destination folder: '/out/' " + err + u"\r\n"},
        {LineCannotCreateFolder(u"S", u"/out/a/", ENOENT),
         u"S - Cannot create the destination folder: '/out/a/' " + err},
        {LineFailedTransfer(C, u"S", u"/a/x", u"/o/x", ENOENT),
         u"S failed to copy file '/a/x' -> '/o/x': " + err},
        {LineFailedTransfer(M, u"S", u"/a/x", u"/o/x", ENOENT),
         u"S failed to move file '/a/x' -> '/o/x': " + err},
        {LineSkip(C, u"S", u"/a/x", 1234, u"/o/x"),
         u"S - Skip copy: '/a/x' (1,234 bytes) -> '/o/x'"},
        {LineSkip(M, u"S", u"/a/x", 0, u"/o/x"), u"S - Skip move: '/a/x' (0 bytes) -> '/o/x'"},
        {LineRenamed(C, u"S", u"/a/x", 5, u"/o/x[1-new]"),
         u"S - Copy and rename: '/a/x' (5 bytes) -> '/o/x[1-new]'"},
        {LineRenamed(M, u"S", u"/a/x", 5, u"/o/x[1-new]"),
         u"S - Move and rename: '/a/x' (5 bytes) -> '/o/x[1-new]'"},
        {LineOkTransfer(C, u"S", u"/a/x", 1000000, u"/o/x"),
         u"S - Ok Copying: '/a/x' (1,000,000 bytes) -> '/o/x'"},
        {LineOkTransfer(M, u"S", u"/a/x", 7, u"/o/x"),
         u"S - Ok Moving: '/a/x' (7 bytes) -> '/o/x'"},
        {ClosingLine(TOperationKind::Delete, false, u"S"), u"Files deleting was finished at S"},
        {ClosingLine(TOperationKind::Delete, true, u"S"), u"File deleting was aborted at S"},
        {ClosingLine(C, false, u"S"), u"File copying was finished at S"},
        {ClosingLine(C, true, u"S"), u"File copying was aborted at S"},
        {ClosingLine(M, false, u"S"), u"File moving was finished at S"},
        {ClosingLine(M, true, u"S"), u"File moving was aborted at S"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(U8(c.actual), U8(c.expected));
    EXPECT_EQ(err.find(u'\n'), std::u16string::npos);
}

TEST(OperationLogsTexts, SummaryBlocks) {
    TLogSummary f{10, 10000, 7, 6000, 2, 1500};
    EXPECT_EQ(U8(SummaryBlock(TOperationKind::Delete, f)),
              "*** Deleting information ***\r\n"
              "Files to delete: 10 [10,000 bytes]\r\n"
              "Successfully deleted files: 7 [6,000 bytes]\r\n"
              "Failed to delete files: 3 [4,000 bytes]\r\n"
              "Delete errors: 2 [1,500 bytes]\r\n");
    EXPECT_EQ(U8(SummaryBlock(TOperationKind::Copy, f)),
              "*** Copying information ***\r\n"
              "Files to copy: 10 [10,000 bytes]\r\n"
              "Successfully copied files: 7 [6,000 bytes]\r\n"
              "Failed to copy files: 3 [4,000 bytes]\r\n"
              "Copying errors: 2 [1,500 bytes]\r\n");
    EXPECT_EQ(U8(SummaryBlock(TOperationKind::Move, f)),
              "*** Moving information ***\r\n"
              "Files to move: 10 [10,000 bytes]\r\n"
              "Successfully moved files: 7 [6,000 bytes]\r\n"
              "Failed to move files: 3 [4,000 bytes]\r\n"
              "Moving errors: 2 [1,500 bytes]\r\n");
    // Figures that disagree (more done than given) never wrap round.
    TLogSummary odd{1, 10, 2, 20, 0, 0};
    EXPECT_NE(
        SummaryBlock(TOperationKind::Delete, odd).find(u"Failed to delete files: 0 [0 bytes]"),
        std::u16string::npos);
}

// ---- The header ----

TEST(OperationLogsHeader, SharedHeaderAndHeadingsPerKind) {
    struct TCase {
        TOperationKind kind;
        TViewKind view;
        std::u16string title;
        std::u16string fullHead;
        std::u16string errorHead;
    };
    const TCase cases[] = {
        {TOperationKind::Delete, kViewSameSize, u"Deleting files from view 'Same size' at ",
         u"*** Deleted files ***", u"*** Deleting errors ***"},
        {TOperationKind::Copy, kViewFullClones, u"Copying files from view 'Full clones' at ",
         u"*** Copied files ***", u"*** Copying errors ***"},
        {TOperationKind::Move, kViewSameNameSize, u"Moving files from view 'Same name-size' at ",
         u"*** Moved files ***", u"*** Moving errors ***"},
    };
    for (const TCase& c : cases) {
        TOperationLogs logs;
        logs.BeginRun(true, true, c.view, c.kind, OnePathFigures());
        const auto full = Texts(logs.FullLines().Lines());
        const auto error = Texts(logs.ErrorLines().Lines());
        ASSERT_EQ(full.size(), 2 + kOnePathHeaderBody.size() + 1);
        EXPECT_EQ(full[0], kLogSeparator);
        EXPECT_EQ(full[1].rfind(c.title, 0), 0u) << U8(full[1]);
        EXPECT_GT(full[1].size(), c.title.size()); // the stamp follows
        for (std::size_t i = 0; i < kOnePathHeaderBody.size(); ++i)
            EXPECT_EQ(U8(full[2 + i]), U8(kOnePathHeaderBody[i])) << i;
        EXPECT_EQ(full.back(), c.fullHead);
        // The error log shares the header word for word.
        ASSERT_EQ(error.size(), full.size());
        EXPECT_TRUE(std::equal(full.begin(), full.end() - 1, error.begin()));
        EXPECT_EQ(error.back(), c.errorHead);
    }
}

TEST(OperationLogsHeader, PluralPathsAndContentResults) {
    TLogHeaderFigures f = OnePathFigures();
    f.searchPaths = {u"/a", u"/b"};
    f.contentCompared = true;
    f.sameContent = {4, 123456, 9};
    f.fullClones = {1, 10, 2};
    f.contentDuration = 2.0 / 86400.0;
    TOperationLogs logs;
    logs.BeginRun(true, false, kViewSameContent, TOperationKind::Delete, f);
    const auto full = Texts(logs.FullLines().Lines());
    auto at = [&full](std::u16string_view text) {
        return std::find(full.begin(), full.end(), text) - full.begin();
    };
    ASSERT_LT(at(u"Search set contains 2 folders for scanning:"), at(u"'/a'"));
    EXPECT_EQ(at(u"'/a'") + 1, at(u"'/b'"));
    const auto content = at(u"*** Content comparison results ***");
    ASSERT_LT(content, static_cast<std::ptrdiff_t>(full.size()));
    EXPECT_EQ(full[content - 1], u"");
    EXPECT_EQ(U8(full[content + 1]), "Same content: 4 groups contain 123,456 bytes in 9 files");
    EXPECT_EQ(U8(full[content + 2]), "Full clones: 1 groups contain 10 bytes in 2 files");
    EXPECT_EQ(U8(full[content + 3]), "Content comparison taken: 2 seconds");
    EXPECT_EQ(full[content + 4], u"");
    EXPECT_EQ(full[content + 5], u"*** Deleted files ***");
    // Without content results the block is absent.
    TOperationLogs plain;
    plain.BeginRun(true, true, kViewSameSize, TOperationKind::Delete, OnePathFigures());
    for (const auto& line : Texts(plain.FullLines().Lines()))
        EXPECT_EQ(line.find(u"Content comparison"), std::u16string::npos);
}

TEST(OperationLogsHeader, BothLogsOffBuildNothingAndClearLeftovers) {
    TOperationLogs logs;
    logs.FullLines().Add(u"left from an earlier run");
    logs.ErrorLines().Add(u"left too");
    logs.BeginRun(false, false, kViewSameSize, TOperationKind::Delete, OnePathFigures());
    EXPECT_EQ(logs.FullLines().Count(), 0u);
    EXPECT_EQ(logs.ErrorLines().Count(), 0u);
    logs.AddBoth(u"x", true);
    logs.AddSummary(u"block\r\n", true);
    logs.FinishRun(TOperationKind::Delete, false, true);
    EXPECT_EQ(logs.FullLines().Count(), 0u);
    EXPECT_EQ(logs.ErrorLines().Count(), 0u);
}

TEST(OperationLogsHeader, FiguresComeFromTheStoreAndTheSearchSet) {
    TScanData store;
    test::BuildGroupedStore(store, {{u"/x/", u"a.txt", 10},
                                    {u"/y/", u"a.txt", 10},
                                    {u"/y/", u"b.txt", 10},
                                    {u"/y/", u"zero", 0}});
    store.m_durationSearch = 1.0 / 86400.0;
    TSearchDataList set;
    for (const char16_t* folder : {u"/x", u"/y"}) {
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = folder;
        set.AddOwned(std::move(path));
    }
    const TLogHeaderFigures f = HeaderFiguresOf(store, set);
    EXPECT_EQ(f.searchPaths, (std::vector<std::u16string>{u"/x", u"/y"}));
    EXPECT_EQ(f.filteredFiles, 4u);
    EXPECT_EQ(f.sameName.groups, 1u);
    EXPECT_EQ(f.sameName.files, 2u);
    EXPECT_EQ(f.sameName.bytes, 20u);
    EXPECT_EQ(f.sameSize.groups, 1u);
    EXPECT_EQ(f.sameSize.files, 3u);
    EXPECT_EQ(f.sameSize.bytes, 30u);
    EXPECT_EQ(f.zeroSizeFiles, 1u);
    EXPECT_FALSE(f.contentCompared);
    EXPECT_EQ(f.searchDuration, store.m_durationSearch);
}

// ---- A run through the worker's rules ----

// Plays a delete run: one deleted file, then (when fail) one failure.
void PlayDeleteRun(TOperationLogs& logs, bool fail, bool aborted, bool errorOn = true) {
    logs.BeginRun(true, errorOn, kViewSameSize, TOperationKind::Delete, OnePathFigures());
    int failed = 0;
    logs.AddFull(LineOkDeleting(u"S", u"/d/ok"));
    // Before any failure the error log takes no lines.
    logs.AddError(u"not taken", failed > 0);
    if (fail) {
        ++failed;
        logs.AddBoth(LineFailedToDelete(u"S", u"/d/bad"), failed > 0);
    }
    logs.AddBoth(u"", failed > 0);
    TLogSummary s{
        2, 20, 1, 10, static_cast<std::uint64_t>(failed), static_cast<std::uint64_t>(failed * 10)};
    logs.AddSummary(SummaryBlock(TOperationKind::Delete, s), failed > 0);
    logs.FinishRun(TOperationKind::Delete, aborted, failed > 0);
}

TEST(OperationLogsRun, SummaryStandsBeforeTheHeadingAndClosingLinesEnd) {
    for (const bool aborted : {false, true}) {
        TOperationLogs logs;
        PlayDeleteRun(logs, true, aborted);
        const auto full = Texts(logs.FullLines().Lines());
        const std::size_t body = 2 + kOnePathHeaderBody.size();
        ASSERT_EQ(full.size(), body + 8);
        EXPECT_EQ(full[body].rfind(u"*** Deleting information ***\r\n", 0), 0u);
        EXPECT_EQ(full[body + 1], u"*** Deleted files ***");
        EXPECT_EQ(full[body + 2], u"S - Ok deleting: '/d/ok'");
        EXPECT_EQ(full[body + 3], u"S - Failed to delete: '/d/bad'");
        EXPECT_EQ(full[body + 4], u"");
        const std::u16string closing =
            aborted ? u"File deleting was aborted at " : u"Files deleting was finished at ";
        EXPECT_EQ(full[body + 5].rfind(closing, 0), 0u) << U8(full[body + 5]);
        EXPECT_EQ(full[body + 6], kLogSeparator);
        EXPECT_EQ(full[body + 7], u"");

        const auto error = Texts(logs.ErrorLines().Lines());
        ASSERT_EQ(error.size(), body + 7);
        EXPECT_EQ(error[body].rfind(u"*** Deleting information ***\r\n", 0), 0u);
        EXPECT_EQ(error[body + 1], u"*** Deleting errors ***");
        EXPECT_EQ(error[body + 2], u"S - Failed to delete: '/d/bad'");
        EXPECT_EQ(error[body + 3], u"");
        EXPECT_EQ(error[body + 4].rfind(closing, 0), 0u);
    }
}

TEST(OperationLogsRun, NoFailureDiscardsTheErrorLog) {
    TOperationLogs logs;
    PlayDeleteRun(logs, false, false);
    EXPECT_GT(logs.FullLines().Count(), 0u);
    EXPECT_EQ(logs.ErrorLines().Count(), 0u);
}

TEST(OperationLogsRun, FolderErrorKeepsTheErrorLogWithoutAFailedFile) {
    TOperationLogs logs;
    logs.BeginRun(false, true, kViewSameSize, TOperationKind::Copy, OnePathFigures());
    logs.AddFolderError(LineCannotCreateMainFolder(u"S", u"/out/", EACCES));
    logs.AddBoth(u"", true);
    logs.AddSummary(SummaryBlock(TOperationKind::Copy, TLogSummary{3, 30, 0, 0, 0, 0}), true);
    logs.FinishRun(TOperationKind::Copy, false, true);
    const auto error = Texts(logs.ErrorLines().Lines());
    const std::size_t body = 2 + kOnePathHeaderBody.size();
    ASSERT_EQ(error.size(), body + 7);
    EXPECT_EQ(error[body + 1], u"*** Copying errors ***");
    EXPECT_EQ(error[body + 2].rfind(u"S - Cannot create the main destination folder", 0), 0u);
    // The full log is off: it keeps only the header.
    EXPECT_EQ(logs.FullLines().Count(), body + 1);
}

TEST(OperationLogsRun, WorkerAppendsWhileAnotherThreadReads) {
    TOperationLogs logs;
    logs.BeginRun(true, true, kViewSameSize, TOperationKind::Delete, OnePathFigures());
    const std::size_t start = logs.FullLines().Count();
    std::thread worker([&logs] {
        for (int i = 0; i < 2000; ++i)
            logs.AddBoth(LineFailedToDelete(u"S", u"/x/" + FormatPlainNumber(i)), true);
    });
    std::size_t seen = 0;
    while (seen < start + 2000)
        seen = logs.FullLines().Count();
    worker.join();
    const auto full = Texts(logs.FullLines().Lines());
    ASSERT_EQ(full.size(), start + 2000);
    EXPECT_EQ(full[start + 1999], u"S - Failed to delete: '/x/1999'");
}

// ---- Writing ----

class OperationLogsWrite : public ::testing::Test {
protected:
    std::u16string Folder() const { return FromUtf8(m_tree.Root()); }
    std::string FullPath() const { return m_tree.Path("VDX_full.log"); }
    std::string ErrorPath() const { return m_tree.Path("VDX_error.log"); }
    std::string TempPath() const { return m_tree.Path("~$tempfile"); }

    // A run with the given lines in the full log and, unless empty, in the
    // error log.
    static void Fill(TOperationLogs& logs, std::vector<std::u16string> full,
                     std::vector<std::u16string> error = {}) {
        logs.BeginRun(false, false, kViewSameSize, TOperationKind::Delete, {});
        for (auto& line : full)
            logs.FullLines().Add(std::move(line));
        for (auto& line : error)
            logs.ErrorLines().Add(std::move(line));
    }

    TTempTree m_tree;
    TLogSettings m_settings; // use, append, 1000 KiB
    TStrList m_history;
};

TEST_F(OperationLogsWrite, Utf8WithCrLfWithoutBomAndNamesThatAreNotUtf8) {
    TOperationLogs logs;
    // A name whose bytes are not UTF-8 comes back byte for byte.
    const std::u16string oddName = DecodeFileName("caf\xe9-\xff.txt");
    Fill(logs,
         {u"Photo \u00e9t\u00e9 \u65e5\u672c", u"", LineOkDeleting(u"S", u"/d/" + oddName),
          SummaryBlock(TOperationKind::Delete, TLogSummary{1, 1, 1, 1, 0, 0})},
         {LineFailedToDelete(u"S", u"/d/" + oddName)});
    const TLogWriteResult r = logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    ASSERT_TRUE(r.fullWritten);
    ASSERT_TRUE(r.errorWritten);
    EXPECT_EQ(U8(r.fullPath), FullPath());
    EXPECT_EQ(U8(r.errorPath), ErrorPath());
    EXPECT_EQ(ReadAll(FullPath()), "Photo \xc3\xa9t\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac\r\n"
                                   "\r\n"
                                   "S - Ok deleting: '/d/caf\xe9-\xff.txt'\r\n"
                                   "*** Deleting information ***\r\n"
                                   "Files to delete: 1 [1 bytes]\r\n"
                                   "Successfully deleted files: 1 [1 bytes]\r\n"
                                   "Failed to delete files: 0 [0 bytes]\r\n"
                                   "Delete errors: 0 [0 bytes]\r\n"
                                   "\r\n");
    EXPECT_EQ(ReadAll(ErrorPath()), "S - Failed to delete: '/d/caf\xe9-\xff.txt'\r\n");
    // Newest first: the error log went in after the full log.
    ASSERT_EQ(m_history.size(), 2u);
    EXPECT_EQ(m_history[0].text, r.errorPath);
    EXPECT_EQ(m_history[1].text, r.fullPath);
    // Both lists are empty afterwards, and no temporary file stays.
    EXPECT_EQ(logs.FullLines().Count(), 0u);
    EXPECT_EQ(logs.ErrorLines().Count(), 0u);
    EXPECT_FALSE(Exists(TempPath()));
}

TEST_F(OperationLogsWrite, NewestRunFirstUntilTheFileOutgrowsItsLimit) {
    m_settings.maxSize = 1; // 1024 bytes
    TOperationLogs logs;
    Fill(logs, {u"run 1"});
    logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    Fill(logs, {u"run 2"});
    logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    EXPECT_EQ(ReadAll(FullPath()), "run 2\r\nrun 1\r\n");
    // The same path written twice is listed once.
    ASSERT_EQ(m_history.size(), 1u);

    // Exactly at the limit the file is still extended...
    const std::string filler(1024 - 2, 'x');
    m_tree.File("VDX_full.log", filler + "\r\n");
    Fill(logs, {u"run 3"});
    logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    EXPECT_EQ(ReadAll(FullPath()), "run 3\r\n" + filler + "\r\n");
    // ...and beyond it started afresh.
    Fill(logs, {u"run 4"});
    logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    EXPECT_EQ(ReadAll(FullPath()), "run 4\r\n");
}

TEST_F(OperationLogsWrite, OverwriteAndCreateNewReplace) {
    TOperationLogs logs;
    m_tree.File("VDX_full.log", "old\r\n");
    TLogSettings overwrite = m_settings;
    overwrite.overwrite = true;
    Fill(logs, {u"new"});
    logs.WriteLogs(Folder(), overwrite, m_settings, nullptr);
    EXPECT_EQ(ReadAll(FullPath()), "new\r\n");

    TLogSettings createNew = m_settings;
    createNew.createNew = true;
    TLogWriteResult first, second;
    // Two runs within the same second share a name; the second replaces the
    // first. A run that straddles a second is simply tried again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        Fill(logs, {u"first"}, {u"error first"});
        first = logs.WriteLogs(Folder(), createNew, createNew, &m_history);
        Fill(logs, {u"second"}, {u"error second"});
        second = logs.WriteLogs(Folder(), createNew, createNew, &m_history);
        if (first.fullPath == second.fullPath)
            break;
    }
    ASSERT_EQ(first.fullPath, second.fullPath);
    const std::string name = U8(second.fullPath.substr(second.fullPath.rfind(u'/') + 1));
    EXPECT_EQ(name.rfind("VDX_full (", 0), 0u) << name;
    EXPECT_NE(name.find(" at "), std::string::npos) << name;
    EXPECT_EQ(name.find(':'), std::string::npos) << name;
    EXPECT_EQ(name.substr(name.size() - 5), ").log");
    EXPECT_EQ(ReadAll(U8(second.fullPath)), "second\r\n");
    EXPECT_EQ(U8(second.errorPath.substr(second.errorPath.rfind(u'/') + 1)).rfind("VDX_error (", 0),
              0u);
    EXPECT_EQ(ReadAll(U8(second.errorPath)), "error second\r\n");
    // The single-file log was left alone.
    EXPECT_EQ(ReadAll(FullPath()), "new\r\n");
}

TEST_F(OperationLogsWrite, NothingWrittenWhenOffOrEmpty) {
    TOperationLogs logs;
    TLogSettings off = m_settings;
    off.use = false;
    Fill(logs, {u"line"}, {u"error"});
    TLogWriteResult r = logs.WriteLogs(Folder(), off, off, &m_history);
    EXPECT_FALSE(r.fullWritten);
    EXPECT_FALSE(r.errorWritten);
    EXPECT_FALSE(Exists(FullPath()));
    EXPECT_TRUE(m_history.empty());
    EXPECT_EQ(logs.FullLines().Count(), 0u); // cleared all the same

    // An empty error list (a run without failures) writes only the full log.
    Fill(logs, {u"line"});
    r = logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
    EXPECT_TRUE(r.fullWritten);
    EXPECT_FALSE(r.errorWritten);
    EXPECT_TRUE(r.errorPath.empty());
    EXPECT_FALSE(Exists(ErrorPath()));
    ASSERT_EQ(m_history.size(), 1u);

    // A blank log folder writes nowhere (never into "/").
    Fill(logs, {u"line"});
    r = logs.WriteLogs(u"  ", m_settings, m_settings, &m_history);
    EXPECT_FALSE(r.fullWritten);
}

TEST_F(OperationLogsWrite, LogFolderIsTrimmedExpandedAndCreated) {
    ::setenv("VDX_TEST_LOGS", m_tree.Root().c_str(), 1);
    TOperationLogs logs;
    Fill(logs, {u"line"});
    const TLogWriteResult r =
        logs.WriteLogs(u"  %VDX_TEST_LOGS%/new/deeper ", m_settings, m_settings, nullptr);
    ::unsetenv("VDX_TEST_LOGS");
    ASSERT_TRUE(r.fullWritten);
    EXPECT_EQ(U8(r.fullPath), m_tree.Path("new/deeper/VDX_full.log"));
    EXPECT_EQ(ReadAll(m_tree.Path("new/deeper/VDX_full.log")), "line\r\n");
}

TEST_F(OperationLogsWrite, FailuresNeverLoseTheOldLog) {
    struct TCase {
        const char* what;
        TFsOp op;
        std::string pathPart;
        int error;
        int after;
    };
    const TCase cases[] = {
        {"read-only folder: no temporary file", TFsOp::Open, "~$tempfile", EACCES, 0},
        {"disk full while writing", TFsOp::Write, "~$tempfile", ENOSPC, 0},
        {"old log cannot be opened", TFsOp::Open, "VDX_full.log", EACCES, 0},
        {"old log cannot be read", TFsOp::Read, "VDX_full.log", EIO, 0},
        {"flush fails", TFsOp::FSync, "~$tempfile", EIO, 0},
        {"rename fails", TFsOp::Rename, "~$tempfile", EXDEV, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        m_tree.File("VDX_full.log", "old run\r\n");
        m_history.clear();
        TOperationLogs logs;
        Fill(logs, {u"new run"});
        TFaultFs fs;
        fs.Fail(c.op, c.pathPart, c.error, c.after);
        TLogWriteResult r;
        {
            TFaultFsInstall install(fs);
            r = logs.WriteLogs(Folder(), m_settings, m_settings, &m_history);
        }
        EXPECT_GT(fs.Calls(c.op), 0);
        EXPECT_FALSE(r.fullWritten);
        EXPECT_TRUE(r.fullPath.empty());
        EXPECT_TRUE(m_history.empty());
        EXPECT_EQ(ReadAll(FullPath()), "old run\r\n");
        EXPECT_FALSE(Exists(TempPath()));
    }
}

TEST_F(OperationLogsWrite, OldLogThatVanishedIsSimplyReplaced) {
    // The size check sees the file; by the time it is read it is gone.
    m_tree.File("VDX_full.log", "old run\r\n");
    TOperationLogs logs;
    Fill(logs, {u"new run"});
    TFaultFs fs;
    fs.Fail(TFsOp::Open, "VDX_full.log", ENOENT);
    TLogWriteResult r;
    {
        TFaultFsInstall install(fs);
        r = logs.WriteLogs(Folder(), m_settings, m_settings, nullptr);
    }
    EXPECT_TRUE(r.fullWritten);
    EXPECT_EQ(ReadAll(FullPath()), "new run\r\n");
}

TEST(OperationLogsHistory, FrontExactAndCapped) {
    // A list already past its limit (newest first) is cut when a path goes in.
    TStrList history;
    for (int i = 448; i >= 0; --i)
        history.push_back(TStrItem{u"/logs/" + FormatPlainNumber(i) + u".log"});
    AddToLogHistory(history, u"/logs/449.log");
    ASSERT_EQ(history.size(), kLogHistoryLimit);
    EXPECT_EQ(history.front().text, u"/logs/449.log");
    AddToLogHistory(history, u"/logs/300.log");
    EXPECT_EQ(history.size(), kLogHistoryLimit);
    EXPECT_EQ(history[0].text, u"/logs/300.log");
    EXPECT_EQ(history[1].text, u"/logs/449.log");
    // Linux tells paths apart by case; blanks around an entry do not count.
    AddToLogHistory(history, u"/LOGS/300.log");
    EXPECT_EQ(history[1].text, u"/logs/300.log");
    AddToLogHistory(history, u" /LOGS/300.log ");
    EXPECT_EQ(history[0].text, u" /LOGS/300.log ");
    EXPECT_EQ(history[1].text, u"/logs/300.log");
}

} // namespace
} // namespace vdx
