// The number reader behind the port box, the stored port and -port: any text
// gives a number (never NaN), and a finite number's own texts read back as it.
#include "common/failure.h"
#include "common/numtext.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = nuvok::numericValue(text);
    require(!std::isnan(value));

    // Subnormal numbers may read back as zero; ports never come near them.
    if (std::isfinite(value) && (value == 0 || std::fabs(value) >= DBL_MIN)) {
        require(nuvok::numericValue(nuvok::plainNumberText(value)) == value);
        require(nuvok::numericValue(nuvok::signedNumberText(value)) == value);
        // Without a separator in it, the text reads back in any number format.
        const std::string withComma = nuvok::plainNumberText(value, ',');
        if (withComma.find(',') == std::string::npos)
            require(nuvok::numericValue(withComma) == value);
    }
    if (std::fabs(value) <= FLT_MAX && (value == 0 || std::fabs(value) >= FLT_MIN)) {
        const auto single = static_cast<float>(value);
        require(static_cast<float>(nuvok::numericValue(nuvok::signedNumberText(single))) == single);
    }
    try {
        const std::int32_t whole = nuvok::roundHalfEvenToInt32(value);
        require(std::fabs(double(whole) - value) <= 0.5);
    } catch (const nuvok::Failure& failure) {
        require(!(std::fabs(value) < 2147483647.0));
        require(!failure.description().empty());
    }
    return 0;
}
