#pragma once

#include "sistema/ErroreRuntime.h"

#include <string_view>
#include <utility>

namespace win32 {

enum class Icona { Avviso, Errore };

// A modal message titled with the program's name, with `icona` and one OK
// button (`testo` in UTF-8), over the window the user is working in.
void mostraMessaggio(std::string_view testo, Icona icona);

// Reports a run-time error in one message, then ends the program with the
// error's number as its exit status. Never returns.
[[noreturn]] void terminaPerErrore(const sistema::ErroreRuntime& errore);

// Runs one event handler: whatever it raises is reported by
// terminaPerErrore.
template <class Gestore>
void eseguiGestore(Gestore&& gestore) noexcept
{
    sistema::eseguiSegnalando(std::forward<Gestore>(gestore), terminaPerErrore);
}

}  // namespace win32
