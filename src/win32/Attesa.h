#pragma once

#include "Finestre.h"

#include <functional>
#include <string_view>

namespace win32 {

// Runs `lavoro` on a worker thread while `finestra` (the window the user
// started it from) waits for it: the busy cursor shows, the window takes no
// input but keeps answering Windows (so it is never marked "Not
// responding") and painting; a run that lasts longer than about a second
// shows a small progress window with `testo` (UTF-8) and no cancel button.
// Whatever the work raises is raised here once it has ended.
void attendi(HWND finestra, std::string_view testo, const std::function<void()>& lavoro);

}  // namespace win32
