// The real program on a private X server with the icewm window manager:
// handset datagram to key press in the video player, against the pipeline a
// user would script with socat and xdotool; idle cost; start-up time.

#include "figures.h"
#include "processes.h"
#include "udpsender.h"
#include "xdisplay.h"

#include "common/failure.h"
#include "remote/keymessage.h"
#include "shell/desktopcontrol.h"
#include "support/freeport.h"
#include "support/procnet.h"

#include <X11/keysym.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

using bench::Clock;
using bench::UdpSender;
using namespace std::chrono_literals;

namespace {

constexpr int kProgramKeys = 1000;
constexpr int kScriptKeys = 200;
constexpr int kWarmUpKeys = 10;
constexpr int kSwitchKeys = 200;
constexpr int kGrowthKeys = 10000;
constexpr std::size_t kGrowthSlice = 1000;
constexpr int kStartRuns = 10;
constexpr int kBackEndRounds = 5000;
constexpr auto kIdlePeriod = 10s;
constexpr unsigned char kMenu = nuvok::kKeyMenu;
constexpr unsigned char kRight = nuvok::kKeyRight;
constexpr const char* kPlayerTitle = "bench clip - VLC media player";

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// One run of the program with settings of its own, listening on a port.
class Program {
public:
    Program(const bench::TempDir& home, const std::string& display, const std::string& platform,
            int port)
        : m_log(home.path() + "/nuvokrc-" + std::to_string(port) + ".log"),
          m_process(bench::ChildProcess::Options{
              {NUVOKRC_BINARY, "--log-stderr", "-port", std::to_string(port)},
              bench::environmentWith({{"DISPLAY", display},
                                      {"QT_QPA_PLATFORM", platform},
                                      {"HOME", home.path()},
                                      {"XDG_CONFIG_HOME", home.path() + "/config"}},
                                     {"WAYLAND_DISPLAY"}),
              m_log}) {}

    bench::ChildProcess& process() { return m_process; }
    std::string log() const { return readFile(m_log); }

private:
    std::string m_log;
    bench::ChildProcess m_process;
};

bool waitForPort(int port) {
    return bench::pollUntil([port] { return nuvok::test::udpPortBound(port); }, 15s, 500us);
}

// Key 5 sent to one pipeline, and the moments its spaces reached the player.
class KeyRun {
public:
    KeyRun(bench::KeyTarget& target, int port) : m_target(target), m_sender(port) {}

    const UdpSender& sender() const { return m_sender; }
    const std::vector<double>& milliseconds() const { return m_milliseconds; }
    int lost() const { return m_lost; }
    // Several keys in a row never arrived.
    bool givenUp() const { return m_lostInARow >= kLostInARowToGiveUp; }

    // Sends key 5 and waits for the space it should become; warm-up keys
    // are not counted.
    void measureOne(bool warmUp) {
        m_target.drain();
        const auto sent = Clock::now();
        m_sender.send('5');
        const auto pressed = m_target.waitForPress(XK_space, 5s);
        if (!pressed) {
            ++m_lost;
            ++m_lostInARow;
            return;
        }
        m_lostInARow = 0;
        m_target.waitForRelease(XK_space, 2s);
        if (!warmUp)
            m_milliseconds.push_back(bench::microseconds(sent, *pressed) / 1000);
    }

private:
    static constexpr int kLostInARowToGiveUp = 5;

    bench::KeyTarget& m_target;
    UdpSender m_sender;
    std::vector<double> m_milliseconds;
    int m_lost = 0;
    int m_lostInARow = 0;
};

// The pipeline a user would script: socat hands each datagram to a shell
// loop that runs xdotool for it.
std::unique_ptr<bench::ChildProcess> startScript(const bench::PrivateDesktop& desktop,
                                                 const bench::KeyTarget& target, int port) {
    const std::string script = "socat -u UDP-RECV:" + std::to_string(port) +
                               ",bind=127.0.0.1 - | while IFS= read -r -N 2 message; do "
                               "[ \"${message:0:1}\" = 5 ] && xdotool windowactivate --sync " +
                               std::to_string(target.window()) + " key space; done";
    auto pipeline = std::make_unique<bench::ChildProcess>(bench::ChildProcess::Options{
        {"bash", "-c", script},
        bench::environmentWith({{"DISPLAY", desktop.display()}, {"LC_ALL", "C"}}),
        ""});
    if (!waitForPort(port))
        throw nuvok::Failure("socat did not open its port (are socat and xdotool installed?)");
    return pipeline;
}

std::string millisecondsText(double value) {
    return bench::fixed(value, 2);
}

std::string goalText(double value, double goal) {
    return millisecondsText(value) + " " + bench::verdict(value <= goal);
}

// Both pipelines run side by side and take turns, a script key after every
// few program keys, so that whatever else the machine does weighs on both.
// Then the program alone: with another window in front before each key, and
// a long run in a row that shows whether anything builds up per key.
void endToEnd(const bench::PrivateDesktop& desktop) {
    bench::KeyTarget target(desktop.display(), kPlayerTitle);
    bench::KeyTarget other(desktop.display(), "Notes");
    bench::TempDir home;
    const int programPort = nuvok::test::freePort();
    Program nuvokrc(home, desktop.display(), "xcb", programPort);
    if (!waitForPort(programPort))
        throw nuvok::Failure("NUVOKrc did not open its port: " + nuvokrc.log());
    const int scriptPort = nuvok::test::freePort();
    const std::unique_ptr<bench::ChildProcess> pipeline = startScript(desktop, target, scriptPort);

    KeyRun program(target, programPort);
    KeyRun script(target, scriptPort);
    std::this_thread::sleep_for(500ms);
    program.sender().send(kMenu);
    std::this_thread::sleep_for(100ms);
    program.sender().send(kRight); // video mode: the player comes to the front
    bench::pollUntil([&] { return target.hasFocus(); }, 5s, 5ms);

    const auto checkProgram = [&](const KeyRun& run) {
        if (run.givenUp())
            throw nuvok::Failure(
                "NUVOKrc typed no spaces into the player window. Without a mixer it waits for its "
                "no-mixer message to be closed before it knows the player titles; run the bench "
                "with a sound server (tests/mixer/with-pulseaudio.sh --alsa). Its log:\n" +
                nuvokrc.log());
    };
    constexpr int kProgramKeysPerScriptKey = kProgramKeys / kScriptKeys;
    for (int i = 0; i < kWarmUpKeys + kProgramKeys; ++i) {
        const bool warmUp = i < kWarmUpKeys;
        std::this_thread::sleep_for(10ms);
        program.measureOne(warmUp);
        checkProgram(program);
        if (warmUp || i % kProgramKeysPerScriptKey == 0) {
            std::this_thread::sleep_for(10ms);
            script.measureOne(warmUp);
            if (script.givenUp())
                throw nuvok::Failure("The socat and xdotool pipeline typed no spaces into the "
                                     "player window");
        }
    }

    KeyRun switching(target, programPort);
    for (int i = 0; i < kSwitchKeys; ++i) {
        if (!other.takeFocus())
            throw nuvok::Failure("The window manager did not give the focus to another window");
        switching.measureOne(false);
        checkProgram(switching);
    }

    KeyRun inARow(target, programPort);
    for (int i = 0; i < kGrowthKeys; ++i) {
        std::this_thread::sleep_for(1ms);
        inARow.measureOne(false);
        checkProgram(inARow);
    }

    const bench::Summary ours = bench::summarize(program.milliseconds());
    const bench::Summary theirs = bench::summarize(script.milliseconds());
    const bench::Summary switched = bench::summarize(switching.milliseconds());

    bench::Table table(
        "Video mode, key 5 to a space in the window titled \"" + std::string(kPlayerTitle) +
            "\": UDP datagram sent to KeyPress read by an X client, in milliseconds "
            "(Xvfb + " +
            desktop.windowManager() + ")",
        {"pipeline", "keys", "p50 (goal <= 1.0)", "p99 (goal <= 3.0)", "max", "lost"});
    table.addRow({"NUVOKrc, the player already has the focus", std::to_string(ours.count),
                  goalText(ours.p50, 1.0), goalText(ours.p99, 3.0), millisecondsText(ours.max),
                  std::to_string(program.lost())});
    table.addRow({"NUVOKrc, another window has the focus before each key",
                  std::to_string(switched.count), millisecondsText(switched.p50),
                  millisecondsText(switched.p99), millisecondsText(switched.max),
                  std::to_string(switching.lost())});
    table.addRow({"socat | bash loop, xdotool windowactivate --sync ID key space (fewer keys: "
                  "a process per key; in turns with NUVOKrc)",
                  std::to_string(theirs.count), millisecondsText(theirs.p50),
                  millisecondsText(theirs.p99), millisecondsText(theirs.max),
                  std::to_string(script.lost())});
    const double ratio = ours.p50 > 0 ? theirs.p50 / ours.p50 : 0;
    table.addRow({"p50 ratio script / NUVOKrc (goal >= 30)", "",
                  bench::fixed(ratio, 1) + "x " + bench::verdict(ratio >= 30)});
    table.print();

    const std::vector<double>& all = inARow.milliseconds();
    const auto slice = [&all](bool last) {
        const std::size_t n = std::min<std::size_t>(kGrowthSlice, all.size());
        return last
                   ? std::vector<double>(all.end() - static_cast<std::ptrdiff_t>(n), all.end())
                   : std::vector<double>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n));
    };
    const bench::Summary first = bench::summarize(slice(false));
    const bench::Summary last = bench::summarize(slice(true));
    bench::Table growth(std::to_string(kGrowthKeys) +
                            " keys in a row, 1 ms apart, player in front: does anything build up "
                            "per key? (milliseconds; " +
                            std::to_string(inARow.lost()) + " lost)",
                        {"keys", "p50", "p99", "max"});
    growth.addRow({"first " + std::to_string(kGrowthSlice), millisecondsText(first.p50),
                   millisecondsText(first.p99), millisecondsText(first.max)});
    growth.addRow({"last " + std::to_string(kGrowthSlice), millisecondsText(last.p50),
                   millisecondsText(last.p99), millisecondsText(last.max)});
    const double growthRatio = first.p50 > 0 ? last.p50 / first.p50 : 0;
    growth.addRow({"p50 last / first (flat: about 1)", bench::fixed(growthRatio, 2) + "x", "", ""});
    growth.print();
}

// The program's X11 back-end in this process, with the player already in
// front: what one key in video mode costs on the X side.
void backEnd(const bench::PrivateDesktop& desktop) {
    bench::KeyTarget target(desktop.display(), kPlayerTitle);
    setenv("DISPLAY", desktop.display().c_str(), 1);
    const std::unique_ptr<nuvok::DesktopControl> control = nuvok::createDesktopControl();
    control->activateWindow("VLC");
    std::vector<double> activating;
    std::vector<double> typing;
    for (int round = 0; round < kBackEndRounds; ++round) {
        const auto start = Clock::now();
        control->activateWindow("VLC");
        const auto activated = Clock::now();
        control->sendKeys(" ");
        const auto typed = Clock::now();
        activating.push_back(bench::microseconds(start, activated) / 1000);
        typing.push_back(bench::microseconds(activated, typed) / 1000);
        target.drain();
    }
    bench::Table table("X11 back-end in the bench's own process, player already in front, " +
                           std::to_string(kBackEndRounds) + " rounds, in milliseconds",
                       {"step", "p50", "p99"});
    const auto row = [&table](const std::string& step, std::vector<double> samples) {
        const bench::Summary summary = bench::summarize(std::move(samples));
        table.addRow({step, millisecondsText(summary.p50), millisecondsText(summary.p99)});
    };
    row("activateWindow(\"VLC\")", activating);
    row("sendKeys(\" \")", typing);
    std::vector<double> both(activating.size());
    for (std::size_t i = 0; i < both.size(); ++i)
        both[i] = activating[i] + typing[i];
    const auto part = [&both](bool last) {
        const auto n =
            static_cast<std::ptrdiff_t>(std::min<std::size_t>(kGrowthSlice, both.size()));
        return last ? std::vector<double>(both.end() - n, both.end())
                    : std::vector<double>(both.begin(), both.begin() + n);
    };
    row("both, first " + std::to_string(kGrowthSlice) + " rounds", part(false));
    row("both, last " + std::to_string(kGrowthSlice) + " rounds", part(true));
    table.print();
}

void idle(const bench::PrivateDesktop& desktop) {
    bench::TempDir home;
    const int port = nuvok::test::freePort();
    Program program(home, desktop.display(), "xcb", port);
    if (!waitForPort(port))
        throw nuvok::Failure("NUVOKrc did not open its port: " + program.log());
    std::this_thread::sleep_for(2s); // start-up work done
    const pid_t pid = program.process().pid();
    const double cpuBefore = bench::cpuSeconds(pid);
    const long rssBefore = bench::residentKiB(pid);
    std::this_thread::sleep_for(kIdlePeriod);
    const double cpuMs = (bench::cpuSeconds(pid) - cpuBefore) * 1000;
    const long rssAfter = bench::residentKiB(pid);
    const bool hidden = program.log().find("No notification area found") == std::string::npos;

    bench::Table table("Idle for 10 s, listener open, 100 ms status timer running (real "
                       "program, Xvfb + icewm)",
                       {"window", "CPU time (goal <= 50 ms)", "RSS at start (MiB)",
                        "RSS after 10 s (goal <= 40 MiB)"});
    table.addRow(
        {hidden ? "hidden in the notification area" : "minimised (no notification area)",
         bench::fixed(cpuMs, 1) + " ms " + bench::verdict(cpuMs <= 50),
         bench::fixed(rssBefore / 1024.0, 1),
         bench::fixed(rssAfter / 1024.0, 1) + " " + bench::verdict(rssAfter / 1024.0 <= 40)});
    table.print();
}

void startUp(const bench::PrivateDesktop& desktop) {
    bench::Table table("Start-up: process start to listening UDP socket, " +
                           std::to_string(kStartRuns) + " runs, in milliseconds",
                       {"platform", "p50 (goal <= 300)", "max"});
    for (const std::string platform : {"xcb", "offscreen"}) {
        std::vector<double> samples;
        for (int run = 0; run < kStartRuns; ++run) {
            bench::TempDir home;
            const int port = nuvok::test::freePort();
            Program program(home, desktop.display(), platform, port);
            if (!waitForPort(port))
                throw nuvok::Failure("NUVOKrc did not open its port: " + program.log());
            samples.push_back(bench::microseconds(program.process().started(), Clock::now()) /
                              1000);
        }
        const bench::Summary summary = bench::summarize(samples);
        table.addRow({platform == "xcb" ? "X11 (xcb, Xvfb + icewm)" : "offscreen",
                      bench::fixed(summary.p50, 1) + " " + bench::verdict(summary.p50 <= 300),
                      bench::fixed(summary.max, 1)});
    }
    table.print();
}

} // namespace

int main() {
    bench::endChildrenOnSignal();
    try {
        const bench::PrivateDesktop desktop;
        endToEnd(desktop);
        backEnd(desktop);
        idle(desktop);
        startUp(desktop);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_desktop: %s\n", failure.what());
        return 1;
    }
    return 0;
}
