#pragma once
// The waiter half of every long operation: a waiter thread starts the
// worker, waits for it, lets the owner collect its outcome, frees it (its
// destructor posts the worker's end message) and posts the waiter's end
// message. The steering calls of the user-interface thread reach the worker
// only under a lock, so none reaches a worker being freed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/VDX_unit_Threads.h"

namespace vdx {

// Runs routine on the user-interface thread through caller and returns when
// it has run; without a caller (a run with no window) it runs right here.
template <typename F>
void CallOnMainThread(TMainThreadCaller* caller, F&& routine) {
    if (caller != nullptr)
        caller->CallSync(routine);
    else
        routine();
}

// The pause, resume and terminate requests a worker reads between its
// steps. Pause, Resume and Terminate may be called from any thread.
class TWorkerSignals {
public:
    void Pause() { m_pause.Set(); }
    void Resume() { m_resume.Set(); }
    // Also releases a paused worker, so that a cancel is seen even when
    // nobody resumes it.
    void Terminate() {
        m_terminate.store(true, std::memory_order_relaxed);
        m_resume.Set();
    }
    bool Terminated() const { return m_terminate.load(std::memory_order_relaxed); }
    // Called by the worker between steps: while a pause is asked for, blocks
    // until a resume or a terminate. true when the worker stood still.
    bool WaitWhilePaused() {
        if (!m_pause.IsSet())
            return false;
        m_resume.Wait();
        m_pause.Reset();
        m_resume.Reset();
        return true;
    }

private:
    TEvent m_pause;
    TEvent m_resume;
    std::atomic<bool> m_terminate{false};
};

// TWorker has Start() (throws std::system_error when no thread can be
// started), WaitFor(), Pause(), Resume(), Terminate(), and may have Discard()
// (a worker that never ran posts nothing).
template <typename TWorker>
class TWorkerRun {
public:
    // What the owner does when a run ends; all of it runs on the waiter thread.
    struct THooks {
        // The worker's thread could not be started; runs outside the lock.
        std::function<void(TWorker& worker)> notStarted;
        // Runs under the lock just before the worker is freed; started is
        // false when its thread could not be started.
        std::function<void(TWorker& worker, bool started)> collect;
        // Receives doneCode once the worker is freed; nullptr or a code of 0
        // posts nothing.
        TMessageTarget* window = nullptr;
        std::uint32_t doneCode = 0;
    };

    TWorkerRun() = default;
    // Cancels a worker that still runs and waits for it.
    ~TWorkerRun() { Finish(); }
    TWorkerRun(const TWorkerRun&) = delete;
    TWorkerRun& operator=(const TWorkerRun&) = delete;

    // Starts the waiter for worker. false while a run exists (until Finish)
    // or when no waiter thread can be started; the worker is then freed
    // without running (and discarded first, so it posts nothing).
    bool Start(std::unique_ptr<TWorker> worker, THooks hooks) {
        if (!worker)
            return false;
        if (m_waiter.joinable()) {
            Discard(*worker);
            return false;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_worker = std::move(worker);
        try {
            m_waiter = std::thread(&TWorkerRun::RunWaiter, this, std::move(hooks));
        } catch (const std::system_error&) {
            Discard(*m_worker);
            m_worker.reset();
            return false;
        }
        return true;
    }

    // Runs f on the worker under the lock; does nothing once it is freed.
    template <typename F>
    void WithWorker(F&& f) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_worker)
            f(*m_worker);
    }
    bool HasWorker() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_worker != nullptr;
    }
    void Pause() {
        WithWorker([](TWorker& worker) { worker.Pause(); });
    }
    void Resume() {
        WithWorker([](TWorker& worker) { worker.Resume(); });
    }
    void Terminate() {
        WithWorker([](TWorker& worker) { worker.Terminate(); });
    }

    // From Start until Finish.
    bool Running() const { return m_waiter.joinable(); }
    // Joins the waiter. A worker still running is told to stop first:
    // waiting for it otherwise could last as long as a pause.
    void Finish() {
        if (!m_waiter.joinable())
            return;
        Terminate();
        m_waiter.join();
    }

private:
    static void Discard(TWorker& worker) {
        if constexpr (requires { worker.Discard(); })
            worker.Discard();
    }

    void RunWaiter(THooks hooks) {
        TWorker* worker = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            worker = m_worker.get();
        }
        bool started = true;
        try {
            worker->Start();
            worker->WaitFor();
        } catch (const std::system_error&) {
            started = false;
        }
        if (!started && hooks.notStarted)
            hooks.notStarted(*worker);
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (hooks.collect)
                hooks.collect(*worker, started);
            m_worker.reset();
        }
        if (hooks.window != nullptr && hooks.doneCode != 0)
            hooks.window->Post(hooks.doneCode, 0, 0);
    }

    std::mutex m_lock;
    // Owned here but freed by the waiter when the worker has ended.
    std::unique_ptr<TWorker> m_worker;
    std::thread m_waiter;
};

} // namespace vdx
