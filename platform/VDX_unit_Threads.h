#pragma once
// The few threading pieces every long operation uses: a manual-reset event
// for pause and resume, the message target a worker posts its progress
// messages to, and the synchronous call that runs a snapshot routine on the
// user-interface thread. The engine sees only these interfaces; the desktop
// program and the command line each provide their own implementations.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

namespace vdx {

// A manual-reset event: once set it stays set until reset, and releases
// every waiter.
class TEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Blocks until the event is set.
    void Wait() const;
    // Blocks until the event is set or the time runs out; true when set.
    bool WaitFor(std::uint32_t milliseconds) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_set = false;
};

// Receives posted messages. Post never blocks on the receiver and may be
// called from any thread.
class TMessageTarget {
public:
    virtual ~TMessageTarget() = default;
    virtual void Post(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam) = 0;
};

// Runs a routine on the user-interface thread and returns when it has run.
class TMainThreadCaller {
public:
    virtual ~TMainThreadCaller() = default;
    virtual void CallSync(const std::function<void()>& routine) = 0;
};

// The command line's main-thread call: the routine runs on the calling
// thread under a mutex, and the main loop reads what the routine wrote under
// the same mutex (Lock).
class TMutexCaller : public TMainThreadCaller {
public:
    void CallSync(const std::function<void()>& routine) override;
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }

private:
    std::mutex m_mutex;
};

struct TPostedMessage {
    std::uint32_t code = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// A message target that queues what is posted, for the command line's main
// loop and for tests.
class TMessageQueue : public TMessageTarget {
public:
    void Post(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam) override;
    // Takes the oldest message, waiting up to the given time for one; false
    // when none arrived.
    bool Take(TPostedMessage& message, std::uint32_t milliseconds);
    std::size_t Count() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<TPostedMessage> m_messages;
};

} // namespace vdx
