#pragma once

#include <memory>

class F_NUVOKrc;

// The system's requests to end the program (SIGTERM from the session manager
// or the service manager, SIGINT from a terminal) close the window like any
// other close request, so the tray icon goes and the listener is closed before
// the program ends. One at a time, for the life of the program's window.
class SignalClose {
public:
    explicit SignalClose(F_NUVOKrc& window);
    ~SignalClose();
    SignalClose(const SignalClose&) = delete;
    SignalClose& operator=(const SignalClose&) = delete;

private:
    struct Watch;
    std::unique_ptr<Watch> m_watch;
};
