#include "app/startsettings.h"

#include "common/ipaddress.h"
#include "common/numtext.h"

#include <QRegularExpression>

namespace {

const QString kDefaultVideoTitle = QStringLiteral("VLC");
const QString kDefaultAudioTitle = QStringLiteral("Winamp");

QString read(const nuvok::SettingsStore& store, const char* key) {
    return QString::fromStdString(store.read(key));
}

// A value as the log shows it, quoted (the log itself shows control codes as
// their pictures).
QString shown(const QString& value) {
    return QLatin1Char('"') + value + QLatin1Char('"');
}

bool isUsablePort(const QString& text, int* port) {
    static const QRegularExpression digits(QStringLiteral(R"(^\d{1,5}$)"));
    if (!digits.match(text).hasMatch())
        return false;
    *port = text.toInt();
    return *port >= 1 && *port <= 65535;
}

// What a setting's line says about an address with a zero-padded part.
const QString kZeroPadded =
    QStringLiteral("has a zero-padded part, which some programs read as octal and others as "
                   "decimal: write it without leading zeros");

// The line about a host setting that cannot be used, ending in what happens
// instead.
QString hostLine(const char* key, const QString& host, nuvok::AddressProblem problem,
                 const QString& instead) {
    return QStringLiteral("Setting %1 %2 %3; %4")
        .arg(QLatin1String(key), shown(host),
             problem == nuvok::AddressProblem::ZeroPadded
                 ? kZeroPadded
                 : QStringLiteral("is not a host name or address"),
             instead);
}

bool isUsableTitle(const QString& title) {
    if (title.trimmed().isEmpty())
        return false;
    for (const QChar c : title)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

} // namespace

nuvok::AddressProblem hostProblem(const QString& host) {
    // What looks like an address must be one, read strictly: a text that
    // another program could read as another address would send the commands
    // there.
    static const QRegularExpression numeric(QStringLiteral(R"(^[0-9.]+$)"));
    if (host.contains(QLatin1Char(':')) || numeric.match(host).hasMatch()) {
        const nuvok::ParsedAddress parsed = nuvok::parseAddress(host.toStdString());
        if (parsed.problem == nuvok::AddressProblem::None && parsed.prefixWritten)
            return nuvok::AddressProblem::Malformed;
        return parsed.problem;
    }
    // RFC 1123 names; a name whose last label is all digits is a mistyped address.
    static const QRegularExpression name(
        QStringLiteral(R"(^(?=.{1,253}\.?$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\.)*)"
                       R"([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\.?$)"));
    static const QRegularExpression numericLast(QStringLiteral(R"((^|\.)\d+\.?$)"));
    return name.match(host).hasMatch() && !numericLast.match(host).hasMatch()
               ? nuvok::AddressProblem::None
               : nuvok::AddressProblem::Malformed;
}

StartSettings readStartSettings(const nuvok::SettingsStore& store, const QString& defaultHost,
                                float defaultPort, const QString& defaultLircSocket) {
    StartSettings settings;
    settings.controllerHost = defaultHost;
    settings.controllerPort = defaultPort;
    settings.videoTitle = kDefaultVideoTitle;
    settings.audioTitle = kDefaultAudioTitle;

    const QString host = read(store, "ControllerHost").trimmed();
    const nuvok::AddressProblem hostWrong = hostProblem(host);
    if (hostWrong == nuvok::AddressProblem::None)
        settings.controllerHost = host;
    else if (!host.isEmpty())
        settings.problems << hostLine(
            "ControllerHost", host, hostWrong,
            QStringLiteral("the controller stays at %1").arg(defaultHost));

    const QString portText = read(store, "ControllerPort").trimmed();
    int port = 0;
    if (isUsablePort(portText, &port))
        settings.controllerPort = static_cast<float>(port);
    else if (!portText.isEmpty())
        settings.problems << QStringLiteral("Setting ControllerPort %1 is not a port from 1 to "
                                            "65535; the controller stays on port %2")
                                 .arg(shown(portText),
                                      QString::fromStdString(nuvok::plainNumberText(defaultPort)));

    const auto title = [&](const char* key, QString& value, const QString& which) {
        const QString text = read(store, key);
        if (isUsableTitle(text))
            value = text.trimmed();
        else if (!text.isEmpty())
            settings.problems << QStringLiteral("Setting %1 %2 is not a window title; the %3 "
                                                "player stays \"%4\"")
                                     .arg(QLatin1String(key), shown(text), which, value);
    };
    title("VideoTitle", settings.videoTitle, QStringLiteral("video"));
    title("AudioTitle", settings.audioTitle, QStringLiteral("audio"));

    const QString notifications = read(store, "Notifications").trimmed().toLower();
    if (notifications == QLatin1String("false"))
        settings.notifications = false;
    else if (!notifications.isEmpty() && notifications != QLatin1String("true"))
        settings.problems << QStringLiteral("Setting Notifications %1 is neither true nor false; "
                                            "notifications stay on")
                                 .arg(shown(read(store, "Notifications")));

    // Infrared remotes: a host (and port) for lircd over TCP, else a socket.
    LircPlace& lirc = settings.lirc.place;
    lirc.socketPath = defaultLircSocket;
    const QString lircSocket = read(store, "LircSocket").trimmed();
    if (!lircSocket.isEmpty())
        lirc.socketPath = lircSocket;
    const QString lircHost = read(store, "LircHost").trimmed();
    const QString lircPort = read(store, "LircPort").trimmed();
    int lircPortNumber = 8765; // WinLIRC's and lircd's usual port
    if (!lircPort.isEmpty() && !isUsablePort(lircPort, &lircPortNumber)) {
        settings.problems << QStringLiteral("Setting LircPort %1 is not a port from 1 to 65535; "
                                            "lircd is looked for on port 8765")
                                 .arg(shown(lircPort));
        lircPortNumber = 8765;
    }
    const nuvok::AddressProblem lircHostWrong = hostProblem(lircHost);
    if (lircHostWrong == nuvok::AddressProblem::None) {
        lirc.host = lircHost;
        lirc.port = static_cast<quint16>(lircPortNumber);
    } else if (!lircHost.isEmpty()) {
        settings.problems << hostLine("LircHost", lircHost, lircHostWrong,
                                      QStringLiteral("it is not used"));
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
                                     .arg(QLatin1String(key), shown(entry), kZeroPadded);
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
    if (!tcpOnly.isEmpty() && tcpOnly != QLatin1String("true") && tcpOnly != QLatin1String("false"))
        settings.problems << QStringLiteral("Setting DoorOverTcpOnly %1 is neither true nor "
                                            "false; the door opens only for keys over TCP, as "
                                            "with true")
                                 .arg(shown(tcpOnlyValue));
    return settings;
}
