#pragma once

#include <optional>
#include <string>
#include <string_view>

// The handset's key messages on the wire: two bytes, the key code and its
// kind. The program, the handset simulator, the tests and the benchmarks all
// take the format from here.
namespace nuvok {

// Key codes of the handset's named keys; the digit keys send their character
// ('0' to '9').
inline constexpr int kKeySelect = 4;
inline constexpr int kKeyUp = 14;
inline constexpr int kKeyDown = 15;
inline constexpr int kKeyLeft = 16;
inline constexpr int kKeyRight = 17;
inline constexpr int kKeyMenu = 238;
inline constexpr int kKeyIdle = 239;

// Kinds: an ordinary key, or a key sent as a menu key.
inline constexpr unsigned char kKindKey = 172;
inline constexpr unsigned char kKindMenuKey = 175;

// The two bytes of one key message.
std::string keyMessage(unsigned char keyCode, unsigned char kind = kKindKey);

// What one arrival of handset data means: the line for the log (UTF-8, control
// codes left as they are; the log panel shows them as pictures) and the key
// code for the interpreter. A message of an unknown kind yields neither.
struct DecodedKeyMessage {
    std::string logLine;
    std::optional<int> key;
};

// Reads the key code and the kind from the first two bytes; anything after
// them is ignored. Throws nuvok::Failure for fewer than two bytes.
DecodedKeyMessage decodeKeyMessage(std::string_view data);

// A TCP connection's bytes as key messages. The handset writes its two-byte
// messages one after another, and the network cuts them where it likes: one
// read may hold several messages, or half of one. Each complete pair is taken
// in order; an odd last byte waits for its partner. (A UDP datagram is one
// message as it stands and does not go through here.)
class KeyMessageStream {
public:
    void append(std::string_view bytes);
    // The next complete message, oldest first, or nothing.
    std::optional<std::string> next();
    // The bytes still waiting for their partner: none or one.
    std::string takeRest();
    void clear();

private:
    std::string m_bytes;
    std::size_t m_taken = 0; // bytes of m_bytes already handed out
};

} // namespace nuvok
