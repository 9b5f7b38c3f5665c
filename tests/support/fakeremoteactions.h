#pragma once

#include "common/failure.h"
#include "remote/remoteactions.h"
#include "shell/desktopcontrol.h"

#include <functional>
#include <set>
#include <string>
#include <vector>

// Records every action as one journal entry ("log:...", "cmd:...", "door:later",
// "vol+", "vol-", "activate:...", "keys:...", "mode:...") and can fail or run
// further key codes from inside sendCMD. The door pulses asked for are counted;
// the test ends them with nuvok::endDoorPulse.
class FakeRemoteActions : public nuvok::RemoteActions {
public:
    std::vector<std::string> journal;
    std::set<std::string> openWindows{"Winamp", "VLC"};
    std::string failingKeys; // sendKeys with this text fails
    int doorPulsesDue = 0;
    std::function<void(const std::string&)> duringSendCMD;

    void logData(const std::string& strText) override { journal.push_back("log:" + strText); }
    void sendCMD(const std::string& strData) override {
        journal.push_back("cmd:" + strData);
        if (duringSendCMD)
            duringSendCMD(strData);
    }
    void scheduleDoorPulseEnd() override {
        journal.push_back("door:later");
        ++doorPulsesDue;
    }
    void VolIncr() override { journal.push_back("vol+"); }
    void VolDecr() override { journal.push_back("vol-"); }
    void activateWindow(const std::string& title) override {
        journal.push_back("activate:" + title);
        if (!openWindows.contains(title))
            throw nuvok::WindowNotFound("no window \"" + title + "\"");
    }
    void sendKeys(const std::string& keys) override {
        journal.push_back("keys:" + keys);
        if (!failingKeys.empty() && keys == failingKeys)
            throw nuvok::Failure("keys refused");
    }
    void showMode(const std::string& text) override { journal.push_back("mode:" + text); }

    std::vector<std::string> take() {
        std::vector<std::string> taken;
        taken.swap(journal);
        return taken;
    }
};
