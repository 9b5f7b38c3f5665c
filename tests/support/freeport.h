#pragma once

#include <QTcpServer>
#include <QUdpSocket>

namespace nuvok::test {

// A port that is free for TCP and UDP on every address at this moment.
inline quint16 freePort() {
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer tcp;
        if (!tcp.listen(QHostAddress::Any, 0))
            continue;
        QUdpSocket udp;
        if (udp.bind(QHostAddress::Any, tcp.serverPort()))
            return tcp.serverPort();
    }
    return 0;
}

} // namespace nuvok::test
