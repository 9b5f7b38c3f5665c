#pragma once

// What the handset simulator's ways of sending share: the receiver's address,
// the sending of the messages with their pauses, and UDP on a socket of the
// system's own where the platform has one.

#include "common/failure.h"
#include "handsetcommandline.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QString>

namespace nuvok {

// Long enough for a refusal of the receiving host to come back after the
// last datagram; a loopback refusal takes microseconds.
inline constexpr int kRefusalGraceMs = 150;

inline QHostAddress resolveHost(const HandsetOptions& options) {
    const QString host = QString::fromStdString(options.host);
    QHostAddress address;
    if (address.setAddress(host))
        return address;
    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        throw Failure("cannot find the host \"" + options.host +
                      "\": " + info.errorString().toStdString());
    return info.addresses().constFirst();
}

// Opens the link, sends every message with the pause between them, closes.
template <typename Link> void sendOver(Link& link, const HandsetOptions& options) {
    link.open();
    for (std::size_t i = 0; i < options.messages.size(); ++i) {
        if (i > 0)
            link.pause(options.delayMs);
        link.send(options.messages[i]);
    }
    link.close();
}

// Sends the messages by UDP on a connected socket of the system's own, which
// reports the receiving host's refusal whatever the toolkit's version does.
// Returns false where the platform has none; Qt's socket serves then.
// Throws Failure.
bool sendDatagramsNatively(const HandsetOptions& options);

} // namespace nuvok
