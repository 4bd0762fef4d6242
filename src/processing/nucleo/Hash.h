#pragma once

#include <cstddef>
#include <cstdint>

namespace nucleo {

// XXH3 (64 bits) of n bytes: the hash of a long item, in the fastest build
// of it the processor runs.
std::uint64_t hashTesto(const char* p, std::size_t n) noexcept;

}  // namespace nucleo
