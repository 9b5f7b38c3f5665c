// One program per user and settings file: later starts of the real program
// are handed to the one that runs, which answers for them.

#include "e2e/programrun.h"

#include <QTest>
#include <QUdpSocket>

#include <csignal>

using namespace nuvok::e2e;

class EndToEndInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void aLaterStartIsTakenOver_data();
    void aLaterStartIsTakenOver();
    void aCrashLeavesTheNameToTheNextStart();
    void startsThatNeverHandOver();
    void theStartUpBoxDoesNotHoldTheChannel();
};

void EndToEndInstanceTest::aLaterStartIsTakenOver_data() {
    QTest::addColumn<QStringList>(
        "arguments"); // FREE stands for a free port, TAKEN for a taken one
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("no arguments") << QStringList{} << 0 << QStringLiteral("its window is shown");
    QTest::newRow("with the session")
        << QStringList{QStringLiteral("-min")} << 0 << QStringLiteral("its window stays as it is");
    QTest::newRow("a free port, any letter case")
        << QStringList{QStringLiteral("-PORT"), QStringLiteral("FREE")} << 0
        << QStringLiteral("it listens on port FREE");
    QTest::newRow("a taken port") << QStringList{QStringLiteral("-port"), QStringLiteral("TAKEN")}
                                  << 1 << QStringLiteral("it cannot listen on port TAKEN");
    QTest::newRow("the settings") << QStringList{QStringLiteral("--settings")} << 0
                                  << QStringLiteral("its settings are shown");
}

void EndToEndInstanceTest::aLaterStartIsTakenOver() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    const quint16 port = freePort();
    Program running(QString{});
    QVERIFY(running.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(running, port));
    const quint16 other = freePort();
    QUdpSocket taken;
    QVERIFY(taken.bind(QHostAddress::Any, other));
    if (!arguments.contains(QStringLiteral("TAKEN")))
        taken.close();
    for (const QString& stand : {QStringLiteral("FREE"), QStringLiteral("TAKEN")}) {
        said.replace(stand, QString::number(other));
        arguments.replaceInStrings(stand, QString::number(other));
    }

    const LaterStart later = startAgain(running, arguments);
    QCOMPARE(later.exitCode, exitCode);
    const QString expected = QStringLiteral("NUVOKrc is already running (pid %1): %2")
                                 .arg(running.process().processId())
                                 .arg(said);
    QVERIFY2(later.said.contains(expected), qPrintable(later.said));
    // It ran nothing of its own.
    QVERIFY2(!later.said.contains(QLatin1String("Port:")), qPrintable(later.said));
    if (arguments.isEmpty() || exitCode != 0 || arguments.contains(QStringLiteral("-min")) ||
        arguments.contains(QStringLiteral("--settings"))) {
        // Where it was: the old port still takes keys.
        QVERIFY(waitForListener(running, port));
    } else {
        QVERIFY(waitForListener(running, other));
    }
    QCOMPARE(running.process().state(), QProcess::Running);
}

// A program killed outright leaves its name behind; the next start takes it
// over, and the start after that finds the new program.
void EndToEndInstanceTest::aCrashLeavesTheNameToTheNextStart() {
    const quint16 port = freePort();
    Program crashed(QString{});
    QVERIFY(crashed.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(crashed, port));
    crashed.process().kill();
    QVERIFY(crashed.process().waitForFinished(kLineTimeoutMs));

    Program next(QString{});
    next.shareSettingsWith(crashed);
    QVERIFY(next.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(waitForListener(next, port), qPrintable(next.everyLine().join(QLatin1Char('\n'))));
    const LaterStart later = startAgain(crashed, {}); // its settings are those of next
    QVERIFY2(later.exitCode == 0, qPrintable(later.said));
    QVERIFY2(later.said.contains(QStringLiteral("(pid %1)").arg(next.process().processId())),
             qPrintable(later.said));
}

// --help and --version answer themselves; --new-instance runs beside the
// program; other settings are another user's program.
void EndToEndInstanceTest::startsThatNeverHandOver() {
    const quint16 port = freePort();
    Program running(QString{});
    QVERIFY(running.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(running, port));
    for (const QString& option : {QStringLiteral("--help"), QStringLiteral("--version")}) {
        const LaterStart later = startAgain(running, {option});
        QCOMPARE(later.exitCode, 0);
        QVERIFY2(!later.said.contains(QLatin1String("already running")), qPrintable(later.said));
    }
    const qsizetype before = running.lines().size();

    Program beside(QString{});
    beside.shareSettingsWith(running);
    Program elsewhere(QString{});
    const quint16 besidePort = freePort();
    const quint16 elsewherePort = freePort();
    QVERIFY(beside.start(
        {QStringLiteral("--new-instance"), QStringLiteral("-port"), QString::number(besidePort)}));
    QVERIFY(elsewhere.start({QStringLiteral("-port"), QString::number(elsewherePort)}));
    QVERIFY(waitForListener(beside, besidePort));
    QVERIFY(waitForListener(elsewhere, elsewherePort));
    // The program that runs heard of none of them.
    QCOMPARE(running.lines().size(), before);
    // The one beside never took the name: a later start still finds the first.
    const LaterStart later = startAgain(running, {QStringLiteral("-min")});
    QVERIFY2(later.said.contains(QStringLiteral("(pid %1)").arg(running.process().processId())),
             qPrintable(later.said));
}

// Without a mixer, start-up waits in its message box; the channel answers
// meanwhile.
void EndToEndInstanceTest::theStartUpBoxDoesNotHoldTheChannel() {
    const quint16 port = freePort();
    Program running(QString{});
    running.withoutSoundDevices();
    QVERIFY(running.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY(waitForListener(running, port));
    const quint16 other = freePort();
    const LaterStart later = startAgain(running, {QStringLiteral("-port"), QString::number(other)});
    QCOMPARE(later.exitCode, 0);
    QVERIFY(waitForListener(running, other));
}

QTEST_GUILESS_MAIN(EndToEndInstanceTest)
#include "test_e2e_instance.moc"
