#pragma once

#include "input/keyinput.h"
#include "net/keyreceiver.h"

// The handset's keys through the listener (UDP datagrams, or a TCP handset
// served one at a time): each message decoded as it stands, from the sender
// the listener names.
class HandsetInput : public KeyInput {
    Q_OBJECT

public:
    explicit HandsetInput(nuvok::DropTiming dropTiming = {}, QObject* parent = nullptr);

    // Closes, then listens on the port by TCP or UDP (SocketComponent's
    // protocol numbers). Throws nuvok::Failure when the port cannot be opened.
    void listen(int port, int protocol);
    // Listens again as last asked; stop closes the listener.
    void start() override { listen(m_port, m_protocol); }
    void stop() override { m_receiver->close(); }
    QString stateText() const override;
    QString forgedSenderWarning() const override;

    // Who may send keys at all.
    void setHandsets(const HandsetList& handsets) { m_receiver->setHandsets(handsets); }
    const HandsetList& handsets() const { return m_receiver->handsets(); }
    // Who sent last, let in or not; null: nobody yet.
    QHostAddress lastHeard() const { return m_receiver->lastHeard(); }
    // The listener's state, port, protocol and peer.
    const SocketComponent& socket() const { return m_receiver->socket(); }

    float listenPort = 0; // the port chosen for the listener, as typed

signals:
    // A TCP handset was taken: socket() shows who.
    void peerAccepted();

private:
    void take(const QByteArray& data, const QHostAddress& sender, bool overTcp);

    KeyReceiver* m_receiver;
    int m_port = 0;
    int m_protocol = SocketComponent::sckUDPProtocol;
};
