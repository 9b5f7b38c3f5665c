#pragma once

#include <string>

namespace nuvok {

// Shows a message to the user and returns when the user has acknowledged it
// (a modal box with an OK button and the application's title).
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void showMessage(const std::string& text) = 0;
};

} // namespace nuvok
