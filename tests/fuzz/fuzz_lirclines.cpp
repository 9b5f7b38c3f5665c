// What lircd writes, read by the line reader as a connection hands it over:
// once in one read, once in reads cut at points the input's first byte
// chooses. Both must give the same events and problems; a connection tells at
// most five problems; every event names a button and a remote with no blank,
// line break or control code in them; and a new connection starts afresh.
#include "remote/lircevents.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool isName(const std::string& text) {
    if (text.empty())
        return false;
    for (const char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
            return false;
    return true;
}

struct Reading {
    std::vector<nuvok::LircEvent> events;
    std::vector<std::string> problems;
};

// One connection: the stream in reads of the given lengths (0: the rest).
Reading readConnection(nuvok::LircLineReader& reader, std::string_view stream, std::uint8_t seed) {
    Reading reading;
    std::uint32_t state = seed | 0x100u;
    while (!stream.empty()) {
        std::size_t length = stream.size();
        if (seed != 0) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            length = std::min<std::size_t>(stream.size(), 1 + state % 97);
        }
        for (nuvok::LircEvent& event : reader.feed(stream.substr(0, length)))
            reading.events.push_back(std::move(event));
        for (std::string& problem : reader.takeProblems())
            reading.problems.push_back(std::move(problem));
        stream.remove_prefix(length);
    }
    return reading;
}

bool same(const Reading& a, const Reading& b) {
    if (a.problems != b.problems || a.events.size() != b.events.size())
        return false;
    for (std::size_t i = 0; i < a.events.size(); ++i)
        if (a.events[i].repeat != b.events[i].repeat || a.events[i].button != b.events[i].button ||
            a.events[i].remote != b.events[i].remote)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t seed = data[0];
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    nuvok::LircLineReader whole;
    const Reading once = readConnection(whole, stream, 0);
    nuvok::LircLineReader cut;
    const Reading pieces = readConnection(cut, stream, seed == 0 ? 1 : seed);
    require(same(once, pieces));
    require(once.problems.size() <= nuvok::LircLineReader::kMaxProblems + 1);
    for (const std::string& problem : once.problems)
        require(problem.starts_with("IR: "));
    for (const nuvok::LircEvent& event : once.events)
        require(isName(event.button) && isName(event.remote));
    // The same again on a new connection: nothing of the first one carries over.
    cut.reset();
    require(same(readConnection(cut, stream, 0), once));
    return 0;
}
