#pragma once

// The AVX2 build of XXH3, in a source file of its own compiled for AVX2.
// Only the processor check in Hash.cpp may call it.
#include <stddef.h>
#include <stdint.h>

namespace nucleo {

uint64_t hashXxh3Avx2(const void* p, size_t n) noexcept;

}  // namespace nucleo
