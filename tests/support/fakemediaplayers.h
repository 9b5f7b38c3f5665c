#pragma once

#include "common/failure.h"
#include "shell/mediaplayers.h"

#include <string>
#include <vector>

namespace nuvok::test {

// The players on a pretend bus. Calls are recorded as "mpris:BUS CALL" (with
// the offset for a Seek) in `journal` when one is given, else in `calls`.
class FakeMediaPlayers : public nuvok::MediaPlayers {
public:
    std::vector<nuvok::MediaPlayer> players;
    std::vector<std::string> calls;
    std::vector<std::string>* journal = nullptr;
    std::string listFailure; // list() fails with this when set
    std::string callFailure; // call() fails with this when set

    std::vector<nuvok::MediaPlayer> list() override {
        if (!listFailure.empty())
            throw nuvok::Failure(listFailure);
        return players;
    }
    void call(const std::string& busName, nuvok::PlayerCall call,
              std::int64_t offsetMicroseconds) override {
        std::string entry = "mpris:" + busName + " " + nuvok::callName(call);
        if (call == nuvok::PlayerCall::Seek)
            entry += " " + std::to_string(offsetMicroseconds);
        (journal ? *journal : calls).push_back(entry);
        if (!callFailure.empty())
            throw nuvok::Failure(callFailure);
    }
};

} // namespace nuvok::test
