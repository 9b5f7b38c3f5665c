#include "support/check.h"

#include "common/widetext.h"
#include "shell/registry.h"
#include "shell/runkeyentry.h"

using nuvok::deleteRegValue;
using nuvok::readRegString;
using nuvok::wideText;
using nuvok::writeRegString;

namespace {

// A key of its own for each run, removed with its values afterwards.
class TestKey {
public:
    explicit TestKey(HKEY root)
        : m_root(root), m_path("Software\\NUVOKrc tests " + std::to_string(GetCurrentProcessId())) {
    }
    ~TestKey() {
        HKEY key = nullptr;
        if (RegOpenKeyExW(m_root, wideText(m_path).c_str(), 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            wchar_t name[256];
            DWORD length = 256;
            while (RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                   ERROR_SUCCESS) {
                RegDeleteValueW(key, name);
                length = 256;
            }
            RegCloseKey(key);
        }
        RegDeleteKeyW(m_root, wideText(m_path).c_str());
    }
    // Stores raw data of any type, as another program might have written it.
    void setRaw(const std::string& name, DWORD type, const std::wstring& data, size_t bytes) const {
        HKEY key = nullptr;
        RegCreateKeyExW(m_root, wideText(m_path).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr);
        RegSetValueExW(key, wideText(name).c_str(), 0, type,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(bytes));
        RegCloseKey(key);
    }
    bool exists() const {
        HKEY key = nullptr;
        const bool found =
            RegOpenKeyExW(m_root, wideText(m_path).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (found)
            RegCloseKey(key);
        return found;
    }
    HKEY root() const { return m_root; }
    const std::string& path() const { return m_path; }

private:
    HKEY m_root;
    std::string m_path;
};

const std::string kDefault = "<default>";

} // namespace

TEST_CASE("string values are written, read back and deleted") {
    TestKey key(HKEY_CURRENT_USER);
    const std::string texts[] = {"C:\\Program Files\\NUVOKrc\\nuvokrc.exe -min", "",
                                 "J\xc3\xb6rg \xe2\x82\xac", std::string(3000, 'x')};
    for (const std::string& text : texts) {
        writeRegString(key.root(), key.path(), "value", text);
        CHECK_EQ(readRegString(key.root(), key.path(), "value", kDefault), text);
    }
    CHECK(key.exists());
    deleteRegValue(key.root(), key.path(), "value");
    CHECK_EQ(readRegString(key.root(), key.path(), "value", kDefault), kDefault);
    deleteRegValue(key.root(), key.path(), "value"); // already gone
    deleteRegValue(key.root(), key.path() + "\\missing", "value");
}

TEST_CASE("missing keys and values read as the default") {
    TestKey key(HKEY_CURRENT_USER);
    CHECK_EQ(readRegString(key.root(), key.path(), "value", kDefault), kDefault);
    writeRegString(key.root(), key.path(), "other", "x");
    CHECK_EQ(readRegString(key.root(), key.path(), "value", kDefault), kDefault);
    CHECK_EQ(readRegString(key.root(), key.path() + "\\missing", "other", kDefault), kDefault);
}

TEST_CASE("only plain string values count, up to their first NUL") {
    TestKey key(HKEY_CURRENT_USER);
    struct Row {
        const char* name;
        DWORD type;
        std::wstring data;
        size_t bytes;
        std::string expected;
    };
    const std::wstring expandable = L"%ProgramFiles%\\nuvokrc.exe";
    const std::wstring embedded(L"abc\0def", 7);
    const Row rows[] = {
        {"expandable", REG_EXPAND_SZ, expandable, (expandable.size() + 1) * 2, kDefault},
        {"number", REG_DWORD, L"\x0001\x0000", 4, kDefault},
        {"binary", REG_BINARY, L"ab", 4, kDefault},
        {"empty", REG_SZ, L"", 2, ""},
        {"no NUL", REG_SZ, L"abc", 6, "abc"},
        {"embedded NUL", REG_SZ, embedded, (embedded.size() + 1) * 2, "abc"},
    };
    for (const Row& row : rows) {
        key.setRaw(row.name, row.type, row.data, row.bytes);
        const std::string text = readRegString(key.root(), key.path(), row.name, kDefault);
        if (text != row.expected)
            ::nuvok::test::fail(__FILE__, __LINE__, std::string(row.name) + ": got " + text);
    }
}

TEST_CASE("the Run entry is written quoted with -min, then deleted") {
    TestKey key(HKEY_CURRENT_USER);
    const std::string program = "C:\\Program Files\\NUVOK Remote\\nuvokrc.exe";
    nuvok::RunKeyEntry entry(key.root(), key.path(), "NUVOKRC", program);
    CHECK(!entry.isEnabled());
    entry.setEnabled(true);
    CHECK(entry.isEnabled());
    CHECK_EQ(readRegString(key.root(), key.path(), "NUVOKRC", kDefault),
             "\"" + program + "\" -min");
    entry.setEnabled(false);
    CHECK(!entry.isEnabled());
    CHECK_EQ(readRegString(key.root(), key.path(), "NUVOKRC", kDefault), kDefault);
}

TEST_CASE("an expandable or empty Run value means off") {
    TestKey key(HKEY_CURRENT_USER);
    nuvok::RunKeyEntry entry(key.root(), key.path(), "NUVOKRC", "C:\\nuvokrc.exe");
    const std::wstring command = L"\"C:\\nuvokrc.exe\" -min";
    key.setRaw("NUVOKRC", REG_EXPAND_SZ, command, (command.size() + 1) * 2);
    CHECK(!entry.isEnabled());
    key.setRaw("NUVOKRC", REG_SZ, L"", 2);
    CHECK(!entry.isEnabled());
    key.setRaw("NUVOKRC", REG_SZ, command, (command.size() + 1) * 2);
    CHECK(entry.isEnabled());
}

TEST_CASE("machine-wide values where this account may write them") {
    TestKey key(HKEY_LOCAL_MACHINE);
    writeRegString(key.root(), key.path(), "NUVOKRC", "x -min");
    if (!key.exists()) {
        std::cout << "HKEY_LOCAL_MACHINE is not writable here; nothing to check\n";
        return;
    }
    CHECK_EQ(readRegString(key.root(), key.path(), "NUVOKRC", kDefault), std::string("x -min"));
    deleteRegValue(key.root(), key.path(), "NUVOKRC");
    CHECK_EQ(readRegString(key.root(), key.path(), "NUVOKRC", kDefault), kDefault);
}
