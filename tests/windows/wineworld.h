// The Windows programs under Wine for the tests, looked at from this side: a
// Wine prefix of the test's own, nuvokrc.exe with its log, and Wine's icons
// in the X server's notification area with the balloons of their messages.
#pragma once

#include "e2e/programrun.h"
#include "support/x11desktop.h"

#include <QDir>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>

namespace nuvok::e2e {

using nuvok::test::click;
using nuvok::test::xdotool;

// A fresh Wine prefix takes a while to set up on a busy machine.
inline constexpr int kPrefixTimeoutMs = 240000;

inline QString windowsBin() {
    return qEnvironmentVariable("NUVOKRC_WINDOWS_BIN");
}
inline QString windowsTools() {
    return qEnvironmentVariable("NUVOKRC_WINDOWS_TOOLS");
}

// A Wine prefix of the test's own: nothing of the user's Wine is read or
// changed, and every Wine process of the run ends with it.
class WinePrefix {
public:
    WinePrefix() {
        m_environment = QProcessEnvironment::systemEnvironment();
        // The Windows program has its own platform plugin, whatever this test runs on.
        m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        m_environment.insert(QStringLiteral("WINEPREFIX"), m_dir.path());
        m_environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        // No download prompts for .NET and the HTML engine.
        m_environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    }
    ~WinePrefix() { run(QStringLiteral("wineserver"), {QStringLiteral("-k")}, 30000); }
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    const QProcessEnvironment& environment() const { return m_environment; }

    struct Result {
        int exitCode = -1;
        QString output;
    };
    // Runs a command with the prefix to its end.
    Result run(const QString& program, const QStringList& arguments, int timeoutMs = 60000) const {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        Result result;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished(5000);
            result.output = program + QStringLiteral(" did not finish");
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.output = QString::fromLocal8Bit(process.readAll());
        return result;
    }

    // The values of a registry key as `reg query` shows them, by name in
    // lower case. reg.exe under a busy wineserver now and then fails at
    // once; a second query tells that from a key that is not there.
    QMap<QString, QString> registryValues(const QString& key, const QString& name = {}) const {
        QStringList arguments{QStringLiteral("reg"), QStringLiteral("query"), key};
        if (!name.isEmpty())
            arguments << QStringLiteral("/v") << name;
        Result result = run(QStringLiteral("wine"), arguments);
        if (result.exitCode != 0)
            result = run(QStringLiteral("wine"), arguments);
        QMap<QString, QString> values;
        if (result.exitCode != 0)
            return values;
        static const QRegularExpression row(QStringLiteral("^\\s+(\\S+)\\s+REG_\\w+\\s+(.*?)\\s*$"),
                                            QRegularExpression::MultilineOption);
        for (auto match = row.globalMatch(result.output); match.hasNext();) {
            const auto found = match.next();
            values.insert(found.captured(1).toLower(), found.captured(2));
        }
        return values;
    }

    // A registry value as `reg query` shows it; empty when there is none.
    QString registryValue(const QString& key, const QString& name) const {
        return registryValues(key, name).value(name.toLower());
    }

    // Stores a string value, as `reg add` does.
    Result storeString(const QString& key, const QString& name, const QString& value) const {
        return run(QStringLiteral("wine"),
                   {QStringLiteral("reg"), QStringLiteral("add"), key, QStringLiteral("/v"), name,
                    QStringLiteral("/t"), QStringLiteral("REG_SZ"), QStringLiteral("/d"), value,
                    QStringLiteral("/f")});
    }

    // This system's path of the prefix's drive C.
    QString driveC() const { return m_dir.filePath(QStringLiteral("drive_c")); }

    // The Windows form of a path of this system (Z:\...).
    QString windowsPath(const QString& path) const {
        return run(QStringLiteral("winepath"), {QStringLiteral("-w"), path}).output.trimmed();
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment;
};

// A Windows program's output lines; Windows ends them with CR LF.
class LineReader {
public:
    QStringList take(QByteArray more) {
        m_pending += more;
        QStringList lines;
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            QByteArray line = m_pending.left(end);
            m_pending.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            lines << QString::fromUtf8(line);
        }
        return lines;
    }

private:
    QByteArray m_pending;
};

// nuvokrc.exe under Wine, its log read from standard error: the build's own,
// or the one of another folder (an installed one), started in that folder.
class WindowsProgram {
public:
    explicit WindowsProgram(const WinePrefix& prefix, const QString& folder = windowsBin())
        : m_program(QDir(folder).filePath(QStringLiteral("nuvokrc.exe"))) {
        m_process.setProcessEnvironment(prefix.environment());
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.setWorkingDirectory(folder);
    }
    ~WindowsProgram() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    bool start(const QStringList& arguments) {
        m_process.start(QStringLiteral("wine"),
                        QStringList{m_program, QStringLiteral("--log-stderr")} + arguments);
        return m_process.waitForStarted(10000);
    }
    QProcess& process() { return m_process; }

    QStringList lines() {
        for (const QString& line : m_reader.take(m_process.readAllStandardError()))
            if (!isPlatformNoise(line))
                m_lines << line;
        return m_lines;
    }
    QString logSince(qsizetype from) { return lines().mid(from).join(QLatin1Char('\n')); }

    // Sends key code 0, which does nothing, until the listener has it; true
    // when it did within the time.
    bool waitForFirstKey(quint16 port, int timeoutMs) {
        const QString probeLine = remoteLine(u'\u2400');
        return waitUntil(
            [&] {
                probe(port);
                return waitUntil([&] { return lines().contains(probeLine); }, 2000);
            },
            timeoutMs);
    }

    // Waits for these lines in this order after line number `from`; returns
    // the index after the last of them, or -1.
    qsizetype waitForLines(const QStringList& expected, qsizetype from) {
        qsizetype next = from;
        for (const QString& line : expected) {
            if (!waitUntil([&] { return lines().indexOf(line, next) >= 0; }, kLineTimeoutMs))
                return -1;
            next = m_lines.indexOf(line, next) + 1;
        }
        return next;
    }

private:
    QString m_program;
    QProcess m_process;
    LineReader m_reader;
    QStringList m_lines;
};

// A shown window of Wine's desktop process (explorer.exe), on the screen:
// docked into another program's window (an icon in the panel's tray), or a
// window of the screen's own (a balloon, a taskbar).
struct WineDesktopWindow {
    QRect frame;
    bool docked = false;
};

inline std::vector<WineDesktopWindow> wineDesktopWindows(const nuvok::test::DesktopProbe& probe) {
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    tree.waitForFinished(10000);
    // Each window indented by its depth in the tree.
    static const QRegularExpression window(QStringLiteral("^(\\s*)(0x[0-9a-f]+) "));
    static const QRegularExpression ofExplorer(
        QStringLiteral("\\(\"explorer\\.exe\" \"explorer\\.exe\"\\)"));
    qsizetype screenDepth = -1; // the indent of the screen's own windows
    std::vector<WineDesktopWindow> shown;
    for (const QByteArray& bytes : tree.readAllStandardOutput().split('\n')) {
        const QString row = QString::fromUtf8(bytes);
        const auto match = window.match(row);
        if (!match.hasMatch())
            continue;
        const qsizetype depth = match.capturedLength(1);
        if (screenDepth < 0)
            screenDepth = depth;
        if (!row.contains(ofExplorer))
            continue;
        const nuvok::test::DesktopProbe::WindowView seen =
            probe.view(match.captured(2).toULong(nullptr, 16));
        if (seen.viewable)
            shown.push_back({seen.frame, depth > screenDepth});
    }
    return shown;
}

// Wine's icons in the notification area: small windows of its desktop
// process docked into the panel's tray.
inline bool isTrayIcon(const WineDesktopWindow& seen) {
    return seen.docked && seen.frame.width() >= 8 && seen.frame.width() <= 48 &&
           seen.frame.height() >= 8 && seen.frame.height() <= 48;
}

inline std::vector<QRect> trayIcons(const nuvok::test::DesktopProbe& probe) {
    std::vector<QRect> icons;
    for (const WineDesktopWindow& seen : wineDesktopWindows(probe))
        if (isTrayIcon(seen))
            icons.push_back(seen.frame);
    return icons;
}

// The balloons of the icons' messages: Wine shows one as a tooltip window of
// its desktop process beside the icon, pointing at it, about two seconds after
// the message and for ten seconds at least.
inline std::vector<QRect> trayBalloons(const nuvok::test::DesktopProbe& probe) {
    const std::vector<WineDesktopWindow> shown = wineDesktopWindows(probe);
    std::vector<QRect> balloons;
    for (const WineDesktopWindow& seen : shown) {
        const QRect& frame = seen.frame;
        const auto pointsAt = [&](const WineDesktopWindow& icon) {
            const int x = icon.frame.center().x();
            return isTrayIcon(icon) && !frame.intersects(icon.frame) && frame.left() <= x &&
                   x <= frame.right();
        };
        if (!seen.docked && std::any_of(shown.begin(), shown.end(), pointsAt))
            balloons.push_back(frame);
    }
    return balloons;
}

// The shown windows with exactly this title.
inline std::vector<unsigned long> shownWindows(const nuvok::test::DesktopProbe& probe,
                                               const QString& title) {
    std::vector<unsigned long> shown;
    for (unsigned long window : probe.windowsTitled(title))
        if (probe.view(window).viewable)
            shown.push_back(window);
    return shown;
}

// Makes the window the active one with a click on its title bar, as a user
// would (xdotool's own activation is refused under icewm); false when it
// does not become active.
inline bool makeActive(const nuvok::test::DesktopProbe& probe, unsigned long window) {
    return waitUntil(
        [&] {
            if (probe.activeWindow() == window)
                return true;
            const QRect frame = probe.view(window).frame;
            click(QPoint(frame.center().x(), frame.top() + 10));
            return waitUntil([&] { return probe.activeWindow() == window; }, 1000);
        },
        kLineTimeoutMs);
}

// The exit code of a test that cannot run here: 77 (skipped, with what is
// missing) when something is, else 0.
inline int skippedWithout(QStringList missing, std::initializer_list<const char*> tools) {
    for (const char* tool : tools)
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing << QString::fromLatin1(tool);
    if (missing.isEmpty())
        return 0;
    std::fprintf(stderr, "SKIP: not run, missing: %s\n",
                 qPrintable(missing.join(QStringLiteral(", "))));
    return 77;
}

} // namespace nuvok::e2e
