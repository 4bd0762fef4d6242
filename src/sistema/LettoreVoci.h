#pragma once

#include "sistema/posix/Descrittore.h"
#include "testo/Codifica.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <csignal>

namespace host {

// Sequential input of a text file, in pieces: the file is read from start to
// end, whatever size it reports, a piece at a time, each piece ending where
// a field ends, so the pieces can be split into items on their own (see
// CampiTesto) and a file of any size goes through a buffer of bounded size.
//
// Only regular files are read: a folder, a FIFO or a device raises a
// run-time error instead of blocking or reading forever.
//
// The file's encoding comes from its first bytes (see Codifica): a
// byte-order mark is not part of the text, and UTF-16 is decoded, so the
// pieces are always bytes of the file or UTF-8. codifica() tells how to
// write the items back.
//
// A large file's pieces are views of the file itself, mapped a piece at a
// time, not copies: the file's bytes are in the system's cache already.
// Should the file shrink under a piece meanwhile, the bytes it lost read as
// zeros instead of ending the process, and the run fails with an I/O error
// (the next piece, or verifica(), raises it). That takes the process's
// SIGBUS handler, gestoreFinestre, which preparaProcesso() installs at
// start; where another one is in place, the pieces are read into buffers.
//
// The reader owns the bytes its pieces view, so it can be neither copied
// nor moved.
// The SIGBUS handler of the mapped pieces, for preparaProcesso() only.
void gestoreFinestre(int segnale, siginfo_t* info, void* contesto);

class LettoreVoci {
public:
    explicit LettoreVoci(const std::filesystem::path& percorso);

    // A reader of `contenuto` as if it were a file's bytes; `contenuto` must
    // outlive the reader.
    struct DaByte {
        std::string_view contenuto;
    };
    explicit LettoreVoci(DaByte byte);

    ~LettoreVoci();
    LettoreVoci(const LettoreVoci&) = delete;
    LettoreVoci& operator=(const LettoreVoci&) = delete;

    Codifica codifica() const noexcept { return codifica_; }

    // The size the file reports when opened: only a guess of how much there
    // is to read.
    std::uint64_t dimensioneDichiarata() const noexcept { return dichiarata_; }

    // The next piece of text, of about `quanto` bytes, ending at a field end
    // (or at the end of the file); "" once everything is read. The piece
    // stays valid until the call after next, so the next one can be read
    // while this one is still in use. When one field (one line, for a
    // quote left open) does not fit in `massimo` bytes: with `oltre`, it
    // is set and "" comes back, and a later call with a larger `massimo`
    // goes on where this one stopped; without, the run is out of memory
    // (the run-time error 7).
    //
    // Spaces cost no room while a field is too long for the buffer: the
    // leading spaces of a field are dropped as they stream (one stays, so
    // a field of spaces only is still a field), and trailing ones are only
    // counted, written out when a byte other than a space follows them
    // within the field.
    std::string_view prossimoPezzo(std::size_t quanto, std::size_t massimo, bool* oltre = nullptr);

    // The caller is done with every piece handed out so far: the next call
    // gives back the memory of a buffer that a long field made large.
    void pezziFiniti() noexcept { finiti_ = true; }

    // The memory the reader's buffers take now.
    std::size_t memoriaInUso() const noexcept;

    // Raises the file's I/O error if the file shrank under a piece that
    // viewed it: the caller checks so once it is done with the last piece.
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
    Codifica codifica_ = Codifica::Byte;

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

}  // namespace host
