#include "support/check.h"
#include "support/execline.h"
#include "support/tempfolder.h"

#include "common/failure.h"
#include "shell/autostartentry.h"

#include <fstream>
#include <sstream>

using nuvok::AutostartEntry;
using nuvok::desktopEntryValue;
using nuvok::desktopExecArgument;
using nuvok::test::execArguments;
using nuvok::test::TempFolder;

namespace {

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments)
        text += "[" + argument + "]";
    return text;
}

} // namespace

TEST_CASE("every program path survives the Exec quoting") {
    const std::string paths[] = {
        "/usr/bin/nuvokrc",
        "/opt/NUVOK Remote Control/nuvokrc",
        "/home/jörg/bin/nuvokrc",
        "/tmp/say \"hi\"/nuvokrc",
        "/tmp/$HOME/nuvokrc",
        "/tmp/`id`/nuvokrc",
        "/tmp/back\\slash/nuvokrc",
        "/tmp/100%/%f/nuvokrc",
        "/tmp/semi;colon&amp|pipe>x<y*?#~(')/nuvokrc",
        "/tmp/tab\there/new\nline/cr\rend",
        "/tmp/trailing blank /nuvokrc",
    };
    for (const std::string& path : paths) {
        const std::string exec = desktopExecArgument(path) + " -min";
        CHECK_EQ(joined(execArguments(exec)), joined({path, "-min"}));
        // One physical line in the file, whatever the path holds.
        CHECK(exec.find('\n') == std::string::npos);
        CHECK(exec.find('\r') == std::string::npos);
    }
}

TEST_CASE("the entry names the program and starts it with -min") {
    const std::string path = "/opt/NUVOK Remote Control/nuvokrc";
    const std::string text = nuvok::autostartEntryText(path);
    CHECK_EQ(text.substr(0, text.find('\n')), std::string("[Desktop Entry]"));
    CHECK_EQ(desktopEntryValue(text, "Type").value_or("-"), std::string("Application"));
    CHECK_EQ(desktopEntryValue(text, "Name").value_or("-"), std::string("NUVOK Remote Control"));
    CHECK_EQ(desktopEntryValue(text, "Exec").value_or("-"),
             std::string("\"/opt/NUVOK Remote Control/nuvokrc\" -min"));
}

TEST_CASE("desktop entry values are read from the entry group only") {
    struct Row {
        const char* text;
        const char* expected; // nullptr: no value
    };
    const Row rows[] = {
        {"[Desktop Entry]\nExec=/bin/x -min\n", "/bin/x -min"},
        {"[Desktop Entry]\r\nExec=/bin/x\r\n", "/bin/x"},
        {"[Desktop Entry]\nExec = /bin/x \n", "/bin/x"},
        {"[Desktop Entry]\nExec=\n", ""},
        {"[Desktop Entry]\nTryExec=/bin/y\nExec[de]=/bin/z\n", nullptr},
        {"# Exec=/bin/x\n[Desktop Entry]\n#Exec=/bin/x\n", nullptr},
        {"[Desktop Action x]\nExec=/bin/x\n", nullptr},
        {"[Desktop Entry]\nName=a\n[Desktop Action x]\nExec=/bin/x\n", nullptr},
        {"[Desktop Action x]\nExec=/bin/y\n[Desktop Entry]\nExec=/bin/x", "/bin/x"},
        {"Exec=/bin/x\n", nullptr},
        {"", nullptr},
    };
    for (const Row& row : rows) {
        const auto value = desktopEntryValue(row.text, "Exec");
        CHECK_EQ(value.has_value(), row.expected != nullptr);
        if (value && row.expected)
            CHECK_EQ(*value, std::string(row.expected));
    }
}

TEST_CASE("an entry file counts as on only with a non-empty Exec") {
    struct Row {
        const char* text; // nullptr: no file
        bool on;
    };
    const Row rows[] = {
        {nullptr, false},
        {"", false},
        {"[Desktop Entry]\nType=Application\nExec=\n", false},
        {"[Desktop Entry]\nType=Application\nExec=   \n", false},
        {"[Desktop Entry]\nType=Application\nExec=\"/opt/x y/nuvokrc\" -min\n", true},
        {"[Desktop Entry]\nExec=/usr/bin/nuvokrc\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=/usr/bin/nuvokrc\nHidden=false\n", true},
        {"[Desktop Action y]\nExec=/usr/bin/nuvokrc\n", false},
    };
    for (const Row& row : rows) {
        TempFolder folder;
        const auto file = folder.path() / "nuvokrc.desktop";
        if (row.text)
            writeFile(file, row.text);
        CHECK_EQ(AutostartEntry(file, "/usr/bin/nuvokrc").isEnabled(), row.on);
    }
}

TEST_CASE("switching on twice and off twice") {
    TempFolder folder;
    const auto file = folder.path() / "autostart" / "nuvokrc.desktop";
    AutostartEntry entry(file, "/opt/NUVOK Remote/nuvokrc");
    CHECK(!entry.isEnabled());
    entry.setEnabled(true);
    CHECK(entry.isEnabled());
    const auto exec = desktopEntryValue(readFile(file), "Exec");
    CHECK_EQ(joined(execArguments(exec.value_or(""))),
             joined({"/opt/NUVOK Remote/nuvokrc", "-min"}));
    entry.setEnabled(true);
    CHECK(entry.isEnabled());
    CHECK(!std::filesystem::exists(file.string() + ".new"));
    entry.setEnabled(false);
    CHECK(!entry.isEnabled());
    CHECK(!std::filesystem::exists(file));
    entry.setEnabled(false); // nothing left to remove
    CHECK(!entry.isEnabled());
}

TEST_CASE("switching on replaces a hidden or broken entry") {
    TempFolder folder;
    const auto file = folder.path() / "nuvokrc.desktop";
    writeFile(file, "[Desktop Entry]\nExec=/old/nuvokrc\nHidden=true\n");
    AutostartEntry entry(file, "/new/nuvokrc");
    CHECK(!entry.isEnabled());
    entry.setEnabled(true);
    CHECK(entry.isEnabled());
    CHECK_EQ(readFile(file), nuvok::autostartEntryText("/new/nuvokrc"));
}

TEST_CASE("a refused write says where and leaves the entry off") {
    TempFolder folder;
    writeFile(folder.path() / "autostart", "a file where the folder should be");
    const auto file = folder.path() / "autostart" / "nuvokrc.desktop";
    AutostartEntry entry(file, "/usr/bin/nuvokrc");
    std::string message;
    try {
        entry.setEnabled(true);
    } catch (const nuvok::Failure& failure) {
        message = failure.description();
    }
    CHECK(message.find("autostart") != std::string::npos);
    CHECK(!entry.isEnabled());
}

TEST_CASE("a refused removal is reported and the entry stays on") {
    TempFolder folder;
    // A folder in place of the file cannot be removed as a file.
    const auto file = folder.path() / "nuvokrc.desktop";
    std::filesystem::create_directories(file / "inside");
    AutostartEntry entry(file, "/usr/bin/nuvokrc");
    CHECK_THROWS(entry.setEnabled(false));
    CHECK(std::filesystem::exists(file));
}

TEST_CASE("without a configuration folder nothing can be switched on") {
    AutostartEntry entry({}, "/usr/bin/nuvokrc");
    CHECK(!entry.isEnabled());
    CHECK_THROWS(entry.setEnabled(true));
}
