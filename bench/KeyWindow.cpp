// The X client that scripts/bench types into: a window that takes the focus and grabs the
// keyboard of the display in DISPLAY, and prints each key event as it reads it,
//   down|up <keysym name> <CLOCK_MONOTONIC nanoseconds>
// after a first line "ready". The time is taken as soon as Xlib hands the event over, in a
// process that does nothing else, so that it is the time a focused application would see it.
//   cogwise-bench-key-window

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cstdio>
#include <ctime>

namespace {

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

void waitFor(Display* display, int type)
{
    XEvent event;
    do
        XNextEvent(display, &event);
    while (event.type != type);
}

} // namespace

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cogwise-bench-key-window: cannot open the display\n");
        return 1;
    }
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, 64, 64, 0,
                                              BlackPixel(display, screen), WhitePixel(display, screen));
    XSelectInput(display, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(display, window);
    waitFor(display, MapNotify);
    // With no window manager nothing gives the focus; the grab keeps the keys here when a
    // window mapped later (Cogwise's own) takes the focus.
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    if (XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync, CurrentTime) != GrabSuccess) {
        std::fprintf(stderr, "cogwise-bench-key-window: cannot grab the keyboard\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        const long long received = monotonicNanoseconds();
        if (event.type != KeyPress && event.type != KeyRelease)
            continue;
        KeySym symbol = NoSymbol;
        char text[8];
        XLookupString(&event.xkey, text, sizeof text, &symbol, nullptr);
        const char* name = XKeysymToString(symbol);
        std::printf("%s %s %lld\n", event.type == KeyPress ? "down" : "up", name ? name : "?", received);
        std::fflush(stdout);
    }
}
