#pragma once

#include <QString>

// Where the running program of this user and settings file is reached: a
// local server name (a socket path on Linux, a pipe name on Windows) and the
// lock file that keeps two starts at the same moment apart.
struct InstancePlace {
    QString serverName;
    QString lockFile;
    QString problem; // why there is no safe place (then both are empty)

    // The place for the settings file at settingsPath (made canonical here)
    // and the user who runs this program.
    static InstancePlace forSettings(const QString& settingsPath);
    // A short, fixed-length name for a user and a settings file.
    static QString key(const QString& user, const QString& settingsPath);
};

// Per operating system: who runs this program, as the place tells users
// apart, and the place for a key.
QString instanceUser();
InstancePlace instancePlaceFor(const QString& key);
