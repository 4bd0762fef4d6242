// Compiled with AVX2 enabled: xxHash then takes its AVX2 loop. This file
// includes nothing but xxHash and its own header, so that no inline function
// or template of another header gets an AVX2 copy that the linker could keep
// for the whole program and run on a processor without AVX2. xxHash's own
// functions are static here (XXH_INLINE_ALL), local to this file.
#include "HashAvx2.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#ifndef __AVX2__
#error "HashAvx2.cpp must be compiled with AVX2 enabled (-mavx2)"
#endif

namespace nucleo {

uint64_t hashXxh3Avx2(const void* p, size_t n) noexcept
{
    return XXH3_64bits(p, n);
}

}  // namespace nucleo
