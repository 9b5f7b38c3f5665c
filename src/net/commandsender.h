#pragma once

#include <QString>
#include <functional>

class SocketComponent;

// Delivers one text command to the LED and door controller: one TCP
// connection per command, carrying the text and CR LF, then closed.
class CommandSender {
public:
    struct Timing {
        double pollStepSeconds = 0.05; // pause between two looks at the connection
        int pollCount = 1001;          // looks before the attempt is given up
        double closePauseSeconds = 0.5;
    };

    CommandSender(SocketComponent& socket, std::function<void(const QString&)> log, Timing timing);

    // Two attempts at most; true when the command was handed to a connected socket.
    bool sendCMD(const QString& host, float port, const QString& strData);
    bool sendTCP(const QString& strIP, float iPort, const QString& strData);
    void closeSck2();

private:
    SocketComponent& m_socket;
    std::function<void(const QString&)> m_log;
    Timing m_timing;
};
