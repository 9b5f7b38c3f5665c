#pragma once

#include "common/failure.h"
#include "remote/keymessage.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace bench {

// Key messages as the handset sends them, from a socket aimed at a loopback port.
class UdpSender {
public:
    explicit UdpSender(int port) : m_fd(socket(AF_INET, SOCK_DGRAM, 0)) {
        if (m_fd < 0)
            throw nuvok::Failure("Cannot open a UDP socket for the key messages");
        m_target.sin_family = AF_INET;
        m_target.sin_port = htons(static_cast<std::uint16_t>(port));
        m_target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpSender() { close(m_fd); }
    UdpSender(const UdpSender&) = delete;
    UdpSender& operator=(const UdpSender&) = delete;

    void send(unsigned char key, unsigned char kind = nuvok::kKindKey) const {
        const std::string message = nuvok::keyMessage(key, kind);
        sendto(m_fd, message.data(), message.size(), 0,
               reinterpret_cast<const sockaddr*>(&m_target), sizeof m_target);
    }

private:
    int m_fd;
    sockaddr_in m_target{};
};

} // namespace bench
