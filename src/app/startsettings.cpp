#include "app/startsettings.h"

#include "app/settings/settinglist.h"

#include "common/numtext.h"

namespace {

QString read(const nuvok::SettingsStore& store, const char* key) {
    return QString::fromStdString(store.read(key));
}

// A value as the log shows it, quoted (the log itself shows control codes as
// their pictures).
QString shown(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

const SettingEntry& settingOf(const char* key) {
    return *findSetting(QLatin1String(key));
}

// A stored value is used when it is not empty and has no problem.
bool usable(const char* key, const QString& value) {
    return !value.isEmpty() && settingProblem(settingOf(key), value).isEmpty();
}

// The line about a stored value that cannot be used: what is wrong with it,
// and what holds instead.
QString unusedLine(const char* key, const QString& value, const QString& instead) {
    return QStringLiteral("Setting %1 %2 %3; %4")
        .arg(QLatin1String(key), shown(value), settingProblem(settingOf(key), value), instead);
}

} // namespace

StartSettings readStartSettings(const nuvok::SettingsStore& store, const QString& defaultHost,
                                float defaultPort, const QString& defaultLircSocket) {
    StartSettings settings;
    settings.controllerHost = defaultHost;
    settings.controllerPort = defaultPort;
    settings.videoTitle = QLatin1String(settingOf("VideoTitle").defaultText);
    settings.audioTitle = QLatin1String(settingOf("AudioTitle").defaultText);

    const QString host = read(store, "ControllerHost").trimmed();
    if (usable("ControllerHost", host))
        settings.controllerHost = host;
    else if (!host.isEmpty())
        settings.problems << unusedLine(
            "ControllerHost", host, QStringLiteral("the controller stays at %1").arg(defaultHost));

    const QString portText = read(store, "ControllerPort").trimmed();
    if (usable("ControllerPort", portText))
        settings.controllerPort = static_cast<float>(portText.toInt());
    else if (!portText.isEmpty())
        settings.problems << unusedLine(
            "ControllerPort", portText,
            QStringLiteral("the controller stays on port %1")
                .arg(QString::fromStdString(nuvok::plainNumberText(defaultPort))));

    const auto title = [&](const char* key, QString& value, const QString& which) {
        const QString text = read(store, key);
        if (usable(key, text))
            value = text.trimmed();
        else if (!text.isEmpty())
            settings.problems << unusedLine(
                key, text, QStringLiteral("the %1 player stays \"%2\"").arg(which, value));
    };
    title("VideoTitle", settings.videoTitle, QStringLiteral("video"));
    title("AudioTitle", settings.audioTitle, QStringLiteral("audio"));

    const QString notifications = read(store, "Notifications");
    if (notifications.trimmed().toLower() == QLatin1String("false"))
        settings.notifications = false;
    else if (!usable("Notifications", notifications) && !notifications.trimmed().isEmpty())
        settings.problems << unusedLine("Notifications", notifications,
                                        QStringLiteral("notifications stay on"));

    const QString webRemote = read(store, "WebRemote").trimmed();
    if (webRemote.toLower() == QLatin1String("true"))
        settings.webRemote = true;
    else if (!usable("WebRemote", webRemote) && !webRemote.isEmpty())
        settings.problems << unusedLine("WebRemote", webRemote,
                                        QStringLiteral("the web remote stays off"));
    const QString webPort = read(store, "WebRemotePort").trimmed();
    if (usable("WebRemotePort", webPort) && !webPort.isEmpty())
        settings.webRemotePort = static_cast<quint16>(webPort.toInt());
    else if (!webPort.isEmpty())
        settings.problems << unusedLine("WebRemotePort", webPort,
                                        QStringLiteral("the web remote uses port 65531"));

    // Infrared remotes: a host (and port) for lircd over TCP, else a socket.
    LircPlace& lirc = settings.lirc.place;
    lirc.socketPath = defaultLircSocket;
    const QString lircSocket = read(store, "LircSocket").trimmed();
    if (!lircSocket.isEmpty())
        lirc.socketPath = lircSocket;
    const QString lircHost = read(store, "LircHost").trimmed();
    const QString lircPort = read(store, "LircPort").trimmed();
    int lircPortNumber = 8765; // WinLIRC's and lircd's usual port
    if (usable("LircPort", lircPort))
        lircPortNumber = lircPort.toInt();
    else if (!lircPort.isEmpty())
        settings.problems << unusedLine("LircPort", lircPort,
                                        QStringLiteral("lircd is looked for on port 8765"));
    if (usable("LircHost", lircHost)) {
        lirc.host = lircHost;
        lirc.port = static_cast<quint16>(lircPortNumber);
    } else if (!lircHost.isEmpty()) {
        settings.problems << unusedLine("LircHost", lircHost, QStringLiteral("it is not used"));
    }
    // Only a lircd someone asked for is missed aloud.
    lirc.byDefault = lircSocket.isEmpty() && lircHost.isEmpty();
    for (const QString& name :
         read(store, "LircRemotes").split(QLatin1Char(','), Qt::SkipEmptyParts))
        if (!name.trimmed().isEmpty())
            settings.lirc.remotes << name.trimmed();
    for (const auto& [button, value] : store.readSection("LircButtons"))
        if (!settings.lirc.buttons.set(button, value))
            settings.problems << QStringLiteral("Setting LircButtons/%1 %2 is not a key code "
                                                "from 0 to 255; the button keeps its default")
                                     .arg(QString::fromStdString(button),
                                          shown(QString::fromStdString(value)));

    const auto handsets = [&](const char* key, HandsetList& list, const QString& none) {
        QStringList malformed;
        QStringList ambiguous;
        list = HandsetList::parse(read(store, key), &malformed, &ambiguous);
        for (const QString& entry : malformed)
            settings.problems << QStringLiteral("Setting %1: %2 is neither an address nor a "
                                                "network like 192.168.1.30 or 192.168.1.64/28; "
                                                "it is left out")
                                     .arg(QLatin1String(key), shown(entry));
        for (const QString& entry : ambiguous)
            settings.problems << QStringLiteral("Setting %1: %2 %3; it is left out")
                                     .arg(QLatin1String(key), shown(entry), zeroPaddedText());
        if (list.letsNobodyIn())
            settings.problems << QStringLiteral("Setting %1 names no usable address: %2 until "
                                                "it is corrected")
                                     .arg(QLatin1String(key), none);
    };
    handsets("Handsets", settings.handsets, QStringLiteral("no handset is let in"));
    handsets("ControllerHandsets", settings.controllerTrust.handsets,
             QStringLiteral("no handset's key sends controller commands"));

    // A lock: a value that cannot be read keeps the door for TCP keys.
    const QString tcpOnlyValue = read(store, "DoorOverTcpOnly");
    const QString tcpOnly = tcpOnlyValue.trimmed().toLower();
    settings.controllerTrust.doorOverTcpOnly =
        !tcpOnly.isEmpty() && tcpOnly != QLatin1String("false");
    if (!tcpOnly.isEmpty() && !usable("DoorOverTcpOnly", tcpOnlyValue))
        settings.problems << unusedLine(
            "DoorOverTcpOnly", tcpOnlyValue,
            QStringLiteral("the door opens only for keys over TCP, as with true"));
    return settings;
}
