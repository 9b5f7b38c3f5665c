#include "support/freeport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nuvok::test {
namespace {

// Binds a socket of the type to the port on every address; 0 asks the system
// for a free one. Returns the port bound, or 0.
int bindAny(int type, int port) {
    const int fd = socket(AF_INET, type, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<in_port_t>(port));
    socklen_t length = sizeof address;
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                       getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

} // namespace

int freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const int port = bindAny(SOCK_STREAM, 0);
        if (port != 0 && bindAny(SOCK_DGRAM, port) == port)
            return port;
    }
    return 0;
}

} // namespace nuvok::test
