#include "session/controllertrust.h"

#include "net/socketcomponent.h"

nuvok::KeyOrigin ControllerTrust::originOf(const QHostAddress& sender, bool overTcp) const {
    const QString address = plainHostAddress(sender).toString();
    nuvok::KeyOrigin origin;
    origin.sender =
        (address + (overTcp ? QStringLiteral(" by TCP") : QStringLiteral(" by UDP"))).toStdString();
    if (handsets.letsNobodyIn())
        origin.noController = "ControllerHandsets names no usable address, so no handset may "
                              "send controller commands";
    else if (!handsets.admits(sender))
        origin.noController =
            (address + QStringLiteral(" is not in ControllerHandsets")).toStdString();
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

nuvok::KeyOrigin infraredOrigin(const QString& remote) {
    return {(QStringLiteral("IR remote ") + remote).toStdString(), {}, {}};
}
