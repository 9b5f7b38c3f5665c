#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nuvok {

// The frames of a WebSocket (RFC 6455) as the web remote's server side
// reads and writes them. A client's frames are masked; the server's are not.
// Messages are bounded: a frame or a message larger than the bound ends the
// connection before its bytes are kept.
namespace ws {

enum Opcode : int { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

// Close codes the server sends.
enum CloseCode : int {
    Normal = 1000,
    GoingAway = 1001,
    ProtocolError = 1002,
    BadData = 1007,
    TooBig = 1009,
};

struct Event {
    enum class Kind { Text, Binary, Ping, Pong, Close, Failed } kind = Kind::Failed;
    std::string data;  // the message, the ping's data, or why it failed
    int closeCode = 0; // Close: the peer's code (1005 when none); Failed: the code to close with
};

class FrameReader {
public:
    explicit FrameReader(std::size_t maxMessage) : m_max(maxMessage) {}

    void append(std::string_view bytes);
    // The next event of what was appended, or nothing until more comes. After
    // a Failed event nothing more is read.
    std::optional<Event> next();
    // Bytes kept now, for the owner's bound.
    std::size_t buffered() const { return m_bytes.size() - m_taken; }

private:
    Event fail(int code, std::string why);

    std::size_t m_max;
    std::string m_bytes;
    std::size_t m_taken = 0;
    std::string m_message;   // a fragmented message so far
    int m_messageOpcode = 0; // 0: none under way
    bool m_failed = false;
};

// One unmasked frame with fin set.
std::string frame(Opcode opcode, std::string_view payload);
std::string closeFrame(int code, std::string_view reason = {});

} // namespace ws
} // namespace nuvok
