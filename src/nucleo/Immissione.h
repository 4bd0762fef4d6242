#pragma once

#include "nucleo/Bilancio.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <vector>

namespace nucleo {

// The items one reading thread gives in one round, sorted into parts.
// Each thread writes only its own: the object and each part's list sit on
// cache lines of their own, so that threads never take lines from each
// other (which would make reading on two threads slower than on one).
// The lists grow only within the run's budget.
class alignas(64) Immissione {
public:
    // Takes the item, unless its part's list is full and the budget has no
    // room for a larger one: then the item is kept aside, to be taken first
    // when the round goes on, and the reader stops here for now (false).
    // `voce` must stay valid until the round ends.
    bool aggiungi(std::string_view voce);

private:
    friend class Deduplica;
    friend struct Parte;
    // An item as a reader gives it. One of up to sixteen bytes is its keys
    // and length (a Voce), taken while its text is in the cache, so that
    // the part never reads that text again, with the top 48 bits of its
    // hash (or none) in the low bits of the length word; a longer one is
    // its hash, its length (more than sixteen, less than 2^48: never a
    // short item's length word) and where its text lies.
    struct Arrivo {
        std::uint64_t parola[3];

        static Arrivo lunga(std::uint64_t hash, std::string_view testo) noexcept
        {
            return {{hash, reinterpret_cast<std::uintptr_t>(testo.data()), testo.size()}};
        }
        bool eLunga() const noexcept { return parola[2] < (std::uint64_t{1} << 48) && parola[2] > 16; }
        std::uint64_t hash() const noexcept { return parola[0]; }
        std::string_view testo() const noexcept
        {
            return {reinterpret_cast<const char*>(parola[1]), static_cast<std::size_t>(parola[2])};
        }
    };
    // The lists are copied as bytes when they grow.
    static_assert(std::is_trivially_copyable_v<Arrivo>);
    struct alignas(64) Coda {
        Arrivo* arrivi = nullptr;
        std::size_t quante = 0;
        std::size_t lunghe = 0;  // of more than sixteen bytes
        std::size_t capienza = 0;
    };
    bool cresci(Coda& coda);
    void dimensiona(std::size_t parti, std::size_t attese);
    bool riprendi();
    void svuota() noexcept;  // empty lists, their room kept
    void libera() noexcept;

    Bilancio* bilancio_ = nullptr;
    std::vector<Coda> perParte_;
    std::int64_t quante_ = 0;
    bool sospesa_ = false;
    Arrivo arrivoSospeso_{};
    std::size_t parteSospesa_ = 0;
};

}  // namespace nucleo
