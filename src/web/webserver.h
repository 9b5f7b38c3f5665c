#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;
class WebSocketLink;

// The web remote's one port: the page's few files by GET, and its WebSocket
// at /ws, handed on once the request shows that it comes from the page
// itself. A request whose Host is not this PC as the page names it (another
// site's name pointed here), or an upgrade whose Origin is not the page's
// own, gets nothing of either. Each connection is read with bounds, answered
// once and closed; nothing here waits.
class WebServer : public QObject {
    Q_OBJECT

public:
    struct Limits {
        int maxUnauthenticated = 16;   // connections not yet shown to be a paired phone
        int requestMs = 5000;          // for the request's head
        std::size_t maxMessage = 1024; // a WebSocket message larger than this ends it
    };

    explicit WebServer(QObject* parent = nullptr) : WebServer(Limits(), parent) {}
    WebServer(Limits limits, QObject* parent);
    ~WebServer() override;

    // Listens on every IPv4 address of this PC. Throws nuvok::Failure.
    void listen(quint16 port);
    void close();
    bool isListening() const;
    quint16 port() const;

    // The names a request's Host may use: this PC's IPv4 addresses, its host
    // name and localhost. Read when listening starts; tests add their own.
    QStringList ownNames() const { return m_ownNames; }
    void addOwnName(const QString& name);

    // A WebSocket that has not yet shown a token counts against the limit
    // until it is let go or told authenticated.
    void authenticated(WebSocketLink* socket);

signals:
    // A WebSocket from the page: its owner is the receiver from now on.
    void webSocketOpened(WebSocketLink* socket);
    void logLine(const QString& line);

private:
    void take();
    void read(QTcpSocket* socket);
    void answer(QTcpSocket* socket, int status, const QByteArray& reason,
                const QByteArray& type = {}, const QByteArray& body = {}, const QString& host = {});
    void upgrade(QTcpSocket* socket, const std::string& key, std::size_t headLength);
    void letGo(QTcpSocket* socket);
    void dropAnswered(QTcpSocket* socket);
    int unauthenticated() const;

    Limits m_limits;
    QTcpServer* m_server;
    QHash<QTcpSocket*, QTimer*> m_requests; // connections whose head is being read
    QSet<WebSocketLink*> m_waiting;         // WebSockets not yet authenticated
    QSet<QTcpSocket*> m_answered;           // answered, until the client closes
    QStringList m_ownNames;
};
