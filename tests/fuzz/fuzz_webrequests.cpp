// What a browser, or anything else, sends to the web remote's port: a
// request's head, then WebSocket frames. The head is read the same whatever
// arrives after it; the frames give the same events read whole or cut at
// points the input's first byte chooses; no message is over the bound; a
// text message is UTF-8; nothing is read after a failure or a close.
#include "common/textcodec.h"
#include "web/httphead.h"
#include "web/wsframes.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

constexpr std::size_t kMax = 200;

struct Reading {
    std::vector<nuvok::ws::Event> events;
};

Reading readFrames(std::string_view bytes, std::uint8_t seed) {
    nuvok::ws::FrameReader reader(kMax);
    Reading reading;
    std::uint32_t state = seed | 0x100u;
    bool ended = false;
    while (!bytes.empty()) {
        state = state * 1103515245u + 12345u;
        const std::size_t cut = seed == 0 ? bytes.size() : 1 + (state >> 16) % 17;
        const std::string_view piece = bytes.substr(0, std::min(cut, bytes.size()));
        bytes.remove_prefix(piece.size());
        reader.append(piece);
        while (auto event = reader.next()) {
            require(!ended);
            using Kind = nuvok::ws::Event::Kind;
            if (event->kind == Kind::Text || event->kind == Kind::Binary)
                require(event->data.size() <= kMax);
            if (event->kind == Kind::Text)
                require(nuvok::isUtf8(event->data));
            ended = event->kind == Kind::Close || event->kind == Kind::Failed;
            reading.events.push_back(*event);
        }
        require(reader.buffered() <= kMax + 14 + 17);
    }
    return reading;
}

bool same(const Reading& a, const Reading& b) {
    if (a.events.size() != b.events.size())
        return false;
    for (std::size_t i = 0; i < a.events.size(); ++i)
        if (a.events[i].kind != b.events[i].kind || a.events[i].data != b.events[i].data ||
            a.events[i].closeCode != b.events[i].closeCode)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);

    nuvok::HttpHead head;
    std::size_t length = 0;
    const auto status = nuvok::HttpHead::parse(input, head, length);
    if (status == nuvok::HttpHead::Status::Complete) {
        require(length <= input.size() && length <= nuvok::HttpHead::kMaxHeadBytes);
        require(head.fields.size() <= nuvok::HttpHead::kMaxFields);
        // What comes after the head does not change how it is read.
        nuvok::HttpHead again;
        std::size_t againLength = 0;
        require(nuvok::HttpHead::parse(std::string(input.substr(0, length)) + "tail", again,
                                       againLength) == status);
        require(againLength == length && again.target == head.target &&
                again.fields == head.fields);
        nuvok::hostIsOwn(head.field("host"), {"127.0.0.1", "localhost"}, 8080);
    }

    const std::string_view frames = input.substr(length);
    require(same(readFrames(frames, 0), readFrames(frames, data[0] | 1)));
    return 0;
}
