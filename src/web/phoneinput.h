#pragma once

#include "input/keyinput.h"
#include "web/phonebook.h"
#include "web/webserver.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>

#include <functional>
#include <optional>

class QJsonObject;
class QTimer;
class WebSocketLink;

// Paired phones as handsets: the page's WebSocket, which first shows a
// pairing code or a phone's token and only then sends keys. Each key message
// carries a number, so that one sent again after a reconnection acts once.
// The phones' own tick on the Phone page says whether they may make the
// controller act; the handsets' address lists are not about them.
class PhoneInput : public KeyInput {
    Q_OBJECT

public:
    struct Limits {
        int authMs = 5000;             // to show a code or a token
        int maxMessageBytes = 256;     // larger messages are dropped
        int keysPerSecond = 50;        // per phone; the rest is dropped
        qint64 guessLineGapMs = 60000; // refusals told per address, at most this often
        WebServer::Limits server;
        std::function<qint64()> clockMs; // default: a steady clock
    };

    explicit PhoneInput(PhoneBook* book, QObject* parent = nullptr)
        : PhoneInput(book, Limits(), parent) {}
    PhoneInput(PhoneBook* book, Limits limits, QObject* parent);

    // Whether the web remote is on, and its port (the settings WebRemote and
    // WebRemotePort); takes effect at the next start.
    void setServing(bool on, quint16 port);
    bool serving() const { return m_on; }
    quint16 port() const { return m_port; }
    // Listens when on. Throws nuvok::Failure when the port cannot be opened.
    void start() override;
    void stop() override;
    QString stateText() const override;
    QString forgedSenderWarning() const override;

    // What the page shows: the mode and the volume level, for every phone.
    void showState(const QString& mode, std::optional<int> volume);
    // A new pairing code, as one link per IPv4 address of this PC that is not
    // loopback (the loopback one when there is none); empty when off.
    QStringList pairingLinks();

    PhoneBook* book() const { return m_book; }
    WebServer* server() const { return m_server; }
    int connectedPhones() const;

signals:
    // A paired phone connected: its name and where from.
    void phoneConnected(const QString& name, const QHostAddress& address, quint16 port);

private:
    struct Client {
        int device = 0; // 0: not yet shown a code or a token
        QTimer* deadline = nullptr;
        bool sizeTold = false;
    };
    struct Pace {
        QElapsedTimer window;
        int keys = 0;
        bool dropping = false;
    };
    void close();
    void opened(WebSocketLink* socket);
    void received(WebSocketLink* socket, const QString& text);
    void authenticate(WebSocketLink* socket, Client& client, const QJsonObject& message);
    void admit(WebSocketLink* socket, Client& client, int device, const QString& type,
               const QString& token = {});
    void key(WebSocketLink* socket, Client& client, const QJsonObject& message);
    void refuse(WebSocketLink* socket, const QString& what);
    void markSeen(int device);
    void forgotten(int device);
    QString nameOf(int device) const;
    nuvok::KeyOrigin originOf(int device) const;
    QByteArray stateMessage() const;
    qint64 nowMs() const;

    PhoneBook* m_book;
    Limits m_limits;
    WebServer* m_server;
    bool m_on = false;
    quint16 m_port = 65531;
    QHash<WebSocketLink*, Client> m_clients;
    QHash<int, qint64> m_lastSeq; // per phone: the last key number taken
    QHash<int, Pace> m_pace;
    QHash<QString, qint64> m_guessTold; // address: when its refusal was last told
    QString m_mode;
    std::optional<int> m_volume;
    QElapsedTimer m_clock;
    QString m_problem; // why it does not serve, when it cannot
};
