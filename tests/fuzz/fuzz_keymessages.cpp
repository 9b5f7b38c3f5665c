// Arrivals of handset data, decoded and handed to the key interpreter as the
// main window does: once as UDP datagrams, once as the reads of a TCP stream
// cut into key messages. A door pulse ends after the arrival that follows it,
// so that keys come during the pulse. Every log line is checked as
// --log-stderr writes it to a terminal, and so is the input itself taken as a
// line (settings values and error texts reach the log from outside too).
//
// Input: messages, each a length byte (taken modulo 65, as datagrams of up to
// 64 bytes) and that many bytes; a missing tail is cut short.
#include "common/failure.h"
#include "common/textcodec.h"
#include "remote/keymessage.h"
#include "remote/remoteinterpreter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
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
        const std::size_t length = lead < 0x80         ? 1
                                   : lead >> 5 == 6    ? 2
                                   : lead >> 4 == 14   ? 3
                                   : lead >> 3 == 0x1E ? 4
                                                       : 0;
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

// What a terminal or the log panel acts on, judged from the bytes alone: C0
// controls and DEL, C1 controls (U+0080-U+009F, NEL among them), the
// bidirectional marks, embeddings, overrides and isolates, the line and
// paragraph separators, and the noncharacters (U+FDD0-U+FDEF, U+xFFFE and
// U+xFFFF of every plane), which the panel takes for line marks.
bool terminalSafeBytes(std::string_view bytes) {
    if (!validUtf8(bytes))
        return false;
    const auto at = [&](std::size_t i) {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0;
    };
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = at(i);
        if (b < 0x20 || b == 0x7F)
            return false;
        if (b == 0xC2 && at(i + 1) >= 0x80 && at(i + 1) <= 0x9F)
            return false;
        if (b == 0xD8 && at(i + 1) == 0x9C) // U+061C
            return false;
        if (b == 0xE2 && at(i + 1) == 0x80) {
            const unsigned char c = at(i + 2);
            if (c == 0x8E || c == 0x8F || (c >= 0xA8 && c <= 0xAE)) // 200E/F, 2028/9, 202A-E
                return false;
        }
        if (b == 0xE2 && at(i + 1) == 0x81 && at(i + 2) >= 0xA6 && at(i + 2) <= 0xA9)
            return false; // U+2066-U+2069
        if (b == 0xEF && at(i + 1) == 0xB7 && at(i + 2) >= 0x90 && at(i + 2) <= 0xAF)
            return false; // U+FDD0-U+FDEF
        if (b == 0xEF && at(i + 1) == 0xBF && at(i + 2) >= 0xBE)
            return false; // U+FFFE, U+FFFF
        if (b >= 0xF0 && (at(i + 1) & 0x0F) == 0x0F && at(i + 2) == 0xBF && at(i + 3) >= 0xBE)
            return false; // U+xFFFE, U+xFFFF beyond the first plane
    }
    return true;
}

// The log panel's line, UTF-16: the input's byte pairs as its units. The
// visible form must be whole characters, and safe as UTF-8.
void checkPanelLine(const std::uint8_t* data, std::size_t size) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        units += static_cast<char16_t>(data[i] | data[i + 1] << 8);
    std::u16string visible;
    if (!nuvok::visibleLogLine(units, visible))
        visible = units;
    std::string utf8;
    for (std::size_t i = 0; i < visible.size(); ++i) {
        char32_t c = visible[i];
        if (c >= 0xD800 && c <= 0xDFFF) {
            require(c <= 0xDBFF && i + 1 < visible.size() && visible[i + 1] >= 0xDC00 &&
                    visible[i + 1] <= 0xDFFF);
            c = 0x10000 + ((c - 0xD800) << 10) + (visible[++i] - 0xDC00);
        }
        nuvok::appendUtf8(utf8, c);
    }
    require(terminalSafeBytes(utf8));
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

class RecordingActions : public nuvok::RemoteActions {
public:
    explicit RecordingActions(nuvok::RemoteState& state) : m_state(state) {}

    void logData(const std::string& strText) override {
        require(validUtf8(strText));
        require(terminalSafeBytes(nuvok::terminalSafe(strText)));
        ++lines;
    }
    void sendCMD(const std::string& strData) override { require(knownCommand(strData)); }
    void scheduleDoorPulseEnd() override { ++doorPulsesDue; }
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
    int doorPulsesDue = 0;

private:
    nuvok::RemoteState& m_state;
};

class Arrivals {
public:
    explicit Arrivals(std::vector<std::string> messages) : m_messages(std::move(messages)) {}

    void run() {
        for (const std::string& data : m_messages) {
            // A pulse asked for by an earlier arrival ends after this one.
            const int due = m_actions.doorPulsesDue;
            handle(data);
            require(m_actions.doorPulsesDue <= 1); // one pulse open at a time
            for (int i = 0; i < due; ++i)
                nuvok::endDoorPulse(m_state, m_actions);
            m_actions.doorPulsesDue -= due;
            require(due == 0 || !m_state.bMenu);
        }
        for (; m_actions.doorPulsesDue > 0; --m_actions.doorPulsesDue)
            nuvok::endDoorPulse(m_state, m_actions);
    }

private:
    // One arrival, as the window's handler takes it.
    void handle(const std::string& data) {
        try {
            const nuvok::DecodedKeyMessage message = nuvok::decodeKeyMessage(data);
            checkDecoded(data, message);
            if (message.key) {
                m_actions.logData(message.logLine);
                nuvok::doRC(m_state, *message.key, m_actions, m_titles);
            }
        } catch (const nuvok::Failure& failure) {
            require(!failure.description().empty());
            m_actions.logData(failure.description());
        }
        require(knownMode(m_state.mode));
        require(m_state.strOnOff.empty() || m_state.strOnOff == "1 " || m_state.strOnOff == "0 ");
    }

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
    nuvok::RemoteState m_state;
    RecordingActions m_actions{m_state};
    const nuvok::PlayerTitles m_titles{"Winamp", "VLC"};
};

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

// The messages' bytes as the reads of one TCP connection: every complete pair
// in order, the odd last byte left over.
std::vector<std::string> streamMessages(const std::vector<std::string>& reads) {
    nuvok::KeyMessageStream stream;
    std::string all;
    std::vector<std::string> messages;
    for (const std::string& read : reads) {
        all += read;
        stream.append(read);
        while (std::optional<std::string> message = stream.next())
            messages.push_back(*message);
    }
    require(messages.size() == all.size() / 2);
    for (std::size_t i = 0; i < messages.size(); ++i)
        require(messages[i] == all.substr(2 * i, 2));
    require(stream.takeRest() == all.substr(2 * messages.size()));
    return messages;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> reads = splitMessages(data, size);
    Arrivals(reads).run();
    Arrivals(streamMessages(reads)).run();
    require(terminalSafeBytes(
        nuvok::terminalSafe(std::string_view(reinterpret_cast<const char*>(data), size))));
    checkPanelLine(data, size);
    return 0;
}
