#include "net/lircinput.h"

#include <QLocalSocket>
#include <QTcpSocket>

namespace {

// Why a connection failed or ended, in words rather than Qt's.
QString reasonOf(QLocalSocket::LocalSocketError error, const QString& path, const QString& qtText) {
    switch (error) {
    case QLocalSocket::ServerNotFoundError:
        return QStringLiteral("there is no socket at %1").arg(path);
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QLocalSocket::SocketAccessError:
        return QStringLiteral("no permission to connect to it");
    case QLocalSocket::SocketResourceError:
        return QStringLiteral("it takes no more connections now");
    case QLocalSocket::PeerClosedError:
        return QStringLiteral("it closed the connection");
    case QLocalSocket::SocketTimeoutError:
        return QStringLiteral("no answer in time");
    default:
        return qtText;
    }
}

QString reasonOf(QAbstractSocket::SocketError error, const QString& qtText) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("the host is not known");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("it closed the connection");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("no permission to connect to it");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("no answer in time");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("the network does not reach it");
    default:
        return qtText;
    }
}

} // namespace

QString LircPlace::text() const {
    if (!tcp())
        return socketPath;
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

LircInput::LircInput(int retryMs, QObject* parent) : QObject(parent) {
    m_times.retryMs = retryMs;
    for (QTimer* timer : {&m_retry, &m_answer, &m_ask})
        timer->setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &LircInput::connectNow);
    connect(&m_answer, &QTimer::timeout, this, &LircInput::notAnswered);
    connect(&m_ask, &QTimer::timeout, this, &LircInput::ask);
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
    m_silentSaid = false;
    m_versionSaid.clear();
    connectNow();
}

void LircInput::stop() {
    m_running = false;
    for (QTimer* timer : {&m_retry, &m_answer, &m_ask})
        timer->stop();
    m_open = false;
    m_ready = false;
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
    m_open = false;
    m_ready = false;
    m_asking = false;
    m_answersVersion = false;
    m_hungSaid = false;
    // What lircd may send before it is read, so that a flood is held back
    // by the connection itself.
    constexpr qint64 kReadBuffer = 64 * 1024;
    if (m_place.tcp()) {
        m_tcp = new QTcpSocket(this);
        m_tcp->setReadBufferSize(kReadBuffer);
        connect(m_tcp, &QTcpSocket::connected, this, &LircInput::connectedNow);
        connect(m_tcp, &QTcpSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_tcp, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) {
                    const QString why = m_tcp ? m_tcp->errorString() : QString();
                    ended(why, reasonOf(error, why), false);
                });
        m_tcp->connectToHost(m_place.host, m_place.port);
    } else {
        m_local = new QLocalSocket(this);
        m_local->setReadBufferSize(kReadBuffer);
        connect(m_local, &QLocalSocket::connected, this, &LircInput::connectedNow);
        connect(m_local, &QLocalSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_local, &QLocalSocket::errorOccurred, this,
                [this](QLocalSocket::LocalSocketError error) {
                    const QString why = m_local ? m_local->errorString() : QString();
                    ended(why, reasonOf(error, m_place.socketPath, why),
                          error == QLocalSocket::ServerNotFoundError);
                });
        m_local->connectToServer(m_place.socketPath);
    }
}

// Accepted, which a stopped lircd's socket still does: lircd is asked at once.
void LircInput::connectedNow() {
    m_open = true;
    if (m_tcp)
        m_source = {true, m_tcp->peerAddress(), {}};
    else if (m_local)
        m_source = {false, {}, nuvok::lircServerOf(m_local->socketDescriptor())};
    ask();
}

// One question out at a time: a lircd that is stopped answers the one it has
// when it runs again.
void LircInput::ask() {
    QIODevice* socket = device();
    if (!socket || !m_open || m_asking)
        return;
    m_asking = true;
    socket->write("VERSION\n");
    m_answer.start(m_times.answerMs);
}

void LircInput::notAnswered() {
    if (!m_running || !m_open || !m_asking)
        return;
    if (!m_ready) {
        if (!m_silentSaid)
            emit logLine(
                QStringLiteral("IR input: lircd at %1 accepts connections but does not answer")
                    .arg(m_place.text()));
        m_silentSaid = true;
    } else if (!m_hungSaid) {
        m_hungSaid = true;
        emit logLine(QStringLiteral("IR input: lircd at %1 does not answer").arg(m_place.text()));
    }
}

// lircd answered: a reply block (the answer to VERSION among them, with the
// version when it tells one) or a button event.
void LircInput::heard(bool versionReply, const std::optional<std::string>& version) {
    m_asking = false;
    m_answer.stop();
    m_answersVersion = m_answersVersion || versionReply;
    const bool nowReady = !m_ready;
    if (nowReady) {
        m_ready = true;
        m_silentSaid = false;
        emit logLine(
            QStringLiteral("IR input %1: lircd at %2")
                .arg(m_wasThere ? QStringLiteral("is there again") : QStringLiteral("ready"),
                     m_place.text()));
        m_wasThere = true;
    } else if (m_hungSaid) {
        m_hungSaid = false;
        emit logLine(QStringLiteral("IR input: lircd at %1 answers again").arg(m_place.text()));
    }
    // Said when it differs from what was said last, not at every answer.
    if (version && QString::fromStdString(*version) != m_versionSaid) {
        m_versionSaid = QString::fromStdString(*version);
        emit logLine(
            QStringLiteral("lircd at %1 is version %2").arg(m_place.text(), m_versionSaid));
    }
    // A daemon that never answered VERSION cannot be asked whether it still runs.
    if (m_answersVersion)
        m_ask.start(m_times.askMs);
    if (nowReady)
        emit ready();
}

// The connection failed or ended: once in the log, then quietly again later.
void LircInput::ended(const QString& why, const QString& reason, bool noSocket) {
    if (!m_running)
        return;
    QObject* socket = m_local ? static_cast<QObject*>(m_local) : static_cast<QObject*>(m_tcp);
    if (socket) {
        socket->disconnect(this);
        socket->deleteLater();
    }
    m_local = nullptr;
    m_tcp = nullptr;
    m_answer.stop();
    m_ask.stop();
    m_open = false;
    if (m_ready) {
        m_ready = false;
        emit logLine(QStringLiteral("IR input lost: lircd at %1 ended the connection (%2); "
                                    "trying again every %3 s")
                         .arg(m_place.text(), why)
                         .arg(m_times.retryMs / 1000.0));
    } else if (m_place.byDefault && noSocket) {
        // The build's own socket, named by no setting, is not there: lirc is
        // not installed or not started, and IR remotes are simply not in use.
        // It is looked for all the same, quietly.
    } else if (!m_wasThere && !m_startSaid && !m_silentSaid) {
        m_startSaid = true;
        emit logLine(QStringLiteral("IR remotes are not in use yet: no lircd answers at %1 (%2). "
                                    "Install and start lircd, or set LircSocket, or LircHost and "
                                    "LircPort; it is looked for every %3 s")
                         .arg(m_place.text(), reason)
                         .arg(m_times.retryMs / 1000.0));
    }
    m_retry.start(m_times.retryMs);
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
    const std::vector<nuvok::LircReply> replies = m_reader.takeReplies();
    if (!events.empty() || !replies.empty()) {
        bool versionReply = false;
        std::optional<std::string> version;
        for (const nuvok::LircReply& reply : replies) {
            versionReply = versionReply || nuvok::isVersionReply(reply);
            if (const auto found = nuvok::lircVersionOf(reply))
                version = found;
        }
        heard(versionReply, version);
        if (device() != socket)
            return;
    }
    for (const nuvok::LircEvent& each : events) {
        emit event(each);
        if (device() != socket)
            return; // stopped or restarted by what the event did
    }
}
