#include "net/controllerlink.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>

ControllerLink::ControllerLink(QObject* parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    connect(m_deadline, &QTimer::timeout, this, &ControllerLink::onDeadline);
    connect(m_socket, &QTcpSocket::connected, this, &ControllerLink::onConnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ControllerLink::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &ControllerLink::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ControllerLink::onError);
}

ControllerLink::~ControllerLink() {
    m_phase = Phase::Idle;
    m_socket->abort();
}

void ControllerLink::setController(const QString& host, int port) {
    m_to = {host, port};
}

quint64 ControllerLink::send(const QString& text, Admission admission) {
    return send(text, admission, m_to);
}

quint64 ControllerLink::send(const QString& text, Admission admission, const Destination& to) {
    const quint64 id = ++m_lastId;
    if (admission == Admission::Bounded && full()) {
        const QString reason = QStringLiteral("%1 commands are waiting already").arg(kMaxWaiting);
        QMetaObject::invokeMethod(
            this,
            [this, id, text, reason, to] {
                m_lastTo = to;
                emit failed(id, text, reason);
            },
            Qt::QueuedConnection);
        return id;
    }
    m_queue.push_back({id, text, to});
    if (!m_running)
        startNext();
    return id;
}

QStringList ControllerLink::dropAll() {
    // A front command whose text has gone out is through, even though its
    // outcome is still on its way: it is not named as dropped.
    const bool frontThrough =
        m_running && (m_phase == Phase::Sending ? m_written >= m_wire.size() : m_frontThrough);
    QStringList texts;
    for (const Command& command : m_queue)
        texts << command.text;
    if (frontThrough && !texts.isEmpty())
        texts.removeFirst();
    m_queue.clear();
    ++m_generation;
    m_running = false;
    m_phase = Phase::Idle;
    m_deadline->stop();
    m_socket->abort();
    return texts;
}

QString ControllerLink::unusable(const Destination& to) {
    if (to.host.trimmed().isEmpty())
        return QStringLiteral("no controller host is set");
    if (to.port < 1 || to.port > 65535)
        return QStringLiteral("a port number runs from 1 to 65535");
    return {};
}

QString ControllerLink::notWithin(bool connecting, int ms) {
    const QString bound = QString::number(ms / 1000.0, 'g', 3);
    return connecting ? QStringLiteral("no connection within %1 s").arg(bound)
                      : QStringLiteral("the command had not gone out within %1 s").arg(bound);
}

QString ControllerLink::sendBeforeExit(const QString& text, int timeoutMs, const Destination& to) {
    if (const QString why = unusable(to); !why.isEmpty())
        return why;
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return std::max(1, timeoutMs - int(clock.elapsed())); };
    QTcpSocket socket;
    socket.connectToHost(to.host, static_cast<quint16>(to.port));
    if (!socket.waitForConnected(left()))
        return socket.error() == QAbstractSocket::SocketTimeoutError
                   ? notWithin(true, timeoutMs)
                   : reasonFor(socket, socket.error());
    const QByteArray wire = text.toLatin1() + "\r\n";
    socket.write(wire);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(left()))
            return notWithin(false, timeoutMs);
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.waitForDisconnected(left());
    return {};
}

QString ControllerLink::notDeliveredLine(const QStringList& texts, const QString& reason) const {
    return notDeliveredLine(texts, reason, m_to);
}

QString ControllerLink::notDeliveredLine(const QStringList& texts, const QString& reason,
                                         const Destination& to) {
    QStringList quoted;
    for (const QString& text : texts)
        quoted << QLatin1Char('"') + text + QLatin1Char('"');
    // An IPv6 address is bracketed, so that its port stands apart.
    const QString host = to.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + to.host + QLatin1Char(']')
                             : to.host;
    return QStringLiteral("Controller %1:%2: %3 not delivered (%4)")
        .arg(host)
        .arg(to.port)
        .arg(quoted.join(QStringLiteral(", ")), reason);
}

void ControllerLink::startNext() {
    if (m_queue.empty()) {
        m_running = false;
        return;
    }
    m_running = true;
    m_attempt = 1;
    startAttempt();
}

void ControllerLink::startAttempt() {
    m_wire = m_queue.front().text.toLatin1() + "\r\n";
    m_written = 0;
    m_frontThrough = false;
    m_phase = Phase::Connecting;
    const Destination& to = m_queue.front().to;
    if (const QString why = unusable(to); !why.isEmpty()) {
        endAttempt(false, why);
        return;
    }
    m_deadline->start(m_deadlineMs);
    m_socket->connectToHost(to.host, static_cast<quint16>(to.port));
}

void ControllerLink::onConnected() {
    if (m_phase != Phase::Connecting)
        return;
    m_phase = Phase::Sending;
    m_deadline->start(m_deadlineMs);
    m_socket->write(m_wire);
    // Closes once the text has gone out.
    m_socket->disconnectFromHost();
}

void ControllerLink::onBytesWritten(qint64 bytes) {
    if (m_phase == Phase::Sending)
        m_written += bytes;
}

void ControllerLink::onDisconnected() {
    if (m_phase != Phase::Sending)
        return;
    if (m_written >= m_wire.size())
        endAttempt(true, {});
    else
        endAttempt(false, QStringLiteral("the connection closed before the command had gone out"));
}

void ControllerLink::onError(QAbstractSocket::SocketError error) {
    if (m_phase == Phase::Idle)
        return;
    // The controller may close its end as soon as it has the text.
    if (m_phase == Phase::Sending && m_written >= m_wire.size())
        return endAttempt(true, {});
    endAttempt(false, reasonFor(*m_socket, error));
}

void ControllerLink::onDeadline() {
    if (m_phase == Phase::Idle)
        return;
    endAttempt(false, notWithin(m_phase == Phase::Connecting, m_deadlineMs));
}

QString ControllerLink::reasonFor(const QAbstractSocket& socket,
                                  QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("the controller closed the connection before the command had gone "
                              "out");
    default: {
        QString text = socket.errorString();
        if (!text.isEmpty())
            text[0] = text[0].toLower();
        return text;
    }
    }
}

void ControllerLink::endAttempt(bool ok, const QString& reason) {
    m_phase = Phase::Idle;
    m_frontThrough = ok;
    m_deadline->stop();
    // Signals of the socket are often still being emitted here: what follows
    // runs from the event loop, not inside them.
    m_socket->abort();
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, ok, reason] {
            if (generation == m_generation)
                afterAttempt(ok, reason);
        },
        Qt::QueuedConnection);
}

void ControllerLink::afterAttempt(bool ok, const QString& reason) {
    if (m_queue.empty())
        return;
    if (!ok && m_attempt == 1) {
        m_attempt = 2; // the one retry, at once
        startAttempt();
        return;
    }
    const Command command = m_queue.front();
    m_queue.pop_front();
    m_running = false;
    m_lastTo = command.to;
    if (ok)
        emit delivered(command.id, command.text);
    else
        emit failed(command.id, command.text, reason);
    // A handler may have sent meanwhile, which started the next command.
    if (!m_running)
        startNext();
}
