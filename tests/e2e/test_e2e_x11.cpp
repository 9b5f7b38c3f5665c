// The real program on a real desktop (a private X server with icewm, see
// scripts/private-desktop.sh): the handset simulator selects a player
// mode, the program brings the player window forward and types into it, and
// the window manager's close request ends the program.

#include "e2e/programrun.h"
#include "support/x11desktop.h"

#include <QTest>
#include <memory>

using namespace nuvok::e2e;
using nuvok::test::DesktopProbe;
using nuvok::test::KeyWindow;

namespace {

const QString kProgramTitle = QStringLiteral("NUVOK Remote Control");
// Message boxes carry the program's name.
const QString kBoxTitle = QStringLiteral("NUVOKrc");

} // namespace

class EndToEndX11Test : public QObject {
    Q_OBJECT

private slots:
    void handsetKeysReachThePlayersAndClosingEndsTheProgram();
    void aWindowThatNeverTakesTheFocusHoldsUpOnlyThePlayers();

private:
    // Once the desktop and the stand-in windows are up, starts the program on
    // a free port, which it sets; the no-mixer box that always shows is
    // closed by the user.
    static void startWhenReady(Program& program, DesktopProbe& probe,
                               std::initializer_list<KeyWindow*> windows, quint16& port);
};

void EndToEndX11Test::startWhenReady(Program& program, DesktopProbe& probe,
                                     std::initializer_list<KeyWindow*> windows, quint16& port) {
    QVERIFY2(probe.connected(), "run this test through scripts/private-desktop.sh");
    for (KeyWindow* window : windows)
        QVERIFY2(window->waitReady(), qPrintable(window->errorOutput()));
    port = freePort();
    QVERIFY(port != 0);
    program.withoutSoundDevices();
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLine(QStringLiteral("Port: %1").arg(port)),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    std::vector<unsigned long> boxes;
    QVERIFY2(waitUntil(
                 [&] {
                     boxes = probe.managedWindowsTitled(kBoxTitle);
                     return !boxes.empty();
                 },
                 kLineTimeoutMs),
             "no no-mixer box");
    for (unsigned long box : boxes)
        probe.close(box);
    QVERIFY(
        waitUntil([&] { return probe.managedWindowsTitled(kBoxTitle).empty(); }, kLineTimeoutMs));
    QVERIFY(waitForListener(program, port));
}

void EndToEndX11Test::handsetKeysReachThePlayersAndClosingEndsTheProgram() {
    DesktopProbe probe;
    KeyWindow vlc(QStringLiteral("song.mp3 - VLC media player"));
    KeyWindow winamp(QStringLiteral("1. Artist - Title - Winamp"));
    KeyWindow other(QStringLiteral("Notes"));
    quint16 port = 0;
    // Every line of a key is compared: no bubbles, whose missing service
    // would say so in a line of its own.
    Program program(QStringLiteral("[Settings]\nNotifications=false\n"), QStringLiteral("xcb"));
    startWhenReady(program, probe, {&vlc, &winamp, &other}, port);
    if (QTest::currentTestFailed())
        return;
    const QString keyZero = remoteLine(u'\u2400'); // the probe key's line

    struct Step {
        QStringList keys;
        QStringList lines;
        KeyWindow* active; // the window in front afterwards; none: not checked
        QStringList vlcKeys;
        QStringList winampKeys;
    };
    const QStringList vlcKeys{"space", "Right", "Left", "Return"};
    const Step steps[] = {
        {{"menu"}, {"Remote: \u00ee", "bMenu 1"}, nullptr, {}, {}},
        {{"right"}, {remoteLine(u'\u2411'), "mode_Video"}, &vlc, {}, {}},
        {{"5"}, {"Remote: 5", "[Space] Pause"}, &vlc, {"space"}, {}},
        // Arrows and Select go to the player in front.
        {{"right"}, {remoteLine(u'\u2411'), "{right}"}, &vlc, {"space", "Right"}, {}},
        {{"left"}, {remoteLine(u'\u2410'), "{left}"}, &vlc, {"space", "Right", "Left"}, {}},
        {{"select"},
         {remoteLine(u'\u2404'), "Select->Enter"},
         &vlc,
         {"space", "Right", "Left", "Return"},
         {}},
        {{"menu"}, {"Remote: \u00ee", "bMenu 1"}, nullptr, vlcKeys, {}},
        {{"up"}, {remoteLine(u'\u240e'), "mode_Audio", "bMenu"}, &winamp, vlcKeys, {}},
        {{"5"}, {"Remote: 5", "[C] Pause"}, &winamp, vlcKeys, {"c"}},
        {{"4"}, {"Remote: 4", "[Z] Last Song"}, &winamp, vlcKeys, {"c", "z"}},
        {{"6"}, {"Remote: 6", "[B]Next Song"}, &winamp, vlcKeys, {"c", "z", "b"}},
        {{"right"}, {remoteLine(u'\u2411'), "{right}"}, &winamp, vlcKeys, {"c", "z", "b", "Right"}},
    };
    qsizetype next = program.lines().lastIndexOf(keyZero) + 1;
    for (const Step& step : steps) {
        const QString what = step.keys.join(QLatin1Char(' '));
        const KeyRun run = pressAndRead(program, port, step.keys, step.lines, next);
        QVERIFY2(run.failure.isEmpty(), qPrintable(run.failure));
        // No failure line in between: activation and typing succeeded.
        QCOMPARE(run.got, step.lines);
        if (step.active != nullptr)
            QVERIFY2(probe.waitForActive(step.active->id()), qPrintable(what));
        QVERIFY2(vlc.waitForKeys(step.vlcKeys.size()), qPrintable(what));
        QVERIFY2(winamp.waitForKeys(step.winampKeys.size()), qPrintable(what));
        QCOMPARE(vlc.keys(), step.vlcKeys);
        QCOMPARE(winamp.keys(), step.winampKeys);
    }
    QCOMPARE(other.keys(), QStringList{});

    // The close request reaches the program's window wherever it is, shown
    // or hidden in the notification area.
    QVERIFY(program.process().state() == QProcess::Running);
    QVERIFY(probe.closeWindowsTitled(kProgramTitle) >= 1);
    QVERIFY2(program.process().waitForFinished(kLineTimeoutMs),
             qPrintable(program.lines().join(QLatin1Char('\n'))));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QVERIFY2(program.process().exitCode() == 0,
             qPrintable(QStringLiteral("exit code %1; log:\n%2")
                            .arg(program.process().exitCode())
                            .arg(program.lines().mid(next).join(QLatin1Char('\n')))));
}

// The player's window never takes the focus: each activation waits its two
// seconds and fails, but the door key after them is handled at once, and no
// key is typed into the wrong window.
void EndToEndX11Test::aWindowThatNeverTakesTheFocusHoldsUpOnlyThePlayers() {
    DesktopProbe probe;
    KeyWindow vlc(QStringLiteral("song.mp3 - VLC media player"), false);
    KeyWindow other(QStringLiteral("Notes"));
    quint16 port = 0;
    Program program(QString{}, QStringLiteral("xcb"));
    startWhenReady(program, probe, {&vlc, &other}, port);
    if (QTest::currentTestFailed())
        return;

    const qsizetype start = program.lines().size();
    QVERIFY(press(port, {QStringLiteral("--delay"), QStringLiteral("0"), QStringLiteral("menu"),
                         QStringLiteral("right"), QStringLiteral("5"), QStringLiteral("57")}));
    const auto log = [&] { return program.lines().mid(start).join(QLatin1Char('\n')); };
    QVERIFY2(program.waitForLine(QStringLiteral("DoorPreOpen"), start), qPrintable(log()));
    const QStringList before = program.lines().mid(start);
    QVERIFY2(before.filter(QStringLiteral("Cannot")).isEmpty(), qPrintable(log()));
    QVERIFY2(
        waitUntil(
            [&] { return program.lines().mid(start).filter(QStringLiteral("Cannot")).size() == 2; },
            kLineTimeoutMs),
        qPrintable(log()));
    QVERIFY(!program.lines().mid(start).contains(QStringLiteral("[Space] Pause")));
    QCOMPARE(vlc.keys(), QStringList{});
    QCOMPARE(other.keys(), QStringList{});
}

QTEST_GUILESS_MAIN(EndToEndX11Test)
#include "test_e2e_x11.moc"
