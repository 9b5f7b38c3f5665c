#pragma once

#include <condition_variable>
#include <mutex>

namespace nuvok::test {

// Holds up whoever passes it while it is shut, as a peer that hangs holds up
// its caller; opening it lets everybody through. Safe across threads.
class Gate {
public:
    void shut() {
        const std::lock_guard lock(m_mutex);
        m_open = false;
    }
    void open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }
    void pass() {
        std::unique_lock lock(m_mutex);
        ++m_waiting;
        m_opened.wait(lock, [this] { return m_open; });
        --m_waiting;
    }
    int waiting() const {
        const std::lock_guard lock(m_mutex);
        return m_waiting;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = true;
    int m_waiting = 0;
};

} // namespace nuvok::test
