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

}  // namespace nucleo
