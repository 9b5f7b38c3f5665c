#pragma once

#include "common/failure.h"
#include "shell/sessionstart.h"

#include <vector>

namespace nuvok::test {

// A start entry kept in memory that can refuse changes, silently or with a
// reason, and fail to be read.
class FakeSessionStart : public SessionStart {
public:
    bool isEnabled() const override {
        if (readFails)
            throw Failure("the entry cannot be read");
        return stored;
    }
    void setEnabled(bool on) override {
        requests.push_back(on);
        if (!refusal.empty())
            throw Failure(refusal);
        if (!refuseSilently)
            stored = on;
    }

    bool stored = false;
    bool refuseSilently = false;
    std::string refusal; // when set, changes fail with this reason
    bool readFails = false;
    std::vector<bool> requests;
};

} // namespace nuvok::test
