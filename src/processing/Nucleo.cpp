#include "processing/Nucleo.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <thread>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace nucleo {

namespace {

// ------------------------------------------------------------------ keys --

constexpr std::size_t byteChiave = sizeof(Voce::chiave);

std::uint64_t ottoByte(std::string_view s, std::size_t da) noexcept
{
    std::uint64_t k = 0;
    if (da < s.size())
        std::memcpy(&k, s.data() + da, std::min<std::size_t>(s.size() - da, 8));
    if constexpr (std::endian::native == std::endian::little)
        k = __builtin_bswap64(k);
    return k;
}

Voce voceDi(std::string_view s) noexcept
{
    return {{ottoByte(s, 0), ottoByte(s, 8)}, s};
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
        if (a.testo.size() <= byteChiave || b.testo.size() <= byteChiave)
            return a.testo.size() < b.testo.size();
        return a.testo.substr(byteChiave) < b.testo.substr(byteChiave);
    }
};

// ---------------------------------------------------------------- dedupe --

std::uint64_t hashDi(std::string_view s) noexcept
{
    return XXH3_64bits(s.data(), s.size());
}

bool uguali(const Voce& a, const Voce& b) noexcept
{
    // Equal lengths and keys settle items of up to sixteen bytes.
    return a.testo.size() == b.testo.size() && a.chiave[0] == b.chiave[0] && a.chiave[1] == b.chiave[1] &&
           (a.testo.size() <= byteChiave ||
            std::memcmp(a.testo.data() + byteChiave, b.testo.data() + byteChiave, a.testo.size() - byteChiave) == 0);
}

// Open-addressing hash set of the kept items, with linear probing. A slot
// holds the top bits of the item's hash and the kept item's position plus
// one (0 = empty). The home slot of an item is given by the top bits of its
// hash, so the slots hold everything needed to rebuild the table when it
// doubles, without touching the items again; and most probes that meet a
// different item are settled by the stored bits alone. The kept items carry
// their keys, so checking a match for an item of up to sixteen bytes reads
// the kept item only, never the text. The table starts small and doubles,
// so a file with few distinct items keeps a table that fits in the cache.
class InsiemeVoci {
public:
    // `tenute` are the kept items that positions refer to; the caller
    // reserves room for all items so that it never moves.
    explicit InsiemeVoci(const std::vector<Voce>& tenute) : tenute_(tenute) { dimensiona(10); }

    void anticipa(std::uint64_t h) const noexcept
    {
        __builtin_prefetch(&celle_[casa(h)]);
    }

    // The first kept item whose stored hash bits match `h` (the one
    // nuova() will most likely compare with), or null. Only a hint.
    const Voce* candidato(std::uint64_t h) const noexcept
    {
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera_) {
            const std::uint64_t cella = celle_[i];
            if (cella == 0)
                return nullptr;
            if ((cella & ~mascheraPosizione) == impronta)
                return &tenute_[(cella & mascheraPosizione) - 1];
        }
    }

    // True if no kept item equals `voce` (hash `h`); the item is then
    // registered as the one the caller keeps next, at position tenute.size().
    bool nuova(const Voce& voce, std::uint64_t h)
    {
        if (pieni_ >= soglia_)
            raddoppia();
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera_) {
            const std::uint64_t cella = celle_[i];
            if (cella == 0) {
                celle_[i] = impronta | (tenute_.size() + 1);
                ++pieni_;
                return true;
            }
            if ((cella & ~mascheraPosizione) == impronta && uguali(tenute_[(cella & mascheraPosizione) - 1], voce))
                return false;
        }
    }

private:
    static constexpr int bitPosizione = 36;  // up to 2^36 - 1 distinct items
    static constexpr int bitImpronta = 64 - bitPosizione;
    static constexpr std::uint64_t mascheraPosizione = (std::uint64_t{1} << bitPosizione) - 1;

    std::size_t casa(std::uint64_t h) const noexcept { return h >> spostamento_; }

    void dimensiona(int bit)
    {
        celle_.assign(std::size_t{1} << bit, 0);
        maschera_ = celle_.size() - 1;
        spostamento_ = 64 - bit;
        soglia_ = celle_.size() / 10 * 7;
    }

    void raddoppia()
    {
        std::vector<std::uint64_t> vecchie = std::move(celle_);
        dimensiona(64 - spostamento_ + 1);
        // While the home slot fits in the stored bits, the slots are enough;
        // beyond that (tables of over 2^28 slots) the hash is computed anew.
        const bool bastanoImpronte = 64 - spostamento_ <= bitImpronta;
        for (const std::uint64_t cella : vecchie) {
            if (cella == 0)
                continue;
            const std::uint64_t h =
                bastanoImpronte ? cella : hashDi(tenute_[(cella & mascheraPosizione) - 1].testo);
            std::size_t i = casa(h);
            while (celle_[i] != 0)
                i = (i + 1) & maschera_;
            celle_[i] = cella;
        }
    }

    const std::vector<Voce>& tenute_;
    std::vector<std::uint64_t> celle_;
    std::size_t maschera_ = 0;
    int spostamento_ = 0;
    std::size_t soglia_ = 0;
    std::size_t pieni_ = 0;
};

// Below this many items one thread is faster than starting another.
constexpr std::size_t sogliaParallela = 1 << 16;

// The items of one half, as the readers gathered them: lists of blocks.
using Segmenti = std::vector<std::vector<std::unique_ptr<Raccolta::Blocco>>*>;

// Adds to `tenute` one copy of each distinct item of `voci`, releasing each
// block of items once it has been read.
void tieniPartizione(const Segmenti& voci, std::vector<Voce>& tenute)
{
    // Items are handled in blocks, in stages: the first computes the keys
    // and hashes of a block (its bytes are being read anyway) and fetches
    // the slots ahead, the second fetches the kept items those slots name,
    // so that the cache misses of a whole block overlap instead of following
    // one another. Only the last stage decides anything.
    constexpr std::size_t blocco = 32;
    std::size_t n = 0;
    for (const auto* segmento : voci)
        for (const auto& b : *segmento)
            n += b->quante;
    tenute.reserve(n);  // never moves; never touched beyond what is kept
    InsiemeVoci visti(tenute);
    Voce nuove[blocco];
    std::uint64_t hash[blocco];
    const auto tieni = [&](const Raccolta::Vista* voce, std::size_t m) {
        for (std::size_t k = 0; k < m; ++k) {
            nuove[k] = voceDi(voce[k].testo());
            hash[k] = hashDi(nuove[k].testo);
            visti.anticipa(hash[k]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            if (const Voce* c = visti.candidato(hash[k]))
                __builtin_prefetch(c);
        }
        for (std::size_t k = 0; k < m; ++k) {
            if (visti.nuova(nuove[k], hash[k]))
                tenute.push_back(nuove[k]);
        }
    };
    for (auto* segmento : voci) {
        for (auto& b : *segmento) {
            for (std::size_t inizio = 0; inizio < b->quante; inizio += blocco)
                tieni(b->voci + inizio, std::min(b->quante - inizio, blocco));
            b.reset();
        }
        segmento->clear();
    }
}

}  // namespace

unsigned fili() noexcept
{
    return std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
}

Elenco tieniUniche(std::vector<Raccolta>&& righe)
{
    Elenco elenco;
    Segmenti meta[2];
    std::size_t n = 0;
    for (Raccolta& r : righe) {
        for (unsigned m = 0; m < 2; ++m)
            meta[m].push_back(&r.meta(m));
        n += r.size();
    }
    elenco.parti_.resize(2);
    // Equal items fall in the same half, so each half is deduplicated on
    // its own, one per core when there are enough items.
    if (n >= sogliaParallela && fili() >= 2) {
        inParallelo([&] { tieniPartizione(meta[0], elenco.parti_[0]); },
                    [&] { tieniPartizione(meta[1], elenco.parti_[1]); });
    } else {
        tieniPartizione(meta[0], elenco.parti_[0]);
        tieniPartizione(meta[1], elenco.parti_[1]);
    }
    righe.clear();
    for (const auto& parte : elenco.parti_)
        elenco.quante_ += static_cast<std::int64_t>(parte.size());
    return elenco;
}

void Elenco::ordina()
{
    // Each part on its own core; visita() merges them.
    if (quante_ >= static_cast<std::int64_t>(sogliaParallela) && fili() >= 2)
        inParallelo([&] { std::sort(parti_[0].begin(), parti_[0].end(), Minore{}); },
                    [&] { std::sort(parti_[1].begin(), parti_[1].end(), Minore{}); });
    else
        for (auto& parte : parti_)
            std::sort(parte.begin(), parte.end(), Minore{});
    ordinato_ = true;
}

bool minore(const Voce& a, const Voce& b) noexcept
{
    return Minore{}(a, b);
}

}  // namespace nucleo
