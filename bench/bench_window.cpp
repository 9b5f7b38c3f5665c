// The main window in this process on Qt's offscreen platform, with back-ends
// that cost nothing: how fast a key message reaches the key interpreter, how
// the log panel copes with a long run, and whether the idle timer repaints.

#include "figures.h"
#include "processes.h"
#include "support/fakedesktopcontrol.h"
#include "support/fakemixer.h"
#include "support/faketrayarea.h"
#include "support/freeport.h"
#include "support/memorysettings.h"
#include "support/windowfixture.h"
#include "udpsender.h"

#include "app/f_nuvokrc.h"
#include "common/failure.h"
#include "net/socketcomponent.h"
#include "remote/keymessage.h"
#include "remote/remoteinterpreter.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <semaphore>
#include <stdexcept>
#include <thread>

using bench::Clock;
using bench::UdpSender;

namespace {

constexpr int kDispatchMessages = 10000;
constexpr auto kGapBetweenMessages = std::chrono::microseconds(500);
constexpr int kLogLines = 100000;
constexpr int kLogWindow = 1000;
constexpr int kLogWarmUp = 1000;
constexpr int kLogRuns = 5;

// A main window with the bench's back-ends. Either back-end calls `reached`
// when the key interpreter gets to it.
struct BenchWindow {
    std::shared_ptr<nuvok::test::FakeDesktopControl> desktop =
        std::make_shared<nuvok::test::FakeDesktopControl>();
    nuvok::test::FakeMixerDevice mixer;
    std::function<void()> reached;
    std::unique_ptr<F_NUVOKrc> window;

    BenchWindow() {
        WindowServices services;
        services.settings = std::make_shared<nuvok::test::MemorySettings>();
        services.trayArea = std::make_shared<nuvok::test::FakeTrayArea>();
        services.desktop = desktop;
        mixer.addLine(nuvok::kComponentSpeakers, 0, 65535, 32768);
        mixer.onCall = [this](nuvok::test::MixerOp op) {
            if (op == nuvok::test::MixerOp::Read)
                notify();
        };
        services.mixerBackend = [this] { return mixer.backend(); };
        desktop->reached = [this] { notify(); };
        WindowOptions options;
        options.controllerHost = QStringLiteral("127.0.0.1");
        options.decimalSeparator = '.';
        window = std::make_unique<F_NUVOKrc>(std::move(services), std::move(options));
    }

    void notify() {
        if (reached)
            reached();
    }
};

void runEventLoopFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// Notes when the key reaches the interpreter's first action (on the players'
// thread, where the window hands it) and when the window's handling of the
// key message is over; done once both are known, in either order.
class DispatchProbe : public QObject {
public:
    explicit DispatchProbe(BenchWindow& bench) {
        bench.reached = [this] { note(true); };
        connect(bench.window->session(), &RemoteSession::busy, this, [this](bool handling) {
            if (!handling)
                note(false);
        });
    }

    void arm() {
        const std::lock_guard lock(m_mutex);
        m_entryTaken = false;
        m_returnTaken = false;
        m_armed = true;
    }
    void disarm() {
        const std::lock_guard lock(m_mutex);
        m_armed = false;
    }

    std::binary_semaphore done{0};
    Clock::time_point entry;
    Clock::time_point returned;

private:
    void note(bool isEntry) {
        const auto now = Clock::now();
        const std::lock_guard lock(m_mutex);
        if (!m_armed)
            return;
        bool& taken = isEntry ? m_entryTaken : m_returnTaken;
        if (taken)
            return;
        taken = true;
        (isEntry ? entry : returned) = now;
        if (m_entryTaken && m_returnTaken) {
            m_armed = false;
            done.release();
        }
    }

    std::mutex m_mutex;
    bool m_armed = false;
    bool m_entryTaken = false;
    bool m_returnTaken = false;
};

struct DispatchFigures {
    std::vector<double> toEntry;
    std::vector<double> toReturn;
    int lost = 0;
};

// Sends the messages one at a time from another thread, each when the window
// is done with the one before and a short pause has passed.
DispatchFigures measureDispatch(const std::vector<unsigned char>& keys) {
    BenchWindow bench;
    const int port = nuvok::test::freePort();
    bench.window->Form_Load("-port " + std::to_string(port));
    DispatchProbe probe(bench);
    DispatchFigures figures;

    std::thread sender([&] {
        UdpSender udp(port);
        for (int i = 0; i < kDispatchMessages; ++i) {
            std::this_thread::sleep_for(kGapBetweenMessages);
            probe.arm();
            const auto sent = Clock::now();
            udp.send(keys[static_cast<std::size_t>(i) % keys.size()], nuvok::kKindKey);
            if (!probe.done.try_acquire_for(std::chrono::seconds(2))) {
                probe.disarm();
                ++figures.lost;
                continue;
            }
            figures.toEntry.push_back(bench::microseconds(sent, probe.entry));
            figures.toReturn.push_back(bench::microseconds(sent, probe.returned));
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    sender.join();
    return figures;
}

std::string triple(const bench::Summary& summary) {
    return bench::fixed(summary.p50, 1) + " / " + bench::fixed(summary.p99, 1) + " / " +
           bench::fixed(summary.max, 1);
}

void dispatchLatency() {
    struct Row {
        const char* what;
        std::vector<unsigned char> keys;
    };
    const std::vector<Row> rows = {
        {"key 0: space to the focused window (fake keystrokes)", {'0'}},
        {"Up / Down: volume step (fake mixer)",
         {static_cast<unsigned char>(nuvok::kKeyUp), static_cast<unsigned char>(nuvok::kKeyDown)}},
    };
    bench::Table table("Key dispatch in the running window: UDP on loopback to doRC, in "
                       "microseconds (p50 / p99 / max)",
                       {"keys", "messages", "send to doRC entry (goal p99 <= 500)",
                        "send to doRC return", "lost"});
    for (const Row& row : rows) {
        const DispatchFigures figures = measureDispatch(row.keys);
        const bench::Summary entry = bench::summarize(figures.toEntry);
        table.addRow({row.what, std::to_string(figures.toEntry.size()),
                      triple(entry) + " " + bench::verdict(entry.p99 <= 500),
                      triple(bench::summarize(figures.toReturn)), std::to_string(figures.lost)});
    }
    table.print();
}

QString logLine(int number) {
    static const QString kinds[] = {
        QStringLiteral("Remote: 5"),
        QStringLiteral("[Space] Pause"),
        QStringLiteral("RemoteMenu: 238"),
        QStringLiteral("mode_Video"),
        QStringLiteral("Vol+"),
        QStringLiteral("bMenu"),
    };
    return kinds[number % 6];
}

struct GrowthFigures {
    double firstMicroseconds = 0; // mean per line
    double lastMicroseconds = 0;
    long rssEmptyKiB = 0;
    long rssFullKiB = 0;
    int blocks = 0;
};

// Processor time of this thread in microseconds: unlike the wall clock it
// does not count the time other programs on a busy machine take.
double threadCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Appends `count` lines and lets the event loop turn as in a run: after every
// line when the window is hidden, after every hundred when it is shown (a
// burst of keys, one repaint). Returns the processor time it took.
double appendLines(F_NUVOKrc& window, int first, int count, int linesPerTurn) {
    const double start = threadCpuMicroseconds();
    for (int i = first; i < first + count; ++i) {
        window.logData(logLine(i));
        if (i % linesPerTurn == linesPerTurn - 1)
            QCoreApplication::processEvents();
    }
    return threadCpuMicroseconds() - start;
}

// Two logs in one process: the first 1,000 lines of one are appended in turns
// with the last 1,000 of the other's 100,000, a turn's lines each, so that a
// change in the machine's speed (other guests of a virtual machine, frequency
// steps) falls on both alike. The first lines a process lays out pay for its
// caches (fonts, glyphs, code paging in), so each log first takes a warm-up
// of lines that CLR then removes; the memory of the empty logs is read after
// that, so that whatever the warm-up keeps counts as added.
GrowthFigures measureLogGrowth(bool shown) {
    BenchWindow early;
    BenchWindow late;
    const int linesPerTurn = shown ? 100 : 1;
    for (BenchWindow* bench : {&early, &late}) {
        if (shown) {
            bench->window->show();
            runEventLoopFor(std::chrono::milliseconds(200));
        }
        appendLines(*bench->window, 0, kLogWarmUp, linesPerTurn);
        nuvok::test::runHandler(*bench->window, "B_clr_Click");
        QCoreApplication::processEvents();
    }
    GrowthFigures figures;
    figures.rssEmptyKiB = bench::residentKiB(getpid());
    appendLines(*late.window, 0, kLogLines - kLogWindow, linesPerTurn);
    // A focused panel does more for each line (the caret, the input method),
    // and only the active window's panel has the focus: each log takes its
    // turns in the active window, as a single shown log would.
    const auto turn = [shown, linesPerTurn](BenchWindow& bench, int from) {
        if (shown) {
            bench.window->activateWindow();
            QCoreApplication::processEvents();
        }
        return appendLines(*bench.window, from, linesPerTurn, linesPerTurn);
    };
    double first = 0;
    double last = 0;
    for (int i = 0; i < kLogWindow; i += linesPerTurn) {
        first += turn(early, i);
        last += turn(late, kLogLines - kLogWindow + i);
    }
    figures.firstMicroseconds = first / kLogWindow;
    figures.lastMicroseconds = last / kLogWindow;
    figures.rssFullKiB = bench::residentKiB(getpid());
    figures.blocks = nuvok::test::control<LogPanel>(*late.window, "t_receive")->lines();
    return figures;
}

// One measurement in a process of its own (this program, started again), so
// that no run inherits the memory or the caches of the one before.
GrowthFigures measureLogGrowthApart(bool shown) {
    QProcess child;
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("log-run"), shown ? QStringLiteral("shown") : QStringLiteral("hidden")});
    if (!child.waitForFinished(600000) || child.exitCode() != 0)
        throw std::runtime_error("a log measurement run failed: " +
                                 child.readAllStandardError().toStdString());
    const QStringList values = QString::fromLatin1(child.readAllStandardOutput()).split(u' ');
    if (values.size() != 5)
        throw std::runtime_error("a log measurement run printed no figures");
    GrowthFigures figures;
    figures.firstMicroseconds = values[0].toDouble();
    figures.lastMicroseconds = values[1].toDouble();
    figures.rssEmptyKiB = values[2].toLong();
    figures.rssFullKiB = values[3].toLong();
    figures.blocks = values[4].trimmed().toInt();
    return figures;
}

void printLogRun(bool shown) {
    const GrowthFigures figures = measureLogGrowth(shown);
    std::printf("%.3f %.3f %ld %ld %d", figures.firstMicroseconds, figures.lastMicroseconds,
                figures.rssEmptyKiB, figures.rssFullKiB, figures.blocks);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each figure is the median of its runs; the ratio's range shows the spread.
void logGrowth() {
    bench::Table table("Log panel: the first 1,000 lines of one log and the last 1,000 of "
                       "another's 100,000, appended with logData in turns, each log after a "
                       "warm-up of " +
                           std::to_string(kLogWarmUp) + " lines and CLR; median of " +
                           std::to_string(kLogRuns) + " runs, each in a process of its own",
                       {"window", "first 1,000 (CPU µs/line)", "last 1,000 (CPU µs/line)",
                        "ratio (goal <= 1.1)", "ratio of each run", "RSS empty (MiB)",
                        "RSS full (MiB)", "added (goal <= 40 MiB)", "lines kept"});
    for (const bool shown : {false, true}) {
        std::vector<double> first, last, ratios, empty, full;
        int blocks = 0;
        for (int run = 0; run < kLogRuns; ++run) {
            const GrowthFigures figures = measureLogGrowthApart(shown);
            first.push_back(figures.firstMicroseconds);
            last.push_back(figures.lastMicroseconds);
            ratios.push_back(figures.lastMicroseconds / figures.firstMicroseconds);
            empty.push_back(static_cast<double>(figures.rssEmptyKiB) / 1024.0);
            full.push_back(static_cast<double>(figures.rssFullKiB) / 1024.0);
            blocks = figures.blocks;
        }
        std::vector<double> added;
        for (std::size_t i = 0; i < empty.size(); ++i)
            added.push_back(full[i] - empty[i]);
        std::string each;
        for (const double ratio : ratios)
            each += (each.empty() ? "" : ", ") + bench::fixed(ratio, 2);
        const double ratio = median(ratios);
        const double grown = median(added);
        table.addRow({shown ? "shown, events and repaint every 100 lines"
                            : "hidden in the tray, events after every line",
                      bench::fixed(median(first), 2), bench::fixed(median(last), 2),
                      bench::fixed(ratio, 2) + " " + bench::verdict(ratio <= 1.1), each,
                      bench::fixed(median(empty), 1), bench::fixed(median(full), 1),
                      bench::fixed(grown, 1) + " " + bench::verdict(grown <= 40),
                      std::to_string(blocks)});
    }
    table.print();
}

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

void statePaints() {
    BenchWindow bench;
    F_NUVOKrc& window = *bench.window;
    window.handset()->listenPort = static_cast<float>(nuvok::test::freePort());
    nuvok::test::runHandler(window, "b_listen_Click");
    window.show();
    runEventLoopFor(std::chrono::milliseconds(500));

    int ticks = 0;
    QObject::connect(nuvok::test::control<QTimer>(window, "Timer1"), &QTimer::timeout,
                     [&ticks] { ++ticks; });
    PaintCounter counter(nuvok::test::control<QLineEdit>(window, "T_state"));
    runEventLoopFor(std::chrono::milliseconds(3000));
    const int idlePaints = counter.paints;
    const int idleTicks = ticks;
    const QString idleState = nuvok::test::control<QLineEdit>(window, "T_state")->text();

    // The same count across a real change shows that paints are seen.
    window.handset()->stop();
    runEventLoopFor(std::chrono::milliseconds(500));
    const int changePaints = counter.paints - idlePaints;

    bench::Table table("Status field T_state while idle (window shown, listener open)",
                       {"period", "timer ticks", "T_state paints", "goal"});
    table.addRow({"3 s, state " + idleState.toStdString() + " unchanged", std::to_string(idleTicks),
                  std::to_string(idlePaints), "0 " + bench::verdict(idlePaints == 0)});
    table.addRow({"0.5 s after the listener closed (check)", "-", std::to_string(changePaints),
                  "> 0 " + bench::verdict(changePaints > 0)});
    table.print();
}

// The offscreen platform's notes would only break up the tables.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(quietMessages);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Parts can be picked by name on the command line; none runs them all.
    const QStringList parts = QApplication::arguments().mid(1);
    // One log measurement, for the parent process to read.
    if (parts.size() == 2 && parts[0] == QLatin1String("log-run")) {
        printLogRun(parts[1] == QLatin1String("shown"));
        return 0;
    }
    const auto wanted = [&parts](const char* name) {
        return parts.isEmpty() || parts.contains(QLatin1String(name));
    };
    try {
        if (wanted("dispatch"))
            dispatchLatency();
        if (wanted("log"))
            logGrowth();
        if (wanted("paint"))
            statePaints();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_window: %s\n", failure.what());
        return 1;
    }
    return 0;
}
