// The settings window of the real program on a private X server with a
// window manager, typed into through the X server as a user types: opened by
// a later start with --settings, a new port stored with Enter and used at
// once, the controller tested, the door kept for TCP, lircd chosen.

#include "e2e/programrun.h"
#include "support/controllerstandin.h"
#include "support/lircdaemon.h"
#include "support/missing.h"
#include "support/x11desktop.h"

#include <QFile>
#include <QTest>

using namespace nuvok::e2e;
using namespace nuvok::test;

namespace {

const QString kTitle = QStringLiteral("NUVOKrc Settings");

QByteArray fileText(const Program& program) {
    QFile file(program.settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool keys(const QStringList& names) {
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers")} + names);
}

bool typed(const QString& text) {
    return xdotool({QStringLiteral("type"), QStringLiteral("--clearmodifiers"),
                    QStringLiteral("--delay"), QStringLiteral("20"), text});
}

} // namespace

class SettingsWindowEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
        if (const QString missing = LircDaemon::missing(); !missing.isEmpty())
            NUVOK_SKIP_MISSING(missing);
    }

    void aUserChangesTheSettingsWhileTheProgramRuns() {
        ControllerStandIn first;
        const quint16 port = freePort();
        Program program(QStringLiteral("[Settings]\nportNum=%1\nNotifications=false\n"
                                       "ControllerHost=127.0.0.1\nControllerPort=%2\n")
                            .arg(port)
                            .arg(first.port()),
                        QStringLiteral("xcb"));
        QVERIFY(program.start({}));
        QVERIFY2(waitForListener(program, port), qPrintable(program.lines().join('\n')));

        // A new port, and Enter: stored, and listened on at once.
        QVERIFY(openByALaterStart(program));
        const quint16 newPort = freePort();
        QVERIFY(keys({QStringLiteral("ctrl+a")}) && typed(QString::number(newPort)) &&
                keys({QStringLiteral("Return")}));
        QVERIFY2(waitUntil(
                     [&] {
                         return fileText(program).contains("portNum=" +
                                                           QByteArray::number(newPort));
                     },
                     kLineTimeoutMs),
                 fileText(program).constData());
        QCOMPARE(handset({QStringLiteral("--port"), QString::number(newPort), QStringLiteral("5")})
                     .exitCode,
                 0);
        QVERIFY2(program.waitForLine(QStringLiteral("Remote: 5")),
                 qPrintable(program.lines().join('\n')));

        // The controller page: the door for TCP only, and another
        // controller, tested before it is stored.
        ControllerStandIn moved;
        QVERIFY(openByALaterStart(program));
        QVERIFY(keys({QStringLiteral("ctrl+Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                      QStringLiteral("Tab")}) &&
                typed(QStringLiteral("true")));
        QVERIFY(keys({QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"),
                      QStringLiteral("ctrl+a")}) &&
                typed(QString::number(moved.port())) && keys({QStringLiteral("alt+t")}));
        QVERIFY(waitUntil([&] { return moved.connections().size() == 1; }, kLineTimeoutMs));
        QVERIFY(!fileText(program).contains("DoorOverTcpOnly"));
        QVERIFY(keys({QStringLiteral("Return")}));
        QVERIFY2(program.waitForLine(QStringLiteral(
                     "The door warning no longer holds: a forged sender cannot open the door now")),
                 qPrintable(program.lines().join('\n')));
        QVERIFY(fileText(program).contains("DoorOverTcpOnly=true"));
        QVERIFY(fileText(program).contains("ControllerPort=" + QByteArray::number(moved.port())));
        QCOMPARE(handset({QStringLiteral("--port"), QString::number(newPort), QStringLiteral("9"),
                          QStringLiteral("9")})
                     .exitCode,
                 0);
        QVERIFY2(program.waitForLine(QStringLiteral(
                     "The door stays shut: DoorOverTcpOnly is on, and the key came by UDP from "
                     "127.0.0.1")),
                 qPrintable(program.lines().join('\n')));
        QVERIFY(moved.commands().isEmpty() && first.commands().isEmpty());

        // The infrared page: lircd's socket, and the input is ready.
        LircDaemon lircd;
        QVERIFY(lircd.start());
        QVERIFY(openByALaterStart(program));
        // The window opens on the page it was left on.
        QVERIFY(keys({QStringLiteral("ctrl+Tab"), QStringLiteral("ctrl+Tab")}) &&
                typed(lircd.socketPath()) && keys({QStringLiteral("Return")}));
        QVERIFY2(
            program.waitForLine(QStringLiteral("IR input ready: lircd at ") + lircd.socketPath()),
            qPrintable(program.lines().join('\n')));
        QVERIFY(program.process().state() == QProcess::Running);
    }

private:
    // `nuvokrc --settings` while the program runs: the running program
    // shows its settings window, which gets the keyboard.
    bool openByALaterStart(const Program& running) {
        Program later(QString{}, QStringLiteral("xcb"));
        later.shareSettingsWith(running);
        if (!later.start({QStringLiteral("--settings")}) ||
            !waitUntil([&] { return later.process().state() == QProcess::NotRunning; },
                       kLineTimeoutMs))
            return false;
        unsigned long window = 0;
        if (!waitUntil(
                [&] {
                    const auto windows = m_probe.managedWindowsTitled(kTitle);
                    window = windows.empty() ? 0 : windows.front();
                    return window != 0 && m_probe.view(window).viewable;
                },
                kDesktopTimeoutMs))
            return false;
        xdotool({QStringLiteral("windowactivate"), QString::number(window)});
        return m_probe.waitForActive(window);
    }

    DesktopProbe m_probe;
};

QTEST_MAIN(SettingsWindowEndToEndTest)
#include "test_e2e_settingswindow.moc"
