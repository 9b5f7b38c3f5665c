#pragma once

#include "shell/settingsstore.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// A phone paired with this program. Its token itself is never kept: only a
// hash of it, so that the settings do not hold what opens the remote.
struct PhoneDevice {
    int number = 0;
    QString name;
    QDateTime paired;
    QDateTime lastSeen;
    QByteArray tokenHash;    // SHA-256, hexadecimal
    bool mayControl = false; // may switch the LEDs and open the door
};

// The phones paired with this program, and the one pairing code that is
// live at a time: random, used once, good for two minutes. Kept in the
// settings' group WebDevices, a few values per phone.
class PhoneBook : public QObject {
    Q_OBJECT

public:
    using Clock = std::function<QDateTime()>;
    static constexpr qint64 kSecretLifeMs = 2 * 60 * 1000;
    static constexpr qsizetype kMaxNameLength = 40;

    // `store` may be null (nothing is kept beyond the run).
    explicit PhoneBook(nuvok::SettingsStore* store, Clock clock = {}, QObject* parent = nullptr);

    // Reads the phones stored; entries that cannot be read are left out,
    // each named in the lines returned.
    QStringList load();

    // A new pairing code; the one before it is no longer good.
    QString newSecret();
    bool secretLive() const;

    struct Paired {
        int device = 0;
        QString token;
        QString notStored; // why the phone is paired for this run only
    };
    // Pairs a phone that shows the live code, which is used up by it.
    std::optional<Paired> pair(const QString& secret, const QString& name);
    // The phone whose token this is; nothing for a token no phone has.
    std::optional<int> deviceOf(const QString& token) const;

    // The phone was heard from: its last-seen time, stored at most once an hour.
    // These throw nuvok::Failure when the change cannot be stored; it holds
    // for the run all the same.
    void seen(int device);
    bool forget(int device);
    void rename(int device, const QString& name);
    void setMayControl(int device, bool may);

    const QList<PhoneDevice>& devices() const { return m_devices; }
    const PhoneDevice* device(int number) const;
    // Whether a phone may open the door now.
    bool anyMayControl() const;

    // A name as a phone may be called: one line, at most 40 characters.
    static QString cleanName(const QString& name);

signals:
    void changed();
    // A phone was forgotten: its connections go.
    void forgotten(int device);

private:
    PhoneDevice* find(int number);
    void save(const PhoneDevice& device, bool all = true);
    QDateTime now() const { return m_clock ? m_clock() : QDateTime::currentDateTimeUtc(); }

    nuvok::SettingsStore* m_store;
    Clock m_clock;
    QList<PhoneDevice> m_devices;
    QString m_secret;
    QDateTime m_secretUntil;
};
