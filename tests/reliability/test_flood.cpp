#include "support/eventwait.h"
#include "support/memorysettings.h"
#include "support/windowfixture.h"
#include "web/phoneinput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <atomic>
#include <thread>

using namespace nuvok::test;

// Floods of arrivals while the controller refuses: the window stays alive,
// the commands waiting for the controller and the log stay bounded, the event
// loop keeps ticking and a key sent afterwards is still handled.
// NUVOKRC_FLOOD_SCALE multiplies the message counts (the soak run uses it).
class FloodTest : public QObject {
    Q_OBJECT

private slots:
    void burstOfLedKeysIsHandledInFullAndEveryCommandNamed();
    void sustainedLedFloodKeepsTheQueueBounded();
    void randomDatagrams();
    void tcpCyclesWithListenPressedBetween();
    void aThousandWebConnectionsLeaveNothingBehind();
};

namespace {

constexpr int kMaxLogLines = 400;
const QByteArray kMenuKey("\xEE\xAC", 2);
const QByteArray kLeftKey("\x10\xAC", 2);
const QByteArray kLedKey("1\xAC", 2);
const QString kDroppedPrefix = QStringLiteral("Dropped ");

int scaled(int count) {
    bool ok = false;
    const int scale = qEnvironmentVariableIntValue("NUVOKRC_FLOOD_SCALE", &ok);
    return ok && scale > 0 ? count * scale : count;
}

// The controller's port is closed: every command is refused, twice.
WindowOptions waitingControllerOptions() {
    WindowOptions options = WindowFixture::shortOptions();
    options.controllerPort = float(freePort());
    options.controllerDeadlineMs = 50;
    options.maxLogLines = kMaxLogLines;
    return options;
}

quint16 openUdp(WindowFixture& f) {
    f->handset()->listenPort = 0;
    runHandler(*f.window, "doListen");
    return quint16(f->handset()->socket().boundPort());
}

// Every line the session logs while it lives, also those the panel has trimmed since.
class LogRecorder {
public:
    explicit LogRecorder(const WindowFixture& f) {
        m_connection = QObject::connect(f->session(), &RemoteSession::logLine,
                                        [this](const QString& line) { lines << line; });
    }
    ~LogRecorder() { QObject::disconnect(m_connection); }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    QStringList lines;

private:
    QMetaObject::Connection m_connection;
};

// Ticks of the event loop at the window's state timer's pace (100 ms).
struct Heartbeat {
    QTimer timer;
    QSignalSpy ticks{&timer, &QTimer::timeout};
    Heartbeat() { timer.start(100); }
};

quint64 droppedIn(const QStringList& lines) {
    quint64 dropped = 0;
    for (const QString& line : lines) {
        if (line.startsWith(kDroppedPrefix))
            dropped += line.section(' ', 1, 1).toULongLong();
    }
    return dropped;
}

void enterLedMode(WindowFixture& f, quint16 port) {
    QUdpSocket peer;
    peer.writeDatagram(kMenuKey, QHostAddress::LocalHost, port);
    peer.writeDatagram(kLeftKey, QHostAddress::LocalHost, port);
    QVERIFY(waitUntil([&] { return f->session()->shownMode() == QStringLiteral("1"); }));
}

// The window has gone quiet: nothing waits to be read or sent, and nothing
// was logged for a while (a log of identical lines, trimmed as it grows, can
// read the same while it moves, hence the first two).
void waitUntilQuiet(WindowFixture& f) {
    QString last;
    do {
        last = f->logText();
        QTest::qWait(300);
    } while (f->logText() != last || f->session()->controllerLink()->pending() > 0 ||
             f->handset()->socket().bytesPending() > 0);
}

// A key sent after the flood is handled: the menu key arms the menu.
void checkAKeyIsStillHandled(WindowFixture& f, quint16 port, bool tcp = false) {
    const LogRecorder log(f);
    if (tcp) {
        runHandler(*f.window, "b_listen_Click");
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(peer.waitForConnected(5000));
        peer.write(kMenuKey);
        QVERIFY(waitUntil([&] { return log.lines.contains("bMenu 1"); }));
    } else {
        QUdpSocket peer;
        peer.writeDatagram(kMenuKey, QHostAddress::LocalHost, port);
        QVERIFY2(waitUntil([&] { return log.lines.contains("bMenu 1"); }),
                 qPrintable(f->logText().right(2000) + "\nstate " +
                            QString::number(f->handset()->socket().State())));
    }
}

// The event loop ran all along: at least one tick per half second.
void checkTimerKeptTicking(const QSignalSpy& ticks, const QElapsedTimer& clock) {
    const qint64 least = qMax<qint64>(1, clock.elapsed() / 500);
    QVERIFY2(
        ticks.size() >= least,
        qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks.size()).arg(clock.elapsed())));
}

void checkLogIsBounded(const WindowFixture& f) {
    const qsizetype lines = f.logLines().size();
    QVERIFY2(lines <= kMaxLogLines, qPrintable(QString::number(lines)));
}

} // namespace

int notDeliveredIn(const QStringList& lines) {
    return int(lines.filter(QStringLiteral(" not delivered (")).size());
}

void FloodTest::burstOfLedKeysIsHandledInFullAndEveryCommandNamed() {
    WindowFixture f(waitingControllerOptions());
    const quint16 port = openUdp(f);
    enterLedMode(f, port);
    const LogRecorder log(f);
    // All in the socket before the first is handled: nothing waits for the
    // controller, so each key is handled in turn and its command queued.
    constexpr int kSent = 100;
    QUdpSocket peer;
    for (int i = 0; i < kSent; ++i)
        peer.writeDatagram(kLedKey, QHostAddress::LocalHost, port);
    QVERIFY(waitUntil([&] { return notDeliveredIn(log.lines) == kSent; }, 20000));
    waitUntilQuiet(f);
    QCOMPARE(int(log.lines.count(QStringLiteral("Remote: 1"))), kSent);
    QCOMPARE(notDeliveredIn(log.lines), kSent);
    QCOMPARE(droppedIn(log.lines), quint64(0));
    QCOMPARE(f->session()->controllerLink()->pending(), 0);
    checkAKeyIsStillHandled(f, port);
}

void FloodTest::sustainedLedFloodKeepsTheQueueBounded() {
    WindowFixture f(waitingControllerOptions());
    const quint16 port = openUdp(f);
    enterLedMode(f, port);
    const Heartbeat heartbeat;
    const LogRecorder log(f);
    qsizetype mostPending = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this,
            [&] { mostPending = qMax(mostPending, f->session()->controllerLink()->pending()); });
    sampler.start(5);
    const int total = scaled(20000);
    std::atomic<bool> done{false};
    std::thread sender([&] {
        QUdpSocket peer;
        for (int i = 0; i < total; ++i) {
            peer.writeDatagram(kLedKey, QHostAddress::LocalHost, port);
            if (i % 100 == 99) // paced, so that the system's buffer does not drop them
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    waitUntil([&] { return done.load(); }, 600000);
    sender.join();
    waitUntilQuiet(f);
    const QStringList& added = log.lines;
    qInfo("%d LED keys in %lld ms; %lld handled, %d commands not delivered, %llu dropped by the "
          "inbox; at most %lld commands pending; %d timer ticks",
          total, clock.elapsed(), added.count(QStringLiteral("Remote: 1")), notDeliveredIn(added),
          f->handset()->socket().droppedDatagrams(), qlonglong(mostPending),
          int(heartbeat.ticks.size()));
    QVERIFY(mostPending <= ControllerLink::kMaxWaiting + 1);
    QCOMPARE(droppedIn(added), quint64(0));
    checkTimerKeptTicking(heartbeat.ticks, clock);
    checkLogIsBounded(f);
    checkAKeyIsStillHandled(f, port);
}

void FloodTest::randomDatagrams() {
    WindowFixture f(waitingControllerOptions());
    const quint16 port = openUdp(f);
    const Heartbeat heartbeat;
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("seed %u", seed);
    QRandomGenerator random(seed);
    const int total = scaled(4000);
    QUdpSocket peer;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < total; ++i) {
        QByteArray data(random.bounded(65), Qt::Uninitialized);
        for (char& c : data)
            c = char(random.bounded(256));
        // Half of them well-formed keys of either kind, so that the interpreter
        // runs too: LED commands, door pulses, volume and player keys.
        if (data.size() >= 2 && random.bounded(2) == 0)
            data[1] = random.bounded(2) == 0 ? '\xAC' : '\xAF';
        peer.writeDatagram(data, QHostAddress::LocalHost, port);
        if (i % 50 == 49)
            QCoreApplication::processEvents();
    }
    waitUntilQuiet(f);
    qInfo("%d random datagrams in %lld ms; %llu dropped by the inbox; %d timer ticks", total,
          clock.elapsed(), f->handset()->socket().droppedDatagrams(), int(heartbeat.ticks.size()));
    checkTimerKeptTicking(heartbeat.ticks, clock);
    checkLogIsBounded(f);
    checkAKeyIsStillHandled(f, port);
}

void FloodTest::tcpCyclesWithListenPressedBetween() {
    WindowFixture f(waitingControllerOptions());
    f.settings->values["Protocol"] = "TCP";
    const quint16 port = freePort();
    f->handset()->listenPort = port;
    runHandler(*f.window, "doListen");
    QCOMPARE(f->handset()->socket().State(), 2);
    const Heartbeat heartbeat;
    QRandomGenerator random(20260101);
    const int cycles = scaled(300);
    int connected = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < cycles; ++i) {
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, port);
        if (peer.waitForConnected(1000)) {
            ++connected;
            QByteArray data(random.bounded(65), Qt::Uninitialized);
            for (char& c : data)
                c = char(random.bounded(256));
            peer.write(data);
            peer.waitForBytesWritten(1000);
            QCoreApplication::processEvents();
            // Sometimes Listen is pressed while the peer is still there.
            if (random.bounded(4) == 0)
                runHandler(*f.window, "b_listen_Click");
            peer.disconnectFromHost();
        }
        QCoreApplication::processEvents();
        runHandler(*f.window, "b_listen_Click");
    }
    waitUntilQuiet(f);
    qInfo("%d connections of %d cycles in %lld ms; %d timer ticks", connected, cycles,
          clock.elapsed(), int(heartbeat.ticks.size()));
    QVERIFY(connected > cycles / 2);
    checkTimerKeptTicking(heartbeat.ticks, clock);
    checkLogIsBounded(f);
    checkAKeyIsStillHandled(f, port, true);
}

// Connections to the web remote, each of them a page request, a refused
// upgrade or garbage, given up at once: the descriptors come back, the event
// loop ticks and a handset's key after them is handled.
void FloodTest::aThousandWebConnectionsLeaveNothingBehind() {
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    if (!descriptors.exists())
        QSKIP("this system does not list a process's descriptors");
    WindowFixture f(waitingControllerOptions());
    const quint16 port = freePort();
    f->handset()->listenPort = port;
    runHandler(*f.window, "doListen");
    MemorySettings store;
    PhoneBook book(&store);
    PhoneInput phone(&book, nullptr);
    phone.setServing(true, 0);
    phone.start();
    const quint16 web = phone.server()->port();
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(web) + "\r\n";
    const QByteArray requests[] = {"GET / HTTP/1.1\r\n" + host + "\r\n",
                                   "GET /ws HTTP/1.1\r\n" + host +
                                       "Origin: http://evil.example\r\nUpgrade: websocket\r\n\r\n",
                                   QByteArray(300, '\x81'), QByteArray()};
    const auto open = [&] {
        return descriptors.entryList(QDir::NoDotAndDotDot | QDir::System).size();
    };
    const qsizetype before = open();
    const Heartbeat heartbeat;
    QElapsedTimer clock;
    clock.start();
    const int attempts = scaled(1000);
    for (int i = 0; i < attempts; ++i) {
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, web);
        if (peer.waitForConnected(1000) && !requests[i % 4].isEmpty()) {
            peer.write(requests[i % 4]);
            peer.waitForBytesWritten(1000);
            if (i % 8 == 0) // some wait for the page, as a browser does
                QVERIFY(waitUntil([&] { return peer.bytesAvailable() > 0; }, 2000));
        }
        QCoreApplication::processEvents();
        peer.abort();
    }
    QVERIFY2(waitUntil([&] { return open() <= before + 2; }, 10000),
             qPrintable(QStringLiteral("%1 descriptors open, %2 before").arg(open()).arg(before)));
    qInfo("%d connections in %lld ms", attempts, clock.elapsed());
    checkTimerKeptTicking(heartbeat.ticks, clock);
    checkAKeyIsStillHandled(f, port);
}

QTEST_MAIN(FloodTest)
#include "test_flood.moc"
