#include "shell/autostartentry.h"
#include "shell/qtsettingsstore.h"

#include <QDir>

std::unique_ptr<QSettings> openProgramSettings() {
    const std::filesystem::path configHome = nuvok::xdgConfigHome();
    const QString folder = configHome.empty() ? QDir::homePath() + QStringLiteral("/.config")
                                              : QString::fromStdString(configHome.string());
    return std::make_unique<QSettings>(folder + QStringLiteral("/NUVOKrc.conf"),
                                       QSettings::IniFormat);
}
