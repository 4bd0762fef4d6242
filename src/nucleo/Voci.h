#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <vector>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

#include "Hash.h"
#include "Verifica.h"

// What the core's parts share about items: their keys and their order, the
// merge of sorted stretches, the sort, and the hash that places them.
namespace nucleo {

// An item in 24 bytes: its first sixteen bytes as two big-endian numbers
// (zero-padded), so that comparing the numbers compares those bytes and
// most comparisons are settled without following a pointer, and an item of
// up to sixteen bytes needs no text at all; then its length (in the top 16
// bits, 0xFFFF for a length that heads the text instead) and the address of
// the whole text of a longer item (in the low 48 bits, as wide as the
// addresses a process has).
struct Voce {
    std::uint64_t chiave[2];
    std::uint64_t resto;

    static constexpr std::uint64_t lunga = 0xFFFF;
    static constexpr std::uint64_t mascheraIndirizzo = (std::uint64_t{1} << 48) - 1;

    std::size_t lunghezza() const noexcept
    {
        const std::uint64_t n = resto >> 48;
        if (n != lunga)
            return static_cast<std::size_t>(n);
        std::uint64_t intera;
        std::memcpy(&intera, reinterpret_cast<const char*>(resto & mascheraIndirizzo), sizeof intera);
        return static_cast<std::size_t>(intera);
    }
    const char* dati() const noexcept
    {
        const char* p = reinterpret_cast<const char*>(resto & mascheraIndirizzo);
        return (resto >> 48) == lunga ? p + sizeof(std::uint64_t) : p;
    }
};
// Items are copied and cleared as bytes (an empty slot is all 0xFF bytes),
// and the tables, chunks and lists are sized at 24 bytes an item.
static_assert(sizeof(Voce) == 24 && std::is_trivially_copyable_v<Voce>);
// The address of a long item's text shares one 64-bit word with its length,
// whose field's largest value is the marker of a length heading the text.
static_assert(sizeof(std::uintptr_t) == sizeof(std::uint64_t) && Voce::lunga == (~std::uint64_t{0} >> 48));

inline constexpr std::size_t byteChiave = sizeof(Voce::chiave);
// Items longer than this are handed on where they lie, not copied into the
// copy's lines.
inline constexpr std::size_t testoDiretto = std::size_t{64} << 10;

inline std::uint64_t ottoByte(const char* p, std::size_t n, std::size_t da) noexcept
{
    std::uint64_t k = 0;
    if (da < n)
        std::memcpy(&k, p + da, std::min<std::size_t>(n - da, 8));
    if constexpr (std::endian::native == std::endian::little)
        k = __builtin_bswap64(k);
    return k;
}

// The keys of an item of up to sixteen bytes, by loads that overlap rather
// than a copy of a length known only now.
inline void chiaviBrevi(const char* p, std::size_t n, std::uint64_t& k0, std::uint64_t& k1) noexcept
{
    const auto carica8 = [](const char* q) {
        std::uint64_t x;
        std::memcpy(&x, q, 8);
        if constexpr (std::endian::native == std::endian::little)
            x = __builtin_bswap64(x);
        return x;
    };
    const auto carica4 = [](const char* q) {
        std::uint32_t x;
        std::memcpy(&x, q, 4);
        if constexpr (std::endian::native == std::endian::little)
            x = __builtin_bswap32(x);
        return std::uint64_t{x};
    };
    k1 = 0;
    if (n >= 8) {
        k0 = carica8(p);
        if (n > 8)
            k1 = carica8(p + n - 8) << (8 * (16 - n));
    } else if (n >= 4) {
        // The first four bytes and the last four, which may overlap.
        k0 = (carica4(p) << 32) | (carica4(p + n - 4) << (8 * (8 - n)));
    } else if (n > 0) {
        const auto b = [&](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])} << (56 - 8 * i); };
        k0 = b(0) | b(n / 2) | b(n - 1);
    } else {
        k0 = 0;
    }
}

__extension__ using Chiave128 = unsigned __int128;

// An item's two keys as one number, in the same order as their bytes.
inline Chiave128 chiaveIntera(const Voce& v) noexcept
{
    return (static_cast<Chiave128>(v.chiave[0]) << 64) | v.chiave[1];
}

// The order of items: bytewise, a prefix first. Its keys stand for an
// item's bytes from `base` on (the sixteen bytes there, zero-padded), among
// items that share their first `base` bytes: 0 but while a group of long
// items sorts past the bytes it shares.
struct Minore {
    std::size_t base = 0;

    bool operator()(const Voce& a, const Voce& b) const noexcept
    {
        // The keys as one 128-bit number: neighbours in a sorted list often
        // share their first eight bytes, and one test that is almost always
        // true costs less than two that go either way.
        const Chiave128 ka = chiaveIntera(a);
        const Chiave128 kb = chiaveIntera(b);
        if (ka != kb) [[likely]]
            return ka < kb;
        // Equal keys. An item that ends within them is then a prefix of the
        // other (the zero padding of its keys matches the other's bytes), so
        // the shorter comes first; otherwise the bytes after the keys decide.
        const std::size_t fine = base + byteChiave;
        const std::size_t na = a.lunghezza();
        const std::size_t nb = b.lunghezza();
        if (na <= fine || nb <= fine)
            return na < nb;
        return std::string_view(a.dati() + fine, na - fine) < std::string_view(b.dati() + fine, nb - fine);
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

// Whether the keys of `v` are the n bytes at p (up to sixteen), zero-padded:
// what the order and the same-item test take an item's keys to be.
inline bool chiaviDi(const Voce& v, const char* p, std::size_t n) noexcept
{
    char byte[16];
    scriviChiavi(v, byte);
    const std::size_t m = std::min<std::size_t>(n, sizeof byte);
    for (std::size_t i = m; i < sizeof byte; ++i)
        if (byte[i] != 0)
            return false;
    return m == 0 || std::memcmp(byte, p, m) == 0;
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

// Byte d (0 to 15) of an item's keys.
inline unsigned byteDi(const Voce& v, unsigned d) noexcept
{
    return static_cast<unsigned>((v.chiave[d >> 3] >> (56 - 8 * (d & 7))) & 0xFF);
}

// The same item, for items of up to sixteen bytes (their keys and length
// are all of them).
inline bool stessaVoce(const Voce& a, const Voce& b) noexcept
{
    return a.chiave[0] == b.chiave[0] && a.chiave[1] == b.chiave[1] && a.resto == b.resto;
}

// The bits in which n items differ from the first: in their two keys and
// (in diversi[2]) their length word's top 16 bits.
inline void differenze(const Voce* a, std::size_t n, std::uint64_t diversi[3]) noexcept
{
    diversi[0] = diversi[1] = diversi[2] = 0;
    for (std::size_t i = 1; i < n; ++i) {
        diversi[0] |= a[i].chiave[0] ^ a[0].chiave[0];
        diversi[1] |= a[i].chiave[1] ^ a[0].chiave[1];
        diversi[2] |= (a[i].resto ^ a[0].resto) >> 48;
    }
}

// A sorted stretch of items.
struct Tratto {
    const Voce* da;
    const Voce* a;
};

// Sorted stretches in ascending order, each after the one before: one
// sorted sequence of items, held in several pieces of memory. Items are
// found by their rank in the whole.
class Catena {
public:
    void aggiungi(Tratto t)
    {
        if (t.da == t.a)
            return;
        tratti_.push_back(t);
        inizi_.push_back(inizi_.back() + static_cast<std::size_t>(t.a - t.da));
    }
    std::size_t size() const noexcept { return inizi_.back(); }
    bool empty() const noexcept { return size() == 0; }
    const std::vector<Tratto>& tratti() const noexcept { return tratti_; }

    const Voce& operator[](std::size_t r) const noexcept
    {
        const std::size_t t = static_cast<std::size_t>(std::upper_bound(inizi_.begin(), inizi_.end(), r) - inizi_.begin()) - 1;
        return tratti_[t].da[r - inizi_[t]];
    }
    // The rank of the first item not less than x.
    std::size_t limiteInferiore(const Voce& x) const
    {
        // The first stretch whose last item is not less than x holds it.
        const auto t = std::partition_point(tratti_.begin(), tratti_.end(),
                                            [&](const Tratto& s) { return Minore{}(s.a[-1], x); });
        if (t == tratti_.end())
            return size();
        const std::size_t i = static_cast<std::size_t>(t - tratti_.begin());
        return inizi_[i] + static_cast<std::size_t>(std::lower_bound(t->da, t->a, x, Minore{}) - t->da);
    }
    // The items of ranks [da, a).
    Catena parte(std::size_t da, std::size_t a) const
    {
        Catena c;
        if (da >= a)
            return c;
        std::size_t t = static_cast<std::size_t>(std::upper_bound(inizi_.begin(), inizi_.end(), da) - inizi_.begin()) - 1;
        for (; t < tratti_.size() && inizi_[t] < a; ++t) {
            const std::size_t lo = std::max(da, inizi_[t]) - inizi_[t];
            const std::size_t hi = std::min(a, inizi_[t + 1]) - inizi_[t];
            c.aggiungi({tratti_[t].da + lo, tratti_[t].da + hi});
        }
        return c;
    }

private:
    std::vector<Tratto> tratti_;
    std::vector<std::size_t> inizi_{0};
};

// Where a merge is in one sorted sequence: the current stretch, and the
// stretches still to come.
struct Cursore {
    const Voce* da;
    const Voce* a;
    const Tratto* prossimo;
    const Tratto* ultimo;

    explicit Cursore(const Catena& c) noexcept
        : da(nullptr), a(nullptr), prossimo(c.tratti().data()), ultimo(c.tratti().data() + c.tratti().size())
    {
        avanza();
    }
    // Moves to the next stretch; false at the end.
    bool avanza() noexcept
    {
        if (prossimo == ultimo)
            return false;
        da = prossimo->da;
        a = prossimo->a;
        ++prossimo;
        return true;
    }
};

// Gives the items of sorted sequences that hold different items to f, all
// in one ascending order (nothing is dropped).
template <class F>
void unisci(const std::vector<Catena>& catene, F& f)
{
    std::vector<Cursore> cursori;
    for (const Catena& c : catene)
        if (!c.empty())
            cursori.emplace_back(c);
    if (cursori.size() == 1) {
        Cursore& c = cursori[0];
        do {
            for (const Voce* v = c.da; v != c.a; ++v)
                f(*v);
        } while (c.avanza());
        return;
    }
    if (cursori.size() == 2) {
        // Which side goes next is a coin toss: the side is chosen and the
        // pointers move by the comparison's value, not by a branch, and the
        // full comparison is needed only for equal keys. The pointers live
        // in locals, as f may write through a char pointer, which could
        // alias anything.
        Cursore& cx = cursori[0];
        Cursore& cy = cursori[1];
        const Voce* x = cx.da;
        const Voce* y = cy.da;
        const Voce* xFine = cx.a;
        const Voce* yFine = cy.a;
        for (;;) {
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
            if (x == xFine) {
                if (!cx.avanza())
                    break;
                x = cx.da;
                xFine = cx.a;
            } else {
                if (!cy.avanza())
                    break;
                y = cy.da;
                yFine = cy.a;
            }
        }
        // One side is at its end; the other gives the rest.
        Cursore& resto = x == xFine ? cy : cx;
        const Voce* r = x == xFine ? y : x;
        const Voce* rFine = x == xFine ? yFine : xFine;
        for (;;) {
            for (; r != rFine; ++r)
                f(*r);
            if (!resto.avanza())
                break;
            r = resto.da;
            rFine = resto.a;
        }
        return;
    }
    const auto maggiore = [](const Cursore& x, const Cursore& y) { return Minore{}(*y.da, *x.da); };
    std::make_heap(cursori.begin(), cursori.end(), maggiore);
    while (!cursori.empty()) {
        std::pop_heap(cursori.begin(), cursori.end(), maggiore);
        Cursore& c = cursori.back();
        f(*c.da++);
        if (c.da != c.a || c.avanza())
            std::push_heap(cursori.begin(), cursori.end(), maggiore);
        else
            cursori.pop_back();
    }
}

// Sorts by the keys' bytes, most significant first, in place (an American
// flag sort): each pass sends the items to 256 buckets by the first byte
// from d on where they differ (the bytes they all share are found at once,
// not counted one by one). Small buckets, and items whose keys are equal,
// are left to a comparison sort, which also looks past the keys.
void ordinaVoci(Voce* a, std::size_t n, unsigned d = 0);
// The same, faster, with room for n more items at `appoggio`.
void ordinaVoci(Voce* a, std::size_t n, Voce* appoggio);

inline std::uint64_t hashDi(std::string_view s) noexcept
{
    return hashUsato(hashTesto(s.data(), s.size()));
}

// The hash of an item of up to sixteen bytes, from its keys and length.
inline std::uint64_t hashBreve(const Voce& v) noexcept
{
    return hashUsato(XXH3_64bits_withSeed(v.chiave, sizeof v.chiave, v.resto));
}

// Which part an item belongs to: from the low half of its hash, while the
// hash sets use the high bits, so the two choices do not interfere.
inline std::size_t parteDi(std::uint64_t hash, std::size_t parti) noexcept
{
    return static_cast<std::size_t>(((hash & 0xFFFFFFFFu) * parti) >> 32);
}

}  // namespace nucleo
