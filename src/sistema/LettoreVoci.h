#pragma once

#include "testo/Codifica.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>


namespace sistema {

// Sequential input of a text file, in pieces: the file is read from start to
// end, whatever size it reports, a piece at a time, each piece ending where
// a field ends, so the pieces can be split into items on their own (see
// testo::CampiTesto) and a file of any size goes through a buffer of bounded size.
//
// Only regular files are read: a folder, a FIFO or a device raises a
// run-time error instead of blocking or reading forever.
//
// The file's encoding comes from its first bytes (see testo::Codifica): a
// byte-order mark is not part of the text, and UTF-16 is decoded, so the
// pieces are always bytes of the file or UTF-8. codifica() tells how to
// write the items back.
//
// A large file's pieces are views of the file itself, mapped a piece at a
// time, not copies: the file's bytes are in the system's cache already.
// Should the file shrink under a piece meanwhile, the bytes it lost read as
// zeros instead of ending the process, and the run fails with an I/O error
// (the next piece, or verifica(), raises it). That takes the process's
// SIGBUS handler, gestoreFinestre (Processo.h), which preparaProcesso() installs at
// start; where another one is in place, the pieces are read into buffers.
//
// The reader owns the bytes its pieces view, so it can be neither copied
// nor moved.

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

    testo::Codifica codifica() const noexcept;

    // The size the file reports when opened: only a guess of how much there
    // is to read.
    std::uint64_t dimensioneDichiarata() const noexcept;

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
    void pezziFiniti() noexcept;

    // The memory the reader's buffers take now.
    std::size_t memoriaInUso() const noexcept;

    // Raises the file's I/O error if the file shrank under a piece that
    // viewed it: the caller checks so once it is done with the last piece.
    void verifica();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sistema
