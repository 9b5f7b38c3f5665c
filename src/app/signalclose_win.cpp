#include "app/signalclose.h"

// A Windows program of the window subsystem has no console, so there is no
// Ctrl+C to turn into a close request: nothing is watched.
struct SignalClose::Watch {};

SignalClose::SignalClose(F_NUVOKrc&) : m_watch(std::make_unique<Watch>()) {}

SignalClose::~SignalClose() = default;
