// A stand-in for a media player: a top-level X11 window with the title given
// on the command line that reports on standard output, one line each, what it
// receives:
//   ready 0xID      mapped; ID is the window's id
//   key NAME        a key press, as its key symbol after Shift ("space", "Z");
//                   modifier keys are left out
//   closed          the window manager asked it to close; it then exits
// It also ends when standard input reaches its end, so it never outlives the
// test that started it.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

void setTitle(Display* display, Window window, const char* title) {
    const auto length = static_cast<int>(std::strlen(title));
    auto* bytes = reinterpret_cast<const unsigned char*>(title);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                    PropModeReplace, bytes, length);
    // Also the old property, as UTF-8 like many toolkits write it.
    XChangeProperty(display, window, XA_WM_NAME, utf8, 8, PropModeReplace, bytes, length);
}

} // namespace

int main(int argc, char* argv[]) {
    // --no-focus: a window that never takes the keyboard focus (ICCCM "no input").
    const bool noFocus = argc == 3 && std::strcmp(argv[1], "--no-focus") == 0;
    if (argc != 2 && !noFocus) {
        std::fprintf(stderr, "usage: keywindow [--no-focus] TITLE\n");
        return 2;
    }
    const char* title = argv[argc - 1];
    std::unique_ptr<Display, DisplayCloser> connection(XOpenDisplay(nullptr));
    Display* display = connection.get();
    if (display == nullptr) {
        std::fprintf(stderr, "keywindow: cannot open the display\n");
        return 1;
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 320, 120,
                                              0, BlackPixel(display, 0), WhitePixel(display, 0));
    setTitle(display, window, title);
    XClassHint classHint{const_cast<char*>("keywindow"), const_cast<char*>("KeyWindow")};
    XSetClassHint(display, window, &classHint);
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = noFocus ? False : True;
    hints.initial_state = NormalState;
    XSetWMHints(display, window, &hints);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, KeyPressMask | StructureNotifyMask);
    XMapWindow(display, window);
    XFlush(display);

    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    pollfd sources[2] = {{ConnectionNumber(display), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
            } else if (event.type == MapNotify) {
                std::printf("ready 0x%lx\n", window);
            } else if (event.type == KeyPress) {
                char text[16];
                KeySym sym = NoSymbol;
                XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
                if (IsModifierKey(sym))
                    continue; // Shift for a capital letter is part of that letter
                const char* name = XKeysymToString(sym);
                std::printf("key %s\n", name != nullptr ? name : "?");
            } else if (event.type == ClientMessage &&
                       static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
                std::printf("closed\n");
                return 0;
            }
        }
        if (poll(sources, 2, -1) < 0)
            return 1;
        if (sources[1].revents != 0) {
            char buffer[64];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                return 0;
        }
        if (sources[0].revents & (POLLERR | POLLHUP))
            return 1;
    }
}
