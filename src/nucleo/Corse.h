#pragma once

#include "nucleo/Bilancio.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

// Sorted runs: the distinct items of part of a file, in ascending binary
// order, kept in temporary storage when the whole file does not fit in
// memory, and merged back into one sorted list of distinct items.
namespace nucleo {

// Where a run's bytes go: in the program, an unnamed temporary file. The
// core only appends and reads back at given offsets.
class Supporto {
public:
    virtual ~Supporto() = default;
    virtual void scrivi(const char* dati, std::size_t n) = 0;
    // Up to `n` bytes from offset `da`; fewer only at the end.
    virtual std::size_t leggi(std::uint64_t da, char* dati, std::size_t n) = 0;
};

using NuovoSupporto = std::function<std::unique_ptr<Supporto>()>;

// A finished run: its storage and how many items it holds.
struct Corsa {
    std::unique_ptr<Supporto> supporto;
    std::uint64_t voci = 0;
    std::uint64_t byte = 0;
    std::uint64_t testo = 0;    // the bytes of its items, without their lengths
    std::uint64_t massima = 0;  // its longest item, which reading it back holds whole
    unsigned livello = 0;  // how many merges its items went through
};

// Where the header of an item of `n` bytes and its bytes may stand: what
// reading a run back needs in one buffer to hold that item.
std::size_t byteVoceInCorsa(std::uint64_t n) noexcept;

// Writes a run: each item as its length (7 bits a byte, low bits first)
// followed by its bytes, gathered in a buffer of `memoria` bytes (reserved
// on `bilancio` while the run is written; an item that does not fit in it
// goes out where it lies).
class ScritturaCorsa {
public:
    ScritturaCorsa(std::unique_ptr<Supporto> supporto, std::size_t memoria, Bilancio& bilancio);
    void aggiungi(std::string_view voce);
    Corsa chiudi();

private:
    void svuota();

    Corsa corsa_;
    Prenotazione prenotata_;
    std::vector<char> buffer_;
    std::size_t usati_ = 0;
};

// Reads a run's items back in order, through a buffer of about `memoria`
// bytes; an item larger than that gets a buffer of its own size, given back
// once the item has passed. The buffers are reserved on `bilancio`: the
// caller makes room for the run's longest item before it reads (see
// Corsa::massima).
class LetturaCorsa {
public:
    LetturaCorsa(Supporto& supporto, std::uint64_t byte, std::size_t memoria, Bilancio& bilancio);

    // Moves to the next item; false at the end of the run. The item is
    // valid until the next call.
    bool avanza();
    std::string_view voce() const noexcept { return voce_; }

private:
    bool riempi(std::size_t servono);
    // Back to a buffer of the usual size after a long item.
    void restituisci();
    // The bytes not yet used moved to the start of a new buffer of n bytes,
    // reserved on the budget; the old buffer and its reservation given back.
    void nuovoBuffer(std::size_t n);

    Supporto& supporto_;
    std::uint64_t letti_ = 0;  // bytes of the run taken into the buffer
    std::uint64_t byte_;
    std::size_t memoria_;      // the usual buffer's size
    Bilancio* bilancio_;
    Prenotazione prenotata_;
    std::vector<char> buffer_;
    std::size_t inizio_ = 0;
    std::size_t fine_ = 0;
    std::string_view voce_;
};

// Merges sorted runs, handing each distinct item to `uscita` once, in
// ascending binary order; returns how many it handed over. Each run is
// read through a buffer of `memoriaPerCorsa` bytes, reserved on `bilancio`.
std::uint64_t unisciCorse(const std::vector<Corsa>& corse, std::size_t memoriaPerCorsa, Bilancio& bilancio,
                          const std::function<void(std::string_view)>& uscita);

}  // namespace nucleo
