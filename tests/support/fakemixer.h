#pragma once

#include "mixer/mixerbackend.h"
#include "mixer/notifier.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace nuvok::test {

enum class MixerOp { Open, FindLine, FindControl, Read, Write, Close };

// An in-memory mixer device. It outlives the back-ends it hands out, so tests
// can look at the calls after the volume object is gone. Like a real device it
// answers nothing while closed and refuses values outside a control's bounds.
class FakeMixerDevice {
public:
    // A line of a component type with a volume control, at the given level.
    void addLine(std::uint32_t componentType, std::int32_t minimum, std::int32_t maximum,
                 std::int32_t level = 0);
    // A line of a component type that has no volume control.
    void addLineWithoutVolume(std::uint32_t componentType);

    // The level of the volume control on the first line of a component type,
    // as another program would see or change it.
    std::int32_t level(std::uint32_t componentType) const;
    void setLevel(std::uint32_t componentType, std::int32_t value);

    void fail(MixerOp op) { m_failing.insert(op); }
    void heal(MixerOp op) { m_failing.erase(op); }
    // The device goes away, as an unplugged headset or an ended sound server:
    // the back-ends it handed out turn stale and fail every call until one
    // of them opens it again.
    void lose() {
        m_lost = true;
        m_open = false;
    }
    // Whether writes outside a control's bounds are refused, as a card does;
    // a sound server takes levels above its 100 %.
    bool refusesOutOfBounds = true;
    // Whether a failed open counts as a device that is there but hangs.
    bool hangs = false;
    // What the back-ends call themselves.
    std::string name = "the fake mixer";
    // The reason back-ends give for a failed call.
    std::string failureText = "the fake mixer failed";
    // The reason they give when there is no line of a component type, as a
    // sound server without a default device tells why; a type without an
    // entry has no reason, as a card simply without such a control.
    std::map<std::uint32_t, std::string> missingLineText;
    int calls(MixerOp op) const;
    // Every value a write was asked to set, accepted or not, per component type.
    std::vector<std::int32_t> writes(std::uint32_t componentType) const;
    bool isOpen() const { return m_open; }
    // Told of every call a back-end makes, before it is answered.
    std::function<void(MixerOp)> onCall;

    std::unique_ptr<MixerBackend> backend();

private:
    friend class FakeMixer;
    struct Line {
        std::uint32_t componentType = 0;
        std::uint32_t lineId = 0;
        bool hasVolume = false;
        MixerControlInfo control;
        std::int32_t level = 0;
        std::vector<std::int32_t> writes;
    };
    bool enter(MixerOp op); // counts the call; false when it is to fail
    Line* lineByControl(std::uint32_t controlId);
    const Line* firstLine(std::uint32_t componentType) const;
    Line& existingLine(std::uint32_t componentType);

    std::vector<Line> m_lines;
    std::set<MixerOp> m_failing;
    std::map<MixerOp, int> m_calls;
    // Set by a lookup that found no line, until the next call.
    std::optional<std::string> m_missing;
    bool m_open = false;
    bool m_lost = false;
};

// "1 2 3": a list of levels as the test harness can show it.
std::string listText(const std::vector<std::int32_t>& values);

// Keeps every message instead of showing it.
class RecordingNotifier : public Notifier {
public:
    void showMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};

} // namespace nuvok::test
