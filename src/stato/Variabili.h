#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

// The variables the windows and the run share, one of each for the whole
// program, "" or 0 at start: the module Variabili, the library stato.
// Paths are the system's own (see sistema/Percorsi.h).
namespace stato {

// The dialog's answer: the full path of the chosen file, or "" for none.
inline std::filesystem::path PercorsoScelto;
// The path of the file being processed, a copy of PercorsoScelto.
inline std::filesystem::path FileDaElaborare;
// 1 while the program asks for a file to process; 0 at start and after the
// dialog was closed through its close box.
inline std::int16_t ModoSelezione = 0;
// The dialog's file-name pattern.
inline std::string Filtro;
// The folder in which the dialog opens.
inline std::filesystem::path CartellaCorrente;

// The last component of `percorso` (split at the path separator) in upper
// case: '/dati/estrazioni.txt' gives 'ESTRAZIONI.TXT'; a path without a
// separator gives the whole path in upper case; one ending in a separator "".
// A name that is not valid UTF-8 has only its ASCII letters upper-cased,
// its other bytes kept (see sistema::maiuscolo).
std::filesystem::path NomeDaPercorso(const std::filesystem::path& percorso);

}  // namespace stato

// The module's own name, by which the windows and the run use it.
namespace Variabili = stato;
