#pragma once
// Ctrl+C as the abort answer of a running operation: while a guard lives,
// SIGINT, SIGTERM and SIGHUP (the terminal was closed) only set a flag,
// which the command's main loop reads and answers through the operation's
// cancel path, and SIGPIPE is ignored.

#include <csignal>

namespace vdx::cli {

class TInterruptGuard {
public:
    // Clears the flag and installs the handler; the earlier handlers come
    // back when the guard goes away.
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;

    // A signal arrived since the guard was made.
    static bool Interrupted();

private:
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
    struct sigaction m_oldHup {};
    struct sigaction m_oldPipe {};
};

} // namespace vdx::cli
