#pragma once

// The desktop's notification service as a stand-in on a test's bus: it
// records every bubble asked for, and answers, refuses or never answers.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace nuvok::test {

class NotificationStandIn : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    enum class Answer { Normally, Refuse, Hang };
    struct Call {
        QString appName;
        uint replacesId = 0;
        QString summary;
        QString body;
        QVariantMap hints;
        int timeoutMs = 0;
        uint id = 0; // the number answered; 0 when none was
    };

    explicit NotificationStandIn(QDBusConnection bus);
    ~NotificationStandIn() override;
    // Whether the name and the object are on the bus.
    bool registered() const { return m_registered; }
    void setAnswer(Answer answer) { m_answer = answer; }
    const QList<Call>& calls() const { return m_calls; }

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    QStringList GetCapabilities() const;
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) const;
    void CloseNotification(uint id);

private:
    QDBusConnection m_bus;
    bool m_registered = false;
    Answer m_answer = Answer::Normally;
    QList<Call> m_calls;
    QList<QDBusMessage> m_unanswered; // held, never answered, while hanging
    uint m_lastId = 0;
};

} // namespace nuvok::test
