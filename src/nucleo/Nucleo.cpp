#include "nucleo/Nucleo.h"

#include "Parte.h"
#include "Voci.h"
#include "nucleo/Squadra.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <utility>

namespace nucleo {

Deduplica::Deduplica(Squadra& squadra, Bilancio& bilancio, Regole regole, NuovoSupporto nuovoSupporto)
    : squadra_(squadra), bilancio_(bilancio), regole_(regole), nuovoSupporto_(std::move(nuovoSupporto))
{
    // A merge holds its runs open and one more being written.
    regole_.fanIn = std::max(regole_.fanIn, 2u);
    if (regole_.corseAperte != 0) {
        regole_.corseAperte = std::max<std::size_t>(regole_.corseAperte, 3);
        regole_.fanIn = static_cast<unsigned>(std::min<std::size_t>(regole_.fanIn, regole_.corseAperte - 1));
    }
    // A bucket of short items is worked on when it holds an item for every
    // 16 bytes of the cache: its 24 bytes an item and as many again to sort
    // them pass the cache a little, but fewer, larger buckets measured
    // faster than buckets that fit it whole (each burst moves its items
    // once more). Less when the budget is small.
    const std::size_t n = squadra_.fili();
    const std::size_t soglia = std::min(regole_.byteCache / 16, bilancio_.limite() / n / 2048);
    for (std::size_t p = 0; p < n; ++p)
        parti_.push_back(std::make_unique<Parte>(bilancio_, bilancio_.limite() / n, soglia));
}

Deduplica::~Deduplica()
{
    for (auto& im : immissioni_)
        im.libera();
}

void Deduplica::assimila(std::size_t sezioni, std::size_t byte,
                         const std::function<bool(std::size_t, Immissione&)>& leggi)
{
    apriImmissioni(sezioni, byte);
    std::vector<char> finite(sezioni, 0);
    for (;;) {
        // The readers give items until their lists are full, then the parts
        // take them; a reader that stopped goes on in the next turn.
        squadra_.perOgni(sezioni, [&](std::size_t i) {
            Immissione& im = immissioni_[i];
            if (!finite[i] && im.riprendi())
                finite[i] = leggi(i, im) && !im.sospesa_;
        });
        for (std::size_t i = 0; i < sezioni; ++i)
            totale_ += immissioni_[i].quante_;
        inserisci();
        if (std::all_of(finite.begin(), finite.end(), [](char f) { return f != 0; }))
            break;
        for (auto& im : immissioni_)
            im.svuota();
    }
}

void Deduplica::apriImmissioni(std::size_t sezioni, std::size_t byte)
{
    if (immissioni_.size() < sezioni) {
        immissioni_.resize(sezioni);
        for (auto& im : immissioni_)
            im.bilancio_ = &bilancio_;
    }
    // Each list's room for the round: an item every 8 bytes, in whole huge
    // pages where the budget is large enough not to miss them.
    const std::size_t liste = std::max<std::size_t>(sezioni * parti_.size(), 1);
    std::size_t byteLista = byte / liste / 8 * sizeof(Immissione::Arrivo);
    if (inPagineGrandi(byteLista) * liste * 16 <= bilancio_.limite())
        byteLista = inPagineGrandi(byteLista);
    const std::size_t attese = byteLista / sizeof(Immissione::Arrivo);
    // The lists of every reader start empty (the parts read them all, and
    // a round may have fewer readers than one before).
    for (std::size_t i = 0; i < immissioni_.size(); ++i)
        immissioni_[i].dimensiona(parti_.size(), i < sezioni ? attese : 0);
}

void Deduplica::inserisci()
{
    const std::size_t P = parti_.size();
    std::vector<Posizione> da(P);
    std::vector<char> fermata(P, 0);
    std::vector<char> daFare(P, 1);
    bool ristrette = false;
    for (;;) {
        squadra_.perOgni(P, [&](std::size_t p) {
            if (daFare[p])
                fermata[p] = !parti_[p]->prendi(immissioni_, p, da[p]);
        });
        bool ferme = false;
        for (std::size_t p = 0; p < P; ++p) {
            daFare[p] = fermata[p];
            ferme = ferme || fermata[p];
        }
        if (!ferme)
            return;
        // The budget ran out: the kept items go to a run, and the parts go
        // on where they stopped. When there is nothing to write, the empty
        // tables are given back too; when even that leaves no room for one
        // item, each part that stopped takes its next item whatever the
        // budget (the reader held it whole already).
        if (!vuote()) {
            riversa();
            ristrette = false;
        } else if (!ristrette) {
            restringi();
            ristrette = true;
        } else {
            for (std::size_t p = 0; p < P; ++p)
                parti_[p]->comunque = fermata[p] != 0;
        }
    }
}

void Deduplica::faiSpazio()
{
    if (!vuote())
        riversa();
    restringi();
    // Between rounds the lists are empty: they start again from the least.
    for (auto& im : immissioni_)
        im.libera();
    immissioni_.clear();
}

bool Deduplica::vuote() const noexcept
{
    return std::all_of(parti_.begin(), parti_.end(), [](const auto& p) { return p->senzaVoci(); });
}

void Deduplica::restringi()
{
    for (auto& p : parti_)
        p->restringi();
}

std::size_t Deduplica::bufferCorsa(std::size_t aperte)
{
    // Up to 1 MiB each, from half of what the budget has left; when that
    // leaves less than 4 KiB a run, the parts' empty tables are given back
    // first (they fill again in the next round).
    constexpr std::size_t minimo = 4096;
    constexpr std::size_t massimo = std::size_t{1} << 20;
    const auto quanto = [&] { return bilancio_.liberi() / 2 / aperte; };
    if (quanto() < minimo) {
        if (vuote())
            restringi();
    }
    return std::clamp<std::size_t>(quanto(), minimo, massimo);
}

void Deduplica::ordinaParti()
{
    squadra_.perOgni(parti_.size(), [&](std::size_t p) { parti_[p]->ordina(); });
}

std::vector<Catena> Deduplica::catene() const
{
    std::vector<Catena> tutte;
    for (const auto& p : parti_)
        p->catene(tutte);
    return tutte;
}

void Deduplica::unisciParti(const std::function<void(std::string_view)>& f)
{
    const auto dai = [&](const Voce& v) { consegna(v, f); };
    unisci(catene(), dai);
}

std::size_t Deduplica::dividi(std::size_t byte, std::size_t almeno)
{
    confini_.clear();
    catene_.clear();
    if (!corse_.empty())
        return 0;
    ordina();
    catene_ = catene();
    const Catena* grande = nullptr;
    std::size_t stima = 0;  // at most the text the items take
    bool lunghe = false;
    for (const auto& p : parti_) {
        stima += p->distinte() * byteChiave + p->byteLunghe();
        lunghe = lunghe || p->byteLunghe() != 0;
    }
    for (const Catena& c : catene_)
        if (grande == nullptr || c.size() > grande->size())
            grande = &c;
    if (grande == nullptr || grande->empty())
        return 0;
    const std::size_t q = grande->size();
    const std::size_t n = std::min(std::max(almeno, stima / std::max<std::size_t>(byte, 1) + 1), q);

    // The parts take items by hash, so each spans the whole order much as
    // the others do: items of the largest sequence evenly spaced by what
    // their lines cost cut all of them into ranges of about the same size.
    // With items of up to sixteen bytes, evenly spaced items are enough;
    // longer ones may crowd together in the order, so then their lengths
    // count (an item copied by reference counts as a short one).
    std::vector<std::size_t> tagli(n + 1, q);
    tagli[0] = 0;
    if (!lunghe) {
        for (std::size_t j = 1; j < n; ++j)
            tagli[j] = static_cast<std::size_t>(static_cast<Chiave128>(j) * q / n);
    } else {
        const auto peso = [](const Voce& v) {
            const std::size_t l = v.lunghezza();
            return static_cast<Chiave128>(l > testoDiretto ? 1 : l + 1);
        };
        Chiave128 tutto = 0;
        for (const Tratto& t : grande->tratti())
            for (const Voce* v = t.da; v != t.a; ++v)
                tutto += peso(*v);
        Chiave128 somma = 0;
        std::size_t j = 1;
        std::size_t k = 0;
        for (const Tratto& t : grande->tratti())
            for (const Voce* v = t.da; v != t.a && j < n; ++v, ++k) {
                somma += peso(*v);
                while (j < n && somma * n >= tutto * j)
                    tagli[j++] = std::min(k + 1, q - 1);
            }
    }
    const std::size_t C = catene_.size();
    confini_.resize((n + 1) * C);
    for (std::size_t c = 0; c < C; ++c) {
        confini_[c] = 0;
        confini_[n * C + c] = catene_[c].size();
    }
    for (std::size_t j = 1; j < n; ++j) {
        const Voce divisore = (*grande)[tagli[j]];
        for (std::size_t c = 0; c < C; ++c)
            confini_[j * C + c] = catene_[c].limiteInferiore(divisore);
    }
    return n;
}

std::size_t Deduplica::accoda(std::size_t i, std::string_view fine, Blocco& uscita, std::vector<Inserto>& lunghe) const
{
    const std::size_t C = catene_.size();
    std::vector<Catena> tratti;
    for (std::size_t c = 0; c < C; ++c)
        tratti.push_back(catene_[c].parte(confini_[i * C + c], confini_[(i + 1) * C + c]));
    lunghe.clear();
    // The line end as one word, written whole and counted by its length;
    // the keys of a short item are written whole too (sixteen bytes) and
    // counted by its length: both need room past the end of the line.
    char finale[8] = {};
    const std::size_t nFine = std::min(fine.size(), sizeof finale);
    if (nFine != 0)
        std::memcpy(finale, fine.data(), nFine);
    constexpr std::size_t margine = byteChiave + sizeof finale;
    // Room for the range at once, enough for items of up to sixteen bytes:
    // memory that grows by doubling as it is written faults every page in
    // twice over.
    std::size_t voci = 0;
    for (const Catena& t : tratti)
        voci += t.size();
    // Whole huge pages only where the budget has room for the rounding:
    // the ranges were cut to fit what it has left.
    std::size_t stima = voci * (byteChiave + nFine) + margine;
    if (inPagineGrandi(stima) - stima < bilancio_.liberi() / 4)
        stima = inPagineGrandi(stima);
    if (uscita.size() < stima)
        uscita.dimensiona(bilancio_, stima);
    // The cursor and the end are locals: writes through a char pointer could
    // alias anything in memory, which would make every line reload them.
    char* p = uscita.data();
    char* limite = p + uscita.size();
    const auto scrivi = [&](const Voce& v) {
        const std::size_t n = v.lunghezza();
        // A very long item is not copied: the caller gets its text where it
        // lies, and only its line end is written here.
        const std::size_t copiati = n > testoDiretto ? 0 : n;
        if (static_cast<std::size_t>(limite - p) < copiati + margine) [[unlikely]] {
            const std::size_t usati = static_cast<std::size_t>(p - uscita.data());
            uscita.ingrandisci(std::max(uscita.size() * 2, usati + copiati + margine), usati);
            p = uscita.data() + usati;
            limite = uscita.data() + uscita.size();
        }
        if (n <= byteChiave) {
            scriviChiavi(v, p);
        } else if (copiati != 0) {
            std::memcpy(p, v.dati(), n);
        } else {
            lunghe.push_back({static_cast<std::size_t>(p - uscita.data()), std::string_view(v.dati(), n)});
        }
        std::memcpy(p + copiati, finale, sizeof finale);
        p += copiati + nFine;
    };
    unisci(tratti, scrivi);
    return static_cast<std::size_t>(p - uscita.data());
}

void Deduplica::riversa()
{
    ordinaParti();
    scriviCorsa();
}

void Deduplica::versaInCorsa()
{
    if (!corse_.empty() || vuote())
        return;
    ordina();
    catene_.clear();
    confini_.clear();
    scriviCorsa();
    restringi();
    ordinate_ = false;
}

std::uint64_t Deduplica::byteVoci()
{
    if (!corse_.empty())
        return corse_.front().testo;
    ordina();
    std::uint64_t n = 0;
    for (const Catena& c : catene())
        for (const Tratto& t : c.tratti())
            for (const Voce* v = t.da; v != t.a; ++v)
                n += v->lunghezza();
    return n;
}

void Deduplica::scriviCorsa()
{
    {
        ScritturaCorsa scrittura(nuovoSupporto_(), bufferCorsa(1), bilancio_);
        unisciParti([&](std::string_view v) { scrittura.aggiungi(v); });
        corse_.push_back(scrittura.chiudi());
    }
    ++corseScritte_;
    for (auto& p : parti_)
        p->svuota();
    // As a binary counter carries: fanIn runs of one level become one run
    // of the next, so a file of any size keeps few runs open at a time.
    for (;;) {
        const std::size_t n = regole_.fanIn;
        if (corse_.size() < n)
            break;
        const unsigned livello = corse_.back().livello;
        const bool pari = std::all_of(corse_.end() - static_cast<std::ptrdiff_t>(n), corse_.end(),
                                      [&](const Corsa& c) { return c.livello == livello; });
        if (!pari)
            break;
        unisciUltime(n);
    }
    // Each run holds a descriptor: before the next one would pass what the
    // process may open (a merge opens one more), the last ones are merged,
    // whatever their levels.
    while (regole_.corseAperte != 0 && corse_.size() + 2 > regole_.corseAperte)
        unisciUltime(std::min<std::size_t>(corse_.size(), regole_.fanIn));
}

void Deduplica::unisciUltime(std::size_t n)
{
    const auto primo = corse_.end() - static_cast<std::ptrdiff_t>(n);
    std::vector<Corsa> entrano(std::make_move_iterator(primo), std::make_move_iterator(corse_.end()));
    corse_.erase(primo, corse_.end());
    unsigned livello = 0;
    for (const Corsa& c : entrano)
        livello = std::max(livello, c.livello + 1);
    corse_.push_back(riduci(std::move(entrano)));
    corse_.back().livello = livello;
}

Deduplica::Piano Deduplica::piano(const Corsa* corse, std::size_t n)
{
    constexpr std::size_t minimo = 4096;
    constexpr std::size_t massimo = std::size_t{1} << 20;
    n = std::max<std::size_t>(std::min<std::size_t>(n, regole_.fanIn), 2);
    // What k runs take with buffers of b bytes: k + 1 buffers (the merged
    // run's too) and, for each run whose longest item passes its buffer,
    // that item's own buffer as well (the two meet while it moves).
    const auto serve = [&](std::size_t k, std::size_t b) {
        std::size_t s = (k + 1) * Bilancio::costo(b);
        for (std::size_t j = 0; j < k; ++j)
            if (byteVoceInCorsa(corse[j].massima) > b)
                s += Bilancio::costo(byteVoceInCorsa(corse[j].massima));
        return s;
    };
    // The parts hold nothing here: their empty tables are given back when
    // the merge would be narrower without that memory.
    if (serve(n, minimo) > bilancio_.liberi() && vuote())
        restringi();
    const std::size_t liberi = bilancio_.liberi();
    for (std::size_t k = n;; --k) {
        const std::size_t b = std::clamp<std::size_t>(liberi / 2 / (k + 1), minimo, massimo);
        if (serve(k, b) <= liberi)
            return {k, b};
        // Two runs always: an item is at most a third of the budget, so
        // two fit once the kept items have gone to disk.
        if (k <= 2 || serve(k, minimo) <= liberi)
            return {k, minimo};
    }
}

Corsa Deduplica::unisciGruppo(std::vector<Corsa> entrano, std::size_t perCorsa)
{
    unsigned livello = 0;
    for (const Corsa& c : entrano)
        livello = std::max(livello, c.livello + 1);
    ScritturaCorsa scrittura(nuovoSupporto_(), perCorsa, bilancio_);
    unisciCorse(entrano, perCorsa, bilancio_, [&](std::string_view v) { scrittura.aggiungi(v); });
    entrano.clear();  // their storage goes as soon as they are merged
    Corsa unita = scrittura.chiudi();
    unita.livello = livello;
    return unita;
}

Corsa Deduplica::riduci(std::vector<Corsa> gruppo)
{
    // In passes: each merges consecutive runs, as many at a time as their
    // longest items and buffers leave room for, until one run is left.
    // Runs merged together are of about the same size, so an item goes
    // through few merges even when each takes only a few runs.
    while (gruppo.size() > 1) {
        std::vector<Corsa> passo;
        for (std::size_t i = 0; i < gruppo.size();) {
            if (gruppo.size() - i == 1) {
                passo.push_back(std::move(gruppo[i++]));
                continue;
            }
            const Piano p = piano(gruppo.data() + i, gruppo.size() - i);
            const auto primo = gruppo.begin() + static_cast<std::ptrdiff_t>(i);
            std::vector<Corsa> entrano(std::make_move_iterator(primo),
                                       std::make_move_iterator(primo + static_cast<std::ptrdiff_t>(p.quante)));
            i += p.quante;
            passo.push_back(unisciGruppo(std::move(entrano), p.buffer));
        }
        gruppo = std::move(passo);
    }
    return std::move(gruppo.front());
}

void Deduplica::concludi()
{
    for (auto& im : immissioni_)
        im.libera();
    immissioni_.clear();
    if (corse_.empty()) {
        // All in memory: the buckets of short items are deduplicated and
        // sorted together, in the cache, to count them; a table of long
        // items is sorted only when visita() needs it.
        squadra_.perOgni(parti_.size(), [&](std::size_t p) { parti_[p]->corte.ordina(); });
        uniche_ = 0;
        for (const auto& p : parti_)
            uniche_ += static_cast<std::int64_t>(p->distinte());
        return;
    }
    if (!vuote())
        riversa();
    restringi();
    // Merge passes of at most fanIn runs each, as many as the budget holds
    // with their longest items, until one run is left: its items are the
    // distinct items of the file.
    if (corse_.size() > 1)
        unisciUltime(corse_.size());
    uniche_ = static_cast<std::int64_t>(corse_.front().voci);
}

void Deduplica::ordina()
{
    if (corse_.empty() && !ordinate_) {
        ordinaParti();
        ordinate_ = true;
    }
}

void Deduplica::visita(const std::function<void(std::string_view)>& f)
{
    if (corse_.empty()) {
        ordina();
        unisciParti(f);
        return;
    }
    const Corsa& c = corse_.front();
    LetturaCorsa lettura(*c.supporto, c.byte, bufferCorsa(2), bilancio_);
    while (lettura.avanza())
        f(lettura.voce());
}


}  // namespace nucleo
