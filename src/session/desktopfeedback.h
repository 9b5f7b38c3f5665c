#pragma once

#include "remote/volumesteps.h"
#include "shell/notificationservice.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

// How often bubbles may follow one another, and how long they stay.
struct BubblePace {
    int statusGapMs = 100;
    int failureGapMs = 1000;
    int statusShownMs = 1500;
    int failureShownMs = 8000;
};

// What the user away from the screen should see of the run, as the desktop's
// bubbles: the volume level after a step and the mode chosen, in one bubble
// that replaces itself, and the failures that matter, in one of their own.
// It never waits for the service: one call is out at a time, so the number of
// the bubble to replace is always known, and what comes meanwhile is folded
// into the newest state of each bubble, at most every statusGapMs for the
// status and every failureGapMs for a failure. A service that is missing,
// refuses or hangs costs one log line, not one per key.
class DesktopFeedback : public QObject {
    Q_OBJECT

public:
    explicit DesktopFeedback(BubblePace pace = {}, QObject* parent = nullptr);

    // Where bubbles go; none: nowhere.
    void setService(std::shared_ptr<NotificationService> service);
    // Switched off, nothing more is sent, and what waits is dropped.
    void setEnabled(bool on);
    bool enabled() const { return m_enabled; }

    void volumeStepped(const nuvok::VolumeLevel& level);
    void modeChosen(const QString& text);
    void failure(const QString& text);

    // The texts the bubbles show.
    static QString volumeText(const nuvok::VolumeLevel& level);

signals:
    void logLine(const QString& line);

private:
    struct Channel {
        Bubble::Kind kind;
        int gapMs;
        std::optional<Bubble> waiting;
        quint32 id = 0; // the service's number of the last bubble shown
        QDeadlineTimer nextAllowed{0};
    };

    void offer(Channel& channel, Bubble bubble);
    void sendNext();
    void answered(std::optional<quint32> id, const QString& reason);

    BubblePace m_pace;
    std::shared_ptr<NotificationService> m_service;
    Channel m_status;
    Channel m_failure;
    Channel* m_inFlight = nullptr;
    QTimer m_wake;
    bool m_enabled = true;
    bool m_troubleSaid = false;
};
