#pragma once
// The engine's two ways of reaching the user-interface thread, on Qt: a
// posted message becomes a QEvent whose type is the message number, and a
// snapshot routine runs on the user-interface thread through a blocking
// queued call while the worker waits.

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <functional>

#include "platform/VDX_unit_Threads.h"

namespace vdx {

// A message of the engine (type = its number, 1024 + n) with its two values.
class TEngineEvent : public QEvent {
public:
    TEngineEvent(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam)
        : QEvent(static_cast<QEvent::Type>(code)), m_wParam(wParam), m_lParam(lParam) {}
    std::intptr_t WParam() const { return m_wParam; }
    std::intptr_t LParam() const { return m_lParam; }

private:
    std::intptr_t m_wParam;
    std::intptr_t m_lParam;
};

// Posts every message as a TEngineEvent to one receiver. Post may be called
// from any thread; the receiver must outlive every post, which the windows
// ensure by closing only after their worker has ended.
class TQtMessageTarget : public TMessageTarget {
public:
    explicit TQtMessageTarget(QObject* receiver) : m_receiver(receiver) {}
    void Post(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam) override;

private:
    QObject* m_receiver;
};

// Runs routines on the thread the caller was created on (the user-interface
// thread). A call from that thread itself runs the routine directly; a call
// from a worker blocks it until the routine has run, so the routine may
// read and write what the user-interface thread owns.
class TQtMainThreadCaller : public TMainThreadCaller {
public:
    TQtMainThreadCaller();
    ~TQtMainThreadCaller() override;
    void CallSync(const std::function<void()>& routine) override;

private:
    QObject* m_context; // lives on the user-interface thread
};

} // namespace vdx
