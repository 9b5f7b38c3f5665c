// Windows back-end: top-level windows are found with EnumWindows, brought to
// the foreground past the foreground lock, and typed into with SendInput.
#include "shell/desktopcontrol.h"

#include "common/failure.h"
#include "common/widetext.h"
#include "shell/keystrokes.h"
#include "shell/titlematch.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <vector>

namespace nuvok {
namespace {

struct TopWindow {
    HWND handle;
    std::string title;
};

struct Enumeration {
    std::vector<TopWindow> windows;
    bool outOfMemory = false;
};

// Called by Windows: no exception may leave it.
BOOL CALLBACK collectWindow(HWND window, LPARAM context) {
    auto* enumeration = reinterpret_cast<Enumeration*>(context);
    if (!IsWindowVisible(window))
        return TRUE;
    const int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return TRUE;
    try {
        std::wstring title(static_cast<std::size_t>(length) + 1, L'\0');
        const int copied = GetWindowTextW(window, title.data(), length + 1);
        title.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
        enumeration->windows.push_back({window, utf8Text(title)});
    } catch (...) {
        enumeration->outOfMemory = true;
        return FALSE;
    }
    return TRUE;
}

// The visible titled windows, from the top of the Z order down, so that the
// window used last wins.
Enumeration listWindows(const std::string& action) {
    Enumeration enumeration;
    EnumWindows(&collectWindow, reinterpret_cast<LPARAM>(&enumeration));
    if (enumeration.outOfMemory)
        throw Failure(action + ": out of memory while listing the windows");
    return enumeration;
}

std::vector<std::string> titlesOf(const Enumeration& enumeration) {
    std::vector<std::string> titles;
    titles.reserve(enumeration.windows.size());
    for (const TopWindow& window : enumeration.windows)
        titles.push_back(window.title);
    return titles;
}

// Attaches this thread's input to the foreground window's thread for as long
// as it lives, which lifts the foreground lock for SetForegroundWindow.
class InputAttachment {
public:
    InputAttachment(DWORD self, DWORD other)
        : m_self(self), m_other(other),
          m_attached(other != 0 && other != self && AttachThreadInput(self, other, TRUE)) {}
    ~InputAttachment() {
        if (m_attached)
            AttachThreadInput(m_self, m_other, FALSE);
    }
    InputAttachment(const InputAttachment&) = delete;
    InputAttachment& operator=(const InputAttachment&) = delete;

private:
    DWORD m_self;
    DWORD m_other;
    bool m_attached;
};

INPUT keyInput(WORD virtualKey, WORD scan, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = scan;
    input.ki.dwFlags = flags;
    return input;
}

bool bringToFront(HWND window) {
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    if (SetForegroundWindow(window) && GetForegroundWindow() == window)
        return true;
    {
        const HWND foreground = GetForegroundWindow();
        const DWORD foregroundThread =
            foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
        InputAttachment attachment(GetCurrentThreadId(), foregroundThread);
        BringWindowToTop(window);
        SetForegroundWindow(window);
    }
    if (GetForegroundWindow() == window)
        return true;
    // A process that has just received input may take the foreground: hold Alt
    // while asking, and release it afterwards.
    INPUT altDown = keyInput(VK_MENU, 0, 0);
    SendInput(1, &altDown, sizeof(INPUT));
    SetForegroundWindow(window);
    INPUT altUp = keyInput(VK_MENU, 0, KEYEVENTF_KEYUP);
    SendInput(1, &altUp, sizeof(INPUT));
    return GetForegroundWindow() == window;
}

struct VirtualKey {
    WORD code;
    bool extended;
};

VirtualKey virtualKeyOf(NamedKey key) {
    switch (key) {
    case NamedKey::Enter:
        return {VK_RETURN, false};
    case NamedKey::Tab:
        return {VK_TAB, false};
    case NamedKey::Escape:
        return {VK_ESCAPE, false};
    case NamedKey::Backspace:
        return {VK_BACK, false};
    case NamedKey::Delete:
        return {VK_DELETE, true};
    case NamedKey::Insert:
        return {VK_INSERT, true};
    case NamedKey::Home:
        return {VK_HOME, true};
    case NamedKey::End:
        return {VK_END, true};
    case NamedKey::PageUp:
        return {VK_PRIOR, true};
    case NamedKey::PageDown:
        return {VK_NEXT, true};
    case NamedKey::Left:
        return {VK_LEFT, true};
    case NamedKey::Right:
        return {VK_RIGHT, true};
    case NamedKey::Up:
        return {VK_UP, true};
    case NamedKey::Down:
        return {VK_DOWN, true};
    default:
        return {static_cast<WORD>(VK_F1 + (static_cast<int>(key) - static_cast<int>(NamedKey::F1))),
                false};
    }
}

void addTap(std::vector<INPUT>& inputs, VirtualKey key) {
    const DWORD extended = key.extended ? KEYEVENTF_EXTENDEDKEY : 0;
    const WORD scan = static_cast<WORD>(MapVirtualKeyW(key.code, MAPVK_VK_TO_VSC));
    inputs.push_back(keyInput(key.code, scan, extended));
    inputs.push_back(keyInput(key.code, scan, extended | KEYEVENTF_KEYUP));
}

void addCharacter(std::vector<INPUT>& inputs, char32_t character) {
    if (character < 0x10000) {
        const SHORT scanned = VkKeyScanW(static_cast<WCHAR>(character));
        if (scanned != -1) {
            // Real virtual keys, so that programs reading key-down messages
            // (keyboard shortcuts) see them.
            const WORD code = LOBYTE(scanned);
            const BYTE shiftState = HIBYTE(scanned);
            std::vector<WORD> modifiers;
            if (shiftState & 1)
                modifiers.push_back(VK_SHIFT);
            if (shiftState & 2)
                modifiers.push_back(VK_CONTROL);
            if (shiftState & 4)
                modifiers.push_back(VK_MENU);
            for (WORD modifier : modifiers)
                inputs.push_back(keyInput(modifier, 0, 0));
            addTap(inputs, {code, false});
            for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
                inputs.push_back(keyInput(*it, 0, KEYEVENTF_KEYUP));
            return;
        }
    }
    // Not on the keyboard layout: typed as a Unicode character.
    std::vector<WORD> units;
    if (character < 0x10000) {
        units.push_back(static_cast<WORD>(character));
    } else {
        const char32_t v = character - 0x10000;
        units.push_back(static_cast<WORD>(0xD800 + (v >> 10)));
        units.push_back(static_cast<WORD>(0xDC00 + (v & 0x3FF)));
    }
    for (WORD unit : units) {
        inputs.push_back(keyInput(0, unit, KEYEVENTF_UNICODE));
        inputs.push_back(keyInput(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
}

class WindowsDesktopControl : public DesktopControl {
public:
    void activateWindow(const std::string& title) override {
        const std::string action = "Cannot bring the window \"" + title + "\" to the front";
        if (title.empty())
            matchWindowTitle(std::vector<std::string>{}, title); // throws the usual description
        const Enumeration enumeration = listWindows(action);
        const HWND target =
            enumeration.windows[matchWindowTitle(titlesOf(enumeration), title)].handle;
        if (!bringToFront(target))
            throw Failure(action + ": Windows kept another window in the foreground");
    }

    std::vector<std::string> windowTitles() override {
        return titlesOf(listWindows("Cannot list the windows"));
    }

    void sendKeys(const std::string& keys) override {
        std::vector<INPUT> inputs;
        for (const Keystroke& key : parseKeystrokes(keys)) {
            if (key.named == NamedKey::Character)
                addCharacter(inputs, key.character);
            else
                addTap(inputs, virtualKeyOf(key.named));
        }
        if (inputs.empty())
            return;
        // One call, so the user's own typing cannot come in between.
        const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        if (sent != inputs.size())
            throw Failure("Cannot type the keystrokes \"" + keys +
                          "\": Windows blocked them (the window in front may belong to a program "
                          "running with higher rights)");
    }
};

} // namespace

std::unique_ptr<DesktopControl> createDesktopControl() {
    return std::make_unique<WindowsDesktopControl>();
}

} // namespace nuvok
