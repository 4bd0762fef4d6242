#pragma once

// What Windows says of the memory a process may take, read in one place so
// that made-up readings can stand in for the system's.
#include "sistema/Risorse.h"

#include <cstdint>

namespace sistema::win32 {

struct LettureMemoria {
    std::uint64_t fisica = 0;            // physical memory, bytes
    std::uint64_t disponibile = 0;       // physical memory available now
    std::uint64_t indirizzi = 0;         // the process's user address space
    std::uint64_t indirizziLiberi = 0;   // of which not yet reserved
    // The job object's limits (senzaLimite outside a job or without one)
    // and what counts against them: the process's committed memory, and
    // the most the job has committed so far (Windows tells no more; the
    // peak is never less than what is in use).
    std::uint64_t limiteProcesso = senzaLimite;
    std::uint64_t usataProcesso = 0;
    std::uint64_t limiteLavoro = senzaLimite;
    std::uint64_t usataLavoro = 0;
};
LettureMemoria leggiMemoria();

// The readings in the terms memoriaDa() takes: the job's limits take the
// place of the control groups'.
Limiti limitiDa(const LettureMemoria& letture);

// The memory the process may take from those readings.
std::uint64_t memoriaDaLetture(const LettureMemoria& letture);

}  // namespace sistema::win32
