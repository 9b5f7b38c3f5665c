#include "net/keepalive.h"

#include <winsock2.h>

#include <mstcpip.h>

namespace nuvok {

// One call sets both timings; the number of probes is the system's (ten).
std::string watchConnection(std::intptr_t socket, KeepAliveTiming timing) {
    tcp_keepalive settings{};
    settings.onoff = 1;
    settings.keepalivetime = static_cast<ULONG>(timing.idleSeconds) * 1000;
    settings.keepaliveinterval = static_cast<ULONG>(timing.intervalSeconds) * 1000;
    DWORD returned = 0;
    if (WSAIoctl(static_cast<SOCKET>(socket), SIO_KEEPALIVE_VALS, &settings, sizeof settings,
                 nullptr, 0, &returned, nullptr, nullptr) == 0)
        return {};
    return "Windows socket error " + std::to_string(WSAGetLastError());
}

} // namespace nuvok
