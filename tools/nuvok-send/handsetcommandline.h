#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line of the handset simulator nuvok-send.
namespace nuvok {

inline constexpr int kDefaultHandsetPort = 65530;
inline constexpr int kDefaultHandsetDelayMs = 200;
// The largest payload of one UDP datagram over IPv4.
inline constexpr std::size_t kMaxDatagramBytes = 65507;

// One KEY argument as a message: a key name (menu, up, down, left, right,
// select, 239), a digit key 0-9, or a key code of two or three digits (00-255),
// optionally followed by ":menu" for a menu key. Throws nuvok::Failure.
std::string encodeKey(std::string_view key);

// Hexadecimal digits, two per byte, blanks and colons allowed between bytes.
// Throws nuvok::Failure.
std::string decodeHex(std::string_view hex);

struct HandsetOptions {
    bool tcp = false;
    std::string host = "127.0.0.1";
    int port = kDefaultHandsetPort;
    int delayMs = kDefaultHandsetDelayMs;
    std::vector<std::string> messages; // in the order given
    bool showHelp = false;
};

// The arguments after the program name. Throws nuvok::Failure with a message
// meant for the user when they cannot be used.
HandsetOptions parseHandsetArguments(const std::vector<std::string>& arguments);

std::string handsetUsage();

} // namespace nuvok
