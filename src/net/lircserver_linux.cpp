#include "net/lircserver.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuvok {

LircServer lircServerOf(std::intptr_t socket) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    if (getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return {false,
                std::string("a server the system does not name (") + std::strerror(errno) + ")"};
    if (peer.uid == 0)
        return {true, "root"};
    if (peer.uid == getuid())
        return {true, "this user"};
    struct stat folder {};
    if (stat(kSystemLircFolder, &folder) == 0 && folder.st_uid == peer.uid)
        return {true, std::string("the owner of ") + kSystemLircFolder};
    return {false, "user " + std::to_string(peer.uid)};
}

} // namespace nuvok
