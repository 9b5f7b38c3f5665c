#include "web/phonebook.h"

#include "common/failure.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>

namespace {

const std::string kSection = "WebDevices";
constexpr qint64 kSeenStoredEverySecs = 60 * 60;

QString randomHex(int bytes) {
    QByteArray data(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(data.data()), bytes / 4);
    return QString::fromLatin1(data.toHex());
}

QByteArray hashOf(const QString& token) {
    return QCryptographicHash::hash(token.toLatin1(), QCryptographicHash::Sha256).toHex();
}

// Compares without stopping at the first difference, so that the time an
// answer takes tells a guesser nothing.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

std::string keyOf(int number, const char* value) {
    return std::to_string(number) + "." + value;
}

QString fromStd(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

PhoneBook::PhoneBook(nuvok::SettingsStore* store, Clock clock, QObject* parent)
    : QObject(parent), m_store(store), m_clock(std::move(clock)) {}

QString PhoneBook::cleanName(const QString& name) {
    QString clean;
    for (const QChar c : name.simplified())
        if (c.isPrint())
            clean += c;
    clean = clean.left(kMaxNameLength).trimmed();
    return clean.isEmpty() ? QStringLiteral("phone") : clean;
}

QStringList PhoneBook::load() {
    m_devices.clear();
    if (!m_store)
        return {};
    QMap<int, PhoneDevice> read;
    QStringList problems;
    for (const auto& [key, value] : m_store->readSection(kSection)) {
        const QString name = fromStd(key);
        const qsizetype dot = name.indexOf(QLatin1Char('.'));
        bool numbered = false;
        const int number = name.left(dot).toInt(&numbered);
        if (dot < 0 || !numbered || number <= 0) {
            problems << QStringLiteral("WebDevices: %1 is not a phone's value, and is left out")
                            .arg(name);
            continue;
        }
        PhoneDevice& device = read[number];
        device.number = number;
        const QString what = name.mid(dot + 1);
        if (what == QLatin1String("Name"))
            device.name = cleanName(fromStd(value));
        else if (what == QLatin1String("Paired"))
            device.paired = QDateTime::fromString(fromStd(value), Qt::ISODate);
        else if (what == QLatin1String("LastSeen"))
            device.lastSeen = QDateTime::fromString(fromStd(value), Qt::ISODate);
        else if (what == QLatin1String("TokenHash"))
            device.tokenHash = QByteArray::fromStdString(value).toLower();
        else if (what == QLatin1String("MayControl"))
            device.mayControl = value == "true";
    }
    for (const PhoneDevice& device : read) {
        if (device.tokenHash.size() != 64) {
            problems << QStringLiteral("WebDevices: phone %1 has no usable token hash, and is "
                                       "left out: pair it again")
                            .arg(device.number);
            continue;
        }
        m_devices << device;
    }
    emit changed();
    return problems;
}

QString PhoneBook::newSecret() {
    m_secret = randomHex(16); // 128 bits
    m_secretUntil = now().addMSecs(kSecretLifeMs);
    return m_secret;
}

bool PhoneBook::secretLive() const {
    return !m_secret.isEmpty() && now() < m_secretUntil;
}

std::optional<PhoneBook::Paired> PhoneBook::pair(const QString& secret, const QString& name) {
    if (!secretLive() || !sameBytes(secret.toLatin1(), m_secret.toLatin1()))
        return std::nullopt;
    m_secret.clear();
    PhoneDevice device;
    for (const PhoneDevice& known : m_devices)
        device.number = std::max(device.number, known.number);
    ++device.number;
    device.name = cleanName(name);
    device.paired = device.lastSeen = now();
    Paired paired{device.number, randomHex(32), {}}; // 256 bits
    device.tokenHash = hashOf(paired.token);
    m_devices << device;
    emit changed();
    try {
        save(device);
    } catch (const std::exception& failure) {
        paired.notStored = QString::fromUtf8(failure.what()) +
                           QStringLiteral(": the phone is paired until the program ends");
    }
    return paired;
}

std::optional<int> PhoneBook::deviceOf(const QString& token) const {
    const QByteArray hash = hashOf(token);
    std::optional<int> found;
    for (const PhoneDevice& device : m_devices)
        if (sameBytes(device.tokenHash, hash))
            found = device.number;
    return found;
}

const PhoneDevice* PhoneBook::device(int number) const {
    const auto at = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const PhoneDevice& d) { return d.number == number; });
    return at == m_devices.end() ? nullptr : &*at;
}

PhoneDevice* PhoneBook::find(int number) {
    return const_cast<PhoneDevice*>(std::as_const(*this).device(number));
}

bool PhoneBook::anyMayControl() const {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const PhoneDevice& d) { return d.mayControl; });
}

void PhoneBook::seen(int number) {
    PhoneDevice* device = find(number);
    if (!device)
        return;
    const QDateTime at = now();
    const bool due =
        !device->lastSeen.isValid() || device->lastSeen.secsTo(at) >= kSeenStoredEverySecs;
    if (!due)
        return;
    device->lastSeen = at;
    save(*device, false);
}

bool PhoneBook::forget(int number) {
    const auto at = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&](const PhoneDevice& d) { return d.number == number; });
    if (at == m_devices.end())
        return false;
    m_devices.erase(at);
    emit forgotten(number);
    emit changed();
    if (m_store) {
        std::vector<nuvok::SettingsStore::Change> changes;
        for (const char* value : {"Name", "Paired", "LastSeen", "TokenHash", "MayControl"})
            changes.push_back({kSection, keyOf(number, value), std::nullopt});
        m_store->store(changes);
    }
    return true;
}

void PhoneBook::rename(int number, const QString& name) {
    if (PhoneDevice* device = find(number)) {
        device->name = cleanName(name);
        emit changed();
        save(*device);
    }
}

void PhoneBook::setMayControl(int number, bool may) {
    if (PhoneDevice* device = find(number)) {
        device->mayControl = may;
        emit changed();
        save(*device);
    }
}

void PhoneBook::save(const PhoneDevice& device, bool all) {
    if (!m_store)
        return;
    const auto at = [&](const char* value, const QString& text) {
        return nuvok::SettingsStore::Change{kSection, keyOf(device.number, value),
                                            text.toStdString()};
    };
    std::vector<nuvok::SettingsStore::Change> changes{
        at("LastSeen", device.lastSeen.toString(Qt::ISODate))};
    if (all) {
        changes.push_back(at("Name", device.name));
        changes.push_back(at("Paired", device.paired.toString(Qt::ISODate)));
        changes.push_back(at("TokenHash", QString::fromLatin1(device.tokenHash)));
        changes.push_back(
            at("MayControl", device.mayControl ? QStringLiteral("true") : QStringLiteral("false")));
    }
    m_store->store(changes);
}
