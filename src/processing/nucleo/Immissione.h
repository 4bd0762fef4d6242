#pragma once

#include "processing/nucleo/Bilancio.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
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
    struct Arrivo {
        std::uint64_t hash;
        const char* dati;
        std::size_t lunghezza;
    };
    struct alignas(64) Coda {
        Arrivo* arrivi = nullptr;
        std::size_t quante = 0;
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
};

}  // namespace nucleo
