#include "cli/VDX_cli_Interrupt.h"

#include <atomic>

namespace vdx::cli {
namespace {

// Lock-free, so the handler may set it.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) {
    g_interrupted.store(true, std::memory_order_relaxed);
}

} // namespace

TInterruptGuard::TInterruptGuard() {
    g_interrupted.store(false, std::memory_order_relaxed);
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &m_oldInt);
    ::sigaction(SIGTERM, &action, &m_oldTerm);
    // A closed terminal ends the run like Ctrl+C, so that no partial copy is
    // left and the logs are still written.
    ::sigaction(SIGHUP, &action, &m_oldHup);
    // With the terminal gone, a pipe to a pager dies too: a write to it
    // must fail with EPIPE instead of killing the run before its logs.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &m_oldPipe);
}

TInterruptGuard::~TInterruptGuard() {
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
    ::sigaction(SIGHUP, &m_oldHup, nullptr);
    ::sigaction(SIGPIPE, &m_oldPipe, nullptr);
}

bool TInterruptGuard::Interrupted() {
    return g_interrupted.load(std::memory_order_relaxed);
}

} // namespace vdx::cli
