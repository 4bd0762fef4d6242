#pragma once

#include "nucleo/Bilancio.h"

#include <cstddef>
#include <functional>
#include <future>
#include <string_view>

namespace sistema { class LettoreVoci; }

namespace passi {

// The run's reader: the source's reader with the room the budget gave it.
// It holds one reservation of the budget, which it sets and grows itself,
// so the run takes its pieces one after the other without asking the
// budget anything between them.
//
// A piece is of about `pezzo` bytes and ends where a field ends. A field
// longer than the reader's usual room is read on its own, with room taken
// from the budget (after `faiSpazio` has made some, if it must), given back
// once the next piece is read.
class Lettore {
public:
    Lettore(sistema::LettoreVoci& sorgente, nucleo::Bilancio& bilancio, std::size_t pezzo,
            std::function<void()> faiSpazio);
    Lettore(const Lettore&) = delete;
    Lettore& operator=(const Lettore&) = delete;

    bool utf16() const noexcept { return utf16_; }
    // The most a piece of the usual kind holds.
    std::size_t normale() const noexcept { return normale_; }

    // The first piece; "" for a file without any.
    std::string_view primo();

    // Reads the piece after `attuale` on a thread of its own while the
    // caller works on `attuale`; nothing (an invalid future) where that
    // cannot be: with one thread, after a long field, or where no thread
    // can be had. The piece read so is not yet usable: seguente() gives it.
    std::future<std::string_view> anticipa(std::string_view attuale, unsigned fili);

    // The piece after the last one, once the caller is done with it: the
    // one anticipa() read, if it did; "" at the end of the file.
    std::string_view seguente(std::future<std::string_view>& anticipato);

    // The file must not have shrunk under the pieces, which were in use
    // until now; the reservation goes back to the budget.
    void concludi();

private:
    std::string_view letto(std::string_view testo, bool oltre);
    std::string_view lungo();
    void aggiorna();

    sistema::LettoreVoci& sorgente_;
    nucleo::Bilancio& bilancio_;
    std::size_t pezzo_;
    std::size_t normale_;      // a piece may grow to twice its size before a field ends in it
    bool utf16_;
    std::function<void()> faiSpazio_;
    nucleo::Prenotazione riserva_;
    bool oltre_ = false;       // the piece read ahead holds a field longer than the room
    bool ultimoLungo_ = false; // the last piece handed out held a long field
};

}  // namespace passi
