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
    if (m_place.tcp()) {
        m_tcp = new QTcpSocket(this);
        connect(m_tcp, &QTcpSocket::connected, this, &LircInput::connectedNow);
        connect(m_tcp, &QTcpSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_tcp, &QTcpSocket::errorOccurred, this,
                [this] { ended(m_tcp ? m_tcp->errorString() : QString()); });
        m_tcp->connectToHost(m_place.host, m_place.port);
    } else {
        m_local = new QLocalSocket(this);
        connect(m_local, &QLocalSocket::connected, this, &LircInput::connectedNow);
        connect(m_local, &QLocalSocket::readyRead, this, &LircInput::readAvailable);
        connect(m_local, &QLocalSocket::errorOccurred, this,
                [this] { ended(m_local ? m_local->errorString() : QString()); });
        m_local->connectToServer(m_place.socketPath, QIODevice::ReadOnly);
    }
}

void LircInput::connectedNow() {
    m_connected = true;
    emit logLine(QStringLiteral("IR input %1: lircd at %2")
                     .arg(m_wasThere ? QStringLiteral("is there again") : QStringLiteral("ready"),
                          m_place.text()));
    m_wasThere = true;
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

void LircInput::readAvailable() {
    QIODevice* socket = device();
    if (!socket)
        return;
    const QByteArray bytes = socket->readAll();
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
