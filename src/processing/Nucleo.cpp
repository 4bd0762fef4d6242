#include "processing/Nucleo.h"

#include "processing/Squadra.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

// ---------------------------------------------------------------- memory --

// The slots of a hash table of items, all empty (every byte 0xFF, so an
// empty slot's length is the largest there is), in huge pages when large.
class Tavola {
public:
    Tavola() = default;
    explicit Tavola(std::size_t n) : quante_(n)
    {
        dati_ = static_cast<Voce*>(allocaGrande(n * sizeof(Voce)));
        vuota();
    }
    Tavola(Tavola&& altra) noexcept : dati_(std::exchange(altra.dati_, nullptr)), quante_(std::exchange(altra.quante_, 0)) {}
    Tavola& operator=(Tavola&& altra) noexcept
    {
        std::swap(dati_, altra.dati_);
        std::swap(quante_, altra.quante_);
        return *this;
    }
    ~Tavola() { std::free(dati_); }

    void vuota() noexcept { std::memset(static_cast<void*>(dati_), 0xFF, quante_ * sizeof(Voce)); }
    Voce& operator[](std::size_t i) noexcept { return dati_[i]; }
    const Voce& operator[](std::size_t i) const noexcept { return dati_[i]; }
    std::size_t size() const noexcept { return quante_; }
    Voce* begin() noexcept { return dati_; }
    Voce* end() noexcept { return dati_ + quante_; }
    const Voce* begin() const noexcept { return dati_; }
    const Voce* end() const noexcept { return dati_ + quante_; }

private:
    Voce* dati_ = nullptr;
    std::size_t quante_ = 0;
};

// ------------------------------------------------------------------ keys --

constexpr std::size_t byteChiave = sizeof(Voce::chiave);
// The size of a huge page (on x86-64 and most others).
constexpr std::size_t paginaGrande = std::size_t{2} << 20;

// A size for a block that will be filled: past a quarter of a huge page,
// whole huge pages (a fault each instead of one every 4 KiB, and page
// faults are much of what a run costs).
constexpr std::size_t pagineGrandiIntere(std::size_t byte) noexcept
{
    return (byte + paginaGrande - 1) / paginaGrande * paginaGrande;
}
constexpr std::size_t inPagineGrandi(std::size_t byte) noexcept
{
    return byte > paginaGrande / 4 ? pagineGrandiIntere(byte) : byte;
}
// Items longer than this are handed on where they lie, not copied into the
// copy's lines.
constexpr std::size_t testoDiretto = std::size_t{64} << 10;

std::uint64_t ottoByte(const char* p, std::size_t n, std::size_t da) noexcept
{
    std::uint64_t k = 0;
    if (da < n)
        std::memcpy(&k, p + da, std::min<std::size_t>(n - da, 8));
    if constexpr (std::endian::native == std::endian::little)
        k = __builtin_bswap64(k);
    return k;
}

__extension__ using Chiave128 = unsigned __int128;

// An item's two keys as one number, in the same order as their bytes.
inline Chiave128 chiaveIntera(const Voce& v) noexcept
{
    return (static_cast<Chiave128>(v.chiave[0]) << 64) | v.chiave[1];
}

struct Minore {
    bool operator()(const Voce& a, const Voce& b) const noexcept
    {
        // The keys as one 128-bit number: neighbours in a sorted list often
        // share their first eight bytes, and one test that is almost always
        // true costs less than two that go either way.
        const Chiave128 ka = chiaveIntera(a);
        const Chiave128 kb = chiaveIntera(b);
        if (ka != kb) [[likely]]
            return ka < kb;
        // Equal keys. An item of up to sixteen bytes is then a prefix of the
        // other (the zero padding of its keys matches the other's bytes), so
        // the shorter comes first; otherwise the bytes after the keys decide.
        const std::size_t na = a.lunghezza();
        const std::size_t nb = b.lunghezza();
        if (na <= byteChiave || nb <= byteChiave)
            return na < nb;
        return std::string_view(a.dati() + byteChiave, na - byteChiave) <
               std::string_view(b.dati() + byteChiave, nb - byteChiave);
    }
};

// Writes an item's keys as the sixteen bytes they stand for (an item of up
// to sixteen bytes, zero-padded).
inline void scriviChiavi(const Voce& v, char* dove) noexcept
{
    for (int k = 0; k < 2; ++k) {
        std::uint64_t be = v.chiave[k];
        if constexpr (std::endian::native == std::endian::little)
            be = __builtin_bswap64(be);
        std::memcpy(dove + 8 * k, &be, 8);
    }
}

// Gives the item to f: one of up to sixteen bytes is rebuilt from its keys.
template <class F>
void consegna(const Voce& v, F& f)
{
    const std::size_t n = v.lunghezza();
    if (n > byteChiave) {
        f(std::string_view(v.dati(), n));
        return;
    }
    char byte[byteChiave];
    scriviChiavi(v, byte);
    f(std::string_view(byte, n));
}

// A sorted stretch of one part's items.
struct Tratto {
    const Voce* da;
    const Voce* a;
};

// Gives the entries of sorted stretches that hold different items to f,
// all in one ascending order (nothing is dropped).
template <class F>
void unisci(std::vector<Tratto>& tratti, F& f)
{
    std::erase_if(tratti, [](const Tratto& t) { return t.da == t.a; });
    if (tratti.size() == 1) {
        for (const Voce* v = tratti[0].da; v != tratti[0].a; ++v)
            f(*v);
        return;
    }
    if (tratti.size() == 2) {
        // Which side goes next is a coin toss: the side is chosen and the
        // pointers move by the comparison's value, not by a branch, and the
        // full comparison is needed only for equal keys. The pointers live
        // in locals, as f may write through a char pointer, which could
        // alias anything.
        const Voce* x = tratti[0].da;
        const Voce* y = tratti[1].da;
        const Voce* const xFine = tratti[0].a;
        const Voce* const yFine = tratti[1].a;
        while (x != xFine && y != yFine) {
            const Chiave128 kx = chiaveIntera(*x);
            const Chiave128 ky = chiaveIntera(*y);
            bool daY = ky < kx;
            if (kx == ky) [[unlikely]]
                daY = Minore{}(*y, *x);
            const std::uintptr_t px = reinterpret_cast<std::uintptr_t>(x);
            const std::uintptr_t py = reinterpret_cast<std::uintptr_t>(y);
            const std::uintptr_t maschera = std::uintptr_t{0} - static_cast<std::uintptr_t>(daY);
            const Voce* v = reinterpret_cast<const Voce*>(px ^ ((px ^ py) & maschera));
            y += daY;
            x += !daY;
            f(*v);
        }
        for (; x != xFine; ++x)
            f(*x);
        for (; y != yFine; ++y)
            f(*y);
        return;
    }
    const auto maggiore = [](const Tratto& x, const Tratto& y) { return Minore{}(*y.da, *x.da); };
    std::make_heap(tratti.begin(), tratti.end(), maggiore);
    while (!tratti.empty()) {
        std::pop_heap(tratti.begin(), tratti.end(), maggiore);
        Tratto& t = tratti.back();
        f(*t.da++);
        if (t.da != t.a)
            std::push_heap(tratti.begin(), tratti.end(), maggiore);
        else
            tratti.pop_back();
    }
}

// Sorts by the keys' bytes, most significant first, in place (an American
// flag sort): each pass sends the items to 256 buckets by one byte, and a
// bucket whose items share that byte too goes on to the next byte without a
// pass of its own. Small buckets, and items whose keys are equal, are left
// to a comparison sort, which also looks past the keys.
void ordinaVoci(Voce* a, std::size_t n, unsigned d = 0)
{
    constexpr std::size_t piccola = 256;
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

void* allocaGrande(std::size_t byte)
{
    // Huge pages come only in 2 MiB steps, aligned: advice on a block
    // aligned so covers it whole. (aligned_alloc wants a whole number of
    // alignments.)
    const std::size_t intere = pagineGrandiIntere(byte);
    void* p = byte >= paginaGrande ? std::aligned_alloc(paginaGrande, intere) : std::malloc(byte == 0 ? 1 : byte);
    if (p == nullptr)
        throw std::bad_alloc();
    if (byte >= paginaGrande)
        ::madvise(p, intere, MADV_HUGEPAGE);
    return p;
}

// ------------------------------------------------------------ the parts --

// The distinct items of one part, in an open-addressing hash table of the
// items themselves (linear probing, home slot from the top bits of the
// hash): checking an item reads one slot, and an item of up to sixteen
// bytes is settled there without following any pointer. The text of the
// long items is copied out of the file's text. To sort, the table is
// packed to its front and sorted in place; after a run is written the part
// starts again in the same memory, so no page is faulted in twice.
struct Deduplica::Parte {
    explicit Parte(std::size_t memoria)
    {
        byteTesto = std::clamp<std::size_t>(memoria / 64, 256, std::size_t{4} << 20);
        dimensiona(8);
    }

    // ------------------------------------------------------------ table --
    static constexpr std::uint64_t vuota = ~std::uint64_t{0};  // an empty slot (no address is that high)

    Tavola tavola;
    std::size_t maschera = 0;
    int spostamento = 0;
    std::size_t soglia = 0;
    std::size_t quante = 0;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento; }

    void dimensiona(int bit)
    {
        tavola = Tavola(std::size_t{1} << bit);
        maschera = tavola.size() - 1;
        spostamento = 64 - bit;
        soglia = tavola.size() / 10 * 7;
    }

    // How many slots the table will have once it holds `n` items.
    std::size_t celleDopo(std::size_t n) const noexcept
    {
        std::size_t celle = tavola.size();
        while (celle / 10 * 7 <= n)
            celle *= 2;
        return celle;
    }

    // Makes the (empty) table large enough for `n` items, within `memoria`.
    void prepara(std::size_t n, std::size_t memoria)
    {
        int bit = 64 - spostamento;
        while ((std::size_t{1} << bit) / 10 * 7 <= n && (std::size_t{2} << bit) * sizeof(Voce) <= memoria / 2)
            ++bit;
        if (bit != 64 - spostamento)
            dimensiona(bit);
    }

    void raddoppia()
    {
        Tavola vecchia = std::move(tavola);
        dimensiona(64 - spostamento + 1);
        for (const Voce& v : vecchia) {
            if (v.resto == vuota)
                continue;
            std::uint64_t h = 0;
            auto calcola = [&](std::string_view s) { h = hashDi(s); };
            consegna(v, calcola);
            std::size_t i = casa(h);
            while (tavola[i].resto != vuota)
                i = (i + 1) & maschera;
            tavola[i] = v;
        }
    }

    void anticipa(std::uint64_t h) const noexcept { __builtin_prefetch(&tavola[casa(h)]); }

    // Keeps the item `testo` (keys in `v`, hash `h`) unless an equal item
    // is kept. An item of up to sixteen bytes is settled by its 24 bytes.
    void aggiungi(Voce v, std::uint64_t h, std::string_view testo)
    {
        if (quante >= soglia)
            raddoppia();
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            Voce& cella = tavola[i];
            if (cella.resto == vuota) {
                if (testo.size() > byteChiave)
                    v.resto |= reinterpret_cast<std::uintptr_t>(copia(testo));
                cella = v;
                ++quante;
                return;
            }
            if (cella.chiave[0] != v.chiave[0] || cella.chiave[1] != v.chiave[1])
                continue;
            if (testo.size() <= byteChiave) {
                if (cella.resto == v.resto)
                    return;
            } else if ((cella.resto >> 48) == (v.resto >> 48) && cella.lunghezza() == testo.size() &&
                       std::memcmp(cella.dati() + byteChiave, testo.data() + byteChiave, testo.size() - byteChiave) == 0) {
                return;
            }
        }
    }

    // ------------------------------------------------- long items' text --
    // Whole, so that a long item is handed over as it is, never rebuilt.
    struct Libera {
        void operator()(char* p) const noexcept { std::free(p); }
    };
    std::vector<std::unique_ptr<char, Libera>> testi;

    char* nuovoBlocco(std::size_t n)
    {
        testi.emplace_back(static_cast<char*>(allocaGrande(n)));
        byteTesti += n;
        return testi.back().get();
    }
    std::size_t byteTesto = 0;
    std::size_t byteTesti = 0;
    std::size_t liberi = 0;
    char* cursore = nullptr;

    // Where the item's text now lies: a length that does not fit in the
    // item's 16 bits comes first, in 8 bytes.
    const char* copia(std::string_view testo)
    {
        if (testo.size() >= Voce::lunga) {
            const std::uint64_t n = testo.size();
            char* blocco = nuovoBlocco(sizeof n + testo.size());
            std::memcpy(blocco, &n, sizeof n);
            std::memcpy(blocco + sizeof n, testo.data(), testo.size());
            return blocco;
        }
        if (testo.size() > liberi) {
            // An item larger than a block gets one of its own; the current
            // block stays in use for the next items.
            const std::size_t n = std::max(testo.size(), byteTesto);
            char* blocco = nuovoBlocco(n);
            if (n != byteTesto) {
                std::memcpy(blocco, testo.data(), testo.size());
                return blocco;
            }
            cursore = blocco;
            liberi = n;
        }
        char* p = cursore;
        std::memcpy(p, testo.data(), testo.size());
        cursore += testo.size();
        liberi -= testo.size();
        return p;
    }

    // ----------------------------------------------------------- sorted --
    // Packs the items to the front of the table and sorts them there: the
    // table is a sorted array from then on, until svuota().
    void ordina()
    {
        std::size_t j = 0;
        for (std::size_t i = 0; i < tavola.size(); ++i)
            if (tavola[i].resto != vuota)
                tavola[j++] = tavola[i];
        ordinaVoci(tavola.begin(), quante);
    }
    const Voce* inizio() const noexcept { return tavola.begin(); }
    const Voce* fine() const noexcept { return tavola.begin() + quante; }

    // Empty again, in the same memory.
    void svuota()
    {
        testi.clear();
        byteTesti = 0;
        liberi = 0;
        cursore = nullptr;
        quante = 0;
        tavola.vuota();
    }

};

// ------------------------------------------------------------ intake --

void Immissione::aggiungi(std::string_view voce)
{
    const std::uint64_t h = hashDi(voce);
    perParte_[parteDi(h, perParte_.size())].arrivi.push_back({h, voce.data(), voce.size()});
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

void Deduplica::assimila(std::size_t sezioni, std::size_t byte,
                         const std::function<void(std::size_t, Immissione&)>& leggi)
{
    if (immissioni_.size() < sezioni)
        immissioni_.resize(sezioni);
    // Room for an item every 8 bytes from the start: growing by doubling
    // from nothing faults in every page twice over.
    const std::size_t attese =
        inPagineGrandi(byte / std::max<std::size_t>(sezioni * parti_.size(), 1) / 8 * sizeof(Immissione::Arrivo)) /
        sizeof(Immissione::Arrivo);
    for (auto& im : immissioni_) {
        im.perParte_.resize(parti_.size());
        for (auto& coda : im.perParte_) {
            coda.arrivi.clear();
            if (coda.arrivi.capacity() < attese)
                coda.arrivi.reserve(attese);
        }
        im.quante_ = 0;
    }
    squadra_.perOgni(sezioni, [&](std::size_t i) { leggi(i, immissioni_[i]); });
    for (const auto& im : immissioni_)
        totale_ += im.quante_;

    squadra_.perOgni(parti_.size(), [&](std::size_t p) {
        Parte& parte = *parti_[p];
        // Items are handled in blocks, in two stages: the first computes the
        // keys and fetches the slots ahead, so that the cache misses of a
        // whole block overlap instead of following one another; the second
        // decides.
        constexpr std::size_t blocco = 32;
        Voce nuove[blocco];
        // An empty part takes a table for what this round brings at once,
        // instead of doubling its way there.
        if (parte.quante == 0) {
            std::size_t arrivi = 0;
            for (const auto& im : immissioni_)
                arrivi += im.perParte_[p].arrivi.size();
            parte.prepara(arrivi, regole_.memoria / parti_.size());
        }
        for (const auto& im : immissioni_) {
            const auto& arrivi = im.perParte_[p].arrivi;
            for (std::size_t inizio = 0; inizio < arrivi.size(); inizio += blocco) {
                const std::size_t m = std::min(arrivi.size() - inizio, blocco);
                const Immissione::Arrivo* a = arrivi.data() + inizio;
                for (std::size_t k = 0; k < m; ++k) {
                    nuove[k] = {{ottoByte(a[k].dati, a[k].lunghezza, 0), ottoByte(a[k].dati, a[k].lunghezza, 8)},
                                std::min<std::uint64_t>(a[k].lunghezza, Voce::lunga) << 48};
                    parte.anticipa(a[k].hash);
                }
                for (std::size_t k = 0; k < m; ++k)
                    parte.aggiungi(nuove[k], a[k].hash, std::string_view(a[k].dati, a[k].lunghezza));
            }
        }
    });

    // Past the allowance, or close enough that the next round could pass
    // it, the kept items go to a run. A round adds to a part at most about
    // what the largest round did, and a table grows by doubling, the old
    // one living on while the new one fills.
    std::size_t proiezione = 0;
    for (const auto& im : immissioni_)
        for (const auto& coda : im.perParte_)
            proiezione += coda.arrivi.capacity() * sizeof(Immissione::Arrivo);
    for (std::size_t p = 0; p < parti_.size(); ++p) {
        const Parte& parte = *parti_[p];
        crescitaVoci_ = std::max(crescitaVoci_, parte.quante - quantePrima_[p]);
        crescitaTesto_ = std::max(crescitaTesto_, parte.byteTesti - testoPrima_[p]);
        const std::size_t futuro = parte.quante + crescitaVoci_;
        const std::size_t celle = parte.celleDopo(futuro);
        const std::size_t ora = parte.tavola.size();
        proiezione += (celle + (celle > ora ? ora : 0)) * sizeof(Voce) + parte.byteTesti + crescitaTesto_;
    }
    if (proiezione > regole_.memoria)
        riversa();
    for (std::size_t p = 0; p < parti_.size(); ++p) {
        quantePrima_[p] = parti_[p]->quante;
        testoPrima_[p] = parti_[p]->byteTesti;
    }
}

std::size_t Deduplica::bufferCorsa(unsigned aperte) const noexcept
{
    return std::clamp<std::size_t>(regole_.memoria / (2 * (aperte + 1)), 4096, std::size_t{1} << 20);
}

void Deduplica::ordinaParti()
{
    squadra_.perOgni(parti_.size(), [&](std::size_t p) { parti_[p]->ordina(); });
}

void Deduplica::unisciParti(const std::function<void(std::string_view)>& f)
{
    std::vector<Tratto> tratti;
    for (const auto& p : parti_)
        tratti.push_back({p->inizio(), p->fine()});
    const auto dai = [&](const Voce& v) { consegna(v, f); };
    unisci(tratti, dai);
}

std::size_t Deduplica::dividi(std::size_t byte, std::size_t almeno)
{
    confini_.clear();
    if (!corse_.empty())
        return 0;
    ordina();
    const Parte* grande = nullptr;
    std::size_t stima = 0;  // at most the text the items take
    bool lunghe = false;
    for (const auto& p : parti_) {
        stima += p->quante * byteChiave + p->byteTesti;
        lunghe = lunghe || p->byteTesti != 0;
        if (grande == nullptr || p->quante > grande->quante)
            grande = p.get();
    }
    if (grande == nullptr || grande->quante == 0)
        return 0;
    const std::size_t n = std::min(std::max(almeno, stima / std::max<std::size_t>(byte, 1) + 1), grande->quante);

    // The parts take items by hash, so each spans the whole order much as
    // the others do: items of the largest part evenly spaced by what their
    // lines cost cut all of them into ranges of about the same size. With
    // items of up to sixteen bytes, evenly spaced items are enough; longer
    // ones may crowd together in the order, so then their lengths count
    // (an item copied by reference counts as a short one).
    const Voce* const voci = grande->inizio();
    const std::size_t q = grande->quante;
    std::vector<std::size_t> tagli(n + 1, q);
    tagli[0] = 0;
    if (!lunghe) {
        for (std::size_t j = 1; j < n; ++j)
            tagli[j] = static_cast<std::size_t>(static_cast<Chiave128>(j) * q / n);
    } else {
        const auto peso = [&](std::size_t k) {
            const std::size_t l = voci[k].lunghezza();
            return static_cast<Chiave128>(l > testoDiretto ? 1 : l + 1);
        };
        Chiave128 tutto = 0;
        for (std::size_t k = 0; k < q; ++k)
            tutto += peso(k);
        Chiave128 somma = 0;
        std::size_t j = 1;
        for (std::size_t k = 0; k < q && j < n; ++k) {
            somma += peso(k);
            while (j < n && somma * n >= tutto * j)
                tagli[j++] = std::min(k + 1, q - 1);
        }
    }
    const std::size_t P = parti_.size();
    confini_.resize((n + 1) * P);
    for (std::size_t p = 0; p < P; ++p) {
        confini_[p] = 0;
        confini_[n * P + p] = parti_[p]->quante;
    }
    for (std::size_t j = 1; j < n; ++j) {
        const Voce& divisore = voci[tagli[j]];
        for (std::size_t p = 0; p < P; ++p) {
            const Parte& parte = *parti_[p];
            confini_[j * P + p] = static_cast<std::size_t>(
                std::lower_bound(parte.inizio(), parte.fine(), divisore, Minore{}) - parte.inizio());
        }
    }
    return n;
}

std::size_t Deduplica::accoda(std::size_t i, std::string_view fine, Blocco& uscita, std::vector<Inserto>& lunghe) const
{
    const std::size_t P = parti_.size();
    std::vector<Tratto> tratti;
    for (std::size_t p = 0; p < P; ++p)
        tratti.push_back({parti_[p]->inizio() + confini_[i * P + p], parti_[p]->inizio() + confini_[(i + 1) * P + p]});
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
    for (const Tratto& t : tratti)
        voci += static_cast<std::size_t>(t.a - t.da);
    const std::size_t stima = inPagineGrandi(voci * (byteChiave + nFine) + margine);
    if (uscita.size() < stima) {
        uscita.clear();
        uscita.resize(stima);
    }
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
            uscita.resize(std::max(uscita.size() * 2, usati + copiati + margine));
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
    ScritturaCorsa scrittura(nuovoSupporto_(), bufferCorsa());
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
    const std::size_t perCorsa = bufferCorsa(regole_.fanIn);
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
    // Merge passes of at most fanIn runs each, the smallest last runs first,
    // until one run is left: its items are the distinct items of the file.
    while (corse_.size() > 1)
        unisciUltime(std::min<std::size_t>(corse_.size(), regole_.fanIn));
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
    LetturaCorsa lettura(*c.supporto, c.byte, bufferCorsa());
    while (lettura.avanza())
        f(lettura.voce());
}


}  // namespace nucleo
