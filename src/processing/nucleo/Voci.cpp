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
void ordinaPiccola(Voce* a, std::size_t n)
{
    if (n >= 24) {
        std::sort(a, a + n, Minore{});
        return;
    }
    for (std::size_t i = 1; i < n; ++i) {
        const Voce v = a[i];
        std::size_t j = i;
        for (; j > 0 && Minore{}(v, a[j - 1]); --j)
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

// Items whose keys are all equal: long items that share their first
// sixteen bytes, often many more (a common prefix). The bytes all of them
// share past the keys are found once, and comparisons start after them,
// instead of going over the same prefix again in every comparison.
void ordinaUguali(Voce* a, std::size_t n)
{
    std::size_t comune = std::numeric_limits<std::size_t>::max();
    for (std::size_t i = 0; i < n; ++i)
        comune = std::min(comune, a[i].lunghezza());
    if (comune <= byteChiave) {
        // An item of up to sixteen bytes among them: it is a prefix of
        // the others, and the keys and lengths settle the order.
        std::sort(a, a + n, Minore{});
        return;
    }
    const std::string_view primo(a[0].dati(), a[0].lunghezza());
    comune = std::min(comune, primo.size());
    for (std::size_t i = 1; i < n && comune > byteChiave; ++i) {
        const char* p = a[i].dati();
        std::size_t k = byteChiave;
        while (k + 8 <= comune && std::memcmp(p + k, primo.data() + k, 8) == 0)
            k += 8;
        while (k < comune && p[k] == primo[k])
            ++k;
        comune = k;
    }
    // The keys, redundant for a long item (they are its first bytes), stand
    // for the sixteen bytes after the shared ones while the group sorts, so
    // that most comparisons read no text; then they are put back.
    const auto chiaviDa = [&](std::size_t da) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t l = a[i].lunghezza();
            a[i].chiave[0] = ottoByte(a[i].dati(), l, da);
            a[i].chiave[1] = ottoByte(a[i].dati(), l, da + 8);
        }
    };
    const std::size_t fine = comune + byteChiave;
    chiaviDa(comune);
    std::sort(a, a + n, [fine](const Voce& x, const Voce& y) {
        const Chiave128 kx = chiaveIntera(x);
        const Chiave128 ky = chiaveIntera(y);
        if (kx != ky)
            return kx < ky;
        const std::size_t nx = x.lunghezza();
        const std::size_t ny = y.lunghezza();
        if (nx <= fine || ny <= fine)
            return nx < ny;
        return std::string_view(x.dati() + fine, nx - fine) < std::string_view(y.dati() + fine, ny - fine);
    });
    chiaviDa(0);
}

}  // namespace

void ordinaVoci(Voce* a, std::size_t n, unsigned d)
{
    constexpr std::size_t media = 128;
    if (n < 24) {
        ordinaPiccola(a, n);
        return;
    }
    if (d < byteChiave)
        d = primoDiverso(a, n, d);
    if (d >= byteChiave) {
        ordinaUguali(a, n);
        return;
    }
    if (n < media) {
        ordinaPiccola(a, n);
        return;
    }
    std::size_t conta[256];
    std::size_t prossima[256];
    contaByte(a, n, d, conta, prossima);
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
    std::size_t da = 0;
    for (unsigned c = 0; c < 256; ++c) {
        if (conta[c] > 1)
            ordinaVoci(a + da, conta[c], d + 1);
        da += conta[c];
    }
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
        ordinaPiccola(dove, n);
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
