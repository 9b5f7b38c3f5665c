#include "net/lircinput.h"

#include <QLocalSocket>
#include <QTcpSocket>

QString LircPlace::text() const {
    if (!tcp())
        return socketPath;
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

LircInput::LircInput(int retryMs, QObject* parent) : QObject(parent), m_retryMs(retryMs) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &LircInput::connectNow);
}

LircInput::~LircInput() {
    stop();
}

void LircInput::start(const LircPlace& place) {
    stop();
    m_place = place;
    m_running = true;
    m_wasThere = false;
    m_startSaid = false;
    connectNow();
}

void LircInput::stop() {
    m_running = false;
    m_retry.stop();
    m_connected = false;
    for (QObject* socket : {static_cast<QObject*>(m_local), static_cast<QObject*>(m_tcp)}) {
        if (!socket)
            continue;
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_local = nullptr;
    m_tcp = nullptr;
}

QIODevice* LircInput::device() const {
    if (m_local)
        return m_local;
    return m_tcp;
}

// A new socket for every try: nothing of an old connection can reach the new one.
void LircInput::connectNow() {
    if (!m_running)
        return;
    m_reader.reset();
    m_source = {};
    m_readPosted = false;
    // What lircd may send before it is read, so that a flood is held back
    // by the connection itself.
    constexpr qint64 kReadBuffer = 64 * 1024;
    if (m_place.tcp()) {
        m_tcp = new QTcpSocket(this);
        m_tcp->setReadBufferSize(kReadBuffer);
        connect(m_tcp, &QTcpSocket::connected, this, &LircInput::connectedNow);
        connect(m_tcp, &QTcpSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_tcp, &QTcpSocket::errorOccurred, this,
                [this] { ended(m_tcp ? m_tcp->errorString() : QString()); });
        m_tcp->connectToHost(m_place.host, m_place.port);
    } else {
        m_local = new QLocalSocket(this);
        m_local->setReadBufferSize(kReadBuffer);
        connect(m_local, &QLocalSocket::connected, this, &LircInput::connectedNow);
        connect(m_local, &QLocalSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_local, &QLocalSocket::errorOccurred, this,
                [this] { ended(m_local ? m_local->errorString() : QString()); });
        m_local->connectToServer(m_place.socketPath, QIODevice::ReadOnly);
    }
}

void LircInput::connectedNow() {
    m_connected = true;
    if (m_tcp)
        m_source = {true, m_tcp->peerAddress(), {}};
    else if (m_local)
        m_source = {false, {}, nuvok::lircServerOf(m_local->socketDescriptor())};
    emit logLine(QStringLiteral("IR input %1: lircd at %2")
                     .arg(m_wasThere ? QStringLiteral("is there again") : QStringLiteral("ready"),
                          m_place.text()));
    m_wasThere = true;
    emit ready();
}

// The connection failed or ended: once in the log, then quietly again later.
void LircInput::ended(const QString& why) {
    if (!m_running)
        return;
    QObject* socket = m_local ? static_cast<QObject*>(m_local) : static_cast<QObject*>(m_tcp);
    if (socket) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_local = nullptr;
    m_tcp = nullptr;
    if (m_connected) {
        m_connected = false;
        emit logLine(QStringLiteral("IR input lost: lircd at %1 ended the connection (%2); "
                                    "trying again every %3 s")
                         .arg(m_place.text(), why)
                         .arg(m_retryMs / 1000.0));
    } else if (!m_wasThere && !m_startSaid) {
        m_startSaid = true;
        emit logLine(QStringLiteral("IR remotes are not in use yet: no lircd answers at %1 (%2). "
                                    "Install and start lircd, or set LircSocket, or LircHost and "
                                    "LircPort; it is looked for every %3 s")
                         .arg(m_place.text(), why)
                         .arg(m_retryMs / 1000.0));
    }
    m_retry.start(m_retryMs);
}

// A turn's share of what lircd sent; the rest on the next turn, so that a
// lircd that floods cannot hold up the timers and the other sockets.
void LircInput::readAvailable() {
    m_readPosted = false;
    QIODevice* socket = device();
    if (!socket)
        return;
    const QByteArray bytes = socket->read(kBytesPerTurn);
    if (socket->bytesAvailable() > 0 && !m_readPosted) {
        m_readPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this, socket] {
                if (device() == socket)
                    readAvailable();
            },
            Qt::QueuedConnection);
    }
    const std::vector<nuvok::LircEvent> events =
        m_reader.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    for (const std::string& problem : m_reader.takeProblems())
        emit logLine(QString::fromStdString(problem));
    for (const nuvok::LircEvent& each : events) {
        emit event(each);
        if (device() != socket)
            return; // stopped or restarted by what the event did
    }
}
