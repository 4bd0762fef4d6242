#pragma once

#include "nucleo/Bilancio.h"
#include "nucleo/Corse.h"
#include "nucleo/Immissione.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// The dedupe and sort core: the one place where items are compared. Items
// are byte strings compared in binary order (byte by byte as unsigned
// values, a proper prefix first), which for UTF-8 is code-point order. The
// core knows nothing of files or of the user interface, and it trusts
// nothing about its input: any bytes, any lengths, any number of items.
//
// Items arrive in rounds, each a piece of the file read by several threads
// at once. Each item goes to one of several parts by its hash (equal items
// always meet in the same part), and each part keeps its distinct items,
// one thread a part: an item of up to sixteen bytes lives in its keys
// alone, in buckets by key range that are deduplicated and sorted in the
// cache; a longer one is copied into a hash set. The text of the piece is
// not kept.
// Every block that grows with the items is reserved on the run's budget
// first; when a reservation fails, each part is sorted and all are written
// out as one sorted run, the parts start empty again and the step goes on
// where it stopped. At the end the runs are merged, dropping repeats across
// runs, so any file completes whatever its size.
namespace nucleo {

class Squadra;
struct Parte;
class Catena;

struct Regole {
    unsigned fanIn = 64;        // runs merged at once (at least 2)
    std::size_t corseAperte = 0;  // runs that may be open at once (0: no limit)
    std::size_t byteCache = std::size_t{2} << 20;  // the cache one thread works in
};

class Deduplica {
public:
    // Memory comes from `bilancio`; runs, when needed, go to storage made
    // by `nuovoSupporto`.
    Deduplica(Squadra& squadra, Bilancio& bilancio, Regole regole, NuovoSupporto nuovoSupporto);
    ~Deduplica();
    Deduplica(const Deduplica&) = delete;
    Deduplica& operator=(const Deduplica&) = delete;

    // One round: leggi(i, immissione) gives the items of the i-th of
    // `sezioni` pieces of text, `byte` bytes in all, at the same time on
    // the team's threads, and returns true once its piece is read to the
    // end; when it stops early (its lists are full) it is called again,
    // to go on where it stopped, once the items it gave are kept.
    void assimila(std::size_t sezioni, std::size_t byte,
                  const std::function<bool(std::size_t, Immissione&)>& leggi);

    // Gives back all the memory the kept items take, writing them to a run
    // first: for a step that needs more room than is left (a long item's
    // text being read).
    void faiSpazio();

    std::int64_t totale() const noexcept { return totale_; }

    // After the last round: merges the runs into one when there are any,
    // so that uniche() is exact.
    void concludi();
    std::int64_t uniche() const noexcept { return uniche_; }
    std::size_t corseScritte() const noexcept { return corseScritte_; }

    // After concludi(): sorts the items kept in memory (visita() does it
    // when it has not been done).
    void ordina();

    // After concludi(): the bytes of the distinct items, line ends not
    // counted.
    std::uint64_t byteVoci();

    // After concludi(): writes the items kept in memory as one run and
    // gives their memory back, for a step that needs it (the copy where
    // it takes memory itself). Nothing changes when runs were written.
    void versaInCorsa();

    // After concludi(): each distinct item once, in ascending binary order.
    // The view is valid during the call only.
    void visita(const std::function<void(std::string_view)>& f);

    // After concludi(), when no run was written: cuts the sorted items into
    // consecutive ranges of about `byte` bytes of lines each (at least
    // `almeno` ranges where there are that many items), and returns how
    // many ranges there are (0 with runs or no items). Sorts first if need
    // be.
    std::size_t dividi(std::size_t byte, std::size_t almeno);

    // An item of a range too long to be copied: its text, which goes at
    // `posizione` of the range's bytes.
    struct Inserto {
        std::size_t posizione;
        std::string_view voce;
    };

    // Writes the items of range i of dividi(), in ascending order, each
    // followed by `fine` (at most eight bytes), at the front of `uscita`
    // (made larger when needed, on the run's budget), and returns how many
    // bytes it wrote. The
    // text of items longer than 64 KiB is not copied: `lunghe` lists them,
    // in order, with where each goes (its line end is in `uscita`); the
    // views stay valid as long as the items are kept. Different ranges may
    // be written on different threads at once.
    std::size_t accoda(std::size_t i, std::string_view fine, Blocco& uscita, std::vector<Inserto>& lunghe) const;

private:
    // The round's lists, one a reader and a part, emptied and sized for
    // `byte` bytes of text read by `sezioni` readers.
    void apriImmissioni(std::size_t sezioni, std::size_t byte);
    void inserisci();  // the round's lists into the parts, writing runs as needed
    void riversa();    // writes the kept items as a run and empties the parts
    void scriviCorsa();  // the same, the parts already sorted
    void restringi();  // gives back the parts' empty tables
    bool vuote() const noexcept;  // no part holds an item
    void unisciUltime(std::size_t n);  // merges the last n runs into one
    // The buffer of each of `aperte` runs open at once (being read or
    // written), within what the budget has left.
    std::size_t bufferCorsa(std::size_t aperte);
    // How many of the `n` runs from `corse` on one merge takes, and the
    // buffer of each run it opens: their longest items, which reading
    // holds whole, and the buffers fit in what the budget has left; at
    // least two runs a merge.
    struct Piano {
        std::size_t quante;
        std::size_t buffer;
    };
    Piano piano(const Corsa* corse, std::size_t n);
    // Merges a group of runs into one, in as many passes as the budget needs.
    Corsa riduci(std::vector<Corsa> gruppo);
    Corsa unisciGruppo(std::vector<Corsa> entrano, std::size_t perCorsa);
    void ordinaParti();
    void unisciParti(const std::function<void(std::string_view)>& f);
    std::vector<Catena> catene() const;  // after ordinaParti(): the parts' sorted sequences

    Squadra& squadra_;
    Bilancio& bilancio_;
    Regole regole_;
    NuovoSupporto nuovoSupporto_;
    std::vector<std::unique_ptr<Parte>> parti_;
    std::vector<Immissione> immissioni_;
    std::vector<Corsa> corse_;
    std::size_t corseScritte_ = 0;
    std::vector<Catena> catene_;          // the sorted sequences dividi() cuts
    std::vector<std::size_t> confini_;    // where each range of dividi() starts in each sequence
    std::int64_t totale_ = 0;
    std::int64_t uniche_ = 0;
    bool ordinate_ = false;
};


}  // namespace nucleo
