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
        // Equal keys: when both are longer than the keys, their first
        // sixteen bytes are equal and the rest decides; otherwise compare in
        // full (zero padding cannot tell 'ab' from 'ab\0').
        if (a.testo.size() > byteChiave && b.testo.size() > byteChiave)
            return a.testo.substr(byteChiave) < b.testo.substr(byteChiave);
        return a.testo < b.testo;
    }
};

// ---------------------------------------------------------------- dedupe --

std::uint64_t hashDi(std::string_view s) noexcept
{
    return XXH3_64bits(s.data(), s.size());
}

// Which half of the work an item belongs to: a cheap function of its
// first and last bytes, so that equal items always fall in the same half
// and each core hashes only its own items. Items that differ only in the
// middle may all land in one half: still correct, just less parallel.
std::uint64_t metaDi(std::string_view s) noexcept
{
    std::uint64_t primi = 0;
    std::uint64_t ultimi = 0;
    const std::size_t n = std::min<std::size_t>(s.size(), 8);
    std::memcpy(&primi, s.data(), n);
    std::memcpy(&ultimi, s.data() + s.size() - n, n);
    return ((primi ^ (ultimi * 0x9E3779B97F4A7C15ull) ^ s.size()) * 0xD6E8FEB86659FD93ull) >> 63;
}

// Open-addressing hash set of item positions, with linear probing. A slot
// holds the top bits of the item's hash and the position of the kept item
// plus one (0 = empty). The home slot of an item is given by the top bits of
// its hash, so the slots store everything needed to rebuild the table when
// it doubles, without touching the items again; and most probes that meet a
// different item are settled by the stored bits alone. The table starts
// small and doubles, so a file with few distinct items keeps a table that
// fits in the cache.
class InsiemeVoci {
public:
    // `voci` are the items that positions refer to.
    explicit InsiemeVoci(const std::string_view* voci) : voci_(voci) { dimensiona(10); }

    void anticipa(std::uint64_t h) const noexcept
    {
        __builtin_prefetch(&celle_[casa(h)]);
    }

    // The first registered item whose stored hash bits match `h` (the one
    // inserisci will most likely compare with), or null. Only a hint.
    const std::string_view* candidato(std::uint64_t h) const noexcept
    {
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera_) {
            const std::uint64_t cella = celle_[i];
            if (cella == 0)
                return nullptr;
            if ((cella & ~mascheraPosizione) == impronta)
                return &voci_[(cella & mascheraPosizione) - 1];
        }
    }

    // Registers the item `voce` with hash `h`, kept at position `pos`,
    // unless an equal item is already registered. True if it was new.
    bool inserisci(std::string_view voce, std::uint64_t h, std::uint64_t pos)
    {
        if (pieni_ >= soglia_)
            raddoppia();
        const std::uint64_t impronta = h & ~mascheraPosizione;
        for (std::size_t i = casa(h);; i = (i + 1) & maschera_) {
            const std::uint64_t cella = celle_[i];
            if (cella == 0) {
                celle_[i] = impronta | (pos + 1);
                ++pieni_;
                return true;
            }
            if ((cella & ~mascheraPosizione) == impronta && voci_[(cella & mascheraPosizione) - 1] == voce)
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
            const std::uint64_t h = bastanoImpronte ? cella : hashDi(voci_[(cella & mascheraPosizione) - 1]);
            std::size_t i = casa(h);
            while (celle_[i] != 0)
                i = (i + 1) & maschera_;
            celle_[i] = cella;
        }
    }

    const std::string_view* voci_;
    std::vector<std::uint64_t> celle_;
    std::size_t maschera_ = 0;
    int spostamento_ = 0;
    std::size_t soglia_ = 0;
    std::size_t pieni_ = 0;
};

// Below this many items one thread is faster than starting another.
constexpr std::size_t sogliaParallela = 1 << 16;

// Adds to `tenute` one copy of each distinct item among those of `voci`
// in half `meta` (see metaDi), or among all of them when `meta` is negative.
void tieniPartizione(const std::vector<std::string_view>& voci, int meta, std::vector<Voce>& tenute)
{
    // Items are handled in blocks, in stages that fetch ahead what the next
    // stage needs (the slots, then the item a slot names, then its bytes),
    // so that the cache misses of a whole block overlap instead of
    // following one another. Only the last stage decides anything.
    constexpr std::size_t blocco = 32;
    const std::size_t n = voci.size();
    InsiemeVoci visti(voci.data());
    tenute.reserve((meta < 0 ? n : n / 2) + 16);  // never touched beyond what is kept
    std::uint64_t hash[blocco];
    std::size_t indice[blocco];
    for (std::size_t inizio = 0; inizio < n; inizio += blocco) {
        const std::size_t fineBlocco = std::min(n, inizio + blocco);
        std::size_t m = 0;
        for (std::size_t i = inizio; i < fineBlocco; ++i) {
            if (meta >= 0 && metaDi(voci[i]) != static_cast<std::uint64_t>(meta))
                continue;
            hash[m] = hashDi(voci[i]);
            indice[m++] = i;
            visti.anticipa(hash[m - 1]);
        }
        const std::string_view* candidati[blocco];
        for (std::size_t k = 0; k < m; ++k) {
            candidati[k] = visti.candidato(hash[k]);
            if (candidati[k] != nullptr)
                __builtin_prefetch(candidati[k]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            if (candidati[k] != nullptr)
                __builtin_prefetch(candidati[k]->data());
        }
        for (std::size_t k = 0; k < m; ++k) {
            // A kept item's key is taken now, while its bytes are in the cache.
            if (visti.inserisci(voci[indice[k]], hash[k], indice[k]))
                tenute.push_back(voceDi(voci[indice[k]]));
        }
    }
}

}  // namespace

unsigned fili() noexcept
{
    return std::max(1u, std::min(2u, std::thread::hardware_concurrency()));
}

Elenco tieniUniche(std::vector<std::string_view>&& righe)
{
    Elenco elenco;
    const std::size_t n = righe.size();
    if (n < sogliaParallela || fili() < 2) {
        tieniPartizione(righe, -1, elenco.parti_.emplace_back());
    } else {
        // Two halves, one per core: equal items fall in the same half, so
        // each half is deduplicated on its own.
        elenco.parti_.resize(2);
        inParallelo([&] { tieniPartizione(righe, 0, elenco.parti_[0]); },
                    [&] { tieniPartizione(righe, 1, elenco.parti_[1]); });
    }
    righe = {};
    for (const auto& parte : elenco.parti_)
        elenco.quante_ += static_cast<std::int64_t>(parte.size());
    return elenco;
}

void Elenco::ordina()
{
    // Each part on its own core; visita() merges them.
    if (parti_.size() == 2)
        inParallelo([&] { std::sort(parti_[0].begin(), parti_[0].end(), Minore{}); },
                    [&] { std::sort(parti_[1].begin(), parti_[1].end(), Minore{}); });
    else
        for (auto& parte : parti_)
            std::sort(parte.begin(), parte.end(), Minore{});
    ordinato_ = true;
}

void Elenco::unisci(const std::vector<Voce>& a, const std::vector<Voce>& b,
                    void (*f)(void*, std::string_view), void* contesto) const
{
    auto i = a.begin();
    auto j = b.begin();
    while (i != a.end() && j != b.end())
        f(contesto, Minore{}(*j, *i) ? (j++)->testo : (i++)->testo);
    for (; i != a.end(); ++i)
        f(contesto, i->testo);
    for (; j != b.end(); ++j)
        f(contesto, j->testo);
}

}  // namespace nucleo
