#pragma once

#include <cstdint>
#include <string>

namespace nuvok {

// Bounds how deeply handlers may run inside one another. A handler that waits
// lets the next arrival run nested inside it; without a bound a flood of
// arrivals that all wait grows the stack until it overflows. Arrivals beyond
// the bound are turned away and counted, and the count is handed out once the
// nesting has gone back below the bound, so that a burst is reported once.
class NestingLimit {
public:
    explicit NestingLimit(int maxDepth);

    // Holds one level while it lives, or none when all levels were taken
    // (then the arrival is counted as turned away).
    class Level {
    public:
        explicit Level(NestingLimit& limit);
        ~Level();
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        bool admitted() const { return m_admitted; }

    private:
        NestingLimit& m_limit;
        bool m_admitted;
    };

    int depth() const { return m_depth; }
    int maxDepth() const { return m_maxDepth; }

    // The arrivals turned away since the last call, once the depth is below
    // the bound again; 0 while it is not (the burst goes on) or none were.
    std::uint64_t takeTurnedAway();

private:
    int m_maxDepth;
    int m_depth = 0;
    std::uint64_t m_turnedAway = 0;
};

// The log line for arrivals turned away while maxDepth others were handled.
std::string droppedMessagesText(std::uint64_t count, int maxDepth);

} // namespace nuvok
