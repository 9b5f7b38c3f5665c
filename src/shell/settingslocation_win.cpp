#include "shell/qtsettingsstore.h"

// The key where the platform's per-user application settings live for
// application "NUVOKrc"; the section is the subkey "Settings".
std::unique_ptr<QSettings> openProgramSettings() {
    return std::make_unique<QSettings>(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\NUVOKrc"),
        QSettings::NativeFormat);
}
