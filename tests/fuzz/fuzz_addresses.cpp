// The one reading of addresses and networks against the system's own strict
// one: inet_pton, which takes four decimal parts without leading zeros and
// IPv6 with a dotted tail, and nothing else. A text is read exactly when
// inet_pton reads its address (and its prefix, after the first '/', is 0 to
// the address's length, without a leading zero), to the same bytes; a text
// refused only for a zero-padded dotted part is an address once the padding
// goes; and what the log shows of an address reads back as it.
#include "common/ipaddress.h"
#include "common/numtext.h"

#include <arpa/inet.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

struct Oracle {
    bool read = false;
    nuvok::IpAddress address;
    int prefix = 0;
};

Oracle systemReading(std::string_view text) {
    Oracle oracle;
    const std::size_t slash = text.find('/');
    const std::string address(text.substr(0, slash));
    if (address.find('\0') != std::string::npos)
        return oracle; // inet_pton would see only the start
    int max = 32;
    if (inet_pton(AF_INET, address.c_str(), oracle.address.bytes.data()) != 1) {
        oracle.address.family = nuvok::IpAddress::Family::IPv6;
        max = 128;
        if (inet_pton(AF_INET6, address.c_str(), oracle.address.bytes.data()) != 1)
            return oracle;
    }
    oracle.prefix = max;
    if (slash != std::string_view::npos) {
        const std::string_view prefix = text.substr(slash + 1);
        if (!nuvok::isDecimalDigits(prefix) || prefix.size() > 3 ||
            (prefix.size() > 1 && prefix[0] == '0'))
            return oracle;
        oracle.prefix = std::atoi(std::string(prefix).c_str());
        if (oracle.prefix > max)
            return oracle;
    }
    oracle.read = true;
    return oracle;
}

// The text with the leading zeros of its dotted parts taken away.
std::string unpadded(std::string_view text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && text[end] != '.' && text[end] != ':' && text[end] != '/')
            ++end;
        std::string_view token = text.substr(at, end - at);
        const bool dotted =
            (end < text.size() && text[end] == '.') || (at > 0 && text[at - 1] == '.');
        if (dotted && nuvok::isDecimalDigits(token))
            while (token.size() > 1 && token[0] == '0')
                token.remove_prefix(1);
        out += token;
        if (end < text.size())
            out += text[end];
        at = end + 1;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const nuvok::ParsedAddress parsed = nuvok::parseAddress(text);
    const Oracle oracle = systemReading(text);
    require(bool(parsed) == oracle.read);
    if (parsed) {
        require(parsed.address == oracle.address);
        require(parsed.prefix == oracle.prefix);
        require(parsed.prefixWritten == (text.find('/') != std::string_view::npos));
        const nuvok::ParsedAddress again = nuvok::parseAddress(nuvok::addressText(parsed.address));
        require(again && !again.prefixWritten && again.address == parsed.address);
    }
    // Whether the padding is all that is wrong.
    const bool readUnpadded = systemReading(unpadded(text)).read;
    if (parsed.problem == nuvok::AddressProblem::ZeroPadded)
        require(readUnpadded);
    if (parsed.problem == nuvok::AddressProblem::Malformed)
        require(!readUnpadded);
    return 0;
}
