#pragma once

#include "net/handsetlist.h"
#include "remote/remoteinterpreter.h"

#include <QHostAddress>
#include <QString>

// Who may make the controller act. Its output 1 opens the door, so the door
// may also ask for TCP: the sender of a datagram is easily forged, while a
// TCP peer's handshake needs the answer, which a host off the path never sees.
struct ControllerTrust {
    // Whose keys may send controller commands; without a list, every
    // handset that is let in.
    HandsetList handsets;
    // Output 1 is switched on only for keys that came over TCP.
    bool doorOverTcpOnly = false;

    // What a key from this sender may make the controller do.
    nuvok::KeyOrigin originOf(const QHostAddress& sender, bool overTcp) const;
    // Whether a datagram can open the door: the listener takes datagrams
    // (protocol), and a sender let in (admitted) may drive output 1.
    bool datagramOpensDoor(int protocol, const HandsetList& admitted) const;
};

// Infrared keys come from a receiver in the room: they may do everything.
nuvok::KeyOrigin infraredOrigin(const QString& remote);
