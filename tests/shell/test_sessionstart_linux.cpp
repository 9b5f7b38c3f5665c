#include "support/check.h"
#include "support/execline.h"
#include "support/tempfolder.h"

#include "shell/autostartentry.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

using nuvok::test::TempFolder;

namespace {

// Sets or clears an environment variable for one test and puts it back.
class EnvSetting {
public:
    EnvSetting(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvSetting() {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST_CASE("the configuration folder follows XDG_CONFIG_HOME, else HOME") {
    struct Row {
        const char* configHome;
        const char* home;
        const char* expected;
    };
    const Row rows[] = {
        {"/tmp/xdg", "/home/u", "/tmp/xdg"},
        {"relative/xdg", "/home/u", "/home/u/.config"},
        {"", "/home/u", "/home/u/.config"},
        {nullptr, "/home/u", "/home/u/.config"},
        {nullptr, nullptr, ""},
    };
    for (const Row& row : rows) {
        EnvSetting configHome("XDG_CONFIG_HOME", row.configHome);
        EnvSetting home("HOME", row.home);
        CHECK_EQ(nuvok::xdgConfigHome().string(), std::string(row.expected));
    }
}

TEST_CASE("the session entry is the autostart file of the configuration folder") {
    TempFolder folder;
    EnvSetting configHome("XDG_CONFIG_HOME", folder.path().c_str());
    const auto entry = nuvok::makeSessionStart("/opt/NUVOK Remote/nuvokrc");
    const auto file = folder.path() / "autostart" / "nuvokrc.desktop";
    CHECK(!entry->isEnabled());
    entry->setEnabled(true);
    CHECK(entry->isEnabled());
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    const auto exec = nuvok::desktopEntryValue(text.str(), "Exec").value_or("");
    const auto arguments = nuvok::test::execArguments(exec);
    CHECK_EQ(arguments.size(), size_t(2));
    if (arguments.size() == 2) {
        CHECK_EQ(arguments[0], std::string("/opt/NUVOK Remote/nuvokrc"));
        CHECK_EQ(arguments[1], std::string("-min"));
    }
    entry->setEnabled(false);
    CHECK(!entry->isEnabled());
    CHECK(!std::filesystem::exists(file));
}
