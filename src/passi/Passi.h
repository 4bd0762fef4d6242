#pragma once

#include "testo/Codifica.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace sistema { class LettoreVoci; }
namespace nucleo { class Bilancio; class Deduplica; class Squadra; }

// The steps of the duplicate-removal run, shared by EliminaDuplicati, the
// benchmark and the tests so that all run exactly the same code. None of
// them touches the user interface.
namespace passi {

// How a run may use the machine. Zero means "as measured": the memory this
// process may still take and the processors it may use. The benchmark and
// the tests set them to force the paths a small file would never take.
struct Opzioni {
    std::size_t memoria = 0;
    unsigned fili = 0;
    unsigned fanIn = 0;        // runs merged at once (64)
    std::filesystem::path cartellaCorse;  // where runs go ("": the data folder, or a temporary folder on disk)
    std::size_t blocco = 0;    // bytes of lines each thread makes at a time (1 MiB)
    std::size_t corseAperte = 0;  // runs open at once (as the descriptors allow)
};

// The options of the program's own runs (all measured unless a test child
// sets them).
Opzioni& opzioniProgramma();

// One run's items: read, deduplicated, and sorted when asked.
class Esecuzione {
public:
    explicit Esecuzione(const Opzioni& opzioni = opzioniProgramma());
    ~Esecuzione();
    Esecuzione(const Esecuzione&) = delete;
    Esecuzione& operator=(const Esecuzione&) = delete;

    // Reads every item of `sorgente`, skipping empty fields and storing the
    // others without leading and trailing spaces (so an item of spaces only
    // is kept, as ""), and keeps each distinct item once. A file that does
    // not fit in memory goes through sorted runs in temporary files, merged
    // before this returns, so the counts are exact afterwards.
    void leggi(sistema::LettoreVoci& sorgente);

    std::int64_t totale() const noexcept;
    std::int64_t uniche() const noexcept;
    std::size_t corseScritte() const noexcept;
    unsigned fili() const noexcept;
    std::size_t memoria() const noexcept { return memoria_; }  // the allowance the run had

    // Sorts the kept items; righe() does it when it has not been done.
    void ordina();

    // The most memory the run's blocks took at once, as its budget counted
    // them.
    std::size_t memoriaMassima() const noexcept;

    // Reserves on the budget the memory that the copy, in `codifica`, takes
    // where its file system keeps it in memory, after writing the items
    // kept in memory to a run if that makes room; where it cannot fit, the
    // disk is full for it (the run-time error 61), and nothing is written.
    void riservaCopia(testo::Codifica codifica, const std::filesystem::path& percorso);

    // Each kept item once, in ascending binary order, each followed by
    // CR LF, given in order in blocks that end at a line end or (for a
    // line too long to be copied) at the end of its item. The blocks come
    // one call at a time, in order, on any of the run's threads.
    void righe(const std::function<void(std::string_view)>& blocco);

private:
    // Starts the team, measures the budget and makes the core; returns the
    // size of a piece.
    std::size_t prepara(std::uint64_t dichiarata);
    void righeDaCorsa(std::size_t byteBlocco, const std::function<void(std::string_view)>& blocco);
    void righeDaMemoria(std::size_t byteBlocco, const std::function<void(std::string_view)>& blocco);

    Opzioni opzioni_;
    std::size_t memoria_ = 0;
    std::unique_ptr<nucleo::Squadra> squadra_;
    std::unique_ptr<nucleo::Bilancio> bilancio_;
    std::unique_ptr<nucleo::Deduplica> deduplica_;
};

// Where the copy of `sorgente` goes: "NEW - " plus its upper-cased name, in
// the data folder, wherever the source lies.
std::filesystem::path percorsoCopia(const std::filesystem::path& sorgente);

// Writes the kept items in order, one per line, each ended by CR LF, in the
// source's encoding and with its byte-order mark; replaces `percorso` only
// once complete. The copy lends no one the right to read that `sorgente`
// withholds.
void scriviCopia(const std::filesystem::path& percorso, Esecuzione& righe, testo::Codifica codifica,
                 const std::filesystem::path& sorgente = {});

}  // namespace passi
