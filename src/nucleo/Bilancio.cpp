#include "nucleo/Bilancio.h"

#include "sistema/Memoria.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

namespace nucleo {

bool Bilancio::prenota(std::size_t n) noexcept
{
    std::size_t u = usati_.load(std::memory_order_relaxed);
    do {
        if (n > limite() || u > limite() - n)
            return false;
    } while (!usati_.compare_exchange_weak(u, u + n, std::memory_order_relaxed));
    segna(u + n);
    return true;
}

void Bilancio::abbassa() noexcept
{
    limite_.store(std::min(limite(), usati()), std::memory_order_relaxed);
}

std::size_t Bilancio::costo(std::size_t n) noexcept
{
    // Huge-page blocks take whole huge pages; a block the allocator maps
    // on its own (past 1 MiB) takes whole pages with its header; a smaller
    // one its header and rounding.
    constexpr std::size_t pagina = 4096;
    if (n >= paginaGrande)
        return pagineGrandiIntere(n);
    if (n >= (std::size_t{1} << 20))
        return (n + 16 + pagina - 1) / pagina * pagina;
    return n + 64;
}

void* Bilancio::alloca(std::size_t n) noexcept
{
    const std::size_t c = costo(n);
    if (!prenota(c))
        return nullptr;
    try {
        return allocaGrande(n);
    } catch (const std::bad_alloc&) {
        rilascia(c);
        abbassa();
        return nullptr;
    }
}

void* Bilancio::allocaComunque(std::size_t n)
{
    const std::size_t c = costo(n);
    impegna(c);
    try {
        return allocaGrande(n);
    } catch (const std::bad_alloc&) {
        rilascia(c);
        abbassa();
        throw;
    }
}

void Bilancio::libera(void* p, std::size_t n) noexcept
{
    if (p == nullptr)
        return;
    liberaGrande(p, n);
    rilascia(costo(n));
}

void* allocaGrande(std::size_t byte)
{
    if (byte < paginaGrande) {
        void* p = std::malloc(byte == 0 ? 1 : byte);
        if (p == nullptr)
            throw std::bad_alloc();
        return p;
    }
    // Huge pages come only in 2 MiB steps, aligned.
    return sistema::allocaPagine(pagineGrandiIntere(byte), paginaGrande);
}

void liberaGrande(void* p, std::size_t byte) noexcept
{
    if (p == nullptr)
        return;
    if (byte < paginaGrande)
        std::free(p);
    else
        sistema::liberaPagine(p, pagineGrandiIntere(byte));
}

void Blocco::dimensiona(Bilancio& bilancio, std::size_t n)
{
    libera();
    bilancio_ = &bilancio;
    dati_ = static_cast<char*>(bilancio.allocaComunque(n));
    byte_ = n;
}

void Blocco::ingrandisci(std::size_t n, std::size_t tenuti)
{
    char* nuovo = static_cast<char*>(bilancio_->allocaComunque(n));
    std::memcpy(nuovo, dati_, std::min(tenuti, byte_));
    bilancio_->libera(dati_, byte_);
    dati_ = nuovo;
    byte_ = n;
}

void Blocco::libera() noexcept
{
    if (bilancio_ != nullptr)
        bilancio_->libera(dati_, byte_);
    dati_ = nullptr;
    byte_ = 0;
}

}  // namespace nucleo
