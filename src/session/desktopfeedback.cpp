#include "session/desktopfeedback.h"

#include <algorithm>

DesktopFeedback::DesktopFeedback(BubblePace pace, QObject* parent)
    : QObject(parent), m_pace(pace), m_status{Bubble::Kind::Status, pace.statusGapMs, {}},
      m_failure{Bubble::Kind::Failure, pace.failureGapMs, {}} {
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &DesktopFeedback::sendNext);
}

void DesktopFeedback::setService(std::shared_ptr<NotificationService> service) {
    if (m_service)
        m_service->disconnect(this);
    m_service = std::move(service);
    m_inFlight = nullptr;
    if (!m_service)
        return;
    connect(m_service.get(), &NotificationService::shown, this,
            [this](quint32 id) { answered(id, {}); });
    connect(m_service.get(), &NotificationService::failed, this,
            [this](const QString& reason) { answered(std::nullopt, reason); });
}

void DesktopFeedback::setEnabled(bool on) {
    m_enabled = on;
    if (on)
        return;
    m_status.waiting.reset();
    m_failure.waiting.reset();
    m_wake.stop();
}

QString DesktopFeedback::volumeText(const nuvok::VolumeLevel& level) {
    QString text = QStringLiteral("Volume %1 %").arg(level.percent);
    if (level.atMaximum)
        text += QStringLiteral(" (maximum)");
    else if (level.atMinimum)
        text += QStringLiteral(" (minimum)");
    return text;
}

void DesktopFeedback::volumeStepped(const nuvok::VolumeLevel& level) {
    Bubble bubble;
    bubble.summary = volumeText(level);
    bubble.value = std::clamp(level.percent, 0, 100);
    offer(m_status, bubble);
}

void DesktopFeedback::modeChosen(const QString& text) {
    Bubble bubble;
    bubble.summary = text;
    offer(m_status, bubble);
}

void DesktopFeedback::failure(const QString& text) {
    Bubble bubble;
    bubble.summary = QStringLiteral("NUVOKrc");
    bubble.body = text;
    offer(m_failure, bubble);
}

void DesktopFeedback::offer(Channel& channel, Bubble bubble) {
    if (!m_enabled || !m_service)
        return;
    bubble.kind = channel.kind;
    bubble.timeoutMs =
        channel.kind == Bubble::Kind::Status ? m_pace.statusShownMs : m_pace.failureShownMs;
    channel.waiting = std::move(bubble);
    sendNext();
}

// A failure goes first: it is rarer and says more.
void DesktopFeedback::sendNext() {
    if (m_inFlight || !m_service)
        return;
    qint64 wait = -1;
    for (Channel* channel : {&m_failure, &m_status}) {
        if (!channel->waiting)
            continue;
        const qint64 left = channel->nextAllowed.remainingTime();
        if (left > 0) {
            wait = wait < 0 ? left : std::min(wait, left);
            continue;
        }
        Bubble bubble = *std::exchange(channel->waiting, std::nullopt);
        bubble.replacesId = channel->id;
        channel->nextAllowed.setRemainingTime(channel->gapMs);
        m_inFlight = channel;
        m_wake.stop();
        m_service->notify(bubble);
        return;
    }
    if (wait >= 0 && (!m_wake.isActive() || wait < m_wake.remainingTime()))
        m_wake.start(static_cast<int>(wait));
}

void DesktopFeedback::answered(std::optional<quint32> id, const QString& reason) {
    Channel* channel = std::exchange(m_inFlight, nullptr);
    if (id) {
        if (channel)
            channel->id = *id;
        if (std::exchange(m_troubleSaid, false))
            emit logLine(QStringLiteral("Notifications are shown again"));
    } else {
        // A service that failed is asked again no sooner than a failure may show.
        for (Channel* each : {&m_status, &m_failure})
            if (each->nextAllowed.remainingTime() < m_pace.failureGapMs)
                each->nextAllowed.setRemainingTime(m_pace.failureGapMs);
        if (!std::exchange(m_troubleSaid, true))
            emit logLine(QStringLiteral("Notifications are not shown: %1").arg(reason));
    }
    sendNext();
}
