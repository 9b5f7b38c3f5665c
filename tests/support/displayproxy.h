#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace nuvok::test {

// A second X11 display that passes every connection on to the real one (the
// display in DISPLAY) and cuts each connection a fixed time after it opened,
// or when told, as a display server that goes away does.
class CuttingDisplayProxy {
public:
    explicit CuttingDisplayProxy(std::chrono::milliseconds cutAfter = std::chrono::hours(24));
    ~CuttingDisplayProxy();
    CuttingDisplayProxy(const CuttingDisplayProxy&) = delete;
    CuttingDisplayProxy& operator=(const CuttingDisplayProxy&) = delete;

    bool listening() const { return m_listener >= 0; }
    // ":N", for DISPLAY.
    const std::string& displayName() const { return m_name; }
    // Off: the display is gone, every connection is cut and new ones are
    // refused. On again: it is back. Takes effect within a few milliseconds.
    void setServing(bool serving) {
        m_serving = serving;
        const int seen = m_turns;
        while (m_turns < seen + 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    void run();

    std::chrono::milliseconds m_cutAfter;
    std::string m_target;
    std::string m_path;
    std::string m_name;
    std::atomic<bool> m_serving{true};
    std::atomic<int> m_turns{0};
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace nuvok::test
