// The Windows set-up program, built here from the windows preset's build by
// scripts/package-windows.sh, used as a Windows user (through its pages, with
// real key presses) and an administrator's silent deployment use it: under
// Wine, on a private X server with icewm and a private sound server, each case
// on a fresh Wine prefix. What it did is read back from the prefix's files and
// registry, from the X server and from the process list (startwatch.exe: who
// started the program it starts).
//
// The run needs: NUVOKRC_WINDOWS_BUILD (the windows preset's build folder, with
// its test tools), makensis, wine, xdotool, xwininfo. Without them it exits with
// 77 (skipped).

#include "wineworld.h"

#include "support/procnet.h"

#include <QFileInfo>
#include <QTest>

using namespace nuvok::e2e;
using nuvok::test::DesktopProbe;
using nuvok::test::udpPortBound;

namespace {

const QString kOldVersion = QStringLiteral("0.1.0");
const QString kNewVersion = QStringLiteral("0.1.1");
const QString kInstallFolder = QStringLiteral("C:\\Program Files\\NUVOKrc");
const QString kUninstallKey =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\NUVOKrc");
const QString kRunKey = QStringLiteral("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString kSettingsKey =
    QStringLiteral("HKCU\\Software\\VB and VBA Program Settings\\NUVOKrc\\Settings");
// What the program's own "Start on Power up" writes for a program in that folder.
const QString kRunValue = QStringLiteral("\"%1\\nuvokrc.exe\" -min").arg(kInstallFolder);
const QString kShortcut =
    QStringLiteral("ProgramData/Microsoft/Windows/Start Menu/Programs/NUVOK Remote Control.lnk");

QString buildFolder() {
    return qEnvironmentVariable("NUVOKRC_WINDOWS_BUILD");
}

// startwatch.exe under Wine: who starts each nuvokrc.exe that starts while
// it runs.
class StartWatch {
public:
    explicit StartWatch(const WinePrefix& prefix) {
        m_process.setProcessEnvironment(prefix.environment());
        m_process.start(QStringLiteral("wine"),
                        {QDir(buildFolder()).filePath(QStringLiteral("tests/startwatch.exe")),
                         QStringLiteral("nuvokrc.exe")});
    }
    ~StartWatch() {
        m_process.closeWriteChannel(); // it ends at the end of its input
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    StartWatch(const StartWatch&) = delete;
    StartWatch& operator=(const StartWatch&) = delete;

    // True once it watches.
    bool waitReady() {
        return waitUntil([&] { return lines().contains(QStringLiteral("watching")); },
                         kPrefixTimeoutMs);
    }
    // The program file name of whatever started the first nuvokrc.exe seen,
    // or what the watch said when none started in time.
    QString starter() {
        static const QRegularExpression started(QStringLiteral("^started \\d+ by (\\S+) \\d+$"));
        QString name;
        waitUntil(
            [&] {
                for (const QString& line : lines())
                    if (const auto match = started.match(line); match.hasMatch()) {
                        name = match.captured(1);
                        return true;
                    }
                return false;
            },
            kPrefixTimeoutMs);
        if (name.isEmpty())
            return QStringLiteral("no nuvokrc.exe started: ") + m_lines.join(u' ');
        // Its looks every few milliseconds are no longer needed.
        m_process.closeWriteChannel();
        return name;
    }

private:
    QStringList lines() {
        m_lines << m_reader.take(m_process.readAllStandardOutput());
        return m_lines;
    }

    QProcess m_process;
    LineReader m_reader;
    QStringList m_lines;
};

} // namespace

class WindowsInstallerTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void installThroughThePagesPutsEverythingInPlace();
    void updateKeepsSettingsAndRestartsTheProgram();
    void silentUninstallLeavesOnlyTheSettings();

private:
    // The set-up program of this version, silently, to its end.
    void install(const QString& version);
    // The set-up program of this version through its pages, to its end.
    void installThroughThePages(const QString& version);
    QString installed(const QString& path = {}) const {
        return QDir(m_prefix->driveC()).filePath(QStringLiteral("Program Files/NUVOKrc/") + path);
    }
    // The installed program, started from its folder, until it takes a key.
    void startInstalled(WindowsProgram& program, quint16 port, const QStringList& arguments);
    void storePort(quint16 port);
    // The prefix's processes and the program's windows, for a failure's message.
    QString whatRuns() const {
        QProcess tree;
        tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
        tree.waitForFinished(10000);
        QStringList windows;
        for (const QString& row : QString::fromLocal8Bit(tree.readAllStandardOutput()).split(u'\n'))
            if (row.contains(QStringLiteral("nuvokrc.exe")))
                windows << row.trimmed();
        // The processes as the system sees them, and the UDP ports taken: a
        // program that runs but never listens, or one that still holds the port.
        QProcess ps;
        ps.start(QStringLiteral("sh"),
                 {QStringLiteral("-c"),
                  QStringLiteral("ps -eo pid,ppid,etimes,args | grep -i -e nuvokrc -e explorer; "
                                 "cat /proc/net/udp")});
        ps.waitForFinished(10000);
        return m_prefix->run(QStringLiteral("wine"), {QStringLiteral("tasklist")}).output +
               windows.join(u'\n') +
               QStringLiteral("\nicons in the notification area: %1\n")
                   .arg(trayIcons(m_probe).size()) +
               QString::fromLocal8Bit(ps.readAllStandardOutput());
    }

    QTemporaryDir m_setups;
    DesktopProbe m_probe;
    std::unique_ptr<WinePrefix> m_prefix;
};

void WindowsInstallerTest::initTestCase() {
    QVERIFY2(m_probe.connected(), "run this test through scripts/private-desktop.sh");
    // An older and a newer set-up program of the same files, as an update meets them.
    for (const QString& version : {kOldVersion, kNewVersion}) {
        QProcess build;
        build.setProcessChannelMode(QProcess::MergedChannels);
        build.start(QStringLiteral(NUVOKRC_SOURCE_DIR "/scripts/package-windows.sh"),
                    {QStringLiteral("--installer"), buildFolder(),
                     m_setups.filePath(version + QStringLiteral("-setup.exe")), version});
        QVERIFY2(build.waitForFinished(600000) && build.exitCode() == 0,
                 qPrintable(QString::fromLocal8Bit(build.readAll())));
    }
}

void WindowsInstallerTest::init() {
    m_prefix = std::make_unique<WinePrefix>();
    const auto boot =
        m_prefix->run(QStringLiteral("wine"), {QStringLiteral("wineboot"), QStringLiteral("-i")},
                      kPrefixTimeoutMs);
    QVERIFY2(boot.exitCode == 0, qPrintable(boot.output));
}

void WindowsInstallerTest::cleanup() {
    m_prefix.reset();
}

void WindowsInstallerTest::install(const QString& version) {
    const auto setup = m_prefix->run(
        QStringLiteral("wine"),
        {m_setups.filePath(version + QStringLiteral("-setup.exe")), QStringLiteral("/S")},
        kPrefixTimeoutMs);
    QVERIFY2(setup.exitCode == 0, qPrintable(setup.output));
}

// Enter on each page, as a user who takes the default choices: Next on the
// components, Install on the folder, and (the files page moving on by itself)
// Finish, with "Start NUVOKrc now" ticked.
void WindowsInstallerTest::installThroughThePages(const QString& version) {
    QProcess setup;
    setup.setProcessEnvironment(m_prefix->environment());
    setup.setProcessChannelMode(QProcess::MergedChannels);
    setup.start(QStringLiteral("wine"),
                {m_setups.filePath(version + QStringLiteral("-setup.exe"))});
    QVERIFY(setup.waitForStarted(10000));
    // The Modern UI's pages add a blank to the title.
    const QString title = QStringLiteral("NUVOKrc %1 Setup ").arg(version);
    const auto ended = [&] { return setup.state() == QProcess::NotRunning; };
    // A key pressed while the files are being installed does nothing. A click
    // on the title bar does not make this dialog active under icewm, as it
    // does other windows; it takes the input focus when given it.
    const bool done = waitUntil(
        [&] {
            const auto shown = shownWindows(m_probe, title);
            if (!shown.empty()) {
                if (m_probe.activeWindow() != shown.front())
                    xdotool({QStringLiteral("windowfocus"), QString::number(shown.front())});
                xdotool({QStringLiteral("key"), QStringLiteral("Return")});
            }
            return waitUntil(ended, 1500);
        },
        kPrefixTimeoutMs);
    if (!done) {
        setup.kill();
        setup.waitForFinished(5000);
    }
    QVERIFY2(done, qPrintable(QString::fromLocal8Bit(setup.readAll())));
    QCOMPARE(setup.exitCode(), 0);
}

void WindowsInstallerTest::storePort(quint16 port) {
    const auto stored =
        m_prefix->storeString(kSettingsKey, QStringLiteral("portNum"), QString::number(port));
    QVERIFY2(stored.exitCode == 0, qPrintable(stored.output));
}

void WindowsInstallerTest::startInstalled(WindowsProgram& program, quint16 port,
                                          const QStringList& arguments) {
    QVERIFY(program.start(arguments));
    QVERIFY2(program.waitForFirstKey(port, kPrefixTimeoutMs), qPrintable(program.logSince(0)));
}

// The program that the last page starts runs as the user: the desktop shell
// starts it, not the set-up program with its administrator rights.
void WindowsInstallerTest::installThroughThePagesPutsEverythingInPlace() {
    const quint16 port = freePort();
    QVERIFY(port != 0);
    storePort(port);
    StartWatch watch(*m_prefix);
    QVERIFY(watch.waitReady());
    installThroughThePages(kNewVersion);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(watch.starter(), QStringLiteral("explorer.exe"));
    // ... with the user's settings: their port. The kernel's table tells: a
    // bind of the test's own would, at the moment the program opens the
    // port, take it from the program.
    QVERIFY2(waitUntil([&] { return udpPortBound(port); }, kPrefixTimeoutMs),
             qPrintable(whatRuns()));

    for (const char* file :
         {"nuvokrc.exe", "nuvok-send.exe", "Qt6Core.dll", "platforms/qwindows.dll", "README.txt",
          "licenses/LICENSE.txt", "licenses/LGPL-3.0.txt", "licenses/SOURCES.txt", "uninstall.exe"})
        QVERIFY2(QFileInfo::exists(installed(QString::fromLatin1(file))), file);
    QVERIFY(QFileInfo::exists(QDir(m_prefix->driveC()).filePath(kShortcut)));

    const QStringList uninstallValues{
        QStringLiteral("DisplayName"),     QStringLiteral("DisplayVersion"),
        QStringLiteral("Publisher"),       QStringLiteral("DisplayIcon"),
        QStringLiteral("UninstallString"), QStringLiteral("QuietUninstallString"),
        QStringLiteral("InstallLocation"), QStringLiteral("EstimatedSize")};
    const auto uninstall = m_prefix->registryValues(kUninstallKey);
    for (const QString& name : uninstallValues)
        QVERIFY2(!uninstall.value(name.toLower()).isEmpty(), qPrintable(name));
    QCOMPARE(uninstall.value(QStringLiteral("displayversion")), kNewVersion);
    QCOMPARE(uninstall.value(QStringLiteral("installlocation")), kInstallFolder);
    QCOMPARE(uninstall.value(QStringLiteral("quietuninstallstring")),
             QStringLiteral("\"%1\\uninstall.exe\" /S").arg(kInstallFolder));
    // EstimatedSize is in KiB: the programs and Qt are some MiB.
    QVERIFY(uninstall.value(QStringLiteral("estimatedsize")).toUInt(nullptr, 0) > 1024);
    QCOMPARE(m_prefix->registryValue(kRunKey, QStringLiteral("NUVOKRC")), kRunValue);
}

void WindowsInstallerTest::updateKeepsSettingsAndRestartsTheProgram() {
    install(kOldVersion);
    const quint16 port = freePort();
    QVERIFY(port != 0);
    storePort(port);
    WindowsProgram running(*m_prefix, installed());
    startInstalled(running, port, {});
    QVERIFY(waitUntil([&] { return trayIcons(m_probe).size() == 1; }, kLineTimeoutMs));

    StartWatch watch(*m_prefix);
    QVERIFY(watch.waitReady());
    install(kNewVersion);
    // The old program was closed the way closing its window closes it.
    QProcess& process = running.process();
    QVERIFY2(waitUntil([&] { return process.state() == QProcess::NotRunning; }, kLineTimeoutMs),
             qPrintable(running.logSince(0)));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    // ... and the new one runs in its place, started as the user by the
    // desktop shell: its port, one icon.
    QCOMPARE(watch.starter(), QStringLiteral("explorer.exe"));
    QVERIFY2(waitUntil([&] { return udpPortBound(port); }, kPrefixTimeoutMs),
             qPrintable(whatRuns()));
    QVERIFY(waitUntil([&] { return trayIcons(m_probe).size() == 1; }, kLineTimeoutMs));

    QCOMPARE(m_prefix->registryValue(kUninstallKey, QStringLiteral("DisplayVersion")), kNewVersion);
    const auto entries = m_prefix->run(
        QStringLiteral("wine"),
        {QStringLiteral("reg"), QStringLiteral("query"),
         QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"),
         QStringLiteral("/s")});
    QCOMPARE(entries.output.count(QStringLiteral("NUVOK Remote Control")), 1);
    QCOMPARE(m_prefix->registryValue(kSettingsKey, QStringLiteral("portNum")),
             QString::number(port));
}

void WindowsInstallerTest::silentUninstallLeavesOnlyTheSettings() {
    install(kNewVersion);
    const quint16 port = freePort();
    QVERIFY(port != 0);
    storePort(port);
    WindowsProgram running(*m_prefix, installed());
    startInstalled(running, port, {});

    // The uninstaller copies itself away and returns at once; its work is
    // done when the folder is gone.
    const auto uninstall =
        m_prefix->run(QStringLiteral("wine"),
                      {kInstallFolder + QStringLiteral("\\uninstall.exe"), QStringLiteral("/S")});
    QVERIFY2(uninstall.exitCode == 0, qPrintable(uninstall.output));
    QVERIFY2(waitUntil([&] { return !QFileInfo::exists(installed()); }, kPrefixTimeoutMs),
             qPrintable(QDir(installed())
                            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                            .join(QLatin1Char(' '))));
    QProcess& process = running.process();
    QVERIFY(waitUntil([&] { return process.state() == QProcess::NotRunning; }, kLineTimeoutMs));
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(waitUntil([&] { return trayIcons(m_probe).empty(); }, kLineTimeoutMs));

    QVERIFY(!QFileInfo::exists(QDir(m_prefix->driveC()).filePath(kShortcut)));
    QVERIFY(m_prefix->registryValue(kRunKey, QStringLiteral("NUVOKRC")).isEmpty());
    QVERIFY(m_prefix->registryValue(kUninstallKey, QStringLiteral("DisplayName")).isEmpty());
    QCOMPARE(m_prefix->registryValue(kSettingsKey, QStringLiteral("portNum")),
             QString::number(port));
}

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList missing;
    if (buildFolder().isEmpty() ||
        !QFileInfo::exists(QDir(buildFolder()).filePath(QStringLiteral("bin/nuvokrc.exe"))))
        missing << QStringLiteral(
            "nuvokrc.exe in NUVOKRC_WINDOWS_BUILD/bin (./dev.sh windows builds it)");
    else if (!QFileInfo::exists(
                 QDir(buildFolder()).filePath(QStringLiteral("tests/startwatch.exe"))))
        missing << QStringLiteral("startwatch.exe in NUVOKRC_WINDOWS_BUILD/tests");
    if (const int skipped =
            skippedWithout(missing, {"makensis", "wine", "wineserver", "xdotool", "xwininfo"}))
        return skipped;
    WindowsInstallerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_windows_installer.moc"
