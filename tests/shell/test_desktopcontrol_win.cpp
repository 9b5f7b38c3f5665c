// The Windows back-end against real windows of this process: two player-like
// windows, one brought to the front by its title and typed into; the window
// procedures record what reaches them.
#include "common/failure.h"
#include "shell/desktopcontrol.h"
#include "support/check.h"
#include "support/failureof.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

using nuvok::test::failureOf;
using nuvok::test::kNoFailure;

namespace {

struct Seen {
    std::vector<WPARAM> keysDown; // virtual keys
    std::wstring characters;
};

Seen& seenBy(HWND window) {
    return *reinterpret_cast<Seen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK playerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_KEYDOWN:
        seenBy(window).keysDown.push_back(w);
        return 0;
    case WM_CHAR:
        seenBy(window).characters.push_back(static_cast<wchar_t>(w));
        return 0;
    default:
        return DefWindowProcW(window, message, w, l);
    }
}

class PlayerWindow {
public:
    explicit PlayerWindow(const wchar_t* title) {
        static const ATOM windowClass = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = playerProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"NuvokTestPlayer";
            return RegisterClassW(&wc);
        }();
        (void)windowClass;
        m_window =
            CreateWindowW(L"NuvokTestPlayer", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 300,
                          200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        if (m_window)
            SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&m_seen));
    }
    ~PlayerWindow() {
        if (m_window)
            DestroyWindow(m_window);
    }
    PlayerWindow(const PlayerWindow&) = delete;
    PlayerWindow& operator=(const PlayerWindow&) = delete;

    HWND handle() const { return m_window; }
    const Seen& seen() const { return m_seen; }

private:
    HWND m_window = nullptr;
    Seen m_seen;
};

// Dispatches this thread's messages until done() or the time is up.
template <typename Done> bool pumpUntil(Done done, ULONGLONG milliseconds = 10000) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    while (!done()) {
        if (GetTickCount64() > end)
            return false;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

} // namespace

TEST_CASE("The player found by its title comes to the front and receives the keys") {
    PlayerWindow video(L"song.mp3 - VLC media player");
    PlayerWindow audio(L"1. Artist - Title - Winamp");
    CHECK(video.handle() != nullptr);
    CHECK(audio.handle() != nullptr);
    if (!video.handle() || !audio.handle())
        return;
    pumpUntil([] { return false; }, 300); // let both windows settle
    const auto control = nuvok::createDesktopControl();

    control->activateWindow("vlc");
    CHECK(GetForegroundWindow() == video.handle());
    control->sendKeys(" {left}{right}");
    CHECK(pumpUntil([&] { return video.seen().keysDown.size() >= 3; }));
    CHECK(video.seen().keysDown == (std::vector<WPARAM>{VK_SPACE, VK_LEFT, VK_RIGHT}));
    CHECK(audio.seen().keysDown.empty());

    control->activateWindow("Winamp");
    CHECK(GetForegroundWindow() == audio.handle());
    control->sendKeys("czb{enter}");
    CHECK(pumpUntil([&] { return audio.seen().characters.size() >= 4; }));
    CHECK(audio.seen().characters == L"czb\r");
    CHECK_EQ(video.seen().keysDown.size(), std::size_t(3));
}

TEST_CASE("A missing player is an error that names it") {
    const auto control = nuvok::createDesktopControl();
    const std::string missing = failureOf([&] { control->activateWindow("No Such Player 4711"); });
    CHECK(missing.find("No Such Player 4711") != std::string::npos);
    CHECK(failureOf([&] { control->activateWindow(""); }) != kNoFailure);
    CHECK(failureOf([&] { control->sendKeys("{nosuchkey}"); }) != kNoFailure);
}
