#pragma once

#include "shell/trayarea.h"

#include <functional>
#include <vector>

namespace nuvok::test {

// A notification area that records what is shown and lets tests click.
class FakeTrayArea : public TrayArea {
public:
    bool available() const override { return hasArea; }
    void show(const QIcon& picture, ClickHandler onClick) override {
        shown = true;
        icon = picture;
        handler = std::move(onClick);
    }
    void setIcon(const QIcon& picture) override {
        icon = picture;
        ++iconChanges;
        if (iconSet)
            iconSet(picture);
    }
    void remove() override {
        shown = false;
        handler = nullptr;
        ++removals;
    }
    void watchAvailability(std::function<void()> onChange) override {
        availabilityHandler = std::move(onChange);
    }
    bool minimiseReported() const override { return reportsMinimise; }
    // Shown at the icon, as the system's area does, when there is one to show it at.
    bool showMessage(const QString& title, const QString& text, int msecs) override {
        if (!shown || !showsMessages)
            return false;
        messages.push_back({title, text, msecs});
        return true;
    }
    void click(Click which) {
        if (handler)
            handler(which);
    }
    // The area comes or goes, and says so as the system's does.
    void setAvailable(bool available) {
        hasArea = available;
        if (availabilityHandler)
            availabilityHandler();
    }

    std::function<void(const QIcon&)> iconSet; // told of every change of the picture
    bool hasArea = true;
    bool reportsMinimise = true; // false: as on Wayland
    bool showsMessages = true;   // false: a system without messages at the icon
    bool shown = false;
    QIcon icon;
    ClickHandler handler;
    std::function<void()> availabilityHandler;
    int iconChanges = 0;
    int removals = 0;
    struct Message {
        QString title;
        QString text;
        int msecs = 0;
    };
    std::vector<Message> messages;
};

} // namespace nuvok::test
