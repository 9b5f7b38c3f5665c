#pragma once

#include "input/keyinput.h"

#include <optional>
#include <vector>

namespace nuvok::test {

// An input whose keys the test presses, from a sender it names; it keeps
// what each key did and says the door warning the test gives it.
class TestInput : public KeyInput {
    Q_OBJECT

public:
    void press(int code, const nuvok::KeyOrigin& origin = {}) {
        KeyArrival arrival;
        arrival.code = code;
        arrival.origin = origin;
        emit arrived(arrival);
    }
    void pressMedia(nuvok::MediaKey key) {
        KeyArrival arrival;
        arrival.media = key;
        emit arrived(arrival);
    }
    void setWarning(const QString& warning) {
        m_warning = warning;
        emit reachChanged();
    }

    void start() override { running = !ended(); }
    void stop() override { running = false; }
    QString stateText() const override { return running ? "pressing keys" : "stopped"; }
    QString forgedSenderWarning() const override { return m_warning; }
    void keyDone(const KeyArrival&, std::optional<nuvok::MediaKey> volumeStep) override {
        steps.push_back(volumeStep);
    }

    bool running = false;
    std::vector<std::optional<nuvok::MediaKey>> steps; // what each key stepped

private:
    QString m_warning;
};

} // namespace nuvok::test
