#include "net/keepalive.h"

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace nuvok {

std::string watchConnection(std::intptr_t socket, KeepAliveTiming timing) {
    const int descriptor = static_cast<int>(socket);
    const struct {
        int level;
        int name;
        int value;
    } options[] = {
        {IPPROTO_TCP, TCP_KEEPIDLE, timing.idleSeconds},
        {IPPROTO_TCP, TCP_KEEPINTVL, timing.intervalSeconds},
        {IPPROTO_TCP, TCP_KEEPCNT, timing.probes},
        {SOL_SOCKET, SO_KEEPALIVE, 1},
    };
    for (const auto& option : options) {
        if (setsockopt(descriptor, option.level, option.name, &option.value, sizeof option.value) !=
            0)
            return std::strerror(errno);
    }
    return {};
}

} // namespace nuvok
