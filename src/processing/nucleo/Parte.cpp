#include "Parte.h"

#include <algorithm>
#include <cstring>

namespace nucleo {

void Parte::prepara(std::size_t n)
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

bool Parte::raddoppia()
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

char* Parte::nuovoBlocco(std::size_t n)
{
    testi.reserve(testi.size() + 1);
    char* blocco = static_cast<char*>(alloca(n));
    if (blocco != nullptr) {
        testi.push_back({blocco, n});
        byteTesti += n;
    }
    return blocco;
}

void Parte::liberaTesti() noexcept
{
    for (const Testo& t : testi)
        bilancio.libera(t.dati, t.byte);
    testi.clear();
    byteTesti = 0;
    liberi = 0;
    cursore = nullptr;
}

void Parte::ordina()
{
    std::size_t j = 0;
    for (std::size_t i = 0; i < tavola.size(); ++i)
        if (tavola[i].resto != vuota)
            tavola[j++] = tavola[i];
    ordinaVoci(tavola.begin(), quante);
}

void Parte::svuota()
{
    liberaTesti();
    quante = 0;
    tavola.vuota();
}

void Parte::restringi()
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

bool Parte::prendi(const std::vector<Immissione>& immissioni, std::size_t p, Posizione& da)
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

}  // namespace nucleo
