#include "shell/autostartentry.h"

namespace nuvok {

std::unique_ptr<SessionStart> makeSessionStart(const std::string& programPath) {
    const std::filesystem::path configHome = xdgConfigHome();
    return std::make_unique<AutostartEntry>(
        configHome.empty() ? configHome : configHome / "autostart" / "nuvokrc.desktop",
        programPath);
}

} // namespace nuvok
