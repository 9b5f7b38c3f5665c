#pragma once

#include <cstdint>
#include <string>

namespace nuvok {

// How a served connection is watched while it carries nothing: a handset that
// lost its power or its network never says goodbye, and without probes its
// connection would hold the one place for good. The system probes after
// idleSeconds of silence, then every intervalSeconds, and gives up after
// probes unanswered ones: about half a minute in all. (Windows fixes the
// number of probes at ten, which is why ten is asked everywhere.)
struct KeepAliveTiming {
    int idleSeconds = 10;
    int intervalSeconds = 2;
    int probes = 10;
};

// Turns the probes on for a connected TCP socket (the system's descriptor or
// handle). Returns the empty text, or why the system refused.
std::string watchConnection(std::intptr_t socket, KeepAliveTiming timing = {});

} // namespace nuvok
