#include "input/controllertrust.h"

#include "net/socketcomponent.h"

nuvok::KeyOrigin ControllerTrust::originOf(const QHostAddress& sender, bool overTcp,
                                           const QString& name) const {
    const QString address = plainHostAddress(sender).toString();
    const QString transport = overTcp ? QStringLiteral("TCP") : QStringLiteral("UDP");
    nuvok::KeyOrigin origin;
    origin.sender = (address + QStringLiteral(" by ") + transport).toStdString();
    origin.identity = {nuvok::InputKind::Handset, (address + u'/' + transport).toStdString()};
    if (handsets.letsNobodyIn())
        origin.noController = "ControllerHandsets names no usable address, so no handset may "
                              "send controller commands";
    else if (!handsets.admits(sender))
        origin.noController =
            ((name.isEmpty() ? address : name) + QStringLiteral(" is not in ControllerHandsets"))
                .toStdString();
    if (doorOverTcpOnly && !overTcp)
        origin.noDoor =
            (QStringLiteral("DoorOverTcpOnly is on, and the key came by UDP from ") + address)
                .toStdString();
    return origin;
}

bool ControllerTrust::datagramOpensDoor(int protocol, const HandsetList& admitted) const {
    return protocol == SocketComponent::sckUDPProtocol && !doorOverTcpOnly &&
           !handsets.letsNobodyIn() && !admitted.letsNobodyIn();
}

namespace {

QString untrustedServer(const LircSource& source, const LircPlace& place) {
    return QStringLiteral("lircd's socket %1 is served by %2, not by root, this user or the owner "
                          "of %3")
        .arg(place.socketPath, QString::fromStdString(source.server.who),
             QLatin1String(nuvok::kSystemLircFolder));
}

} // namespace

nuvok::KeyOrigin ControllerTrust::originOfInfrared(const LircSource& source, const LircPlace& place,
                                                   const QString& remote) const {
    nuvok::KeyOrigin origin;
    if (source.network)
        origin = originOf(source.address, true, QStringLiteral("lircd at ") + place.text());
    else if (!source.server.trusted)
        origin.noController = untrustedServer(source, place).toStdString();
    // One remote is one sender for the door's "9 9", wherever its events come from.
    origin.sender = (QStringLiteral("IR remote ") + remote).toStdString();
    origin.identity = {nuvok::InputKind::Infrared, remote.toStdString()};
    return origin;
}

QString ControllerTrust::infraredRights(const LircSource& source, const LircPlace& place) const {
    if (!source.network)
        return source.server.trusted
                   ? QStringLiteral("IR keys may do everything: lircd's socket is served by %1")
                         .arg(QString::fromStdString(source.server.who))
                   : QStringLiteral("IR keys send no controller command: %1")
                         .arg(untrustedServer(source, place));
    const nuvok::KeyOrigin origin = originOfInfrared(source, place, {});
    const QString handset = QStringLiteral("IR keys count as a handset at %1 by TCP: ")
                                .arg(plainHostAddress(source.address).toString());
    return handset + (origin.noController.empty()
                          ? QStringLiteral("they may send controller commands")
                          : QStringLiteral("no controller command, as ") +
                                QString::fromStdString(origin.noController));
}
