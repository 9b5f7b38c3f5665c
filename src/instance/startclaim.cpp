#include "instance/startclaim.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace {

// How long a start waits for another start at the same moment to have
// claimed the place or handed over.
constexpr int kLockWaitMs = 10000;
constexpr int kConnectMs = 1000;

QString runningText(const ChannelMessage& answer) {
    const QString pid = answer.field(QStringLiteral("pid"));
    return QStringLiteral("NUVOKrc is already running%1: %2")
        .arg(pid.isEmpty() ? QString() : QStringLiteral(" (pid %1)").arg(pid),
             answer.field(QStringLiteral("text")));
}

// The running program's answer line, read without an event loop (none runs
// yet); nothing when it does not come in time or is no answer.
std::optional<ChannelMessage> answerOf(QLocalSocket& socket, int answerMs, QString* problem) {
    const QDeadlineTimer deadline(answerMs);
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > ChannelMessage::kMaxLineBytes) {
            *problem = QStringLiteral("its answer is too long");
            return std::nullopt;
        }
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            *problem = socket.state() == QLocalSocket::ConnectedState
                           ? QStringLiteral("it does not answer")
                           : QStringLiteral("it ended the connection");
            if (!socket.canReadLine())
                return std::nullopt;
        }
    }
    return ChannelMessage::parse(socket.readLine(ChannelMessage::kMaxLineBytes + 1), problem);
}

} // namespace

StartClaim::StartClaim() = default;
StartClaim::~StartClaim() = default;
StartClaim::StartClaim(StartClaim&&) noexcept = default;
StartClaim& StartClaim::operator=(StartClaim&&) noexcept = default;

std::optional<ChannelMessage> StartClaim::ask(const InstancePlace& place,
                                              const ChannelMessage& request, QString* problem,
                                              int answerMs) {
    QLocalSocket socket;
    if (!place.serverName.isEmpty())
        socket.connectToServer(place.serverName);
    if (place.serverName.isEmpty() || !socket.waitForConnected(kConnectMs)) {
        *problem = QStringLiteral("NUVOKrc is not running");
        return std::nullopt;
    }
    socket.write(request.line());
    socket.waitForBytesWritten(kConnectMs);
    std::optional<ChannelMessage> answer = answerOf(socket, answerMs, problem);
    if (!answer)
        *problem = QStringLiteral("NUVOKrc runs, but ") + *problem;
    return answer;
}

StartClaim StartClaim::at(const InstancePlace& place, const ChannelMessage& request, int answerMs) {
    StartClaim claim;
    if (place.serverName.isEmpty()) {
        claim.message =
            QStringLiteral("NUVOKrc does not look for a running copy of itself: ") + place.problem;
        return claim;
    }
    // Connect, remove and listen are one step for starts at the same moment.
    QLockFile lock(place.lockFile);
    const bool locked = lock.tryLock(kLockWaitMs);

    QLocalSocket socket;
    socket.connectToServer(place.serverName);
    if (socket.waitForConnected(kConnectMs)) {
        socket.write(request.line());
        socket.waitForBytesWritten(kConnectMs);
        QString problem;
        const std::optional<ChannelMessage> answer = answerOf(socket, answerMs, &problem);
        if (!answer) {
            // It holds the name and the port: a second program would be of no
            // use either.
            claim.exitCode = 1;
            claim.message = QStringLiteral("NUVOKrc is already running, but %1; to start "
                                           "another one anyway, use --new-instance")
                                .arg(problem);
            return claim;
        }
        claim.exitCode = answer->word == QLatin1String("ok") ? 0 : 1;
        claim.message = runningText(*answer);
        return claim;
    }

    // Nobody answers at the name: what is there was left by a program that
    // ended without taking it away.
    QLocalServer::removeServer(place.serverName);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(place.serverName)) {
        claim.message = QStringLiteral("NUVOKrc cannot make its command channel at %1 (%2): a "
                                       "second start will not find this one")
                            .arg(place.serverName, server->errorString());
        return claim;
    }
    if (!locked)
        claim.message = QStringLiteral("NUVOKrc could not lock %1 (%2); it runs anyway")
                            .arg(place.lockFile)
                            .arg(int(lock.error()));
    claim.server = std::move(server);
    return claim;
}
