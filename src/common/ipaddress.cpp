#include "common/ipaddress.h"

#include "common/numtext.h"

#include <cstddef>

namespace nuvok {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Four decimal parts of 0-255 into out; padded tells whether a part had a
// leading zero, which alone does not make it malformed.
bool parseDotted(std::string_view text, std::uint8_t* out, bool& padded) {
    int parts = 0;
    std::size_t at = 0;
    for (;;) {
        const std::size_t start = at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        std::string_view part = text.substr(start, at - start);
        if (part.empty() || parts == 4)
            return false;
        if (part.size() > 1 && part[0] == '0')
            padded = true;
        while (part.size() > 1 && part[0] == '0')
            part.remove_prefix(1);
        if (part.size() > 3)
            return false;
        int value = 0;
        for (const char c : part)
            value = value * 10 + (c - '0');
        if (value > 255)
            return false;
        out[parts++] = static_cast<std::uint8_t>(value);
        if (at == text.size())
            return parts == 4;
        if (text[at] != '.')
            return false;
        ++at;
    }
}

// Groups of one to four hexadecimal digits, one "::" for a run of zero
// groups, and a dotted IPv4 tail for the last two groups.
bool parseIpv6(std::string_view text, std::uint8_t* out, bool& padded) {
    std::uint16_t groups[8] = {};
    int count = 0;
    int gap = -1; // where "::" stands
    std::size_t at = 0;
    if (text.starts_with("::")) {
        gap = 0;
        at = 2;
        if (at == text.size())
            return true; // "::", all zeros
    } else if (text.starts_with(":")) {
        return false;
    }
    for (;;) {
        const std::size_t colon = text.find(':', at);
        const std::string_view token = text.substr(at, colon - at);
        if (token.find('.') != std::string_view::npos) {
            std::uint8_t tail[4];
            if (colon != std::string_view::npos || count > 6 || !parseDotted(token, tail, padded))
                return false;
            groups[count++] = static_cast<std::uint16_t>(tail[0] << 8 | tail[1]);
            groups[count++] = static_cast<std::uint16_t>(tail[2] << 8 | tail[3]);
            break;
        }
        if (token.empty() || token.size() > 4 || count == 8)
            return false;
        std::uint16_t group = 0;
        for (const char c : token) {
            const int value = hexDigitValue(c);
            if (value < 0)
                return false;
            group = static_cast<std::uint16_t>(group << 4 | value);
        }
        groups[count++] = group;
        if (colon == std::string_view::npos)
            break;
        at = colon + 1;
        if (at < text.size() && text[at] == ':') {
            if (gap >= 0)
                return false;
            gap = count;
            if (++at == text.size())
                break;
        } else if (at == text.size()) {
            return false; // a single ':' at the end
        }
    }
    // "::" stands for at least one group.
    if (gap >= 0 ? count > 7 : count != 8)
        return false;
    int to = 0;
    for (int from = 0; from < count; ++from, ++to) {
        if (from == gap)
            to += 8 - count;
        out[2 * to] = static_cast<std::uint8_t>(groups[from] >> 8);
        out[2 * to + 1] = static_cast<std::uint8_t>(groups[from] & 0xFF);
    }
    return true;
}

// "n" of "a/n": decimal, no leading zero, within the address's length.
bool parsePrefix(std::string_view text, int max, int& prefix) {
    if (text.empty() || text.size() > 3 || (text.size() > 1 && text[0] == '0'))
        return false;
    prefix = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return false;
        prefix = prefix * 10 + (c - '0');
    }
    return prefix <= max;
}

void appendHex(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789abcdef";
    bool started = false;
    for (int shift = 12; shift >= 0; shift -= 4) {
        const unsigned digit = (value >> shift) & 0xF;
        if (started || digit != 0 || shift == 0) {
            out += kHex[digit];
            started = true;
        }
    }
}

} // namespace

bool isMappedIpv4(const IpAddress& address) {
    if (address.family != IpAddress::Family::IPv6)
        return false;
    for (std::size_t i = 0; i < 10; ++i)
        if (address.bytes[i] != 0)
            return false;
    return address.bytes[10] == 0xFF && address.bytes[11] == 0xFF;
}

IpAddress mappedIpv4(const IpAddress& address) {
    IpAddress plain;
    for (std::size_t i = 0; i < 4; ++i)
        plain.bytes[i] = address.bytes[12 + i];
    return plain;
}

ParsedAddress parseAddress(std::string_view text) {
    ParsedAddress parsed;
    const std::size_t slash = text.find('/');
    const std::string_view address = text.substr(0, slash);
    bool padded = false;
    bool read = false;
    if (address.find(':') != std::string_view::npos) {
        parsed.address.family = IpAddress::Family::IPv6;
        read = parseIpv6(address, parsed.address.bytes.data(), padded);
    } else {
        read = parseDotted(address, parsed.address.bytes.data(), padded);
    }
    parsed.prefix = parsed.address.maxPrefix();
    if (slash != std::string_view::npos) {
        parsed.prefixWritten = true;
        read =
            read && parsePrefix(text.substr(slash + 1), parsed.address.maxPrefix(), parsed.prefix);
    }
    if (!read)
        parsed.problem = AddressProblem::Malformed;
    else if (padded)
        parsed.problem = AddressProblem::ZeroPadded;
    return parsed;
}

std::string addressText(const IpAddress& address) {
    const auto& b = address.bytes;
    const auto dotted = [&](std::string& out, std::size_t from) {
        for (std::size_t i = from; i < from + 4; ++i) {
            if (i > from)
                out += '.';
            out += std::to_string(b[i]);
        }
    };
    std::string out;
    if (address.family == IpAddress::Family::IPv4) {
        dotted(out, 0);
        return out;
    }
    if (isMappedIpv4(address)) {
        out = "::ffff:";
        dotted(out, 12);
        return out;
    }
    unsigned groups[8];
    for (int i = 0; i < 8; ++i)
        groups[i] = unsigned(b[2 * i]) << 8 | b[2 * i + 1];
    // The longest run of two or more zero groups, the first of equal ones.
    int runStart = -1;
    int runLength = 1;
    for (int i = 0; i < 8;) {
        int j = i;
        while (j < 8 && groups[j] == 0)
            ++j;
        if (j - i > runLength) {
            runStart = i;
            runLength = j - i;
        }
        i = j > i ? j : i + 1;
    }
    for (int i = 0; i < 8; ++i) {
        if (i == runStart) {
            out += "::";
            i += runLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':')
            out += ':';
        appendHex(out, groups[i]);
    }
    return out;
}

} // namespace nuvok
