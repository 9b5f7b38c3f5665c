#pragma once

#include <stdexcept>
#include <string>

namespace nuvok {

// An operation that could not be carried out. The description is shown to the
// user as one line of the log panel, so it is written for a person to read.
class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& description) : std::runtime_error(description) {}
    std::string description() const { return what(); }
};

} // namespace nuvok
