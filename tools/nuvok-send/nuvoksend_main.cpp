// nuvok-send: plays the network remote handset, so that NUVOKrc can be tried
// and tested without one.

#include "common/failure.h"
#include "handsetcommandline.h"
#include "handsetlinks.h"

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

namespace {

constexpr int kConnectTimeoutMs = 5000;
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
        const QHostAddress address = nuvok::resolveHost(m_options);
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
            pause(nuvok::kRefusalGraceMs);
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

void sendAll(const nuvok::HandsetOptions& options) {
    if (!options.tcp && nuvok::sendDatagramsNatively(options))
        return;
    HandsetLink link(options);
    nuvok::sendOver(link, options);
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
