#include "app/f_nuvokrc.h"

#include "app/commandline.h"
#include "app/traystuff.h"
#include "common/numtext.h"
#include "session/failuretext.h"

#include <QComboBox>
#include <QGuiApplication>

// A later start of the program, taken over by the one that runs.

F_NUVOKrc::LaterStart F_NUVOKrc::takeOverStart(const std::string& arguments,
                                               const QString& activationToken, bool settings) {
    if (m_unloaded)
        return {false, QStringLiteral("it is ending")};
    if (const std::optional<double> value = CommandLine::portIn(arguments)) {
        const QString before = C_PortNum->currentText();
        const QString asked =
            QString::fromStdString(nuvok::plainNumberText(*value, m_options.decimalSeparator));
        logData(QStringLiteral("Another start of NUVOKrc asks for port ") + asked);
        QString failure;
        try {
            writePortBox(asked);
            C_PortNum_Change();
        } catch (...) {
            failure = failureText(std::current_exception());
            logData(failure);
        }
        const SocketComponent& socket = m_handset->socket();
        if (failure.isEmpty() && socket.State() != SocketComponent::sckClosed) {
            logData(QStringLiteral("Port:") +
                    QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
            return {true, QStringLiteral("it listens on port %1").arg(socket.boundPort())};
        }
        // The run goes on where it was.
        writePortBox(before);
        reportFailures([this] { C_PortNum_Change(); });
        return {false,
                QStringLiteral("it cannot listen on port %1 (%2), and stays on port %3")
                    .arg(asked, failure.isEmpty() ? QStringLiteral("not open") : failure, before)};
    }
    if (CommandLine::minimisedIn(arguments) && !settings)
        return {true, QStringLiteral("its window stays as it is")};
    // A Wayland compositor gives the focus to the window only with the token
    // of the start the user made; the toolkit takes it from the environment
    // when the window asks for the focus.
    if (!activationToken.isEmpty() &&
        QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    m_tray->bringBack();
    if (!settings)
        return {true, QStringLiteral("its window is shown")};
    showSettings();
    return {true, QStringLiteral("its settings are shown")};
}
