#pragma once

#include <QString>

#include <cstdint>

// The variables the windows and the run share, one of each for the whole
// program, "" or 0 at start.
namespace Variabili {

// The dialog's answer: the full path of the chosen file, or "" for none.
inline QString PercorsoScelto;
// The path of the file being processed, a copy of PercorsoScelto.
inline QString FileDaElaborare;
// 1 while the program asks for a file to process; 0 at start and after the
// dialog was closed through its close box.
inline std::int16_t ModoSelezione = 0;
// The dialog's file-name pattern.
inline QString Filtro;
// The folder in which the dialog opens.
inline QString CartellaCorrente;

// The last component of `percorso` (split at the path separator) in upper
// case: '/dati/estrazioni.txt' gives 'ESTRAZIONI.TXT'; a path without a
// separator gives the whole path in upper case; one ending in a separator "".
// A name that is not valid UTF-8 (see host::percorsoDaByte) has only its
// ASCII letters upper-cased, its other bytes kept.
QString NomeDaPercorso(const QString& percorso);

}  // namespace Variabili
