#include "net/socketcomponent.h"

#include "common/failure.h"
#include "net/handsetlist.h"

#include <QMetaObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <optional>
#include <utility>

// The data: datagrams taken in, reads and sends, and the events that
// announce arrivals.

using nuvok::Failure;

void SocketComponent::Bind() {
    requireClosed("Bind");
    if (m_protocol != sckUDPProtocol)
        throw Failure("Bind needs the UDP protocol; a TCP socket is opened with Listen");
    requireLocalPort("Cannot open UDP port ");
    auto* udp = new QUdpSocket(this);
    const auto port = static_cast<quint16>(m_localPort);
    // IPv4 only: a dual-stack bind that meets a taken IPv4 port quietly falls
    // back to IPv6 alone, where the handset's datagrams never arrive. No
    // sharing either: a second program on the port must fail, not steal keys.
    if (!udp->bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress)) {
        const QString why = udp->errorString();
        delete udp;
        throw Failure(
            QStringLiteral("Cannot open UDP port %1: %2").arg(m_localPort).arg(why).toStdString());
    }
    m_udp = udp;
    connect(udp, &QUdpSocket::readyRead, this, &SocketComponent::takeDatagrams);
    m_state = sckOpen;
    takeDatagrams();
}

qint64 SocketComponent::bytesPending() const {
    if (m_udp)
        return m_datagrams.empty() ? 0 : m_datagrams.front().data.size();
    if (m_tcp)
        return m_tcp->bytesAvailable();
    return 0;
}

QByteArray SocketComponent::GetData(qint64 maxBytes) {
    if (m_udp) {
        if (m_datagrams.empty())
            return {};
        QByteArray data = std::move(m_datagrams.front().data);
        m_lastSender = m_datagrams.front().sender;
        m_datagrams.pop_front();
        m_datagramBytes -= data.size();
        if (!m_datagrams.empty())
            scheduleArrival();
        return data;
    }
    if (m_tcp) {
        m_lastSender = QHostAddress(m_remoteHostIP); // kept after the peer has gone
        if (maxBytes < 0)
            return m_tcp->readAll();
        QByteArray data = m_tcp->read(maxBytes);
        if (m_tcp->bytesAvailable() > 0)
            scheduleArrival();
        return data;
    }
    throw Failure("Cannot read: the socket is not open");
}

// A share of what the system holds; the socket announces the rest on the
// next turn (each read asks it to). Reading only when it announces keeps
// the announcement and the reads in step: an announcement that finds
// nothing to read would silence the socket for good. A datagram from a
// sender the filter refuses costs one read and no copy.
void SocketComponent::takeDatagrams() {
    // Enough for minutes of key presses; beyond that it is a flood, and the
    // newest datagrams give way so that memory stays bounded.
    constexpr std::size_t kMaxDatagrams = 4096;
    constexpr qint64 kMaxBytes = 1 << 20;
    constexpr qint64 kLargestDatagram = 65536;
    if (m_readBuffer.size() < kLargestDatagram)
        m_readBuffer.resize(kLargestDatagram);
    QHostAddress sender;
    for (int taken = 0; taken < kDatagramsPerTurn && m_udp && m_udp->hasPendingDatagrams();
         ++taken) {
        const qint64 size = m_udp->readDatagram(m_readBuffer.data(), kLargestDatagram, &sender);
        if (size < 0)
            break;
        if (!admits(sender))
            continue; // before the inbox, so a flood cannot crowd out a handset
        if (m_datagrams.size() >= kMaxDatagrams || m_datagramBytes + size > kMaxBytes) {
            dropDatagram();
            continue;
        }
        m_datagramBytes += size;
        m_datagrams.push_back(
            {QByteArray(m_readBuffer.constData(), size), plainHostAddress(sender)});
    }
    if (!m_datagrams.empty())
        scheduleArrival();
}

// A burst of drops is told once, a second after its first drop.
void SocketComponent::dropDatagram() {
    ++m_droppedDatagrams;
    ++m_dropsUnreported;
    if (m_dropReportDue)
        return;
    m_dropReportDue = true;
    QTimer::singleShot(1000, this, [this] {
        m_dropReportDue = false;
        emit DatagramsDropped(std::exchange(m_dropsUnreported, 0));
    });
}

void SocketComponent::scheduleArrival() {
    if (m_arrivalPosted)
        return;
    m_arrivalPosted = true;
    post([this] { deliverArrival(); });
}

void SocketComponent::post(std::function<void()> step, std::function<void()> anyway,
                           PostFor owner) {
    const quint64 generation = m_generation;
    const std::optional<quint64> peerGeneration =
        owner == PostFor::Peer ? std::optional(m_peerGeneration) : std::nullopt;
    QMetaObject::invokeMethod(
        this,
        [this, generation, peerGeneration, step = std::move(step), anyway = std::move(anyway)] {
            if (generation == m_generation &&
                (!peerGeneration || *peerGeneration == m_peerGeneration))
                step();
            if (anyway)
                anyway();
        },
        Qt::QueuedConnection);
}

void SocketComponent::deliverArrival() {
    m_arrivalPosted = false;
    const qint64 pending = bytesPending();
    // An empty datagram is an arrival of its own; empty TCP data is none.
    const bool arrived = m_udp ? !m_datagrams.empty() : pending > 0;
    if (!arrived)
        return;
    emit DataArrival(static_cast<int>(qMin<qint64>(pending, INT_MAX)));
}
