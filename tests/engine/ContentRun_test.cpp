// Runs under ThreadSanitizer too.
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::DrainUntil;
using test::TGateCaller;
using test::TTempTree;

using TContentGate = TGateCaller<TContentSafeProgress>;

// The protocol of one comparison: progress snapshots, then the worker's end
// message, then the waiter's.
void ExpectContentProtocol(const std::vector<std::uint32_t>& codes) {
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[codes.size() - 1], kMsgContentWaiterDone);
    EXPECT_EQ(codes[codes.size() - 2], kMsgContentWorkerEnded);
    for (std::size_t i = 0; i + 2 < codes.size(); ++i)
        EXPECT_EQ(codes[i], kMsgContentProgress) << "message " << i;
}

std::vector<std::int32_t> PhaseChanges(const std::vector<std::int32_t>& phases) {
    std::vector<std::int32_t> changes;
    for (std::int32_t p : phases)
        if (changes.empty() || changes.back() != p)
            changes.push_back(p);
    return changes;
}

std::string Pattern(std::size_t n, char seed) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(seed + static_cast<char>(i % 251));
    return s;
}

class ContentRunTest : public testing::Test {
protected:
    ContentRunTest() {
        m_tree.File("one/photo.jpg", "same content");
        m_tree.File("two/photo.jpg", "same content");
        m_tree.File("two/renamed.jpg", "same content");
        m_tree.File("two/other.txt", "other conten");
        m_tree.File("big/a.bin", Pattern(300000, 'a'));
        m_tree.File("big/b.bin", Pattern(300000, 'a'));
        m_tree.File("big/c.bin", Pattern(300000, 'c'));
        m_tree.File("three/empty.dat");
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(m_tree.Root());
        m_set.AddOwned(std::move(path));
    }

    void Search() {
        TGateCaller<TSearchSafeProgress> caller(m_run.SearchProgress());
        ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
        DrainUntil(m_queue, kMsgSearchWaiterDone);
        m_run.SearchFinished();
        ASSERT_TRUE(m_run.Store().Status().m_searchDone);
    }

    // Starts a comparison held at the gate's phase.
    void StartHeld(TContentGate& gate) {
        ASSERT_TRUE(m_run.StartContentCompare(&m_queue, &gate));
        ASSERT_TRUE(gate.WaitAtGate());
    }

    TTempTree m_tree;
    TSearchSet m_set;
    TSearchRun m_run;
    TMessageQueue m_queue;
};

TEST_F(ContentRunTest, CompletedComparisonBuildsBothViewsAndReportsEveryPhase) {
    Search();
    TContentGate caller(m_run.ContentProgress());
    ASSERT_TRUE(m_run.StartContentCompare(&m_queue, &caller));
    EXPECT_TRUE(m_run.ContentRunning());
    ExpectContentProtocol(DrainUntil(m_queue, kMsgContentWaiterDone));
    m_run.ContentFinished();
    EXPECT_FALSE(m_run.ContentRunning());

    EXPECT_EQ(PhaseChanges(caller.Phases()),
              (std::vector<std::int32_t>{kPhaseComparing, kPhasePreparingViewTables,
                                         kPhaseIndexingTables, kPhaseCompleted}));
    const TContentSafeProgress& progress = m_run.ContentProgress();
    EXPECT_EQ(progress.phase, kPhaseCompleted);
    EXPECT_EQ(progress.groupsCompared, 2u);
    EXPECT_EQ(progress.filesCompared, 7u);
    EXPECT_EQ(progress.kilobytesCompared, (4u * 12 + 3u * 300000) / 1024);
    EXPECT_GT(progress.start, 0.0);
    EXPECT_GE(progress.now, progress.start);
    EXPECT_EQ(progress.pausedTotal, 0.0);

    const TScanData& store = m_run.Store();
    EXPECT_TRUE(store.Status().m_contentDone);
    EXPECT_FALSE(store.Status().m_contentAborted);
    EXPECT_TRUE(store.Status().m_searchDone);
    EXPECT_GE(store.m_durationContent, 0.0);
    EXPECT_EQ(store.ContentGroups().Count(), 2u);
    EXPECT_EQ(store.CloneGroups().Count(), 1u);
    EXPECT_EQ(store.Counters(kViewSameContent).m_groupFiles, 5u);
    EXPECT_EQ(store.Counters(kViewSameContent).m_groupBytes, 3u * 12 + 2u * 300000);
    EXPECT_EQ(store.Counters(kViewFullClones).m_groupFiles, 2u);
    EXPECT_EQ(store.Rows(kViewSameContent).Count(), 7u);

    // A second comparison starts afresh and finds the same.
    TContentGate again(m_run.ContentProgress());
    ASSERT_TRUE(m_run.StartContentCompare(&m_queue, &again));
    ExpectContentProtocol(DrainUntil(m_queue, kMsgContentWaiterDone));
    m_run.ContentFinished();
    EXPECT_EQ(m_run.Store().ContentGroups().Count(), 2u);
    EXPECT_EQ(m_run.Store().CloneGroups().Count(), 1u);
}

TEST_F(ContentRunTest, StartsAreRefusedUntilASearchCompletedAndWhileAnythingRuns) {
    TContentGate early(m_run.ContentProgress());
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &early));
    EXPECT_FALSE(m_run.ContentRunning());

    // While a search runs.
    TGateCaller<TSearchSafeProgress> searchGate(m_run.SearchProgress(), kPhaseScanning);
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &searchGate, true, true, true));
    ASSERT_TRUE(searchGate.WaitAtGate());
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &early));
    searchGate.Open();
    DrainUntil(m_queue, kMsgSearchWaiterDone);
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &early)); // until the window reports the end
    m_run.SearchFinished();

    // While a comparison runs: neither a second one nor a search.
    TContentGate gate(m_run.ContentProgress(), kPhaseComparing);
    StartHeld(gate);
    TContentGate second(m_run.ContentProgress());
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &second));
    TGateCaller<TSearchSafeProgress> otherSearch(m_run.SearchProgress());
    EXPECT_FALSE(m_run.StartSearch(m_set, &m_queue, &otherSearch, true, true, true));
    gate.Open();
    ExpectContentProtocol(DrainUntil(m_queue, kMsgContentWaiterDone));
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &second));
    m_run.ContentFinished();
    EXPECT_TRUE(m_run.Store().Status().m_contentDone);

    // An aborted search leaves nothing to compare.
    TGateCaller<TSearchSafeProgress> cancelled(m_run.SearchProgress(), kPhaseScanning);
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &cancelled, true, true, true));
    ASSERT_TRUE(cancelled.WaitAtGate());
    m_run.CancelSearch();
    cancelled.Open();
    DrainUntil(m_queue, kMsgSearchWaiterDone);
    m_run.SearchFinished();
    EXPECT_FALSE(m_run.StartContentCompare(&m_queue, &second));
}

TEST_F(ContentRunTest, PauseHoldsTheWorkerAndItsTimeIsKeptOutside) {
    Search();
    TContentGate gate(m_run.ContentProgress(), kPhaseComparing);
    StartHeld(gate);
    gate.OnMainThread([&] { m_run.PauseContent(); });
    const double pauseStart = m_run.ContentProgress().pauseStart;
    EXPECT_GT(pauseStart, 0.0);
    const std::size_t heldAt = gate.SnapshotCount();
    gate.Open();

    // Paused before its first group: nothing more is reported.
    TPostedMessage m;
    while (m_queue.Take(m, 300))
        EXPECT_EQ(m.code, kMsgContentProgress);
    EXPECT_EQ(gate.SnapshotCount(), heldAt);
    EXPECT_EQ(gate.Last().groupsCompared, 0u);
    // A second pause continues the first.
    gate.OnMainThread([&] { m_run.PauseContent(); });
    EXPECT_EQ(m_run.ContentProgress().pauseStart, pauseStart);

    gate.OnMainThread([&] { m_run.ResumeContent(); });
    const TContentSafeProgress& progress = m_run.ContentProgress();
    EXPECT_GT(progress.resume, progress.pauseStart);
    EXPECT_GE(progress.pausedTotal, 0.25 / 86400.0);
    EXPECT_DOUBLE_EQ(progress.pausedTotal, progress.resume - progress.pauseStart);
    const double total = progress.pausedTotal;
    // A resume with no pause before it adds nothing.
    gate.OnMainThread([&] { m_run.ResumeContent(); });
    EXPECT_EQ(m_run.ContentProgress().pausedTotal, total);

    ExpectContentProtocol(DrainUntil(m_queue, kMsgContentWaiterDone));
    m_run.ContentFinished();
    EXPECT_TRUE(m_run.Store().Status().m_contentDone);
    EXPECT_EQ(m_run.ContentProgress().groupsCompared, 2u);
    EXPECT_EQ(m_run.ContentProgress().pausedTotal, total);
}

TEST_F(ContentRunTest, CancelLeavesNoContentViewFromEveryState) {
    Search();
    struct TCase {
        const char* name;
        int gatePhase;
        bool pauseFirst;
        bool resumeAfter;
    };
    const std::vector<TCase> cases = {
        {"while comparing", kPhaseComparing, false, false},
        {"while paused, without resume", kPhaseComparing, true, false},
        {"pause, ask, cancel, resume", kPhaseComparing, true, true},
        {"while preparing the view tables", kPhasePreparingViewTables, false, false},
        {"paused while preparing the view tables", kPhasePreparingViewTables, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        // A completed comparison first, so that there is a view to lose.
        TContentGate before(m_run.ContentProgress());
        ASSERT_TRUE(m_run.StartContentCompare(&m_queue, &before));
        DrainUntil(m_queue, kMsgContentWaiterDone);
        m_run.ContentFinished();
        ASSERT_EQ(m_run.Store().ContentGroups().Count(), 2u);

        TMessageQueue queue;
        TContentGate gate(m_run.ContentProgress(), c.gatePhase);
        ASSERT_TRUE(m_run.StartContentCompare(&queue, &gate));
        ASSERT_TRUE(gate.WaitAtGate());
        if (c.pauseFirst) {
            gate.OnMainThread([&] { m_run.PauseContent(); });
            gate.Open();
            m_run.CancelContent();
            if (c.resumeAfter)
                gate.OnMainThread([&] { m_run.ResumeContent(); });
        } else {
            m_run.CancelContent();
            gate.Open();
        }
        ExpectContentProtocol(DrainUntil(queue, kMsgContentWaiterDone));
        m_run.ContentFinished();

        EXPECT_EQ(m_run.ContentProgress().phase, kPhaseAborted);
        EXPECT_EQ(gate.Phases().back(), kPhaseAborted);
        const TScanData& store = m_run.Store();
        EXPECT_TRUE(store.Status().m_contentAborted);
        EXPECT_FALSE(store.Status().m_contentDone);
        EXPECT_TRUE(store.Status().m_searchDone);
        EXPECT_EQ(store.ContentGroups().Count(), 0u);
        EXPECT_EQ(store.CloneGroups().Count(), 0u);
        EXPECT_EQ(store.Rows(kViewSameContent).Count(), 0u);
        EXPECT_EQ(store.Rows(kViewFullClones).Count(), 0u);
        for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
            EXPECT_EQ(+store.File(i).m_contentGroup, -1);
            EXPECT_EQ(+store.File(i).m_cloneGroup, -1);
        }
        // The scan views are untouched.
        EXPECT_EQ(store.SizeGroups().Count(), 2u);
    }
}

TEST_F(ContentRunTest, SteeringWithoutAComparisonDoesNothing) {
    m_run.PauseContent();
    m_run.ResumeContent();
    m_run.CancelContent();
    m_run.ContentFinished();
    EXPECT_FALSE(m_run.ContentRunning());
    EXPECT_EQ(m_run.ContentProgress().pauseStart, 0.0);
    EXPECT_EQ(m_run.ContentProgress().resume, 0.0);

    Search();
    TContentGate caller(m_run.ContentProgress());
    ASSERT_TRUE(m_run.StartContentCompare(&m_queue, &caller));
    ExpectContentProtocol(DrainUntil(m_queue, kMsgContentWaiterDone));
    m_run.ContentFinished();
    EXPECT_TRUE(m_run.Store().Status().m_contentDone);
}

TEST_F(ContentRunTest, WithoutAWindowNothingIsPostedAndTheRunStillEnds) {
    Search();
    TContentGate gate(m_run.ContentProgress(), kPhaseCompleted);
    ASSERT_TRUE(m_run.StartContentCompare(nullptr, &gate));
    ASSERT_TRUE(gate.WaitAtGate());
    gate.Open();
    m_run.ContentFinished(); // may come before the worker has ended
    EXPECT_FALSE(m_run.ContentRunning());
    EXPECT_EQ(m_queue.Count(), 0u);
    EXPECT_TRUE(m_run.Store().Status().m_contentDone);
}

} // namespace
} // namespace vdx
