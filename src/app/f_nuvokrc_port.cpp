#include "app/f_nuvokrc.h"

#include "app/dialogs.h"
#include "app/settings/settingswindow.h"
#include "common/numtext.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

// The port box and the Options menu's port and protocol entries.

void F_NUVOKrc::writePortBox(const QString& text) {
    // Writing the box applies it through the change handler; its failures are
    // left to the application that always follows the write, so each problem
    // is reported once.
    if (C_PortNum->currentText() == text)
        return;
    ++m_quietPortBoxWrites;
    C_PortNum->setEditText(text);
    portBoxEdited();
    --m_quietPortBoxWrites;
}

void F_NUVOKrc::portBoxEdited() {
    if (m_quietPortBoxWrites == 0) {
        reportFailures([this] { C_PortNum_Change(); });
        return;
    }
    try {
        C_PortNum_Change();
    } catch (...) {
        // reported by the application that follows the write
    }
}

void F_NUVOKrc::C_PortNum_Change() {
    const QString t = C_PortNum->currentText();
    const double v = nuvok::numericValue(t.toStdString());
    std::string s = nuvok::plainNumberText(v, m_options.decimalSeparator);
    // s read in the user's own number format denotes v itself.
    double denoted = v;
    if (denoted >= 65536) {
        writePortBox(QStringLiteral("65535"));
        s = "65535";
        denoted = 65535;
    }
    if (denoted > -1)
        m_handset->listenPort = static_cast<float>(nuvok::numericValue(s));
    doListen();
}

bool F_NUVOKrc::eventFilter(QObject* watched, QEvent* event) {
    if (watched == C_PortNum->lineEdit() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            reportFailures([this] { C_PortNum_KeyPress(13); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void F_NUVOKrc::C_PortNum_KeyPress(int keyAscii) {
    if (keyAscii != 13)
        return;
    const QString text = C_PortNum->currentText();
    if (!text.isEmpty() && C_PortNum->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
        C_PortNum->addItem(text);
    reportFailures([this] { C_PortNum_Change(); });
}

void F_NUVOKrc::m_port_Click() {
    const QString answer = m_services.dialogs->prompt(
        QStringLiteral("Portnummer eingeben"), QStringLiteral("Portnummer"),
        QString::fromStdString(nuvok::signedNumberText(m_handset->listenPort)));
    const double value = nuvok::numericValue(answer.toStdString());
    if (answer.isEmpty() || !(value > -1) || !(value < 65536))
        return;
    writePortBox(answer);
    reportFailures([this] { C_PortNum_Change(); });
}

void F_NUVOKrc::m_protocol_Click() {
    const QString stored = QString::fromStdString(readSetting("Protocol"));
    const QString answer =
        m_services.dialogs
            ->prompt(QStringLiteral("UDP or TCP ?"), QStringLiteral("Protocol"), stored)
            .toUpper();
    // A setting that cannot be stored is reported; the listener reopens anyway,
    // with the protocol stored before.
    if (answer == QLatin1String("TCP") || answer == QLatin1String("UDP"))
        reportFailures([&] {
            m_services.settings->write("Protocol", answer.toStdString());
            if (m_settingsWindow)
                m_settingsWindow->storedElsewhere(QStringLiteral("Protocol"));
        });
    reportFailures([this] { doListen(); });
}
