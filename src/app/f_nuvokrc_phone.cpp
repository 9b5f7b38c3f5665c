#include "app/f_nuvokrc.h"

#include "web/phoneinput.h"

#include <QLineEdit>

// The phones' web remote: the third input, with the paired phones kept in
// the settings.

void F_NUVOKrc::createPhoneInput() {
    m_phoneBook = new PhoneBook(m_services.settings.get(), {}, this);
    m_phone = new PhoneInput(m_phoneBook);
    m_session->addInput(m_phone);
    for (const QString& line : m_phoneBook->load())
        logData(line);
    m_phone->showState(m_session->shownMode(), std::nullopt);
    // The page shows what the window shows, whoever pressed the key.
    connect(m_session, &RemoteSession::modeShown, m_phone,
            [this](const QString& text) { m_phone->showState(text, m_volumePercent); });
    connect(m_session, &RemoteSession::volumeShown, m_phone, [this](int percent) {
        m_volumePercent = percent;
        m_phone->showState(m_session->shownMode(), m_volumePercent);
    });
    connect(m_phone, &PhoneInput::phoneConnected, this,
            [this](const QString& name, const QHostAddress& address, quint16 port) {
                T_remoteHost->setText(name);
                T_RemIP->setText(address.toString());
                T_RPort->setText(QString::number(port));
            });
}

QStringList F_NUVOKrc::pairingLinks() {
    const QStringList links = m_phone->pairingLinks();
    if (!links.isEmpty())
        logData(QStringLiteral("Web remote: a pairing code is live for 2 minutes"));
    return links;
}
