// The real program with a user's settings file: the controller reached by a
// name from the file, and handsets outside the allowed list kept out while a
// flood from them goes on.

#include "e2e/programrun.h"

#include <QRegularExpression>
#include <QTest>

using namespace nuvok::e2e;

class SettingsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void settingsFileChoosesControllerAndHandsets();
};

namespace {

const QString kHandset = QStringLiteral("127.0.0.2");
const QString kOutsider = QStringLiteral("127.0.0.3");

void sendFrom(const QString& from, quint16 port, const QByteArray& message, int count = 1) {
    QUdpSocket socket;
    QVERIFY2(socket.bind(QHostAddress(from), 0), qPrintable(socket.errorString()));
    for (int i = 0; i < count; ++i)
        socket.writeDatagram(message, QHostAddress::LocalHost, port);
}

} // namespace

void SettingsEndToEndTest::settingsFileChoosesControllerAndHandsets() {
    QTcpServer controller;
    QVERIFY(controller.listen(QHostAddress::LocalHost, 0));
    QByteArray commands;
    connect(&controller, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* socket = controller.nextPendingConnection())
            connect(socket, &QTcpSocket::readyRead, this,
                    [&, socket] { commands += socket->readAll(); });
    });
    const quint16 port = freePort();
    QVERIFY(port != 0);
    Program program(QStringLiteral("[Settings]\nportNum=%1\nControllerHost=localhost\n"
                                   "ControllerPort=%2\nVideoTitle=mpv\nAudioTitle=\n"
                                   "Handsets=%3, everyone\n")
                        .arg(port)
                        .arg(controller.serverPort())
                        .arg(kHandset));
    QVERIFY(program.start({}));
    QVERIFY2(waitUntil(
                 [&] {
                     return !program.lines()
                                 .filter(QRegularExpression(QStringLiteral(
                                     "^Setting Handsets: \"everyone\" is neither an address nor "
                                     "a network like .*; it is left out$")))
                                 .isEmpty();
                 },
                 kLineTimeoutMs),
             qPrintable(program.lines().join('\n')));

    // Key code 0 from the handset until the listener is there.
    const QString keyZero = remoteLine(u'\u2400');
    QVERIFY(waitUntil(
        [&] {
            sendFrom(kHandset, port, QByteArray("\0\xAC", 2));
            return waitUntil([&] { return program.lines().contains(keyZero); }, 500);
        },
        kLineTimeoutMs));

    // The simulator sends from 127.0.0.1, which is not allowed.
    QCOMPARE(
        handset({QStringLiteral("--port"), QString::number(port), QStringLiteral("5")}).exitCode,
        0);
    QVERIFY(
        program.waitForLine(QStringLiteral("Ignored a message from 127.0.0.1 (not in Handsets)")));

    // A flood from an outsider, then the handset's LED keys.
    sendFrom(kOutsider, port, QByteArray("5\xAC", 2), 100); // within a socket buffer
    for (const char* key : {"\xEE\xAF", "\x10\xAC", "3\xAC"})
        sendFrom(kHandset, port, QByteArray(key, 2));
    QVERIFY2(program.waitForLine(QStringLiteral("Mode:SetLeds")),
             qPrintable(program.lines().join('\n')));
    QVERIFY(waitUntil([&] { return commands == "setport 3.1 \r\n"; }, kLineTimeoutMs));
    QVERIFY(!program.lines().contains(QStringLiteral("Remote: 5")));
    // The flood is told once the second after the last line has passed,
    // every message of it counted.
    const QRegularExpression fromOutsider(
        QStringLiteral(R"(^Ignored (a message|(\d+) (more )?messages?) from 127\.0\.0\.3 )"
                       R"(\(not in Handsets\)$)"));
    const auto counted = [&] {
        int sum = 0;
        for (const QString& line : program.lines())
            if (const QRegularExpressionMatch match = fromOutsider.match(line); match.hasMatch())
                sum += match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
        return sum;
    };
    QVERIFY2(waitUntil([&] { return counted() == 100; }, kLineTimeoutMs),
             qPrintable(program.lines().join('\n')));
    QVERIFY(program.process().state() == QProcess::Running);
}

QTEST_MAIN(SettingsEndToEndTest)
#include "test_e2e_settings.moc"
