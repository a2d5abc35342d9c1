// Runs under ThreadSanitizer too.
// The life every worker shares, once for each of the five: it starts and
// completes, a pause holds it and a resume lets it finish, a cancel ends it
// aborted from a running or a paused state, its owner freed while it is
// paused stops and joins it, and an exception ends it aborted with its end
// messages still posted.
#include <bitset>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "engine/VDX_unit_Messages.h"
#include "engine/VDX_unit_SearchRun.h"
#include "operations/VDX_unit_CopyMove.h"
#include "operations/VDX_unit_Delete.h"
#include "operations/VDX_unit_OperationLogs.h"
#include "operations/VDX_unit_RemoveEmpty.h"
#include "platform/VDX_unit_Text.h"
#include "tests/support/VDX_test_GateCaller.h"
#include "tests/support/VDX_test_TempTree.h"

namespace vdx {
namespace {

using test::DrainUntil;
using test::TTempTree;

// The gate caller of the controller tests that can also throw, once, out of
// the first routine it runs, as a failed allocation on the worker's side
// would.
template <typename TProgress>
class TLifeCaller : public test::TGateCaller<TProgress> {
public:
    using test::TGateCaller<TProgress>::TGateCaller;
    void ThrowOnce() { m_throw = true; }
    void CallSync(const std::function<void()>& routine) override {
        test::TGateCaller<TProgress>::CallSync(routine);
        if (m_throw) {
            m_throw = false;
            throw std::runtime_error("no memory");
        }
    }

private:
    bool m_throw = false; // read and written on the worker's thread only
};

// A tree searched into a store, for the workers that act on a search.
struct TSearchedTree {
    TSearchedTree() {
        tree.File("one/photo.jpg", "same content");
        tree.File("two/photo.jpg", "same content");
        tree.File("two/other.txt", "other conten");
        auto path = std::make_unique<TSearchData>();
        path->SearchPath = DecodeFileName(tree.Root());
        set.AddOwned(std::move(path));
    }
    void Search(TSearchRun& run) {
        TMessageQueue queue;
        ASSERT_TRUE(run.StartSearch(set, &queue, nullptr, false, false, false));
        DrainUntil(queue, kMsgSearchWaiterDone);
        run.SearchFinished();
        ASSERT_TRUE(run.Store().Status().m_searchDone);
    }
    TTempTree tree;
    TSearchSet set;
};

// Each kind below drives one worker through its owner: Start (held at the
// caller's gate), Pause, Resume, Cancel, Finished, Destroy (frees the owner),
// and tells how the run ended.

struct TSearchKind {
    using TProgress = TSearchSafeProgress;
    static constexpr std::int32_t kGatePhase = kPhaseScanning;
    static constexpr std::uint32_t kProgressCode = kMsgSearchProgress;
    static constexpr std::uint32_t kEndedCode = kMsgSearchWorkerEnded;
    static constexpr std::uint32_t kDoneCode = kMsgSearchWaiterDone;

    const TProgress& Progress() const { return run->SearchProgress(); }
    bool Start(TMessageTarget* window, TMainThreadCaller* caller) {
        return run->StartSearch(searched.set, window, caller, false, false, false);
    }
    void Pause() { run->PauseSearch(); }
    void Resume() { run->ResumeSearch(); }
    void Cancel() { run->CancelSearch(); }
    void Finished() { run->SearchFinished(); }
    bool Running() const { return run->SearchRunning(); }
    void Destroy() { run.reset(); }
    bool Completed() const {
        return run->Store().Status().m_searchDone && run->Store().FileCount() == 3;
    }
    bool Aborted() const {
        return run->Store().Status().m_searchAborted && !run->Store().Status().m_searchDone;
    }

    TSearchedTree searched;
    std::unique_ptr<TSearchRun> run = std::make_unique<TSearchRun>();
};

struct TContentKind {
    using TProgress = TContentSafeProgress;
    static constexpr std::int32_t kGatePhase = kPhaseComparing;
    static constexpr std::uint32_t kProgressCode = kMsgContentProgress;
    static constexpr std::uint32_t kEndedCode = kMsgContentWorkerEnded;
    static constexpr std::uint32_t kDoneCode = kMsgContentWaiterDone;

    TContentKind() { searched.Search(*run); }
    const TProgress& Progress() const { return run->ContentProgress(); }
    bool Start(TMessageTarget* window, TMainThreadCaller* caller) {
        return run->StartContentCompare(window, caller);
    }
    void Pause() { run->PauseContent(); }
    void Resume() { run->ResumeContent(); }
    void Cancel() { run->CancelContent(); }
    void Finished() { run->ContentFinished(); }
    bool Running() const { return run->ContentRunning(); }
    void Destroy() { run.reset(); }
    bool Completed() const {
        return run->Store().Status().m_contentDone &&
               run->Store().Counters(kViewSameContent).m_groupFiles == 2;
    }
    bool Aborted() const {
        return run->Store().Status().m_contentAborted && !run->Store().Status().m_contentDone;
    }

    TSearchedTree searched;
    std::unique_ptr<TSearchRun> run = std::make_unique<TSearchRun>();
};

// Every file of the store, as a list the user confirmed.
std::vector<std::int32_t> AllFiles(const TScanData& store) {
    std::vector<std::int32_t> files;
    for (std::uint32_t i = 0; i < store.FileCount(); ++i)
        files.push_back(static_cast<std::int32_t>(i));
    return files;
}

// The steering of the operations' own waiters, which all answer alike. A
// kind frees its waiter in its own destructor, before the store, logs and
// records a worker still running would use.
template <typename TWaiter>
struct TWaiterSteering {
    void Pause() { waiter->Pause(); }
    void Resume() { waiter->Resume(); }
    void Cancel() { waiter->Terminate(); }
    void Finished() { waiter->Finished(); }
    bool Running() const { return waiter->Running(); }
    void Destroy() { waiter.reset(); }
    bool Aborted() const { return waiter->Aborted(); }

    std::unique_ptr<TWaiter> waiter = std::make_unique<TWaiter>();
};

struct TDeleteKind : TWaiterSteering<TRunDeleteThread> {
    using TProgress = TDeleteSafeProgress;
    static constexpr std::int32_t kGatePhase = kPhaseDeleting;
    static constexpr std::uint32_t kProgressCode = kMsgDeleteProgress;
    static constexpr std::uint32_t kEndedCode = kMsgDeleteWorkerEnded;
    static constexpr std::uint32_t kDoneCode = kMsgDeleteWaiterDone;

    TDeleteKind() { searched.Search(search); }
    ~TDeleteKind() { Destroy(); }
    const TProgress& Progress() const { return progress; }
    bool Start(TMessageTarget* window, TMainThreadCaller* caller) {
        logs.BeginRun(true, true, kViewSameSize, TOperationKind::Delete, TLogHeaderFigures{});
        TDeleteInputs inputs;
        inputs.files = AllFiles(search.Store());
        inputs.view = kViewSameSize;
        inputs.deleteDirectly = true;
        inputs.permanentVolumes.set();
        inputs.allowWholeGroups = true;
        inputs.filesToProcess = static_cast<std::uint32_t>(inputs.files.size());
        auto worker = std::make_unique<TDeleteThread>(search.Store(), std::move(inputs), logs,
                                                      progress, window, caller);
        return waiter->Start(std::move(worker), window);
    }
    bool Completed() const { return !waiter->Aborted() && waiter->Counters().doneCount == 3; }

    TSearchedTree searched;
    TSearchRun search;
    TOperationLogs logs;
    TDeleteSafeProgress progress;
};

struct TCopyKind : TWaiterSteering<TRunCopyThread> {
    using TProgress = TCopySafeProgress;
    static constexpr std::int32_t kGatePhase = kPhaseCopying;
    static constexpr std::uint32_t kProgressCode = kMsgCopyProgress;
    static constexpr std::uint32_t kEndedCode = kMsgCopyWorkerEnded;
    static constexpr std::uint32_t kDoneCode = kMsgCopyWaiterDone;

    TCopyKind() { searched.Search(search); }
    ~TCopyKind() { Destroy(); }
    const TProgress& Progress() const { return progress; }
    bool Start(TMessageTarget* window, TMainThreadCaller* caller) {
        logs.BeginRun(true, true, kViewSameSize, TOperationKind::Copy, TLogHeaderFigures{});
        TCopyInputs inputs;
        inputs.files = AllFiles(search.Store());
        inputs.destination = DecodeFileName(destination.Root());
        inputs.view = kViewSameSize;
        inputs.allowWholeGroups = true;
        inputs.filesToProcess = static_cast<std::uint32_t>(inputs.files.size());
        auto worker = std::make_unique<TCopyThread>(search.Store(), std::move(inputs), logs,
                                                    progress, window, caller);
        return waiter->Start(std::move(worker), progress, window);
    }
    bool Completed() const { return !waiter->Aborted() && waiter->Counters().doneCount == 3; }

    TSearchedTree searched;
    TTempTree destination;
    TSearchRun search;
    TOperationLogs logs;
    TCopySafeProgress progress;
};

struct TRemoveKind : TWaiterSteering<TRunRemoveThread> {
    // The remover has no progress record: its routines show the main
    // folder and the statistics; the gate holds it at the first of them.
    struct TProgress {
        std::int32_t phase = 0;
    };
    static constexpr std::int32_t kGatePhase = 0;
    static constexpr std::uint32_t kProgressCode = 0;
    static constexpr std::uint32_t kEndedCode = kMsgRemoveEnded;
    static constexpr std::uint32_t kDoneCode = 0; // the waiter posts nothing of its own

    class TView : public TRemoveProgressView {
    public:
        void ShowMainFolder(std::u16string_view) override {}
        void ShowStatistics(const TRemoveStatistics&) override {}
    };

    TRemoveKind() {
        tree.Dir("a");
        tree.Dir("b/c");
        tree.Dir("d/e/f");
    }
    ~TRemoveKind() { Destroy(); }
    const TProgress& Progress() const { return progress; }
    bool Start(TMessageTarget* window, TMainThreadCaller* caller) {
        TRemoveInputs inputs;
        inputs.mainFolder = DecodeFileName(tree.Root() + "/");
        inputs.storeLog = false;
        return waiter->Start(std::move(inputs), window, caller, &view, nullptr);
    }
    bool Completed() const { return !waiter->Aborted() && waiter->Statistics().removed == 6; }

    TTempTree tree;
    TView view;
    TProgress progress;
};

template <typename TKind>
class WorkerLifecycle : public testing::Test {
protected:
    using TCaller = TLifeCaller<typename TKind::TProgress>;

    // The code that closes a run's messages: the waiter's, else the worker's.
    static constexpr std::uint32_t kLastCode =
        TKind::kDoneCode != 0 ? TKind::kDoneCode : TKind::kEndedCode;

    // Starts the worker held inside its first routine of the gate phase.
    void StartHeld(TCaller& caller) {
        caller.SetProgress(&m_kind.Progress());
        caller.SetGate(TKind::kGatePhase);
        ASSERT_TRUE(m_kind.Start(&m_queue, &caller));
        ASSERT_TRUE(caller.WaitAtGate());
    }

    // Progress messages, then the worker's end message, then the waiter's;
    // the end message comes once.
    static void ExpectProtocol(const std::vector<std::uint32_t>& codes) {
        const std::size_t ends = TKind::kDoneCode != 0 ? 2 : 1;
        ASSERT_GE(codes.size(), ends);
        if constexpr (TKind::kDoneCode != 0) {
            EXPECT_EQ(codes.back(), TKind::kDoneCode);
        }
        EXPECT_EQ(codes[codes.size() - ends], TKind::kEndedCode);
        for (std::size_t i = 0; i + ends < codes.size(); ++i)
            EXPECT_EQ(codes[i], TKind::kProgressCode) << "message " << i;
    }

    // No end message arrives while the worker should stand still.
    void ExpectHeld() {
        TPostedMessage m;
        while (m_queue.Take(m, 300))
            EXPECT_NE(m.code, TKind::kEndedCode);
        EXPECT_TRUE(m_kind.Running());
    }

    void EndRun() {
        ExpectProtocol(DrainUntil(m_queue, kLastCode));
        m_kind.Finished();
        EXPECT_FALSE(m_kind.Running());
    }

    TKind m_kind;
    TMessageQueue m_queue;
};

using TWorkerKinds = testing::Types<TSearchKind, TContentKind, TDeleteKind, TCopyKind, TRemoveKind>;
TYPED_TEST_SUITE(WorkerLifecycle, TWorkerKinds);

TYPED_TEST(WorkerLifecycle, StartsAndCompletes) {
    typename TestFixture::TCaller caller;
    caller.SetProgress(&this->m_kind.Progress());
    ASSERT_TRUE(this->m_kind.Start(&this->m_queue, &caller));
    EXPECT_TRUE(this->m_kind.Running());
    this->EndRun();
    EXPECT_TRUE(this->m_kind.Completed());
    // A second run starts once the first one is finished.
    typename TestFixture::TCaller again;
    EXPECT_TRUE(this->m_kind.Start(&this->m_queue, &again));
    this->EndRun();
}

TYPED_TEST(WorkerLifecycle, PauseHoldsTheWorkerAndResumeLetsItFinish) {
    typename TestFixture::TCaller caller;
    this->StartHeld(caller);
    caller.Steer([&] { this->m_kind.Pause(); });
    caller.Open();
    this->ExpectHeld();
    caller.Steer([&] { this->m_kind.Resume(); });
    this->EndRun();
    EXPECT_TRUE(this->m_kind.Completed());
}

TYPED_TEST(WorkerLifecycle, CancelEndsTheRunAbortedFromEveryState) {
    struct TCase {
        const char* name;
        bool pauseFirst;
        bool resumeAfter;
    };
    for (const TCase& c :
         {TCase{"while running", false, false}, TCase{"while paused, without resume", true, false},
          TCase{"paused, cancelled, resumed", true, true}}) {
        SCOPED_TRACE(c.name);
        TypeParam kind;
        typename TestFixture::TCaller caller(kind.Progress(), TypeParam::kGatePhase);
        ASSERT_TRUE(kind.Start(&this->m_queue, &caller));
        ASSERT_TRUE(caller.WaitAtGate());
        if (c.pauseFirst) {
            caller.Steer([&] { kind.Pause(); });
            caller.Open();
            caller.Steer([&] { kind.Cancel(); });
            if (c.resumeAfter)
                caller.Steer([&] { kind.Resume(); });
        } else {
            caller.Steer([&] { kind.Cancel(); });
            caller.Open();
        }
        TestFixture::ExpectProtocol(DrainUntil(this->m_queue, TestFixture::kLastCode));
        kind.Finished();
        EXPECT_FALSE(kind.Running());
        EXPECT_TRUE(kind.Aborted());
    }
}

TYPED_TEST(WorkerLifecycle, OwnerFreedWhilePausedStopsAndJoinsTheWorker) {
    typename TestFixture::TCaller caller;
    this->StartHeld(caller);
    caller.Steer([&] { this->m_kind.Pause(); });
    caller.Open();
    this->m_kind.Destroy();
    // Both end messages are already posted once the owner is gone.
    TestFixture::ExpectProtocol(DrainUntil(this->m_queue, TestFixture::kLastCode));
    EXPECT_EQ(this->m_queue.Count(), 0u);
}

TYPED_TEST(WorkerLifecycle, ExceptionEndsTheRunAbortedWithItsMessages) {
    typename TestFixture::TCaller caller;
    caller.SetProgress(&this->m_kind.Progress());
    caller.ThrowOnce();
    ASSERT_TRUE(this->m_kind.Start(&this->m_queue, &caller));
    this->EndRun();
    EXPECT_TRUE(this->m_kind.Aborted());
}

} // namespace
} // namespace vdx
