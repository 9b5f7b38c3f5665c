#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nuvok {

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

} // namespace nuvok
