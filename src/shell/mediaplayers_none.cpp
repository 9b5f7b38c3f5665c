// Windows players have no common remote-control interface; keystrokes only.
#include "shell/mediaplayers.h"

namespace nuvok {

std::unique_ptr<MediaPlayers> createMediaPlayers() {
    return nullptr;
}

} // namespace nuvok
