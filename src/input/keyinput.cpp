#include "input/keyinput.h"

void KeyInput::keyDone(const KeyArrival&, std::optional<nuvok::MediaKey>) {}

void KeyInput::setTrust(const ControllerTrust& trust) {
    m_trust = trust;
    emit trustChanged();
}

void KeyInput::end() {
    m_ended = true;
    stop();
}
