#include "Voci.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

namespace nucleo {

namespace {

// The first key byte from d on where the items differ (byteChiave when
// their keys are all equal): one pass of XORs against the first item, in
// place of a counting pass for every byte they share.
unsigned primoDiverso(const Voce* a, std::size_t n, unsigned d) noexcept
{
    std::uint64_t diversi[3];
    differenze(a, n, diversi);
    // Only the bytes from d on count.
    if (d >= 8) {
        diversi[0] = 0;
        diversi[1] &= d == 8 ? ~std::uint64_t{0} : ~std::uint64_t{0} >> (8 * (d - 8));
    } else if (d > 0) {
        diversi[0] &= ~std::uint64_t{0} >> (8 * d);
    }
    if (diversi[0] != 0)
        return static_cast<unsigned>(std::countl_zero(diversi[0])) / 8;
    if (diversi[1] != 0)
        return 8 + static_cast<unsigned>(std::countl_zero(diversi[1])) / 8;
    return byteChiave;
}

// A group too small for a radix pass: insertion sort when tiny, else
// the comparison sort.
void ordinaPiccola(Voce* a, std::size_t n, std::size_t base)
{
    const Minore minore{base};
    if (n >= 24) {
        std::sort(a, a + n, minore);
        return;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const Voce v = a[i];
        std::size_t j = i;
        for (; j > 0 && minore(v, a[j - 1]); --j)
            a[j] = a[j - 1];
        a[j] = v;
    }
}

// Counts the items by their key byte d, and where each byte's items start
// once they are in order.
void contaByte(const Voce* a, std::size_t n, unsigned d, std::size_t (&conta)[256], std::size_t (&inizi)[256])
{
    std::fill(std::begin(conta), std::end(conta), std::size_t{0});
    for (std::size_t i = 0; i < n; ++i)
        ++conta[byteDi(a[i], d)];
    std::size_t somma = 0;
    for (unsigned c = 0; c < 256; ++c) {
        inizi[c] = somma;
        somma += conta[c];
    }
}

// Texts are fetched this many items ahead where each item's lies elsewhere.
constexpr std::size_t avanti = 8;

// Sets the keys of n long items to their sixteen bytes from `da` on.
void chiaviDa(Voce* a, std::size_t n, std::size_t da)
{
    for (std::size_t i = 0; i < n; ++i) {
        if (i + avanti < n)
            __builtin_prefetch(a[i + avanti].dati() + da);
        const std::size_t l = a[i].lunghezza();
        a[i].chiave[0] = ottoByte(a[i].dati(), l, da);
        a[i].chiave[1] = ottoByte(a[i].dati(), l, da + 8);
    }
}

// For n items that share their first `fine` bytes, all longer than that,
// the shortest `minimo` bytes long: how many bytes they share.
std::size_t prefissoComune(const Voce* a, std::size_t n, std::size_t fine, std::size_t minimo)
{
    std::size_t comune = minimo;
    const char* primo = a[0].dati();
    for (std::size_t i = 1; i < n && comune > fine; ++i) {
        if (i + avanti < n)
            __builtin_prefetch(a[i + avanti].dati() + fine);
        const char* p = a[i].dati();
        // Most items share all of it: one comparison of the whole says so.
        if (std::memcmp(p + fine, primo + fine, comune - fine) == 0)
            continue;
        std::size_t k = fine;
        while (k + 8 <= comune && std::memcmp(p + k, primo + k, 8) == 0)
            k += 8;
        while (k < comune && p[k] == primo[k])
            ++k;
        comune = k;
    }
    return comune;
}

// How many times a group moves its keys on past shared bytes before it is
// sorted by comparisons instead: each move reads every item's text again
// at a new place, where a comparison reads on along the text, so items
// that share prefix upon prefix, a few parting at each, cost no more than
// the comparisons would.
constexpr unsigned mosseMassime = 16;

void ordinaDa(Voce* a, std::size_t n, unsigned d, std::size_t base, unsigned mosse);

// Long items whose keys (their first sixteen bytes) are all equal, often
// with many more bytes in common. The keys, redundant for a long item,
// stand for the bytes after the shared ones while the group sorts, so
// that most comparisons read no text; then they are put back.
void ordinaUguali(Voce* a, std::size_t n, std::size_t minimo)
{
    const std::size_t comune = prefissoComune(a, n, byteChiave, minimo);
    chiaviDa(a, n, comune);
    ordinaDa(a, n, 0, comune, 0);
    chiaviDa(a, n, 0);
}

// The keys sorted as whole numbers; each group of equal keys but the
// largest goes on past them by a call of its own. The largest group (its
// start and size) is left to the caller.
std::pair<std::size_t, std::size_t> ordinaPerChiavi(Voce* a, std::size_t n, std::size_t base, unsigned mosse)
{
    std::sort(a, a + n, [](const Voce& x, const Voce& y) { return chiaveIntera(x) < chiaveIntera(y); });
    std::size_t daGrande = 0;
    std::size_t nGrande = 0;
    for (std::size_t i = 0; i < n;) {
        std::size_t j = i + 1;
        while (j < n && chiaveIntera(a[j]) == chiaveIntera(a[i]))
            ++j;
        if (j - i > nGrande) {
            if (nGrande > 1)
                ordinaDa(a + daGrande, nGrande, byteChiave, base, mosse);
            daGrande = i;
            nGrande = j - i;
        } else if (j - i > 1) {
            ordinaDa(a + i, j - i, byteChiave, base, mosse);
        }
        i = j;
    }
    return {daGrande, nGrande};
}

// Moves each item, in place, to the group of its key byte d: `conta`
// items a group, the first free place of each in `prossima`.
void distribuisci(Voce* a, unsigned d, const std::size_t* conta, std::size_t* prossima)
{
    std::size_t fine[256];
    for (unsigned c = 0; c < 256; ++c)
        fine[c] = prossima[c] + conta[c];
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
}

// MSD radix sort on the key bytes from d on, of items whose keys stand for
// their bytes from `base` on. A group whose keys are all equal moves its
// keys past the bytes it shares (only where they stand for the first bytes
// does ordinaUguali put them back after). Every group but the largest is
// sorted by a call of its own, the largest by the loop: each call has at
// most half the items of its caller, so the stack stays shallow whatever
// the items. `mosse` counts the moves made so far.
void ordinaDa(Voce* a, std::size_t n, unsigned d, std::size_t base, unsigned mosse)
{
    constexpr std::size_t media = 128;
    for (;;) {
        if (n < 24) {
            ordinaPiccola(a, n, base);
            return;
        }
        if (d < byteChiave)
            d = primoDiverso(a, n, d);
        if (d >= byteChiave) {
            std::size_t minimo = std::numeric_limits<std::size_t>::max();
            for (std::size_t i = 0; i < n; ++i)
                minimo = std::min(minimo, a[i].lunghezza());
            if (minimo <= base + byteChiave || mosse == mosseMassime) {
                // An item that ends within the keys is a prefix of the
                // others: the lengths settle what the keys do not.
                std::sort(a, a + n, Minore{base});
                return;
            }
            if (base == 0) {
                ordinaUguali(a, n, minimo);
                return;
            }
            base = prefissoComune(a, n, base + byteChiave, minimo);
            chiaviDa(a, n, base);
            d = 0;
            ++mosse;
            continue;
        }
        if (n < media) {
            ordinaPiccola(a, n, base);
            return;
        }
        std::size_t conta[256];
        std::size_t prossima[256];
        contaByte(a, n, d, conta, prossima);
        unsigned grande = 0;
        for (unsigned c = 1; c < 256; ++c)
            if (conta[c] > conta[grande])
                grande = c;
        if (conta[grande] >= n - n / 8) {
            // Nearly all share this byte too, as where items differ in how
            // long a run of one byte goes on: a pass a byte would move few
            // items each time. The keys are sorted as whole numbers
            // instead; each group of equal keys then goes on past them.
            const auto [daGrande, nGrande] = ordinaPerChiavi(a, n, base, mosse);
            a += daGrande;
            n = nGrande;
            d = byteChiave;
            continue;
        }
        distribuisci(a, d, conta, prossima);
        std::size_t da = 0;
        std::size_t daGrande = 0;
        for (unsigned c = 0; c < 256; ++c) {
            if (c == grande)
                daGrande = da;
            else if (conta[c] > 1)
                ordinaDa(a + da, conta[c], d + 1, base, mosse);
            da += conta[c];
        }
        a += daGrande;
        n = conta[grande];
        ++d;
    }
}

}  // namespace

void ordinaVoci(Voce* a, std::size_t n, unsigned d)
{
    ordinaDa(a, n, d, 0, 0);
}

namespace {

// Sorts the n items at `dati` with `altro` (room for as many) beside them:
// each pass sends them from one to the other by the first byte where they
// differ, so that every move is independent of the one before (an in-place
// pass chains them). The result ends in `dati` when `inDati`, otherwise in
// `altro`.
void ordinaDoppio(Voce* dati, Voce* altro, std::size_t n, unsigned d, bool inDati)
{
    constexpr std::size_t media = 128;
    if (n >= media && d < byteChiave)
        d = primoDiverso(dati, n, d);
    if (n < media || d >= byteChiave) {
        Voce* dove = dati;
        if (!inDati) {
            std::memcpy(static_cast<void*>(altro), dati, n * sizeof(Voce));
            dove = altro;
        }
        ordinaPiccola(dove, n, 0);
        return;
    }
    std::size_t conta[256];
    std::size_t posto[256];
    contaByte(dati, n, d, conta, posto);
    for (std::size_t i = 0; i < n; ++i)
        altro[posto[byteDi(dati[i], d)]++] = dati[i];
    std::size_t da = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (conta[c] != 0)
            ordinaDoppio(altro + da, dati + da, conta[c], d + 1, !inDati);
        da += conta[c];
    }
}

}  // namespace

void ordinaVoci(Voce* a, std::size_t n, Voce* appoggio)
{
    ordinaDoppio(a, appoggio, n, 0, true);
}

}  // namespace nucleo
