#include "nucleo/Corse.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace nucleo {

namespace {

constexpr std::size_t bufferMinimo = 64;
constexpr std::size_t lunghezzaMassimaCodificata = 10;  // 64 bits, 7 a byte

}  // namespace

std::size_t byteVoceInCorsa(std::uint64_t n) noexcept
{
    return static_cast<std::size_t>(n) + lunghezzaMassimaCodificata;
}

// ------------------------------------------------------------------ write --

ScritturaCorsa::ScritturaCorsa(std::unique_ptr<Supporto> supporto, std::size_t memoria, Bilancio& bilancio)
{
    memoria = std::max(memoria, bufferMinimo);
    prenotata_.impegna(&bilancio, Bilancio::costo(memoria));
    buffer_.resize(memoria);
    corsa_.supporto = std::move(supporto);
}

void ScritturaCorsa::svuota()
{
    if (usati_ == 0)
        return;
    corsa_.supporto->scrivi(buffer_.data(), usati_);
    corsa_.byte += usati_;
    usati_ = 0;
}

void ScritturaCorsa::aggiungi(std::string_view voce)
{
    if (buffer_.size() - usati_ < lunghezzaMassimaCodificata + voce.size())
        svuota();
    std::uint64_t n = voce.size();
    char testa[lunghezzaMassimaCodificata];
    std::size_t t = 0;
    do {
        const auto byte = static_cast<unsigned char>(n & 0x7F);
        n >>= 7;
        testa[t++] = static_cast<char>(n != 0 ? byte | 0x80 : byte);
    } while (n != 0);
    std::memcpy(buffer_.data() + usati_, testa, t);
    usati_ += t;
    if (voce.size() > buffer_.size() - usati_) {
        svuota();
        corsa_.supporto->scrivi(voce.data(), voce.size());
        corsa_.byte += voce.size();
    } else if (!voce.empty()) {
        std::memcpy(buffer_.data() + usati_, voce.data(), voce.size());
        usati_ += voce.size();
    }
    ++corsa_.voci;
    corsa_.testo += voce.size();
    corsa_.massima = std::max<std::uint64_t>(corsa_.massima, voce.size());
}

Corsa ScritturaCorsa::chiudi()
{
    svuota();
    buffer_ = {};
    prenotata_.azzera();
    return std::move(corsa_);
}

// ------------------------------------------------------------------- read --

LetturaCorsa::LetturaCorsa(Supporto& supporto, std::uint64_t byte, std::size_t memoria, Bilancio& bilancio)
    : supporto_(supporto), byte_(byte), memoria_(std::max(memoria, bufferMinimo)), bilancio_(&bilancio)
{
    prenotata_.impegna(bilancio_, Bilancio::costo(memoria_));
    buffer_.resize(memoria_);
}

void LetturaCorsa::restituisci()
{
    if (fine_ - inizio_ <= memoria_)
        nuovoBuffer(memoria_);
}

void LetturaCorsa::nuovoBuffer(std::size_t n)
{
    const std::size_t presenti = fine_ - inizio_;
    Prenotazione nuova;
    nuova.impegna(bilancio_, Bilancio::costo(n));
    std::vector<char> nuovo(n);
    std::memcpy(nuovo.data(), buffer_.data() + inizio_, presenti);
    buffer_ = std::move(nuovo);
    prenotata_ = std::move(nuova);
    inizio_ = 0;
    fine_ = presenti;
}

bool LetturaCorsa::riempi(std::size_t servono)
{
    // Keeps the bytes not yet used and reads after them until `servono`
    // bytes are there or the run ends.
    if (servono > buffer_.size()) {
        // A long item: its own buffer, the old one given back once its
        // bytes have moved. The caller made room for the run's longest
        // item before reading it.
        nuovoBuffer(servono);
    } else if (inizio_ != 0) {
        const std::size_t presenti = fine_ - inizio_;
        std::memmove(buffer_.data(), buffer_.data() + inizio_, presenti);
        inizio_ = 0;
        fine_ = presenti;
    }
    while (fine_ < servono && letti_ < byte_) {
        const auto voglio = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer_.size() - fine_, byte_ - letti_));
        const std::size_t n = supporto_.leggi(letti_, buffer_.data() + fine_, voglio);
        if (n == 0)
            throw std::runtime_error("a run ended before its end");
        fine_ += n;
        letti_ += n;
    }
    return fine_ >= servono;
}

bool LetturaCorsa::avanza()
{
    // The item before this one has passed: a buffer it made large goes.
    if (buffer_.size() > memoria_)
        restituisci();
    if (inizio_ == fine_ && letti_ == byte_)
        return false;
    if (fine_ - inizio_ < lunghezzaMassimaCodificata)
        riempi(std::min<std::uint64_t>(lunghezzaMassimaCodificata, fine_ - inizio_ + (byte_ - letti_)));
    std::uint64_t n = 0;
    int spostamento = 0;
    for (;;) {
        if (inizio_ == fine_ || spostamento > 63)
            throw std::runtime_error("a damaged run");
        const auto byte = static_cast<unsigned char>(buffer_[inizio_++]);
        n |= std::uint64_t{byte & 0x7Fu} << spostamento;
        spostamento += 7;
        if ((byte & 0x80) == 0)
            break;
    }
    if (fine_ - inizio_ < n && !riempi(static_cast<std::size_t>(n)))
        throw std::runtime_error("a run ended before its end");
    voce_ = std::string_view(buffer_.data() + inizio_, static_cast<std::size_t>(n));
    inizio_ += static_cast<std::size_t>(n);
    return true;
}

// ------------------------------------------------------------------ merge --

std::uint64_t unisciCorse(const std::vector<Corsa>& corse, std::size_t memoriaPerCorsa, Bilancio& bilancio,
                          const std::function<void(std::string_view)>& uscita)
{
    std::vector<LetturaCorsa> letture;
    letture.reserve(corse.size());
    for (const Corsa& c : corse)
        letture.emplace_back(*c.supporto, c.byte, memoriaPerCorsa, bilancio);

    // A heap of the runs by their current item, the least on top.
    std::vector<LetturaCorsa*> mucchio;
    for (auto& l : letture)
        if (l.avanza())
            mucchio.push_back(&l);
    const auto maggiore = [](const LetturaCorsa* a, const LetturaCorsa* b) { return a->voce() > b->voce(); };
    std::make_heap(mucchio.begin(), mucchio.end(), maggiore);

    // Each run holds an item once, so a repeat can only come from another
    // run, and all its repeats are on top of the heap together: they are
    // skipped while the item handed over is still in its run's buffer, so
    // no item is ever copied to be recognised.
    const auto prossima = [&](LetturaCorsa* l) {
        if (l->avanza())
            std::push_heap(mucchio.begin(), mucchio.end(), maggiore);
        else
            mucchio.pop_back();
    };
    std::uint64_t date = 0;
    while (!mucchio.empty()) {
        std::pop_heap(mucchio.begin(), mucchio.end(), maggiore);
        LetturaCorsa* l = mucchio.back();
        mucchio.pop_back();
        while (!mucchio.empty() && mucchio.front()->voce() == l->voce()) {
            std::pop_heap(mucchio.begin(), mucchio.end(), maggiore);
            prossima(mucchio.back());
        }
        uscita(l->voce());
        ++date;
        mucchio.push_back(l);
        prossima(l);
    }
    return date;
}

}  // namespace nucleo
