#pragma once

#include "sistema/ErroreRuntime.h"

#include <atomic>
#include <filesystem>
#include <optional>
#include <vector>

namespace sistema {

// Paths are the system's own: on Linux their very bytes, valid UTF-8 or
// not, so a file listed can always be opened and a copy named by its real
// bytes.

// The names in `cartella` of its entries that resolve (through symbolic
// links) to a folder, and to a regular file, in the order the system lists
// them, read in one pass; hidden entries are left out. A folder that cannot
// be read, or whose reading fails partway, raises its run-time error rather
// than look empty or whole. Once `annulla` is set, the reading stops early
// with what it has (which nobody wants any more).
struct VociCartella {
    std::vector<std::filesystem::path> cartelle;
    std::vector<std::filesystem::path> file;
};
VociCartella leggiCartella(const std::filesystem::path& cartella, const std::atomic<bool>* annulla = nullptr);

// Why `cartella` cannot be shown: no folder there (PercorsoNonTrovato) or
// no right to list and enter it (AutorizzazioneNegata); nothing when it can.
std::optional<CodiceErrore> erroreCartella(const std::filesystem::path& cartella);

// `cartella` as the program shows it and joins names to: without "." and
// ".." steps or a trailing separator, except at a root, which keeps it (on
// Windows also absolute, and a network folder stays one).
std::filesystem::path cartellaPulita(const std::filesystem::path& cartella);

// The nearest folder at or above `cartella` that exists; `cartella` itself
// when none does.
std::filesystem::path cartellaEsistente(const std::filesystem::path& cartella);

// `nome` in upper case. A name that is valid UTF-8 takes Unicode's full
// case mapping ("ß" becomes "SS"); one that is not has no letters to speak
// of beyond ASCII, so only those change and every other byte stays.
std::filesystem::path maiuscolo(const std::filesystem::path& nome);

}  // namespace sistema
