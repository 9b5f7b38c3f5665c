#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Microseconds between two instants.
inline double microseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

// A folder that is removed with everything in it when it goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// This process's environment with some variables set and others removed.
std::vector<std::string> environmentWith(const std::map<std::string, std::string>& set,
                                         const std::vector<std::string>& removed = {});

// Children run in process groups of their own, so a Ctrl+C at the terminal
// does not reach them: this makes SIGINT, SIGTERM and SIGHUP end the children
// still running before this process ends.
void endChildrenOnSignal();

// A program started in the background; it is ended when this object goes.
class ChildProcess {
public:
    struct Options {
        std::vector<std::string> arguments; // the program first
        std::vector<std::string> environment;
        std::string outputFile; // standard output and error; empty: /dev/null
        int descriptorAs3 = -1; // handed to the program as its descriptor 3
    };

    explicit ChildProcess(const Options& options); // throws nuvok::Failure
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return m_pid; }
    // The moment just before the program was started.
    Clock::time_point started() const { return m_started; }
    bool running();
    // Asks the program to end, then kills it if it does not within the grace time.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

private:
    pid_t m_pid = -1;
    Clock::time_point m_started;
};

// Resident memory of a process in KiB (0 when it cannot be read).
long residentKiB(pid_t pid);

// Processor time a process has used so far, in seconds.
double cpuSeconds(pid_t pid);

// Polls until the condition holds or the time is up; returns whether it held.
template <typename Condition>
bool pollUntil(Condition condition, std::chrono::milliseconds limit,
               std::chrono::microseconds step = std::chrono::microseconds(1000)) {
    const auto deadline = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(step);
    }
    return true;
}

} // namespace bench
