#pragma once

#include "Voci.h"

#include "nucleo/Bilancio.h"
#include "nucleo/Immissione.h"
#include "Secchi.h"
#include "Verifica.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace nucleo {

// The slots of a hash table of items, all empty (every byte 0xFF, so an
// empty slot's length is the largest there is), in huge pages when large,
// on the run's budget.
class Tavola {
public:
    Tavola() = default;
    // A table of n slots, or an invalid one when the budget has no room
    // for it (or the system none); `comunque` takes it whatever the budget.
    Tavola(Bilancio& bilancio, std::size_t n, bool comunque) : bilancio_(&bilancio)
    {
        const std::size_t byte = n * sizeof(Voce);
        dati_ = static_cast<Voce*>(comunque ? bilancio.allocaComunque(byte) : bilancio.alloca(byte));
        if (dati_ == nullptr)
            return;
        quante_ = n;
        vuota();
    }
    Tavola(Tavola&& altra) noexcept
        : bilancio_(altra.bilancio_), dati_(std::exchange(altra.dati_, nullptr)), quante_(std::exchange(altra.quante_, 0))
    {
    }
    Tavola& operator=(Tavola&& altra) noexcept
    {
        std::swap(bilancio_, altra.bilancio_);
        std::swap(dati_, altra.dati_);
        std::swap(quante_, altra.quante_);
        return *this;
    }
    ~Tavola()
    {
        if (dati_ != nullptr)
            bilancio_->libera(dati_, quante_ * sizeof(Voce));
    }

    bool valida() const noexcept { return dati_ != nullptr; }
    void vuota() noexcept { std::memset(static_cast<void*>(dati_), 0xFF, quante_ * sizeof(Voce)); }
    Voce& operator[](std::size_t i) noexcept { return dati_[i]; }
    const Voce& operator[](std::size_t i) const noexcept { return dati_[i]; }
    std::size_t size() const noexcept { return quante_; }
    Voce* begin() noexcept { return dati_; }
    Voce* end() noexcept { return dati_ + quante_; }
    const Voce* begin() const noexcept { return dati_; }
    const Voce* end() const noexcept { return dati_ + quante_; }

private:
    Bilancio* bilancio_ = nullptr;
    Voce* dati_ = nullptr;
    std::size_t quante_ = 0;
};

// Where a part goes on taking the round's lists: the reader's list and the
// item in it.
struct Posizione {
    std::size_t sezione = 0;
    std::size_t arrivo = 0;
};

// The distinct items of one part, in an open-addressing hash table of the
// items themselves (linear probing, home slot from the top bits of the
// hash): checking an item reads one slot, and an item of up to sixteen
// bytes is settled there without following any pointer. The text of the
// long items is copied out of the file's text, once for each distinct item.
// When the table grows past what the cache holds and has only short items
// (which are their keys alone), they move to buckets that are worked on in
// the cache (Secchi), and the short items that come after go there too: a
// table that large costs a cache miss for every item. To sort,
// the table is packed to its front and sorted in place; after a run is
// written the part starts again in the same memory, so no page is faulted
// in twice. All of it is taken on the run's budget: when it has no room,
// the part refuses the item and the run writes what it holds first.
struct Parte {
    Parte(Bilancio& conto, std::size_t memoria, std::size_t soglia)
        : bilancio(conto), corte(conto, soglia), sogliaCorte(soglia)
    {
        byteTesto = std::clamp<std::size_t>(memoria / 64, 256, std::size_t{4} << 20);
        tavola = Tavola(bilancio, std::size_t{1} << bitMinimi, true);
        misura(bitMinimi);
    }
    ~Parte() { liberaTesti(); }

    Bilancio& bilancio;
    Secchi corte;  // the items of up to sixteen bytes, once they leave the table
    std::size_t sogliaCorte;
    bool corteNeiSecchi = false;
    std::size_t lungheInTavola = 0;
    // Set when even an empty part had no room for the next item: it takes
    // that one whatever the budget, so that the run always moves on (an
    // item the system cannot hold ends it as out of memory).
    bool comunque = false;

    void* alloca(std::size_t byte) { return comunque ? bilancio.allocaComunque(byte) : bilancio.alloca(byte); }

    // Moves the short items of a table without long ones to the buckets
    // once it holds `sogliaCorte` of them, where the budget has room.
    void passaAiSecchi();

    bool senzaVoci() const noexcept { return quante == 0 && corte.vuoti(); }

    // ------------------------------------------------------------ table --
    static constexpr std::uint64_t vuota = ~std::uint64_t{0};  // an empty slot (no address is that high)
    static constexpr int bitMinimi = 3;

    Tavola tavola;
    std::size_t maschera = 0;
    int spostamento = 0;
    std::size_t soglia = 0;
    std::size_t quante = 0;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento; }
    int bit() const noexcept { return 64 - spostamento; }

    void misura(int bit)
    {
        // A short item brings only the top 48 bits of its hash from the
        // reader: a larger table would place it by bits it lacks.
        FENDRIX_VERIFICA(bit <= 48 && tavola.size() == std::size_t{1} << bit);
        maschera = tavola.size() - 1;
        spostamento = 64 - bit;
        soglia = tavola.size() * 7 / 10;
    }

    // Makes the (empty) table large enough for `n` items where the budget
    // allows, or as large as it allows.
    void prepara(std::size_t n);

    // Twice the slots, the old table living on while the new one fills.
    bool raddoppia();

    void anticipa(std::uint64_t h) const noexcept { __builtin_prefetch(&tavola[casa(h)]); }

    // Keeps the item of up to sixteen bytes `v` (hash `h`) unless an equal
    // item is kept: its 24 bytes settle it. False when the budget has no
    // room for it.
    bool aggiungiBreve(const Voce& v, std::uint64_t h)
    {
        // Its length word is its length alone (so never the empty marker):
        // the same-item test compares the word whole.
        FENDRIX_VERIFICA((v.resto & Voce::mascheraIndirizzo) == 0 && (v.resto >> 48) <= byteChiave);
        if (quante >= soglia && !raddoppia())
            return false;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            Voce& cella = tavola[i];
            if (cella.resto == vuota) {
                cella = v;
                ++quante;
                return true;
            }
            if (stessaVoce(cella, v))
                return true;
        }
    }

    // Keeps the item `testo` of more than sixteen bytes unless an equal item
    // is kept. `v` holds its first key and its length word, and its second
    // key is its hash `h`: while a long item is in the table its second key
    // holds its hash instead of bytes 8 to 15 (which its text has anyway),
    // so a probe tells items apart by 64 bits of hash and doubling the table
    // never reads or hashes the text again. ordina() puts the bytes back.
    // False when the budget has no room for it (nothing is kept then).
    bool aggiungi(Voce v, std::uint64_t h, std::string_view testo)
    {
        if (quante >= soglia && !raddoppia())
            return false;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            Voce& cella = tavola[i];
            if (cella.resto == vuota) {
                const char* dove = copia(testo);
                if (dove == nullptr)
                    return false;
                // The text's address fits the 48 bits beside the length,
                // and the two give back the item's length and bytes.
                FENDRIX_VERIFICA((reinterpret_cast<std::uintptr_t>(dove) & ~Voce::mascheraIndirizzo) == 0);
                FENDRIX_VERIFICA((v.resto & Voce::mascheraIndirizzo) == 0 &&
                                 (v.resto >> 48) == std::min<std::uint64_t>(testo.size(), Voce::lunga));
                v.resto |= reinterpret_cast<std::uintptr_t>(dove);
                FENDRIX_VERIFICA(v.resto != vuota && v.lunghezza() == testo.size() && v.chiave[1] == h &&
                                 std::memcmp(v.dati(), testo.data(), testo.size()) == 0);
                cella = v;
                ++quante;
                ++lungheInTavola;
                return true;
            }
            // A short item's length word differs from a long one's.
            if (cella.chiave[0] != v.chiave[0] || cella.chiave[1] != h || (cella.resto >> 48) != (v.resto >> 48))
                continue;
            if (cella.lunghezza() == testo.size() &&
                std::memcmp(cella.dati() + 8, testo.data() + 8, testo.size() - 8) == 0)
                return true;
        }
    }

    // ------------------------------------------------- long items' text --
    // Whole, so that a long item is handed over as it is, never rebuilt.
    struct Testo {
        char* dati;
        std::size_t byte;
    };
    std::vector<Testo> testi;
    std::size_t byteTesto = 0;   // the size of a block of short items' text
    std::size_t byteTesti = 0;   // all the text blocks
    std::size_t liberi = 0;
    char* cursore = nullptr;

    char* nuovoBlocco(std::size_t n);
    void liberaTesti() noexcept;

    // Where the item's text now lies (a length that does not fit in the
    // item's 16 bits comes first, in 8 bytes), or nullptr when the budget
    // has no room for it.
    const char* copia(std::string_view testo)
    {
        if (testo.size() >= Voce::lunga) {
            const std::uint64_t n = testo.size();
            char* blocco = nuovoBlocco(sizeof n + testo.size());
            if (blocco == nullptr)
                return nullptr;
            std::memcpy(blocco, &n, sizeof n);
            std::memcpy(blocco + sizeof n, testo.data(), testo.size());
            return blocco;
        }
        if (testo.size() > liberi) {
            // An item larger than a block gets one of its own; the current
            // block stays in use for the next items.
            const std::size_t n = std::max(testo.size(), byteTesto);
            char* blocco = nuovoBlocco(n);
            if (blocco == nullptr)
                return nullptr;
            if (n != byteTesto) {
                std::memcpy(blocco, testo.data(), testo.size());
                return blocco;
            }
            cursore = blocco;
            liberi = n;
        }
        char* p = cursore;
        std::memcpy(p, testo.data(), testo.size());
        cursore += testo.size();
        liberi -= testo.size();
        return p;
    }

    // ----------------------------------------------------------- sorted --
    // Packs the long items to the front of the table and sorts them there,
    // and sorts the buckets: from then on until svuota() the part holds
    // distinte() items, in the sorted sequences catene() gives.
    void ordina();
    std::size_t distinte() const noexcept { return quante + corte.quante(); }
    void catene(std::vector<Catena>& in) const;
    std::size_t byteLunghe() const noexcept { return byteTesti; }

    // Empty again, in the same memory.
    void svuota();

    // Empty again, its table given back down to the least.
    void restringi();

    // Takes the items of the round's lists for part p from `da` on, in
    // blocks of two stages: the first computes the keys and fetches the
    // slots ahead, so that the cache misses of a whole block overlap
    // instead of following one another; the second decides. False when
    // the budget ran out: `da` is then the first item not taken.
    bool prendi(const std::vector<Immissione>& immissioni, std::size_t p, Posizione& da);

private:
    static constexpr std::size_t bloccoArrivi = 32;
    // Takes up to m items; false when the budget ran out, `presi` saying
    // how many it took.
    template <bool neiSecchi>
    bool prendiBlocco(const Immissione::Arrivo* a, std::size_t m, std::size_t& presi);
};

}  // namespace nucleo
