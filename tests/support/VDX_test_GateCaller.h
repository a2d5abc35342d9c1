#pragma once
// The stand-in user-interface thread of the controller tests: a caller that
// runs the workers' snapshot routines under a lock, records the phase each
// one wrote, and can hold a worker inside a chosen phase until the test lets
// it go on.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/VDX_unit_Threads.h"

namespace vdx::test {

// How long a test waits for a worker before it counts as hung.
inline constexpr std::uint32_t kGateWaitMs = 20'000;

// TProgress is the controller's safe progress record that the snapshot
// routines write; the caller reads it right after each routine, on the
// worker's thread and under its own lock.
template <typename TProgress>
class TGateCaller : public TMainThreadCaller {
public:
    TGateCaller() = default;
    explicit TGateCaller(const TProgress& progress, int gatePhase = -1)
        : m_progress(&progress), m_gatePhase(gatePhase) {}

    // Both are set before the run starts. Without a progress record the
    // routines run but nothing is recorded and nothing is held.
    void SetProgress(const TProgress* progress) { m_progress = progress; }
    void SetGate(int phase) { m_gatePhase = phase; }

    void CallSync(const std::function<void()>& routine) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        routine();
        if (m_progress == nullptr)
            return;
        m_phases.push_back(m_progress->phase);
        m_last = *m_progress;
        if (m_gatePhase >= 0 && m_progress->phase == m_gatePhase && !m_reached) {
            m_reached = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_open; });
        }
    }

    // Runs steer (a pause, resume or cancel of the run) under the lock the
    // routines run under, as the user-interface thread would run both: the
    // waiters' steering writes the pause cells of the progress record that
    // the routines copy, and here the routines run on the worker's thread.
    template <typename F>
    void Steer(F&& steer) {
        std::lock_guard<std::mutex> lock(m_mutex);
        steer();
    }

    // Waits until the worker is held at the gate; false on timeout.
    bool WaitAtGate() {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kGateWaitMs),
                                  [this] { return m_reached; });
    }
    void Open() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = true;
        }
        m_changed.notify_all();
    }
    std::size_t SnapshotCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_phases.size();
    }
    std::vector<std::int32_t> Phases() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_phases;
    }
    TProgress Last() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_last;
    }
    // Runs f as the user-interface thread would: never at the same time as
    // a snapshot routine. The controllers' pause and resume write the
    // record's pause cells, which the routines copy.
    template <typename F>
    void OnMainThread(F&& f) {
        std::lock_guard<std::mutex> lock(m_mutex);
        f();
    }

private:
    const TProgress* m_progress = nullptr;
    int m_gatePhase = -1;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::int32_t> m_phases;
    TProgress m_last{};
    bool m_reached = false;
    bool m_open = false;
};

// Takes messages until the code last (a waiter's end message) or a timeout;
// the codes taken, in order.
inline std::vector<std::uint32_t> DrainUntil(TMessageQueue& queue, std::uint32_t last) {
    std::vector<std::uint32_t> codes;
    TPostedMessage m;
    while (queue.Take(m, kGateWaitMs)) {
        codes.push_back(m.code);
        if (m.code == last)
            break;
    }
    return codes;
}

// Takes messages until one of code; false on a timeout.
inline bool WaitFor(TMessageQueue& queue, std::uint32_t code) {
    TPostedMessage m;
    while (queue.Take(m, kGateWaitMs))
        if (m.code == code)
            return true;
    return false;
}

} // namespace vdx::test
