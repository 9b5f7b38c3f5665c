#include "common/keytimes.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace nuvok::keytimes {
namespace {

struct Sink {
    Sink() {
        const char* path = std::getenv("NUVOKRC_KEY_TIMES");
        if (path != nullptr && *path != '\0')
            file = std::fopen(path, "a");
    }
    ~Sink() {
        if (file != nullptr)
            std::fclose(file);
    }
    Sink(const Sink&) = delete;
    Sink& operator=(const Sink&) = delete;

    std::FILE* file = nullptr;
    std::mutex mutex; // marks come from the event loop and the players' thread
    // Kept until a key's last mark, so that writing them costs the key nothing.
    std::vector<std::pair<const char*, long long>> held;
};

Sink& sink() {
    static Sink instance;
    return instance;
}

const char* nameOf(Stage stage) {
    switch (stage) {
    case Stage::Interpreter:
        return "interpreter";
    case Stage::Keystrokes:
        return "keystrokes";
    }
    return "?";
}

} // namespace

void mark(Stage stage) {
    Sink& out = sink();
    if (out.file == nullptr)
        return;
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const long long nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    constexpr std::size_t kHeldMarks = 64;
    const std::lock_guard lock(out.mutex);
    out.held.emplace_back(nameOf(stage), nanoseconds);
    if (stage != Stage::Keystrokes && out.held.size() < kHeldMarks)
        return;
    for (const auto& [name, moment] : out.held)
        std::fprintf(out.file, "%s %lld\n", name, moment);
    std::fflush(out.file);
    out.held.clear();
}

} // namespace nuvok::keytimes
