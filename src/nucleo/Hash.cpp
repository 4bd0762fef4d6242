#include "Hash.h"

// XXH3 in two builds: the portable one (SSE2 on x86-64), inline here, and,
// where the processor has AVX2, the one in HashAvx2.cpp, which hashes a long
// item in about half the time. Both give the same values; the choice is made
// once, when the program starts.
#define XXH_INLINE_ALL
#include <xxhash.h>

#ifdef FENDRIX_HASH_AVX2
#include "HashAvx2.h"
#endif

namespace nucleo {

namespace {

#ifdef FENDRIX_HASH_AVX2
bool processoreConAvx2() noexcept
{
    // GCC's and Clang's check also asks whether the system saves the AVX
    // registers, not only whether the processor has the instructions.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const FunzioneHash avx2 = processoreConAvx2() ? &hashXxh3Avx2 : nullptr;
#else
constexpr FunzioneHash avx2 = nullptr;
#endif

}  // namespace

std::uint64_t hashPortabile(const void* p, std::size_t n) noexcept
{
    return XXH3_64bits(p, n);
}

FunzioneHash hashAvx2() noexcept
{
    return avx2;
}

FunzioneHash hashScelto() noexcept
{
    return avx2 ? avx2 : &hashPortabile;
}

std::uint64_t hashTesto(const char* p, std::size_t n) noexcept
{
    // Up to XXH3_MIDSIZE_MAX bytes XXH3 takes paths that no vector serves;
    // past it, the long path, which the AVX2 build speeds up.
    if (n > XXH3_MIDSIZE_MAX && avx2)
        return avx2(p, n);
    return XXH3_64bits(p, n);
}

}  // namespace nucleo
