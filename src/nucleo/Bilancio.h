#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <utility>

// MinGW's <malloc.h>, which <cstdlib> brings in there, makes alloca() a
// macro, which would swallow the members of that name below.
#ifdef alloca
#undef alloca
#endif

// The memory of a run, kept as an account. Every block that grows with the
// data (the parts' tables, the long items' text, the round lists, the
// reader's pieces, the runs' buffers, the copy's blocks) is reserved here
// before it is allocated and given back when it is freed. A reservation
// that would pass the budget fails, and the caller makes room first (writes
// a run, takes smaller buffers) and then tries again, so the system's
// allocator never finds the limit before the run does.
namespace nucleo {

class Bilancio {
public:
    explicit Bilancio(std::size_t limite) noexcept : limite_(limite) {}
    Bilancio(const Bilancio&) = delete;
    Bilancio& operator=(const Bilancio&) = delete;

    // Reserves n bytes if they fit under the budget.
    bool prenota(std::size_t n) noexcept;
    // Reserves n bytes whatever the budget: only for the least a step needs
    // to make progress at all.
    void impegna(std::size_t n) noexcept { segna(usati_.fetch_add(n, std::memory_order_relaxed) + n); }
    void rilascia(std::size_t n) noexcept { usati_.fetch_sub(n, std::memory_order_relaxed); }

    std::size_t limite() const noexcept { return limite_.load(std::memory_order_relaxed); }
    std::size_t usati() const noexcept { return usati_.load(std::memory_order_relaxed); }
    // The most the account ever held at once: what the run's blocks took at
    // their peak, as reserved.
    std::size_t massimo() const noexcept { return massimo_.load(std::memory_order_relaxed); }
    std::size_t liberi() const noexcept
    {
        const std::size_t l = limite();
        const std::size_t u = usati();
        return u < l ? l - u : 0;
    }

    // The system refused memory that the account still had: the budget
    // becomes what is in use now, so that the next reservations make room
    // first instead of meeting the system's limit again.
    void abbassa() noexcept;

    // A block of n bytes, reserved and allocated (in huge pages where
    // large); nullptr when it does not fit the budget or the system refuses
    // it. Free it with libera(p, n).
    void* alloca(std::size_t n) noexcept;
    // The same whatever the budget; throws std::bad_alloc only when the
    // system refuses it.
    void* allocaComunque(std::size_t n);
    void libera(void* p, std::size_t n) noexcept;

    // What a block of n bytes from alloca() takes of the address space:
    // its pages and the allocator's own rounding and alignment.
    static std::size_t costo(std::size_t n) noexcept;

private:
    void segna(std::size_t u) noexcept
    {
        std::size_t m = massimo_.load(std::memory_order_relaxed);
        while (u > m && !massimo_.compare_exchange_weak(m, u, std::memory_order_relaxed)) {
        }
    }

    std::atomic<std::size_t> limite_;
    std::atomic<std::size_t> usati_{0};
    std::atomic<std::size_t> massimo_{0};
};

// A reservation held for as long as this object lives.
class Prenotazione {
public:
    Prenotazione() = default;
    Prenotazione(Prenotazione&& altra) noexcept
        : bilancio_(std::exchange(altra.bilancio_, nullptr)), byte_(std::exchange(altra.byte_, 0)) {}
    Prenotazione& operator=(Prenotazione&& altra) noexcept
    {
        std::swap(bilancio_, altra.bilancio_);
        std::swap(byte_, altra.byte_);
        return *this;
    }
    ~Prenotazione() { azzera(); }

    // Sets the reservation to `byte`, whatever the budget.
    void impegna(Bilancio* bilancio, std::size_t byte) noexcept
    {
        azzera();
        bilancio_ = bilancio;
        byte_ = byte;
        if (bilancio_ != nullptr)
            bilancio_->impegna(byte_);
    }
    void azzera() noexcept
    {
        if (bilancio_ != nullptr)
            bilancio_->rilascia(byte_);
        byte_ = 0;
    }
    std::size_t byte() const noexcept { return byte_; }

private:
    Bilancio* bilancio_ = nullptr;
    std::size_t byte_ = 0;
};

// Large blocks of memory in huge pages: on a system that gives them on
// request, filling a block faults a page in every 2 MiB instead of every
// 4 KiB, and page faults are much of what a run costs. Small blocks are
// plain malloc. Throws std::bad_alloc; free with liberaGrande(p, byte).
void* allocaGrande(std::size_t byte);
void liberaGrande(void* p, std::size_t byte) noexcept;

// The size of a huge page (on x86-64 and most others).
inline constexpr std::size_t paginaGrande = std::size_t{2} << 20;

// `byte` rounded up to whole huge pages.
constexpr std::size_t pagineGrandiIntere(std::size_t byte) noexcept
{
    return (byte + paginaGrande - 1) / paginaGrande * paginaGrande;
}
// A size for a block that will be filled: past a quarter of a huge page,
// whole huge pages.
constexpr std::size_t inPagineGrandi(std::size_t byte) noexcept
{
    return byte > paginaGrande / 4 ? pagineGrandiIntere(byte) : byte;
}

// Bytes written in one piece, in huge pages where large, with the room they
// take reserved on a budget.
class Blocco {
public:
    Blocco() = default;
    Blocco(const Blocco&) = delete;
    Blocco& operator=(const Blocco&) = delete;
    Blocco(Blocco&& altro) noexcept
        : bilancio_(altro.bilancio_), dati_(std::exchange(altro.dati_, nullptr)), byte_(std::exchange(altro.byte_, 0)) {}
    ~Blocco() { libera(); }

    // Room for n bytes, the old content dropped, reserved whatever the
    // budget (the caller sized it to fit).
    void dimensiona(Bilancio& bilancio, std::size_t n);
    // Room for n bytes, the first `tenuti` kept.
    void ingrandisci(std::size_t n, std::size_t tenuti);
    void libera() noexcept;

    char* data() noexcept { return dati_; }
    const char* data() const noexcept { return dati_; }
    std::size_t size() const noexcept { return byte_; }

private:
    Bilancio* bilancio_ = nullptr;
    char* dati_ = nullptr;
    std::size_t byte_ = 0;
};

}  // namespace nucleo
