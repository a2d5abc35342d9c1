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
}

TInterruptGuard::~TInterruptGuard() {
    ::sigaction(SIGINT, &m_oldInt, nullptr);
    ::sigaction(SIGTERM, &m_oldTerm, nullptr);
}

bool TInterruptGuard::Interrupted() {
    return g_interrupted.load(std::memory_order_relaxed);
}

} // namespace vdx::cli
