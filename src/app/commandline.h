#pragma once

#include <string>

// The program's command line. The original interface is one argument text in
// which "-port" is searched; the double-dash options are extras of this build
// and are taken out of that text.
struct CommandLine {
    std::string argumentText; // the arguments after the program name, blank-separated
    bool logToStderr = false;
    bool showHelp = false;
    bool showVersion = false;

    static CommandLine parse(int argc, const char* const* argv);
    static std::string helpText();
    static std::string versionText();
};
