#include "instance/instanceplace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

namespace {

// A file that does not exist yet has no canonical path: its folder has, and
// a folder that does not exist either is taken as it is written.
QString canonicalPath(const QString& path) {
    const QFileInfo file(path);
    const QString canonical = file.canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    if (!folder.isEmpty())
        return folder + QLatin1Char('/') + file.fileName();
    return QDir::cleanPath(file.absoluteFilePath());
}

} // namespace

QString InstancePlace::key(const QString& user, const QString& settingsPath) {
    const QByteArray both = user.toUtf8() + '\n' + settingsPath.toUtf8();
    return QString::fromLatin1(
        QCryptographicHash::hash(both, QCryptographicHash::Sha256).toHex().left(16));
}

InstancePlace InstancePlace::forSettings(const QString& settingsPath) {
    // A registry key (Windows) is no file: it names itself.
    const QString path =
        settingsPath.startsWith(QLatin1Char('\\')) ? settingsPath : canonicalPath(settingsPath);
    return instancePlaceFor(key(instanceUser(), path));
}
