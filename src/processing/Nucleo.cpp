#include "processing/Nucleo.h"

#include "processing/Squadra.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

// ---------------------------------------------------------------- memory --

// Large arrays ask for huge pages where the system gives them on request:
// filling them then faults a page in every 2 MiB instead of every 4 KiB.
void inPagineGrandi([[maybe_unused]] void* p, [[maybe_unused]] std::size_t n) noexcept
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t pagina = std::uintptr_t{2} << 20;
    const auto inizio = (reinterpret_cast<std::uintptr_t>(p) + pagina - 1) & ~(pagina - 1);
    const auto fine = (reinterpret_cast<std::uintptr_t>(p) + n) & ~(pagina - 1);
    if (fine > inizio)
        ::madvise(reinterpret_cast<void*>(inizio), fine - inizio, MADV_HUGEPAGE);
#endif
}

// An array of slots, all zero, in huge pages when it is large.
struct Celle {
    std::uint64_t* dati = nullptr;
    std::size_t quante = 0;

    Celle() = default;
    explicit Celle(std::size_t n) : quante(n)
    {
        const std::size_t byte = n * sizeof(std::uint64_t);
        constexpr std::size_t grande = std::size_t{2} << 20;
        dati = static_cast<std::uint64_t*>(byte >= grande ? std::aligned_alloc(grande, byte) : std::malloc(byte));
        if (dati == nullptr)
            throw std::bad_alloc();
        inPagineGrandi(dati, byte);
        std::memset(dati, 0, byte);
    }
    Celle(Celle&& altre) noexcept : dati(std::exchange(altre.dati, nullptr)), quante(std::exchange(altre.quante, 0)) {}
    Celle& operator=(Celle&& altre) noexcept
    {
        std::swap(dati, altre.dati);
        std::swap(quante, altre.quante);
        return *this;
    }
    ~Celle() { std::free(dati); }

    std::uint64_t& operator[](std::size_t i) noexcept { return dati[i]; }
    const std::uint64_t& operator[](std::size_t i) const noexcept { return dati[i]; }
    std::size_t size() const noexcept { return quante; }
    std::uint64_t* begin() noexcept { return dati; }
    std::uint64_t* end() noexcept { return dati + quante; }
};

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

// Sorts by the keys' bytes, most significant first, in place (an American
// flag sort): each pass sends the items to 256 buckets by one byte, and a
// bucket whose items share that byte too goes on to the next byte without a
// pass of its own. Small buckets, and items whose keys are equal, are left
// to a comparison sort, which also looks past the keys.
void ordinaVoci(Voce* a, std::size_t n, unsigned d = 0)
{
    constexpr std::size_t piccola = 48;
    const auto byteDi = [](const Voce& v, unsigned d) {
        return static_cast<unsigned>((v.chiave[d >> 3] >> (56 - 8 * (d & 7))) & 0xFF);
    };
    for (;;) {
        if (n < piccola || d == byteChiave) {
            std::sort(a, a + n, Minore{});
            return;
        }
        std::size_t conta[256] = {};
        for (std::size_t i = 0; i < n; ++i)
            ++conta[byteDi(a[i], d)];
        if (conta[byteDi(a[0], d)] == n) {
            ++d;
            continue;
        }
        std::size_t prossima[256];
        std::size_t fine[256];
        std::size_t somma = 0;
        for (unsigned c = 0; c < 256; ++c) {
            prossima[c] = somma;
            somma += conta[c];
            fine[c] = somma;
        }
        for (unsigned c = 0; c < 256; ++c) {
            while (prossima[c] < fine[c]) {
                Voce v = a[prossima[c]];
                unsigned k = byteDi(v, d);
                while (k != c) {
                    std::swap(v, a[prossima[k]++]);
                    k = byteDi(v, d);
                }
                a[prossima[c]++] = v;
            }
        }
        std::size_t da = 0;
        for (unsigned c = 0; c < 256; ++c) {
            if (conta[c] > 1)
                ordinaVoci(a + da, conta[c], d + 1);
            da += conta[c];
        }
        return;
    }
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

// The distinct items of one part: the items in one array, a hash set of
// their positions, and the text of the long items, copied out of the
// file's text. After a run is written the part starts again in the same
// memory, already in place, so no page is faulted in twice.
struct Deduplica::Parte {
    explicit Parte(std::size_t memoria)
    {
        byteTesto = std::clamp<std::size_t>(memoria / 64, 256, std::size_t{1} << 20);
        dimensiona(8);
    }
    ~Parte() { std::free(voci); }
    Parte(const Parte&) = delete;
    Parte& operator=(const Parte&) = delete;

    // ------------------------------------------------------ kept items --
    // From malloc: a large array grows by remapping its pages, without
    // copying them or holding them twice (so no huge pages here: advice on
    // part of a mapping splits it, and a split mapping cannot be remapped).
    Voce* voci = nullptr;
    std::size_t capienza = 0;
    std::size_t quante = 0;

    Voce& voce(std::uint64_t i) noexcept { return voci[i]; }

    void tieni(Voce v, std::string_view testo)
    {
        if (quante == capienza) {
            const std::size_t nuova = std::max<std::size_t>(capienza * 2, 1024);
            void* p = std::realloc(voci, nuova * sizeof(Voce));
            if (p == nullptr)
                throw std::bad_alloc();
            voci = static_cast<Voce*>(p);
            capienza = nuova;
        }
        if (v.lunghezza > byteChiave)
            v.dati = copia(testo);
        voci[quante++] = v;
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

    Celle celle;
    std::size_t maschera = 0;
    int spostamento = 0;
    std::size_t soglia = 0;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento; }

    void dimensiona(int bit)
    {
        celle = Celle(std::size_t{1} << bit);
        maschera = celle.size() - 1;
        spostamento = 64 - bit;
        soglia = celle.size() / 10 * 7;
    }

    // The bytes the table will take once it holds `n` items.
    std::size_t byteTabella(std::size_t n) const noexcept
    {
        std::size_t celleNecessarie = celle.size();
        while (celleNecessarie / 10 * 7 <= n)
            celleNecessarie *= 2;
        return celleNecessarie * sizeof(std::uint64_t);
    }

    void raddoppia()
    {
        Celle vecchie = std::move(celle);
        dimensiona(64 - spostamento + 1);
        // While the home slot fits in the stored bits, the slots are enough;
        // beyond that (tables of over 2^28 slots) the hash is computed anew.
        const bool bastanoImpronte = 64 - spostamento <= bitImpronta;
        for (const std::uint64_t cella : vecchie) {
            if (cella == 0)
                continue;
            std::uint64_t h = cella;
            if (!bastanoImpronte) {
                std::string testo;
                auto copia = [&](std::string_view s) { testo.assign(s); };
                consegna(voce((cella & mascheraPosizione) - 1), copia);
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
    // In place: the table's positions mean nothing afterwards.
    void ordina()
    {
        ordinaVoci(voci, quante);
        ordinata = true;
    }
    bool ordinata = false;
    const Voce* inizio() const noexcept { return voci; }
    const Voce* fine() const noexcept { return voci + quante; }

    // Empty again, in the same memory.
    void svuota()
    {
        testi.clear();
        byteTesti = 0;
        liberi = 0;
        cursore = nullptr;
        quante = 0;
        ordinata = false;
        std::fill(celle.begin(), celle.end(), 0);
    }

    std::size_t byte() const noexcept
    {
        return capienza * sizeof(Voce) + byteTesti + celle.size() * sizeof(std::uint64_t);
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
    quantePrima_.assign(n, 0);
    testoPrima_.assign(n, 0);
}

Deduplica::~Deduplica() = default;

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
    // it, the kept items go to a run. A round adds to a part at most about
    // what the largest round did, and the arrays and tables grow by
    // doubling, the old table living on while the new one fills.
    std::size_t proiezione = 0;
    for (const auto& im : immissioni_)
        for (const auto& v : im.perParte_)
            proiezione += v.capacity() * sizeof(Immissione::Arrivo);
    for (std::size_t p = 0; p < parti_.size(); ++p) {
        const Parte& parte = *parti_[p];
        crescitaVoci_ = std::max(crescitaVoci_, parte.quante - quantePrima_[p]);
        crescitaTesto_ = std::max(crescitaTesto_, parte.byteTesti - testoPrima_[p]);
        const std::size_t futuro = parte.quante + crescitaVoci_;
        std::size_t capienza = std::max<std::size_t>(parte.capienza, 1024);
        while (capienza < futuro)
            capienza *= 2;
        const std::size_t tabella = parte.byteTabella(futuro);
        const std::size_t ora = parte.celle.size() * sizeof(std::uint64_t);
        proiezione += capienza * sizeof(Voce) + tabella + (tabella > ora ? ora : 0) + parte.byteTesti + crescitaTesto_;
    }
    if (proiezione > regole_.memoria)
        riversa();
    for (std::size_t p = 0; p < parti_.size(); ++p) {
        quantePrima_[p] = parti_[p]->quante;
        testoPrima_[p] = parti_[p]->byteTesti;
    }
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
        if (p->quante != 0)
            mucchio.push_back({p->inizio(), p->fine()});
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
