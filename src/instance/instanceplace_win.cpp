#include "instance/instanceplace.h"

#include <QDir>

#include <windows.h>

namespace {

DWORD sessionId() {
    DWORD id = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &id))
        return 0;
    return id;
}

// A pipe name takes any character but the backslash; the name stays readable
// with letters, digits and a few signs.
QString pipeSafe(const QString& text) {
    QString safe;
    for (const QChar c : text)
        safe += c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('-')
                    ? c
                    : QLatin1Char('_');
    return safe.left(40);
}

QString userName() {
    wchar_t name[257] = {};
    DWORD size = 257;
    if (GetUserNameW(name, &size))
        return QString::fromWCharArray(name);
    return qEnvironmentVariable("USERNAME");
}

} // namespace

// Each logged-on session of a user runs its own program: the user and the
// session both count.
QString instanceUser() {
    return userName() + QStringLiteral("/session ") + QString::number(sessionId());
}

InstancePlace instancePlaceFor(const QString& key) {
    InstancePlace place;
    const QString name =
        QStringLiteral("nuvokrc-%1-s%2-%3").arg(pipeSafe(userName())).arg(sessionId()).arg(key);
    place.serverName = name;
    // The temp folder is the user's own.
    place.lockFile = QDir::tempPath() + QLatin1Char('/') + name + QStringLiteral(".lock");
    return place;
}
