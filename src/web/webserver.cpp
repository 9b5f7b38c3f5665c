#include "web/webserver.h"

#include "common/failure.h"
#include "web/httphead.h"
#include "web/websocketlink.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <string>

namespace {

struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};

// The page's files; nothing else is served.
constexpr PageFile kFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/remote.js", ":/web/remote.js", "text/javascript; charset=utf-8"},
    {"/remote.css", ":/web/remote.css", "text/css; charset=utf-8"},
    {"/manifest.webmanifest", ":/web/manifest.webmanifest", "application/manifest+json"},
    {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
    {"/icon-192.png", ":/web/icon-192.png", "image/png"},
    {"/icon-512.png", ":/web/icon-512.png", "image/png"},
};

const PageFile* fileAt(const std::string& path) {
    for (const PageFile& file : kFiles)
        if (path == file.path)
            return &file;
    return nullptr;
}

// Whether a field's comma-separated list names a token (Connection:
// keep-alive, Upgrade).
bool hasToken(const std::string& value, const char* token) {
    for (const QString& part : QString::fromStdString(value).split(QLatin1Char(',')))
        if (part.trimmed().compare(QLatin1String(token), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QStringList namesOfThisPc() {
    QStringList names{QStringLiteral("localhost")};
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            names << address.toString();
    const QString host = QHostInfo::localHostName();
    if (!host.isEmpty())
        names << host << host + QStringLiteral(".local");
    names.removeDuplicates();
    return names;
}

} // namespace

WebServer::WebServer(Limits limits, QObject* parent)
    : QObject(parent), m_limits(limits), m_server(new QTcpServer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &WebServer::take);
}

WebServer::~WebServer() = default;

void WebServer::listen(quint16 port) {
    close();
    m_ownNames = namesOfThisPc();
    if (!m_server->listen(QHostAddress::AnyIPv4, port))
        throw nuvok::Failure("The web remote cannot listen on port " + std::to_string(port) + ": " +
                             m_server->errorString().toStdString());
}

void WebServer::close() {
    m_server->close();
    for (QTcpSocket* socket : m_requests.keys())
        letGo(socket);
    for (QTcpSocket* socket : m_answered.values())
        dropAnswered(socket);
}

bool WebServer::isListening() const {
    return m_server->isListening();
}

quint16 WebServer::port() const {
    return m_server->serverPort();
}

void WebServer::addOwnName(const QString& name) {
    m_ownNames << name;
}

int WebServer::unauthenticated() const {
    return int(m_requests.size() + m_answered.size() + m_waiting.size());
}

void WebServer::authenticated(WebSocketLink* socket) {
    m_waiting.remove(socket);
}

void WebServer::take() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (unauthenticated() >= m_limits.maxUnauthenticated) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(qint64(nuvok::HttpHead::kMaxHeadBytes) + 1);
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this, [this, socket] { letGo(socket); });
        timer->start(m_limits.requestMs);
        m_requests.insert(socket, timer);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { letGo(socket); });
        read(socket);
    }
}

void WebServer::letGo(QTcpSocket* socket) {
    if (!m_requests.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void WebServer::read(QTcpSocket* socket) {
    if (!m_requests.contains(socket))
        return;
    const QByteArray bytes = socket->peek(qint64(nuvok::HttpHead::kMaxHeadBytes));
    nuvok::HttpHead head;
    std::size_t length = 0;
    switch (nuvok::HttpHead::parse(std::string_view(bytes.constData(), std::size_t(bytes.size())),
                                   head, length)) {
    case nuvok::HttpHead::Status::Incomplete:
        return;
    case nuvok::HttpHead::Status::TooLarge:
        return answer(socket, 431, "Request Header Fields Too Large");
    case nuvok::HttpHead::Status::Malformed:
        return answer(socket, 400, "Bad Request");
    case nuvok::HttpHead::Status::Complete:
        break;
    }
    // Forwarded-host fields are not looked at: Host alone names the page.
    const QString host = QString::fromStdString(head.field("host"));
    if (head.count("host") != 1 || !nuvok::hostIsOwn(
                                       head.field("host"),
                                       [&] {
                                           std::vector<std::string> names;
                                           for (const QString& name : m_ownNames)
                                               names.push_back(name.toStdString());
                                           return names;
                                       }(),
                                       port()))
        return answer(socket, 403, "Forbidden");
    if (head.method != "GET" && head.method != "HEAD")
        return answer(socket, 405, "Method Not Allowed", {}, {}, host);
    const std::string path = head.target.substr(0, head.target.find('?'));
    if (path == "/ws") {
        // Only the page itself: its own origin, which a browser sends and
        // another site cannot set.
        const std::string key = head.field("sec-websocket-key");
        if (head.method != "GET" || !hasToken(head.field("upgrade"), "websocket") ||
            !hasToken(head.field("connection"), "upgrade") || head.count("origin") != 1 ||
            head.field("origin") != "http://" + head.field("host") ||
            head.field("sec-websocket-version") != "13" || key.size() != 24)
            return answer(socket, 403, "Forbidden", {}, {}, host);
        return upgrade(socket, key, length);
    }
    const PageFile* file = fileAt(path);
    if (!file)
        return answer(socket, 404, "Not Found", {}, {}, host);
    QFile resource(QString::fromLatin1(file->resource));
    if (!resource.open(QIODevice::ReadOnly))
        return answer(socket, 500, "Internal Server Error", {}, {}, host);
    const QByteArray body = resource.readAll();
    answer(socket, 200, "OK", file->type, head.method == "HEAD" ? QByteArray() : body, host);
}

void WebServer::answer(QTcpSocket* socket, int status, const QByteArray& reason,
                       const QByteArray& type, const QByteArray& body, const QString& host) {
    // Every answer, a refusal too, keeps the page out of frames and other
    // sites' reach, and names the one place the page may connect to.
    const QByteArray connectTo = host.isEmpty() ? QByteArray("'none'") : "ws://" + host.toLatin1();
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    if (!type.isEmpty())
        response += "Content-Type: " + type + "\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) +
                "\r\n"
                "Cache-Control: no-store\r\n"
                "Connection: close\r\n"
                "Content-Security-Policy: default-src 'self'; connect-src " +
                connectTo +
                "; frame-ancestors 'none'\r\n"
                "X-Frame-Options: DENY\r\n"
                "X-Content-Type-Options: nosniff\r\n"
                "Referrer-Policy: no-referrer\r\n";
    if (status == 405)
        response += "Allow: GET, HEAD\r\n";
    response += "\r\n" + body;
    // Answered once. What else the client sends is read and dropped until it
    // closes: closing on bytes not read would reset the connection, and the
    // answer could be lost with it.
    delete m_requests.take(socket);
    socket->disconnect(this);
    socket->write(response);
    m_answered.insert(socket);
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropAnswered(socket); });
    QTimer::singleShot(m_limits.requestMs, socket, [this, socket] { dropAnswered(socket); });
}

void WebServer::dropAnswered(QTcpSocket* socket) {
    if (!m_answered.remove(socket))
        return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void WebServer::upgrade(QTcpSocket* socket, const std::string& key, std::size_t headLength) {
    delete m_requests.take(socket);
    socket->disconnect(this);
    socket->read(qint64(headLength));
    const QByteArray accept = QCryptographicHash::hash(QByteArray::fromStdString(key) +
                                                           "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                                       QCryptographicHash::Sha1)
                                  .toBase64();
    socket->write("HTTP/1.1 101 Switching Protocols\r\n"
                  "Upgrade: websocket\r\n"
                  "Connection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: " +
                  accept + "\r\n\r\n");
    WebSocketLink::Limits limits;
    limits.maxMessage = m_limits.maxMessage;
    auto* link = new WebSocketLink(socket, limits, socket->readAll(), this);
    m_waiting.insert(link);
    connect(link, &QObject::destroyed, this, [this, link] { m_waiting.remove(link); });
    connect(link, &WebSocketLink::disconnected, this, [this, link] { m_waiting.remove(link); });
    emit webSocketOpened(link);
}
