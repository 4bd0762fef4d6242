#include "processing/nucleo/Nucleo.h"

#include "processing/nucleo/Squadra.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

// ---------------------------------------------------------------- tables --

// The slots of a hash table of items, all empty (every byte 0xFF, so an
// empty slot's length is the largest there is), in huge pages when large,
// on the run's budget.
class Tavola {
public:
    Tavola() = default;
    // A table of n slots, or an invalid one when the budget has no room
    // for it (or the system none); `comunque` takes it whatever the budget.
    Tavola(Bilancio& bilancio, std::size_t n, bool comunque) : bilancio_(&bilancio)
    {
        const std::size_t byte = n * sizeof(Voce);
        dati_ = static_cast<Voce*>(comunque ? bilancio.allocaComunque(byte) : bilancio.alloca(byte));
        if (dati_ == nullptr)
            return;
        quante_ = n;
        vuota();
    }
    Tavola(Tavola&& altra) noexcept
        : bilancio_(altra.bilancio_), dati_(std::exchange(altra.dati_, nullptr)), quante_(std::exchange(altra.quante_, 0))
    {
    }
    Tavola& operator=(Tavola&& altra) noexcept
    {
        std::swap(bilancio_, altra.bilancio_);
        std::swap(dati_, altra.dati_);
        std::swap(quante_, altra.quante_);
        return *this;
    }
    ~Tavola()
    {
        if (dati_ != nullptr)
            bilancio_->libera(dati_, quante_ * sizeof(Voce));
    }

    bool valida() const noexcept { return dati_ != nullptr; }
    void vuota() noexcept { std::memset(static_cast<void*>(dati_), 0xFF, quante_ * sizeof(Voce)); }
    Voce& operator[](std::size_t i) noexcept { return dati_[i]; }
    const Voce& operator[](std::size_t i) const noexcept { return dati_[i]; }
    std::size_t size() const noexcept { return quante_; }
    Voce* begin() noexcept { return dati_; }
    Voce* end() noexcept { return dati_ + quante_; }
    const Voce* begin() const noexcept { return dati_; }
    const Voce* end() const noexcept { return dati_ + quante_; }

private:
    Bilancio* bilancio_ = nullptr;
    Voce* dati_ = nullptr;
    std::size_t quante_ = 0;
};

// ------------------------------------------------------------------ keys --

constexpr std::size_t byteChiave = sizeof(Voce::chiave);
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

// ------------------------------------------------------------ the parts --

// The distinct items of one part, in an open-addressing hash table of the
// items themselves (linear probing, home slot from the top bits of the
// hash): checking an item reads one slot, and an item of up to sixteen
// bytes is settled there without following any pointer. The text of the
// long items is copied out of the file's text. To sort, the table is
// packed to its front and sorted in place; after a run is written the part
// starts again in the same memory, so no page is faulted in twice. The
// table and the text are taken on the run's budget: when it has no room,
// the part refuses the item and the run writes what it holds first.
struct Deduplica::Parte {
    Parte(Bilancio& conto, std::size_t memoria) : bilancio(conto)
    {
        byteTesto = std::clamp<std::size_t>(memoria / 64, 256, std::size_t{4} << 20);
        tavola = Tavola(bilancio, std::size_t{1} << bitMinimi, true);
        misura(bitMinimi);
    }
    ~Parte() { liberaTesti(); }

    Bilancio& bilancio;
    // Set when even an empty part had no room for the next item: it takes
    // that one whatever the budget, so that the run always moves on (an
    // item the system cannot hold ends it as out of memory).
    bool comunque = false;

    void* alloca(std::size_t byte) { return comunque ? bilancio.allocaComunque(byte) : bilancio.alloca(byte); }

    // ------------------------------------------------------------ table --
    static constexpr std::uint64_t vuota = ~std::uint64_t{0};  // an empty slot (no address is that high)
    static constexpr int bitMinimi = 3;

    Tavola tavola;
    std::size_t maschera = 0;
    int spostamento = 0;
    std::size_t soglia = 0;
    std::size_t quante = 0;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento; }
    int bit() const noexcept { return 64 - spostamento; }

    void misura(int bit)
    {
        maschera = tavola.size() - 1;
        spostamento = 64 - bit;
        soglia = tavola.size() * 7 / 10;
    }

    // Makes the (empty) table large enough for `n` items where the budget
    // allows, or as large as it allows.
    void prepara(std::size_t n)
    {
        int voluti = bit();
        while ((std::size_t{1} << voluti) * 7 / 10 <= n)
            ++voluti;
        if (voluti == bit())
            return;
        const int prima = bit();
        for (int b = voluti; b > prima; --b) {
            Tavola nuova(bilancio, std::size_t{1} << b, false);
            if (nuova.valida()) {
                tavola = std::move(nuova);
                misura(b);
                return;
            }
        }
    }

    // Twice the slots, the old table living on while the new one fills.
    bool raddoppia()
    {
        Tavola nuova(bilancio, tavola.size() * 2, comunque);
        if (!nuova.valida())
            return false;
        Tavola vecchia = std::exchange(tavola, std::move(nuova));
        misura(bit() + 1);
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
        return true;
    }

    void anticipa(std::uint64_t h) const noexcept { __builtin_prefetch(&tavola[casa(h)]); }

    // Keeps the item `testo` (keys in `v`, hash `h`) unless an equal item
    // is kept. An item of up to sixteen bytes is settled by its 24 bytes.
    // False when the budget has no room for it (nothing is kept then).
    bool aggiungi(Voce v, std::uint64_t h, std::string_view testo)
    {
        if (quante >= soglia && !raddoppia())
            return false;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera) {
            Voce& cella = tavola[i];
            if (cella.resto == vuota) {
                if (testo.size() > byteChiave) {
                    const char* dove = copia(testo);
                    if (dove == nullptr)
                        return false;
                    v.resto |= reinterpret_cast<std::uintptr_t>(dove);
                }
                cella = v;
                ++quante;
                return true;
            }
            if (cella.chiave[0] != v.chiave[0] || cella.chiave[1] != v.chiave[1])
                continue;
            if (testo.size() <= byteChiave) {
                if (cella.resto == v.resto)
                    return true;
            } else if ((cella.resto >> 48) == (v.resto >> 48) && cella.lunghezza() == testo.size() &&
                       std::memcmp(cella.dati() + byteChiave, testo.data() + byteChiave, testo.size() - byteChiave) == 0) {
                return true;
            }
        }
    }

    // ------------------------------------------------- long items' text --
    // Whole, so that a long item is handed over as it is, never rebuilt.
    struct Testo {
        char* dati;
        std::size_t byte;
    };
    std::vector<Testo> testi;
    std::size_t byteTesto = 0;   // the size of a block of short items' text
    std::size_t byteTesti = 0;   // all the text blocks
    std::size_t liberi = 0;
    char* cursore = nullptr;

    char* nuovoBlocco(std::size_t n)
    {
        testi.reserve(testi.size() + 1);
        char* blocco = static_cast<char*>(alloca(n));
        if (blocco != nullptr) {
            testi.push_back({blocco, n});
            byteTesti += n;
        }
        return blocco;
    }
    void liberaTesti() noexcept
    {
        for (const Testo& t : testi)
            bilancio.libera(t.dati, t.byte);
        testi.clear();
        byteTesti = 0;
        liberi = 0;
        cursore = nullptr;
    }

    // Where the item's text now lies (a length that does not fit in the
    // item's 16 bits comes first, in 8 bytes), or nullptr when the budget
    // has no room for it.
    const char* copia(std::string_view testo)
    {
        if (testo.size() >= Voce::lunga) {
            const std::uint64_t n = testo.size();
            char* blocco = nuovoBlocco(sizeof n + testo.size());
            if (blocco == nullptr)
                return nullptr;
            std::memcpy(blocco, &n, sizeof n);
            std::memcpy(blocco + sizeof n, testo.data(), testo.size());
            return blocco;
        }
        if (testo.size() > liberi) {
            // An item larger than a block gets one of its own; the current
            // block stays in use for the next items.
            const std::size_t n = std::max(testo.size(), byteTesto);
            char* blocco = nuovoBlocco(n);
            if (blocco == nullptr)
                return nullptr;
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
        liberaTesti();
        quante = 0;
        tavola.vuota();
    }

    // Empty again, its table given back down to the least.
    void restringi()
    {
        liberaTesti();
        quante = 0;
        if (bit() != bitMinimi) {
            tavola = Tavola();
            tavola = Tavola(bilancio, std::size_t{1} << bitMinimi, true);
            misura(bitMinimi);
        } else {
            tavola.vuota();
        }
    }

    // Takes the items of the round's lists for part p from `da` on, in
    // blocks of two stages: the first computes the keys and fetches the
    // slots ahead, so that the cache misses of a whole block overlap
    // instead of following one another; the second decides. False when
    // the budget ran out: `da` is then the first item not taken.
    bool prendi(const std::vector<Immissione>& immissioni, std::size_t p, Posizione& da)
    {
        // An empty part takes a table for what this round brings at once,
        // instead of doubling its way there.
        if (quante == 0) {
            std::size_t arrivi = 0;
            for (std::size_t s = da.sezione; s < immissioni.size(); ++s)
                arrivi += immissioni[s].perParte_[p].quante;
            prepara(arrivi - std::min(arrivi, da.arrivo));
        }
        constexpr std::size_t blocco = 32;
        Voce nuove[blocco];
        for (; da.sezione < immissioni.size(); ++da.sezione, da.arrivo = 0) {
            const Immissione::Coda& coda = immissioni[da.sezione].perParte_[p];
            while (da.arrivo < coda.quante) {
                const std::size_t m = std::min(coda.quante - da.arrivo, blocco);
                const Immissione::Arrivo* a = coda.arrivi + da.arrivo;
                for (std::size_t k = 0; k < m; ++k) {
                    nuove[k] = {{ottoByte(a[k].dati, a[k].lunghezza, 0), ottoByte(a[k].dati, a[k].lunghezza, 8)},
                                std::min<std::uint64_t>(a[k].lunghezza, Voce::lunga) << 48};
                    anticipa(a[k].hash);
                }
                for (std::size_t k = 0; k < m; ++k) {
                    if (!aggiungi(nuove[k], a[k].hash, std::string_view(a[k].dati, a[k].lunghezza))) {
                        da.arrivo += k;
                        return false;
                    }
                    comunque = false;
                }
                da.arrivo += m;
            }
        }
        return true;
    }
};

// ------------------------------------------------------------ intake --

namespace {

// The least a round list holds, taken whatever the budget: a reader must
// always be able to give some items.
constexpr std::size_t arriviMinimi = 64;

}  // namespace

bool Immissione::cresci(Coda& coda)
{
    const std::size_t nuova = std::max(coda.capienza * 2, arriviMinimi);
    auto* arrivi = static_cast<Arrivo*>(bilancio_->alloca(nuova * sizeof(Arrivo)));
    if (arrivi == nullptr)
        return false;
    if (coda.quante != 0)
        std::memcpy(static_cast<void*>(arrivi), coda.arrivi, coda.quante * sizeof(Arrivo));
    bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
    coda.arrivi = arrivi;
    coda.capienza = nuova;
    return true;
}

bool Immissione::aggiungi(std::string_view voce)
{
    const std::uint64_t h = hashDi(voce);
    Coda& coda = perParte_[parteDi(h, perParte_.size())];
    if (coda.quante == coda.capienza && !cresci(coda)) [[unlikely]] {
        sospesa_ = true;
        arrivoSospeso_ = {h, voce.data(), voce.size()};
        return false;
    }
    coda.arrivi[coda.quante++] = {h, voce.data(), voce.size()};
    ++quante_;
    return true;
}

bool Immissione::riprendi()
{
    if (!sospesa_)
        return true;
    Coda& coda = perParte_[parteDi(arrivoSospeso_.hash, perParte_.size())];
    if (coda.quante == coda.capienza)
        return false;
    coda.arrivi[coda.quante++] = arrivoSospeso_;
    ++quante_;
    sospesa_ = false;
    return true;
}

void Immissione::dimensiona(std::size_t parti, std::size_t attese)
{
    perParte_.resize(parti);
    for (Coda& coda : perParte_) {
        coda.quante = 0;
        if (coda.capienza == 0) {
            coda.arrivi = static_cast<Arrivo*>(bilancio_->allocaComunque(arriviMinimi * sizeof(Arrivo)));
            coda.capienza = arriviMinimi;
        }
        // Room for the round at once where the budget allows: growing by
        // doubling from nothing faults in every page twice over.
        if (coda.capienza < attese) {
            auto* arrivi = static_cast<Arrivo*>(bilancio_->alloca(attese * sizeof(Arrivo)));
            if (arrivi != nullptr) {
                bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
                coda.arrivi = arrivi;
                coda.capienza = attese;
            }
        }
    }
    quante_ = 0;
    sospesa_ = false;
}

void Immissione::libera() noexcept
{
    for (Coda& coda : perParte_)
        bilancio_->libera(coda.arrivi, coda.capienza * sizeof(Arrivo));
    perParte_.clear();
}

Deduplica::Deduplica(Squadra& squadra, Bilancio& bilancio, Regole regole, NuovoSupporto nuovoSupporto)
    : squadra_(squadra), bilancio_(bilancio), regole_(regole), nuovoSupporto_(std::move(nuovoSupporto))
{
    // A merge holds its runs open and one more being written.
    regole_.fanIn = std::max(regole_.fanIn, 2u);
    if (regole_.corseAperte != 0) {
        regole_.corseAperte = std::max<std::size_t>(regole_.corseAperte, 3);
        regole_.fanIn = static_cast<unsigned>(std::min<std::size_t>(regole_.fanIn, regole_.corseAperte - 1));
    }
    const std::size_t n = squadra_.fili();
    for (std::size_t p = 0; p < n; ++p)
        parti_.push_back(std::make_unique<Parte>(bilancio_, bilancio_.limite() / n));
}

Deduplica::~Deduplica()
{
    for (auto& im : immissioni_)
        im.libera();
}

void Deduplica::assimila(std::size_t sezioni, std::size_t byte,
                         const std::function<bool(std::size_t, Immissione&)>& leggi)
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
    std::vector<char> finite(sezioni, 0);
    for (std::size_t i = 0; i < immissioni_.size(); ++i)
        immissioni_[i].dimensiona(parti_.size(), i < sezioni ? attese : 0);
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
        for (std::size_t i = 0; i < immissioni_.size(); ++i) {
            for (auto& coda : immissioni_[i].perParte_)
                coda.quante = 0;
            immissioni_[i].quante_ = 0;
        }
    }
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
        const bool vuote = std::all_of(parti_.begin(), parti_.end(), [](const auto& p) { return p->quante == 0; });
        if (!vuote) {
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
    const bool vuote = std::all_of(parti_.begin(), parti_.end(), [](const auto& p) { return p->quante == 0; });
    if (!vuote)
        riversa();
    restringi();
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
        const bool vuote = std::all_of(parti_.begin(), parti_.end(), [](const auto& p) { return p->quante == 0; });
        if (vuote)
            restringi();
    }
    return std::clamp<std::size_t>(quanto(), minimo, massimo);
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
    // The parts hold nothing here: their empty tables are given back when
    // the buffers would be too small without that memory.
    const std::size_t perCorsa = bufferCorsa(n + 1);
    const auto primo = corse_.end() - static_cast<std::ptrdiff_t>(n);
    std::vector<Corsa> entrano(std::make_move_iterator(primo), std::make_move_iterator(corse_.end()));
    corse_.erase(primo, corse_.end());
    unsigned livello = 0;
    for (const Corsa& c : entrano)
        livello = std::max(livello, c.livello + 1);
    ScritturaCorsa scrittura(nuovoSupporto_(), perCorsa, bilancio_);
    unisciCorse(entrano, perCorsa, bilancio_, [&](std::string_view v) { scrittura.aggiungi(v); });
    entrano.clear();  // their storage goes as soon as they are merged
    corse_.push_back(scrittura.chiudi());
    corse_.back().livello = livello;
}

void Deduplica::concludi()
{
    for (auto& im : immissioni_)
        im.libera();
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
    restringi();
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
    LetturaCorsa lettura(*c.supporto, c.byte, bufferCorsa(2), bilancio_);
    while (lettura.avanza())
        f(lettura.voce());
}


}  // namespace nucleo
