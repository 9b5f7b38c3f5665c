#include "app/commandline.h"
#include "app/f_nuvokrc.h"
#include "app/signalclose.h"
#include "app/toolkitmessages.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    const CommandLine commandLine = CommandLine::parse(argc, argv);
    if (commandLine.showHelp) {
        std::fputs(CommandLine::helpText().c_str(), stdout);
        return 0;
    }
    if (commandLine.showVersion) {
        std::fputs(CommandLine::versionText().c_str(), stdout);
        return 0;
    }
    toolkitMessages::leaveOutNoise();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NUVOKrc"));
    WindowOptions options;
    options.logToStderr = commandLine.logToStderr;
    F_NUVOKrc window(systemServices(), options);
    const SignalClose signalClose(window);
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
    return closed ? 0 : app.exec();
}
