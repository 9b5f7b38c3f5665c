#include "handsetlinks.h"

namespace nuvok {

// Windows reports a refused datagram on Qt's socket as it is.
bool sendDatagramsNatively(const HandsetOptions&) {
    return false;
}

} // namespace nuvok
