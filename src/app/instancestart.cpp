#include "app/instancestart.h"

#include "app/f_nuvokrc.h"
#include "instance/peeruser.h"

#include <QCoreApplication>
#include <QLocalServer>

namespace {

const QString kStart = QStringLiteral("start");

} // namespace

ChannelMessage LaterStartRequest::of(const CommandLine& commandLine,
                                     const QString& activationToken) {
    ChannelMessage request;
    request.word = kStart;
    request.with(QStringLiteral("args"), QString::fromStdString(commandLine.argumentText));
    if (!activationToken.isEmpty())
        request.with(QStringLiteral("activation-token"), activationToken);
    if (commandLine.showSettings)
        request.with(QStringLiteral("settings"), QStringLiteral("yes"));
    return request;
}

QString startActivationToken() {
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
}

std::unique_ptr<CommandChannel> serveLaterStarts(std::unique_ptr<QLocalServer> server,
                                                 F_NUVOKrc& window) {
    auto channel = std::make_unique<CommandChannel>(std::move(server), peerIsThisUser,
                                                    CommandChannel::Limits{});
    CommandChannel* served = channel.get();
    channel->handle(kStart, [&window](const ChannelMessage& request) {
        const F_NUVOKrc::LaterStart done =
            window.takeOverStart(request.field(QStringLiteral("args")).toStdString(),
                                 request.field(QStringLiteral("activation-token")),
                                 request.field(QStringLiteral("settings")) == QLatin1String("yes"));
        ChannelMessage answer = CommandChannel::answer(
            done.done ? QStringLiteral("ok") : QStringLiteral("failed"), done.text);
        return answer.with(QStringLiteral("pid"),
                           QString::number(QCoreApplication::applicationPid()));
    });
    QObject::connect(served, &CommandChannel::logLine, &window, &F_NUVOKrc::logData);
    QObject::connect(&window, &F_NUVOKrc::closing, served, [served] { served->close(); });
    return channel;
}
