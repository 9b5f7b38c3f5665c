#include "net/handsetlist.h"

#include <QRegularExpression>

namespace {

bool looksLikeFullAddress(const QString& address) {
    if (address.contains(QLatin1Char(':')))
        return !address.contains(QLatin1Char('%')); // no interface names in a list
    return isDottedQuad(address);
}

QPair<QHostAddress, int> parseEntry(const QString& entry) {
    const qsizetype slash = entry.indexOf(QLatin1Char('/'));
    const QString address = slash < 0 ? entry : entry.left(slash);
    if (!looksLikeFullAddress(address))
        return {QHostAddress(), -1};
    if (slash < 0) {
        const QHostAddress single = plainHostAddress(QHostAddress(address));
        if (single.isNull())
            return {QHostAddress(), -1};
        return {single, single.protocol() == QAbstractSocket::IPv4Protocol ? 32 : 128};
    }
    static const QRegularExpression prefix(QStringLiteral(R"(^\d{1,3}$)"));
    if (!prefix.match(entry.mid(slash + 1)).hasMatch())
        return {QHostAddress(), -1};
    return QHostAddress::parseSubnet(entry);
}

} // namespace

QHostAddress plainHostAddress(const QHostAddress& address) {
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4) : address;
}

HandsetList HandsetList::parse(const QString& text, QStringList* malformed) {
    HandsetList list;
    if (text.trimmed().isEmpty())
        return list;
    list.m_restricted = true;
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty())
            continue; // "a, b," or "a,,b": nothing was meant there
        const QPair<QHostAddress, int> network = parseEntry(entry);
        if (network.first.isNull() || network.second < 0) {
            if (malformed)
                malformed->append(entry);
            continue;
        }
        list.m_networks.append(network);
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

bool isDottedQuad(const QString& text) {
    static const QRegularExpression ipv4(QStringLiteral(R"(^\d{1,3}(\.\d{1,3}){3}$)"));
    return ipv4.match(text).hasMatch();
}
