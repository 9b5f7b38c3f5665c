#include "app/settings/controllerprobe.h"

#include <QMetaObject>
#include <QTcpSocket>
#include <QTimer>

ControllerProbe::ControllerProbe(QObject* parent) : QObject(parent), m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this,
            [this] { finish(ControllerLink::notWithin(true, m_deadlineMs)); });
}

bool ControllerProbe::running() const {
    return m_socket != nullptr;
}

void ControllerProbe::probe(const ControllerLink::Destination& to, int deadlineMs) {
    dropSocket();
    m_to = to;
    m_deadlineMs = deadlineMs;
    if (const QString why = ControllerLink::unusable(to); !why.isEmpty()) {
        // Said from the event loop, as every other answer.
        QMetaObject::invokeMethod(
            this, [this, why] { emit answered(QStringLiteral("Not reached: %1").arg(why)); },
            Qt::QueuedConnection);
        return;
    }
    // A socket per probe: one given up cannot answer for the next.
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, [this] { finish({}); });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        finish(ControllerLink::reasonFor(*m_socket, error));
    });
    m_deadline->start(deadlineMs);
    m_socket->connectToHost(to.host, static_cast<quint16>(to.port));
}

void ControllerProbe::dropSocket() {
    m_deadline->stop();
    if (!m_socket)
        return;
    // It may be emitting now: it goes from the event loop, closed.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void ControllerProbe::finish(const QString& reason) {
    dropSocket();
    const QString host = m_to.host.contains(QLatin1Char(':'))
                             ? QLatin1Char('[') + m_to.host + QLatin1Char(']')
                             : m_to.host;
    emit answered(reason.isEmpty()
                      ? QStringLiteral("Reached the controller at %1:%2").arg(host).arg(m_to.port)
                      : QStringLiteral("Not reached: %1").arg(reason));
}
