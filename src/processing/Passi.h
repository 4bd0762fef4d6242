#pragma once

#include "host/Codifica.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace host { class LettoreVoci; }
namespace nucleo { class Elenco; class Raccolta; }

// The steps of the duplicate-removal run, shared by EliminaDuplicati and the
// benchmark so that both run exactly the same code. None of them touches
// the user interface.
namespace elaborazione {

// Reads the file's items into `righe`, one list per reading thread, and
// returns how many there are: empty fields are skipped, the others stored
// without leading and trailing spaces (so an item of spaces only is kept,
// as "").
std::int64_t leggiRighe(host::LettoreVoci& file, std::vector<nucleo::Raccolta>& righe);

// The data folder below the program folder, with a trailing separator.
QString cartellaDati();

// Where the copy of `sorgente` goes: "NEW - " plus its upper-cased name, in
// the data folder, wherever the source lies.
QString percorsoCopia(const QString& sorgente);

// Writes the items in the list's order, one per line, each ended by CR LF,
// in the source's encoding and with its byte-order mark; replaces
// `percorso` only once complete.
void scriviCopia(const QString& percorso, const nucleo::Elenco& righe, host::Codifica codifica);

}  // namespace elaborazione
