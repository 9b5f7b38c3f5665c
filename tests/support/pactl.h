#pragma once

// The private sound server of with-pulseaudio.sh as pactl shows it, for the
// core tests of the mixers (Qt-free).

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace nuvok::test {

// The command's standard output and error.
inline std::string output(const std::string& command) {
    std::string text;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    if (!pipe)
        return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe.get()))
        text += buffer;
    return text;
}

// The raw volume of every channel in pactl's answer
// ("Volume: front-left: 19661 /  30% / ..., front-right: 19661 / ...").
inline std::vector<long> pactlVolumes(const std::string& what) {
    const std::string text = output("pactl " + what);
    std::vector<long> values;
    static const std::regex channel(R"(:\s*(\d+)\s*/\s*\d+%)");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), channel);
         it != std::sregex_iterator(); ++it)
        values.push_back(std::stol((*it)[1]));
    return values;
}

inline std::vector<long> sinkVolumes(const std::string& sink = "@DEFAULT_SINK@") {
    return pactlVolumes("get-sink-volume " + sink);
}
inline std::vector<long> sourceVolumes() {
    return pactlVolumes("get-source-volume @DEFAULT_SOURCE@");
}

// The server applies changes asynchronously; wait for them, briefly.
inline bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

inline bool allAre(const std::vector<long>& values, long expected) {
    if (values.empty())
        return false;
    for (long v : values)
        if (v != expected)
            return false;
    return true;
}

inline std::string show(const std::vector<long>& values) {
    std::string text;
    for (long v : values)
        text += std::to_string(v) + " ";
    return text.empty() ? "(none)" : text;
}

} // namespace nuvok::test
