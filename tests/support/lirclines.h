#pragma once

// The lines an infrared daemon sends its clients, as lircd (Linux) and
// WinLIRC (Windows) write them:
//   an event       "<code: 16 hex digits> <repeat: hex, 00 for the press> <button> <remote>\n"
//   a reply block  "BEGIN\n<command>\n[SUCCESS|ERROR\n][DATA\n<n>\n<line>...]END\n",
//                  also sent to every client unasked: "BEGIN\nSIGHUP\nEND\n" after a reload;
//                  to "VERSION\n" "BEGIN\nVERSION\nSUCCESS\nDATA\n1\n0.10.2\nEND\n".

#include <QByteArray>
#include <QList>
#include <QString>

namespace nuvok::test {

// The code a button sends: the same for every press of it, different for
// different buttons (FNV-1a of the name), as a real remote's codes are. It
// fits in 32 bits: lircd 0.10 keeps only those of a simulated button's code
// (the upper eight digits of its line are then 0).
inline quint32 lircCode(const QString& button) {
    quint32 hash = 2166136261U;
    for (const char byte : button.toUtf8()) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 16777619U;
    }
    return hash;
}

// The event line of a press (repeat 0) or of its repeats (1, 2, ...).
inline QByteArray lircEventLine(const QString& button, const QString& remote, int repeat = 0) {
    return QStringLiteral("%1 %2 %3 %4\n")
        .arg(lircCode(button), 16, 16, QLatin1Char('0'))
        .arg(repeat, 2, 16, QLatin1Char('0'))
        .arg(button, remote)
        .toUtf8();
}

// The block every client gets when the daemon has read its configuration again.
inline QByteArray lircSighupBlock() {
    return QByteArrayLiteral("BEGIN\nSIGHUP\nEND\n");
}

// The answer to a command, with its data lines.
inline QByteArray lircReplyBlock(const QByteArray& command, bool success = true,
                                 const QList<QByteArray>& data = {}) {
    QByteArray block = "BEGIN\n" + command + '\n' + (success ? "SUCCESS\n" : "ERROR\n");
    if (!data.isEmpty()) {
        block += "DATA\n" + QByteArray::number(data.size()) + '\n';
        for (const QByteArray& line : data)
            block += line + '\n';
    }
    return block + "END\n";
}

// What lircd and WinLIRC answer to VERSION.
inline constexpr char kLircVersion[] = "0.10.2";
inline QByteArray lircVersionReply() {
    return lircReplyBlock("VERSION", true, {kLircVersion});
}

} // namespace nuvok::test
