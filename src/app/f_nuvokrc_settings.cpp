#include "app/f_nuvokrc.h"

#include "app/settings/settingswindow.h"
#include "app/startsettings.h"
#include "common/buildconfig.h"
#include "common/numtext.h"
#include "session/failuretext.h"
#include "web/phoneinput.h"

#include <QComboBox>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSignalBlocker>

#include <cmath>
#include <map>
#include <set>

// ---- Settings window ----------------------------------------------------------

namespace {

// The stored settings with the window's changes over them.
class ChangedSettings : public nuvok::SettingsStore {
public:
    ChangedSettings(const nuvok::SettingsStore& stored, const SettingsEffect::Changes& changes)
        : m_stored(stored), m_changes(changes) {}
    std::string read(const std::string& key) const override {
        const auto changed = m_changes.find(QString::fromStdString(key));
        return changed == m_changes.end() ? m_stored.read(key) : changed->second.toStdString();
    }
    void write(const std::string&, const std::string&) override {}
    std::vector<std::pair<std::string, std::string>>
    readSection(const std::string& section) const override {
        std::map<std::string, std::string> entries;
        for (const auto& [key, value] : m_stored.readSection(section))
            entries[key] = value;
        const QString prefix = QString::fromStdString(section) + QLatin1Char('/');
        for (const auto& [key, value] : m_changes) {
            if (!key.startsWith(prefix))
                continue;
            const std::string entry = key.mid(prefix.size()).toStdString();
            if (value.isNull())
                entries.erase(entry);
            else
                entries[entry] = value.toStdString();
        }
        return {entries.begin(), entries.end()};
    }

private:
    const nuvok::SettingsStore& m_stored;
    const SettingsEffect::Changes& m_changes;
};

} // namespace

float F_NUVOKrc::storedPort(const nuvok::SettingsStore& store) {
    const double stored = nuvok::numericValue(store.read("portNum"));
    // Beyond float's range the conversion is undefined; out of range anyway.
    const float port = std::fabs(stored) <= 65536 ? static_cast<float>(stored) : 0.0f;
    return port < 1 || port > 65535 ? 65530.0f : port;
}

void F_NUVOKrc::m_settings_Click() {
    showSettings();
}

void F_NUVOKrc::showSettings() {
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindow(m_services.settings, *this, this);
    else if (!m_settingsWindow->isVisible())
        m_settingsWindow->reload();
    lookForPlayers();
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

namespace {

QString capitalised(QString text) {
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}

// Where a handset on the network reaches this PC: its IPv4 addresses but
// loopback, as the listener takes IPv4.
QStringList reachableAddresses() {
    QStringList addresses;
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            addresses << address.toString();
    return addresses;
}

} // namespace

QString F_NUVOKrc::stateOf(const QString& page) const {
    const SocketComponent& listener = m_handset->socket();
    const bool tcp = listener.Protocol() == SocketComponent::sckTCPProtocol;
    if (page == QLatin1String("Handset")) {
        if (listener.State() == SocketComponent::sckClosed)
            return QStringLiteral("Not listening: choose a port and press Listen");
        const QString how = QStringLiteral("Set the handset to send by %1 to port %2")
                                .arg(tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"))
                                .arg(listener.boundPort());
        const QStringList addresses = reachableAddresses();
        return addresses.isEmpty()
                   ? how + QStringLiteral("; this PC has no network address but loopback yet")
                   : how + QStringLiteral(" at ") + addresses.join(QStringLiteral(" or "));
    }
    if (page == QLatin1String("Controller and door")) {
        const ControllerTrust& trust = m_handset->trust();
        if (!m_handset->forgedSenderWarning().isEmpty())
            return QStringLiteral("Any sender on the network can open the door");
        if (m_handset->handsets().letsNobodyIn())
            return QStringLiteral("No handset can open the door: Handsets names no usable "
                                  "address");
        if (trust.handsets.letsNobodyIn())
            return QStringLiteral("No handset can open the door: ControllerHandsets names no "
                                  "usable address");
        if (listener.State() == SocketComponent::sckClosed)
            return QStringLiteral("No handset can open the door while the listener is closed");
        if (!tcp)
            return QStringLiteral("No handset can open the door: DoorOverTcpOnly is on, and "
                                  "the listener takes UDP");
        return trust.handsets.restricted()
                   ? QStringLiteral("Only the handsets in ControllerHandsets, over TCP, can open "
                                    "the door")
                   : QStringLiteral("Only handsets over TCP can open the door");
    }
    if (page == QLatin1String("Players"))
        return m_playersFound;
    if (page == QLatin1String("Infrared"))
        return capitalised(m_infrared->stateText());
    if (page == QLatin1String("Phone")) {
        const QString warning = m_phone->forgedSenderWarning();
        return QStringLiteral("The web remote: ") + m_phone->stateText() +
               (warning.isEmpty() ? QString() : QStringLiteral(". ") + warning);
    }
    if (page == QLatin1String("General") && !m_services.settings->location().empty())
        return QStringLiteral("The settings are kept in %1")
            .arg(QString::fromStdString(m_services.settings->location()));
    return {};
}

QString F_NUVOKrc::defaultOf(const QString& key) const {
    if (key == QLatin1String("ControllerHost"))
        return m_options.controllerHost;
    if (key == QLatin1String("ControllerPort"))
        return QString::fromStdString(nuvok::signedNumberText(m_options.controllerPort)).trimmed();
    if (key == QLatin1String("LircSocket"))
        return QString::fromLatin1(nuvok::build::kLircSocket);
    const SettingEntry* setting = findSetting(key);
    return setting ? QString::fromUtf8(setting->defaultText) : QString();
}

// Behind the players' other work, as it may take them a while to answer.
void F_NUVOKrc::lookForPlayers() {
    m_playersFound = QStringLiteral("Looking for the players…");
    m_session->findPlayers([this](const QString& text) {
        m_playersFound = text;
        if (m_settingsWindow)
            m_settingsWindow->showStates();
    });
    if (m_settingsWindow)
        m_settingsWindow->showStates();
}

void F_NUVOKrc::learnButton(Learner learner) {
    m_infrared->learnNextPress(std::move(learner));
}

QString F_NUVOKrc::lastSender() const {
    const QHostAddress heard = m_handset->lastHeard();
    return heard.isNull() ? QString() : heard.toString();
}

// Each group of settings takes effect as start-up would set it up; a stored
// port or protocol opens the listener there now, as the port box does.
SettingsEffect::Changes F_NUVOKrc::putIntoEffect(const Changes& changes) {
    const ChangedSettings settings(*m_services.settings, changes);
    std::set<QString> changed;
    for (const auto& [key, value] : changes)
        changed.insert(key);
    const bool webWasOn = m_phone->serving();
    const quint16 webPortBefore = m_phone->port();
    // Reached from the window's buttons: whatever fails is a line, and the
    // program runs on.
    reportFailures([&] { applyStartSettings(settings, &changed); });
    if (changed.count(QStringLiteral("VideoTitle")) ||
        changed.count(QStringLiteral("AudioTitle")) ||
        changed.count(QStringLiteral("PlayerControl")))
        lookForPlayers();
    Changes failed;
    if (m_phone->serving() && !m_phone->server()->isListening()) {
        // Not stored: the web remote goes on as it was.
        for (const char* key : {"WebRemote", "WebRemotePort"})
            if (changed.count(QLatin1String(key)))
                failed[QLatin1String(key)] = m_phone->stateText();
        m_phone->setServing(webWasOn, webPortBefore);
        reportFailures([this] { m_phone->start(); });
    }
    if (!changed.count(QStringLiteral("portNum")) && !changed.count(QStringLiteral("Protocol")))
        return failed;
    const float before = m_handset->listenPort;
    const QString protocol = QString::fromStdString(settings.read("Protocol"));
    try {
        m_handset->listenPort = storedPort(settings);
        m_handset->listen(nuvok::roundHalfEvenToInt32(m_handset->listenPort),
                          protocol == QLatin1String("TCP") ? SocketComponent::sckTCPProtocol
                                                           : SocketComponent::sckUDPProtocol);
        {
            // The box shows the port; writing it would listen again, by the protocol
            // stored before.
            const QSignalBlocker quiet(C_PortNum);
            C_PortNum->setEditText(
                QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
        }
        logData(QStringLiteral("Port:") +
                QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
    } catch (...) {
        const QString failure = failureText(std::current_exception());
        logData(failure);
        for (const char* key : {"portNum", "Protocol"})
            if (changed.count(QLatin1String(key)))
                failed[QLatin1String(key)] = failure;
        // The run goes on where it was.
        m_handset->listenPort = before;
        reportFailures([this] { doListen(); });
    }
    return failed;
}
