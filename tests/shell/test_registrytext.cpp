#include "shell/registrytext.h"
#include "support/check.h"

using nuvok::kRegExpandSz;
using nuvok::kRegSz;
using nuvok::regStringText;

namespace {

struct Row {
    const char* name;
    std::uint32_t type;
    std::string_view data;
    std::string_view expected;
};

using namespace std::string_view_literals;

const Row kRows[] = {
    {"plain string", kRegSz, "\"C:\\Program Files\\nuvokrc.exe\" -min\0"sv,
     "\"C:\\Program Files\\nuvokrc.exe\" -min"},
    {"empty string", kRegSz, "\0"sv, ""},
    {"no data at all", kRegSz, ""sv, ""},
    {"stored without NUL is taken whole", kRegSz, "abc"sv, "abc"},
    {"text after an embedded NUL is dropped", kRegSz, "abc\0def\0"sv, "abc"},
    {"NUL first", kRegSz, "\0abc"sv, ""},
    {"expandable string gives the default", kRegExpandSz, "%ProgramFiles%\\x.exe\0"sv, "<default>"},
    {"binary gives the default", 3, "abc\0"sv, "<default>"},
    {"number gives the default", 4, "\1\0\0\0"sv, "<default>"},
    {"multi-string gives the default", 7, "a\0b\0\0"sv, "<default>"},
};

} // namespace

TEST_CASE("registry string text, 8-bit data") {
    for (const Row& row : kRows) {
        const std::string text = regStringText<char>(row.type, row.data, "<default>");
        if (text != row.expected)
            ::nuvok::test::fail(__FILE__, __LINE__, std::string(row.name) + ": got " + text);
    }
}

TEST_CASE("registry string text, wide data") {
    for (const Row& row : kRows) {
        const std::wstring data(row.data.begin(), row.data.end());
        const std::wstring expected(row.expected.begin(), row.expected.end());
        const std::wstring text = regStringText<wchar_t>(row.type, data, L"<default>");
        if (text != expected)
            ::nuvok::test::fail(__FILE__, __LINE__, std::string(row.name) + " (wide)");
    }
}
