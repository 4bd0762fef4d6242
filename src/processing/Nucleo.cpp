#include "processing/Nucleo.h"

#include "processing/Squadra.h"

#include <algorithm>
#include <bit>
#include <cstring>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

// ------------------------------------------------------------------ keys --

constexpr std::size_t byteChiave = sizeof(Voce::chiave);

std::uint64_t ottoByte(const char* p, std::size_t n, std::size_t da) noexcept
{
    std::uint64_t k = 0;
    if (da < n)
        std::memcpy(&k, p + da, std::min<std::size_t>(n - da, 8));
    if constexpr (std::endian::native == std::endian::little)
        k = __builtin_bswap64(k);
    return k;
}

struct Minore {
    bool operator()(const Voce& a, const Voce& b) const noexcept
    {
        if (a.chiave[0] != b.chiave[0])
            return a.chiave[0] < b.chiave[0];
        if (a.chiave[1] != b.chiave[1])
            return a.chiave[1] < b.chiave[1];
        // Equal keys. An item of up to sixteen bytes is then a prefix of the
        // other (the zero padding of its keys matches the other's bytes), so
        // the shorter comes first; otherwise the bytes after the keys decide.
        if (a.lunghezza <= byteChiave || b.lunghezza <= byteChiave)
            return a.lunghezza < b.lunghezza;
        return std::string_view(a.dati + byteChiave, a.lunghezza - byteChiave) <
               std::string_view(b.dati + byteChiave, b.lunghezza - byteChiave);
    }
};

// Gives the item to f: one of up to sixteen bytes is rebuilt from its keys.
template <class F>
void consegna(const Voce& v, F& f)
{
    if (v.lunghezza > byteChiave) {
        f(std::string_view(v.dati, v.lunghezza));
        return;
    }
    char byte[byteChiave];
    for (int k = 0; k < 2; ++k) {
        std::uint64_t be = v.chiave[k];
        if constexpr (std::endian::native == std::endian::little)
            be = __builtin_bswap64(be);
        std::memcpy(byte + 8 * k, &be, 8);
    }
    f(std::string_view(byte, v.lunghezza));
}

std::uint64_t hashDi(std::string_view s) noexcept
{
    return XXH3_64bits(s.data(), s.size());
}

// Which part an item belongs to: from the low half of its hash, while the
// hash sets use the high bits, so the two choices do not interfere.
inline std::size_t parteDi(std::uint64_t hash, std::size_t parti) noexcept
{
    return static_cast<std::size_t>(((hash & 0xFFFFFFFFu) * parti) >> 32);
}

}  // namespace

// ------------------------------------------------------------ the parts --

// The distinct items of one part: the items in blocks that never move, a
// hash set of their positions, and the bytes after the sixteenth of the
// long items, copied out of the file's text.
struct Deduplica::Parte {
    explicit Parte(std::size_t memoria)
    {
        // Blocks small enough that a tiny allowance still holds a few.
        const std::size_t voci = std::clamp<std::size_t>(memoria / 64 / sizeof(Voce), 64, 32768);
        bitBlocco = std::bit_width(voci) - 1;
        byteTesto = std::clamp<std::size_t>(memoria / 64, 256, std::size_t{1} << 20);
        dimensiona(8);
    }

    // ------------------------------------------------------ kept items --
    std::vector<std::unique_ptr<Voce[]>> blocchi;
    std::size_t quante = 0;
    int bitBlocco = 15;

    Voce& voce(std::uint64_t i) noexcept { return blocchi[i >> bitBlocco][i & ((std::uint64_t{1} << bitBlocco) - 1)]; }

    void tieni(Voce v, std::string_view testo)
    {
        if ((quante >> bitBlocco) == blocchi.size())
            blocchi.push_back(std::make_unique_for_overwrite<Voce[]>(std::size_t{1} << bitBlocco));
        if (v.lunghezza > byteChiave)
            v.dati = copia(testo);
        voce(quante++) = v;
    }

    // ------------------------------------------------- long items' text --
    // Whole, so that a long item is handed over as it is, never rebuilt.
    std::vector<std::unique_ptr<char[]>> testi;
    std::size_t byteTesto = 0;
    std::size_t byteTesti = 0;
    std::size_t liberi = 0;
    char* cursore = nullptr;

    const char* copia(std::string_view testo)
    {
        if (testo.size() > liberi) {
            // An item larger than a block gets one of its own; the current
            // block stays in use for the next items.
            const std::size_t n = std::max(testo.size(), byteTesto);
            testi.push_back(std::make_unique_for_overwrite<char[]>(n));
            byteTesti += n;
            if (n != byteTesto) {
                std::memcpy(testi.back().get(), testo.data(), testo.size());
                return testi.back().get();
            }
            cursore = testi.back().get();
            liberi = n;
        }
        char* p = cursore;
        std::memcpy(p, testo.data(), testo.size());
        cursore += testo.size();
        liberi -= testo.size();
        return p;
    }

    // --------------------------------------------------------- hash set --
    // Open addressing with linear probing. A slot holds the top bits of the
    // item's hash and the kept item's position plus one (0 = empty). The
    // home slot is given by the top bits of the hash, so the slots hold all
    // that is needed to rebuild the table when it doubles, and most probes
    // that meet a different item are settled by the stored bits alone.
    static constexpr int bitPosizione = 36;  // up to 2^36 - 1 items a part
    static constexpr int bitImpronta = 64 - bitPosizione;
    static constexpr std::uint64_t mascheraPosizione = (std::uint64_t{1} << bitPosizione) - 1;

    std::vector<std::uint64_t> celle;
    std::size_t maschera = 0;
    int spostamento = 0;
    std::size_t soglia = 0;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento; }

    void dimensiona(int bit)
    {
        celle.assign(std::size_t{1} << bit, 0);
        maschera = celle.size() - 1;
        spostamento = 64 - bit;
        soglia = celle.size() / 10 * 7;
    }

    void raddoppia()
    {
        std::vector<std::uint64_t> vecchie = std::move(celle);
        dimensiona(64 - spostamento + 1);
        // While the home slot fits in the stored bits, the slots are enough;
        // beyond that (tables of over 2^28 slots) the hash is computed anew.
        const bool bastanoImpronte = 64 - spostamento <= bitImpronta;
        for (const std::uint64_t cella : vecchie) {
            if (cella == 0)
                continue;
            std::uint64_t h = cella;
            if (!bastanoImpronte) {
                const Voce& v = voce((cella & mascheraPosizione) - 1);
                std::string testo;
                auto copia = [&](std::string_view s) { testo.assign(s); };
                consegna(v, copia);
                h = hashDi(testo);
            }
            std::size_t i = casa(h);
            while (celle[i] != 0)
                i = (i + 1) & maschera;
            celle[i] = cella;
        }
    }

    void anticipa(std::uint64_t h) const noexcept { __builtin_prefetch(&celle[casa(h)]); }

    // The first kept item whose stored hash bits match `h`, or null: a hint
    // of which item the check will most likely read.
    const Voce* candidato(std::uint64_t h) noexcept
    {
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            const std::uint64_t cella = celle[i];
            if (cella == 0)
                return nullptr;
            if ((cella & ~mascheraPosizione) == impronta)
                return &voce((cella & mascheraPosizione) - 1);
        }
    }

    // Keeps `v` (hash `h`, text `testo`) unless an equal item is kept.
    void aggiungi(const Voce& v, std::uint64_t h, std::string_view testo)
    {
        if (quante >= soglia)
            raddoppia();
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            const std::uint64_t cella = celle[i];
            if (cella == 0) {
                celle[i] = impronta | (quante + 1);
                tieni(v, testo);
                return;
            }
            if ((cella & ~mascheraPosizione) == impronta && ugualiTesto(voce((cella & mascheraPosizione) - 1), v, testo))
                return;
        }
    }

    static bool ugualiTesto(const Voce& tenuta, const Voce& v, std::string_view testo) noexcept
    {
        return tenuta.lunghezza == v.lunghezza && tenuta.chiave[0] == v.chiave[0] &&
               tenuta.chiave[1] == v.chiave[1] &&
               (v.lunghezza <= byteChiave ||
                std::memcmp(tenuta.dati + byteChiave, testo.data() + byteChiave, v.lunghezza - byteChiave) == 0);
    }

    // ----------------------------------------------------------- sorted --
    std::vector<Voce> ordinate;

    void ordina()
    {
        // The table is no longer needed; the blocks go one by one as they
        // are copied, so the items are never held twice.
        celle = {};
        ordinate.clear();
        ordinate.reserve(quante);
        for (std::size_t b = 0; b < blocchi.size(); ++b) {
            const std::size_t da = b << bitBlocco;
            const std::size_t n = std::min(quante - da, std::size_t{1} << bitBlocco);
            ordinate.insert(ordinate.end(), blocchi[b].get(), blocchi[b].get() + n);
            blocchi[b].reset();
        }
        blocchi.clear();
        std::sort(ordinate.begin(), ordinate.end(), Minore{});
    }

    void svuota()
    {
        ordinate = {};
        blocchi.clear();
        testi.clear();
        byteTesti = 0;
        liberi = 0;
        cursore = nullptr;
        quante = 0;
        dimensiona(8);
    }

    std::size_t byte() const noexcept
    {
        return (blocchi.size() << bitBlocco) * sizeof(Voce) + byteTesti + celle.capacity() * sizeof(std::uint64_t) +
               ordinate.capacity() * sizeof(Voce);
    }
};

// ------------------------------------------------------------ intake --

void Immissione::aggiungi(std::string_view voce)
{
    const std::uint64_t h = hashDi(voce);
    perParte_[parteDi(h, perParte_.size())].push_back({h, voce.data(), voce.size()});
    ++quante_;
}

Deduplica::Deduplica(Squadra& squadra, Regole regole, NuovoSupporto nuovoSupporto)
    : squadra_(squadra), regole_(regole), nuovoSupporto_(std::move(nuovoSupporto))
{
    regole_.fanIn = std::max(regole_.fanIn, 2u);
    const std::size_t n = squadra_.fili();
    for (std::size_t p = 0; p < n; ++p)
        parti_.push_back(std::make_unique<Parte>(regole_.memoria / n));
}

Deduplica::~Deduplica() = default;

std::size_t Deduplica::memoriaUsata() const noexcept
{
    std::size_t n = 0;
    for (const auto& p : parti_)
        n += p->byte();
    for (const auto& im : immissioni_)
        for (const auto& v : im.perParte_)
            n += v.capacity() * sizeof(Immissione::Arrivo);
    return n;
}

void Deduplica::assimila(std::size_t sezioni, const std::function<void(std::size_t, Immissione&)>& leggi)
{
    if (immissioni_.size() < sezioni)
        immissioni_.resize(sezioni);
    for (auto& im : immissioni_) {
        im.perParte_.resize(parti_.size());
        for (auto& v : im.perParte_)
            v.clear();
        im.quante_ = 0;
    }
    squadra_.perOgni(sezioni, [&](std::size_t i) { leggi(i, immissioni_[i]); });
    for (const auto& im : immissioni_)
        totale_ += im.quante_;

    squadra_.perOgni(parti_.size(), [&](std::size_t p) {
        Parte& parte = *parti_[p];
        // Items are handled in blocks, in stages: the first computes the
        // keys and fetches the slots ahead, the second fetches the kept
        // items those slots name, so that the cache misses of a whole block
        // overlap instead of following one another. Only the last stage
        // decides anything.
        constexpr std::size_t blocco = 32;
        Voce nuove[blocco];
        for (const auto& im : immissioni_) {
            const auto& arrivi = im.perParte_[p];
            for (std::size_t inizio = 0; inizio < arrivi.size(); inizio += blocco) {
                const std::size_t m = std::min(arrivi.size() - inizio, blocco);
                const Immissione::Arrivo* a = arrivi.data() + inizio;
                for (std::size_t k = 0; k < m; ++k) {
                    nuove[k] = {{ottoByte(a[k].dati, a[k].lunghezza, 0), ottoByte(a[k].dati, a[k].lunghezza, 8)},
                                nullptr, a[k].lunghezza};
                    parte.anticipa(a[k].hash);
                }
                for (std::size_t k = 0; k < m; ++k)
                    if (const Voce* c = parte.candidato(a[k].hash))
                        __builtin_prefetch(c);
                for (std::size_t k = 0; k < m; ++k)
                    parte.aggiungi(nuove[k], a[k].hash, std::string_view(a[k].dati, a[k].lunghezza));
            }
        }
    });

    // Past the allowance, or close enough that the next round could pass
    // it (a round grows the parts by at most about what the largest round
    // did, and a table may double), the kept items go to a run.
    const std::size_t uso = memoriaUsata();
    crescitaMassima_ = std::max(crescitaMassima_, uso > usoPrima_ ? uso - usoPrima_ : 0);
    std::size_t tabelle = 0;
    for (const auto& p : parti_)
        tabelle += p->celle.capacity() * sizeof(std::uint64_t);
    if (uso + 2 * crescitaMassima_ + 2 * tabelle > regole_.memoria)
        riversa();
    usoPrima_ = memoriaUsata();
}

void Deduplica::ordinaParti()
{
    squadra_.perOgni(parti_.size(), [&](std::size_t p) { parti_[p]->ordina(); });
}

void Deduplica::unisciParti(const std::function<void(std::string_view)>& f)
{
    // The parts hold different items, so merging them drops nothing.
    struct Testa {
        const Voce* da;
        const Voce* a;
    };
    std::vector<Testa> mucchio;
    for (const auto& p : parti_)
        if (!p->ordinate.empty())
            mucchio.push_back({p->ordinate.data(), p->ordinate.data() + p->ordinate.size()});
    if (mucchio.size() == 1) {
        for (const Voce* v = mucchio[0].da; v != mucchio[0].a; ++v)
            consegna(*v, f);
        return;
    }
    const auto maggiore = [](const Testa& x, const Testa& y) { return minore(*y.da, *x.da); };
    std::make_heap(mucchio.begin(), mucchio.end(), maggiore);
    while (!mucchio.empty()) {
        std::pop_heap(mucchio.begin(), mucchio.end(), maggiore);
        Testa& t = mucchio.back();
        consegna(*t.da++, f);
        if (t.da != t.a)
            std::push_heap(mucchio.begin(), mucchio.end(), maggiore);
        else
            mucchio.pop_back();
    }
}

void Deduplica::riversa()
{
    ordinaParti();
    ScritturaCorsa scrittura(nuovoSupporto_(), std::clamp<std::size_t>(regole_.memoria / 8, 4096, std::size_t{1} << 20));
    unisciParti([&](std::string_view v) { scrittura.aggiungi(v); });
    corse_.push_back(scrittura.chiudi());
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
}

void Deduplica::unisciUltime(std::size_t n)
{
    const std::size_t perCorsa =
        std::clamp<std::size_t>(regole_.memoria / (2 * (regole_.fanIn + 1)), 64, std::size_t{1} << 20);
    const auto primo = corse_.end() - static_cast<std::ptrdiff_t>(n);
    std::vector<Corsa> entrano(std::make_move_iterator(primo), std::make_move_iterator(corse_.end()));
    corse_.erase(primo, corse_.end());
    unsigned livello = 0;
    for (const Corsa& c : entrano)
        livello = std::max(livello, c.livello + 1);
    ScritturaCorsa scrittura(nuovoSupporto_(), perCorsa);
    unisciCorse(entrano, perCorsa, [&](std::string_view v) { scrittura.aggiungi(v); });
    entrano.clear();  // their storage goes as soon as they are merged
    corse_.push_back(scrittura.chiudi());
    corse_.back().livello = livello;
}

void Deduplica::concludi()
{
    immissioni_.clear();
    if (corse_.empty()) {
        // All in memory: the count is known, and sorting waits for visita(),
        // which a file without repeats never needs.
        uniche_ = 0;
        for (const auto& p : parti_)
            uniche_ += static_cast<std::int64_t>(p->quante);
        return;
    }
    bool restano = false;
    for (const auto& p : parti_)
        restano = restano || p->quante != 0;
    if (restano)
        riversa();
    for (auto& p : parti_)
        p->svuota();
    // Merge passes of at most fanIn runs each, the smallest last runs first,
    // until one run is left: its items are the distinct items of the file.
    while (corse_.size() > 1)
        unisciUltime(std::min<std::size_t>(corse_.size(), regole_.fanIn));
    uniche_ = static_cast<std::int64_t>(corse_.front().voci);
}

void Deduplica::visita(const std::function<void(std::string_view)>& f)
{
    if (corse_.empty()) {
        if (!ordinate_) {
            ordinaParti();
            ordinate_ = true;
        }
        unisciParti(f);
        return;
    }
    const Corsa& c = corse_.front();
    LetturaCorsa lettura(*c.supporto, c.byte,
                         std::clamp<std::size_t>(regole_.memoria / 8, 4096, std::size_t{1} << 20));
    while (lettura.avanza())
        f(lettura.voce());
}

bool minore(const Voce& a, const Voce& b) noexcept
{
    return Minore{}(a, b);
}

}  // namespace nucleo
