#pragma once

#include "passi/Interfaccia.h"

#include <filesystem>
#include <functional>

// What the windows' event handlers do with the shared variables, whichever
// toolkit draws the windows: each front end's handler calls the function
// here and only shows the result.
namespace passi {

// The main window's command: asks for a "*.TXT" file through
// `mostraSelezione` (which shows the file selection dialog modally and
// returns once it is closed), then, when one was chosen, runs
// EliminaDuplicati on it; otherwise does nothing more.
void comandoDuplicati(const std::function<void()>& mostraSelezione, Interfaccia& interfaccia);

// The dialog is loaded: no file is chosen yet.
void selezioneAperta();

// The file `nome` is clicked in `cartella`: its full path becomes the
// dialog's answer (one separator between them, even at a root); returns
// the name to show, in upper case.
std::filesystem::path fileScelto(const std::filesystem::path& cartella, const std::filesystem::path& nome);

// The dialog's close request, never refused. Closed by the user (the close
// box, the system menu, Escape), it forgets the answer and the program no
// longer asks for a file; closed by the code (OK), it keeps both.
void selezioneChiusa(bool dallUtente);

}  // namespace passi
