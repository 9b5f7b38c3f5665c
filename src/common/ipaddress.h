#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace nuvok {

// An IPv4 or IPv6 address as its bytes, in network order; IPv4 uses the
// first four.
struct IpAddress {
    enum class Family : std::uint8_t { IPv4, IPv6 };

    Family family = Family::IPv4;
    std::array<std::uint8_t, 16> bytes{};

    int maxPrefix() const { return family == Family::IPv4 ? 32 : 128; }
    // No <=> here: the Qt headers that include this one go through moc,
    // which cannot read <compare>.
    bool operator==(const IpAddress&) const = default;
    bool operator<(const IpAddress& other) const {
        return family != other.family ? family < other.family : bytes < other.bytes;
    }
};

// Why a text is no address.
enum class AddressProblem : std::uint8_t {
    None,
    Malformed,
    // A dotted part with a leading zero ("010"): some programs read it as
    // octal, others as decimal, so it stands for two different addresses.
    ZeroPadded,
};

struct ParsedAddress {
    AddressProblem problem = AddressProblem::None;
    IpAddress address;
    int prefix = 0;             // the network's length; the full length for a single address
    bool prefixWritten = false; // "a/n" rather than "a"

    explicit operator bool() const { return problem == AddressProblem::None; }
};

// An IPv4 address as IPv6 maps it (::ffff:a.b.c.d), and the IPv4 address it is.
bool isMappedIpv4(const IpAddress& address);
IpAddress mappedIpv4(const IpAddress& address);

// Reads a single address or a network, the one reading for every setting:
// "a.b.c.d" and "a.b.c.d/n" with four decimal parts of 0-255, IPv6 with "::"
// and a dotted IPv4 tail, "addr/n" with n from 0 to the address's length,
// written without leading zeros. Everything else is refused, so that a text
// never stands for an address other than the one a reader of it sees:
// shortened ("127.1"), hexadecimal and octal forms, zone ids ("%eth0"),
// blanks. A ZeroPadded text would be an address but for a padded part.
ParsedAddress parseAddress(std::string_view text);

// The address as a log shows it: dotted decimal, or IPv6 in its shortest
// form, an IPv4-mapped one with its dotted tail (::ffff:127.0.0.1).
std::string addressText(const IpAddress& address);

} // namespace nuvok
