// The infrared input against a real lircd of the test's own (held still with
// SIGSTOP) and the TCP stand-in: it is ready once lircd answers; a lircd that
// hangs after that is said once, and once more when it answers again; a
// daemon that never answers VERSION is ready with its first event; a missing
// lircd is said only when a setting names it. Short times; the program's are
// 2 s and 30 s.

#include "app/startsettings.h"
#include "net/lircinput.h"
#include "support/eventwait.h"
#include "support/freeport.h"
#include "support/lircdaemon.h"
#include "support/lirclines.h"
#include "support/lircstandin.h"
#include "support/memorysettings.h"
#include "support/missing.h"

#include <QTest>

using namespace nuvok::test;

namespace {

// Everything the input said and gave, in order.
struct Input {
    Input() {
        input.setTimes({100, 1000, 300});
        QObject::connect(&input, &LircInput::logLine, &input,
                         [this](const QString& line) { lines << line; });
        QObject::connect(&input, &LircInput::event, &input, [this](const nuvok::LircEvent& event) {
            lines << QString::fromStdString("event " + event.button);
        });
        QObject::connect(&input, &LircInput::ready, &input, [this] { lines << "(ready)"; });
    }
    bool waitFor(const QString& line) {
        return waitUntil([&] { return lines.contains(line); }, 10000);
    }
    LircInput input;
    QStringList lines;
};

} // namespace

class LircInputTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (const QString missing = LircDaemon::missing(); !missing.isEmpty())
            NUVOK_SKIP_MISSING(missing);
    }
    void aLircdThatHangsAfterItWasReadyIsSaidOnce_data();
    void aLircdThatHangsAfterItWasReadyIsSaidOnce();
    void aDaemonThatNeverAnswersVersionIsReadyWithItsFirstEvent();
    void aMissingLircdIsSaidOnlyWhenASettingNamesIt_data();
    void aMissingLircdIsSaidOnlyWhenASettingNamesIt();
};

void LircInputTest::aLircdThatHangsAfterItWasReadyIsSaidOnce_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("socket") << false;
    QTest::newRow("TCP") << true;
}

void LircInputTest::aLircdThatHangsAfterItWasReadyIsSaidOnce() {
    QFETCH(bool, tcp);
    LircDaemon daemon;
    QVERIFY2(tcp ? daemon.startWithTcp() : daemon.start(), qPrintable(daemon.log()));
    LircPlace place{tcp ? QString() : daemon.socketPath(), tcp ? "127.0.0.1" : QString(),
                    daemon.tcpPort()};
    Input in;
    in.input.start(place);
    const QString at = "IR input: lircd at " + place.text();
    QVERIFY2(in.waitFor("(ready)"), qPrintable(in.lines.join('\n')));
    QCOMPARE(in.lines.size(), 3);
    QCOMPARE(in.lines[0], "IR input ready: lircd at " + place.text());
    QVERIFY2(in.lines[1].startsWith("lircd at " + place.text() + " is version "),
             qPrintable(in.lines[1]));
    QTest::qWait(1000); // asked again and answered: nothing to say

    QVERIFY(daemon.pause());
    QVERIFY2(in.waitFor(at + " does not answer"), qPrintable(in.lines.join('\n')));
    QTest::qWait(1000);
    QVERIFY(daemon.resume());
    QVERIFY2(in.waitFor(at + " answers again"), qPrintable(in.lines.join('\n')));
    QVERIFY(daemon.press("KEY_OK", "r"));
    QVERIFY2(in.waitFor("event KEY_OK"), qPrintable(daemon.log()));
    QCOMPARE(in.lines.mid(3),
             (QStringList{at + " does not answer", at + " answers again", "event KEY_OK"}));
}

// Such as an old WinLIRC: asked once, ready with its first event, which
// comes after the line that says so.
void LircInputTest::aDaemonThatNeverAnswersVersionIsReadyWithItsFirstEvent() {
    LircStandIn standIn;
    QVERIFY2(standIn.ready(), qPrintable(standIn.problem()));
    standIn.setAnswersVersion(false);
    Input in;
    const LircPlace place{{}, "127.0.0.1", standIn.port()};
    in.input.start(place);
    const QString silent =
        "IR input: lircd at " + place.text() + " accepts connections but does not answer";
    QVERIFY2(in.waitFor(silent), qPrintable(in.lines.join('\n')));
    standIn.send(lircEventLine("KEY_UP", "w"));
    QVERIFY2(in.waitFor("event KEY_UP"), qPrintable(in.lines.join('\n')));
    QTest::qWait(1000);
    QCOMPARE(in.lines, (QStringList{silent, "IR input ready: lircd at " + place.text(), "(ready)",
                                    "event KEY_UP"}));
    QCOMPARE(standIn.versionsAsked(), 1);
}

void LircInputTest::aMissingLircdIsSaidOnlyWhenASettingNamesIt_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<bool>("socketFileLeft");
    QTest::addColumn<QString>("reason"); // %1: the place; empty: nothing said
    QTest::newRow("the build's socket, not there") << "" << false << "";
    QTest::newRow("the build's socket, left behind") << "" << true << "connection refused";
    QTest::newRow("LircSocket, not there") << "LircSocket" << false << "there is no socket at %1";
    QTest::newRow("LircHost, refused") << "LircHost" << false << "connection refused";
}

// Looked for all the same: once lircd is there, it is ready.
void LircInputTest::aMissingLircdIsSaidOnlyWhenASettingNamesIt() {
    QFETCH(QString, setting);
    QFETCH(bool, socketFileLeft);
    QFETCH(QString, reason);
    LircDaemon daemon;
    if (socketFileLeft) {
        QVERIFY2(daemon.start(), qPrintable(daemon.log()));
        daemon.stop(LircDaemon::SocketFile::Keep);
    }
    const quint16 port = quint16(freePort());
    MemorySettings store;
    if (setting == "LircSocket")
        store.values["LircSocket"] = daemon.socketPath().toStdString();
    if (setting == "LircHost")
        store.values = {{"LircHost", "127.0.0.1"}, {"LircPort", std::to_string(port)}};
    const LircPlace place =
        readStartSettings(store, "127.0.0.1", 50290, daemon.socketPath()).lirc.place;
    Input in;
    in.input.start(place);
    QTest::qWait(600); // several tries
    const QString said = QStringLiteral("IR remotes are not in use yet: no lircd answers at %1 "
                                        "(%2). Install and start lircd, or set LircSocket, or "
                                        "LircHost and LircPort; it is looked for every 0.1 s")
                             .arg(place.text(), QString(reason).replace("%1", place.text()));
    QCOMPARE(in.lines, reason.isEmpty() ? QStringList() : QStringList{said});
    QVERIFY2(setting == "LircHost" ? daemon.startWithTcp(port) : daemon.start(),
             qPrintable(daemon.log()));
    QVERIFY2(in.waitFor("IR input ready: lircd at " + place.text()),
             qPrintable(in.lines.join('\n')));
}

QTEST_MAIN(LircInputTest)
#include "test_lircinput.moc"
