// Arrivals of handset data, decoded and handed to the key interpreter as the
// main window does, with each wait and controller command letting the next
// arrival run nested inside it, up to the window's nesting bound.
//
// Input: messages, each a length byte (taken modulo 65, as datagrams of up to
// 64 bytes) and that many bytes; a missing tail is cut short.
#include "common/failure.h"
#include "remote/keymessage.h"
#include "remote/nestinglimit.h"
#include "remote/remoteinterpreter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

bool validUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 6 ? 2 : lead >> 4 == 14 ? 3 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (static_cast<unsigned char>(text[i + k]) >> 6 != 2)
                return false;
        }
        i += length;
    }
    return true;
}

bool knownMode(std::int32_t mode) {
    return mode == nuvok::mode_idle || mode == nuvok::SetLeds || mode == nuvok::DoorPreOpen ||
           mode == nuvok::mode_Video || mode == nuvok::mode_Audio;
}

// The only commands the controller is ever sent: "setport N.S" with an LED
// 1-7 and its switch state, or the door pulse on port 1.
bool knownCommand(const std::string& command) {
    if (command == "setport 1.1" || command == "setport 1.0")
        return true;
    return command.size() == 12 && command.starts_with("setport ") && command[8] >= '1' &&
           command[8] <= '7' && command[9] == '.' && (command[10] == '0' || command[10] == '1') &&
           command[11] == ' ';
}

class Arrivals;

class RecordingActions : public nuvok::RemoteActions {
public:
    RecordingActions(Arrivals& arrivals, nuvok::RemoteState& state)
        : m_arrivals(arrivals), m_state(state) {}

    void logData(const std::string& strText) override {
        require(validUtf8(strText));
        ++lines;
    }
    void sendCMD(const std::string& strData) override;
    void wait(double dSeconds) override;
    void VolIncr() override { ++volumeSteps; }
    void VolDecr() override { --volumeSteps; }
    void activateWindow(const std::string& title) override {
        // Only the configured and the fixed audio title are ever asked for.
        require(title == "Winamp" || title == "VLC");
        if (title == "VLC")
            throw nuvok::Failure("no window \"VLC\"");
    }
    void sendKeys(const std::string& keys) override {
        require(!keys.empty());
        if (keys == "{enter}")
            throw nuvok::Failure("keys refused");
    }
    void showMode(const std::string& text) override {
        require(text == nuvok::modeText(m_state.mode));
    }

    long lines = 0;
    long volumeSteps = 0;

private:
    Arrivals& m_arrivals;
    nuvok::RemoteState& m_state;
};

class Arrivals {
public:
    explicit Arrivals(std::vector<std::string> messages) : m_messages(std::move(messages)) {}

    void run() {
        while (m_next < m_messages.size())
            handleNext();
        require(m_limit.depth() == 0);
        require(m_limit.takeTurnedAway() == 0);
    }

    // One arrival, as the window's handler takes it.
    void handleNext() {
        if (m_next >= m_messages.size())
            return;
        const std::string& data = m_messages[m_next++];
        {
            const nuvok::NestingLimit::Level level(m_limit);
            require(m_limit.depth() <= m_limit.maxDepth());
            if (!level.admitted())
                return;
            try {
                const nuvok::DecodedKeyMessage message = nuvok::decodeKeyMessage(data);
                checkDecoded(data, message);
                if (message.key) {
                    m_actions.logData(message.logLine);
                    nuvok::doRC(m_state, *message.key, m_actions, m_titles);
                }
            } catch (const nuvok::Failure& failure) {
                require(!failure.description().empty());
            }
            require(knownMode(m_state.mode));
            require(m_state.strOnOff.empty() || m_state.strOnOff == "1 " ||
                    m_state.strOnOff == "0 ");
        }
        if (const std::uint64_t dropped = m_limit.takeTurnedAway())
            m_actions.logData(nuvok::droppedMessagesText(dropped, m_limit.maxDepth()));
    }

private:
    static void checkDecoded(std::string_view data, const nuvok::DecodedKeyMessage& message) {
        require(data.size() >= 2);
        const auto key = static_cast<unsigned char>(data[0]);
        const auto kind = static_cast<unsigned char>(data[1]);
        if (kind == nuvok::kKindKey)
            require(message.key == key && message.logLine.starts_with("Remote: "));
        else if (kind == nuvok::kKindMenuKey)
            require(message.key == key && message.logLine == "RemoteMenu:  " + std::to_string(key));
        else
            require(!message.key && message.logLine.empty());
    }

    std::vector<std::string> m_messages;
    std::size_t m_next = 0;
    nuvok::NestingLimit m_limit{32};
    nuvok::RemoteState m_state;
    RecordingActions m_actions{*this, m_state};
    const nuvok::PlayerTitles m_titles{"Winamp", "VLC"};
};

void RecordingActions::sendCMD(const std::string& strData) {
    require(knownCommand(strData));
    m_arrivals.handleNext();
}

void RecordingActions::wait(double dSeconds) {
    require(dSeconds > 0 && dSeconds < 2);
    m_arrivals.handleNext();
}

std::vector<std::string> splitMessages(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> messages;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t length = data[i++] % 65;
        const std::size_t taken = length < size - i ? length : size - i;
        messages.emplace_back(reinterpret_cast<const char*>(data + i), taken);
        i += taken;
    }
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Arrivals arrivals(splitMessages(data, size));
    arrivals.run();
    return 0;
}
