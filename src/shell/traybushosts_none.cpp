#include "shell/traybushosts.h"

// No session bus here: the toolkit asks the shell for its notification area,
// which answers at once.
std::unique_ptr<BusTrayHosts> BusTrayHosts::ifIconsGoThere() {
    return nullptr;
}
