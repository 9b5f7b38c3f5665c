#include "remote/nestinglimit.h"

#include <algorithm>

namespace nuvok {

NestingLimit::NestingLimit(int maxDepth) : m_maxDepth(std::max(1, maxDepth)) {}

NestingLimit::Level::Level(NestingLimit& limit)
    : m_limit(limit), m_admitted(limit.m_depth < limit.m_maxDepth) {
    if (m_admitted)
        ++m_limit.m_depth;
    else
        ++m_limit.m_turnedAway;
}

NestingLimit::Level::~Level() {
    if (m_admitted)
        --m_limit.m_depth;
}

std::uint64_t NestingLimit::takeTurnedAway() {
    if (m_depth >= m_maxDepth)
        return 0;
    const std::uint64_t count = m_turnedAway;
    m_turnedAway = 0;
    return count;
}

std::string droppedMessagesText(std::uint64_t count, int maxDepth) {
    return "Dropped " + std::to_string(count) + (count == 1 ? " message" : " messages") +
           " that arrived while " + std::to_string(maxDepth) + " others were still being handled";
}

} // namespace nuvok
