#include "mixer/mixerfallback.h"

namespace nuvok {

FallbackMixer::FallbackMixer(std::vector<MixerFactory> candidates)
    : m_candidates(std::move(candidates)) {}

FallbackMixer::~FallbackMixer() {
    close();
}

bool FallbackMixer::open() {
    close();
    m_timedOut = false;
    if (m_better) {
        m_current = std::move(m_better);
        m_index = m_betterIndex;
        m_failure.clear();
        return true;
    }
    std::string failures;
    for (std::size_t i = 0; i < m_candidates.size(); ++i) {
        std::unique_ptr<MixerBackend> mixer = m_candidates[i]();
        if (!mixer)
            continue;
        if (mixer->open()) {
            m_current = std::move(mixer);
            m_index = i;
            m_failure.clear();
            return true;
        }
        std::string why = mixer->failureText();
        if (why.empty())
            why = "cannot be opened";
        failures += (failures.empty() ? "" : "; ") + mixer->name() + ": " + why;
        if (mixer->hung()) {
            m_timedOut = true;
            break;
        }
    }
    m_failure = failures.empty() ? "there is no mixer" : failures;
    return false;
}

std::optional<std::uint32_t> FallbackMixer::findLine(std::uint32_t componentType) {
    return m_current ? m_current->findLine(componentType) : std::nullopt;
}

std::optional<MixerControlInfo> FallbackMixer::findVolumeControl(std::uint32_t lineId) {
    return m_current ? m_current->findVolumeControl(lineId) : std::nullopt;
}

std::optional<std::int32_t> FallbackMixer::readValue(std::uint32_t controlId) {
    return m_current ? m_current->readValue(controlId) : std::nullopt;
}

bool FallbackMixer::writeValue(std::uint32_t controlId, std::int32_t value) {
    return m_current && m_current->writeValue(controlId, value);
}

void FallbackMixer::close() {
    if (m_current)
        m_current->close();
    m_current.reset();
}

bool FallbackMixer::stale() {
    if (!m_current || m_current->stale())
        return true;
    // A preferred mixer that has come up meanwhile is taken on the next open.
    for (std::size_t i = 0; i < m_index; ++i) {
        std::unique_ptr<MixerBackend> mixer = m_candidates[i]();
        if (mixer && mixer->open()) {
            m_better = std::move(mixer);
            m_betterIndex = i;
            return true;
        }
    }
    return false;
}

std::string FallbackMixer::name() const {
    return m_current ? m_current->name() : "the mixer";
}

std::string FallbackMixer::failureText() const {
    if (!m_current)
        return m_failure;
    return m_current->failureText();
}

bool FallbackMixer::timedOut() const {
    return m_current ? m_current->timedOut() : m_timedOut;
}

} // namespace nuvok
