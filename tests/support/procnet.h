#pragma once

namespace nuvok::test {

// Whether a socket is bound to the port, read from the kernel's own tables
// (Linux), so that looking does not disturb the program that owns it.
bool udpPortBound(int port);
bool tcpPortListening(int port);

} // namespace nuvok::test
