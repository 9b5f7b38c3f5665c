#include "app/commandline.h"

#include "common/buildconfig.h"

#include <string_view>

CommandLine CommandLine::parse(int argc, const char* const* argv) {
    CommandLine line;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--log-stderr") {
            line.logToStderr = true;
        } else if (arg == "--help" || arg == "-h") {
            line.showHelp = true;
        } else if (arg == "--version") {
            line.showVersion = true;
        } else {
            if (!line.argumentText.empty())
                line.argumentText += ' ';
            line.argumentText += arg;
        }
    }
    return line;
}

std::string CommandLine::helpText() {
    return "Usage: nuvokrc [-port N] [-min] [--log-stderr]\n"
           "Turns a network remote handset into a remote control for this PC.\n"
           "\n"
           "  -port N        listen on port N for this run (otherwise the stored port, or 65530)\n"
           "  -min           accepted for the start with the session; the window always starts\n"
           "                 hidden in the notification area\n"
           "  --log-stderr   also write every log line to standard error\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n";
}

std::string CommandLine::versionText() {
    return std::string("nuvokrc ") + nuvok::build::kVersion + "\n";
}
