#pragma once

#include "remote/remoteinterpreter.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace nuvok {

// What a button of an infrared remote does: a handset's key code, or one of
// the dedicated media buttons.
struct LircButton {
    std::optional<int> keyCode;
    std::optional<MediaKey> media;
};

// Button names (the kernel's KEY_* names, as lircd's configuration files use
// them) to what they do: the program's defaults, changed by the user's own
// entries (a key code in decimal, 53 for "5").
class LircButtonMap {
public:
    LircButtonMap();
    // False when the value is no key code from 0 to 255; the entry is left as it was.
    bool set(const std::string& button, const std::string& value);
    std::optional<LircButton> find(const std::string& button) const;
    // Every button that does something, by name.
    const std::map<std::string, LircButton>& buttons() const { return m_buttons; }

private:
    std::map<std::string, LircButton> m_buttons;
};

// Whether an event of a held button acts: a press always does; a repeat only
// when its press stepped the volume, no sooner than kRepeatDelay after the
// press and kRepeatGap after the last step. Nothing else repeats: not a Menu
// choice, not the door, never a controller command.
class LircRepeats {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kRepeatDelay{400};
    static constexpr std::chrono::milliseconds kRepeatGap{125};

    // The press of a button (repeat 0), and the volume step it made, if any.
    void pressed(const std::string& button, const std::string& remote,
                 std::optional<MediaKey> volumeStep, Clock::time_point now);
    // The step this repeat of the held button makes now, if any: always the
    // press's own, whatever the mode has become since.
    std::optional<MediaKey> repeatActs(const std::string& button, const std::string& remote,
                                       Clock::time_point now);

private:
    std::string m_button;
    std::string m_remote;
    std::optional<MediaKey> m_volume;
    Clock::time_point m_pressedAt{};
    Clock::time_point m_lastStep{};
};

} // namespace nuvok
