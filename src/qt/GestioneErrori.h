#pragma once

#include "sistema/ErroreRuntime.h"

#include <new>
#include <system_error>
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
    } catch (const sistema::ErroreRuntime& e) {
        terminaPerErrore(e);
    } catch (const std::bad_alloc&) {
        terminaPerErrore(sistema::ErroreRuntime(sistema::CodiceErrore::MemoriaEsaurita));
    } catch (const std::system_error& e) {
        // A thread that cannot start is the system running out of resources.
        const bool risorse = e.code() == std::errc::resource_unavailable_try_again ||
                             e.code() == std::errc::not_enough_memory;
        terminaPerErrore(risorse ? sistema::ErroreRuntime(sistema::CodiceErrore::MemoriaEsaurita)
                                 : sistema::ErroreRuntime::daErrno(e.code().value(), {}));
    } catch (...) {
        terminaPerErrore(sistema::ErroreRuntime(sistema::CodiceErrore::ErroreInterno));
    }
}

}  // namespace qt
