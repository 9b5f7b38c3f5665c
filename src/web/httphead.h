#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace nuvok {

// The head of one HTTP/1.1 request as the web remote reads it: a request line
// and its header fields, bounded, so that a client that sends endless lines
// or fields costs no more than the bounds.
struct HttpHead {
    static constexpr std::size_t kMaxRequestLine = 2048;
    static constexpr std::size_t kMaxHeadBytes = 8192;
    static constexpr std::size_t kMaxFields = 48;

    enum class Status { Incomplete, Complete, TooLarge, Malformed };

    std::string method;
    std::string target;
    std::string version;
    std::vector<std::pair<std::string, std::string>> fields; // names in lower case

    // The value of a field; empty when it is not there. A field sent twice
    // is ambiguous where it matters (Host, Origin), so `count` tells.
    std::string field(std::string_view name) const;
    std::size_t count(std::string_view name) const;

    // Reads a head from the bytes received so far; `length` is the head's
    // size (its blank line included) once it is complete.
    static Status parse(std::string_view bytes, HttpHead& head, std::size_t& length);
};

// Whether a request's Host names this program as it listens on `port`: one of
// `names` (this PC's own addresses, its host name, localhost), with the port.
// Anything else may be a name that another site has pointed at this PC.
bool hostIsOwn(std::string_view host, const std::vector<std::string>& names, int port);

} // namespace nuvok
