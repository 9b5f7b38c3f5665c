#include "shell/registry.h"

#include "common/widetext.h"
#include "shell/registrytext.h"

namespace nuvok {

namespace {

class KeyHandle {
public:
    KeyHandle() = default;
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    ~KeyHandle() {
        if (m_key)
            RegCloseKey(m_key);
    }
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace

std::string readRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                          const std::string& defaultText) {
    KeyHandle key;
    if (RegOpenKeyExW(root, wideText(keyPath).c_str(), 0, KEY_QUERY_VALUE, key.out()) !=
        ERROR_SUCCESS)
        return defaultText;
    const std::wstring name = wideText(valueName);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return defaultText;
    std::wstring buffer((size + 1) / sizeof(wchar_t), L' ');
    DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &got) != ERROR_SUCCESS)
        return defaultText;
    buffer.resize(got / sizeof(wchar_t));
    const std::wstring fallback = wideText(defaultText);
    return utf8Text(regStringText<wchar_t>(type, buffer, fallback));
}

void writeRegString(HKEY root, const std::string& keyPath, const std::string& valueName,
                    const std::string& text) {
    KeyHandle key;
    if (RegCreateKeyExW(root, wideText(keyPath).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.out(), nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring data = wideText(text);
    RegSetValueExW(key.get(), wideText(valueName).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void deleteRegValue(HKEY root, const std::string& keyPath, const std::string& valueName) {
    KeyHandle key;
    if (RegOpenKeyExW(root, wideText(keyPath).c_str(), 0, KEY_SET_VALUE, key.out()) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueW(key.get(), wideText(valueName).c_str());
}

} // namespace nuvok
