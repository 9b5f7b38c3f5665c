#include "remote/deferredactions.h"

namespace nuvok {

void DeferredActions::logData(const std::string& strText) {
    if (m_open)
        m_jobs.back().steps.push_back({PeerStep::Kind::Log, strText});
    else
        m_now.logData(strText);
}

void DeferredActions::ask(Peer peer, PeerStep step) {
    if (!m_open || m_jobs.back().peer != peer)
        m_jobs.push_back({peer, m_state, {}});
    m_open = true;
    m_jobs.back().steps.push_back(std::move(step));
}

void runPeerJob(const PeerJob& job, RemoteActions& target) {
    for (const PeerStep& step : job.steps) {
        switch (step.kind) {
        case PeerStep::Kind::Log:
            target.logData(step.text);
            break;
        case PeerStep::Kind::VolumeUp:
            target.VolIncr();
            break;
        case PeerStep::Kind::VolumeDown:
            target.VolDecr();
            break;
        case PeerStep::Kind::Activate:
            target.activateWindow(step.text);
            break;
        case PeerStep::Kind::Keys:
            target.sendKeys(step.text);
            break;
        }
    }
}

std::string peerJobName(const PeerJob& job) {
    for (const PeerStep& step : job.steps) {
        if (step.kind == PeerStep::Kind::Log)
            return step.text;
    }
    if (job.steps.empty())
        return {};
    const PeerStep& first = job.steps.front();
    switch (first.kind) {
    case PeerStep::Kind::VolumeUp:
        return "Vol+";
    case PeerStep::Kind::VolumeDown:
        return "Vol-";
    case PeerStep::Kind::Activate:
        return "Bringing \"" + first.text + "\" to the front";
    case PeerStep::Kind::Keys:
        return "Keys " + first.text;
    case PeerStep::Kind::Log:
        break;
    }
    return {};
}

} // namespace nuvok
