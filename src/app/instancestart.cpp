#include "app/instancestart.h"

#include "app/f_nuvokrc.h"
#include "instance/peeruser.h"
#include "instance/startclaim.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <cstdio>

namespace {

const QString kStart = QStringLiteral("start");
const QString kPair = QStringLiteral("pair");

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

int printPairingLinks(const InstancePlace& place) {
    ChannelMessage request;
    request.word = kPair;
    QString problem;
    const std::optional<ChannelMessage> answer = StartClaim::ask(place, request, &problem);
    if (!answer) {
        std::fprintf(stderr, "%s; start it and turn its web remote on, then ask again\n",
                     problem.toLocal8Bit().constData());
        return 1;
    }
    if (answer->word != QLatin1String("ok")) {
        std::fprintf(stderr, "NUVOKrc cannot pair a phone: %s\n",
                     answer->field(QStringLiteral("text")).toLocal8Bit().constData());
        return 1;
    }
    for (const auto& [name, value] : answer->fields)
        if (name == QLatin1String("link"))
            std::printf("%s\n", value.toLocal8Bit().constData());
    std::fprintf(stderr, "Open one of these on the phone within 2 minutes\n");
    return 0;
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
    channel->handle(kPair, [&window](const ChannelMessage&) {
        const QStringList links = window.pairingLinks();
        if (links.isEmpty())
            return CommandChannel::answer(QStringLiteral("failed"),
                                          QStringLiteral("its web remote is off: turn it on "
                                                         "in Settings, on the Phone page"));
        ChannelMessage answer = CommandChannel::answer(
            QStringLiteral("ok"), QStringLiteral("a pairing code is live for 2 minutes"));
        for (const QString& link : links)
            answer.with(QStringLiteral("link"), link);
        return answer;
    });
    QObject::connect(served, &CommandChannel::logLine, &window, &F_NUVOKrc::logData);
    QObject::connect(&window, &F_NUVOKrc::closing, served, [served] { served->close(); });
    return channel;
}
