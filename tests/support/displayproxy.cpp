#include "support/displayproxy.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace nuvok::test {
namespace {

std::string socketPath(int number) {
    return "/tmp/.X11-unix/X" + std::to_string(number);
}

bool exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

sockaddr_un addressOf(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// The local socket of ":N" or ":N.S".
std::string targetPath() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] != ':')
        return {};
    return socketPath(std::atoi(display + 1));
}

bool forward(int from, int to) {
    char buffer[65536];
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    for (ssize_t done = 0; done < got;) {
        const ssize_t put = write(to, buffer + done, static_cast<std::size_t>(got - done));
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

struct Link {
    int client;
    int server;
    std::chrono::steady_clock::time_point opened;
};

} // namespace

CuttingDisplayProxy::CuttingDisplayProxy(std::chrono::milliseconds cutAfter)
    : m_cutAfter(cutAfter), m_target(targetPath()) {
    if (m_target.empty() || pipe(m_stop) != 0)
        return;
    for (int number = 640; number < 700 && m_listener < 0; ++number) {
        const std::string path = socketPath(number);
        if (exists(path) || exists("/tmp/.X" + std::to_string(number) + "-lock"))
            continue;
        const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressOf(path);
        if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            listen(listener, 8) == 0) {
            m_listener = listener;
            m_path = path;
            m_name = std::string(1, ':').append(std::to_string(number));
        } else {
            close(listener);
        }
    }
    if (m_listener >= 0)
        m_thread = std::thread([this] { run(); });
}

CuttingDisplayProxy::~CuttingDisplayProxy() {
    if (m_thread.joinable()) {
        const char stop = 0;
        (void)!write(m_stop[1], &stop, 1);
        m_thread.join();
    }
    if (m_listener >= 0) {
        close(m_listener);
        unlink(m_path.c_str());
    }
    for (int fd : m_stop)
        if (fd >= 0)
            close(fd);
}

void CuttingDisplayProxy::run() {
    std::vector<Link> links;
    for (;;) {
        std::vector<pollfd> watched{{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Link& link : links) {
            watched.push_back({link.client, POLLIN, 0});
            watched.push_back({link.server, POLLIN, 0});
        }
        poll(watched.data(), watched.size(), 5);
        if (watched[0].revents != 0)
            break;
        if (watched[1].revents & POLLIN) {
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_un address = addressOf(m_target);
            if (client >= 0 && m_serving &&
                connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
                links.push_back({client, server, std::chrono::steady_clock::now()});
            } else {
                if (client >= 0)
                    close(client);
                close(server);
            }
        }
        const auto now = std::chrono::steady_clock::now();
        std::vector<Link> open;
        for (std::size_t i = 0; i < links.size(); ++i) {
            const Link& link = links[i];
            // The first links are those that were polled; a new one waits a turn.
            const bool polled = 2 + 2 * i + 1 < watched.size();
            bool alive = m_serving && now - link.opened < m_cutAfter;
            if (alive && polled && watched[2 + 2 * i].revents != 0)
                alive = forward(link.client, link.server);
            if (alive && polled && watched[3 + 2 * i].revents != 0)
                alive = forward(link.server, link.client);
            if (alive) {
                open.push_back(link);
            } else {
                close(link.client);
                close(link.server);
            }
        }
        links = std::move(open);
        ++m_turns;
    }
    for (const Link& link : links) {
        close(link.client);
        close(link.server);
    }
}

} // namespace nuvok::test
