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
    // In blocks: the new slots of a block's items are fetched ahead, so
    // that the cache misses of a block overlap. A long item's hash is its
    // second key.
    constexpr std::size_t blocco = 16;
    const Voce* voci[blocco];
    std::uint64_t hash[blocco];
    std::size_t i = 0;
    while (i < vecchia.size()) {
        std::size_t m = 0;
        for (; i < vecchia.size() && m < blocco; ++i) {
            const Voce& v = vecchia[i];
            if (v.resto == vuota)
                continue;
            voci[m++] = &v;
        }
        for (std::size_t k = 0; k < m; ++k) {
            const Voce& v = *voci[k];
            hash[k] = (v.resto >> 48) <= byteChiave ? hashBreve(v) : v.chiave[1];
            anticipa(hash[k]);
        }
        for (std::size_t k = 0; k < m; ++k) {
            std::size_t j = casa(hash[k]);
            while (tavola[j].resto != vuota)
                j = (j + 1) & maschera;
            tavola[j] = *voci[k];
        }
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
    if (quante != 0) {
        std::size_t j = 0;
        for (std::size_t i = 0; i < tavola.size(); ++i)
            if (tavola[i].resto != vuota)
                tavola[j++] = tavola[i];
        // The long items' second keys go back from their hashes to their
        // bytes 8 to 15, the texts fetched a few items ahead.
        if (lungheInTavola != 0) {
            constexpr std::size_t avanti = 8;
            const auto lunga = [](const Voce& v) { return (v.resto >> 48) > byteChiave; };
            for (std::size_t i = 0; i < quante; ++i) {
                if (i + avanti < quante && lunga(tavola[i + avanti]))
                    __builtin_prefetch(tavola[i + avanti].dati());
                Voce& v = tavola[i];
                if (lunga(v))
                    v.chiave[1] = ottoByte(v.dati(), v.lunghezza(), 8);
            }
        }
        ordinaVoci(tavola.begin(), quante);
    }
    corte.ordina();
}

void Parte::catene(std::vector<Catena>& in) const
{
    Catena lunghe;
    lunghe.aggiungi({tavola.begin(), tavola.begin() + quante});
    in.push_back(std::move(lunghe));
    std::vector<Tratto> tratti;
    corte.tratti(tratti);
    Catena brevi;
    for (const Tratto& t : tratti)
        brevi.aggiungi(t);
    in.push_back(std::move(brevi));
}

void Parte::passaAiSecchi()
{
    // The buckets take the items before the table is given back: only
    // where the budget has room for both.
    if (bilancio.liberi() / 2 < quante * sizeof(Voce))
        return;
    for (const Voce& v : tavola)
        if (v.resto != vuota)
            corte.aggiungi(v, true);
    quante = 0;
    tavola = Tavola();
    tavola = Tavola(bilancio, std::size_t{1} << bitMinimi, true);
    misura(bitMinimi);
    corteNeiSecchi = true;
}

void Parte::svuota()
{
    corte.svuota();
    liberaTesti();
    quante = 0;
    lungheInTavola = 0;
    tavola.vuota();
}

void Parte::restringi()
{
    corte.restringi();
    liberaTesti();
    quante = 0;
    lungheInTavola = 0;
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
    // An empty part takes a table for what this round brings it at once,
    // instead of doubling its way there (short items only up to where they
    // would move to the buckets).
    if (quante == 0) {
        std::size_t lunghe = 0;
        std::size_t brevi = 0;
        for (std::size_t s = da.sezione; s < immissioni.size(); ++s) {
            lunghe += immissioni[s].perParte_[p].lunghe;
            brevi += immissioni[s].perParte_[p].quante - immissioni[s].perParte_[p].lunghe;
        }
        prepara(lunghe + (corteNeiSecchi ? 0 : std::min(brevi, sogliaCorte)));
    }
    for (; da.sezione < immissioni.size(); ++da.sezione, da.arrivo = 0) {
        const Immissione::Coda& coda = immissioni[da.sezione].perParte_[p];
        while (da.arrivo < coda.quante) {
            if (!corteNeiSecchi && lungheInTavola == 0 && quante >= sogliaCorte)
                passaAiSecchi();
            const std::size_t m = std::min(coda.quante - da.arrivo, bloccoArrivi);
            std::size_t presi = 0;
            const bool tutti = corteNeiSecchi ? prendiBlocco<true>(coda.arrivi + da.arrivo, m, presi)
                                              : prendiBlocco<false>(coda.arrivi + da.arrivo, m, presi);
            da.arrivo += presi;
            if (!tutti)
                return false;
        }
    }
    return true;
}

template <bool neiSecchi>
bool Parte::prendiBlocco(const Immissione::Arrivo* a, std::size_t m, std::size_t& presi)
{
    // Two stages: the first computes the keys and fetches the slots ahead,
    // so that the cache misses of a whole block overlap instead of
    // following one another; the second decides. The short items' buckets
    // and the table are two versions of the loop, so that the table's stays
    // as tight as it was.
    Voce nuove[bloccoArrivi];
    std::uint64_t hash[bloccoArrivi];
    for (std::size_t k = 0; k < m; ++k) {
        if (a[k].eLunga()) {
            const std::string_view t = a[k].testo();
            hash[k] = a[k].hash();
            nuove[k] = {{ottoByte(t.data(), t.size(), 0), hash[k]}, std::min<std::uint64_t>(t.size(), Voce::lunga) << 48};
        } else {
            nuove[k] = {{a[k].parola[0], a[k].parola[1]}, a[k].parola[2] & ~Voce::mascheraIndirizzo};
            if constexpr (neiSecchi) {
                continue;
            } else {
                // The reader's hash where it gave one (its top 48 bits).
                const std::uint64_t portato = a[k].parola[2] & Voce::mascheraIndirizzo;
                hash[k] = portato != 0 ? portato << 16 : hashBreve(nuove[k]);
                // A table that doubles places the item again by its own
                // hash: the reader's bits must be that hash's.
                FENDRIX_VERIFICA(portato == 0 || portato == hashBreve(nuove[k]) >> 16);
            }
        }
        anticipa(hash[k]);
    }
    for (std::size_t k = 0; k < m; ++k) {
        // The text of the item in a long item's home slot, a few items
        // ahead: a repeat is compared with it whole.
        if constexpr (!neiSecchi) {
            constexpr std::size_t avanti = 4;
            if (k + avanti < m && a[k + avanti].eLunga()) {
                const Voce& casa = tavola[this->casa(hash[k + avanti])];
                if ((casa.resto >> 48) > byteChiave)
                    __builtin_prefetch(casa.dati() + 8);
            }
        }
        bool preso;
        if constexpr (neiSecchi)
            preso = a[k].eLunga() ? aggiungi(nuove[k], hash[k], a[k].testo()) : corte.aggiungi(nuove[k], comunque);
        else
            preso = a[k].eLunga() ? aggiungi(nuove[k], hash[k], a[k].testo()) : aggiungiBreve(nuove[k], hash[k]);
        if (!preso) {
            presi = k;
            return false;
        }
        comunque = false;
    }
    presi = m;
    return true;
}

}  // namespace nucleo
