#include "app/emptyservices.h"

#include "app/dialogs.h"
#include "common/failure.h"
#include "shell/systemtrayarea.h"

namespace {

class NoSettings : public nuvok::SettingsStore {
public:
    std::string read(const std::string&) const override { return {}; }
    void write(const std::string&, const std::string&) override {}
};

class NoSessionStart : public nuvok::SessionStart {
public:
    bool isEnabled() const override { return false; }
    void setEnabled(bool) override {
        throw nuvok::Failure("starting with the session is not available here");
    }
};

class CancelledDialogs : public Dialogs {
public:
    QString prompt(const QString&, const QString&, const QString&) override { return {}; }
    void message(const QString&, const QString&) override {}
};

class LogNotifier : public nuvok::Notifier {
public:
    explicit LogNotifier(std::function<void(const QString&)> log) : m_log(std::move(log)) {}
    void showMessage(const std::string& text) override { m_log(QString::fromStdString(text)); }

private:
    std::function<void(const QString&)> m_log;
};

class NoDesktopControl : public nuvok::DesktopControl {
public:
    void activateWindow(const std::string&) override { unavailable(); }
    void sendKeys(const std::string&) override { unavailable(); }

private:
    [[noreturn]] static void unavailable() {
        throw nuvok::Failure("Players cannot be reached: this build has no keystroke support");
    }
};

} // namespace

void fillEmptyServices(WindowServices& services, std::function<void(const QString&)> log) {
    if (!services.settings)
        services.settings = std::make_shared<NoSettings>();
    if (!services.sessionStart)
        services.sessionStart = std::make_shared<NoSessionStart>();
    if (!services.trayArea)
        services.trayArea = std::make_shared<SystemTrayArea>();
    if (!services.dialogs)
        services.dialogs = std::make_shared<CancelledDialogs>();
    if (!services.mixerBackend)
        services.mixerBackend = [] { return std::unique_ptr<nuvok::MixerBackend>(); };
    if (!services.notifier)
        services.notifier = std::make_shared<LogNotifier>(std::move(log));
    if (!services.desktop)
        services.desktop = std::make_shared<NoDesktopControl>();
}
