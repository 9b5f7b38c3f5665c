#pragma once

#include "net/handsetlist.h"
#include "net/lircinput.h"
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

    // What a key from this sender may make the controller do; `name` is how
    // the refusals name it (the sender's address unless given).
    nuvok::KeyOrigin originOf(const QHostAddress& sender, bool overTcp,
                              const QString& name = {}) const;
    // What a key of an infrared remote may make the controller do: as the
    // program's own keys when lircd's socket is served by a trusted user,
    // nothing from any other local user, and as a TCP handset at the place's
    // address when lircd is reached over the network.
    nuvok::KeyOrigin originOfInfrared(const LircSource& source, const LircPlace& place,
                                      const QString& remote) const;
    // The line that tells which rights the infrared keys have.
    QString infraredRights(const LircSource& source, const LircPlace& place) const;
    // Whether a datagram can open the door: the listener takes datagrams
    // (protocol), and a sender let in (admitted) may drive output 1.
    bool datagramOpensDoor(int protocol, const HandsetList& admitted) const;
};
