#include "shell/qtsettingsstore.h"

#include "common/failure.h"

#include <QStringList>

namespace {

const QString kSection = QStringLiteral("Settings");

} // namespace

QtSettingsStore::QtSettingsStore(Opener open) : m_open(std::move(open)) {}

std::string QtSettingsStore::read(const std::string& key) const {
    const std::unique_ptr<QSettings> settings = m_open();
    settings->beginGroup(kSection);
    const QVariant value = settings->value(QString::fromStdString(key));
    // An INI value written by hand with commas in it comes back as a list.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(',')).toStdString();
    return value.toString().toStdString();
}

std::vector<std::pair<std::string, std::string>>
QtSettingsStore::readSection(const std::string& section) const {
    const std::unique_ptr<QSettings> settings = m_open();
    settings->beginGroup(QString::fromStdString(section));
    std::vector<std::pair<std::string, std::string>> entries;
    for (const QString& key : settings->childKeys())
        entries.emplace_back(key.toStdString(), settings->value(key).toString().toStdString());
    return entries;
}

std::string QtSettingsStore::location() const {
    return m_open()->fileName().toStdString();
}

void QtSettingsStore::write(const std::string& key, const std::string& value) {
    const std::unique_ptr<QSettings> settings = m_open();
    settings->beginGroup(kSection);
    settings->setValue(QString::fromStdString(key), QString::fromStdString(value));
    settings->endGroup();
    settings->sync();
    if (settings->status() != QSettings::NoError)
        throw nuvok::Failure(
            "Could not save the setting " + key + " in " + settings->fileName().toStdString() +
            (settings->status() == QSettings::AccessError ? ": access denied"
                                                          : ": the settings file is damaged"));
}

void QtSettingsStore::store(const std::vector<Change>& changes) {
    const std::unique_ptr<QSettings> settings = m_open();
    const auto name = [](const Change& change) {
        return QString::fromStdString(change.section + "/" + change.key);
    };
    for (const Change& change : changes)
        if (change.value)
            settings->setValue(name(change), QString::fromStdString(*change.value));
        else
            settings->remove(name(change));
    settings->sync();
    const std::string where = settings->fileName().toStdString();
    if (settings->status() == QSettings::AccessError)
        throw nuvok::Failure("Could not save the settings in " + where +
                             ": access denied; nothing was changed");
    if (settings->status() != QSettings::NoError)
        throw nuvok::Failure("Could not save the settings in " + where +
                             ": the settings file is damaged; nothing was changed");
    // What another opening reads is what was stored.
    const std::unique_ptr<QSettings> check = m_open();
    QStringList missed;
    for (const Change& change : changes) {
        const QVariant value = check->value(name(change));
        const bool stored =
            change.value ? value.toString().toStdString() == *change.value : !value.isValid();
        if (!stored)
            missed << QString::fromStdString(change.key);
    }
    if (!missed.isEmpty())
        throw nuvok::Failure("Could not save " + missed.join(QStringLiteral(", ")).toStdString() +
                             " in " + where);
}
