#pragma once

struct _XDisplay;

// Keeps an X server that goes away (XWayland stopped, a display closed mid-ride) from ending
// Cogwise: Xlib's default on a broken connection is exit(1). A watched connection's calls do
// nothing from then on, and its owner reads that it was lost.
namespace X11ConnectionLoss {

// `lost` turns true when the connection breaks; it must outlive the connection.
void watch(_XDisplay* display, bool* lost);

} // namespace X11ConnectionLoss
