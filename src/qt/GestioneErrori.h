#pragma once

#include "sistema/ErroreRuntime.h"

#include <exception>
#include <utility>

namespace qt {

// Reports a run-time error: one modal message titled with the program's
// name, the same text on stderr, then the program ends with the error's
// number as its exit status. Never returns.
[[noreturn]] void terminaPerErrore(const sistema::ErroreRuntime& errore);

// Runs one event handler. No C++ exception may cross Qt's event loop, so
// every handler runs through here: whatever it raises is reported by
// terminaPerErrore, after the stack has unwound (temporary files removed,
// files closed).
template <class Gestore>
void eseguiGestore(Gestore&& gestore) noexcept
{
    try {
        std::forward<Gestore>(gestore)();
    } catch (...) {
        terminaPerErrore(sistema::ErroreRuntime::daEccezione(std::current_exception()));
    }
}

}  // namespace qt
