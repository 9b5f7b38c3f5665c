#pragma once

#include "common/ipaddress.h"
#include "input/controllertrust.h"
#include "input/infraredinput.h"
#include "net/handsetlist.h"
#include "shell/settingsstore.h"

#include <QString>
#include <QStringList>

// The settings beyond port and protocol, read once at start-up: where the
// controller is, the players' window titles and who may send keys. Each one
// missing or empty keeps the program's own value; one that cannot be used
// keeps it too and leaves a line for the log.
struct StartSettings {
    QString controllerHost;
    float controllerPort = 0;
    QString videoTitle;
    QString audioTitle;
    HandsetList handsets;
    ControllerTrust controllerTrust; // who may make the controller act
    bool notifications = true;       // bubbles on the desktop
    LircSettings lirc;               // infrared remotes through lircd
    bool webRemote = false;          // the page for phones
    quint16 webRemotePort = 65531;
    QStringList problems; // log lines, one per value that was not used
};

StartSettings readStartSettings(const nuvok::SettingsStore& store, const QString& defaultHost,
                                float defaultPort, const QString& defaultLircSocket = {});
