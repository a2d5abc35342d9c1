#include "platform/VDX_unit_Threads.h"

#include <chrono>

namespace vdx {

void TEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void TEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool TEvent::IsSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_set;
}

void TEvent::Wait() const {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_set; });
}

bool TEvent::WaitFor(std::uint32_t milliseconds) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return m_set; });
}

void TMutexCaller::CallSync(const std::function<void()>& routine) {
    std::lock_guard<std::mutex> lock(m_mutex);
    routine();
}

void TMessageQueue::Post(std::uint32_t code, std::intptr_t wParam, std::intptr_t lParam) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back({code, wParam, lParam});
    }
    m_posted.notify_one();
}

bool TMessageQueue::Take(TPostedMessage& message, std::uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_posted.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return !m_messages.empty(); }))
        return false;
    message = m_messages.front();
    m_messages.pop_front();
    return true;
}

std::size_t TMessageQueue::Count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages.size();
}

} // namespace vdx
