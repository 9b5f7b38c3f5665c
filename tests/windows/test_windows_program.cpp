// The Windows program itself (nuvokrc.exe of the windows preset), black box,
// under Wine on a private X server with icewm and a private sound server:
// started with -port, driven by the Linux handset simulator over loopback,
// looked at through the X server (its window, Wine's icon in icewm's tray and
// the balloon of the icon's message), the Windows registry (wine reg query)
// stand-in player windows that are Windows programs themselves
// (keywindow.exe), and the web remote as a phone's browser reaches it.
//
// The run needs: NUVOKRC_WINDOWS_BIN (the folder of nuvokrc.exe),
// NUVOKRC_WINDOWS_TOOLS (the folder of keywindow.exe), wine, xdotool and
// xwininfo. Without them it exits with 77 (skipped) and says what is missing.

#include "support/lirclines.h"
#include "support/lircstandin.h"
#include "support/webclient.h"
#include "wineworld.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

using namespace nuvok::e2e;
using nuvok::test::DesktopProbe;

namespace {

const QString kProgramTitle = QStringLiteral("NUVOK Remote Control");
const QString kSettingsKey =
    QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\NUVOKrc\\Settings");
const QString kPhonesKey =
    QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\NUVOKrc\\WebDevices");
const QString kRunKey = QStringLiteral("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kVideoTitle = QStringLiteral("film.mkv - VLC media player");
const QString kAudioTitle = QStringLiteral("Winamp");
// How long a put-away window must stay put away.
constexpr int kSteadyMs = 700;
// Wine shows the balloon of an icon's message after this wait, for ten
// seconds at least and thirty at most.
constexpr int kBalloonDelayMs = 2000;
constexpr int kBalloonShownMaxMs = 30000;
// The program's pause after a controller command, with a margin for Wine.
constexpr int kControllerPauseMs = 500 + 1000;

// keywindow.exe under Wine: a player's window that records the keys it gets.
class PlayerWindow {
public:
    PlayerWindow(const WinePrefix& prefix, const QString& title) {
        m_process.setProcessEnvironment(prefix.environment());
        m_process.start(QStringLiteral("wine"),
                        {QDir(windowsTools()).filePath(QStringLiteral("keywindow.exe")), title});
    }
    ~PlayerWindow() {
        m_process.closeWriteChannel(); // keywindow ends at the end of its input
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool waitReady() {
        return waitUntil(
                   [this] {
                       read();
                       return m_ready || m_process.state() == QProcess::NotRunning;
                   },
                   kPrefixTimeoutMs) &&
               m_ready;
    }
    QStringList keys() {
        read();
        return m_keys;
    }
    bool waitForKeys(qsizetype count) {
        return waitUntil([&] { return keys().size() >= count; }, kLineTimeoutMs);
    }
    QString errors() { return QString::fromLocal8Bit(m_process.readAllStandardError()); }

private:
    void read() {
        for (const QString& line : m_reader.take(m_process.readAllStandardOutput())) {
            if (line.startsWith(QLatin1String("ready ")))
                m_ready = true;
            else if (line.startsWith(QLatin1String("key ")))
                m_keys << line.mid(4);
        }
    }

    QProcess m_process;
    LineReader m_reader;
    bool m_ready = false;
    QStringList m_keys;
};

// Types keys into the window with this title once it is shown and active.
bool typeInto(const DesktopProbe& probe, const QString& title, const QStringList& keys) {
    unsigned long window = 0;
    if (!waitUntil(
            [&] {
                const auto shown = shownWindows(probe, title);
                window = shown.empty() ? 0 : shown.front();
                return window != 0;
            },
            kLineTimeoutMs))
        return false;
    if (!makeActive(probe, window))
        return false;
    return xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                               QStringLiteral("--delay"), QStringLiteral("100")} +
                   keys);
}

} // namespace

class WindowsProgramTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void startsListeningOnTheGivenPort();
    void startsHiddenWithAnIconInTheTray();
    void playerKeysReachTheWindowsPlayer_data();
    void playerKeysReachTheWindowsPlayer();
    void upAndDownStepTheVolume_data();
    void upAndDownStepTheVolume();
    void theControllerReceivesTheLedCommands();
    void theIconOpensTheWindow();
    void minimisingHidesTheWindowInTheTray();
    void aLaterStartShowsTheWindowAndEnds();
    void theProtocolIsStoredInTheRegistry_data();
    void theProtocolIsStoredInTheRegistry();
    void theSettingsWindowStoresAPortInTheRegistry();
    void startOnPowerUpWritesAndRemovesTheRunValue();
    void closingTheWindowEndsTheProgram();
    void anUpKeyShowsTheLevelInABalloon_data();
    void anUpKeyShowsTheLevelInABalloon();
    void anInfraredDaemonOverTcpSteersTheProgram();
    void aPhonePairsWithTheWebRemoteAndItsKeysAct();
    void withoutPortTheStoredPortIsUsed();

private:
    // Sends the keys and demands exactly these log lines after them.
    void pressAndExpect(const QStringList& keys, const QStringList& expected, bool tcp = false);
    unsigned long programWindow();
    bool openFromTray();

    DesktopProbe m_probe;
    std::unique_ptr<WinePrefix> m_prefix;
    std::unique_ptr<FakeController> m_controller;
    std::unique_ptr<PlayerWindow> m_video;
    std::unique_ptr<PlayerWindow> m_audio;
    std::unique_ptr<WindowsProgram> m_program;
    quint16 m_port = 0;
    qsizetype m_next = 0;
};

void WindowsProgramTest::initTestCase() {
    QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
    QCOMPARE(QString::fromLatin1(nuvok::build::kControllerHost), QStringLiteral("127.0.0.1"));
    m_prefix = std::make_unique<WinePrefix>();
    const auto boot =
        m_prefix->run(QStringLiteral("wine"), {QStringLiteral("wineboot"), QStringLiteral("-i")},
                      kPrefixTimeoutMs);
    QVERIFY2(boot.exitCode == 0, qPrintable(boot.output));
    // Before the program runs, Wine shows no icon in the tray.
    QVERIFY(trayIcons(m_probe).empty());

    m_controller = std::make_unique<FakeController>();
    QVERIFY2(m_controller->listen(), qPrintable(m_controller->error()));
    m_video = std::make_unique<PlayerWindow>(*m_prefix, kVideoTitle);
    m_audio = std::make_unique<PlayerWindow>(*m_prefix, kAudioTitle);
    QVERIFY2(m_video->waitReady(), qPrintable(m_video->errors()));
    QVERIFY2(m_audio->waitReady(), qPrintable(m_audio->errors()));

    m_port = freePort();
    QVERIFY(m_port != 0);
    m_program = std::make_unique<WindowsProgram>(*m_prefix);
    QVERIFY(m_program->start({QStringLiteral("-port"), QString::number(m_port)}));
}

void WindowsProgramTest::cleanupTestCase() {
    m_program.reset();
    m_video.reset();
    m_audio.reset();
    m_prefix.reset();
}

void WindowsProgramTest::pressAndExpect(const QStringList& keys, const QStringList& expected,
                                        bool tcp) {
    QVERIFY(press(m_port, keys, tcp));
    const qsizetype after = m_program->waitForLines(expected, m_next);
    QVERIFY2(after >= 0,
             qPrintable(keys.join(QLatin1Char(' ')) + QStringLiteral(": log so far:\n") +
                        m_program->logSince(m_next)));
    QStringList got = m_program->lines().mid(m_next, after - m_next);
    // Late answers to the start-up probes are not part of this key's lines.
    while (got.size() > expected.size() && got.front() == remoteLine(u'\u2400'))
        got.removeFirst();
    QCOMPARE(got, expected);
    m_next = after;
}

void WindowsProgramTest::startsListeningOnTheGivenPort() {
    QVERIFY2(m_program->waitForLines({QStringLiteral("Port: %1").arg(m_port)}, 0) >= 0,
             qPrintable(m_program->logSince(0)));
    QVERIFY2(m_program->waitForFirstKey(m_port, kPrefixTimeoutMs),
             qPrintable(m_program->logSince(0)));
    const QString probeLine = remoteLine(u'\u2400');
    m_next = m_program->lines().lastIndexOf(probeLine) + 1;
    // A sound server is running: the winmm mixer is there, nothing is asked.
    QVERIFY2(!m_program->lines().contains(QStringLiteral("Es wurde kein Mixer gefunden!")),
             qPrintable(m_program->logSince(0)));
    pressAndExpect({QStringLiteral("7")}, {QStringLiteral("Remote: 7")});
}

void WindowsProgramTest::startsHiddenWithAnIconInTheTray() {
    std::vector<QRect> icons;
    QVERIFY2(waitUntil([&] { return (icons = trayIcons(m_probe)).size() == 1; }, kLineTimeoutMs),
             qPrintable(QStringLiteral("icons in the tray: %1").arg(icons.size())));
    QVERIFY(shownWindows(m_probe, kProgramTitle).empty());
    QTest::qWait(kSteadyMs);
    QVERIFY(shownWindows(m_probe, kProgramTitle).empty());
}

void WindowsProgramTest::playerKeysReachTheWindowsPlayer_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("player");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QStringList>("received");
    QTest::newRow("video 5") << QStringList{QStringLiteral("menu"), QStringLiteral("right"),
                                            QStringLiteral("5")}
                             << kVideoTitle << QStringList{QStringLiteral("[Space] Pause")}
                             << QStringList{QStringLiteral("space")};
    QTest::newRow("audio 4 6") << QStringList{QStringLiteral("menu"), QStringLiteral("up"),
                                              QStringLiteral("4"), QStringLiteral("6")}
                               << kAudioTitle
                               << QStringList{QStringLiteral("[Z] Last Song"),
                                              QStringLiteral("[B]Next Song")}
                               << QStringList{QStringLiteral("Z"), QStringLiteral("B")};
}

void WindowsProgramTest::playerKeysReachTheWindowsPlayer() {
    QFETCH(QStringList, keys);
    QFETCH(QString, player);
    QFETCH(QStringList, logged);
    QFETCH(QStringList, received);
    PlayerWindow& window = player == kVideoTitle ? *m_video : *m_audio;
    PlayerWindow& other = player == kVideoTitle ? *m_audio : *m_video;
    const qsizetype before = window.keys().size();
    const qsizetype otherBefore = other.keys().size();
    const qsizetype from = m_next;
    QVERIFY(press(m_port, keys));
    const qsizetype after = m_program->waitForLines(logged, from);
    QVERIFY2(after >= 0, qPrintable(m_program->logSince(from)));
    m_next = after;
    QVERIFY2(window.waitForKeys(before + received.size()),
             qPrintable(window.keys().join(QLatin1Char(' '))));
    QCOMPARE(window.keys().mid(before), received);
    QCOMPARE(other.keys().size(), otherBefore);
    // Nothing went wrong on the way (a window not found, keys refused).
    for (const QString& line : m_program->lines().mid(from, after - from))
        QVERIFY2(!line.startsWith(QLatin1String("Cannot")), qPrintable(line));
}

void WindowsProgramTest::upAndDownStepTheVolume_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("up") << QStringLiteral("up")
                        << QStringList{remoteLine(u'\u240e'), QStringLiteral("Vol+"),
                                       QStringLiteral("bMenu")};
    QTest::newRow("down") << QStringLiteral("down")
                          << QStringList{remoteLine(u'\u240f'), QStringLiteral("Vol-")};
}

// Wine keeps a winmm mixer level inside the process that set it (it never
// reaches the sound server), so the level cannot be read back from outside:
// what shows here is that the step went through winmm without a failure. The
// read-back of a step runs in the winmm back-end's own test (test_mixer_win).
void WindowsProgramTest::upAndDownStepTheVolume() {
    QFETCH(QString, key);
    QFETCH(QStringList, logged);
    pressAndExpect({key}, logged);
}

void WindowsProgramTest::theControllerReceivesTheLedCommands() {
    const std::size_t before = m_controller->connections().size();
    pressAndExpect({QStringLiteral("menu"), QStringLiteral("left"), QStringLiteral("3")},
                   {QStringLiteral("Remote: \u00ee"), QStringLiteral("bMenu 1"),
                    remoteLine(u'\u2410'), QStringLiteral("Mode:SetLeds"),
                    QStringLiteral("Remote: 3")});
    QVERIFY(m_controller->waitForClosed(before + 1));
    QCOMPARE(m_controller->connections().size(), before + 1);
    QCOMPARE(m_controller->connections()[before].data, QByteArray("setport 3.1 \r\n"));
    // Back to a mode without commands, once the program's pause after the
    // command is over (a menu key arriving inside it is taken back at its end).
    QTest::qWait(kControllerPauseMs);
    pressAndExpect({QStringLiteral("menu"), QStringLiteral("239")},
                   {QStringLiteral("Remote: \u00ee"), QStringLiteral("bMenu 1"),
                    QStringLiteral("Remote: \u00ef"), QStringLiteral("Mode:mode_idle")});
}

unsigned long WindowsProgramTest::programWindow() {
    unsigned long window = 0;
    waitUntil(
        [&] {
            const auto shown = shownWindows(m_probe, kProgramTitle);
            window = shown.empty() ? 0 : shown.front();
            return window != 0;
        },
        kLineTimeoutMs);
    return window;
}

// Clicks the program's tray icon until its window is shown.
bool WindowsProgramTest::openFromTray() {
    std::vector<QRect> icons;
    // A click that lands while the panel still places the icon may be lost.
    return waitUntil(
        [&] {
            icons = trayIcons(m_probe);
            return icons.size() == 1 && click(icons.front().center()) &&
                   waitUntil([&] { return !shownWindows(m_probe, kProgramTitle).empty(); }, 3000);
        },
        kLineTimeoutMs);
}

void WindowsProgramTest::theIconOpensTheWindow() {
    QCOMPARE(trayIcons(m_probe).size(), std::size_t(1));
    QVERIFY(openFromTray());
    QVERIFY(programWindow() != 0);
}

// The window manager's minimise reaches the program as Windows' minimise
// command, which hides the window; the icon brings it back.
void WindowsProgramTest::minimisingHidesTheWindowInTheTray() {
    const unsigned long window = programWindow();
    QVERIFY(window != 0);
    m_probe.minimise(window);
    QVERIFY(
        waitUntil([&] { return shownWindows(m_probe, kProgramTitle).empty(); }, kLineTimeoutMs));
    QTest::qWait(kSteadyMs);
    QVERIFY(shownWindows(m_probe, kProgramTitle).empty());
    QCOMPARE(trayIcons(m_probe).size(), std::size_t(1));
    QVERIFY(openFromTray());
}

// A later start hands over to the program that runs: with -min the window
// stays in the tray, without arguments it is shown; either start ends with 0
// and adds no icon.
void WindowsProgramTest::aLaterStartShowsTheWindowAndEnds() {
    const unsigned long window = programWindow();
    QVERIFY(window != 0);
    m_probe.minimise(window);
    QVERIFY(
        waitUntil([&] { return shownWindows(m_probe, kProgramTitle).empty(); }, kLineTimeoutMs));
    for (const QStringList& arguments : {QStringList{QStringLiteral("-min")}, QStringList{}}) {
        WindowsProgram later(*m_prefix);
        QVERIFY(later.start(arguments));
        QVERIFY(later.process().waitForFinished(kPrefixTimeoutMs));
        QVERIFY2(later.process().exitCode() == 0, qPrintable(later.logSince(0)));
        QVERIFY2(later.logSince(0).contains(QLatin1String("NUVOKrc is already running (pid ")),
                 qPrintable(later.logSince(0)));
        if (!arguments.isEmpty()) {
            QTest::qWait(kSteadyMs);
            QVERIFY(shownWindows(m_probe, kProgramTitle).empty());
        }
    }
    QVERIFY(
        waitUntil([&] { return !shownWindows(m_probe, kProgramTitle).empty(); }, kLineTimeoutMs));
    QCOMPARE(trayIcons(m_probe).size(), std::size_t(1));
}

void WindowsProgramTest::theProtocolIsStoredInTheRegistry_data() {
    QTest::addColumn<QString>("protocol");
    QTest::newRow("TCP") << QStringLiteral("TCP");
    QTest::newRow("UDP") << QStringLiteral("UDP");
}

void WindowsProgramTest::theProtocolIsStoredInTheRegistry() {
    QFETCH(QString, protocol);
    // Options → Protocol, then the answer into the prompt.
    QVERIFY(typeInto(m_probe, kProgramTitle, {QStringLiteral("alt+o"), QStringLiteral("o")}));
    QStringList answer{QStringLiteral("ctrl+a")};
    for (const QChar c : protocol)
        answer << QString(c);
    answer << QStringLiteral("Return");
    QVERIFY(typeInto(m_probe, QStringLiteral("Protocol"), answer));
    QVERIFY2(waitUntil(
                 [&] {
                     return m_prefix->registryValue(kSettingsKey, QStringLiteral("Protocol")) ==
                            protocol;
                 },
                 kLineTimeoutMs),
             qPrintable(m_prefix->registryValue(kSettingsKey, QStringLiteral("Protocol"))));
    // The listener opened again with that protocol (a TCP listener takes one
    // connection, so one key run shows it).
    const QString probeLine = remoteLine(u'\u2400');
    const bool tcp = protocol == QLatin1String("TCP");
    QVERIFY2(waitUntil(
                 [&] {
                     probe(m_port, tcp);
                     return waitUntil(
                         [&] { return m_program->lines().indexOf(probeLine, m_next) >= 0; }, 2000);
                 },
                 kLineTimeoutMs),
             qPrintable(m_program->logSince(m_next)));
    m_next = m_program->lines().lastIndexOf(probeLine) + 1;
    if (tcp) {
        // The handset connects again after it left, with nobody at the PC, and its
        // connection is watched without a word in the log.
        QVERIFY(press(m_port, {QStringLiteral("66:menu")}, true));
        const qsizetype after =
            m_program->waitForLines({QStringLiteral("RemoteMenu:  66")}, m_next);
        QVERIFY2(after >= 0, qPrintable(m_program->logSince(m_next)));
        for (const QString& line : m_program->lines().mid(m_next))
            QVERIFY2(!line.contains(QLatin1String("refused to watch")), qPrintable(line));
        m_next = after;
    }
}

// A later start with --settings opens the running program's settings window;
// a new port and Enter store it in the registry, and it is listened on at once.
void WindowsProgramTest::theSettingsWindowStoresAPortInTheRegistry() {
    const qsizetype from = m_program->lines().size();
    WindowsProgram later(*m_prefix);
    QVERIFY(later.start({QStringLiteral("--settings")}));
    QVERIFY(later.process().waitForFinished(kPrefixTimeoutMs));
    const quint16 port = freePort();
    QStringList keys{QStringLiteral("ctrl+a")};
    for (const QChar c : QString::number(port))
        keys << QString(c);
    keys << QStringLiteral("Return");
    QVERIFY(typeInto(m_probe, QStringLiteral("NUVOKrc Settings"), keys));
    QVERIFY2(waitUntil(
                 [&] {
                     return m_prefix->registryValue(kSettingsKey, QStringLiteral("portNum")) ==
                            QString::number(port);
                 },
                 kLineTimeoutMs),
             qPrintable(m_program->logSince(from)));
    const QString probeLine = remoteLine(u'\u2400');
    QVERIFY2(waitUntil(
                 [&] {
                     probe(port, false);
                     return waitUntil(
                         [&] { return m_program->lines().indexOf(probeLine, from) >= 0; }, 2000);
                 },
                 kLineTimeoutMs),
             qPrintable(m_program->logSince(from)));
    m_port = port;
    m_next = m_program->lines().size();
}

void WindowsProgramTest::startOnPowerUpWritesAndRemovesTheRunValue() {
    const QString command =
        QStringLiteral("\"%1\" -min")
            .arg(m_prefix->windowsPath(QDir(windowsBin()).filePath(QStringLiteral("nuvokrc.exe"))));
    QVERIFY(m_prefix->registryValue(kRunKey, QStringLiteral("NUVOKRC")).isEmpty());
    // Each choice flips what the check mark shows, and the mark follows what
    // was stored: on, then off again.
    for (const QString& expected : {command, QString()}) {
        QVERIFY(typeInto(m_probe, kProgramTitle, {QStringLiteral("alt+o"), QStringLiteral("a")}));
        QVERIFY2(waitUntil(
                     [&] {
                         return m_prefix->registryValue(kRunKey, QStringLiteral("NUVOKRC")) ==
                                expected;
                     },
                     kLineTimeoutMs),
                 qPrintable(m_prefix->registryValue(kRunKey, QStringLiteral("NUVOKRC")) +
                            QStringLiteral(" instead of ") + expected + QStringLiteral("\n") +
                            m_program->logSince(m_next)));
    }
    for (const QString& line : m_program->lines().mid(m_next))
        QVERIFY2(!line.startsWith(QLatin1String("Start on Power up")), qPrintable(line));
}

void WindowsProgramTest::closingTheWindowEndsTheProgram() {
    const unsigned long window = programWindow();
    QVERIFY(window != 0);
    m_probe.close(window);
    QProcess& process = m_program->process();
    QVERIFY2(waitUntil([&] { return process.state() == QProcess::NotRunning; }, kLineTimeoutMs),
             qPrintable(m_program->logSince(m_next)));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(waitUntil([&] { return trayIcons(m_probe).empty(); }, kLineTimeoutMs));
}

void WindowsProgramTest::anUpKeyShowsTheLevelInABalloon_data() {
    QTest::addColumn<QString>("setting"); // Notifications in the registry; empty: none
    QTest::addColumn<bool>("balloon");
    QTest::newRow("Notifications false") << QStringLiteral("false") << false;
    QTest::newRow("on by default") << QString() << true;
}

// A program of its own for each row, started with the setting: the bubble of
// its Up key goes through the program's notification area as the message at
// its icon, which Wine shows as a balloon pointing at the icon. The row with
// a balloon comes last, so that no message of an earlier row can still be on
// its way (an ended row's icon may stay in Wine's tray, silent).
void WindowsProgramTest::anUpKeyShowsTheLevelInABalloon() {
    QFETCH(QString, setting);
    QFETCH(bool, balloon);
    const QString name = QStringLiteral("Notifications");
    if (setting.isEmpty())
        m_prefix->run(QStringLiteral("wine"),
                      {QStringLiteral("reg"), QStringLiteral("delete"), kSettingsKey,
                       QStringLiteral("/v"), name, QStringLiteral("/f")});
    else
        m_prefix->storeString(kSettingsKey, name, setting);
    QCOMPARE(m_prefix->registryValue(kSettingsKey, name), setting);
    const std::size_t iconsBefore = trayIcons(m_probe).size();
    const quint16 port = freePort();
    QVERIFY(port != 0);
    WindowsProgram program(*m_prefix);
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLines({QStringLiteral("Port: %1").arg(port)}, 0) >= 0 &&
                 program.waitForFirstKey(port, kPrefixTimeoutMs),
             qPrintable(program.logSince(0)));
    // A message needs the icon shown.
    QVERIFY(waitUntil([&] { return trayIcons(m_probe).size() > iconsBefore; }, kLineTimeoutMs));
    // A balloon of an earlier run is gone, or its time is over.
    QVERIFY(waitUntil([&] { return trayBalloons(m_probe).empty(); }, kBalloonShownMaxMs));

    const qsizetype from = program.lines().size();
    QVERIFY(press(port, {QStringLiteral("up")}));
    QVERIFY2(program.waitForLines({remoteLine(u'\u240e'), QStringLiteral("Vol+")}, from) >= 0,
             qPrintable(program.logSince(from)));
    const bool shown = waitUntil([&] { return !trayBalloons(m_probe).empty(); },
                                 balloon ? kLineTimeoutMs : 2 * kBalloonDelayMs);
    QVERIFY2(shown == balloon, qPrintable(program.logSince(0)));
    for (const QString& line : program.lines())
        QVERIFY2(!line.startsWith(QLatin1String("Notifications are not shown")), qPrintable(line));
}

// portNum is only read: stored beforehand in the registry, it is the port of
// a start without -port.
// WinLIRC's lines over TCP, from a stand-in on loopback: a volume button
// steps, the door stays shut for a place ControllerHandsets does not name,
// and a daemon that goes away and comes back is found again.
void WindowsProgramTest::anInfraredDaemonOverTcpSteersTheProgram() {
    nuvok::test::LircStandIn lirc;
    QVERIFY2(lirc.ready(), qPrintable(lirc.problem()));
    const QString host = QStringLiteral("LircHost"), portName = QStringLiteral("LircPort"),
                  trusted = QStringLiteral("ControllerHandsets");
    m_prefix->storeString(kSettingsKey, host, QStringLiteral("127.0.0.1"));
    m_prefix->storeString(kSettingsKey, portName, QString::number(lirc.port()));
    m_prefix->storeString(kSettingsKey, trusted, QStringLiteral("127.0.0.9"));
    const std::size_t commandsBefore = m_controller->connections().size();
    const quint16 port = freePort();
    QVERIFY(port != 0);
    WindowsProgram program(*m_prefix);
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    const QString place = QStringLiteral("127.0.0.1:%1").arg(lirc.port());
    QVERIFY2(program.waitForLines({QStringLiteral("IR input ready: lircd at ") + place}, 0) >= 0,
             qPrintable(program.logSince(0)));
    QVERIFY(lirc.waitForClients(1));
    qsizetype from = program.lines().size();
    lirc.send(nuvok::test::lircEventLine(QStringLiteral("KEY_VOLUMEUP"), QStringLiteral("r")));
    QVERIFY2(program.waitForLines({QStringLiteral("IR: KEY_VOLUMEUP (r)"), QStringLiteral("Vol+")},
                                  from) >= 0,
             qPrintable(program.logSince(from)));
    const QString refusal = QStringLiteral("lircd at %1 is not in ControllerHandsets").arg(place);
    lirc.send(nuvok::test::lircEventLine(QStringLiteral("KEY_9"), QStringLiteral("r")).repeated(2));
    QVERIFY2(program.waitForLines({QStringLiteral("The door stays shut: ") + refusal}, from) >= 0,
             qPrintable(program.logSince(from)));
    QVERIFY(program.lines().contains(
        QStringLiteral("IR keys count as a handset at 127.0.0.1 by TCP: no controller command, "
                       "as ") +
        refusal));
    QTest::qWait(300);
    QCOMPARE(m_controller->connections().size(), commandsBefore);
    lirc.stopListening();
    QVERIFY2(waitUntil(
                 [&] {
                     return !program.lines()
                                 .filter(QStringLiteral("IR input lost: lircd at ") + place)
                                 .isEmpty();
                 },
                 kLineTimeoutMs),
             qPrintable(program.logSince(from)));
    QVERIFY(lirc.listen());
    QVERIFY2(program.waitForLines({QStringLiteral("IR input is there again: lircd at ") + place},
                                  from) >= 0,
             qPrintable(program.logSince(from)));
    for (const QString& name : {host, portName, trusted})
        m_prefix->run(QStringLiteral("wine"),
                      {QStringLiteral("reg"), QStringLiteral("delete"), kSettingsKey,
                       QStringLiteral("/v"), name, QStringLiteral("/f")});
}

// The web remote of the Windows program, as a phone's browser on loopback
// reaches it: the page with the headers that keep it out of other sites'
// frames, nothing for a name pointed here; nuvokrc --pair prints a link with
// a code from the program that runs, and a WebSocket that shows the code
// pairs, is kept in the registry and sends a key the program acts on.
void WindowsProgramTest::aPhonePairsWithTheWebRemoteAndItsKeysAct() {
    const quint16 webPort = freePort();
    const quint16 port = freePort();
    QVERIFY(webPort != 0 && port != 0 && webPort != port);
    const auto forget = qScopeGuard([this] {
        for (const QString& name : {QStringLiteral("WebRemote"), QStringLiteral("WebRemotePort")})
            m_prefix->run(QStringLiteral("wine"),
                          {QStringLiteral("reg"), QStringLiteral("delete"), kSettingsKey,
                           QStringLiteral("/v"), name, QStringLiteral("/f")});
        m_prefix->run(QStringLiteral("wine"), {QStringLiteral("reg"), QStringLiteral("delete"),
                                               kPhonesKey, QStringLiteral("/f")});
    });
    m_prefix->storeString(kSettingsKey, QStringLiteral("WebRemote"), QStringLiteral("true"));
    m_prefix->storeString(kSettingsKey, QStringLiteral("WebRemotePort"), QString::number(webPort));
    WindowsProgram program(*m_prefix);
    QVERIFY(program.start({QStringLiteral("-port"), QString::number(port)}));
    QVERIFY2(program.waitForLines(
                 {QStringLiteral("Web remote: the phone page is served on port %1").arg(webPort)},
                 0) >= 0,
             qPrintable(program.logSince(0)));

    using nuvok::test::WebClient;
    for (const auto& [host, status] : {std::pair{QStringLiteral("127.0.0.1"), "200"},
                                       std::pair{QStringLiteral("evil.example"), "403"}}) {
        WebClient page(webPort, kLineTimeoutMs);
        const QByteArray head = page.request("GET / HTTP/1.1\r\nHost: " + host.toLatin1() + ':' +
                                             QByteArray::number(webPort) + "\r\n");
        QVERIFY2(head.startsWith(QByteArray("HTTP/1.1 ") + status), head.constData());
        for (const char* field : {"Content-Security-Policy: default-src 'self'",
                                  "frame-ancestors 'none'", "X-Frame-Options: DENY"})
            QVERIFY2(head.contains(field), head.constData());
    }

    const WinePrefix::Result pair = m_prefix->run(
        QStringLiteral("wine"),
        {QDir(windowsBin()).filePath(QStringLiteral("nuvokrc.exe")), QStringLiteral("--pair")},
        kPrefixTimeoutMs);
    const QRegularExpression link(
        QStringLiteral("^http://[0-9.]+:%1/#pair=([0-9a-f]{32})\r?$").arg(webPort),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch found = link.match(pair.output);
    QVERIFY2(pair.exitCode == 0 && found.hasMatch(), qPrintable(pair.output));

    const qsizetype from = program.lines().size();
    WebClient phone(webPort, kLineTimeoutMs);
    QVERIFY(phone.open());
    phone.send({{QStringLiteral("type"), QStringLiteral("pair")},
                {QStringLiteral("secret"), found.captured(1)},
                {QStringLiteral("name"), QStringLiteral("Wine")}});
    const QJsonObject paired = phone.next();
    QVERIFY2(
        paired.value(QStringLiteral("type")).toString() == QLatin1String("paired") &&
            !paired.value(QStringLiteral("token")).toString().isEmpty(),
        qPrintable(QString::fromUtf8(QJsonDocument(paired).toJson()) + program.logSince(from)));
    phone.send({{QStringLiteral("type"), QStringLiteral("key")},
                {QStringLiteral("code"), 53},
                {QStringLiteral("seq"), 1}});
    QVERIFY2(program.waitForLines({QStringLiteral("Remote: 5")}, from) >= 0,
             qPrintable(program.logSince(from)));
    QVERIFY(waitUntil(
        [&] {
            return m_prefix->registryValue(kPhonesKey, QStringLiteral("1.Name")) ==
                   QLatin1String("Wine");
        },
        kLineTimeoutMs));
}

void WindowsProgramTest::withoutPortTheStoredPortIsUsed() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    const auto stored =
        m_prefix->storeString(kSettingsKey, QStringLiteral("portNum"), QString::number(port));
    QVERIFY2(stored.exitCode == 0, qPrintable(stored.output));
    WindowsProgram program(*m_prefix);
    QVERIFY(program.start({}));
    QVERIFY2(program.waitForFirstKey(port, kLineTimeoutMs), qPrintable(program.logSince(0)));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList missing;
    if (windowsBin().isEmpty() ||
        !QFileInfo::exists(QDir(windowsBin()).filePath(QStringLiteral("nuvokrc.exe"))))
        missing << QStringLiteral(
            "nuvokrc.exe in NUVOKRC_WINDOWS_BIN (./dev.sh windows builds it)");
    if (windowsTools().isEmpty() ||
        !QFileInfo::exists(QDir(windowsTools()).filePath(QStringLiteral("keywindow.exe"))))
        missing << QStringLiteral("keywindow.exe in NUVOKRC_WINDOWS_TOOLS");
    if (const int skipped =
            skippedWithout(missing, {"wine", "wineserver", "winepath", "xdotool", "xwininfo"}))
        return skipped;
    WindowsProgramTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_windows_program.moc"
