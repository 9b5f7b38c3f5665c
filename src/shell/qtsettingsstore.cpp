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
