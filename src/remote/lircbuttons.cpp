#include "remote/lircbuttons.h"

#include "remote/keymessage.h"

#include <cctype>

namespace nuvok {

LircButtonMap::LircButtonMap() {
    const auto key = [&](const char* name, int code) { m_buttons[name] = {code, std::nullopt}; };
    key("KEY_UP", kKeyUp);
    key("KEY_DOWN", kKeyDown);
    key("KEY_LEFT", kKeyLeft);
    key("KEY_RIGHT", kKeyRight);
    for (const char* name : {"KEY_OK", "KEY_ENTER", "KEY_SELECT"})
        key(name, kKeySelect);
    key("KEY_MENU", kKeyMenu);
    key("KEY_EXIT", kKeyIdle);
    key("KEY_BACK", kKeyIdle);
    for (int digit = 0; digit <= 9; ++digit)
        key(("KEY_" + std::to_string(digit)).c_str(), '0' + digit);
    const auto media = [&](const char* name, MediaKey what) {
        m_buttons[name] = {std::nullopt, what};
    };
    media("KEY_VOLUMEUP", MediaKey::VolumeUp);
    media("KEY_VOLUMEDOWN", MediaKey::VolumeDown);
    media("KEY_PLAYPAUSE", MediaKey::PlayPause);
    media("KEY_NEXTSONG", MediaKey::NextSong);
    media("KEY_PREVIOUSSONG", MediaKey::PreviousSong);
}

bool LircButtonMap::set(const std::string& button, const std::string& value) {
    std::size_t first = value.find_first_not_of(" \t");
    std::size_t last = value.find_last_not_of(" \t");
    if (first == std::string::npos || last - first >= 3)
        return false;
    int code = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(value[i])))
            return false;
        code = code * 10 + (value[i] - '0');
    }
    if (code > 255)
        return false;
    m_buttons[button] = {code, std::nullopt};
    return true;
}

std::optional<LircButton> LircButtonMap::find(const std::string& button) const {
    const auto found = m_buttons.find(button);
    if (found == m_buttons.end())
        return std::nullopt;
    return found->second;
}

void LircRepeats::pressed(const std::string& button, const std::string& remote,
                          std::optional<MediaKey> volumeStep, Clock::time_point now) {
    m_button = button;
    m_remote = remote;
    m_volume = volumeStep;
    m_pressedAt = now;
    m_lastStep = now;
}

std::optional<MediaKey> LircRepeats::repeatActs(const std::string& button,
                                                const std::string& remote, Clock::time_point now) {
    // A repeat of another button than the last press (its press was missed) does nothing.
    if (!m_volume || button != m_button || remote != m_remote)
        return std::nullopt;
    if (now - m_pressedAt < kRepeatDelay || now - m_lastStep < kRepeatGap)
        return std::nullopt;
    m_lastStep = now;
    return m_volume;
}

} // namespace nuvok
