#include "support/procnet.h"

#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

namespace nuvok::test {
namespace {

// Rows: slot, local address:port (hexadecimal), remote address:port, state.
bool tableHas(std::initializer_list<const char*> tables, int port, const char* state) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ":%04X", port);
    for (const char* table : tables) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line); // column names
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string slot;
            std::string local;
            std::string remote;
            std::string rowState;
            fields >> slot >> local >> remote >> rowState;
            if (local.size() > 5 && local.compare(local.size() - 5, 5, suffix) == 0 &&
                (state == nullptr || rowState == state))
                return true;
        }
    }
    return false;
}

} // namespace

bool udpPortBound(int port) {
    return tableHas({"/proc/net/udp", "/proc/net/udp6"}, port, nullptr);
}

bool tcpPortListening(int port) {
    return tableHas({"/proc/net/tcp", "/proc/net/tcp6"}, port, "0A");
}

} // namespace nuvok::test
