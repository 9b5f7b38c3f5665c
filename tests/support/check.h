#pragma once

// A small test harness for the Qt-free core: the same test programs run
// natively and, cross-built with MinGW, under Wine, where Qt is not available.

#include <cmath>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace nuvok::test {

struct Case {
    std::string name;
    std::function<void()> body;
};

inline std::vector<Case>& cases() {
    static std::vector<Case> all;
    return all;
}

inline int& checkFailures() {
    static int count = 0;
    return count;
}

struct Registrar {
    Registrar(const char* name, std::function<void()> body) {
        cases().push_back({name, std::move(body)});
    }
};

template <typename T> std::string show(const T& value) {
    std::ostringstream out;
    if constexpr (std::is_convertible_v<T, std::string_view>)
        out << '"' << std::string_view(value) << '"';
    else if constexpr (std::is_same_v<T, bool>)
        out << (value ? "true" : "false");
    else
        out << value;
    return out.str();
}

inline void fail(const char* file, int line, const std::string& what) {
    ++checkFailures();
    std::cerr << file << ':' << line << ": check failed: " << what << '\n';
}

inline int runAll() {
    int passed = 0;
    int failed = 0;
    for (const Case& c : cases()) {
        const int before = checkFailures();
        try {
            c.body();
        } catch (const std::exception& e) {
            fail(c.name.c_str(), 0, std::string("unexpected exception: ") + e.what());
        } catch (...) {
            fail(c.name.c_str(), 0, "unexpected exception");
        }
        if (checkFailures() == before) {
            ++passed;
            std::cout << "PASS " << c.name << '\n';
        } else {
            ++failed;
            std::cout << "FAIL " << c.name << '\n';
        }
    }
    std::cout << passed << " passed, " << failed << " failed\n";
    return failed == 0 ? 0 : 1;
}

} // namespace nuvok::test

#define NUVOK_CAT2(a, b) a##b
#define NUVOK_CAT(a, b) NUVOK_CAT2(a, b)
#define TEST_CASE(name)                                                                            \
    static void NUVOK_CAT(test_, __LINE__)();                                                      \
    static ::nuvok::test::Registrar NUVOK_CAT(registrar_, __LINE__)(name,                          \
                                                                    NUVOK_CAT(test_, __LINE__));   \
    static void NUVOK_CAT(test_, __LINE__)()

#define CHECK(cond)                                                                                \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::nuvok::test::fail(__FILE__, __LINE__, #cond);                                        \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                 \
    do {                                                                                           \
        const auto& a_ = (actual);                                                                 \
        const auto& e_ = (expected);                                                               \
        if (!(a_ == e_))                                                                           \
            ::nuvok::test::fail(__FILE__, __LINE__,                                                \
                                std::string(#actual) + " is " + ::nuvok::test::show(a_) +          \
                                    ", expected " + ::nuvok::test::show(e_));                      \
    } while (0)

#define CHECK_NEAR(actual, expected, tolerance)                                                    \
    do {                                                                                           \
        const double a_ = (actual);                                                                \
        const double e_ = (expected);                                                              \
        if (!(std::fabs(a_ - e_) <= (tolerance)))                                                  \
            ::nuvok::test::fail(__FILE__, __LINE__,                                                \
                                std::string(#actual) + " is " + ::nuvok::test::show(a_) +          \
                                    ", expected " + ::nuvok::test::show(e_));                      \
    } while (0)

#define CHECK_THROWS(expr)                                                                         \
    do {                                                                                           \
        bool thrown_ = false;                                                                      \
        try {                                                                                      \
            (void)(expr);                                                                          \
        } catch (...) {                                                                            \
            thrown_ = true;                                                                        \
        }                                                                                          \
        if (!thrown_)                                                                              \
            ::nuvok::test::fail(__FILE__, __LINE__, std::string(#expr) + " did not throw");        \
    } while (0)
