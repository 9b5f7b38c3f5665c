#include "instance/instanceplace.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A socket path longer than this does not fit an AF_UNIX address.
constexpr qsizetype kMaxSocketPath = 100;

// The user's own folder in the temp folder, made for the user alone; a folder
// of that name that someone else owns, or that others may write, is no place.
QString privateTempFolder(QString* problem) {
    const QByteArray folder = QFile::encodeName(QDir::tempPath() + QStringLiteral("/nuvokrc-") +
                                                QString::number(getuid()));
    if (mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("cannot make %1: %2")
                       .arg(QFile::decodeName(folder), QString::fromLocal8Bit(strerror(errno)));
        return {};
    }
    struct stat status {};
    if (lstat(folder.constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != getuid() || (status.st_mode & 077) != 0) {
        *problem = QStringLiteral("%1 is not a folder of this user's alone")
                       .arg(QFile::decodeName(folder));
        return {};
    }
    return QFile::decodeName(folder);
}

} // namespace

QString instanceUser() {
    return QString::number(getuid());
}

InstancePlace instancePlaceFor(const QString& key) {
    InstancePlace place;
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir() || folder.size() > kMaxSocketPath - 30)
        folder = privateTempFolder(&place.problem);
    if (folder.isEmpty())
        return place;
    const QString name = folder + QStringLiteral("/nuvokrc-") + key;
    if (name.size() > kMaxSocketPath) {
        place.problem = QStringLiteral("%1 is too long for a socket").arg(name);
        return place;
    }
    place.serverName = name;
    place.lockFile = name + QStringLiteral(".lock");
    return place;
}
