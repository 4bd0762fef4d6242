#include "Hash.h"

// XXH3 in two builds: the portable one (SSE2 on x86-64) and, where the
// processor has AVX2, one compiled for it, which hashes a long item in
// about half the time. Both give the same values.
#if defined(__x86_64__) && defined(__GNUC__)
#define XXH_DISPATCH_AVX2 1
#define XXH_TARGET_AVX2 __attribute__((target("avx2")))
#define HASH_CON_AVX2 1
#include <immintrin.h>
#endif
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

#ifdef HASH_CON_AVX2
// Only this function is built for AVX2, and it is only called where the
// processor runs it.
XXH_TARGET_AVX2 std::uint64_t hashAvx2(const char* p, std::size_t n) noexcept
{
    return XXH3_hashLong_64b_internal(p, n, XXH3_kSecret, sizeof(XXH3_kSecret), XXH3_accumulate_512_avx2,
                                      XXH3_scrambleAcc_avx2);
}

bool conAvx2() noexcept
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const bool avx2 = conAvx2();
#endif

}  // namespace

std::uint64_t hashTesto(const char* p, std::size_t n) noexcept
{
#ifdef HASH_CON_AVX2
    // Past XXH3_MIDSIZE_MAX bytes XXH3 takes its long path, the one the
    // vectors serve.
    if (n > XXH3_MIDSIZE_MAX && avx2)
        return hashAvx2(p, n);
#endif
    return XXH3_64bits(p, n);
}

}  // namespace nucleo
