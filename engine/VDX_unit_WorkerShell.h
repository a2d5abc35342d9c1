#pragma once
// The life every worker shares: its thread, the pause, resume and terminate
// signals, the guard that turns an exception into an error-file entry and a
// clean end, the throttled progress snapshot on the user-interface thread,
// and the end message posted when the worker is freed. A worker derives
// from TWorkerShell, does its work in Work and its closing in Close, and is
// run by a TWorkerRun waiter.

#include <cstdint>
#include <string_view>
#include <thread>

#include "engine/VDX_unit_WorkerRun.h"
#include "platform/VDX_unit_Threads.h"
#include "platform/VDX_unit_Time.h"

namespace vdx {

// The longest a progress snapshot may be held back while work goes on.
inline constexpr std::uint64_t kProgressIntervalMs = 200;

// The messages a worker posts to its window: progressCode after each
// snapshot (0: none), endCode once the worker is freed.
struct TWorkerCodes {
    std::uint32_t progressCode = 0;
    std::uint32_t endCode = 0;
};

class TWorkerShell {
public:
    // name (a literal) prefixes the error-file entries of the worker's
    // exceptions. window and caller may be nullptr: no messages, and the
    // main-thread routines run on the worker's thread.
    TWorkerShell(std::u16string_view name, TWorkerCodes codes, TMessageTarget* window,
                 TMainThreadCaller* caller, std::uint64_t snapshotIntervalMs = kProgressIntervalMs)
        : m_name(name), m_codes(codes), m_window(window), m_caller(caller),
          m_snapshotIntervalMs(snapshotIntervalMs) {}
    // Posts the end message. A derived worker joins its thread (Join) in its
    // own destructor, before the members the thread uses are gone.
    virtual ~TWorkerShell();
    TWorkerShell(const TWorkerShell&) = delete;
    TWorkerShell& operator=(const TWorkerShell&) = delete;

    // Throws std::system_error when no thread can be started.
    void Start() { m_thread = std::thread(&TWorkerShell::Execute, this); }
    void WaitFor() { Join(); }
    // A worker that never ran reports nothing.
    void Discard() { m_window = nullptr; }

    void Pause() { m_signals.Pause(); }
    void Resume() { m_signals.Resume(); }
    // Also releases a paused worker, so that a cancel is seen even when
    // nobody resumes it.
    void Terminate() { m_signals.Terminate(); }

protected:
    // The worker's run, on its thread.
    virtual void Work() = 0;
    // Runs after Work, also when Work threw (failed): what a run must do
    // however it ended. An exception here is logged and the thread ends.
    virtual void Close(bool failed) { (void)failed; }

    void Join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool Terminated() const { return m_signals.Terminated(); }
    // Blocks while a pause is asked for; true when the worker stood still.
    bool WaitWhilePaused() { return m_signals.WaitWhilePaused(); }

    // The end message's wParam (0 unless set).
    void SetEndParam(std::intptr_t value) { m_endParam = value; }

    // The caller that runs routines on the user-interface thread, for the
    // engine calls that take one (nullptr: they run right here).
    TMainThreadCaller* Caller() const { return m_caller; }
    // Runs routine on the user-interface thread and returns when it has run.
    template <typename F>
    void CallOnMain(F&& routine) {
        CallOnMainThread(m_caller, routine);
    }
    // Runs fill on the user-interface thread (where the progress record is
    // written), then posts the progress message.
    template <typename F>
    void Snapshot(F&& fill) {
        MarkSnapshot();
        auto routine = [this, &fill] {
            fill();
            if (m_window != nullptr && m_codes.progressCode != 0)
                m_window->Post(m_codes.progressCode, 0, 0);
        };
        CallOnMainThread(m_caller, routine);
    }
    // More than the interval has passed since the last snapshot.
    bool SnapshotDue() const { return TickCountMs() - m_lastSnapshotTick > m_snapshotIntervalMs; }
    void MarkSnapshot() { m_lastSnapshotTick = TickCountMs(); }

private:
    void Execute();

    std::u16string_view m_name;
    TWorkerCodes m_codes;
    TMessageTarget* m_window;
    TMainThreadCaller* m_caller;
    std::uint64_t m_snapshotIntervalMs;
    std::uint64_t m_lastSnapshotTick = 0;
    std::intptr_t m_endParam = 0;
    TWorkerSignals m_signals;
    std::thread m_thread;
};

} // namespace vdx
