#include "support/fakemixer.h"

#include <stdexcept>

namespace nuvok::test {

// Line and control identifiers differ, as on a real mixer, so that a mix-up
// between them shows.
constexpr std::uint32_t kFirstLineId = 0x10000;
constexpr std::uint32_t kFirstControlId = 0x20000;

class FakeMixer final : public MixerBackend {
public:
    explicit FakeMixer(FakeMixerDevice& device) : m_device(device) {}

    bool open() override {
        if (!m_device.enter(MixerOp::Open))
            return false;
        m_device.m_open = true;
        m_device.m_lost = false;
        return true;
    }

    bool stale() override { return m_device.m_lost; }
    std::string name() const override { return m_device.name; }
    std::string failureText() const override {
        return m_device.m_missing.value_or(m_device.failureText);
    }
    bool hung() const override { return m_device.hangs && m_device.m_failing.count(MixerOp::Open); }

    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override {
        if (!m_device.enter(MixerOp::FindLine) || !m_device.m_open)
            return std::nullopt;
        if (const FakeMixerDevice::Line* line = m_device.firstLine(componentType))
            return line->lineId;
        const auto reason = m_device.missingLineText.find(componentType);
        m_device.m_missing =
            reason == m_device.missingLineText.end() ? std::string() : reason->second;
        return std::nullopt;
    }

    std::optional<MixerControlInfo> findVolumeControl(std::uint32_t lineId) override {
        if (!m_device.enter(MixerOp::FindControl) || !m_device.m_open)
            return std::nullopt;
        for (const FakeMixerDevice::Line& line : m_device.m_lines)
            if (line.lineId == lineId && line.hasVolume)
                return line.control;
        return std::nullopt;
    }

    std::optional<std::int32_t> readValue(std::uint32_t controlId) override {
        if (!m_device.enter(MixerOp::Read) || !m_device.m_open)
            return std::nullopt;
        if (FakeMixerDevice::Line* line = m_device.lineByControl(controlId))
            return line->level;
        return std::nullopt;
    }

    bool writeValue(std::uint32_t controlId, std::int32_t value) override {
        const bool proceed = m_device.enter(MixerOp::Write);
        FakeMixerDevice::Line* line = m_device.lineByControl(controlId);
        if (line)
            line->writes.push_back(value);
        if (!proceed || !m_device.m_open || !line)
            return false;
        if (m_device.refusesOutOfBounds &&
            (value < line->control.minimum || value > line->control.maximum))
            return false;
        line->level = value;
        return true;
    }

    void close() override {
        m_device.enter(MixerOp::Close);
        m_device.m_open = false;
    }

private:
    FakeMixerDevice& m_device;
};

void FakeMixerDevice::addLine(std::uint32_t componentType, std::int32_t minimum,
                              std::int32_t maximum, std::int32_t level) {
    Line line;
    line.componentType = componentType;
    line.lineId = kFirstLineId + static_cast<std::uint32_t>(m_lines.size());
    line.hasVolume = true;
    line.control = {kFirstControlId + static_cast<std::uint32_t>(m_lines.size()), minimum, maximum};
    line.level = level;
    m_lines.push_back(line);
}

void FakeMixerDevice::addLineWithoutVolume(std::uint32_t componentType) {
    Line line;
    line.componentType = componentType;
    line.lineId = kFirstLineId + static_cast<std::uint32_t>(m_lines.size());
    m_lines.push_back(line);
}

std::int32_t FakeMixerDevice::level(std::uint32_t componentType) const {
    const Line* line = firstLine(componentType);
    if (!line)
        throw std::logic_error("fake mixer: no line of that component type");
    return line->level;
}

void FakeMixerDevice::setLevel(std::uint32_t componentType, std::int32_t value) {
    existingLine(componentType).level = value;
}

FakeMixerDevice::Line& FakeMixerDevice::existingLine(std::uint32_t componentType) {
    for (Line& line : m_lines)
        if (line.componentType == componentType)
            return line;
    throw std::logic_error("fake mixer: no line of that component type");
}

int FakeMixerDevice::calls(MixerOp op) const {
    auto it = m_calls.find(op);
    return it == m_calls.end() ? 0 : it->second;
}

std::vector<std::int32_t> FakeMixerDevice::writes(std::uint32_t componentType) const {
    const Line* line = firstLine(componentType);
    return line ? line->writes : std::vector<std::int32_t>{};
}

std::unique_ptr<MixerBackend> FakeMixerDevice::backend() {
    return std::make_unique<FakeMixer>(*this);
}

std::string listText(const std::vector<std::int32_t>& values) {
    std::string text;
    for (std::int32_t v : values)
        text += (text.empty() ? "" : " ") + std::to_string(v);
    return text;
}

bool FakeMixerDevice::enter(MixerOp op) {
    ++m_calls[op];
    m_missing.reset();
    if (onCall)
        onCall(op);
    return m_failing.count(op) == 0;
}

FakeMixerDevice::Line* FakeMixerDevice::lineByControl(std::uint32_t controlId) {
    for (Line& line : m_lines)
        if (line.hasVolume && line.control.controlId == controlId)
            return &line;
    return nullptr;
}

const FakeMixerDevice::Line* FakeMixerDevice::firstLine(std::uint32_t componentType) const {
    for (const Line& line : m_lines)
        if (line.componentType == componentType)
            return &line;
    return nullptr;
}

} // namespace nuvok::test
