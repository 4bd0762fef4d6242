#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

// xxHash's XXH3: a proven, fast hash, used inline from its header.
#define XXH_INLINE_ALL
#include <xxhash.h>

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
void ordinaVoci(Voce* a, std::size_t n, unsigned d = 0);

inline std::uint64_t hashDi(std::string_view s) noexcept
{
    return XXH3_64bits(s.data(), s.size());
}

// Which part an item belongs to: from the low half of its hash, while the
// hash sets use the high bits, so the two choices do not interfere.
inline std::size_t parteDi(std::uint64_t hash, std::size_t parti) noexcept
{
    return static_cast<std::size_t>(((hash & 0xFFFFFFFFu) * parti) >> 32);
}

}  // namespace nucleo
