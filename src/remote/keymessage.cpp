#include "remote/keymessage.h"

#include "common/failure.h"
#include "common/numtext.h"
#include "common/textcodec.h"

namespace nuvok {

std::string keyMessage(unsigned char keyCode, unsigned char kind) {
    return std::string{static_cast<char>(keyCode), static_cast<char>(kind)};
}

DecodedKeyMessage decodeKeyMessage(std::string_view data) {
    if (data.size() < 2)
        throw Failure("Ignored a message of " + std::to_string(data.size()) +
                      (data.size() == 1 ? " byte" : " bytes") +
                      ": a key message has two bytes, the key code and its kind");
    const auto key = static_cast<unsigned char>(data[0]);
    const auto kind = static_cast<unsigned char>(data[1]);
    if (kind == kKindKey)
        return {"Remote: " + cp1252ToUtf8(data.substr(0, 1)), key};
    if (kind == kKindMenuKey)
        return {"RemoteMenu: " + signedNumberText(double(key)), key};
    return {};
}

void KeyMessageStream::append(std::string_view bytes) {
    m_bytes.erase(0, m_taken); // what was handed out goes before the buffer grows
    m_taken = 0;
    m_bytes.append(bytes);
}

std::optional<std::string> KeyMessageStream::next() {
    if (m_bytes.size() - m_taken < 2)
        return std::nullopt;
    std::string message = m_bytes.substr(m_taken, 2);
    m_taken += 2;
    return message;
}

std::string KeyMessageStream::takeRest() {
    std::string rest = m_bytes.substr(m_taken);
    clear();
    return rest;
}

void KeyMessageStream::clear() {
    m_bytes.clear();
    m_taken = 0;
}

} // namespace nuvok
