#pragma once

#include "app/commandline.h"
#include "instance/channelmessage.h"
#include "instance/commandchannel.h"
#include "instance/instanceplace.h"

#include <QString>

#include <memory>

class F_NUVOKrc;
class QLocalServer;

// A start of the program, as the running one is asked to take it over: the
// raw argument text and the desktop's activation token of the start.
struct LaterStartRequest {
    static ChannelMessage of(const CommandLine& commandLine, const QString& activationToken);
};

// The channel on which the running program takes later starts over; it closes
// as the window begins to close.
std::unique_ptr<CommandChannel> serveLaterStarts(std::unique_ptr<QLocalServer> server,
                                                 F_NUVOKrc& window);

// Asks the program that runs for links that pair a phone, and prints them,
// one per line; the exit code of the start.
int printPairingLinks(const InstancePlace& place);

// The desktop's token for the start the user made, read before the toolkit
// takes it out of the environment.
QString startActivationToken();
