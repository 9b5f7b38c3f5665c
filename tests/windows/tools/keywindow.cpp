// A stand-in for a media player on Windows: a top-level window with the title
// given on the command line that reports on standard output, one line each,
// what it receives:
//   ready 0xHWND    shown
//   key NAME        a key press: "space", "return", "left", "right", or the
//                   letter or digit of the key ("Z")
// It ends when its standard input reaches its end, so it never outlives the
// test that started it.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const UINT kInputEnded = WM_APP + 1;

std::string keyName(WPARAM key) {
    switch (key) {
    case VK_SPACE:
        return "space";
    case VK_RETURN:
        return "return";
    case VK_LEFT:
        return "left";
    case VK_RIGHT:
        return "right";
    default:
        break;
    }
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        return std::string(1, static_cast<char>(key));
    char code[16];
    std::snprintf(code, sizeof code, "vk%u", static_cast<unsigned>(key));
    return code;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
    case WM_KEYDOWN:
        // Modifier keys are part of the key they go with.
        if (w != VK_SHIFT && w != VK_CONTROL && w != VK_MENU)
            std::printf("key %s\n", keyName(w).c_str());
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, w, l);
    }
}

DWORD WINAPI watchInput(void* thread) {
    char buffer[64];
    DWORD read = 0;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(thread)), kInputEnded, 0, 0);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: keywindow TITLE\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = L"NuvokKeyWindow";
    if (!RegisterClassW(&windowClass))
        return 1;
    const HWND window =
        CreateWindowW(L"NuvokKeyWindow", argv[1], WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80, 320,
                      120, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window) {
        std::fprintf(stderr, "keywindow: cannot create the window\n");
        return 1;
    }
    std::printf("ready 0x%llx\n",
                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    const DWORD self = GetCurrentThreadId();
    const HANDLE watcher = CreateThread(
        nullptr, 0, watchInput, reinterpret_cast<void*>(static_cast<UINT_PTR>(self)), 0, nullptr);
    if (watcher)
        CloseHandle(watcher);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.hwnd == nullptr && message.message == kInputEnded) {
            DestroyWindow(window);
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
