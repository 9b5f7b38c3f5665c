// The X11 back-end on a real desktop: a private X server with icewm
// (scripts/private-desktop.sh), stand-in player windows in processes of their own, and
// the window manager's and the windows' own view of what happened.

#include "common/failure.h"
#include "shell/desktopcontrol.h"
#include "support/displayproxy.h"
#include "support/failureof.h"
#include "support/x11desktop.h"

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <csignal>
#include <functional>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <vector>

using nuvok::test::DesktopProbe;
using nuvok::test::KeyWindow;
using nuvok::test::waitUntil;

namespace {

// The failure description of an operation, or "(no failure)".
QString failureOf(const std::function<void()>& operation) {
    return QString::fromStdString(nuvok::test::failureOf(operation));
}

// Sets or removes an environment variable for as long as it lives.
class EnvironmentChange {
public:
    EnvironmentChange(const char* name, const char* value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        if (value != nullptr)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
    ~EnvironmentChange() {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    EnvironmentChange(const EnvironmentChange&) = delete;
    EnvironmentChange& operator=(const EnvironmentChange&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

// A display number nothing serves.
QByteArray unservedDisplay() {
    for (int number = 917; number < 1000; ++number) {
        if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) &&
            !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            return ":" + QByteArray::number(number);
    }
    return ":999";
}

// An X server of the test's own on a fixed display number, to be stopped and
// started again as a display server that goes away and comes back.
class OwnServer {
public:
    explicit OwnServer(QByteArray name) : m_name(std::move(name)) {}
    ~OwnServer() { stop(); }
    const QByteArray& name() const { return m_name; }
    bool start() {
        m_server.start(
            QStringLiteral("Xvfb"),
            {QString::fromLatin1(m_name), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + m_name.mid(1);
        return m_server.waitForStarted() && waitUntil([&] { return QFile::exists(socket); }, 15000);
    }
    void stop() {
        m_server.terminate();
        m_server.waitForFinished();
    }

private:
    QByteArray m_name;
    QProcess m_server;
};

} // namespace

class DesktopControlX11Test : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void activatesThePlayerAndTypesIntoItAlone();
    void theBestMatchingWindowBecomesActive_data();
    void theBestMatchingWindowBecomesActive();
    void aHiddenPlayerIsBroughtBack_data();
    void aHiddenPlayerIsBroughtBack();
    void failuresNameTheTitleAndTypeNothing();
    void nothingWaitsForAPlayerThatIsNotRunning();
    void withoutADisplayEveryOperationFailsClearly_data();
    void withoutADisplayEveryOperationFailsClearly();
    void aDisplayLostDuringActivationFailsThatActivationOnly();
    void aDisplayThatGoesAwayCostsOnlyTheKeysMeanwhile();
    void aRestartedDisplayServerTakesTheNextKey();
    void keysArriveWhateverLayoutAndCapsLockTheUserHas_data();
    void keysArriveWhateverLayoutAndCapsLockTheUserHas();

private:
    std::unique_ptr<KeyWindow> open(const QString& title) {
        auto window = std::make_unique<KeyWindow>(title);
        if (!window->waitReady())
            qWarning("keywindow \"%s\" did not map: %s", qPrintable(title),
                     qPrintable(window->errorOutput()));
        return window;
    }

    DesktopProbe m_probe;
    std::unique_ptr<nuvok::DesktopControl> m_desktop = nuvok::createDesktopControl();
};

void DesktopControlX11Test::initTestCase() {
    QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
}

void DesktopControlX11Test::activatesThePlayerAndTypesIntoItAlone() {
    auto vlc = open(QStringLiteral("song.mp3 - VLC media player"));
    auto winamp = open(QStringLiteral("1. Artist - Title - Winamp"));
    QVERIFY(vlc->id() != 0 && winamp->id() != 0);
    // The window opened last has the focus: activation has something to do.
    QVERIFY(m_probe.waitForActive(winamp->id()));

    struct Step {
        const KeyWindow* target;
        std::string title;
        std::string keys;
        QStringList keysyms;
    };
    const std::vector<Step> steps{
        {vlc.get(), "VLC", "{right}{left} ", {"Right", "Left", "space"}},
        {winamp.get(), "Winamp", "c", {"c"}},
        {winamp.get(), "winamp", "z", {"z"}},
        {vlc.get(), "vlc MEDIA", "{enter}", {"Return"}},
        {winamp.get(), "WINAMP", "bZ{enter}", {"b", "Z", "Return"}},
    };
    QStringList vlcKeys;
    QStringList winampKeys;
    for (const Step& step : steps) {
        const QString what = QString::fromStdString(step.title + " / " + step.keys);
        m_desktop->activateWindow(step.title);
        // Activation returns once the window has the focus.
        QCOMPARE(m_probe.activeWindow(), step.target->id());
        m_desktop->sendKeys(step.keys);
        (step.target == vlc.get() ? vlcKeys : winampKeys) << step.keysyms;
        KeyWindow& target = step.target == vlc.get() ? *vlc : *winamp;
        QVERIFY2(target.waitForKeys((step.target == vlc.get() ? vlcKeys : winampKeys).size()),
                 qPrintable(what));
        QCOMPARE(vlc->keys(), vlcKeys);
        QCOMPARE(winamp->keys(), winampKeys);
    }
}

void DesktopControlX11Test::theBestMatchingWindowBecomesActive_data() {
    // Windows open in this order, so the last is on top and active; the
    // expected one is never the top one, so stacking alone cannot pick it.
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<int>("expected");
    QTest::newRow("equal beats prefix and word")
        << QStringList{"Player", "Player Playlist", "My Player"} << "player" << 0;
    QTest::newRow("prefix beats word")
        << QStringList{"Player Playlist", "My Player", "Notes"} << "PLAYER" << 0;
    QTest::newRow("whole word only")
        << QStringList{"My Player", "MyPlayer", "Notes Players"} << "Player" << 0;
    QTest::newRow("any prefix beats a word")
        << QStringList{"My Player", "Playerless", "Notes"} << "player" << 1;
    QTest::newRow("word after punctuation")
        << QStringList{"track (Player)", "Notes"} << "player" << 0;
    QTest::newRow("upper-case umlaut")
        << QStringList{"\u00DCber Player", "Notes"} << "\u00FCber player" << 0;
    QTest::newRow("the topmost of equals")
        << QStringList{"a - Player", "b - Player", "Notes"} << "Player" << 1;
}

void DesktopControlX11Test::theBestMatchingWindowBecomesActive() {
    QFETCH(QStringList, titles);
    QFETCH(QString, wanted);
    QFETCH(int, expected);
    std::vector<std::unique_ptr<KeyWindow>> windows;
    for (const QString& title : titles) {
        windows.push_back(open(title));
        QVERIFY(windows.back()->id() != 0);
    }
    QVERIFY(m_probe.waitForActive(windows.back()->id()));

    m_desktop->activateWindow(wanted.toStdString());
    QCOMPARE(m_probe.activeWindow(), windows[static_cast<std::size_t>(expected)]->id());
    m_desktop->sendKeys("x");
    QVERIFY(windows[static_cast<std::size_t>(expected)]->waitForKeys(1));
    for (std::size_t i = 0; i < windows.size(); ++i)
        QCOMPARE(windows[i]->keys(), i == static_cast<std::size_t>(expected)
                                         ? QStringList{QStringLiteral("x")}
                                         : QStringList{});
}

void DesktopControlX11Test::aHiddenPlayerIsBroughtBack_data() {
    QTest::addColumn<bool>("minimise");
    QTest::addColumn<bool>("otherWorkspace");
    QTest::newRow("minimised") << true << false;
    QTest::newRow("on another workspace") << false << true;
    QTest::newRow("minimised on another workspace") << true << true;
}

void DesktopControlX11Test::aHiddenPlayerIsBroughtBack() {
    QFETCH(bool, minimise);
    QFETCH(bool, otherWorkspace);
    const long home = m_probe.currentWorkspace();
    QVERIFY(home >= 0);
    auto vlc = open(QStringLiteral("clip.mkv - VLC media player"));
    auto other = open(QStringLiteral("Notes"));
    QVERIFY(m_probe.waitForActive(other->id()));
    if (otherWorkspace) {
        const long away = home == 0 ? 1 : 0;
        m_probe.moveToWorkspace(vlc->id(), away);
        QVERIFY(waitUntil([&] { return m_probe.workspaceOf(vlc->id()) == away; }, 15000));
    }
    if (minimise) {
        m_probe.minimise(vlc->id());
        QVERIFY(waitUntil([&] { return m_probe.minimised(vlc->id()); }, 15000));
    }
    QCOMPARE(m_probe.activeWindow(), other->id());

    m_desktop->activateWindow("VLC");
    QCOMPARE(m_probe.activeWindow(), vlc->id());
    QVERIFY(!m_probe.minimised(vlc->id()));
    QCOMPARE(m_probe.currentWorkspace(), m_probe.workspaceOf(vlc->id()));
    m_desktop->sendKeys(" ");
    QVERIFY(vlc->waitForKeys(1));
    QCOMPARE(vlc->keys(), QStringList{QStringLiteral("space")});
    QCOMPARE(other->keys(), QStringList{});
}

void DesktopControlX11Test::nothingWaitsForAPlayerThatIsNotRunning() {
    auto vlc = open(QStringLiteral("song.mp3 - VLC media player"));
    auto other = open(QStringLiteral("Notes"));
    QVERIFY(m_probe.waitForActive(other->id()));
    // A stopped process handles nothing: activation and typing must return
    // all the same, and the keys wait for it in the X server.
    QCOMPARE(::kill(static_cast<pid_t>(vlc->processId()), SIGSTOP), 0);
    auto resume = qScopeGuard([&] { ::kill(static_cast<pid_t>(vlc->processId()), SIGCONT); });
    m_desktop->activateWindow("VLC");
    QCOMPARE(m_probe.activeWindow(), vlc->id());
    m_desktop->sendKeys("{left} ");
    resume.dismiss();
    QCOMPARE(::kill(static_cast<pid_t>(vlc->processId()), SIGCONT), 0);
    QVERIFY(vlc->waitForKeys(2));
    QCOMPARE(vlc->keys(), (QStringList{QStringLiteral("Left"), QStringLiteral("space")}));
}

void DesktopControlX11Test::failuresNameTheTitleAndTypeNothing() {
    auto vlc = open(QStringLiteral("song.mp3 - VLC media player"));
    QVERIFY(m_probe.waitForActive(vlc->id()));

    struct Row {
        std::function<void()> operation;
        QString mentions;
    };
    const std::vector<Row> rows{
        {[&] { m_desktop->activateWindow("Winamp"); }, "\"Winamp\""},
        {[&] { m_desktop->activateWindow("VL"); }, "\"VL\""},
        {[&] { m_desktop->activateWindow("LC"); }, "\"LC\""},
        {[&] { m_desktop->activateWindow(""); }, "\"\""},
        {[&] {
             // In a Wayland session the user learns where the player may be.
             EnvironmentChange wayland("WAYLAND_DISPLAY", "wayland-0");
             m_desktop->activateWindow("Winamp");
         },
         "\"Winamp\" to the front: no open window has that title (is the program running?); on "
         "Wayland only programs running under XWayland can be found"},
        {[&] { m_desktop->sendKeys("a{enterr}"); }, "\"{enterr}\""},
        {[&] { m_desktop->sendKeys("a{left"); }, "\"a{left\""},
    };
    for (const Row& row : rows) {
        const QString description = failureOf(row.operation);
        QVERIFY2(description.contains(row.mentions), qPrintable(description));
        QCOMPARE(m_probe.activeWindow(), vlc->id());
    }
    // Anything typed by a failed operation would arrive before this key.
    m_desktop->sendKeys("q");
    QVERIFY(vlc->waitForKeys(1));
    QCOMPARE(vlc->keys(), QStringList{QStringLiteral("q")});
}

void DesktopControlX11Test::withoutADisplayEveryOperationFailsClearly_data() {
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("no display") << QByteArray() << QByteArray()
                                << "no X11 display is available (DISPLAY is not set)";
    QTest::newRow("Wayland without XWayland")
        << QByteArray() << QByteArray("wayland-0") << "Wayland session offers no X11 display";
    const QByteArray unserved = unservedDisplay();
    QTest::newRow("display gone")
        << unserved << QByteArray()
        << QStringLiteral("cannot connect to the X11 display \"%1\"").arg(QLatin1String(unserved));
}

void DesktopControlX11Test::withoutADisplayEveryOperationFailsClearly() {
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, wayland);
    QFETCH(QString, mentions);
    EnvironmentChange displayChange("DISPLAY", display.isEmpty() ? nullptr : display.constData());
    EnvironmentChange waylandChange("WAYLAND_DISPLAY",
                                    wayland.isEmpty() ? nullptr : wayland.constData());
    const QString activation = failureOf([&] { m_desktop->activateWindow("VLC"); });
    QVERIFY2(activation.startsWith(QLatin1String("Cannot bring the window \"VLC\" to the front")),
             qPrintable(activation));
    QVERIFY2(activation.contains(mentions), qPrintable(activation));
    const QString typing = failureOf([&] { m_desktop->sendKeys("{enter}"); });
    QVERIFY2(typing.startsWith(QLatin1String("Cannot type the keystrokes \"{enter}\"")),
             qPrintable(typing));
    QVERIFY2(typing.contains(mentions), qPrintable(typing));
}

void DesktopControlX11Test::aDisplayLostDuringActivationFailsThatActivationOnly() {
    // Activating a window that refuses the focus waits for the focus, which
    // leaves the display time to go away under it.
    KeyWindow stubborn(QStringLiteral("Stubborn Player"), false);
    QVERIFY(stubborn.waitReady());
    nuvok::test::CuttingDisplayProxy proxy(std::chrono::milliseconds(300));
    QVERIFY(proxy.listening());
    {
        EnvironmentChange display("DISPLAY", proxy.displayName().c_str());
        const QString description =
            failureOf([&] { m_desktop->activateWindow("Stubborn Player"); });
        QVERIFY2(description.startsWith(
                     QLatin1String("Cannot bring the window \"Stubborn Player\" to the front: the "
                                   "connection to the X11 display was lost")),
                 qPrintable(description));
    }
    // Still running, and the next operation uses a connection of its own.
    auto vlc = open(QStringLiteral("song.mp3 - VLC media player"));
    m_desktop->activateWindow("VLC");
    QCOMPARE(m_probe.activeWindow(), vlc->id());
    m_desktop->sendKeys("{right}");
    QVERIFY(vlc->waitForKeys(1));
    QCOMPARE(vlc->keys(), QStringList{QStringLiteral("Right")});
}

void DesktopControlX11Test::aDisplayThatGoesAwayCostsOnlyTheKeysMeanwhile() {
    auto vlc = open(QStringLiteral("song.mp3 - VLC media player"));
    QVERIFY(m_probe.waitForActive(vlc->id()));
    nuvok::test::CuttingDisplayProxy proxy;
    QVERIFY(proxy.listening());
    EnvironmentChange display("DISPLAY", proxy.displayName().c_str());
    std::vector<int> watched;
    m_desktop->watchEvents([&](int descriptor) { watched.push_back(descriptor); });
    auto unwatch = qScopeGuard([&] { m_desktop->watchEvents({}); });
    const auto press = [&](const std::string& keys) {
        return failureOf([&] {
            m_desktop->activateWindow("VLC");
            m_desktop->sendKeys(keys);
        });
    };
    const auto readable = [](int descriptor) {
        pollfd watch{descriptor, POLLIN, 0};
        return ::poll(&watch, 1, 0) == 1;
    };

    QCOMPARE(press("a"), QStringLiteral("(no failure)"));
    QVERIFY(!watched.empty() && watched.back() >= 0);
    // The keystrokes are on their way when the key returns; the locks are
    // changed on another connection, which could overtake them.
    QVERIFY(vlc->waitForKeys(1));
    // Between keys the server keeps telling what changed (here the locks);
    // the event loop takes it in, and nothing is left waiting.
    m_probe.lockCaps(true);
    m_probe.lockCaps(false);
    QVERIFY(waitUntil([&] { return readable(watched.back()); }, 5000));
    // The display proxy may hand the events on in more than one piece: all
    // of them are in once what waits stays the same for a moment.
    const auto waiting = [](int descriptor) {
        int bytes = 0;
        ::ioctl(descriptor, FIONREAD, &bytes);
        return bytes;
    };
    for (int before = -1; before != waiting(watched.back());) {
        before = waiting(watched.back());
        QTest::qWait(100);
    }
    m_desktop->takeEvents();
    QVERIFY(!readable(watched.back()));

    proxy.setServing(false);
    const QString whileGone = press("b");
    QVERIFY2(whileGone.contains(QLatin1String("X11 display")), qPrintable(whileGone));
    QCOMPARE(watched.back(), -1);
    proxy.setServing(true);
    QCOMPARE(press("c"), QStringLiteral("(no failure)"));
    QVERIFY(watched.back() >= 0);
    QVERIFY(vlc->waitForKeys(2));
    QCOMPARE(vlc->keys(), (QStringList{QStringLiteral("a"), QStringLiteral("c")}));
}

void DesktopControlX11Test::aRestartedDisplayServerTakesTheNextKey() {
    OwnServer server(unservedDisplay());
    QVERIFY(server.start());
    EnvironmentChange display("DISPLAY", server.name().constData());
    const auto type = [&](const char* keys) {
        return failureOf([&] { m_desktop->sendKeys(keys); });
    };
    QCOMPARE(type("a"), QStringLiteral("(no failure)"));
    server.stop();
    const QString whileGone = type("b");
    QVERIFY2(whileGone.contains(QLatin1String("X11 display")), qPrintable(whileGone));
    QVERIFY(server.start());
    QCOMPARE(type("c"), QStringLiteral("(no failure)"));
}

void DesktopControlX11Test::keysArriveWhateverLayoutAndCapsLockTheUserHas_data() {
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("caps");
    QTest::newRow("first layout") << 0 << false;
    QTest::newRow("second layout (Cyrillic)") << 1 << false;
    QTest::newRow("Caps Lock") << 0 << true;
    QTest::newRow("second layout and Caps Lock") << 1 << true;
}

void DesktopControlX11Test::keysArriveWhateverLayoutAndCapsLockTheUserHas() {
    QFETCH(int, group);
    QFETCH(bool, caps);
    QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"),
                               {QStringLiteral("-layout"), QStringLiteral("us,ru")}),
             0);
    auto restore = qScopeGuard([&] {
        m_probe.lockCaps(false);
        QProcess::execute(QStringLiteral("setxkbmap"),
                          {QStringLiteral("-layout"), QStringLiteral("us")});
    });
    auto winamp = open(QStringLiteral("1. Artist - Title - Winamp"));
    QVERIFY(m_probe.waitForActive(winamp->id()));
    m_probe.lockLayoutGroup(group);
    m_probe.lockCaps(caps);
    QCOMPARE(m_probe.layoutGroup(), group);

    m_desktop->activateWindow("Winamp");
    m_desktop->sendKeys("cZ b{enter}");
    const QStringList expected{"c", "Z", "space", "b", "Return"};
    QVERIFY(winamp->waitForKeys(expected.size()));
    QCOMPARE(winamp->keys(), expected);
    // The user's layout and Caps Lock are as they were.
    QCOMPARE(m_probe.layoutGroup(), group);
    QCOMPARE(m_probe.capsLocked(), caps);
}

QTEST_GUILESS_MAIN(DesktopControlX11Test)
#include "test_desktopcontrol_x11.moc"
