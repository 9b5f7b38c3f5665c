#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nuvok {

// Registry value types the start entry cares about.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;

// The text of a registry string value as the start entry reads it: only a
// plain string value (REG_SZ) counts, anything else gives the fallback. The
// data ends at its first NUL; data stored without a NUL is taken whole.
template <typename Char>
std::basic_string<Char> regStringText(std::uint32_t valueType, std::basic_string_view<Char> data,
                                      std::basic_string_view<Char> fallback) {
    if (valueType != kRegSz)
        return std::basic_string<Char>(fallback);
    const auto end = data.find(Char(0));
    return std::basic_string<Char>(data.substr(0, end));
}

} // namespace nuvok
