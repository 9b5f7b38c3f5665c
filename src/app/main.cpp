#include "app/commandline.h"
#include "app/f_nuvokrc.h"

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
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("NUVOKrc"));
    WindowOptions options;
    options.logToStderr = commandLine.logToStderr;
    F_NUVOKrc window(systemServices(), options);
    // The program ends with its window, even while it sits in the tray.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&window, &F_NUVOKrc::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window.Form_Load(commandLine.argumentText);
    return app.exec();
}
