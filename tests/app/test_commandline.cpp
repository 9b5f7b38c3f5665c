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
}

TEST_CASE("help names every option and version names the program") {
    for (const char* option : {"-port", "-min", "--log-stderr", "--help", "--version"})
        CHECK(CommandLine::helpText().find(option) != std::string::npos);
    CHECK_EQ(CommandLine::versionText().rfind("nuvokrc ", 0), std::size_t(0));
}
