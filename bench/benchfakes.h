#pragma once

#include "mixer/mixerbackend.h"
#include "shell/desktopcontrol.h"
#include "shell/settingsstore.h"
#include "shell/trayarea.h"

#include <functional>
#include <map>
#include <string>

// Back-ends for the main window that cost next to nothing and tell the bench
// when the key interpreter reaches them.
namespace bench {

class MemorySettings : public nuvok::SettingsStore {
public:
    std::string read(const std::string& key) const override {
        const auto found = m_values.find(key);
        return found == m_values.end() ? std::string() : found->second;
    }
    void write(const std::string& key, const std::string& value) override { m_values[key] = value; }

private:
    std::map<std::string, std::string> m_values;
};

// A notification area that is always there, so the window hides into it.
class QuietTrayArea : public TrayArea {
public:
    bool available() const override { return true; }
    void show(const QIcon&, ClickHandler) override {}
    void setIcon(const QIcon&) override {}
    void remove() override {}
};

// Keystrokes and activations that only report that they were asked for.
class SignallingDesktop : public nuvok::DesktopControl {
public:
    std::function<void()> reached;
    void activateWindow(const std::string&) override { notify(); }
    void sendKeys(const std::string&) override { notify(); }

private:
    void notify() {
        if (reached)
            reached();
    }
};

// A mixer with one speakers line whose level lives in memory.
class SignallingMixer : public nuvok::MixerBackend {
public:
    explicit SignallingMixer(std::function<void()> reached) : m_reached(std::move(reached)) {}

    bool open() override { return true; }
    std::optional<std::uint32_t> findLine(std::uint32_t componentType) override {
        return componentType == nuvok::kComponentSpeakers ? std::optional<std::uint32_t>(1)
                                                          : std::nullopt;
    }
    std::optional<nuvok::MixerControlInfo> findVolumeControl(std::uint32_t lineId) override {
        return nuvok::MixerControlInfo{lineId, 0, 65535};
    }
    std::optional<std::int32_t> readValue(std::uint32_t) override {
        if (m_reached)
            m_reached();
        return m_level;
    }
    bool writeValue(std::uint32_t, std::int32_t value) override {
        m_level = value;
        return true;
    }
    void close() override {}

private:
    std::function<void()> m_reached;
    std::int32_t m_level = 32768;
};

} // namespace bench
