#pragma once

#include "sistema/ErroreRuntime.h"

#include <utility>

namespace qt {

// Reports a run-time error: one modal message titled with the program's
// name, the same text on stderr, then the program ends with the error's
// number as its exit status. Never returns.
[[noreturn]] void terminaPerErrore(const sistema::ErroreRuntime& errore);

// Runs one event handler: whatever it raises is reported by
// terminaPerErrore.
template <class Gestore>
void eseguiGestore(Gestore&& gestore) noexcept
{
    sistema::eseguiSegnalando(std::forward<Gestore>(gestore), terminaPerErrore);
}

}  // namespace qt
