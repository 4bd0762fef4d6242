#pragma once

#include <cstddef>
#include <cstdint>

namespace nucleo {

// XXH3 (64 bits) of n bytes: the hash of a long item, in the fastest build
// of it the processor runs.
std::uint64_t hashTesto(const char* p, std::size_t n) noexcept;

// The builds of XXH3 that hashTesto chooses between; they give the same
// values. hashAvx2 is null where this program or this processor has no
// AVX2 build; hashScelto is the one that hashTesto uses for long items.
using FunzioneHash = std::uint64_t (*)(const void* p, std::size_t n) noexcept;
std::uint64_t hashPortabile(const void* p, std::size_t n) noexcept;
FunzioneHash hashAvx2() noexcept;
FunzioneHash hashScelto() noexcept;

#ifdef FENDRIX_NUCLEO_DI_PROVA
namespace prova {
// The hash the tests chose in place of h (HashDiProva.h).
std::uint64_t sostituto(std::uint64_t h) noexcept;
}  // namespace prova
#endif

// The hash the core works with for an item whose hash is h: h itself. In
// the tests' build of the core (fendrix_nucleo_prova) it is the one the
// test chose, which can give different items the same hash at every item;
// the program's build has no such step, not even a test.
inline std::uint64_t hashUsato(std::uint64_t h) noexcept
{
#ifdef FENDRIX_NUCLEO_DI_PROVA
    return prova::sostituto(h);
#else
    return h;
#endif
}

}  // namespace nucleo
