#include "app/settings/settinglist.h"

#include "net/handsetlist.h"

#include <QRegularExpression>

const std::vector<SettingEntry>& settingList() {
    static const std::vector<SettingEntry> list{
        {"portNum", SettingType::Port, "65530", "the port the handset sends to", "Handset"},
        {"Protocol", SettingType::Protocol, "UDP", "how the handset sends", "Handset"},
        {"Handsets", SettingType::AddressList, "", "the handsets let in; empty: every one",
         "Handset"},
        {"ControllerHost", SettingType::Host, "", "the controller's address",
         "Controller and door"},
        {"ControllerPort", SettingType::Port, "", "the controller's port", "Controller and door"},
        {"ControllerHandsets", SettingType::AddressList, "",
         "the handsets whose keys may drive the controller; empty: every one let in",
         "Controller and door"},
        {"DoorOverTcpOnly", SettingType::Switch, "false", "the door opens only for keys over TCP",
         "Controller and door"},
        {"VideoTitle", SettingType::Title, "VLC", "the video player's window title", "Players"},
        {"AudioTitle", SettingType::Title, "Winamp", "the audio player's window title", "Players"},
        {"PlayerControl", SettingType::PlayerControl, "auto",
         "how the players are driven: auto, keys or mpris", "Players"},
        {"LircSocket", SettingType::Path, "", "lircd's socket", "Infrared"},
        {"LircHost", SettingType::Host, "", "lircd's or WinLIRC's host, instead of the socket",
         "Infrared"},
        {"LircPort", SettingType::Port, "8765", "lircd's or WinLIRC's port on that host",
         "Infrared"},
        {"LircRemotes", SettingType::NameList, "", "the remotes let in; empty: every one",
         "Infrared"},
        {"WebRemote", SettingType::Switch, "false", "a remote page for phones on the home network",
         "Phone"},
        {"WebRemotePort", SettingType::Port, "65531", "the remote page's port", "Phone"},
        {"Notifications", SettingType::Switch, "true", "bubbles on the desktop", "General"},
    };
    return list;
}

const SettingEntry* findSetting(const QString& key) {
    for (const SettingEntry& setting : settingList())
        if (key == QLatin1String(setting.key))
            return &setting;
    return nullptr;
}

QString zeroPaddedText() {
    return QStringLiteral("has a zero-padded part, which some programs read as octal and others "
                          "as decimal: write it without leading zeros");
}

bool isUsablePort(const QString& text, int* port) {
    static const QRegularExpression digits(QStringLiteral(R"(^\d{1,5}$)"));
    if (!digits.match(text).hasMatch())
        return false;
    *port = text.toInt();
    return *port >= 1 && *port <= 65535;
}

bool isUsableTitle(const QString& title) {
    if (title.trimmed().isEmpty())
        return false;
    for (const QChar c : title)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

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

namespace {

QString oneOf(const QString& text, const QStringList& words, const QString& problem) {
    return words.contains(text.trimmed().toLower()) ? QString() : problem;
}

QString listProblem(const QString& text) {
    QStringList malformed;
    QStringList ambiguous;
    HandsetList::parse(text, &malformed, &ambiguous);
    if (!malformed.isEmpty())
        return QStringLiteral("names \"%1\", which is neither an address nor a network like "
                              "192.168.1.30 or 192.168.1.64/28")
            .arg(malformed.first());
    if (!ambiguous.isEmpty())
        return QStringLiteral("names \"%1\", which %2").arg(ambiguous.first(), zeroPaddedText());
    return {};
}

} // namespace

QString settingProblem(const SettingEntry& setting, const QString& text) {
    // A title of blanks is no title; any other value of blanks is none at all.
    if (text.isEmpty() || (text.trimmed().isEmpty() && setting.type != SettingType::Title))
        return {};
    int port = 0;
    switch (setting.type) {
    case SettingType::Port:
        return isUsablePort(text.trimmed(), &port)
                   ? QString()
                   : QStringLiteral("is not a port from 1 to 65535");
    case SettingType::Protocol:
        return text == QLatin1String("TCP") || text == QLatin1String("UDP")
                   ? QString()
                   : QStringLiteral("is neither TCP nor UDP");
    case SettingType::Host:
        switch (hostProblem(text.trimmed())) {
        case nuvok::AddressProblem::None:
            return {};
        case nuvok::AddressProblem::ZeroPadded:
            return zeroPaddedText();
        default:
            return QStringLiteral("is not a host name or address");
        }
    case SettingType::Title:
        return isUsableTitle(text) ? QString() : QStringLiteral("is not a window title");
    case SettingType::Switch:
        return oneOf(text, {QStringLiteral("true"), QStringLiteral("false")},
                     QStringLiteral("is neither true nor false"));
    case SettingType::AddressList:
        return listProblem(text);
    case SettingType::PlayerControl:
        return oneOf(text,
                     {QStringLiteral("auto"), QStringLiteral("keys"), QStringLiteral("mpris")},
                     QStringLiteral("is none of auto, keys and mpris"));
    case SettingType::NameList:
    case SettingType::Path:
        return {};
    }
    return {};
}
