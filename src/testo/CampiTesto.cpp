#include "testo/CampiTesto.h"

#include "testo/Codifica.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace testo {

namespace {

enum Classe : unsigned char { Ordinario = 0, Virgola = 1, FineRiga = 2, Virgolette = 4 };
constexpr unsigned char delimitatore = Virgola | FineRiga;

constexpr std::array<unsigned char, 256> classi = [] {
    std::array<unsigned char, 256> t{};
    t[static_cast<unsigned char>(CampiTesto::virgola)] = Virgola;
    t[static_cast<unsigned char>(CampiTesto::ritorno)] = FineRiga;
    t[static_cast<unsigned char>(CampiTesto::aCapo)] = FineRiga;
    t[static_cast<unsigned char>(CampiTesto::virgolette)] = Virgolette;
    return t;
}();

inline unsigned char classe(char c) noexcept
{
    return classi[static_cast<unsigned char>(c)];
}

// The bytes of the class `c`, listed from the table, for the code that
// searches for each byte rather than looking every byte up.
template <unsigned char c>
constexpr auto byteDellaClasse()
{
    constexpr std::size_t quanti = [] {
        std::size_t n = 0;
        for (const unsigned char k : classi)
            n += (k & c) != 0;
        return n;
    }();
    std::array<char, quanti> byte{};
    std::size_t i = 0;
    for (std::size_t b = 0; b < classi.size(); ++b)
        if (classi[b] & c)
            byte[i++] = static_cast<char>(b);
    return byte;
}

constexpr auto delimitatori = byteDellaClasse<delimitatore>();
constexpr auto fineRiga = byteDellaClasse<FineRiga>();

#if defined(__SSE2__)
// A mask of the bytes of `x` that are delimiters.
template <std::size_t... i>
inline int maschera(__m128i x, std::index_sequence<i...>) noexcept
{
    return _mm_movemask_epi8((_mm_cmpeq_epi8(x, _mm_set1_epi8(delimitatori[i])) | ...));
}
#endif

}  // namespace

std::size_t CampiTesto::fineCampo(std::size_t da) const noexcept
{
    const char* const p = testo_.data();
    const std::size_t n = testo_.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time while they are there; the rest one by one.
    for (; da + 16 <= n; da += 16) {
        // The text may come straight from memory (a mapped file): asked
        // for ahead, across page ends the processor does not look past.
        __builtin_prefetch(p + da + 1024);
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + da));
        if (const auto bit = static_cast<unsigned>(maschera(x, std::make_index_sequence<delimitatori.size()>())))
            return da + static_cast<std::size_t>(__builtin_ctz(bit));
    }
#endif
    while (da < n && !(classe(p[da]) & delimitatore))
        ++da;
    return da;
}

std::size_t CampiTesto::fineCitazione(std::size_t da) const noexcept
{
    const char* const p = testo_.data();
    const std::size_t n = testo_.size();
    while (da < n && !(classe(p[da]) & (FineRiga | Virgolette)))
        ++da;
    return da;
}

std::size_t CampiTesto::dopoDelimitatore(std::size_t d) const noexcept
{
    if (d + 1 < testo_.size() && testo_[d] == ritorno && testo_[d + 1] == aCapo)
        ++d;
    return d + 1;
}

CampiTesto::Campo CampiTesto::campo(std::size_t inizio) const noexcept
{
    const std::size_t n = testo_.size();
    std::size_t q = inizio;
    while (q < n && testo_[q] == spazio)
        ++q;
    if (q < n && testo_[q] == virgolette) {
        // Closed before the end of its line, it is a quote; otherwise the
        // mark is an ordinary character.
        const std::size_t chiusura = fineCitazione(q + 1);
        if (chiusura < n && testo_[chiusura] == virgolette)
            return {fineCampo(chiusura + 1), q, chiusura, true, false};
        return {fineCampo(inizio), q, chiusura, false, chiusura >= n};
    }
    return {fineCampo(inizio), q, q, false, false};
}

std::string_view CampiTesto::prossimo()
{
    const Campo c = campo(pos_);
    const std::size_t inizio = pos_;
    pos_ = dopoDelimitatore(c.delimitatore);
    if (!c.citato)
        return testo_.substr(inizio, c.delimitatore - inizio);

    const std::string_view citato = testo_.substr(c.apertura + 1, c.chiusura - c.apertura - 1);
    const std::string_view coda = testo_.substr(c.chiusura + 1, c.delimitatore - c.chiusura - 1);
    if (coda.empty())
        return citato;
    std::string& composto = composti_.emplace_back();
    composto.reserve(citato.size() + coda.size());
    composto.append(citato);
    if (utf16_)
        accodaUtf16(composto, coda);
    else
        composto.append(coda);
    return composto;
}

std::vector<CampiTesto> CampiTesto::sezioni(std::size_t quante) const
{
    std::vector<CampiTesto> parti;
    std::size_t inizio = pos_;
    const std::size_t n = testo_.size();
    for (std::size_t k = quante; k > 1 && inizio < n; --k) {
        // Cut at the first line end after an even share of what is left:
        // a line end always ends a field, even inside quotes.
        std::size_t taglio = inizio + (n - inizio) / k;
        while (taglio < n && !(classe(testo_[taglio]) & FineRiga))
            ++taglio;
        if (taglio >= n)
            break;
        taglio = dopoDelimitatore(taglio);
        parti.emplace_back(testo_.substr(inizio, taglio - inizio), utf16_);
        inizio = taglio;
    }
    parti.emplace_back(testo_.substr(inizio), utf16_);
    return parti;
}

namespace {

// The last `c` in the `n` bytes at `d`, or null: glibc's memrchr where it
// exists, a plain backward scan elsewhere.
const void* ultimo(const char* d, char c, std::size_t n) noexcept
{
#ifdef __GLIBC__
    return ::memrchr(d, c, n);
#else
    for (std::size_t i = n; i > 0; --i)
        if (d[i - 1] == c)
            return d + i - 1;
    return nullptr;
#endif
}

}  // namespace

std::size_t CampiTesto::taglio(std::string_view testo, std::size_t senzaRighe) noexcept
{
    // A line end always ends a field, even inside quotes. Cutting between
    // the CR and the LF of a line end leaves an empty field, never an item.
    const std::size_t noti = std::min(senzaRighe, testo.size());
    std::size_t riga = noti;
    for (const char c : fineRiga)
        if (const void* f = ultimo(testo.data() + noti, c, testo.size() - noti))
            riga = std::max(riga, static_cast<std::size_t>(static_cast<const char*>(f) - testo.data()) + 1);
    if (riga > senzaRighe)
        return riga;
    // No line end: the fields end at commas, those that no open quote may
    // still hold.
    const CampiTesto campi(testo);
    std::size_t ultimo = 0;
    while (ultimo < testo.size()) {
        const Campo c = campi.campo(ultimo);
        if (c.sospeso || c.delimitatore >= testo.size())
            break;
        ultimo = c.delimitatore + 1;
    }
    return ultimo;
}

}  // namespace testo
