#pragma once

#include <cstdio>
#include <cstdlib>

// FENDRIX_VERIFICA(condizione): a condition the core's packed encodings
// rely on (a pointer within 48 bits, a length within its field, a slot
// that is not the empty marker). Where FENDRIX_ASSERZIONI is defined (Debug
// builds and the sanitizers' build) a false one says which and where, and
// aborts; in Release the condition is not even evaluated.
#ifdef FENDRIX_ASSERZIONI
#define FENDRIX_VERIFICA(condizione) \
    ((condizione) ? static_cast<void>(0) : ::nucleo::violata(#condizione, __FILE__, __LINE__))
#else
#define FENDRIX_VERIFICA(condizione) static_cast<void>(sizeof(!(condizione)))
#endif

namespace nucleo {

[[noreturn]] inline void violata(const char* condizione, const char* file, int riga) noexcept
{
    std::fprintf(stderr, "%s:%d: condizione violata: %s\n", file, riga, condizione);
    std::abort();
}

}  // namespace nucleo
