#include "instance/peeruser.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

bool peerIsThisUser(qintptr descriptor, QString* who) {
    struct ucred peer {};
    socklen_t size = sizeof peer;
    if (getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        *who = QStringLiteral("a program the system does not name (%1)")
                   .arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (peer.uid == getuid())
        return true;
    *who = QStringLiteral("user %1").arg(peer.uid);
    return false;
}
