#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace sistema {

// How much more memory this process may take now, in bytes: the least of
// the room left under its address-space and data limits, under the memory
// limit of each of its control groups (v1 and v2, the group and every one
// above it), and half of the memory the system has available (half of the
// physical memory where that cannot be read). Measured, not configured:
// call it after the threads of a run have started, since they take address
// space of their own.
std::size_t memoriaDisponibile();

// How many processors this process may use: those of its CPU affinity,
// fewer when a control group's CPU quota allows fewer, at most 16.
unsigned processoriDisponibili();

// The size of the cache each processor has to itself (L2), from sysfs; 2 MiB
// when the system does not say.
std::size_t byteCacheProcessore();

// How many more files this process may open now: the soft RLIMIT_NOFILE
// less the descriptors open at the call. The caller keeps its own margin.
std::size_t descrittoriDisponibili();

constexpr std::uint64_t senzaLimite = std::numeric_limits<std::uint64_t>::max();

// What the files of /proc and of the control groups say, read below a root
// folder ("" for "/"), so that a made-up tree can stand in for the system's.
struct Limiti {
    std::uint64_t indirizziUsati = 0;      // address space in use, bytes
    std::uint64_t datiUsati = 0;           // data and stack in use, bytes
    std::uint64_t gruppi = senzaLimite;    // least room under the groups' memory limits
    std::uint64_t disponibile = 0;         // MemAvailable, bytes; 0 when unreadable
    unsigned processori = 0;               // the tightest CPU quota, rounded up; 0 without one
};
Limiti leggiLimiti(const std::string& radice);

// The memory the process may take, from the readings, the soft RLIMIT_AS and
// RLIMIT_DATA (senzaLimite when unlimited) and the physical memory.
std::uint64_t memoriaDa(const Limiti& letti, std::uint64_t limiteIndirizzi, std::uint64_t limiteDati,
                        std::uint64_t fisica);

}  // namespace sistema
