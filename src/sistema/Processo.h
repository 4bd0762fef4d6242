#pragma once

#include <string>

namespace host {

// The settings that hold for the whole process, made once, at start, before
// any thread: the program's main, the benchmark's and every test's call it
// (a second call does nothing). No object of the program changes them
// afterwards.
// - A file-size limit surfaces as a "disk full" error instead of killing
//   the process (SIGXFSZ ignored).
// - The allocator gives large blocks back to the system at once, and under
//   an address-space limit keeps one arena and stacks of 1 MiB.
// - SIGTERM, SIGINT and SIGHUP remove the copy's temporary file being
//   written, where it has a name (see rimuoviSuSegnale), then end the
//   process by the signal, as it would have ended.
// - SIGBUS in a mapped piece of a file that shrank gives zeros and an I/O
//   error instead of ending the process (see LettoreVoci).
// A signal whose action is not the default one at start (ignored under
// nohup, or handled by whoever started the process) is left as it is.
void preparaProcesso();

// The one named temporary file, `nome` in the folder open as `cartella`,
// that a signal ending the process removes first; true if it is now that
// file, false when another one is (only the first is covered). The
// descriptor must stay open until nonRimuovereSuSegnale().
bool rimuoviSuSegnale(int cartella, const std::string& nome);
// That file has gone, or has its final name: a signal leaves it.
void nonRimuovereSuSegnale(int cartella, const std::string& nome);

}  // namespace host
