// The real program on a private X server with the icewm window manager:
// handset datagram to key press in the video player, split at the program's
// own marks, cold and warm, with the window hidden and shown, against the
// pipeline a user would script with socat and xdotool; idle cost; start-up
// time.

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
#include <map>
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
constexpr int kColdStarts = 15;
constexpr int kSpacedKeys = 100;
constexpr int kBackEndRounds = 5000;
constexpr auto kIdlePeriod = 10s;
constexpr unsigned char kMenu = nuvok::kKeyMenu;
constexpr unsigned char kRight = nuvok::kKeyRight;
constexpr const char* kPlayerTitle = "bench clip - VLC media player";

// The program measured: this build's, or another build's (for a comparison)
// named by NUVOKRC_BENCH_PROGRAM.
std::string programPath() {
    const char* other = std::getenv("NUVOKRC_BENCH_PROGRAM");
    return other != nullptr && *other != '\0' ? other : NUVOKRC_BINARY;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The moments the program marks on a key's way (NUVOKRC_KEY_TIMES): one
// line "<stage> <nanoseconds of the steady clock>" each, read as they come.
class StageTimes {
public:
    explicit StageTimes(std::string path) : m_path(std::move(path)) {}
    const std::string& path() const { return m_path; }

    // The stages marked since the last call, each at its latest moment;
    // waits up to `limit` for `wanted` (empty: waits for nothing).
    std::map<std::string, Clock::time_point> next(const std::string& wanted,
                                                  std::chrono::milliseconds limit) {
        std::map<std::string, Clock::time_point> marks;
        const auto deadline = Clock::now() + limit;
        for (;;) {
            std::ifstream file(m_path);
            file.seekg(m_read);
            std::string line;
            while (std::getline(file, line) && !file.eof()) {
                m_read += static_cast<std::streamoff>(line.size() + 1);
                std::istringstream fields(line);
                std::string stage;
                long long nanoseconds = 0;
                if (fields >> stage >> nanoseconds)
                    marks[stage] = Clock::time_point(std::chrono::nanoseconds(nanoseconds));
            }
            if (wanted.empty() || marks.count(wanted) > 0 || Clock::now() >= deadline)
                return marks;
            std::this_thread::sleep_for(100us);
        }
    }

private:
    std::string m_path;
    std::streamoff m_read = 0;
};

// One run of the program with settings of its own, listening on a port.
class Program {
public:
    Program(const bench::TempDir& home, const std::string& display, const std::string& platform,
            int port)
        : m_log(home.path() + "/nuvokrc-" + std::to_string(port) + ".log"),
          m_times(home.path() + "/keytimes-" + std::to_string(port)),
          m_process(bench::ChildProcess::Options{
              {programPath(), "--log-stderr", "-port", std::to_string(port)},
              bench::environmentWith({{"DISPLAY", display},
                                      {"QT_QPA_PLATFORM", platform},
                                      {"HOME", home.path()},
                                      {"XDG_CONFIG_HOME", home.path() + "/config"},
                                      {"NUVOKRC_KEY_TIMES", m_times.path()}},
                                     {"WAYLAND_DISPLAY"}),
              m_log}) {}

    bench::ChildProcess& process() { return m_process; }
    StageTimes& times() { return m_times; }
    std::string log() const { return readFile(m_log); }

private:
    std::string m_log;
    StageTimes m_times;
    bench::ChildProcess m_process;
};

bool waitForPort(int port) {
    return bench::pollUntil([port] { return nuvok::test::udpPortBound(port); }, 15s, 500us);
}

// A key's way split at the program's marks, in milliseconds.
struct Split {
    std::vector<double> toInterpreter; // datagram sent to the interpreter
    std::vector<double> toKeystrokes;  // interpreter to the XTEST requests handed over
    std::vector<double> toPress;       // those to the KeyPress read by the player stand-in
    std::vector<double> whole;         // datagram sent to the KeyPress read

    void append(const Split& other) {
        const auto add = [](std::vector<double>& to, const std::vector<double>& from) {
            to.insert(to.end(), from.begin(), from.end());
        };
        add(toInterpreter, other.toInterpreter);
        add(toKeystrokes, other.toKeystrokes);
        add(toPress, other.toPress);
        add(whole, other.whole);
    }
};

// Key 5 sent to one pipeline, and the moments its spaces reached the player.
class KeyRun {
public:
    // `times`: the program's marks, when the pipeline is the program.
    KeyRun(bench::KeyTarget& target, int port, StageTimes* times = nullptr)
        : m_target(target), m_sender(port), m_times(times) {}

    const UdpSender& sender() const { return m_sender; }
    const std::vector<double>& milliseconds() const { return m_split.whole; }
    const Split& split() const { return m_split; }
    int lost() const { return m_lost; }
    // Several keys in a row never arrived.
    bool givenUp() const { return m_lostInARow >= kLostInARowToGiveUp; }

    // Sends key 5 and waits for the space it should become; warm-up keys
    // are not counted.
    void measureOne(bool warmUp) {
        m_target.drain();
        if (m_times != nullptr)
            m_times->next({}, 0ms); // what earlier keys marked
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
        if (warmUp)
            return;
        const auto ms = [](Clock::time_point from, Clock::time_point to) {
            return bench::microseconds(from, to) / 1000;
        };
        m_split.whole.push_back(ms(sent, *pressed));
        if (m_times == nullptr)
            return;
        const auto marks = m_times->next("keystrokes", 200ms);
        const auto interpreter = marks.find("interpreter");
        const auto keystrokes = marks.find("keystrokes");
        if (interpreter == marks.end() || keystrokes == marks.end())
            return;
        m_split.toInterpreter.push_back(ms(sent, interpreter->second));
        m_split.toKeystrokes.push_back(ms(interpreter->second, keystrokes->second));
        m_split.toPress.push_back(ms(keystrokes->second, *pressed));
    }

private:
    static constexpr int kLostInARowToGiveUp = 5;

    bench::KeyTarget& m_target;
    UdpSender m_sender;
    StageTimes* m_times;
    Split m_split;
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

// Where the program's window is while it handles the keys.
enum class WindowPlace { Hidden, Shown };

std::string windowText(WindowPlace window) {
    return window == WindowPlace::Hidden ? "window hidden" : "window shown";
}

// A program started on the desktop and put in video mode, with its window
// hidden in the notification area as it starts, or shown by a click there.
class VideoModeProgram {
public:
    VideoModeProgram(const bench::PrivateDesktop& desktop, bench::KeyTarget& target,
                     WindowPlace window)
        : m_port(nuvok::test::freePort()), m_program(m_home, desktop.display(), "xcb", m_port) {
        if (!waitForPort(m_port))
            throw nuvok::Failure("NUVOKrc did not open its port: " + m_program.log());
        std::this_thread::sleep_for(500ms); // start-up work done
        if (m_program.log().find("No notification area found") != std::string::npos)
            throw nuvok::Failure("The desktop has no notification area: the window cannot be "
                                 "hidden there");
        if (window == WindowPlace::Shown &&
            !bench::showFromNotificationArea(desktop.display(), "NUVOKrc", "NUVOK Remote Control",
                                             10s))
            throw nuvok::Failure("A click on the icon in the notification area did not show "
                                 "NUVOKrc's window");
        const UdpSender sender(m_port);
        sender.send(kMenu);
        std::this_thread::sleep_for(100ms);
        sender.send(kRight); // video mode: the player comes to the front
        bench::pollUntil([&] { return target.hasFocus(); }, 5s, 5ms);
        std::this_thread::sleep_for(50ms);
    }

    int port() const { return m_port; }
    Program& program() { return m_program; }

    void check(const KeyRun& run) const {
        if (run.givenUp())
            throw nuvok::Failure(
                "NUVOKrc typed no spaces into the player window. Without a mixer it waits for "
                "its no-mixer message to be closed before it knows the player titles; run the "
                "bench with a sound server (tests/mixer/with-pulseaudio.sh --alsa). Its log:\n" +
                m_program.log());
    }

private:
    bench::TempDir m_home;
    int m_port;
    Program m_program;
};

// Warm: after a few keys, both pipelines side by side in turns, a script
// key after every few program keys, so that whatever else the machine does
// weighs on both; then the program's keys as far apart as a user's, where
// the program and the X server wake from idle for each.
struct WarmRun {
    Split ours;
    Split spaced; // keys 100 ms apart, as a user presses them
    std::vector<double> theirs;
    int lost = 0;
    int scriptLost = 0;
};

WarmRun warmRun(const bench::PrivateDesktop& desktop, bench::KeyTarget& target, int scriptPort,
                WindowPlace window) {
    VideoModeProgram nuvokrc(desktop, target, window);
    KeyRun program(target, nuvokrc.port(), &nuvokrc.program().times());
    KeyRun script(target, scriptPort);
    constexpr int kProgramKeysPerScriptKey = kProgramKeys / kScriptKeys;
    for (int i = 0; i < kWarmUpKeys + kProgramKeys; ++i) {
        const bool warmUp = i < kWarmUpKeys;
        std::this_thread::sleep_for(10ms);
        program.measureOne(warmUp);
        nuvokrc.check(program);
        if (warmUp || i % kProgramKeysPerScriptKey == 0) {
            std::this_thread::sleep_for(10ms);
            script.measureOne(warmUp);
            if (script.givenUp())
                throw nuvok::Failure("The socat and xdotool pipeline typed no spaces into the "
                                     "player window");
        }
    }
    KeyRun spaced(target, nuvokrc.port(), &nuvokrc.program().times());
    for (int i = 0; i < kSpacedKeys; ++i) {
        std::this_thread::sleep_for(100ms);
        spaced.measureOne(false);
        nuvokrc.check(spaced);
    }
    return {program.split(), spaced.split(), script.milliseconds(), program.lost() + spaced.lost(),
            script.lost()};
}

// Cold: the first key 5 of a program just started (its keyboard map not
// read yet, no keystroke typed yet), one per start.
Split coldRuns(const bench::PrivateDesktop& desktop, bench::KeyTarget& target, WindowPlace window) {
    Split all;
    for (int start = 0; start < kColdStarts; ++start) {
        VideoModeProgram nuvokrc(desktop, target, window);
        KeyRun first(target, nuvokrc.port(), &nuvokrc.program().times());
        first.measureOne(false);
        if (first.lost() > 0)
            throw nuvok::Failure("NUVOKrc typed no space for the first key: " +
                                 nuvokrc.program().log());
        all.append(first.split());
    }
    return all;
}

std::string stagesTitle() {
    return "Video mode, key 5 to a space in the window titled \"" + std::string(kPlayerTitle) +
           "\", in milliseconds: the UDP datagram sent, NUVOKrc's interpreter reached, the XTEST "
           "requests handed to the X server, the KeyPress read by the player stand-in's own X "
           "client";
}

void addStageRows(bench::Table& table, const std::string& run, const Split& split) {
    const auto row = [&](const std::string& stage, const std::vector<double>& samples) {
        const bench::Summary summary = bench::summarize(samples);
        table.addRow({run, stage, std::to_string(summary.count), millisecondsText(summary.p50),
                      millisecondsText(summary.p95), millisecondsText(summary.p99),
                      millisecondsText(summary.max)});
    };
    row("datagram -> interpreter", split.toInterpreter);
    row("interpreter -> XTEST", split.toKeystrokes);
    row("XTEST -> KeyPress read", split.toPress);
    row("whole: datagram -> KeyPress read", split.whole);
}

// The program warm and cold, with its window hidden and shown, against the
// scripted pipeline; then the program alone: with another window in front
// before each key, and a long run in a row that shows whether anything
// builds up per key.
void endToEnd(const bench::PrivateDesktop& desktop) {
    bench::KeyTarget target(desktop.display(), kPlayerTitle);
    bench::KeyTarget other(desktop.display(), "Notes");
    const int scriptPort = nuvok::test::freePort();
    const std::unique_ptr<bench::ChildProcess> pipeline = startScript(desktop, target, scriptPort);

    const WarmRun hidden = warmRun(desktop, target, scriptPort, WindowPlace::Hidden);
    const WarmRun shown = warmRun(desktop, target, scriptPort, WindowPlace::Shown);
    const Split coldHidden = coldRuns(desktop, target, WindowPlace::Hidden);
    const Split coldShown = coldRuns(desktop, target, WindowPlace::Shown);

    bench::Table stages(stagesTitle() + " (Xvfb + " + desktop.windowManager() + ")",
                        {"run", "stage", "keys", "p50", "p95", "p99", "max"});
    addStageRows(stages, "warm, " + windowText(WindowPlace::Hidden), hidden.ours);
    addStageRows(stages, "warm, " + windowText(WindowPlace::Shown), shown.ours);
    addStageRows(stages, "warm, keys 100 ms apart, " + windowText(WindowPlace::Hidden),
                 hidden.spaced);
    addStageRows(stages, "warm, keys 100 ms apart, " + windowText(WindowPlace::Shown),
                 shown.spaced);
    addStageRows(stages, "cold (first key of a start), " + windowText(WindowPlace::Hidden),
                 coldHidden);
    addStageRows(stages, "cold (first key of a start), " + windowText(WindowPlace::Shown),
                 coldShown);
    std::vector<double> scripted = hidden.theirs;
    scripted.insert(scripted.end(), shown.theirs.begin(), shown.theirs.end());
    const bench::Summary theirs = bench::summarize(scripted);
    stages.addRow({"socat | bash loop | xdotool windowactivate --sync ID key space, in turns "
                   "with both warm runs",
                   "whole: datagram -> KeyPress read", std::to_string(theirs.count),
                   millisecondsText(theirs.p50), millisecondsText(theirs.p95),
                   millisecondsText(theirs.p99), millisecondsText(theirs.max)});
    stages.print();

    bench::Table goals(
        "Key 5 to the space read by the player stand-in, warm: goals",
        {"run", "p50 (goal <= 0.5 ms)", "script p50 / NUVOKrc p50 (goal >= 50)", "lost"});
    for (const auto& [window, run] :
         {std::pair{WindowPlace::Hidden, &hidden}, std::pair{WindowPlace::Shown, &shown}}) {
        const bench::Summary ours = bench::summarize(run->ours.whole);
        const bench::Summary script = bench::summarize(run->theirs);
        const double ratio = ours.p50 > 0 ? script.p50 / ours.p50 : 0;
        goals.addRow(
            {windowText(window),
             millisecondsText(ours.p50) + " ms " + bench::verdict(ours.p50 <= 0.5),
             bench::fixed(ratio, 1) + "x " + bench::verdict(ratio >= 50),
             std::to_string(run->lost) + " (script " + std::to_string(run->scriptLost) + ")"});
    }
    goals.print();

    VideoModeProgram nuvokrc(desktop, target, WindowPlace::Hidden);
    KeyRun switching(target, nuvokrc.port());
    for (int i = 0; i < kSwitchKeys; ++i) {
        if (!other.takeFocus())
            throw nuvok::Failure("The window manager did not give the focus to another window");
        switching.measureOne(false);
        nuvokrc.check(switching);
    }
    const bench::Summary switched = bench::summarize(switching.milliseconds());
    bench::Table switchTable("Another window has the focus before each key, window hidden (" +
                                 std::to_string(switching.lost()) + " lost), in milliseconds",
                             {"keys", "p50", "p95", "p99", "max"});
    switchTable.addRow({std::to_string(switched.count), millisecondsText(switched.p50),
                        millisecondsText(switched.p95), millisecondsText(switched.p99),
                        millisecondsText(switched.max)});
    switchTable.print();

    KeyRun inARow(target, nuvokrc.port());
    for (int i = 0; i < kGrowthKeys; ++i) {
        std::this_thread::sleep_for(1ms);
        inARow.measureOne(false);
        nuvokrc.check(inARow);
    }

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
        std::printf("NUVOKrc: %s\n", programPath().c_str());
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
