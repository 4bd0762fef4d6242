#include "Lettore.h"

#include "sistema/LettoreVoci.h"
#include "testo/Codifica.h"

#include <algorithm>
#include <system_error>

namespace passi {

Lettore::Lettore(sistema::LettoreVoci& sorgente, nucleo::Bilancio& bilancio, std::size_t pezzo,
                 std::function<void()> faiSpazio)
    : sorgente_(sorgente),
      bilancio_(bilancio),
      pezzo_(pezzo),
      normale_(2 * pezzo),
      utf16_(testo::inUtf16(sorgente.codifica())),
      faiSpazio_(std::move(faiSpazio))
{
    // The reader's two buffers of a piece each are the budget's first
    // share. Decoded UTF-16 needs as much again for the bytes being decoded.
    riserva_.impegna(&bilancio_, (utf16_ ? 4 : 2) * normale_);
}

std::string_view Lettore::primo()
{
    bool oltre = false;
    const std::string_view testo = sorgente_.prossimoPezzo(pezzo_, normale_, &oltre);
    return letto(testo, oltre);
}

std::future<std::string_view> Lettore::anticipa(std::string_view attuale, unsigned fili)
{
    // A piece that holds a long field is followed by one read after it, so
    // that its buffer is given back before the next one fills.
    if (fili <= 1 || attuale.size() > normale_)
        return {};
    try {
        return std::async(std::launch::async, [this] { return sorgente_.prossimoPezzo(pezzo_, normale_, &oltre_); });
    } catch (const std::system_error&) {
        return {};
    }
}

std::string_view Lettore::seguente(std::future<std::string_view>& anticipato)
{
    if (anticipato.valid()) {
        const std::string_view testo = anticipato.get();
        const bool oltre = oltre_;
        oltre_ = false;
        return letto(testo, oltre);
    }
    sorgente_.pezziFiniti();
    bool oltre = false;
    const std::string_view testo = sorgente_.prossimoPezzo(pezzo_, normale_, &oltre);
    // The long field's buffer has just been given back: so is its room.
    if (ultimoLungo_)
        aggiorna();
    return letto(testo, oltre);
}

std::string_view Lettore::letto(std::string_view testo, bool oltre)
{
    if (oltre) {
        testo = lungo();
        aggiorna();
    }
    ultimoLungo_ = testo.size() > normale_;
    return testo;
}

std::string_view Lettore::lungo()
{
    // The reader's buffer and the part's copy of the item take as much
    // each, so the field may take half of what is left beside the reader's
    // other buffer, after the kept items have gone to a run if need be.
    // One field of up to 1 MiB, with its line end, is always allowed,
    // however small a budget a test sets.
    for (int tentativo = 0;; ++tentativo) {
        const std::size_t altro = 2 * normale_;
        const std::size_t totale = bilancio_.liberi() + riserva_.byte();
        std::size_t massimo = totale > altro ? (totale - altro) / 2 : 0;
        const std::size_t minimo = std::max(normale_, (std::size_t{1} << 20) + (std::size_t{64} << 10));
        // Past the budget only for the least always allowed, and only once
        // the kept items have made what room they can.
        if (massimo < minimo && tentativo == 0) {
            faiSpazio_();
            continue;
        }
        massimo = std::max(massimo, minimo);
        riserva_.impegna(&bilancio_, massimo + altro);
        sorgente_.pezziFiniti();
        bool oltre = false;
        const std::string_view testo = sorgente_.prossimoPezzo(pezzo_, massimo, tentativo == 0 ? &oltre : nullptr);
        if (!oltre)
            return testo;
        faiSpazio_();
    }
}

void Lettore::aggiorna()
{
    riserva_.impegna(&bilancio_, std::max((utf16_ ? 4 : 2) * normale_, sorgente_.memoriaInUso()));
}

void Lettore::concludi()
{
    sorgente_.verifica();
    riserva_.azzera();
}

}  // namespace passi
