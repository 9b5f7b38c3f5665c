#pragma once

#include <optional>
#include <string>

// The program's command line. The original interface is one argument text in
// which "-port" is searched; the double-dash options are extras of this build
// and are taken out of that text.
struct CommandLine {
    std::string argumentText; // the arguments after the program name, blank-separated
    bool logToStderr = false;
    bool showHelp = false;
    bool showVersion = false;
    bool newInstance = false;  // run beside a running program, without its channel
    bool showSettings = false; // open the settings window (in the program that runs)
    bool pairPhone = false;    // print pairing links of the program that runs, then end

    // The port that "-port" (anywhere, in any letter case) asks for in an
    // argument text, clamped to a finite number; nothing without "-port".
    static std::optional<double> portIn(const std::string& argumentText);
    // Whether the argument text asks for the start with the session ("-min").
    static bool minimisedIn(const std::string& argumentText);

    static CommandLine parse(int argc, const char* const* argv);
    static std::string helpText();
    static std::string versionText();
};
