#include "processes.h"

#include "common/failure.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace bench {
namespace {

// Process groups of the children still running, for the signal handler.
constexpr std::size_t kMaxChildren = 16;
volatile sig_atomic_t g_childGroups[kMaxChildren] = {};

void rememberChild(pid_t pid) {
    for (auto& slot : g_childGroups)
        if (slot == 0) {
            slot = pid;
            return;
        }
}

void forgetChild(pid_t pid) {
    for (auto& slot : g_childGroups)
        if (slot == pid)
            slot = 0;
}

void endChildrenAndDie(int signalNumber) {
    for (auto& slot : g_childGroups)
        if (slot != 0)
            kill(-static_cast<pid_t>(slot), SIGTERM);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

} // namespace

void endChildrenOnSignal() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        signal(signalNumber, &endChildrenAndDie);
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nuvok-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw nuvok::Failure("Cannot create a temporary folder: " +
                             std::string(std::strerror(errno)));
    m_path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& set,
                                         const std::vector<std::string>& removed) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (set.count(name) == 0 &&
            std::find(removed.begin(), removed.end(), name) == removed.end())
            environment.push_back(text);
    }
    for (const auto& [name, value] : set)
        environment.push_back(name + "=" + value);
    return environment;
}

namespace {

class SpawnActions {
public:
    SpawnActions() { posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attributes);
        // A group of its own, so that a pipeline ends as a whole.
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&m_attributes, 0);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    posix_spawnattr_t* get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> list;
    for (std::string& text : texts)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

} // namespace

ChildProcess::ChildProcess(const Options& options) {
    SpawnActions actions;
    SpawnAttributes attributes;
    const std::string output = options.outputFile.empty() ? "/dev/null" : options.outputFile;
    posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), 1, output.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
    if (options.descriptorAs3 >= 0)
        posix_spawn_file_actions_adddup2(actions.get(), options.descriptorAs3, 3);

    std::vector<std::string> arguments = options.arguments;
    std::vector<std::string> environment = options.environment;
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    m_started = Clock::now();
    const int error =
        posix_spawnp(&m_pid, argv[0], actions.get(), attributes.get(), argv.data(), envp.data());
    if (error != 0)
        throw nuvok::Failure("Cannot start " + options.arguments.front() + ": " +
                             std::strerror(error));
    rememberChild(m_pid);
}

ChildProcess::~ChildProcess() {
    stop();
}

bool ChildProcess::running() {
    if (m_pid <= 0)
        return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        forgetChild(m_pid);
        m_pid = -1;
        return false;
    }
    return true;
}

void ChildProcess::stop(std::chrono::milliseconds grace) {
    if (!running())
        return;
    const pid_t group = m_pid;
    kill(-group, SIGTERM);
    if (!pollUntil([this] { return !running(); }, grace, std::chrono::milliseconds(10))) {
        kill(-group, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        forgetChild(m_pid);
        m_pid = -1;
    }
}

long residentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

double cpuSeconds(pid_t pid) {
    // Per-thread run times in nanoseconds; the clock-tick figures of
    // /proc/PID/stat also count threads that have ended, so the larger wins.
    const std::string base = "/proc/" + std::to_string(pid);
    double scheduled = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(base + "/task", error)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds)
            scheduled += nanoseconds / 1e9;
    }
    std::ifstream stat(base + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    double ticks = 0;
    const std::size_t afterName = text.rfind(')');
    if (afterName != std::string::npos) {
        std::istringstream fields(text.substr(afterName + 2));
        std::string field;
        // Fields after the name start at 3 (state); utime and stime are 14 and 15.
        for (int number = 3; number <= 15 && fields >> field; ++number)
            if (number >= 14)
                ticks += std::strtod(field.c_str(), nullptr);
    }
    return std::max(scheduled, ticks / static_cast<double>(sysconf(_SC_CLK_TCK)));
}

} // namespace bench
