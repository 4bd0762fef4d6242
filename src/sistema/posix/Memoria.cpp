#include "sistema/Memoria.h"

#include <cstdint>
#include <new>

#include <sys/mman.h>

namespace sistema {

void* allocaPagine(std::size_t byte, std::size_t allineamento)
{
    // A mapping one alignment larger is cut down to the aligned pages
    // within it, so advice on the block covers it whole.
    void* m = ::mmap(nullptr, byte + allineamento, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (m == MAP_FAILED)
        throw std::bad_alloc();
    const auto inizio = reinterpret_cast<std::uintptr_t>(m);
    const std::uintptr_t allineato = (inizio + allineamento - 1) & ~std::uintptr_t{allineamento - 1};
    if (allineato != inizio)
        ::munmap(m, allineato - inizio);
    const std::uintptr_t fine = inizio + byte + allineamento;
    if (fine != allineato + byte)
        ::munmap(reinterpret_cast<void*>(allineato + byte), fine - (allineato + byte));
    void* p = reinterpret_cast<void*>(allineato);
    ::madvise(p, byte, MADV_HUGEPAGE);
    return p;
}

void liberaPagine(void* p, std::size_t byte) noexcept
{
    ::munmap(p, byte);
}

}  // namespace sistema
