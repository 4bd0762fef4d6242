#pragma once

// The Linux reader behind LettoreVoci: its file, its buffers and the
// mapped windows of its pieces.
#include "sistema/LettoreVoci.h"

#include "Descrittore.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sistema {

class LettoreVoci::Impl {
public:
    explicit Impl(const std::filesystem::path& percorso);
    explicit Impl(DaByte byte);
    ~Impl();
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    testo::Codifica codifica() const noexcept { return codifica_; }
    std::uint64_t dimensioneDichiarata() const noexcept { return dichiarata_; }
    std::string_view prossimoPezzo(std::size_t quanto, std::size_t massimo, bool* oltre);
    void pezziFiniti() noexcept { finiti_ = true; }
    std::size_t memoriaInUso() const noexcept;
    void verifica();

private:
    // A piece of a large file that views the file's mapping, or of a reader
    // of bytes that views them; "" where the piece must be read into the
    // buffer instead (a field longer than the piece, UTF-16, the end).
    std::string_view pezzoDiretto(std::size_t quanto, std::size_t massimo);
    // Unmaps the windows of pieces the caller may no longer use.
    void rilasciaFinestre(bool tutte) noexcept;

    void apri();                                  // reads the mark
    std::size_t leggiGrezzi(char* dove, std::size_t n);  // fewer than n at the end
    void riempi(std::size_t fino);                // text up to `fino` bytes
    void riempiUtf16(std::size_t manca);          // one turn of reading and decoding UTF-16
    void riserva(std::size_t capienza, std::size_t massimo);
    bool compatta();                              // squeezes the spaces of a long field
    bool risolviSpazi(std::size_t massimo);       // the counted spaces, once bytes follow them

    std::filesystem::path percorso_;
    Descrittore file_;             // none for a reader of bytes
    std::string_view memoria_;     // the bytes, for a reader of bytes
    std::uint64_t posizione_ = 0;  // raw bytes read so far
    std::uint64_t dichiarata_ = 0;
    bool finito_ = false;          // no more raw bytes
    testo::Codifica codifica_ = testo::Codifica::Byte;

    // The text: bytes, or UTF-8 for UTF-16, in a mapping of its own.
    struct Mappa {
        char* dati = nullptr;
        std::size_t byte = 0;
        Mappa() = default;
        Mappa(const Mappa&) = delete;
        Mappa& operator=(const Mappa&) = delete;
        ~Mappa();
    };
    // Two, used in turn: a piece stays valid while the next one is read.
    Mappa testi_[2];
    Mappa* testo_ = &testi_[0];
    static void liberaGrande(Mappa& mappa, std::size_t serve) noexcept;
    std::size_t presenti_ = 0;       // bytes of text in the buffer
    std::size_t consumati_ = 0;      // of which already handed out
    std::size_t spaziSospesi_ = 0;   // trailing spaces counted, not in the buffer,
    std::size_t posSospesi_ = 0;     // which belong at this offset
    bool finiti_ = false;
    std::string grezzi_;             // UTF-16 bytes not yet decoded
    std::string decodificati_;

    // The mapped windows of the last two pieces that viewed the file: a
    // piece stays valid until the call after next.
    struct Finestra {
        char* base = nullptr;
        std::size_t byte = 0;
        int posto = -1;              // where the signal handler finds it
        unsigned long chiamata = 0;  // the call that handed it out
    };
    Finestra finestre_[2];
    void chiudi(Finestra& f) noexcept;   // unmaps it, noting whether the file shrank under it
    unsigned long chiamate_ = 0;
    bool troncato_ = false;          // the file shrank under a window
    std::uint64_t visto_ = 0;        // the end of the last piece that viewed the file
};

}  // namespace sistema
