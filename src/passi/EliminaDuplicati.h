#pragma once

#include "passi/Interfaccia.h"

#include <cstdint>
#include <string>

namespace passi {

// Reads the items of Variabili::FileDaElaborare, keeps each distinct item
// once, tells the user how many repeats were dropped and, when some were,
// writes the kept items sorted to "NEW - NAME" in the data folder. The source
// is only read. The messages and the waiting go through `interfaccia`, the
// front end's. Failures are run-time errors (sistema::ErroreRuntime).
void EliminaDuplicati(Interfaccia& interfaccia);

// The run's texts.

inline constexpr char testoNessunaRipetizione[] = "Il file non ha combinazioni ripetute..! ";

// What the progress window of a long run says.
inline constexpr char testoAttesaLettura[] = "Ricerca delle combinazioni ripetute in corso...";
inline constexpr char testoAttesaScrittura[] = "Creazione della copia ordinata in corso...";

// "Eliminate 3  combinazioni ripetute..! " for D = 3.
std::string testoEliminate(std::int64_t eliminate);

}  // namespace passi
