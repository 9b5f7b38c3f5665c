#include "remote/droptally.h"

namespace nuvok {

namespace {

const char* const kOthers = "other senders";
const char* const kWhy = " (not in Handsets)";

} // namespace

std::string DropTally::record(const std::string& sender, std::int64_t nowMs) {
    auto it = m_bursts.find(sender);
    if (it == m_bursts.end() && m_bursts.size() < m_timing.maxSenders)
        it = m_bursts.emplace(sender, Burst{}).first;
    Burst& burst = it != m_bursts.end() ? it->second : m_others;
    if (burst.open) {
        ++burst.unreported;
        burst.lastDropMs = nowMs;
        return {};
    }
    burst = Burst{true, 0, nowMs, nowMs};
    if (&burst == &m_others)
        return "Ignored a message from one of many more senders, counted together from now on" +
               std::string(kWhy);
    return "Ignored a message from " + sender + std::string(kWhy);
}

void DropTally::report(Burst& burst, const std::string& from, std::int64_t nowMs,
                       std::vector<std::string>& lines) {
    if (burst.unreported > 0)
        lines.push_back("Ignored " + std::to_string(burst.unreported) + " more message" +
                        (burst.unreported == 1 ? "" : "s") + " from " + from + kWhy);
    burst.unreported = 0;
    burst.lastLineMs = nowMs;
}

std::vector<std::string> DropTally::due(std::int64_t nowMs) {
    std::vector<std::string> lines;
    const auto settle = [&](Burst& burst, const std::string& from) {
        if (nowMs - burst.lastDropMs >= m_timing.quietMs) {
            report(burst, from, nowMs, lines);
            burst.open = false;
        } else if (nowMs - burst.lastLineMs >= m_timing.summaryMs) {
            report(burst, from, nowMs, lines);
        }
    };
    for (auto it = m_bursts.begin(); it != m_bursts.end();) {
        settle(it->second, it->first);
        it = it->second.open ? std::next(it) : m_bursts.erase(it);
    }
    if (m_others.open)
        settle(m_others, kOthers);
    return lines;
}

} // namespace nuvok
