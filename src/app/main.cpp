#include "app/commandline.h"
#include "app/f_nuvokrc.h"
#include "app/instancestart.h"
#include "app/parentconsole.h"
#include "app/signalclose.h"
#include "app/toolkitmessages.h"
#include "instance/instanceplace.h"
#include "instance/startclaim.h"
#include "shell/qtsettingsstore.h"

#include <QApplication>
#include <QLocalServer>
#include <QSettings>
#include <cstdio>

int main(int argc, char* argv[]) {
    const CommandLine commandLine = CommandLine::parse(argc, argv);
    if (commandLine.showHelp || commandLine.showVersion || commandLine.pairPhone)
        useParentConsole();
    if (commandLine.showHelp) {
        std::fputs(CommandLine::helpText().c_str(), stdout);
        return 0;
    }
    if (commandLine.showVersion) {
        std::fputs(CommandLine::versionText().c_str(), stdout);
        return 0;
    }
    if (commandLine.pairPhone) {
        // Asked of the program that runs: no display needed.
        QCoreApplication core(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("NUVOKrc"));
        return printPairingLinks(InstancePlace::forSettings(openProgramSettings()->fileName()));
    }
    const QString activationToken = startActivationToken();
    toolkitMessages::leaveOutNoise();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NUVOKrc"));

    // One program per user and settings file: before any window, icon,
    // listener or mixer, a program that runs already takes this start over.
    StartClaim claim;
    if (!commandLine.newInstance) {
        claim = StartClaim::at(InstancePlace::forSettings(openProgramSettings()->fileName()),
                               LaterStartRequest::of(commandLine, activationToken));
        if (!claim.message.isEmpty())
            std::fprintf(stderr, "%s\n", claim.message.toLocal8Bit().constData());
        if (claim.exitCode)
            return *claim.exitCode;
    }

    WindowOptions options;
    options.logToStderr = commandLine.logToStderr;
    F_NUVOKrc window(systemServices(), options);
    const SignalClose signalClose(window);
    std::unique_ptr<CommandChannel> channel;
    if (claim.server)
        channel = serveLaterStarts(std::move(claim.server), window);
    // The program ends with its window, even while it sits in the tray. The
    // window can also close before the main event loop runs (a close request
    // while the start-up message box waits): exit ends that box's loop too,
    // and the main loop is then not entered at all.
    QApplication::setQuitOnLastWindowClosed(false);
    bool closed = false;
    QObject::connect(
        &window, &F_NUVOKrc::unloaded, &app,
        [&closed] {
            closed = true;
            QCoreApplication::exit(0);
        },
        Qt::QueuedConnection);
    window.Form_Load(commandLine.argumentText);
    if (commandLine.showSettings && !closed)
        window.showSettings();
    return closed ? 0 : app.exec();
}
