#include "app/toolkitmessages.h"

#include <QString>
#include <array>

namespace toolkitMessages {

namespace {

// The whole text of each, so that a message of the same family that does
// point at a problem still shows.
constexpr std::array kNoise{
    // The offscreen and some other platforms cannot pass a window's size
    // limits on; nothing the program needs.
    QLatin1String("This plugin does not support propagateSizeHints()"),
    // The icon's stand-in for notification areas of X11 asks the platform
    // for a signal only the X11 platform has; on Wayland the icon goes over
    // the message bus or not at all.
    QLatin1String("QObject::connect: No such signal "
                  "QPlatformNativeInterface::systemTrayWindowChanged(QScreen*)"),
};

QtMessageHandler& passedOn() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

void filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (isNoise(type, message))
        return;
    if (QtMessageHandler next = passedOn())
        next(type, context, message);
}

} // namespace

bool isNoise(QtMsgType type, const QString& message) {
    if (type != QtWarningMsg)
        return false;
    for (const QLatin1String noise : kNoise)
        if (message == noise)
            return true;
    return false;
}

void leaveOutNoise() {
    if (passedOn())
        return; // already in place
    passedOn() = qInstallMessageHandler(&filter);
}

} // namespace toolkitMessages
