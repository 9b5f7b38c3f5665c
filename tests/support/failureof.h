#pragma once

#include "common/failure.h"

#include <string>

namespace nuvok::test {

inline const std::string kNoFailure = "(no failure)";

// The description of the Failure the call throws, or kNoFailure.
template <typename Call> std::string failureOf(Call&& call) {
    try {
        call();
    } catch (const Failure& failure) {
        return failure.description();
    }
    return kNoFailure;
}

} // namespace nuvok::test
