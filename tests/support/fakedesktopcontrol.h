#pragma once

#include "common/failure.h"
#include "shell/desktopcontrol.h"

#include <functional>
#include <string>
#include <vector>

namespace nuvok::test {

// Records activations ("activate:TITLE") and keystrokes ("keys:TEXT") in one
// list; activation fails for titles not among the open windows, and every
// call fails while failAll is set.
class FakeDesktopControl : public nuvok::DesktopControl {
public:
    std::vector<std::string> calls;
    std::vector<std::string> openWindows{"Winamp", "VLC"};
    bool failAll = false;
    // Told of every call, after it is recorded.
    std::function<void()> reached;

    void activateWindow(const std::string& title) override {
        calls.push_back("activate:" + title);
        notify();
        if (failAll)
            throw nuvok::Failure("desktop unavailable");
        for (const std::string& open : openWindows) {
            if (open == title)
                return;
        }
        throw nuvok::WindowNotFound("No window \"" + title + "\"");
    }
    std::vector<std::string> windowTitles() override {
        if (failAll)
            throw nuvok::Failure("desktop unavailable");
        return openWindows;
    }
    void sendKeys(const std::string& keys) override {
        calls.push_back("keys:" + keys);
        notify();
        if (failAll)
            throw nuvok::Failure("desktop unavailable");
    }

private:
    void notify() {
        if (reached)
            reached();
    }
};

} // namespace nuvok::test
