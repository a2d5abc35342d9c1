// Runs under ThreadSanitizer too.
#include "operations/VDX_unit_OperationRun.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/VDX_unit_Marks.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::Exists;
using test::ReadAll;
using test::TTempTree;

constexpr std::uint32_t kWaitMs = 20'000;

// Waits for the message code; false on timeout.
bool WaitFor(TMessageQueue& queue, std::uint32_t code) {
    TPostedMessage m;
    while (queue.Take(m, kWaitMs))
        if (m.code == code)
            return true;
    return false;
}

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
                    ASSERT_TRUE(SetFileMark(store, kViewSameSize, i, true));
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
    EXPECT_EQ(m_ops.CopyCounters().successCount, 1u);
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
