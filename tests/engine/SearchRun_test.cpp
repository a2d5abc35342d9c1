// Runs under ThreadSanitizer too.
#include "engine/VDX_unit_SearchRun.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <sys/mount.h>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_Messages.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::DrainUntil;
using test::TTempTree;
using TGateCaller = test::TGateCaller<TSearchSafeProgress>;

// The protocol of one search: progress snapshots, then the worker's end
// message, then the waiter's.
void ExpectProtocol(const std::vector<std::uint32_t>& codes) {
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes[codes.size() - 1], kMsgSearchWaiterDone);
    EXPECT_EQ(codes[codes.size() - 2], kMsgSearchWorkerEnded);
    for (std::size_t i = 0; i + 2 < codes.size(); ++i)
        EXPECT_EQ(codes[i], kMsgSearchProgress) << "message " << i;
}

class SearchRunTest : public testing::Test {
protected:
    SearchRunTest() {
        m_tree.File("one/photo.jpg", "same content");
        m_tree.File("two/photo.jpg", "same content");
        m_tree.File("two/other.txt", "different");
        m_tree.File("three/empty.dat");
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(m_tree.Root());
        m_set.AddOwned(std::move(path));
    }

    TTempTree m_tree;
    TSearchSet m_set;
    TSearchRun m_run;
    TMessageQueue m_queue;
};

TEST_F(SearchRunTest, CompletedSearchGroupsTheFilesAndReportsEveryPhase) {
    TGateCaller caller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
    EXPECT_TRUE(m_run.SearchRunning());
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_FALSE(m_run.SearchRunning());

    const std::vector<std::int32_t> phases = caller.Phases();
    ASSERT_FALSE(phases.empty());
    EXPECT_EQ(phases.front(), kPhaseScanning);
    EXPECT_EQ(phases.back(), kPhaseCompleted);
    // Every phase change is reported, in the order the work runs.
    std::vector<std::int32_t> changes;
    for (std::int32_t p : phases)
        if (changes.empty() || changes.back() != p)
            changes.push_back(p);
    EXPECT_EQ(changes, (std::vector<std::int32_t>{kPhaseScanning, kPhasePreparingTables,
                                                  kPhaseIndexing, kPhaseCompleted}));

    const TSearchSafeProgress& progress = m_run.SearchProgress();
    EXPECT_EQ(progress.phase, kPhaseCompleted);
    EXPECT_EQ(progress.foldersListed, 4u);
    EXPECT_EQ(progress.filesAdded, 4u);
    EXPECT_EQ(progress.pathsNotFound, 0u);
    EXPECT_GT(progress.start, 0.0);
    EXPECT_GE(progress.now, progress.start);

    const TScanData& store = m_run.Store();
    EXPECT_TRUE(store.Status().m_searchDone);
    EXPECT_FALSE(store.Status().m_searchAborted);
    EXPECT_EQ(store.FileCount(), 4u);
    EXPECT_EQ(store.SizeGroups().Count(), 1u);
    EXPECT_EQ(store.NameGroups().Count(), 1u);
    EXPECT_EQ(store.ZeroSizeFiles(), 1u);
    EXPECT_GE(store.m_durationSearch, 0.0);
    EXPECT_TRUE(store.m_protectHiddenFolders && store.m_protectProgramFolder &&
                store.m_protectSystemFolder);

    // The controller's copy of the set is prepared: expanded, on a volume.
    ASSERT_EQ(m_run.SearchSetCopy().Count(), 1u);
    EXPECT_NE(m_run.SearchSetCopy().Item(0)->volumeIndex, kNoVolume);
    EXPECT_EQ(store.FileVolume(0), m_run.SearchSetCopy().Item(0)->volumeIndex);
}

TEST_F(SearchRunTest, StartIsRefusedWhileASearchRunsAndAllowedAfterFinished) {
    TGateCaller caller(m_run.SearchProgress(), kPhaseScanning);
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
    ASSERT_TRUE(caller.WaitAtGate());

    TSearchSet other;
    other.AddOwned(std::make_unique<TSearchData>());
    other.AddOwned(std::make_unique<TSearchData>());
    TGateCaller otherCaller(m_run.SearchProgress());
    EXPECT_FALSE(m_run.StartSearch(other, &m_queue, &otherCaller, false, false, false));
    EXPECT_EQ(m_run.SearchSetCopy().Count(), 1u);
    EXPECT_TRUE(m_run.Store().m_protectHiddenFolders);

    caller.Open();
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    // Until the window reports the end, the search still counts as running.
    TGateCaller lateCaller(m_run.SearchProgress());
    EXPECT_FALSE(m_run.StartSearch(other, &m_queue, &lateCaller, false, false, false));
    m_run.SearchFinished();

    TGateCaller againCaller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &againCaller, false, true, true));
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_TRUE(m_run.Store().Status().m_searchDone);
    EXPECT_FALSE(m_run.Store().m_protectHiddenFolders);
}

TEST_F(SearchRunTest, PausedSearchWaitsAndGoesOnWhenResumed) {
    TGateCaller caller(m_run.SearchProgress(), kPhaseScanning);
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
    ASSERT_TRUE(caller.WaitAtGate());
    m_run.PauseSearch();
    const std::size_t heldAt = caller.SnapshotCount();
    caller.Open();

    // Paused before its first folder: no further snapshot, no end message.
    TPostedMessage m;
    std::vector<std::uint32_t> codes;
    while (m_queue.Take(m, 300))
        codes.push_back(m.code);
    for (std::uint32_t code : codes)
        EXPECT_EQ(code, kMsgSearchProgress);
    EXPECT_EQ(caller.SnapshotCount(), heldAt);
    EXPECT_EQ(caller.Last().foldersListed, 0u);

    m_run.ResumeSearch();
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_TRUE(m_run.Store().Status().m_searchDone);
    EXPECT_EQ(m_run.SearchProgress().phase, kPhaseCompleted);
    EXPECT_EQ(m_run.SearchProgress().filesAdded, 4u);
}

TEST_F(SearchRunTest, CancelEndsTheSearchAbortedFromEveryState) {
    struct TCase {
        const char* name;
        int gatePhase;
        bool pauseFirst;
        bool resumeAfter;
    };
    const std::vector<TCase> cases = {
        {"while scanning", kPhaseScanning, false, false},
        {"while paused, without resume", kPhaseScanning, true, false},
        {"pause, ask, cancel, resume", kPhaseScanning, true, true},
        {"during grouping", kPhasePreparingTables, false, false},
        {"paused during grouping", kPhaseIndexing, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TMessageQueue queue;
        TGateCaller caller(m_run.SearchProgress(), c.gatePhase);
        ASSERT_TRUE(m_run.StartSearch(m_set, &queue, &caller, true, true, true));
        ASSERT_TRUE(caller.WaitAtGate());
        // The worker is held inside a snapshot, so the request reaches it
        // before it can finish the little work there is.
        if (c.pauseFirst) {
            m_run.PauseSearch();
            caller.Open();
            m_run.CancelSearch();
            if (c.resumeAfter)
                m_run.ResumeSearch();
        } else {
            m_run.CancelSearch();
            caller.Open();
        }
        ExpectProtocol(DrainUntil(queue, kMsgSearchWaiterDone));
        m_run.SearchFinished();

        EXPECT_EQ(m_run.SearchProgress().phase, kPhaseAborted);
        EXPECT_EQ(caller.Phases().back(), kPhaseAborted);
        EXPECT_TRUE(m_run.Store().Status().m_searchAborted);
        EXPECT_FALSE(m_run.Store().Status().m_searchDone);
    }
}

TEST_F(SearchRunTest, SteeringWithoutASearchDoesNothing) {
    m_run.PauseSearch();
    m_run.ResumeSearch();
    m_run.CancelSearch();
    m_run.SearchFinished();
    EXPECT_FALSE(m_run.SearchRunning());

    // A pause left over from nothing does not hold the next search.
    TGateCaller caller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_TRUE(m_run.Store().Status().m_searchDone);
}

TEST_F(SearchRunTest, MissingPathIsCountedAndTheSearchCompletes) {
    auto missing = std::make_unique<TSearchData>();
    missing->SearchPath = DecodeFileName(m_tree.Path("gone"));
    TSearchSet set;
    set.AddOwned(std::move(missing));
    auto present = std::make_unique<TSearchData>();
    present->SearchPath = DecodeFileName(m_tree.Path("one"));
    set.AddOwned(std::move(present));

    TGateCaller caller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(set, &m_queue, &caller, true, true, true));
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_EQ(m_run.SearchProgress().pathsNotFound, 1u);
    EXPECT_EQ(m_run.SearchProgress().filesAdded, 1u);
    EXPECT_TRUE(m_run.Store().Status().m_searchDone);
}

TEST_F(SearchRunTest, WithoutAWindowNothingIsPostedAndTheRunStillEnds) {
    TGateCaller caller(m_run.SearchProgress(), kPhaseCompleted);
    ASSERT_TRUE(m_run.StartSearch(m_set, nullptr, &caller, true, true, true));
    ASSERT_TRUE(caller.WaitAtGate());
    caller.Open();
    m_run.SearchFinished(); // may come before the worker has ended
    EXPECT_FALSE(m_run.SearchRunning());
    EXPECT_EQ(m_queue.Count(), 0u);
}

// A stored set's path whose expansion would have to be cut is not searched:
// cut, this one would name the folder above the one meant.
TEST_F(SearchRunTest, APathWhoseExpansionIsTooLongIsNotSearched) {
    const std::string parent = m_tree.Path("two");
    test::TEnvGuard tooLong("VDX_SEARCHRUN_LONG",
                            parent + std::string(2000 - parent.size(), '/') + "deeper");
    auto path = std::make_unique<TSearchData>();
    path->SearchPath = u"%VDX_SEARCHRUN_LONG%";
    TSearchSet set;
    set.AddOwned(std::move(path));

    TGateCaller caller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(set, &m_queue, &caller, true, true, true));
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    EXPECT_EQ(m_run.SearchProgress().pathsNotFound, 1u);
    EXPECT_EQ(m_run.Store().FileCount(), 0u);
    EXPECT_EQ(m_run.SearchSetCopy().Item(0)->volumeIndex, kNoVolume);
}

// The files of a tmpfs mounted inside the search path carry its volume,
// which the search adds to the controller's table. Needs the right to mount.
TEST_F(SearchRunTest, FilesOfAMountInsideTheSearchPathCarryItsVolume) {
    m_tree.Dir("ram");
    if (::mount("none", m_tree.Path("ram").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    struct TUnmount {
        std::string path;
        ~TUnmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{m_tree.Path("ram")};
    m_tree.File("ram/photo.jpg", "same content");

    TGateCaller caller(m_run.SearchProgress());
    ASSERT_TRUE(m_run.StartSearch(m_set, &m_queue, &caller, true, true, true));
    ExpectProtocol(DrainUntil(m_queue, kMsgSearchWaiterDone));
    m_run.SearchFinished();
    const TScanData& store = m_run.Store();
    ASSERT_EQ(m_run.Drives().Count(), 2u);
    std::size_t onRam = 0;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i) {
        const std::uint16_t volume = store.FileVolume(i);
        ASSERT_LT(volume, m_run.Drives().Count());
        const bool inRam = EncodeFileName(store.FullPath(i)).find("/ram/") != std::string::npos;
        EXPECT_EQ(volume, inRam ? 1 : 0) << EncodeFileName(store.FullPath(i));
        onRam += inRam ? 1 : 0;
    }
    EXPECT_EQ(onRam, 1u);
    EXPECT_EQ(m_run.Drives().Item(1).fileSystem, u"tmpfs");
}

} // namespace
} // namespace vdx
