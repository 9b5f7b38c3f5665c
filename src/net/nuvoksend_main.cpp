// nuvok-send: plays the network remote handset, so that NUVOKrc can be tried
// and tested without one.

#include "common/failure.h"
#include "net/keymessage.h"

#include <QAbstractSocket>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QTcpSocket>
#include <QUdpSocket>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

constexpr int kConnectTimeoutMs = 5000;
// Long enough for a refusal of the receiving host to come back after the
// last datagram; a loopback refusal takes microseconds.
constexpr int kRefusalGraceMs = 150;

QHostAddress resolveHost(const nuvok::HandsetOptions& options) {
    const QString host = QString::fromStdString(options.host);
    QHostAddress address;
    if (address.setAddress(host))
        return address;
    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        throw nuvok::Failure("cannot find the host \"" + options.host +
                             "\": " + info.errorString().toStdString());
    return info.addresses().constFirst();
}

// One open way to the receiver: a TCP connection, or a UDP socket that sends
// every datagram to it and hears its refusals.
class HandsetLink {
public:
    explicit HandsetLink(const nuvok::HandsetOptions& options)
        : m_options(options),
          m_where(QStringLiteral("%1 %2 port %3")
                      .arg(QString::fromStdString(options.host),
                           options.tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"))
                      .arg(options.port)) {
        if (options.tcp)
            m_socket = std::make_unique<QTcpSocket>();
        else
            m_socket = std::make_unique<QUdpSocket>();
        QObject::connect(m_socket.get(), &QAbstractSocket::errorOccurred,
                         [this](QAbstractSocket::SocketError error) {
                             if (!m_error)
                                 m_error = error;
                         });
    }

    void open() {
        const QHostAddress address = resolveHost(m_options);
        m_socket->connectToHost(address, static_cast<quint16>(m_options.port));
        if (!m_socket->waitForConnected(kConnectTimeoutMs)) {
            if (m_socket->state() == QAbstractSocket::ConnectingState)
                fail(QStringLiteral("no answer from %1 within %2 s")
                         .arg(m_where)
                         .arg(kConnectTimeoutMs / 1000));
            failOnError();
        }
        if (m_options.tcp)
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    }

    void send(const std::string& message) {
        failOnError();
        const auto size = static_cast<qint64>(message.size());
        if (m_socket->write(message.data(), size) != size)
            failOnError(true);
        if (m_options.tcp) {
            while (m_socket->bytesToWrite() > 0) {
                if (!m_socket->waitForBytesWritten(kConnectTimeoutMs))
                    failOnError(true);
            }
        }
        ++m_sent;
    }

    // Lets the socket report what happened while the time passes.
    void pause(int milliseconds) {
        QDeadlineTimer deadline(milliseconds);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents,
                                            static_cast<int>(deadline.remainingTime()));
            failOnError();
        }
        takeRefusal();
    }

    void close() {
        if (!m_options.tcp) {
            pause(kRefusalGraceMs);
            return;
        }
        m_socket->disconnectFromHost();
        if (m_socket->state() != QAbstractSocket::UnconnectedState)
            m_socket->waitForDisconnected(kConnectTimeoutMs);
    }

private:
    // A refusal of a datagram comes back as an error pending on the socket
    // that only a read brings to light.
    void takeRefusal() {
        if (m_options.tcp)
            return;
        auto* udp = static_cast<QUdpSocket*>(m_socket.get());
        failOnError();
        char ignored = 0;
        udp->readDatagram(&ignored, 1);
        // Without a refusal the read finds nothing, which is no fault.
        if (m_error != QAbstractSocket::ConnectionRefusedError)
            m_error.reset();
        failOnError();
    }

    void failOnError(bool always = false) {
        if (m_error) {
            const QAbstractSocket::SocketError error = *m_error;
            if (error == QAbstractSocket::ConnectionRefusedError)
                fail(
                    QStringLiteral("%1 refused %2: is NUVOKrc running there and listening with %3?")
                        .arg(m_where,
                             m_options.tcp ? QStringLiteral("the connection")
                                           : QStringLiteral("message %1 of %2")
                                                 .arg(qMax(m_sent, 1))
                                                 .arg(m_options.messages.size()),
                             m_options.tcp ? QStringLiteral("TCP") : QStringLiteral("UDP")));
            if (error == QAbstractSocket::RemoteHostClosedError)
                fail(QStringLiteral("%1 closed the connection after %2 message(s)")
                         .arg(m_where)
                         .arg(m_sent));
            fail(QStringLiteral("%1: %2").arg(m_where, m_socket->errorString()));
        }
        if (always)
            fail(QStringLiteral("%1: %2").arg(m_where, m_socket->errorString()));
    }

    [[noreturn]] static void fail(const QString& text) { throw nuvok::Failure(text.toStdString()); }

    const nuvok::HandsetOptions& m_options;
    const QString m_where;
    std::unique_ptr<QAbstractSocket> m_socket;
    std::optional<QAbstractSocket::SocketError> m_error;
    int m_sent = 0;
};

#ifndef _WIN32
// UDP on a connected socket of the system itself. The receiving host's
// refusal (ICMP port unreachable) stays pending on such a socket until the
// next send or the error query returns ECONNREFUSED. Qt's own socket reads
// that error away itself in some Qt versions (6.8) and reports nothing, so a
// refused datagram would pass for a delivered one.
class DatagramLink {
public:
    explicit DatagramLink(const nuvok::HandsetOptions& options)
        : m_options(options), m_where(QStringLiteral("%1 UDP port %2")
                                          .arg(QString::fromStdString(options.host))
                                          .arg(options.port)) {}

    DatagramLink(const DatagramLink&) = delete;
    DatagramLink& operator=(const DatagramLink&) = delete;

    ~DatagramLink() {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    void open() {
        const QHostAddress address = resolveHost(m_options);
        sockaddr_storage peer{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto* v6 = reinterpret_cast<sockaddr_in6*>(&peer);
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<quint16>(m_options.port));
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&v6->sin6_addr, &bytes, sizeof(v6->sin6_addr));
            v6->sin6_scope_id = address.scopeId().toUInt();
            length = sizeof(sockaddr_in6);
        } else {
            auto* v4 = reinterpret_cast<sockaddr_in*>(&peer);
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<quint16>(m_options.port));
            v4->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof(sockaddr_in);
        }
        m_fd = ::socket(peer.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            failWith(errno);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), length) != 0)
            failWith(errno);
    }

    void send(const std::string& message) {
        takeRefusal();
        ssize_t written = -1;
        do {
            written = ::send(m_fd, message.data(), message.size(), 0);
        } while (written < 0 && errno == EINTR);
        if (written < 0)
            failWith(errno);
        if (static_cast<std::size_t>(written) != message.size())
            fail(QStringLiteral("%1: message %2 was cut short").arg(m_where).arg(m_sent + 1));
        ++m_sent;
    }

    // Waits the time out, but a refusal ends it at once.
    void pause(int milliseconds) {
        QDeadlineTimer deadline(milliseconds);
        for (;;) {
            takeRefusal();
            const auto remaining = static_cast<int>(deadline.remainingTime());
            if (remaining <= 0)
                return;
            pollfd watched{m_fd, POLLERR, 0};
            // An error on the socket wakes the wait as POLLERR.
            if (::poll(&watched, 1, remaining) < 0 && errno != EINTR)
                failWith(errno);
        }
    }

    void close() { pause(kRefusalGraceMs); }

private:
    void takeRefusal() {
        int pending = 0;
        socklen_t size = sizeof(pending);
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &pending, &size) != 0)
            failWith(errno);
        if (pending != 0)
            failWith(pending);
    }

    [[noreturn]] void failWith(int error) const {
        if (error == ECONNREFUSED)
            fail(QStringLiteral("%1 refused message %2 of %3: is NUVOKrc running there and "
                                "listening with UDP?")
                     .arg(m_where)
                     .arg(qMax(m_sent, 1))
                     .arg(m_options.messages.size()));
        fail(QStringLiteral("%1: %2").arg(m_where, QString::fromLocal8Bit(std::strerror(error))));
    }

    [[noreturn]] static void fail(const QString& text) { throw nuvok::Failure(text.toStdString()); }

    const nuvok::HandsetOptions& m_options;
    const QString m_where;
    int m_fd = -1;
    int m_sent = 0;
};
#endif

template <typename Link> void sendOver(Link& link, const nuvok::HandsetOptions& options) {
    link.open();
    for (std::size_t i = 0; i < options.messages.size(); ++i) {
        if (i > 0)
            link.pause(options.delayMs);
        link.send(options.messages[i]);
    }
    link.close();
}

void sendAll(const nuvok::HandsetOptions& options) {
#ifndef _WIN32
    if (!options.tcp) {
        DatagramLink link(options);
        sendOver(link, options);
        return;
    }
#endif
    HandsetLink link(options);
    sendOver(link, options);
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    nuvok::HandsetOptions options;
    try {
        options = nuvok::parseHandsetArguments(arguments);
    } catch (const nuvok::Failure& failure) {
        std::fprintf(stderr, "nuvok-send: %s\nTry 'nuvok-send --help' for more information.\n",
                     failure.what());
        return 2;
    }
    if (options.showHelp) {
        std::fputs(nuvok::handsetUsage().c_str(), stdout);
        return 0;
    }

    QCoreApplication app(argc, argv);
    try {
        sendAll(options);
    } catch (const nuvok::Failure& failure) {
        std::fprintf(stderr, "nuvok-send: %s\n", failure.what());
        return 1;
    }
    return 0;
}
