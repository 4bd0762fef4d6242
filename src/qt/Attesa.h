#pragma once

#include <QString>

#include <functional>

namespace qt {

// Runs `lavoro` while the user waits for it: the busy cursor shows, and a
// run that lasts longer than about a second shows a modal progress window
// with `testo` and no cancel button, so the program never looks frozen; a
// shorter run shows no window at all, not even for an instant. The
// work runs on a worker thread while this thread keeps the windows painted
// but takes no user input; whatever the work raises is raised here once it
// has ended. It needs the QApplication: the windows are what it is for.
void attendi(const QString& testo, const std::function<void()>& lavoro);

// How long a run goes before the progress window shows (1000 ms unless
// changed; tests shorten it).
void impostaRitardoAttesa(int millisecondi);

}  // namespace qt
