#include "support/check.h"

#include "web/httphead.h"
#include "web/wsframes.h"

#include <string>
#include <vector>

using namespace nuvok;

namespace {

// A frame as a browser sends it: masked.
std::string clientFrame(int first, const std::string& payload) {
    std::string out{static_cast<char>(first)};
    if (payload.size() < 126) {
        out += static_cast<char>(0x80 | payload.size());
    } else {
        out += static_cast<char>(0x80 | 126);
        out += static_cast<char>(payload.size() >> 8);
        out += static_cast<char>(payload.size() & 0xff);
    }
    const std::string mask = "\x12\x34\x56\x78";
    out += mask;
    for (std::size_t i = 0; i < payload.size(); ++i)
        out += static_cast<char>(payload[i] ^ mask[i % 4]);
    return out;
}

std::vector<ws::Event> eventsOf(const std::string& bytes, bool byteByByte, std::size_t max = 64) {
    ws::FrameReader reader(max);
    std::vector<ws::Event> events;
    const auto drain = [&] {
        while (auto event = reader.next())
            events.push_back(*event);
    };
    if (byteByByte)
        for (char c : bytes) {
            reader.append(std::string(1, c));
            drain();
        }
    else {
        reader.append(bytes);
        drain();
    }
    return events;
}

} // namespace

TEST_CASE("a browser's frames are read whole or refused with the code to close with") {
    using Kind = ws::Event::Kind;
    struct Row {
        const char* name;
        std::string bytes;
        Kind kind;
        std::string data;
        int code;
    };
    const std::vector<Row> rows{
        {"text", clientFrame(0x81, "hi"), Kind::Text, "hi", 0},
        {"fragmented", clientFrame(0x01, "he") + clientFrame(0x89, "p") + clientFrame(0x80, "llo"),
         Kind::Ping, "p", 0},
        {"not masked", std::string("\x81\x02hi", 4), Kind::Failed, "", ws::ProtocolError},
        {"reserved bits", clientFrame(0xC1, "hi"), Kind::Failed, "", ws::ProtocolError},
        {"too big, told before its bytes", clientFrame(0x81, std::string(200, 'x')).substr(0, 8),
         Kind::Failed, "", ws::TooBig},
        {"too big in pieces",
         clientFrame(0x01, std::string(40, 'x')) + clientFrame(0x80, std::string(40, 'x')),
         Kind::Failed, "", ws::TooBig},
        {"not UTF-8", clientFrame(0x81, "\xC0\xAF"), Kind::Failed, "", ws::BadData},
        {"continuation alone", clientFrame(0x80, "x"), Kind::Failed, "", ws::ProtocolError},
        {"close with its code", clientFrame(0x88, std::string("\x03\xE9", 2)), Kind::Close, "",
         1001},
        {"a length past 2^63", std::string("\x81\xff\xff\xff\xff\xff\xff\xff\xff\xff", 10),
         Kind::Failed, "", ws::ProtocolError},
        {"a length that would wrap",
         clientFrame(0x01, "ab") + std::string("\x80\xff\x7f\xff\xff\xff\xff\xff\xff\xff", 10),
         Kind::Failed, "", ws::TooBig},
        {"long control frame", clientFrame(0x89, std::string(126, 'p')), Kind::Failed, "",
         ws::ProtocolError},
    };
    for (const Row& row : rows)
        for (const bool byteByByte : {false, true}) {
            const std::vector<ws::Event> events = eventsOf(row.bytes, byteByByte);
            CHECK(!events.empty());
            if (events.empty())
                continue;
            CHECK_EQ(int(events.front().kind), int(row.kind));
            if (row.kind != Kind::Failed)
                CHECK_EQ(events.front().data, row.data);
            CHECK_EQ(events.front().closeCode, row.code);
        }
    // The ping between the pieces comes first, then the whole message.
    const auto pieces = eventsOf(rows[1].bytes, false);
    CHECK_EQ(pieces.size(), std::size_t(2));
    CHECK_EQ(pieces.back().data, std::string("hello"));
    // What the server writes, read back as a browser reads it (unmasked).
    CHECK_EQ(ws::frame(ws::Text, "ok"), std::string("\x81\x02ok", 4));
    CHECK_EQ(ws::frame(ws::Text, std::string(300, 'y')).substr(0, 4),
             std::string("\x81\x7e\x01\x2c", 4));
    CHECK_EQ(ws::closeFrame(4001), std::string("\x88\x02\x0f\xa1", 4));
}

TEST_CASE("a request's head is read with bounds, and its Host must name this PC") {
    HttpHead head;
    std::size_t length = 0;
    const std::string request =
        "GET /ws?x HTTP/1.1\r\nHost: 127.0.0.1:8000\r\nOrigin: o\r\n\r\nrest";
    CHECK(HttpHead::parse(request, head, length) == HttpHead::Status::Complete);
    CHECK_EQ(head.target, std::string("/ws?x"));
    CHECK_EQ(head.field("HOST"), std::string("127.0.0.1:8000"));
    CHECK_EQ(length, request.size() - 4);
    CHECK(HttpHead::parse(request.substr(0, 30), head, length) == HttpHead::Status::Incomplete);
    CHECK(HttpHead::parse("GET /" + std::string(3000, 'a'), head, length) ==
          HttpHead::Status::TooLarge);
    CHECK(HttpHead::parse("GET / HTTP/1.1\r\n" + std::string(9000, 'a'), head, length) ==
          HttpHead::Status::TooLarge);
    for (const std::string bad :
         {"GET / HTTP/1.1\r\nHost: a\nb: c\r\n\r\n", "GET /  HTTP/1.1\r\n\r\n",
          "GET / HTTP/2\r\n\r\n", "GET / HTTP/1.1\r\n folded\r\n\r\n",
          "GET / HTTP/1.1\r\nNo colon\r\n\r\n"})
        CHECK(HttpHead::parse(bad, head, length) == HttpHead::Status::Malformed);

    const std::vector<std::string> names{"127.0.0.1", "localhost", "192.0.2.5"};
    CHECK(hostIsOwn("127.0.0.1:8000", names, 8000));
    CHECK(hostIsOwn("LocalHost:8000", names, 8000));
    for (const char* other : {"127.0.0.1", "127.0.0.1:8001", "127.0.0.1:08000", "evil.example:8000",
                              "192.0.2.5.evil.example:8000", ":8000", "127.0.0.1:8000:8000"})
        CHECK(!hostIsOwn(other, names, 8000));
}
