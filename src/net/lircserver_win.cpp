#include "net/lircserver.h"

namespace nuvok {

// A local socket is a named pipe here, which any user may create; WinLIRC
// itself is reached over TCP.
LircServer lircServerOf(std::intptr_t) {
    return {false, "a server of a named pipe, which any user may create"};
}

} // namespace nuvok
