#pragma once

#include "common/ipaddress.h"

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The handsets allowed to send keys: single addresses and networks in CIDR
// form, IPv4 and IPv6, from a comma-separated text such as
// "192.168.1.30, 192.168.1.64/28, fd00::/8". An empty text lets everybody in.
class HandsetList {
public:
    // Everybody in.
    HandsetList() = default;
    // Entries that are neither an address nor a network are left out and
    // named in malformed, as written; so are those with a zero-padded part
    // ("127.000.000.010"), named in ambiguous: programs differ in the
    // address they read from one.
    static HandsetList parse(const QString& text, QStringList* malformed = nullptr,
                             QStringList* ambiguous = nullptr);

    // Whether the list limits who may send at all (a text was given).
    bool restricted() const { return m_restricted; }
    // The entries that were understood.
    qsizetype size() const { return m_networks.size(); }
    // A text was given, but no entry of it was understood.
    bool letsNobodyIn() const { return m_restricted && m_networks.isEmpty(); }
    bool admits(const QHostAddress& sender) const;

private:
    bool m_restricted = false;
    QList<QPair<QHostAddress, int>> m_networks;
};

// An IPv4 address the system handed over as IPv6 (::ffff:a.b.c.d) as the
// IPv4 address it is; any other address unchanged.
QHostAddress plainHostAddress(const QHostAddress& address);

// The address as the core keeps it (a mapped IPv4 one as IPv4, without a
// scope), and back.
nuvok::IpAddress coreAddress(const QHostAddress& address);
QHostAddress hostAddress(const nuvok::IpAddress& address);
