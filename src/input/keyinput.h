#pragma once

#include "input/controllertrust.h"
#include "remote/keyorigin.h"
#include "remote/remoteinterpreter.h"

#include <QObject>
#include <QString>

#include <exception>
#include <optional>

// One arrival from an input: a key code or a media button, the line that
// names it in the log, and who pressed it. An arrival that could not be read
// carries its failure instead; one that means nothing (a message of an
// unknown kind) carries neither.
struct KeyArrival {
    QString line; // logged before the key acts; empty: none
    std::optional<int> code;
    std::optional<nuvok::MediaKey> media;
    nuvok::KeyOrigin origin;
    std::exception_ptr failure;
};

// A way keys come in (the handset's listener, infrared remotes, a phone):
// started and stopped on its own, with who may make the controller act
// through it. The session takes each arrival in order and knows nothing of
// how the input gets it.
class KeyInput : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start() = 0;
    virtual void stop() = 0;
    // Where the input stands, in words for the view.
    virtual QString stateText() const = 0;
    // The line that warns while a sender that anyone can forge may open the
    // door through this input as it stands; empty: none can.
    virtual QString forgedSenderWarning() const { return {}; }
    // What the arrival did: the volume step it made, if any. Called by the
    // session right after it, before the next arrival.
    virtual void keyDone(const KeyArrival& arrival, std::optional<nuvok::MediaKey> volumeStep);

    // Who may make the controller act through this input.
    void setTrust(const ControllerTrust& trust);
    const ControllerTrust& trust() const { return m_trust; }

    // Stops for good: the end of the run. A later start does nothing.
    void end();
    bool ended() const { return m_ended; }

signals:
    void arrived(const KeyArrival& arrival);
    void logLine(const QString& line);
    // forgedSenderWarning() may say something else now.
    void reachChanged();
    // The trust was set: a warning is due again even if it stands.
    void trustChanged();

private:
    ControllerTrust m_trust;
    bool m_ended = false;
};
