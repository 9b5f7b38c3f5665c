#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class TrayArea;

// One bubble on the desktop: a status that replaces itself (the volume
// level, the mode), or a failure someone away from the screen should see.
struct Bubble {
    enum class Kind { Status, Failure };
    Kind kind = Kind::Status;
    QString summary;
    QString body;
    std::optional<int> value; // a level from 0 to 100, drawn as a bar where the desktop can
    int timeoutMs = 1500;
    // The bubble it takes the place of, as the service numbered it; 0 for a new one.
    quint32 replacesId = 0;
};

// The desktop's own way of showing bubbles. notify() never waits: exactly
// one of shown() or failed() follows each call, within a deadline of the
// service's own, also when the service hangs.
class NotificationService : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    virtual void notify(const Bubble& bubble) = 0;

signals:
    // The service's number for the bubble, for the next one of its kind to replace.
    void shown(quint32 id);
    // Why the bubble is not shown, for the log.
    void failed(const QString& reason);
};

// The desktop's service of this OS: the notification service on the session
// bus (Linux), the icon's message in the notification area (Windows).
std::unique_ptr<NotificationService> createNotificationService(std::shared_ptr<TrayArea> area);
