#include "Voci.h"

#include <algorithm>
#include <utility>

namespace nucleo {

void ordinaVoci(Voce* a, std::size_t n, unsigned d)
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

}  // namespace nucleo
