#include "sistema/Memoria.h"

#include "Win.h"

#include <cstdint>
#include <new>

namespace sistema {

void* allocaPagine(std::size_t byte, std::size_t allineamento)
{
    // Windows gives blocks aligned to 64 KiB: a larger alignment is found
    // by reserving a block one alignment larger, giving it back and taking
    // the aligned part of it, again if another thread took it meanwhile.
    // Pages are committed as the block is filled, never ahead.
    if (allineamento <= 65536) {
        void* p = ::VirtualAlloc(nullptr, byte, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (p == nullptr)
            throw std::bad_alloc();
        return p;
    }
    for (int tentativo = 0; tentativo < 16; ++tentativo) {
        void* m = ::VirtualAlloc(nullptr, byte + allineamento, MEM_RESERVE, PAGE_NOACCESS);
        if (m == nullptr)
            throw std::bad_alloc();
        const auto inizio = reinterpret_cast<std::uintptr_t>(m);
        const std::uintptr_t allineato = (inizio + allineamento - 1) & ~std::uintptr_t{allineamento - 1};
        ::VirtualFree(m, 0, MEM_RELEASE);
        if (void* p = ::VirtualAlloc(reinterpret_cast<void*>(allineato), byte, MEM_RESERVE | MEM_COMMIT,
                                     PAGE_READWRITE))
            return p;
    }
    throw std::bad_alloc();
}

void liberaPagine(void* p, std::size_t) noexcept
{
    ::VirtualFree(p, 0, MEM_RELEASE);
}

}  // namespace sistema
