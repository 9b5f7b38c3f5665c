#include "net/handsetlist.h"

namespace {

// A mapped IPv4 network (::ffff:a.b.c.d/n) as the IPv4 network it is, since
// senders are matched as plain addresses.
QPair<QHostAddress, int> plainNetwork(const nuvok::ParsedAddress& parsed) {
    if (!nuvok::isMappedIpv4(parsed.address) || parsed.prefix < 96)
        return {hostAddress(parsed.address), parsed.prefix};
    return {hostAddress(nuvok::mappedIpv4(parsed.address)), parsed.prefix - 96};
}

} // namespace

QHostAddress plainHostAddress(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

nuvok::IpAddress coreAddress(const QHostAddress& address) {
    nuvok::IpAddress core;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 v4 = address.toIPv4Address();
        for (int i = 0; i < 4; ++i)
            core.bytes[i] = static_cast<std::uint8_t>(v4 >> (24 - 8 * i));
        return core;
    }
    core.family = nuvok::IpAddress::Family::IPv6;
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    for (int i = 0; i < 16; ++i)
        core.bytes[i] = v6[i];
    return nuvok::isMappedIpv4(core) ? nuvok::mappedIpv4(core) : core;
}

QHostAddress hostAddress(const nuvok::IpAddress& address) {
    const auto& b = address.bytes;
    if (address.family == nuvok::IpAddress::Family::IPv4)
        return QHostAddress(quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3]);
    return QHostAddress(b.data());
}

HandsetList HandsetList::parse(const QString& text, QStringList* malformed,
                               QStringList* ambiguous) {
    HandsetList list;
    if (text.trimmed().isEmpty())
        return list;
    list.m_restricted = true;
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue; // "a, b," or "a,,b": nothing was meant there
        const nuvok::ParsedAddress parsed = nuvok::parseAddress(entry.toStdString());
        if (parsed) {
            list.m_networks.append(plainNetwork(parsed));
            continue;
        }
        QStringList* named =
            parsed.problem == nuvok::AddressProblem::ZeroPadded ? ambiguous : malformed;
        if (named)
            named->append(entry);
    }
    return list;
}

bool HandsetList::admits(const QHostAddress& sender) const {
    if (!m_restricted)
        return true;
    const QHostAddress plain = plainHostAddress(sender);
    for (const auto& network : m_networks)
        if (plain.isInSubnet(network))
            return true;
    return false;
}
