#include "handsetlinks.h"

#include <QDeadlineTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nuvok {
namespace {

// UDP on a connected socket of the system itself. The receiving host's
// refusal (ICMP port unreachable) stays pending on such a socket until the
// next send or the error query returns ECONNREFUSED. Qt's own socket reads
// that error away itself in some Qt versions (6.8) and reports nothing, so a
// refused datagram would pass for a delivered one.
class DatagramLink {
public:
    explicit DatagramLink(const HandsetOptions& options)
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

    [[noreturn]] static void fail(const QString& text) { throw Failure(text.toStdString()); }

    const HandsetOptions& m_options;
    const QString m_where;
    int m_fd = -1;
    int m_sent = 0;
};
} // namespace

bool sendDatagramsNatively(const HandsetOptions& options) {
    DatagramLink link(options);
    sendOver(link, options);
    return true;
}

} // namespace nuvok
