#include "web/wsframes.h"

#include "common/textcodec.h"

namespace nuvok::ws {

namespace {

unsigned byteAt(std::string_view bytes, std::size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

} // namespace

void FrameReader::append(std::string_view bytes) {
    if (m_failed)
        return;
    m_bytes.erase(0, m_taken);
    m_taken = 0;
    m_bytes.append(bytes);
}

Event FrameReader::fail(int code, std::string why) {
    m_failed = true;
    m_bytes.clear();
    m_taken = 0;
    m_message.clear();
    return {Event::Kind::Failed, std::move(why), code};
}

std::optional<Event> FrameReader::next() {
    while (!m_failed) {
        const std::string_view rest = std::string_view(m_bytes).substr(m_taken);
        if (rest.size() < 2)
            return std::nullopt;
        const unsigned first = byteAt(rest, 0), second = byteAt(rest, 1);
        const bool fin = first & 0x80;
        const int opcode = int(first & 0x0f);
        if (first & 0x70)
            return fail(ProtocolError, "a frame with reserved bits set");
        if (!(second & 0x80))
            return fail(ProtocolError, "a frame from the page that is not masked");
        std::uint64_t length = second & 0x7f;
        std::size_t head = 2;
        if (length == 126) {
            if (rest.size() < 4)
                return std::nullopt;
            length = (byteAt(rest, 2) << 8) | byteAt(rest, 3);
            head = 4;
        } else if (length == 127) {
            if (rest.size() < 10)
                return std::nullopt;
            length = 0;
            if (byteAt(rest, 2) & 0x80)
                return fail(ProtocolError, "a frame length with its highest bit set");
            for (std::size_t i = 2; i < 10; ++i)
                length = (length << 8) | byteAt(rest, i);
            head = 10;
        }
        const bool control = opcode >= Close;
        if (control && (!fin || length > 125))
            return fail(ProtocolError, "a control frame that is fragmented or too long");
        if (opcode != Continuation && opcode != Text && opcode != Binary && opcode != Close &&
            opcode != Ping && opcode != Pong)
            return fail(ProtocolError, "a frame of an unknown kind");
        // The message so far is within the bound, so this cannot wrap.
        if (!control && length > m_max - m_message.size())
            return fail(TooBig, "a message over " + std::to_string(m_max) + " bytes");
        if (rest.size() < head + 4 + length)
            return std::nullopt;
        const std::string_view mask = rest.substr(head, 4);
        std::string payload(rest.substr(head + 4, std::size_t(length)));
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<char>(payload[i] ^ mask[i % 4]);
        m_taken += head + 4 + std::size_t(length);

        switch (opcode) {
        case Ping:
            return Event{Event::Kind::Ping, std::move(payload), 0};
        case Pong:
            return Event{Event::Kind::Pong, std::move(payload), 0};
        case Close: {
            if (payload.size() == 1)
                return fail(ProtocolError, "a close frame of one byte");
            const int code =
                payload.size() >= 2 ? int((byteAt(payload, 0) << 8) | byteAt(payload, 1)) : 1005;
            // Nothing after a close is read, or kept.
            m_failed = true;
            m_bytes.clear();
            m_taken = 0;
            return Event{Event::Kind::Close, {}, code};
        }
        case Continuation:
            if (m_messageOpcode == 0)
                return fail(ProtocolError, "a continuation with no message under way");
            break;
        default:
            if (m_messageOpcode != 0)
                return fail(ProtocolError, "a new message before the last one ended");
            m_messageOpcode = opcode;
            break;
        }
        m_message += payload;
        if (!fin)
            continue;
        Event event{m_messageOpcode == Text ? Event::Kind::Text : Event::Kind::Binary,
                    std::move(m_message), 0};
        m_message.clear();
        m_messageOpcode = 0;
        if (event.kind == Event::Kind::Text && !nuvok::isUtf8(event.data))
            return fail(BadData, "a text message that is not UTF-8");
        return event;
    }
    return std::nullopt;
}

std::string frame(Opcode opcode, std::string_view payload) {
    std::string out;
    out += static_cast<char>(0x80 | opcode);
    const std::size_t size = payload.size();
    if (size < 126) {
        out += static_cast<char>(size);
    } else if (size <= 0xffff) {
        out += static_cast<char>(126);
        out += static_cast<char>((size >> 8) & 0xff);
        out += static_cast<char>(size & 0xff);
    } else {
        out += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            out += static_cast<char>((std::uint64_t(size) >> shift) & 0xff);
    }
    out.append(payload);
    return out;
}

std::string closeFrame(int code, std::string_view reason) {
    std::string payload;
    payload += static_cast<char>((code >> 8) & 0xff);
    payload += static_cast<char>(code & 0xff);
    payload.append(reason.substr(0, 123));
    return frame(Close, payload);
}

} // namespace nuvok::ws
