#include "app/commandline.h"

#include "common/buildconfig.h"
#include "common/numtext.h"

#include <algorithm>
#include <string_view>

namespace {

// Only ASCII letters change case, so positions in the lowered text stay those
// of the original.
std::string asciiLower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

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
        } else if (arg == "--new-instance") {
            line.newInstance = true;
        } else if (arg == "--settings") {
            line.showSettings = true;
        } else if (arg == "--pair") {
            line.pairPhone = true;
        } else {
            if (!line.argumentText.empty())
                line.argumentText += ' ';
            line.argumentText += arg;
        }
    }
    return line;
}

std::optional<double> CommandLine::portIn(const std::string& argumentText) {
    const std::size_t found = asciiLower(argumentText).find("-port");
    if (found == std::string::npos)
        return std::nullopt;
    // An overflowing number is infinite, whose text would read back as 0; it
    // goes on as a huge number.
    constexpr double kHuge = 1e308;
    return std::clamp(nuvok::numericValue(argumentText.substr(found + 5)), -kHuge, kHuge);
}

bool CommandLine::minimisedIn(const std::string& argumentText) {
    return asciiLower(argumentText).find("-min") != std::string::npos;
}

std::string CommandLine::helpText() {
    return "Usage: nuvokrc [-port N] [-min] [--settings] [--pair] [--log-stderr]\n"
           "               [--new-instance]\n"
           "Turns a network remote handset into a remote control for this PC.\n"
           "One program runs per user and settings file: a second start hands its\n"
           "arguments to it (no arguments: its window is shown) and ends.\n"
           "\n"
           "  -port N        listen on port N for this run (otherwise the stored port, or 65530)\n"
           "  -min           accepted for the start with the session; the window always starts\n"
           "                 hidden in the notification area\n"
           "  --settings     open the settings window (in the program that runs already)\n"
           "  --pair         print links that pair a phone with the web remote of the program\n"
           "                 that runs (one per address of this PC, good for 2 minutes)\n"
           "  --log-stderr   also write every log line to standard error\n"
           "  --new-instance run beside a program that runs already, without handing over\n"
           "  --help         show this text and exit\n"
           "  --version      show the version and exit\n";
}

std::string CommandLine::versionText() {
    return std::string("nuvokrc ") + nuvok::build::kVersion + "\n";
}
