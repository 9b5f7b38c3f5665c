#include "app/f_nuvokrc.h"

#include "app/settings/settingswindow.h"
#include "app/startsettings.h"
#include "common/numtext.h"
#include "session/failuretext.h"

#include <cmath>
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
        return m_stored.readSection(section);
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
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

// Each group of settings takes effect as start-up would set it up; a stored
// port or protocol opens the listener there now, as the port box does.
SettingsEffect::Changes F_NUVOKrc::putIntoEffect(const Changes& changes) {
    const ChangedSettings settings(*m_services.settings, changes);
    std::set<QString> changed;
    for (const auto& [key, value] : changes)
        changed.insert(key);
    applyStartSettings(settings, &changed);
    Changes failed;
    if (!changed.count(QStringLiteral("portNum")) && !changed.count(QStringLiteral("Protocol")))
        return failed;
    const float before = m_handset->listenPort;
    const QString protocol = QString::fromStdString(settings.read("Protocol"));
    try {
        m_handset->listenPort = storedPort(settings);
        m_handset->listen(nuvok::roundHalfEvenToInt32(m_handset->listenPort),
                          protocol == QLatin1String("TCP") ? SocketComponent::sckTCPProtocol
                                                           : SocketComponent::sckUDPProtocol);
        writePortBox(QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
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
