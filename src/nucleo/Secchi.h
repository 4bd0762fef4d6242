#pragma once

#include "Verifica.h"
#include "Voci.h"

#include "nucleo/Bilancio.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nucleo {

// The short items of one part (up to sixteen bytes, so that an item is its
// keys and its length and nothing else), kept so that the work on them
// happens in the processor's cache rather than across a table far larger
// than it.
//
// Items are appended to buckets as they come, repeats and all: writing in
// sequence costs little, where checking each against a large table costs a
// cache miss. The buckets are the leaves of a burst trie: the root and
// every inner node send an item to a child by one byte of its keys (the
// node's depth), so the buckets read in the trie's order hold increasing
// ranges of keys. A bucket that reaches the size the cache can work on is
// deduplicated there (a small hash set over its items), and when it is
// still half that size it bursts into a node whose children split it by
// its next byte. At the end every bucket is deduplicated and sorted in the
// cache, and the buckets in order are the part's items in order.
//
// Buckets are chains of fixed-size chunks from blocks of the run's budget;
// a chunk freed by a bucket goes to the next one that needs it, and after a
// run is written all of them are used again, so that no page is faulted in
// twice.
class Secchi {
public:
    // `soglia`: the items a bucket may reach before it is worked on (a
    // size the cache holds).
    Secchi(Bilancio& bilancio, std::size_t soglia);
    ~Secchi();
    Secchi(const Secchi&) = delete;
    Secchi& operator=(const Secchi&) = delete;

    // Keeps the item for now. False when the budget has no room for it
    // (nothing is kept then); `comunque` takes it whatever the budget.
    bool aggiungi(const Voce& v, bool comunque)
    {
        // An item of up to sixteen bytes: its length word is its length alone.
        FENDRIX_VERIFICA((v.resto & Voce::mascheraIndirizzo) == 0 && (v.resto >> 48) <= byteChiave);
        for (;;) {
            const std::uint32_t s = trova(v);
            Secchio& secchio = secchi_[s];
            if (secchio.coda != secchio.fineCoda) [[likely]] {
                *secchio.coda++ = v;
                ++secchio.quante;
                secchio.stato = grezzo;
                ++grezzi_;
                vuoti_ = false;
                return true;
            }
            if (!spazio(s, comunque))
                return false;
        }
    }

    bool vuoti() const noexcept { return vuoti_; }

    // Deduplicates and sorts every bucket: from then on, until svuota(),
    // quante() is exact and tratti() gives the items in order.
    void ordina();
    std::size_t quante() const noexcept;
    // Appends the sorted stretches of items, in ascending order.
    void tratti(std::vector<Tratto>& in) const;

    void svuota() noexcept;     // empty, the memory kept for what comes next
    void restringi() noexcept;  // empty, the memory given back

    static constexpr std::size_t vociPezzo = 682;  // items in a 16 KiB chunk

private:
    static constexpr std::uint32_t assente = 0xFFFFFFFFu;  // no child yet
    static constexpr std::uint32_t nodo = 0x80000000u;     // a child that is a node
    // What a bucket's items are: sorted and without repeats; without
    // repeats; as they came.
    static constexpr unsigned char ordinato = 0, compatto = 1, grezzo = 2;

    struct Secchio {
        std::vector<Voce*> pezzi;  // all full but the last
        std::size_t quante = 0;
        Voce* coda = nullptr;      // the next free slot of the last chunk
        Voce* fineCoda = nullptr;
        std::uint32_t padre = assente;   // the node that points here (assente: the root)
        unsigned byte = 0;               // its depth: the key byte a burst splits it by
        unsigned figlio = 0;             // which of the parent's children it is
        unsigned char stato = ordinato;
    };
    struct Nodo {
        unsigned byte;
        std::uint32_t figli[256];
    };

    std::uint32_t trova(const Voce& v)
    {
        std::uint32_t s = radice_;
        while (s & nodo) {
            const std::uint32_t i = s & ~nodo;
            const unsigned c = byteDi(v, nodi_[i].byte);
            s = nodi_[i].figli[c];
            if (s == assente) [[unlikely]] {
                s = nuovoSecchio(i, nodi_[i].byte + 1, c);
                nodi_[i].figli[c] = s;
            }
        }
        return s;
    }

    std::uint32_t nuovoSecchio(std::uint32_t padre, unsigned byte, unsigned figlio);
    bool spazio(std::uint32_t s, bool comunque);
    Voce* prendiPezzo(bool comunque);
    bool nuovoBlocco(bool comunque);
    std::size_t raccogli(Secchio& s);          // into the scratch, returns how many
    std::size_t deduplica(std::size_t n);      // in the scratch
    void riponi(Secchio& s, std::size_t n);    // from the scratch, chunks beyond given back
    void chiudi(Secchio& s, std::size_t n);    // n items are in its chunks: the rest given back
    bool ordinaCompatte(Secchio& s, std::size_t n);  // from the scratch, false where it cannot
    bool scoppia(std::uint32_t s, std::size_t n);
    void lavoro();                             // the scratch, taken when first needed
    std::size_t massimo() const noexcept { return soglia_ + vociPezzo; }  // the items a bucket may hold
    void visita(std::uint32_t s, std::vector<std::uint32_t>& ordine) const;
    void compattaTutti();

    Bilancio& bilancio_;
    std::size_t soglia_;
    std::vector<Secchio> secchi_;
    std::vector<Nodo> nodi_;
    std::uint32_t radice_ = 0;
    bool vuoti_ = true;
    std::size_t grezzi_ = 0;         // items taken since all buckets last dropped their repeats
    bool stretteInutili_ = false;    // that last time freed little

    struct Area {  // a block of chunks taken from the budget
        void* dati;
        std::size_t byte;
    };
    std::vector<Area> blocchi_;
    std::vector<Voce*> liberi_;   // free chunks (room for all of them reserved)
    std::size_t pezzi_ = 0;       // all the chunks
    std::size_t prossimoBlocco_ = std::size_t{64} << 10;

    Voce* lavoro_ = nullptr;      // the scratch: items, then the hash set's slots
    std::size_t byteLavoro_ = 0;
};

}  // namespace nucleo
