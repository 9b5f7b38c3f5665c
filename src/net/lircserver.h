#pragma once

#include <cstdint>
#include <string>

namespace nuvok {

// Who serves lircd's socket at the other end of a connection. A receiver in
// the room is as trusted as the program's own keys, but only when the socket
// is served by root, by this user or by the owner of the system's lircd
// folder: any other local user can make a socket where lircd would be and
// send what keys they like.
struct LircServer {
    bool trusted = false;
    std::string who; // for the log: "root", "this user", "user 1001", or why it is not known
};

// The folder where the system's lircd keeps its socket; its owner runs lircd.
inline constexpr const char* kSystemLircFolder = "/run/lirc";

// Asks the system about the connected local socket (descriptor or handle).
LircServer lircServerOf(std::intptr_t socket);

} // namespace nuvok
