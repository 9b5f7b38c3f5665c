#include "support/check.h"

#include "app/commandline.h"

#include <vector>

namespace {

CommandLine parse(std::vector<const char*> args) {
    args.insert(args.begin(), "nuvokrc");
    return CommandLine::parse(static_cast<int>(args.size()), args.data());
}

} // namespace

TEST_CASE("the argument text keeps everything but the double-dash extras") {
    CHECK_EQ(parse({"-PORT", "5000"}).argumentText, std::string("-PORT 5000"));
    CHECK_EQ(parse({"--log-stderr", "-port", "5000", "-min"}).argumentText,
             std::string("-port 5000 -min"));
    CHECK_EQ(parse({}).argumentText, std::string());
}

TEST_CASE("double-dash extras are recognised wherever they stand") {
    const CommandLine line = parse({"-port", "7", "--log-stderr"});
    CHECK(line.logToStderr);
    CHECK(!line.showHelp);
    CHECK(parse({"--help"}).showHelp);
    CHECK(parse({"--version"}).showVersion);
    CHECK(!parse({"-min"}).logToStderr);
    CHECK(parse({"-min", "--new-instance"}).newInstance);
    CHECK_EQ(parse({"--new-instance", "-min"}).argumentText, std::string("-min"));
}

TEST_CASE("a port and -min are found anywhere, in any letter case") {
    CHECK(!CommandLine::portIn("-min").has_value());
    CHECK_EQ(CommandLine::portIn("-min -PoRt 4000").value_or(-1), 4000.0);
    CHECK_EQ(CommandLine::portIn("x-port1E400").value_or(-1), 1e308);
    CHECK(CommandLine::minimisedIn("-port 5 -MIN"));
    CHECK(!CommandLine::minimisedIn("-port 5"));
}

TEST_CASE("help names every option and version names the program") {
    for (const char* option :
         {"-port", "-min", "--settings", "--log-stderr", "--new-instance", "--help", "--version"})
        CHECK(CommandLine::helpText().find(option) != std::string::npos);
    CHECK_EQ(CommandLine::versionText().rfind("nuvokrc ", 0), std::size_t(0));
}
