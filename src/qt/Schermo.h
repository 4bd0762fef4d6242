#pragma once

namespace qt {

// Whether the windows have a display to show on. On X11 and Wayland systems
// Qt aborts when it finds none, after several lines of its own; so the
// program checks first: a display must be named (DISPLAY, WAYLAND_DISPLAY),
// unless another Qt platform is chosen (QT_QPA_PLATFORM or -platform, for
// instance offscreen). When there is none, prints one line on stderr and
// returns false.
//
// When it returns true, and until schermoAperto() is called once the
// QApplication exists, a display that Qt cannot open after all (a named one
// that is not running) ends the program the same way, with status 1, and
// Qt's own messages about it are held back.
bool schermoDisponibile(int argc, char* argv[]);
void schermoAperto();

}  // namespace qt
