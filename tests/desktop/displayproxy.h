#pragma once

#include <chrono>
#include <string>
#include <thread>

namespace nuvok::test {

// A second X11 display that passes every connection on to the real one (the
// display in DISPLAY) and cuts each connection a fixed time after it opened,
// as a display server that goes away does.
class CuttingDisplayProxy {
public:
    explicit CuttingDisplayProxy(std::chrono::milliseconds cutAfter);
    ~CuttingDisplayProxy();
    CuttingDisplayProxy(const CuttingDisplayProxy&) = delete;
    CuttingDisplayProxy& operator=(const CuttingDisplayProxy&) = delete;

    bool listening() const { return m_listener >= 0; }
    // ":N", for DISPLAY.
    const std::string& displayName() const { return m_name; }

private:
    void run();

    std::chrono::milliseconds m_cutAfter;
    std::string m_target;
    std::string m_path;
    std::string m_name;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace nuvok::test
