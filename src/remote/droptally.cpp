#include "remote/droptally.h"

namespace nuvok {

namespace {

const char* const kWhy = " (not in Handsets)";

std::string messages(std::uint64_t count, bool more) {
    if (count == 1 && !more)
        return "a message";
    return std::to_string(count) + (more ? " more message" : " message") + (count == 1 ? "" : "s");
}

} // namespace

std::string DropTally::record(const IpAddress& sender, std::int64_t nowMs) {
    auto it = m_bursts.find(sender);
    if (it == m_bursts.end() && m_bursts.size() < m_timing.maxSenders)
        it = m_bursts.emplace(sender, Burst{}).first;
    if (it == m_bursts.end())
        return recordIn(m_others, nullptr, nowMs);
    return recordIn(it->second, &sender, nowMs);
}

std::string DropTally::recordIn(Burst& burst, const IpAddress* sender, std::int64_t nowMs) {
    if (burst.open) {
        ++burst.unreported;
        burst.lastDropMs = nowMs;
        return {};
    }
    burst = Burst{true, false, 0, nowMs, nowMs};
    if (!lineAllowed(nowMs)) {
        burst.unreported = 1; // told with the next line
        return {};
    }
    burst.named = true;
    m_lastLineMs = nowMs;
    if (!sender)
        return "Ignored a message from one of many more senders, counted together from now on" +
               std::string(kWhy);
    return "Ignored a message from " + addressText(*sender) + kWhy;
}

bool DropTally::isDue(const Burst& burst, std::int64_t nowMs) const {
    return burst.open && burst.unreported > 0 &&
           (!burst.named || nowMs - burst.lastDropMs >= m_timing.quietMs ||
            nowMs - burst.lastLineMs >= m_timing.summaryMs);
}

std::vector<std::string> DropTally::due(std::int64_t nowMs) {
    // Bursts that ended with nothing left to tell go, line or not.
    const auto ended = [&](const Burst& burst) {
        return burst.unreported == 0 && nowMs - burst.lastDropMs >= m_timing.quietMs;
    };
    std::erase_if(m_bursts, [&](const auto& entry) { return ended(entry.second); });
    if (m_others.open && ended(m_others))
        m_others.open = false;
    if (!lineAllowed(nowMs))
        return {};

    // One line for every burst due: the sender with the most drops by name.
    std::uint64_t total = 0;
    std::size_t senders = 0;
    bool allNamed = true;
    const IpAddress* most = nullptr;
    std::uint64_t mostCount = 0;
    for (const auto& [sender, burst] : m_bursts) {
        if (!isDue(burst, nowMs))
            continue;
        total += burst.unreported;
        ++senders;
        allNamed = allNamed && burst.named;
        if (burst.unreported > mostCount) {
            most = &sender;
            mostCount = burst.unreported;
        }
    }
    const bool othersDue = isDue(m_others, nowMs);
    if (othersDue) {
        total += m_others.unreported;
        allNamed = allNamed && m_others.named;
    }
    if (total == 0)
        return {};
    std::string from;
    if (!most) {
        from = "other senders";
    } else {
        from = addressText(*most);
        const std::size_t rest = senders - 1;
        if (othersDue)
            from += rest > 0 ? " and more than " + std::to_string(rest) + " other senders"
                             : std::string(" and other senders");
        else if (rest > 0)
            from += " and " + std::to_string(rest) + " other sender" + (rest == 1 ? "" : "s");
    }

    const auto told = [&](Burst& burst) {
        burst.unreported = 0;
        burst.named = true;
        burst.lastLineMs = nowMs;
        if (nowMs - burst.lastDropMs >= m_timing.quietMs)
            burst.open = false;
    };
    for (auto it = m_bursts.begin(); it != m_bursts.end();) {
        if (isDue(it->second, nowMs))
            told(it->second);
        it = it->second.open ? std::next(it) : m_bursts.erase(it);
    }
    if (othersDue)
        told(m_others);
    m_lastLineMs = nowMs;
    return {"Ignored " + messages(total, allNamed) + " from " + from + kWhy};
}

} // namespace nuvok
