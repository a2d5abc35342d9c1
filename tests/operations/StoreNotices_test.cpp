// Runs under ThreadSanitizer too.
// What a front end is told of the store's changes: the order of the notices
// for every run that changes the store, that each reaches it on the
// user-interface thread, and that indices kept across a change are refused.
#include <bitset>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine/VDX_unit_Marks.h"
#include "engine/VDX_unit_StoreObserver.h"
#include "engine/VDX_unit_Views.h"
#include "operations/VDX_unit_OperationRun.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_Files.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::Canonical;
using test::Exists;
using test::TTempTree;

using test::WaitFor;

// Set while a routine runs inside the test's main-thread caller.
thread_local bool tInCaller = false;

// The stand-in user-interface thread: the test's own thread, or a worker's
// routine run through the caller (as the Qt caller runs it on the UI thread).
template <typename TProgress>
class TMarkingCaller : public test::TGateCaller<TProgress> {
public:
    using test::TGateCaller<TProgress>::TGateCaller;
    void CallSync(const std::function<void()>& routine) override {
        test::TGateCaller<TProgress>::CallSync([&routine] {
            tInCaller = true;
            routine();
            tInCaller = false;
        });
    }
};

// Writes down every notice; one given off the user-interface thread is
// written down as such.
class TRecorder : public TStoreObserver {
public:
    TRecorder() : m_uiThread(std::this_thread::get_id()) {}

    void StoreClearing(TStoreChange change) override { Add("clearing " + Name(change)); }
    void StoreCleared(TStoreChange change) override { Add("cleared " + Name(change)); }
    void StoreBusy() override { Add("busy"); }
    void StoreIdle() override { Add("idle"); }
    void ViewChanged(TViewKind view, TViewChange change) override {
        Add(std::string(change == TViewChange::Order ? "order " : "marks ") + std::to_string(view));
    }

    // The notices so far, emptied.
    std::vector<std::string> Take() { return std::exchange(m_events, {}); }

private:
    static std::string Name(TStoreChange change) {
        switch (change) {
        case TStoreChange::NewSearch:
            return "search";
        case TStoreChange::Content:
            return "content";
        case TStoreChange::Reindex:
            return "reindex";
        }
        return "?";
    }
    void Add(std::string event) {
        if (std::this_thread::get_id() != m_uiThread && !tInCaller)
            event += " (off the UI thread)";
        m_events.push_back(std::move(event));
    }

    std::thread::id m_uiThread;
    std::vector<std::string> m_events;
};

using TStrings = std::vector<std::string>;

class StoreNoticesTest : public ::testing::Test {
protected:
    StoreNoticesTest() : m_root(Canonical(m_tree.Root())) {
        m_tree.File("work/a/x.txt", "same");
        m_tree.File("work/b/x.txt", "same");
        m_tree.File("work/b/y.txt", "same");
        m_tree.File("work/c/z.txt", "other");
        m_search.Store().SetObserver(&m_recorder);
        m_ops.SetPermanentVolumes(std::bitset<kMaxVolumes>().set());
    }
    ~StoreNoticesTest() override { m_search.Store().SetObserver(nullptr); }

    std::string Work(const std::string& rel) const { return m_root + "/work/" + rel; }

    // Starts a search of work/; with a gate the worker is held at the first
    // snapshot of that phase.
    void StartSearch(int gate = -1) {
        TSearchSet set;
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(m_root + "/work");
        set.AddOwned(std::move(path));
        m_searchCaller.SetProgress(&m_search.SearchProgress());
        m_searchCaller.SetGate(gate);
        ASSERT_TRUE(m_search.StartSearch(set, &m_queue, &m_searchCaller, false, false, false));
    }
    void FinishSearch() {
        ASSERT_TRUE(WaitFor(m_queue, kMsgSearchWaiterDone));
        m_search.SearchFinished();
    }
    void Search() {
        StartSearch();
        FinishSearch();
    }

    std::int32_t FindFile(const std::string& rel) const {
        const TScanData& store = m_search.Store();
        for (std::uint32_t i = 0; i < store.FileCount(); ++i)
            if (store.FullPath(i) == DecodeFileName(Work(rel)))
                return static_cast<std::int32_t>(i);
        return -1;
    }
    void MarkAndList(const std::vector<std::string>& rels) {
        for (const std::string& rel : rels) {
            const std::int32_t file = FindFile(rel);
            ASSERT_GE(file, 0) << rel;
            ASSERT_TRUE(SetFileMark(m_search.Store(), kViewSameSize, TFileIndex{file}, true));
        }
        ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
    }

    TTempTree m_tree;
    std::string m_root;
    TRecorder m_recorder;
    TMessageQueue m_queue;
    TMarkingCaller<TSearchSafeProgress> m_searchCaller;
    TMarkingCaller<TContentSafeProgress> m_contentCaller;
    TMarkingCaller<TDeleteSafeProgress> m_deleteCaller;
    TMarkingCaller<TCopySafeProgress> m_copyCaller;
    TSearchRun m_search;
    TOperationRun m_ops{m_search};
};

TEST_F(StoreNoticesTest, SearchAndComparisonClearFirstThenHoldTheStoreUntilFinished) {
    StartSearch();
    // The worker owns the store from its start until the front end has seen
    // it end, not just until its thread returns.
    ASSERT_TRUE(WaitFor(m_queue, kMsgSearchWaiterDone));
    EXPECT_EQ(m_recorder.Take(), (TStrings{"clearing search", "cleared search", "busy"}));
    EXPECT_TRUE(m_search.Store().Busy());
    m_search.SearchFinished();
    EXPECT_EQ(m_recorder.Take(), TStrings{"idle"});
    EXPECT_TRUE(m_search.Store().Status().m_searchDone);

    m_contentCaller.SetProgress(&m_search.ContentProgress());
    ASSERT_TRUE(m_search.StartContentCompare(&m_queue, &m_contentCaller));
    ASSERT_TRUE(WaitFor(m_queue, kMsgContentWaiterDone));
    m_search.ContentFinished();
    EXPECT_EQ(m_recorder.Take(), (TStrings{"clearing content", "cleared content", "busy", "idle"}));
    EXPECT_TRUE(m_search.Store().Status().m_contentDone);
    // A second finish of the same run says nothing more.
    m_search.SearchFinished();
    EXPECT_TRUE(m_recorder.Take().empty());
}

TEST_F(StoreNoticesTest, AbortedRunsEndIdleAsCompletedOnesDo) {
    StartSearch(kPhaseScanning);
    ASSERT_TRUE(m_searchCaller.WaitAtGate());
    m_search.CancelSearch();
    m_searchCaller.Open();
    FinishSearch();
    EXPECT_TRUE(m_search.Store().Status().m_searchAborted);
    EXPECT_EQ(m_recorder.Take(), (TStrings{"clearing search", "cleared search", "busy", "idle"}));

    Search();
    m_recorder.Take();
    m_contentCaller.SetProgress(&m_search.ContentProgress());
    m_contentCaller.SetGate(kPhaseComparing);
    ASSERT_TRUE(m_search.StartContentCompare(&m_queue, &m_contentCaller));
    ASSERT_TRUE(m_contentCaller.WaitAtGate());
    m_search.CancelContent();
    m_contentCaller.Open();
    ASSERT_TRUE(WaitFor(m_queue, kMsgContentWaiterDone));
    m_search.ContentFinished();
    EXPECT_TRUE(m_search.Store().Status().m_contentAborted);
    EXPECT_EQ(m_recorder.Take(), (TStrings{"clearing content", "cleared content", "busy", "idle"}));
}

TEST_F(StoreNoticesTest, DeleteAndMoveAnnounceTheirReindexThroughTheCaller) {
    Search();
    MarkAndList({"a/x.txt"});
    m_recorder.Take();
    m_ops.SetDeleteDirectly(true);
    m_deleteCaller.SetProgress(&m_ops.DeleteProgress());
    ASSERT_TRUE(m_ops.StartDelete(&m_queue, &m_deleteCaller, kViewSameSize, false, false,
                                  TNoTrashAction::kKeep));
    ASSERT_TRUE(WaitFor(m_queue, kMsgDeleteWaiterDone));
    m_ops.DeleteFinished();
    EXPECT_FALSE(Exists(Work("a/x.txt")));
    EXPECT_EQ(m_recorder.Take(), (TStrings{"busy", "clearing reindex", "cleared reindex", "idle"}));

    MarkAndList({"b/x.txt"});
    m_recorder.Take();
    m_copyCaller.SetProgress(&m_ops.CopyProgress());
    // A copy changes no index and so announces no re-index.
    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_copyCaller, kViewSameSize, false, false,
                                    DecodeFileName(m_root + "/copied"), TCollisionRule::Skip,
                                    false));
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    m_ops.CopyFinished();
    EXPECT_EQ(m_recorder.Take(), (TStrings{"busy", "idle"}));

    ASSERT_TRUE(m_ops.StartCopyMove(&m_queue, &m_copyCaller, kViewSameSize, false, false,
                                    DecodeFileName(m_root + "/moved"), TCollisionRule::Skip, true,
                                    true));
    ASSERT_TRUE(WaitFor(m_queue, kMsgCopyWaiterDone));
    m_ops.CopyFinished();
    EXPECT_FALSE(Exists(Work("b/x.txt")));
    EXPECT_EQ(m_recorder.Take(), (TStrings{"busy", "clearing reindex", "cleared reindex", "idle"}));
}

TEST_F(StoreNoticesTest, TheListRefusesAStoreOfANewerRevision) {
    Search();
    MarkAndList({"a/x.txt"});
    const std::uint64_t built = m_search.Store().Revision();
    EXPECT_TRUE(m_ops.List().MatchesStore());

    // The same tree searched again gives every file its old index and the
    // same marks: only the revision tells the new store from the old one.
    Search();
    const std::int32_t file = FindFile("a/x.txt");
    ASSERT_EQ(file, m_ops.List().FileOf(0));
    ASSERT_TRUE(SetFileMark(m_search.Store(), kViewSameSize, TFileIndex{file}, true));
    EXPECT_GT(m_search.Store().Revision(), built);
    EXPECT_FALSE(m_ops.List().MatchesStore());
    m_ops.SetDeleteDirectly(true);
    EXPECT_FALSE(m_ops.StartDelete(&m_queue, &m_deleteCaller, kViewSameSize, false, false,
                                   TNoTrashAction::kKeep));
    EXPECT_TRUE(Exists(Work("a/x.txt")));

    // Marks and sorting change no index: a list built afterwards still holds.
    ASSERT_EQ(m_ops.BuildList(kViewSameSize), 0);
    SortRows(m_search.Store(), kViewSameSize, 0, false);
    SortNavigator(m_search.Store(), kViewSameSize, 0, false);
    EXPECT_TRUE(m_ops.List().MatchesStore());
}

TEST_F(StoreNoticesTest, MarksAndSortsTellTheirView) {
    Search();
    m_recorder.Take();
    TScanData& store = m_search.Store();
    ASSERT_TRUE(ToggleRowMark(store, kViewSameSize, TRow{1}));
    MarkAll(store, kViewSameName, true);
    ASSERT_TRUE(ToggleGroupMarks(store, kViewSameNameSize, TNavPos{0}));
    ClearViewMarks(store, kViewSameSize);
    SortRows(store, kViewSameSize, 0, false);
    SortNavigator(store, kViewSameName, 0, true);
    EXPECT_EQ(m_recorder.Take(),
              (TStrings{"marks 17", "marks 16", "marks 18", "marks 17", "order 17", "order 16"}));
    // A row that has no file changes nothing and says nothing.
    EXPECT_FALSE(ToggleRowMark(store, kViewSameSize, TRow{0}));
    EXPECT_TRUE(m_recorder.Take().empty());
}

} // namespace
} // namespace vdx
