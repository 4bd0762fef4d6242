#include "nucleo/HashDiProva.h"

#include "Hash.h"

#include <atomic>

namespace nucleo::prova {

namespace {

std::atomic<Hash> scelto{Hash::vero};

}  // namespace

void usaHash(Hash hash) noexcept
{
    scelto.store(hash, std::memory_order_relaxed);
}

std::uint64_t sostituto(std::uint64_t h) noexcept
{
    switch (scelto.load(std::memory_order_relaxed)) {
    case Hash::unico:
        return ~std::uint64_t{0};
    case Hash::pochi:
        // Multiples of an odd constant differ in their top bits (the home
        // slot) and in their low ones (the part).
        return (h % 4 + 1) * 0x9E3779B97F4A7C15u;
    case Hash::vero:
        break;
    }
    return h;
}

}  // namespace nucleo::prova
