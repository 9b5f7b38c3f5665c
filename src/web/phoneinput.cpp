#include "web/phoneinput.h"

#include "common/failure.h"
#include "remote/keymessage.h"
#include "web/websocketlink.h"

#include <algorithm>

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTimer>

namespace {

// The page's close codes: it pairs again only when told so.
constexpr int kNotPaired = 4001;
constexpr int kForgotten = 4002;
constexpr qsizetype kGuessAddressesKept = 256;

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString addressOf(const WebSocketLink* socket) {
    QHostAddress address = socket->peerAddress();
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

PhoneInput::PhoneInput(PhoneBook* book, Limits limits, QObject* parent)
    : KeyInput(parent), m_book(book), m_limits(std::move(limits)),
      m_server(new WebServer(m_limits.server, this)) {
    m_clock.start();
    connect(m_server, &WebServer::webSocketOpened, this, &PhoneInput::opened);
    connect(m_server, &WebServer::logLine, this, &KeyInput::logLine);
    connect(m_book, &PhoneBook::forgotten, this, &PhoneInput::forgotten);
    connect(m_book, &PhoneBook::changed, this, &KeyInput::reachChanged);
}

qint64 PhoneInput::nowMs() const {
    return m_limits.clockMs ? m_limits.clockMs() : m_clock.elapsed();
}

void PhoneInput::setServing(bool on, quint16 port) {
    m_on = on;
    m_port = port;
}

void PhoneInput::start() {
    close();
    if (ended() || !m_on) {
        emit reachChanged();
        return;
    }
    try {
        m_server->listen(m_port);
        m_problem.clear();
    } catch (const nuvok::Failure& failure) {
        m_problem = QString::fromStdString(failure.what());
        throw;
    }
    emit reachChanged();
}

void PhoneInput::stop() {
    close();
    // The end of the run takes no warning back: nothing can open the door then.
    if (!ended())
        emit reachChanged();
}

void PhoneInput::close() {
    m_server->close();
    for (WebSocketLink* socket : m_clients.keys())
        socket->abort();
}

QString PhoneInput::stateText() const {
    if (!m_on)
        return QStringLiteral("off");
    if (!m_server->isListening())
        return m_problem.isEmpty() ? QStringLiteral("not serving") : m_problem;
    const int phones = connectedPhones();
    return QStringLiteral("serving the phone page on port %1, %2 phone%3 connected")
        .arg(m_server->port())
        .arg(phones)
        .arg(phones == 1 ? QString() : QStringLiteral("s"));
}

QString PhoneInput::forgedSenderWarning() const {
    if (!m_on || !m_server->isListening())
        return {};
    for (const PhoneDevice& device : m_book->devices())
        if (device.mayControl)
            return QStringLiteral("Phone %1 may open the door, and its token crosses the "
                                  "network in the clear: anyone who can read the home network's "
                                  "traffic can copy it")
                .arg(device.name);
    return {};
}

int PhoneInput::connectedPhones() const {
    return int(std::count_if(m_clients.begin(), m_clients.end(),
                             [](const Client& client) { return client.device > 0; }));
}

QStringList PhoneInput::pairingLinks() {
    if (!m_on || !m_server->isListening())
        return {};
    const QString secret = m_book->newSecret();
    QStringList links, loopback;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const QString link = QStringLiteral("http://%1:%2/#pair=%3")
                                 .arg(address.toString())
                                 .arg(m_server->port())
                                 .arg(secret);
        (address.isLoopback() ? loopback : links) << link;
    }
    return links.isEmpty() ? loopback : links;
}

void PhoneInput::showState(const QString& mode, std::optional<int> volume) {
    if (mode == m_mode && volume == m_volume)
        return;
    m_mode = mode;
    m_volume = volume;
    const QByteArray message = stateMessage();
    for (auto at = m_clients.begin(); at != m_clients.end(); ++at)
        if (at->device > 0)
            at.key()->sendText(message);
}

QByteArray PhoneInput::stateMessage() const {
    return json({{QStringLiteral("type"), QStringLiteral("state")},
                 {QStringLiteral("mode"), m_mode},
                 {QStringLiteral("volume"), m_volume ? QJsonValue(*m_volume) : QJsonValue()}});
}

void PhoneInput::opened(WebSocketLink* socket) {
    socket->setParent(this);
    Client& client = m_clients[socket];
    client.deadline = new QTimer(socket);
    client.deadline->setSingleShot(true);
    connect(client.deadline, &QTimer::timeout, socket, [socket] { socket->abort(); });
    client.deadline->start(m_limits.authMs);
    connect(socket, &WebSocketLink::textReceived, this,
            [this, socket](const QString& text) { received(socket, text); });
    connect(socket, &WebSocketLink::refused, this, [this, socket](const QString& why) {
        const int device = m_clients.value(socket).device;
        if (device > 0)
            emit logLine(QStringLiteral("Phone %1 sent %2: dropped").arg(nameOf(device), why));
    });
    connect(socket, &WebSocketLink::disconnected, this, [this, socket] {
        const bool phone = m_clients.value(socket).device > 0;
        m_clients.remove(socket);
        socket->deleteLater();
        if (phone && !ended())
            emit reachChanged();
    });
}

void PhoneInput::received(WebSocketLink* socket, const QString& text) {
    const auto at = m_clients.find(socket);
    if (at == m_clients.end())
        return;
    Client& client = *at;
    if (text.size() > m_limits.maxMessageBytes || text.isEmpty()) {
        if (client.device == 0) {
            socket->abort(); // before a token, nothing is taken or told
            return;
        }
        if (!client.sizeTold)
            emit logLine(QStringLiteral("Phone %1 sent a message that is not one of the "
                                        "page's (%2 characters): dropped")
                             .arg(nameOf(client.device))
                             .arg(text.size()));
        client.sizeTold = true;
        return;
    }
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (client.device == 0)
        return authenticate(socket, client, message);
    if (client.device < 0)
        return; // forgotten, and closing
    if (message.value(QStringLiteral("type")).toString() == QLatin1String("key"))
        key(socket, client, message);
}

void PhoneInput::authenticate(WebSocketLink* socket, Client& client, const QJsonObject& message) {
    const QString type = message.value(QStringLiteral("type")).toString();
    if (type == QLatin1String("pair")) {
        const std::optional<PhoneBook::Paired> paired =
            m_book->pair(message.value(QStringLiteral("secret")).toString(),
                         message.value(QStringLiteral("name")).toString());
        if (paired && !paired->notStored.isEmpty())
            emit logLine(paired->notStored); // paired for this run: said, and the phone works
        if (!paired)
            return refuse(socket, QStringLiteral("a pairing code that is not the live one"));
        emit logLine(QStringLiteral("Phone %1 is paired (device %2)")
                         .arg(nameOf(paired->device))
                         .arg(paired->device));
        return admit(socket, client, paired->device, QStringLiteral("paired"), paired->token);
    }
    if (type == QLatin1String("hello")) {
        const std::optional<int> device =
            m_book->deviceOf(message.value(QStringLiteral("token")).toString());
        if (!device)
            return refuse(socket, QStringLiteral("a token that no paired phone has"));
        return admit(socket, client, *device, QStringLiteral("welcome"));
    }
    socket->abort();
}

void PhoneInput::admit(WebSocketLink* socket, Client& client, int device, const QString& type,
                       const QString& token) {
    client.device = device;
    client.deadline->stop();
    m_server->authenticated(socket);
    QJsonObject answer{{QStringLiteral("type"), type},
                       {QStringLiteral("device"), device},
                       {QStringLiteral("name"), nameOf(device)},
                       {QStringLiteral("seq"), m_lastSeq.value(device)}};
    if (!token.isEmpty())
        answer.insert(QStringLiteral("token"), token);
    socket->sendText(json(answer));
    socket->sendText(stateMessage());
    markSeen(device);
    emit phoneConnected(QStringLiteral("phone ") + nameOf(device), socket->peerAddress(),
                        socket->peerPort());
    emit reachChanged();
}

void PhoneInput::markSeen(int device) {
    try {
        m_book->seen(device);
    } catch (const std::exception& failure) {
        emit logLine(QString::fromUtf8(failure.what())); // kept for this run all the same
    }
}

void PhoneInput::refuse(WebSocketLink* socket, const QString& what) {
    const QString address = addressOf(socket);
    const qint64 now = nowMs();
    if (m_guessTold.size() >= kGuessAddressesKept)
        m_guessTold.removeIf(
            [&](const auto& told) { return now - told.value() >= m_limits.guessLineGapMs; });
    const auto told = m_guessTold.constFind(address);
    if ((told == m_guessTold.cend() || now - *told >= m_limits.guessLineGapMs) &&
        m_guessTold.size() < kGuessAddressesKept) {
        m_guessTold.insert(address, now);
        emit logLine(QStringLiteral("Web remote: %1 from %2 was refused").arg(what, address));
    }
    socket->close(kNotPaired);
}

void PhoneInput::key(WebSocketLink* socket, Client& client, const QJsonObject& message) {
    const int code = message.value(QStringLiteral("code")).toInt(-1);
    const qint64 seq = qint64(message.value(QStringLiteral("seq")).toDouble(-1));
    if (code < 0 || code > 255 || seq < 1)
        return;
    socket->sendText(
        json({{QStringLiteral("type"), QStringLiteral("ack")}, {QStringLiteral("seq"), seq}}));
    qint64& last = m_lastSeq[client.device];
    if (seq <= last)
        return; // sent again after a reconnection: it acted already
    last = seq;
    Pace& pace = m_pace[client.device];
    if (!pace.window.isValid() || pace.window.elapsed() >= 1000) {
        pace.window.start();
        pace.keys = 0;
        pace.dropping = false;
    }
    if (++pace.keys > m_limits.keysPerSecond) {
        if (!pace.dropping)
            emit logLine(QStringLiteral("Phone %1 sends more than %2 keys a second: the rest of "
                                        "this second is dropped")
                             .arg(nameOf(client.device))
                             .arg(m_limits.keysPerSecond));
        pace.dropping = true;
        return;
    }
    markSeen(client.device);
    const bool digit = code >= '0' && code <= '9';
    const nuvok::DecodedKeyMessage decoded = nuvok::decodeKeyMessage(nuvok::keyMessage(
        static_cast<unsigned char>(code), digit ? nuvok::kKindKey : nuvok::kKindMenuKey));
    KeyArrival arrival;
    arrival.line = QString::fromStdString(decoded.logLine);
    arrival.code = decoded.key;
    arrival.origin = originOf(client.device);
    emit arrived(arrival);
}

nuvok::KeyOrigin PhoneInput::originOf(int device) const {
    nuvok::KeyOrigin origin;
    const QString name = QStringLiteral("phone ") + nameOf(device);
    origin.sender = name.toStdString();
    origin.identity = {nuvok::InputKind::Phone, std::to_string(device)};
    const PhoneDevice* known = m_book->device(device);
    if (!known || !known->mayControl)
        origin.noController = (name + QStringLiteral(" may not switch the LEDs or open the door: "
                                                     "its tick on the Phone page of the settings "
                                                     "is off"))
                                  .toStdString();
    return origin;
}

QString PhoneInput::nameOf(int device) const {
    const PhoneDevice* known = m_book->device(device);
    return known ? known->name : QStringLiteral("%1").arg(device);
}

void PhoneInput::forgotten(int device) {
    m_lastSeq.remove(device);
    m_pace.remove(device);
    for (auto at = m_clients.begin(); at != m_clients.end(); ++at)
        if (at->device == device) {
            at->device = -1; // its keys are not taken while it closes
            WebSocketLink* socket = at.key();
            socket->close(kForgotten);
            QTimer::singleShot(500, socket, [socket] { socket->abort(); });
        }
}
