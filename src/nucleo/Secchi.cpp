#include "Secchi.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

namespace nucleo {

namespace {

constexpr std::size_t bytePezzo = std::size_t{16} << 10;
// As many items as a chunk holds.
static_assert(Secchi::vociPezzo * sizeof(Voce) <= bytePezzo && (Secchi::vociPezzo + 1) * sizeof(Voce) > bytePezzo);

}  // namespace

Secchi::Secchi(Bilancio& bilancio, std::size_t soglia)
    : bilancio_(bilancio), soglia_(std::max(soglia, 4 * vociPezzo))
{
    secchi_.emplace_back();
}

Secchi::~Secchi()
{
    restringi();
}

std::uint32_t Secchi::nuovoSecchio(std::uint32_t padre, unsigned byte, unsigned figlio)
{
    // A bucket's number must not reach the bit that marks a node.
    FENDRIX_VERIFICA(secchi_.size() < nodo);
    Secchio s;
    s.padre = padre;
    s.byte = byte;
    s.figlio = figlio;
    secchi_.push_back(std::move(s));
    return static_cast<std::uint32_t>(secchi_.size() - 1);
}

bool Secchi::nuovoBlocco(bool comunque)
{
    // Blocks grow from 64 KiB to a huge page, so that a small file takes
    // little and a large one is in huge pages; under a tight budget one
    // chunk at a time.
    std::size_t byte = prossimoBlocco_;
    void* dati = bilancio_.alloca(byte);
    if (dati != nullptr) {
        prossimoBlocco_ = std::min(prossimoBlocco_ * 2, paginaGrande);
    } else {
        byte = bytePezzo;
        dati = comunque ? bilancio_.allocaComunque(byte) : bilancio_.alloca(byte);
        if (dati == nullptr)
            return false;
    }
    try {
        blocchi_.reserve(blocchi_.size() + 1);
        liberi_.reserve(pezzi_ + byte / bytePezzo);
    } catch (...) {
        bilancio_.libera(dati, byte);
        throw;
    }
    blocchi_.push_back({dati, byte});
    pezzi_ += byte / bytePezzo;
    // The first chunk of the block is handed out first.
    char* base = static_cast<char*>(dati);
    for (std::size_t k = byte / bytePezzo; k-- > 0;)
        liberi_.push_back(reinterpret_cast<Voce*>(base + k * bytePezzo));
    return true;
}

Voce* Secchi::prendiPezzo(bool comunque)
{
    if (liberi_.empty() && !nuovoBlocco(comunque))
        return nullptr;
    Voce* p = liberi_.back();
    liberi_.pop_back();
    return p;
}

void Secchi::lavoro()
{
    // Taken once, for the largest bucket there may be: the items, then
    // either the hash set's slots or room to sort them.
    if (lavoro_ != nullptr)
        return;
    const std::size_t n = massimo();
    const std::size_t byte =
        n * sizeof(Voce) + std::max(n * sizeof(Voce), std::bit_ceil(std::max<std::size_t>(2 * n, 16)) * sizeof(std::uint32_t));
    lavoro_ = static_cast<Voce*>(bilancio_.allocaComunque(byte));
    byteLavoro_ = byte;
}

std::size_t Secchi::raccogli(Secchio& s)
{
    lavoro();
    std::size_t n = 0;
    for (Voce* p : s.pezzi) {
        const std::size_t m = std::min(vociPezzo, s.quante - n);
        std::memcpy(static_cast<void*>(lavoro_ + n), p, m * sizeof(Voce));
        n += m;
    }
    return n;
}

std::size_t Secchi::deduplica(std::size_t n)
{
    // Open addressing over the positions of the items kept so far, which
    // move to the front of the scratch as they are found: 32 bits each, all
    // ones marking a free slot.
    FENDRIX_VERIFICA(n < assente);
    const std::size_t posti = std::bit_ceil(std::max<std::size_t>(2 * n, 16));
    const int spostamento = 64 - std::countr_zero(posti);
    auto* tavola = reinterpret_cast<std::uint32_t*>(lavoro_ + n);
    std::memset(tavola, 0xFF, posti * sizeof(std::uint32_t));
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Voce v = lavoro_[i];
        for (std::size_t k = hashBreve(v) >> spostamento;; k = (k + 1) & (posti - 1)) {
            const std::uint32_t e = tavola[k];
            if (e == assente) {
                tavola[k] = static_cast<std::uint32_t>(j);
                lavoro_[j++] = v;
                break;
            }
            if (stessaVoce(lavoro_[e], v))
                break;
        }
    }
    return j;
}

void Secchi::riponi(Secchio& s, std::size_t n)
{
    const std::size_t servono = (n + vociPezzo - 1) / vociPezzo;
    for (std::size_t k = 0; k < servono; ++k) {
        const std::size_t m = std::min(vociPezzo, n - k * vociPezzo);
        std::memcpy(static_cast<void*>(s.pezzi[k]), lavoro_ + k * vociPezzo, m * sizeof(Voce));
    }
    chiudi(s, n);
}

void Secchi::chiudi(Secchio& s, std::size_t n)
{
    const std::size_t servono = (n + vociPezzo - 1) / vociPezzo;
    while (s.pezzi.size() > servono) {
        liberi_.push_back(s.pezzi.back());
        s.pezzi.pop_back();
    }
    s.quante = n;
    s.stato = std::min(s.stato, compatto);
    if (servono == 0) {
        s.coda = s.fineCoda = nullptr;
    } else {
        Voce* ultimo = s.pezzi.back();
        s.coda = ultimo + (n - (servono - 1) * vociPezzo);
        s.fineCoda = ultimo + vociPezzo;
    }
}

bool Secchi::ordinaCompatte(Secchio& s, std::size_t n)
{
    // The bits in which the bucket's items differ (its keys and length),
    // gathered into one number per item in the same order: each varying
    // byte maps through a table to its varying bits. When they fit beside
    // the item's position in 64 bits, those numbers sort by a few
    // least-significant-digit passes of 11 bits, repeats come out side by
    // side, and the items are taken in that order.
    const Voce* voci = lavoro_;
    std::uint64_t diversi[3];
    differenze(voci, n, diversi);
    const int bitPosizione = std::bit_width(n);
    const int bitChiave = std::popcount(diversi[0]) + std::popcount(diversi[1]) + std::popcount(diversi[2]);
    if (bitChiave + bitPosizione > 64)
        return false;

    // The bytes that vary, most significant first (the length last: for
    // equal keys the shorter item comes first), with what each gives.
    struct Byte {
        unsigned parola, spostamento, bit;
        std::uint16_t valore[256];
    };
    std::vector<Byte> varia;
    for (unsigned j = 0; j < 17; ++j) {
        const unsigned parola = j < 16 ? j / 8 : 2;
        const unsigned spostamento = j < 16 ? 56 - 8 * (j % 8) : 0;
        const auto maschera = static_cast<unsigned>((diversi[parola] >> spostamento) & 0xFF);
        if (maschera == 0)
            continue;
        Byte b{parola, spostamento, static_cast<unsigned>(std::popcount(maschera)), {}};
        for (unsigned v = 0; v < 256; ++v) {
            unsigned x = 0, k = 0;
            for (unsigned bit = 8; bit-- > 0;)
                if (maschera & (1u << bit))
                    x |= ((v >> bit) & 1u) << (b.bit - 1 - k++);
            b.valore[v] = static_cast<std::uint16_t>(x);
        }
        varia.push_back(b);
    }
    auto* a = reinterpret_cast<std::uint64_t*>(lavoro_ + n);
    auto* b = a + n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t parole[3] = {voci[i].chiave[0], voci[i].chiave[1], voci[i].resto >> 48};
        std::uint64_t k = 0;
        for (const Byte& v : varia)
            k = (k << v.bit) | v.valore[(parole[v.parola] >> v.spostamento) & 0xFF];
        a[i] = (k << bitPosizione) | i;
    }
    constexpr int bitCifra = 11;
    for (int da = bitPosizione; da < bitPosizione + bitChiave; da += bitCifra) {
        std::size_t conta[1 << bitCifra] = {};
        for (std::size_t i = 0; i < n; ++i)
            ++conta[(a[i] >> da) & ((1u << bitCifra) - 1)];
        std::size_t somma = 0;
        for (std::size_t& c : conta)
            somma += std::exchange(c, somma);
        for (std::size_t i = 0; i < n; ++i)
            b[conta[(a[i] >> da) & ((1u << bitCifra) - 1)]++] = a[i];
        std::swap(a, b);
    }
    // In order into the bucket's chunks, each item once.
    const std::uint64_t posizione = (std::uint64_t{1} << bitPosizione) - 1;
    std::size_t m = 0;
    std::uint64_t prima = ~std::uint64_t{0};
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t chiave = a[i] >> bitPosizione;
        if (chiave == prima && m != 0)
            continue;
        prima = chiave;
        s.pezzi[m / vociPezzo][m % vociPezzo] = voci[a[i] & posizione];
        ++m;
    }
    chiudi(s, m);
    return true;
}

bool Secchi::scoppia(std::uint32_t s, std::size_t n)
{
    const unsigned d = secchi_[s].byte;
    std::size_t conta[256] = {};
    for (std::size_t i = 0; i < n; ++i)
        ++conta[byteDi(lavoro_[i], d)];
    std::size_t servono = 0;
    for (std::size_t c : conta)
        servono += (c + vociPezzo - 1) / vociPezzo;
    // All the chunks first, so that a burst never stops halfway.
    while (liberi_.size() + secchi_[s].pezzi.size() < servono)
        if (!nuovoBlocco(false))
            return false;
    Secchio& vecchio = secchi_[s];
    for (Voce* p : vecchio.pezzi)
        liberi_.push_back(p);
    const std::uint32_t padre = vecchio.padre;
    const unsigned figlio = vecchio.figlio;
    FENDRIX_VERIFICA(nodi_.size() < nodo);
    const auto n0 = static_cast<std::uint32_t>(nodi_.size());
    nodi_.push_back({d, {}});
    std::fill(std::begin(nodi_.back().figli), std::end(nodi_.back().figli), assente);
    if (padre == assente)
        radice_ = nodo | n0;
    else
        nodi_[padre].figli[figlio] = nodo | n0;

    // The bucket becomes the first child; the others are new.
    bool primo = true;
    for (unsigned c = 0; c < 256; ++c) {
        if (conta[c] == 0)
            continue;
        std::uint32_t f = s;
        if (primo) {
            Secchio& b = secchi_[s];
            b.pezzi.clear();
            b.padre = n0;
            b.byte = d + 1;
            b.figlio = c;
            primo = false;
        } else {
            f = nuovoSecchio(n0, d + 1, c);
        }
        nodi_[n0].figli[c] = f;
        Secchio& b = secchi_[f];
        b.quante = 0;
        b.coda = b.fineCoda = nullptr;
        for (std::size_t k = (conta[c] + vociPezzo - 1) / vociPezzo; k-- > 0;) {
            b.pezzi.push_back(liberi_.back());
            liberi_.pop_back();
        }
    }
    // The items to their children, each child's chunks filled in order.
    for (std::size_t i = 0; i < n; ++i) {
        Secchio& b = secchi_[nodi_[n0].figli[byteDi(lavoro_[i], d)]];
        b.pezzi[b.quante / vociPezzo][b.quante % vociPezzo] = lavoro_[i];
        ++b.quante;
    }
    for (unsigned c = 0; c < 256; ++c) {
        if (conta[c] == 0)
            continue;
        Secchio& b = secchi_[nodi_[n0].figli[c]];
        b.stato = compatto;
        Voce* ultimo = b.pezzi.back();
        b.coda = ultimo + (b.quante - (b.pezzi.size() - 1) * vociPezzo);
        b.fineCoda = ultimo + vociPezzo;
    }
    return true;
}

bool Secchi::spazio(std::uint32_t s, bool comunque)
{
    // A bucket that reached the size the cache works on drops its repeats,
    // and bursts when it is still large. One that cannot burst (the budget
    // has no room for its children) grows only up to what the scratch
    // holds; then the part stops and the run writes what it has.
    if (secchi_[s].quante >= soglia_ && secchi_[s].stato == grezzo) {
        std::size_t n = deduplica(raccogli(secchi_[s]));
        if (n >= soglia_ / 2 && secchi_[s].byte < byteChiave && scoppia(s, n))
            return true;
        riponi(secchi_[s], n);
        if (secchi_[s].coda != secchi_[s].fineCoda)
            return true;
    }
    // Near the end of the budget every bucket drops its repeats before the
    // part takes more memory: the room they free costs less than a run on
    // disk. Not again when that freed little, until the part is emptied.
    if (!comunque && !stretteInutili_ && grezzi_ >= soglia_ && bilancio_.liberi() < bilancio_.limite() / 8) {
        const std::size_t prima = quante();
        compattaTutti();
        stretteInutili_ = prima - quante() < prima / 8;
        if (secchi_[s].coda != secchi_[s].fineCoda)
            return true;
    }
    Voce* p = (secchi_[s].pezzi.size() + 1) * vociPezzo <= massimo() ? prendiPezzo(comunque) : nullptr;
    if (p == nullptr) {
        // No room for a chunk: the bucket's own repeats may leave some.
        Secchio& b = secchi_[s];
        if (b.stato != grezzo)
            return false;
        riponi(b, deduplica(raccogli(b)));
        return b.coda != b.fineCoda;
    }
    Secchio& b = secchi_[s];
    b.pezzi.push_back(p);
    b.coda = p;
    b.fineCoda = p + vociPezzo;
    return true;
}

void Secchi::ordina()
{
    for (Secchio& b : secchi_) {
        if (b.stato == ordinato || b.quante == 0)
            continue;
        std::size_t n = raccogli(b);
        if (!ordinaCompatte(b, n)) {
            if (b.stato == grezzo)
                n = deduplica(n);
            ordinaVoci(lavoro_, n, lavoro_ + n);
            riponi(b, n);
        }
        b.stato = ordinato;
    }
}

void Secchi::compattaTutti()
{
    for (Secchio& b : secchi_)
        if (b.stato == grezzo && b.quante != 0)
            riponi(b, deduplica(raccogli(b)));
    grezzi_ = 0;
}

std::size_t Secchi::quante() const noexcept
{
    std::size_t n = 0;
    for (const Secchio& b : secchi_)
        n += b.quante;
    return n;
}

void Secchi::visita(std::uint32_t s, std::vector<std::uint32_t>& ordine) const
{
    if (!(s & nodo)) {
        ordine.push_back(s);
        return;
    }
    for (std::uint32_t f : nodi_[s & ~nodo].figli)
        if (f != assente)
            visita(f, ordine);
}

void Secchi::tratti(std::vector<Tratto>& in) const
{
    std::vector<std::uint32_t> ordine;
    visita(radice_, ordine);
    for (std::uint32_t s : ordine) {
        const Secchio& b = secchi_[s];
        for (std::size_t k = 0; k < b.pezzi.size(); ++k) {
            const std::size_t m = std::min(vociPezzo, b.quante - k * vociPezzo);
            in.push_back({b.pezzi[k], b.pezzi[k] + m});
        }
    }
}

void Secchi::svuota() noexcept
{
    for (Secchio& b : secchi_) {
        for (Voce* p : b.pezzi)
            liberi_.push_back(p);
        b.pezzi.clear();
        b.quante = 0;
        b.coda = b.fineCoda = nullptr;
        b.stato = ordinato;
    }
    vuoti_ = true;
    grezzi_ = 0;
    stretteInutili_ = false;
}

void Secchi::restringi() noexcept
{
    svuota();
    liberi_.clear();
    pezzi_ = 0;
    for (const Area& b : blocchi_)
        bilancio_.libera(b.dati, b.byte);
    blocchi_.clear();
    prossimoBlocco_ = std::size_t{64} << 10;
    bilancio_.libera(lavoro_, byteLavoro_);
    lavoro_ = nullptr;
    byteLavoro_ = 0;
}

}  // namespace nucleo
