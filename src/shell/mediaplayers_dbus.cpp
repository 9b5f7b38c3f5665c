// MPRIS players on the session bus, through Qt's D-Bus module. Every call
// blocks the window, so each has a short timeout: a player that hangs costs
// a moment, not the program.
#include "shell/mediaplayers.h"

#include "common/failure.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>

namespace nuvok {
namespace {

constexpr int kTimeoutMs = 500;
const QString kPrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");

bool timedOut(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}

std::string errorText(const QDBusMessage& reply) {
    if (timedOut(reply))
        return "it did not answer within " + std::to_string(kTimeoutMs) + " ms";
    return reply.errorMessage().toStdString();
}

class DBusMediaPlayers : public MediaPlayers {
public:
    std::vector<MediaPlayer> list() override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            throw Failure("there is no session bus (" + bus.lastError().message().toStdString() +
                          ")");
        const QDBusMessage reply =
            bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("/org/freedesktop/DBus"),
                                                    QStringLiteral("org.freedesktop.DBus"),
                                                    QStringLiteral("ListNames")),
                     QDBus::Block, kTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            throw Failure("the session bus did not list its names: " + errorText(reply));
        QStringList names = reply.arguments().value(0).toStringList();
        names.sort();
        std::vector<MediaPlayer> players;
        for (const QString& name : names) {
            if (!name.startsWith(kPrefix))
                continue;
            MediaPlayer player{name.toStdString(), {}, false};
            // One that does not answer costs one timeout, not two.
            bool answered = false;
            player.identity =
                property(bus, name, kRoot, QStringLiteral("Identity"), answered).toStdString();
            if (answered)
                player.playing = property(bus, name, kPlayer, QStringLiteral("PlaybackStatus"),
                                          answered) == QLatin1String("Playing");
            players.push_back(std::move(player));
        }
        return players;
    }

    void call(const std::string& busName, PlayerCall call,
              std::int64_t offsetMicroseconds) override {
        const QString name = QString::fromStdString(busName);
        QDBusMessage message = QDBusMessage::createMethodCall(
            name, kPath, kPlayer, QString::fromStdString(callName(call)));
        if (call == PlayerCall::Seek)
            message << QVariant::fromValue(static_cast<qlonglong>(offsetMicroseconds));
        const QDBusMessage reply =
            QDBusConnection::sessionBus().call(message, QDBus::Block, kTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage)
            throw Failure("The MPRIS player " + busName + " did not take " + callName(call) + ": " +
                          errorText(reply));
    }

private:
    static QString property(QDBusConnection& bus, const QString& name, const QString& interface,
                            const QString& property, bool& answered) {
        QDBusMessage ask = QDBusMessage::createMethodCall(
            name, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        ask << interface << property;
        const QDBusMessage reply = bus.call(ask, QDBus::Block, kTimeoutMs);
        answered = !timedOut(reply);
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant().toString();
    }
};

} // namespace

std::unique_ptr<MediaPlayers> createMediaPlayers() {
    return std::make_unique<DBusMediaPlayers>();
}

} // namespace nuvok
