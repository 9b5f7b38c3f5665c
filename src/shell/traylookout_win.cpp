#include "shell/traylookout.h"

#include <QSystemTrayIcon>

namespace {

// No session bus here: the shell's notification area, which the toolkit asks
// for at once whenever asked; asking it decides nothing.
class ShellTrayLookout : public TrayLookout {
public:
    bool busWatcher() const override { return false; }
    bool busHost() const override { return false; }
    bool windowSystemArea() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
};

} // namespace

std::unique_ptr<TrayLookout> TrayLookout::forThisDesktop() {
    return std::make_unique<ShellTrayLookout>();
}
