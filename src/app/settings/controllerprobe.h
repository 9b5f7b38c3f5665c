#pragma once

#include "net/controllerlink.h"

#include <QObject>
#include <QString>

class QTcpSocket;
class QTimer;

// Whether the controller can be reached at a host and port: a connection is
// made and closed at once, nothing is sent, so no output switches. The
// answer comes as a signal within the deadline; nothing here waits.
class ControllerProbe : public QObject {
    Q_OBJECT

public:
    explicit ControllerProbe(QObject* parent = nullptr);
    // Starts a probe; one still on its way is given up for it.
    void probe(const ControllerLink::Destination& to,
               int deadlineMs = ControllerLink::kDefaultDeadlineMs);
    bool running() const;

signals:
    // "Reached …", or why not.
    void answered(const QString& text);

private:
    void finish(const QString& reason);
    void dropSocket();

    QTcpSocket* m_socket = nullptr; // while a probe runs
    QTimer* m_deadline;
    ControllerLink::Destination m_to;
    int m_deadlineMs = 0;
};
