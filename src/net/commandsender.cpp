#include "net/commandsender.h"

#include "common/failure.h"
#include "common/numtext.h"
#include "net/eventpump.h"
#include "net/socketcomponent.h"

CommandSender::CommandSender(SocketComponent& socket, std::function<void(const QString&)> log,
                             Timing timing)
    : m_socket(socket), m_log(std::move(log)), m_timing(timing) {}

bool CommandSender::sendCMD(const QString& host, float port, const QString& strData) {
    if (sendTCP(host, port, strData))
        return true;
    return sendTCP(host, port, strData);
}

bool CommandSender::sendTCP(const QString& strIP, float iPort, const QString& strData) {
    try {
        closeSck2();
        m_socket.setProtocol(SocketComponent::sckTCPProtocol);
        m_socket.Connect(strIP, nuvok::roundHalfEvenToInt32(iPort));
        // A refused connection shows as state 9; the poll still runs its whole
        // window, as the controller may come up meanwhile only on a new attempt.
        for (int look = 0; look < m_timing.pollCount; ++look) {
            eventpump::processPendingEvents();
            eventpump::wait(m_timing.pollStepSeconds);
            if (m_socket.State() == SocketComponent::sckConnected)
                break;
        }
        if (m_socket.State() != SocketComponent::sckConnected) {
            closeSck2();
            return false;
        }
        m_socket.SendData(strData.toLatin1() + "\r\n");
        eventpump::processPendingEvents();
        closeSck2();
        return true;
    } catch (const nuvok::Failure& failure) {
        m_log(QString::fromStdString(failure.description()));
        closeSck2();
        return false;
    }
}

void CommandSender::closeSck2() {
    while (m_socket.State() > SocketComponent::sckClosed) {
        try {
            eventpump::processPendingEvents();
            m_socket.Close();
            eventpump::wait(m_timing.closePauseSeconds);
        } catch (...) {
            // closing never fails towards the caller
        }
    }
}
