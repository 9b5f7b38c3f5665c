#include "handsetcommandline.h"

#include "common/failure.h"
#include "common/numtext.h"
#include "remote/keymessage.h"

#include <array>
#include <cctype>
#include <optional>
#include <utility>

namespace nuvok {

namespace {

struct NamedKey {
    std::string_view name;
    unsigned char code;
};

constexpr std::array<NamedKey, 7> kNamedKeys{{
    {"menu", kKeyMenu},
    {"up", kKeyUp},
    {"down", kKeyDown},
    {"left", kKeyLeft},
    {"right", kKeyRight},
    {"select", kKeySelect},
    {"239", kKeyIdle},
}};

constexpr std::string_view kMenuSuffix = ":menu";

std::string lowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// A decimal number without sign; nullopt when it exceeds the limit.
std::optional<long> decimal(std::string_view digits, long limit) {
    long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

unsigned char keyCode(std::string_view name) {
    const std::string lower = lowerCase(name);
    for (const NamedKey& key : kNamedKeys) {
        if (lower == key.name)
            return key.code;
    }
    if (name.size() == 1 && isDecimalDigits(name))
        return static_cast<unsigned char>(name.front()); // the digit keys send their character
    if (isDecimalDigits(name)) {
        const std::optional<long> code = decimal(name, 255);
        if (!code)
            throw Failure("key code " + std::string(name) + " is out of range (0-255)");
        return static_cast<unsigned char>(*code);
    }
    throw Failure("unknown key " + quoted(name) +
                  " (use menu, up, down, left, right, select, 239, a digit 0-9 or a key code "
                  "00-255)");
}

int boundedNumber(std::string_view option, std::string_view value, long low, long high,
                  std::string_view what) {
    const std::optional<long> number = isDecimalDigits(value) ? decimal(value, high) : std::nullopt;
    if (!number || *number < low)
        throw Failure(std::string(option) + ": " + quoted(value) + " is not " + std::string(what) +
                      " from " + std::to_string(low) + " to " + std::to_string(high));
    return static_cast<int>(*number);
}

} // namespace

std::string encodeKey(std::string_view key) {
    unsigned char kind = kKindKey;
    std::string_view name = key;
    if (const std::size_t colon = key.find(':'); colon != std::string_view::npos) {
        if (lowerCase(key.substr(colon)) != kMenuSuffix)
            throw Failure("unknown key kind in " + quoted(key) + " (only KEY:menu is known)");
        name = key.substr(0, colon);
        kind = kKindMenuKey;
        if (name.empty())
            throw Failure("a key is missing in " + quoted(key));
    }
    return keyMessage(keyCode(name), kind);
}

std::string decodeHex(std::string_view hex) {
    std::string bytes;
    std::size_t i = 0;
    while (i < hex.size()) {
        if (hex[i] == ' ' || hex[i] == ':') {
            ++i;
            continue;
        }
        const int high = nuvok::hexDigitValue(hex[i]);
        const int low = i + 1 < hex.size() ? nuvok::hexDigitValue(hex[i + 1]) : -2;
        if (high < 0 || low == -1)
            throw Failure("--raw " + quoted(hex) +
                          ": not hexadecimal (two digits 0-9, a-f per byte)");
        if (low == -2)
            throw Failure("--raw " + quoted(hex) + ": the last byte has only one hex digit");
        bytes.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

HandsetOptions parseHandsetArguments(const std::vector<std::string>& arguments) {
    HandsetOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.showHelp = true;
            continue;
        }
        if (argument == "--tcp") {
            options.tcp = true;
            continue;
        }
        if (!argument.starts_with("--")) {
            options.messages.push_back(encodeKey(argument));
            continue;
        }
        // Options with a value: "--port 5000" or "--port=5000".
        std::string_view name = argument;
        std::string value;
        if (const std::size_t equals = argument.find('='); equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            value = std::string(argument.substr(equals + 1));
        } else if (name == "--host" || name == "--port" || name == "--delay" || name == "--raw") {
            if (i + 1 >= arguments.size())
                throw Failure(std::string(name) + " needs a value");
            value = arguments[++i];
        }
        if (name == "--host") {
            if (value.empty())
                throw Failure("--host needs a host name or address");
            options.host = value;
        } else if (name == "--port") {
            options.port = boundedNumber(name, value, 1, 65535, "a port number");
        } else if (name == "--delay") {
            options.delayMs = boundedNumber(name, value, 0, 600000, "a number of milliseconds");
        } else if (name == "--raw") {
            options.messages.push_back(decodeHex(value));
        } else {
            throw Failure("unknown option " + quoted(argument));
        }
    }
    if (options.showHelp)
        return options;
    if (options.messages.empty())
        throw Failure("no key given");
    for (const std::string& message : options.messages) {
        // TCP carries a stream: an empty message would send nothing at all.
        if (options.tcp && message.empty())
            throw Failure("an empty --raw message cannot be sent over TCP");
        if (!options.tcp && message.size() > kMaxDatagramBytes)
            throw Failure("a --raw message of " + std::to_string(message.size()) +
                          " bytes does not fit into one UDP datagram (at most " +
                          std::to_string(kMaxDatagramBytes) + ")");
    }
    return options;
}

std::string handsetUsage() {
    return "Usage: nuvok-send [--tcp] [--host H] [--port P] [--delay MS] KEY...\n"
           "Sends key messages to NUVOKrc as the network remote handset does.\n"
           "\n"
           "  KEY            menu, up, down, left, right, select, 239;\n"
           "                 a digit 0-9 (the digit key, sending its character code 48-57);\n"
           "                 or a key code of two or three digits, 00-255;\n"
           "                 KEY:menu sends it as a menu key (kind 175) instead of a key (172)\n"
           "  --raw HEX      send these bytes as one message (e.g. --raw 35ac or --raw \"35 ac "
           "36\")\n"
           "  --tcp          one TCP connection carrying all messages (default: one UDP\n"
           "                 datagram per message)\n"
           "  --host H       receiver host (default 127.0.0.1)\n"
           "  --port P       receiver port (default 65530)\n"
           "  --delay MS     pause between two messages in milliseconds (default 200);\n"
           "                 over TCP it keeps the messages apart\n"
           "  --help         show this text and exit\n"
           "\n"
           "Examples:\n"
           "  nuvok-send menu left 3        LED 3 on\n"
           "  nuvok-send 9 9                open the door\n"
           "  nuvok-send --tcp --port 5000 menu right 5\n"
           "\n"
           "Exit status: 0 when every message was sent, 1 when the receiver refused or could not\n"
           "be reached, 2 for a wrong command line. UDP has no receipt: 0 means that no refusal\n"
           "came back from the receiving host within a moment, not that NUVOKrc got the keys.\n";
}

} // namespace nuvok
