#pragma once

#include "common/ipaddress.h"

#include <QString>

#include <vector>

// What kind of value a setting holds, which decides how it is checked and
// how it is edited.
enum class SettingType {
    Port,          // a port number, 1 to 65535
    Protocol,      // TCP or UDP
    Host,          // a host name or an IPv4 or IPv6 address
    Title,         // a window title
    Switch,        // true or false
    AddressList,   // addresses and networks, separated by commas
    NameList,      // names, separated by commas
    Path,          // a file's path
    PlayerControl, // auto, keys or mpris
};

// One setting as it is stored: its key, its type, and the value the program
// uses while the key is absent or empty (empty where the build decides it).
struct SettingEntry {
    const char* key;
    SettingType type;
    const char* defaultText;
    const char* summary; // what it is for, in a few words
    const char* page;    // where the settings window shows it
};

// Every setting the program reads from its group, in the order they are shown.
// The infrared buttons' group is a map of its own (LircButtonMap).
const std::vector<SettingEntry>& settingList();
const SettingEntry* findSetting(const QString& key);

// Why a text that was typed or stored for a setting cannot be used, as the
// end of a sentence that starts with the setting and its value ("is not a
// port from 1 to 65535"); empty: it can. The empty text is always usable:
// it means the default.
QString settingProblem(const SettingEntry& setting, const QString& text);

// Why the socket cannot be pointed at host, or None: an IPv4 or IPv6 address
// read as parseAddress reads it (ZeroPadded for "127.000.000.010"), or a name
// made of letters, digits and hyphens as DNS and hosts files take it.
nuvok::AddressProblem hostProblem(const QString& host);

// What a setting's line says about an address with a zero-padded part.
QString zeroPaddedText();
// The port the text names, if it is a port from 1 to 65535 in decimal digits.
bool isUsablePort(const QString& text, int* port);
bool isUsableTitle(const QString& title);
