// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_OperationRun.h"

#include <bitset>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/VDX_unit_Marks.h"
#include "platform/VDX_unit_SystemError.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::Exists;
using test::ReadAll;
using test::TTempTree;

using test::WaitFor;

class OperationRunTest : public ::testing::Test {
protected:
    OperationRunTest() : m_root(Canonical(m_tree.Root())) {
        m_tree.File("work/a/x.txt", "same");
        m_tree.File("work/b/x.txt", "same");
        m_tree.File("work/b/y.txt", "same");
    }

    std::string Work(const std::string& rel) const { return m_root + "/work/" + rel; }

    void SearchAndMark(const std::vector<std::string>& marked) {
        TSearchSet set;
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(m_root + "/work");
        set.AddOwned(std::move(path));
        TMessageQueue queue;
        TMutexCaller caller;
        ASSERT_TRUE(m_search.StartSearch(set, &queue, &caller, false, false, false));
        ASSERT_TRUE(WaitFor(queue, kMsgSearchWaiterDone));
        m_search.SearchFinished();
        TScanData& store = m_search.Store();
        for (const std::string& rel : marked) {
            bool found = false;
            for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
                if (store.FullPath(i) == DecodeFileName(Work(rel))) {
                    ASSERT_TRUE(SetFileMark(store, kViewSameSize, TFileIndex{i}, true));
                    found = true;
                }
            }
            ASSERT_TRUE(found) << rel;
        }
        ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
    }

    TTempTree m_tree;
    std::string m_root;
    TMessageQueue m_queue;
    TMutexCaller m_caller;
    TSearchRun m_search;
    TOperationRun m_ops{m_search};
};

TEST_F(OperationRunTest, CopyAndMoveRunThroughTheController) {
    SearchAndMark({"a/x.txt"});
    const std::string out = m_root + "/out";
    EXPECT_FALSE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true, u"",
                                     TCollisionRule::Skip, false))
        << "no destination";
    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true,
                                    DecodeFileName(out), TCollisionRule::Skip, false));
    EXPECT_TRUE(m_ops.CopyRunning());
    EXPECT_FALSE(
        m_ops.StartDelete(&m_queue, &m_caller, kViewSameSize, true, true, TNoTrashAction::kKeep))
        << "one operation at a time";
    std::vector<TRefusedFile> refused;
    EXPECT_EQ(m_ops.FindRefused(refused), EBUSY) << "the store is the worker's";
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    m_ops.CopyFinished();
    EXPECT_FALSE(m_ops.CopyRunning());

    const TOperationFigures& figures = m_search.Store().Operation();
    EXPECT_EQ(figures.m_destination, DecodeFileName(out + "/"));
    EXPECT_FALSE(figures.m_move);
    EXPECT_EQ(figures.m_filesToProcess, 1u);
    EXPECT_EQ(figures.m_destinationVolume, m_search.Drives().Find(DecodeFileName(out + "/")));
    // The source folder is rebuilt below the destination.
    EXPECT_EQ(ReadAll(out + Work("a/x.txt")), "same");
    EXPECT_EQ(ReadAll(Work("a/x.txt")), "same");
    EXPECT_EQ(m_ops.CopyCounters().doneCount, 1u);
    EXPECT_EQ(figures.m_filesDone, 1u);
    EXPECT_EQ(figures.m_bytesDone, 4u);
    EXPECT_EQ(figures.m_bytesFailed, 0u);
    EXPECT_EQ(m_ops.List().Name(0), u"x.txt") << "a copy leaves the list valid";

    // A move takes the file away and leaves a list that names no file.
    ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true,
                                    DecodeFileName(m_root + "/moved"), TCollisionRule::AutoRename,
                                    true));
    EXPECT_EQ(figures.m_collisionRule, static_cast<std::int32_t>(TCollisionRule::AutoRename));
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    m_ops.CopyFinished();
    EXPECT_FALSE(Exists(Work("a/x.txt")));
    EXPECT_EQ(ReadAll(m_root + "/moved" + Work("a/x.txt")), "same");
    EXPECT_EQ(m_ops.List().FileOf(0), -1);
    EXPECT_FALSE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true,
                                     DecodeFileName(out), TCollisionRule::Skip, false));
}

// The plan names exactly the files the worker then refuses: one gone and one
// replaced by a look-alike since the search; the outcome counts them as
// failed and the run as not all done, though nothing aborted it.
TEST_F(OperationRunTest, ThePlanNamesTheFilesTheDeletionThenRefuses) {
    m_tree.File("work/c/z.txt", "same");
    SearchAndMark({"a/x.txt", "b/y.txt", "c/z.txt"});
    m_ops.List().Sort(kOpSortFolder, true);
    std::vector<TRefusedFile> refused;
    ASSERT_EQ(m_ops.FindRefused(refused), 0);
    EXPECT_TRUE(refused.empty()) << "nothing changed yet";

    ASSERT_EQ(std::remove(Work("a/x.txt").c_str()), 0);
    m_tree.File("work/b/y.new", "diff");
    ASSERT_EQ(std::rename(Work("b/y.new").c_str(), Work("b/y.txt").c_str()), 0);
    ASSERT_EQ(m_ops.FindRefused(refused), 0);
    ASSERT_EQ(refused.size(), 2u);
    EXPECT_EQ(m_ops.List().Name(refused[0].row), u"x.txt");
    EXPECT_EQ(refused[0].code, ENOENT);
    EXPECT_EQ(m_ops.List().Name(refused[1].row), u"y.txt");
    EXPECT_EQ(refused[1].code, kErrorChangedSinceSearch);

    m_ops.SetDeleteDirectly(true);
    m_ops.SetPermanentVolumes(std::bitset<kMaxVolumes>().set());
    ASSERT_TRUE(m_ops.StartDelete(&m_queue, &m_caller, kViewSameSize, true, true,
                                  TNoTrashAction::kDeletePermanently));
    ASSERT_TRUE(WaitFor(m_queue, kMsgDeleteWaiterDone));
    m_ops.DeleteFinished();
    EXPECT_FALSE(Exists(Work("c/z.txt")));
    EXPECT_EQ(ReadAll(Work("b/y.txt")), "diff") << "the look-alike stays";
    const TOperationOutcome outcome = m_ops.Outcome();
    EXPECT_EQ(outcome.kind, TOperationKind::Delete);
    EXPECT_EQ(outcome.figures.filesToProcess, 3u);
    EXPECT_EQ(outcome.figures.bytesToProcess, 12u);
    EXPECT_EQ(outcome.figures.filesDone, 1u);
    EXPECT_EQ(outcome.figures.bytesDone, 4u);
    EXPECT_EQ(outcome.figures.filesInError, 2u);
    EXPECT_EQ(outcome.figures.bytesInError, 8u);
    EXPECT_EQ(outcome.processed, 3u);
    EXPECT_EQ(outcome.skipped, 0u);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_FALSE(outcome.AllDone());
}

// A file the skip rule left alone is neither done nor failed, and a run
// whose other files succeeded is all done.
TEST_F(OperationRunTest, TheCopyOutcomeCountsSkippedFilesApart) {
    SearchAndMark({"a/x.txt", "b/y.txt"});
    const std::string out = m_root + "/out";
    // The copy's target is the destination followed by the source's path.
    m_tree.File("out" + Work("a/x.txt"), "old");
    ASSERT_EQ(ReadAll(out + Work("a/x.txt")), "old");
    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true,
                                    DecodeFileName(out), TCollisionRule::Skip, false));
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    m_ops.CopyFinished();
    const TOperationOutcome outcome = m_ops.Outcome();
    EXPECT_EQ(outcome.kind, TOperationKind::Copy);
    EXPECT_EQ(outcome.figures.filesToProcess, 2u);
    EXPECT_EQ(outcome.figures.filesDone, 1u);
    EXPECT_EQ(outcome.figures.filesInError, 0u);
    EXPECT_EQ(outcome.processed, 2u);
    EXPECT_EQ(outcome.skipped, 1u);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_TRUE(outcome.AllDone());
    EXPECT_EQ(ReadAll(out + Work("a/x.txt")), "old");
    EXPECT_EQ(ReadAll(out + Work("b/y.txt")), "same");
}

// The store's status says which logs the last run really wrote: a file gone
// since the search gives an error line, so both logs are written; a run
// with the logs off writes neither, and its start clears the flags of the
// run before.
TEST_F(OperationRunTest, TheStatusRecordsWhichLogsTheRunWrote) {
    SearchAndMark({"a/x.txt", "b/y.txt"});
    ASSERT_EQ(std::remove(Work("b/y.txt").c_str()), 0);
    const std::u16string logFolder = DecodeFileName(m_root + "/logs");
    const std::u16string out = DecodeFileName(m_root + "/out");
    const TScanStatus& status = m_search.Store().Status();
    TLogSettings on;
    TLogSettings off;
    off.use = false;

    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, true, true, out,
                                    TCollisionRule::Skip, false));
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    const TLogWriteResult written = m_ops.WriteLogs(logFolder, on, on, nullptr);
    m_ops.CopyFinished();
    ASSERT_TRUE(written.fullWritten);
    ASSERT_TRUE(written.errorWritten);
    EXPECT_TRUE(status.m_fullLogOpened);
    EXPECT_TRUE(status.m_errorLogOpened);

    ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_caller, kViewSameSize, false, false, out + u"2",
                                    TCollisionRule::Skip, false));
    EXPECT_FALSE(status.m_fullLogOpened) << "a new run has written no log yet";
    EXPECT_FALSE(status.m_errorLogOpened);
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    const TLogWriteResult none = m_ops.WriteLogs(logFolder, off, off, nullptr);
    m_ops.CopyFinished();
    EXPECT_FALSE(none.fullWritten);
    EXPECT_FALSE(status.m_fullLogOpened);
    EXPECT_FALSE(status.m_errorLogOpened);
}

TEST_F(OperationRunTest, SafetyAnalysisSumsTheListPerVolume) {
    SearchAndMark({"a/x.txt", "b/y.txt"});
    int queried = 0;
    TSafetyAnalysis analysis(m_search.Drives(), [&queried](const TScanDrivesItem&) {
        ++queried;
        TTrashState state;
        state.problem = TTrashProblem::kNone;
        return state;
    });
    m_ops.SetDeleteDirectly(false);
    m_ops.AnalyseSafety(analysis);
    ASSERT_GE(m_search.Drives().Count(), 1u);
    std::int32_t files = 0;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < m_search.Drives().Count(); ++i) {
        files += m_search.Drives().Item(i).selectedFiles;
        bytes += m_search.Drives().Item(i).selectedBytes;
    }
    EXPECT_EQ(files, 2);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(queried, 1);
    EXPECT_EQ(analysis.ItemCount(), 1u);
    // Judged again, the selection is counted afresh, not added up.
    m_ops.AnalyseSafety(analysis);
    EXPECT_EQ(m_search.Drives().Item(0).selectedFiles, 2);
}

} // namespace
} // namespace vdx
