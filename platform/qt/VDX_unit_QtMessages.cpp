#include "platform/qt/VDX_unit_QtMessages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace vdx {

void TQtMessageTarget::Post(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam) {
    // postEvent is thread-safe and takes ownership of the event.
    QCoreApplication::postEvent(m_receiver, new TEngineEvent(code, wParam, lParam));
}

TQtMainThreadCaller::TQtMainThreadCaller() : m_context(new QObject) {}

TQtMainThreadCaller::~TQtMainThreadCaller() {
    delete m_context;
}

void TQtMainThreadCaller::CallSync(const std::function<void()>& routine) {
    if (QThread::currentThread() == m_context->thread()) {
        routine();
        return;
    }
    QMetaObject::invokeMethod(
        m_context, [&routine] { routine(); }, Qt::BlockingQueuedConnection);
}

} // namespace vdx
