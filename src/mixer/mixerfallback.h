#pragma once

#include "mixer/mixerbackend.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nuvok {

using MixerFactory = std::function<std::unique_ptr<MixerBackend>()>;

// Several mixers in the order of preference, used as one: opening it opens
// the first of them that opens. While it uses a later one it is stale as soon
// as an earlier one opens again (a sound server that started after the
// program), so that the next access switches to it.
class FallbackMixer final : public MixerBackend {
public:
    explicit FallbackMixer(std::vector<MixerFactory> candidates);
    ~FallbackMixer() override;

    bool open() override;
    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override;
    std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) override;
    std::optional<std::int32_t> readValue(std::uint32_t controlId) override;
    bool writeValue(std::uint32_t controlId, std::int32_t value) override;
    void close() override;
    bool stale() override;
    std::string name() const override;
    std::string failureText() const override;
    bool timedOut() const override;

private:
    std::vector<MixerFactory> m_candidates;
    std::unique_ptr<MixerBackend> m_current;
    std::size_t m_index = 0;
    // An earlier candidate found open by stale(), taken by the next open().
    std::unique_ptr<MixerBackend> m_better;
    std::size_t m_betterIndex = 0;
    std::string m_failure;   // why the last open() found none
    bool m_timedOut = false; // the last open() found one that did not answer
};

} // namespace nuvok
