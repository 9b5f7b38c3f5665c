// The real program against a private PulseAudio server that hangs (held with
// SIGSTOP) and the controller stand-in on 127.0.0.1: the sound server has a
// queue and a thread of its own, so keys for others, the door pulse and the
// end of the program must not wait for it. Each run is a fresh program and a
// fresh server; the keys are UDP datagrams from this process.

#include "figures.h"
#include "processes.h"
#include "udpsender.h"

#include "e2e/programrun.h"
#include "remote/keymessage.h"
#include "support/controllerstandin.h"
#include "support/pulseserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>

using bench::Clock;
using nuvok::e2e::Program;
using nuvok::test::ControllerStandIn;
using nuvok::test::PulseServer;
using namespace std::chrono_literals;

namespace {

constexpr int kRuns = 5;
constexpr int kTimeoutMs = 15000;
constexpr unsigned char kUp = nuvok::kKeyUp;
constexpr auto kKeysApart = 60ms; // as fingers press them

// Goals, in milliseconds.
constexpr double kKeyGoalMs = 250;
constexpr double kPulseShortestMs = 800;
constexpr double kPulseLongestMs = 1000;
constexpr double kEndGoalMs = 2000;

const QString kUpLine = nuvok::e2e::remoteLine(u'\u240e');
const QString kFiveLine = QStringLiteral("Remote: 5");
const QString kZeroLine = nuvok::e2e::remoteLine(u'\u2400');
const QByteArray kDoorOn = "setport 1.1\r\n";
const QByteArray kDoorOff = "setport 1.0\r\n";

// Handles this process's events, asleep while none come, until the condition
// holds: the moment it was first seen to hold, or nothing after the timeout.
// The program's standard error and the stand-in's connections are events, so
// the moment is taken as soon as they arrive.
std::optional<Clock::time_point> waitFor(const std::function<bool()>& condition,
                                         int timeoutMs = kTimeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake; // ends each wait in time to look at the deadline
    wake.start(20);
    while (!condition()) {
        if (deadline.hasExpired())
            return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return Clock::now();
}

void pause(std::chrono::milliseconds length) {
    waitFor([] { return false; }, static_cast<int>(length.count()));
}

double millisecondsSince(Clock::time_point from, Clock::time_point to) {
    return bench::microseconds(from, to) / 1000;
}

// One run: a fresh sound server, and the program with settings of its own
// (its port, the stand-in as its controller), no sound device but the
// server, and a first volume step made, so that the server is known to answer.
class Run {
public:
    Run(PulseServer& server, const ControllerStandIn& controller)
        : m_port(quint16(nuvok::test::freePort())),
          m_program(QStringLiteral("[Settings]\nportNum=%1\nProtocol=UDP\n"
                                   "ControllerHost=127.0.0.1\nControllerPort=%2\n")
                        .arg(m_port)
                        .arg(controller.port())),
          m_sender(m_port) {
        if (m_port == 0)
            throw nuvok::Failure("No free UDP port on loopback");
        if (!server.start())
            throw nuvok::Failure("The sound server did not start: " + server.log().toStdString());
        m_program.withoutSoundDevices();
        m_program.setEnvironment(QStringLiteral("PULSE_SERVER"), server.address());
        if (!m_program.start({}) || !nuvok::e2e::waitForListener(m_program, m_port))
            throw failure("NUVOKrc did not take keys");
        const qsizetype from = lineCount();
        m_sender.send(kUp);
        if (!lineAfter(QStringLiteral("Vol+"), from))
            throw failure("NUVOKrc made no volume step with the sound server answering");
    }

    Program& program() { return m_program; }
    qsizetype lineCount() { return m_program.lines().size(); }
    std::string log() { return m_program.lines().join(QLatin1Char('\n')).toStdString(); }

    nuvok::Failure failure(const std::string& what) {
        return nuvok::Failure(what + "; NUVOKrc's log:\n" + log());
    }

    // Sends the keys a little apart.
    void tap(std::initializer_list<unsigned char> keys) {
        for (const unsigned char key : keys) {
            m_sender.send(key);
            pause(kKeysApart);
        }
    }
    // Sends one key; the moment just before.
    Clock::time_point press(unsigned char key) {
        const Clock::time_point sent = Clock::now();
        m_sender.send(key);
        return sent;
    }

    // The moment the line came, at or after line number from.
    std::optional<Clock::time_point> lineAfter(const QString& line, qsizetype from) {
        return waitFor([&] { return m_program.lines().indexOf(line, from) >= 0; });
    }
    // Waits until `count` lines `line` came after line number from.
    bool linesAfter(const QString& line, qsizetype from, int count) {
        return waitFor([&] { return m_program.lines().mid(from).count(line) >= count; })
            .has_value();
    }

private:
    quint16 m_port;
    Program m_program;
    bench::UdpSender m_sender;
};

// Samples of one figure, in milliseconds, and the runs that failed.
struct Figure {
    std::vector<double> samples;
    std::vector<std::string> failures;
};

// Three Up keys wait on the sound server's queue (their key lines are
// logged); then 5, and key 0, which does nothing, right after it. Key 5, with
// no mode chosen, writes its "Remote: 5" line before it is interpreted (the
// mode it shows goes to the window, not to the log); key 0's line comes once
// the event loop is through with 5. Both are timed from sending 5. Nothing
// of the Up keys may be done before them while the server is held.
void keyAfterUpKeys(PulseServer& server, const ControllerStandIn& controller, bool frozen,
                    Figure& line, Figure& through) {
    Run run(server, controller);
    if (frozen)
        server.freeze();
    const qsizetype from = run.lineCount();
    run.tap({kUp, kUp, kUp});
    if (!run.linesAfter(kUpLine, from, 3))
        throw run.failure("The three Up keys were not logged");
    const qsizetype before = run.lineCount();
    const Clock::time_point sent = run.press('5');
    run.press(0);
    const std::optional<Clock::time_point> logged = run.lineAfter(kFiveLine, before);
    if (!logged)
        throw run.failure("Key 5 was not logged");
    const qsizetype fiveAt = run.program().lines().indexOf(kFiveLine, before);
    const std::optional<Clock::time_point> handled = run.lineAfter(kZeroLine, fiveAt);
    if (!handled)
        throw run.failure("Key 0 after key 5 was not logged");
    if (frozen) {
        const QStringList since = run.program().lines().mid(from);
        const qsizetype step = since.indexOf(QRegularExpression(QStringLiteral("^Vol[+-]")));
        if (step >= 0 && step < since.indexOf(kZeroLine, fiveAt - from))
            throw run.failure("A volume step was done with the server held");
        server.thaw();
    }
    line.samples.push_back(millisecondsSince(sent, *logged));
    through.samples.push_back(millisecondsSince(sent, *handled));
}

// 9 9 opens the door; five Up keys for the held server follow during the
// pulse. The time between the stand-in's connections with the door's on and
// its off, on the stand-in's clock.
void doorPulse(PulseServer& server, ControllerStandIn& controller, Figure& figure) {
    const std::size_t before = controller.connections().size();
    Run run(server, controller);
    server.freeze();
    run.tap({'9', '9', kUp, kUp, kUp, kUp, kUp});
    const auto carried = [&](const QByteArray& command) -> const ControllerStandIn::Connection* {
        const auto& all = controller.connections();
        for (std::size_t i = before; i < all.size(); ++i)
            if (all[i].data == command && all[i].closedMs >= 0)
                return &all[i];
        return nullptr;
    };
    if (!waitFor([&] { return carried(kDoorOn) && carried(kDoorOff); }))
        throw run.failure("The stand-in did not get the door's on and off");
    figure.samples.push_back(double(carried(kDoorOff)->acceptedMs - carried(kDoorOn)->acceptedMs));
    server.thaw();
}

// Two Up keys wait on the held server's queue; SIGTERM: the time to the
// program's end. A status other than 0 is a failure of the run.
void endWithKeysPending(PulseServer& server, const ControllerStandIn& controller, Figure& figure) {
    Run run(server, controller);
    server.freeze();
    const qsizetype from = run.lineCount();
    run.tap({kUp, kUp});
    if (!run.linesAfter(kUpLine, from, 2))
        throw run.failure("The two Up keys were not logged");
    QProcess& process = run.program().process();
    const Clock::time_point asked = Clock::now();
    if (::kill(pid_t(process.processId()), SIGTERM) != 0)
        throw run.failure("SIGTERM could not be sent");
    const std::optional<Clock::time_point> ended =
        waitFor([&] { return process.state() == QProcess::NotRunning; });
    server.thaw();
    if (!ended)
        throw run.failure("NUVOKrc was still running " + std::to_string(kTimeoutMs / 1000) +
                          " s after SIGTERM");
    if (process.exitStatus() != QProcess::NormalExit)
        throw run.failure("NUVOKrc crashed after SIGTERM");
    if (process.exitCode() != 0)
        throw run.failure("NUVOKrc ended with status " + std::to_string(process.exitCode()) +
                          " after SIGTERM");
    figure.samples.push_back(millisecondsSince(asked, *ended));
}

// Runs a measurement; when the run fails, the figure keeps why.
void measure(Figure& figure, const std::function<void()>& once) {
    try {
        once();
    } catch (const std::exception& failure) {
        figure.failures.push_back(failure.what());
    }
}

std::string ms(double value) {
    return bench::fixed(value, 1);
}

std::string runsText(const Figure& figure) {
    return std::to_string(figure.samples.size()) + " of " +
           std::to_string(figure.samples.size() + figure.failures.size());
}

// Whether a figure's samples meet its goal: the least and the worst of them.
using Goal = std::function<bool(double least, double worst)>;

void addRow(bench::Table& table, const std::string& what, const Figure& figure,
            const std::string& goal, const Goal& met, bool showLeast = false) {
    if (figure.samples.empty()) {
        table.addRow({what, runsText(figure), "-", "-", "-", goal + " " + bench::verdict(false)});
        return;
    }
    const bench::Summary summary = bench::summarize(figure.samples);
    const double least = *std::min_element(figure.samples.begin(), figure.samples.end());
    std::string each;
    for (const double sample : figure.samples)
        each += (each.empty() ? "" : ", ") + ms(sample);
    table.addRow({what, runsText(figure), ms(summary.p50),
                  showLeast ? ms(least) + " / " + ms(summary.max) : ms(summary.max), each,
                  goal + " " + bench::verdict(figure.failures.empty() && met(least, summary.max))});
}

void printFailures(const char* what, const Figure& figure) {
    for (const std::string& failure : figure.failures)
        std::fprintf(stderr, "bench_peers: %s: %s\n", what, failure.c_str());
}

void printSkipped(const QString& reason) {
    bench::Table table("NUVOKrc with a sound server that hangs: skipped",
                       {"figure", "why not measured"});
    const std::string why = "skipped: PulseAudio cannot run here: " + reason.toStdString();
    for (const char* figure :
         {"key 5 after three Up keys, server held", "key 5 handled (key 0 after it), server held",
          "door pulse, server held", "SIGTERM with two Up keys pending, server held",
          "key 5 after three Up keys, server answering",
          "key 5 handled (key 0 after it), server answering"})
        table.addRow({figure, why});
    table.print();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QString cannotRun = PulseServer::missing();
    if (cannotRun.isEmpty()) {
        PulseServer probe; // ended again at once
        if (!probe.start())
            cannotRun = QStringLiteral("the server did not start: ") + probe.log();
    }
    if (!cannotRun.isEmpty()) {
        printSkipped(cannotRun);
        return 0;
    }
    ControllerStandIn controller;
    if (!controller.ready()) {
        std::fprintf(stderr, "bench_peers: the controller stand-in: %s\n",
                     qPrintable(controller.problem()));
        return 1;
    }

    Figure heldKey, heldKeyThrough, door, end, answeringKey, answeringKeyThrough;
    // The figures take turns, so that whatever else the machine does weighs
    // on all of them alike.
    for (int i = 0; i < kRuns; ++i) {
        PulseServer server;
        measure(answeringKey, [&] {
            keyAfterUpKeys(server, controller, false, answeringKey, answeringKeyThrough);
        });
        measure(heldKey,
                [&] { keyAfterUpKeys(server, controller, true, heldKey, heldKeyThrough); });
        measure(door, [&] { doorPulse(server, controller, door); });
        measure(end, [&] { endWithKeysPending(server, controller, end); });
    }
    // A run that failed failed for both of a key's figures.
    heldKeyThrough.failures = heldKey.failures;
    answeringKeyThrough.failures = answeringKey.failures;

    bench::Table table(
        "NUVOKrc (--log-stderr, offscreen) with a private PulseAudio server held with SIGSTOP, "
        "controller stand-in on 127.0.0.1; " +
            std::to_string(kRuns) +
            " runs, each a fresh program and server, in milliseconds (the stand-in notes a "
            "connection up to " +
            std::to_string(nuvok::test::kStandInLatenessMs) + " ms late)",
        {"figure", "runs", "median", "worst", "each run", "goal"});
    addRow(table, "key 5 after three Up keys for the held server: datagram sent to \"Remote: 5\"",
           heldKey, "<= " + ms(kKeyGoalMs),
           [](double, double worst) { return worst <= kKeyGoalMs; });
    addRow(table, "the same: datagram 5 sent to the line of key 0 sent right after it (5 handled)",
           heldKeyThrough, "<= " + ms(kKeyGoalMs),
           [](double, double worst) { return worst <= kKeyGoalMs; });
    addRow(
        table,
        "door pulse (9 9, then Up x5 for the held server): stand-in got \"setport 1.1\" to "
        "\"setport 1.0\" (worst: shortest / longest)",
        door, ms(kPulseShortestMs) + " to " + ms(kPulseLongestMs),
        [](double least, double worst) {
            return least >= kPulseShortestMs - nuvok::test::kStandInLatenessMs &&
                   worst <= kPulseLongestMs;
        },
        true);
    addRow(table, "SIGTERM with two Up keys pending for the held server, to the end (status 0)",
           end, "<= " + ms(kEndGoalMs) + ", status 0",
           [](double, double worst) { return worst <= kEndGoalMs; });
    addRow(table, "baseline: key 5 after three Up keys, server answering", answeringKey,
           "<= " + ms(kKeyGoalMs), [](double, double worst) { return worst <= kKeyGoalMs; });
    addRow(table, "baseline: the same to key 0's line (5 handled)", answeringKeyThrough,
           "<= " + ms(kKeyGoalMs), [](double, double worst) { return worst <= kKeyGoalMs; });
    table.print();

    printFailures("key 5, server held", heldKey);
    printFailures("door pulse", door);
    printFailures("SIGTERM", end);
    printFailures("key 5, server answering", answeringKey);
    const bool failed = !heldKey.failures.empty() || !door.failures.empty() ||
                        !end.failures.empty() || !answeringKey.failures.empty();
    return failed ? 1 : 0;
}
