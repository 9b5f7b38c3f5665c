#pragma once

#include "instance/channelmessage.h"
#include "instance/instanceplace.h"

#include <QString>

#include <memory>
#include <optional>

class QLocalServer;

// What a start finds at its place: no program there (the name is now this
// one's, and the server listens on it), or a running program, which has taken
// the start over and said how it went.
struct StartClaim {
    std::unique_ptr<QLocalServer> server; // this start runs, with its channel
    std::optional<int> exitCode;          // handed over: the start ends with this
    QString message;                      // for standard error; empty when nothing to say

    // Asks a program at place to take the start request over, within
    // answerMs; takes the place where there is none (a name left by a
    // crash included). A place that cannot be had is never a reason not to
    // start: the start then runs without a channel, and says why.
    static StartClaim at(const InstancePlace& place, const ChannelMessage& request,
                         int answerMs = 5000);
    // Asks the program at place, if one runs there, and takes nothing: its
    // answer, or nothing with why in *problem.
    static std::optional<ChannelMessage> ask(const InstancePlace& place,
                                             const ChannelMessage& request, QString* problem,
                                             int answerMs = 5000);
    ~StartClaim();
    StartClaim();
    StartClaim(StartClaim&&) noexcept;
    StartClaim& operator=(StartClaim&&) noexcept;
};
