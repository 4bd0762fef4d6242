#include "host/CampiTesto.h"

#include "host/Codifica.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace host {

namespace {

enum Classe : unsigned char { Ordinario = 0, Virgola = 1, FineRiga = 2, Virgolette = 4 };

constexpr std::array<unsigned char, 256> classi = [] {
    std::array<unsigned char, 256> t{};
    t[static_cast<unsigned char>(',')] = Virgola;
    t[static_cast<unsigned char>('\r')] = FineRiga;
    t[static_cast<unsigned char>('\n')] = FineRiga;
    t[static_cast<unsigned char>('"')] = Virgolette;
    return t;
}();

inline unsigned char classe(char c) noexcept
{
    return classi[static_cast<unsigned char>(c)];
}

}  // namespace

std::size_t CampiTesto::fineCampo(std::size_t da) const noexcept
{
    const char* const p = testo_.data();
    const std::size_t n = testo_.size();
#if defined(__SSE2__)
    // Sixteen bytes at a time while they are there.
    const __m128i virgola = _mm_set1_epi8(',');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; da + 16 <= n; da += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + da));
        const __m128i delimitatori = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, virgola), _mm_cmpeq_epi8(x, cr)),
                                                  _mm_cmpeq_epi8(x, lf));
        if (const auto bit = static_cast<unsigned>(_mm_movemask_epi8(delimitatori)))
            return da + static_cast<std::size_t>(__builtin_ctz(bit));
    }
#endif
    while (da < n && !(classe(p[da]) & (Virgola | FineRiga)))
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

void CampiTesto::saltaDelimitatore(std::size_t d) noexcept
{
    if (d < testo_.size() && testo_[d] == '\r' && d + 1 < testo_.size() && testo_[d + 1] == '\n')
        ++d;
    pos_ = d + 1;
}

std::string_view CampiTesto::prossimo()
{
    const std::size_t inizio = pos_;
    std::size_t q = inizio;
    while (q < testo_.size() && testo_[q] == ' ')
        ++q;

    if (q < testo_.size() && testo_[q] == '"') {
        // Look for the closing mark before the end of the line.
        const std::size_t chiusura = fineCitazione(q + 1);
        if (chiusura < testo_.size() && testo_[chiusura] == '"') {
            const std::string_view citato = testo_.substr(q + 1, chiusura - q - 1);
            const std::size_t d = fineCampo(chiusura + 1);
            const std::string_view coda = testo_.substr(chiusura + 1, d - chiusura - 1);
            saltaDelimitatore(d);
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
        // Not closed on its line: an ordinary character.
    }

    const std::size_t d = fineCampo(inizio);
    saltaDelimitatore(d);
    return testo_.substr(inizio, d - inizio);
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
        while (taglio < n && classe(testo_[taglio]) != FineRiga)
            ++taglio;
        if (taglio >= n)
            break;
        if (testo_[taglio] == '\r' && taglio + 1 < n && testo_[taglio + 1] == '\n')
            ++taglio;
        ++taglio;
        parti.emplace_back(testo_.substr(inizio, taglio - inizio), utf16_);
        inizio = taglio;
    }
    parti.emplace_back(testo_.substr(inizio), utf16_);
    return parti;
}

std::size_t CampiTesto::taglio(std::string_view testo, std::size_t senzaRighe) noexcept
{
    // A line end always ends a field, even inside quotes. Cutting between
    // the CR and the LF of a line end leaves an empty field, never an item.
    std::size_t riga = std::min(senzaRighe, testo.size());
    if (const void* lf = ::memrchr(testo.data() + riga, '\n', testo.size() - riga))
        riga = static_cast<std::size_t>(static_cast<const char*>(lf) - testo.data()) + 1;
    if (const void* cr = ::memrchr(testo.data() + riga, '\r', testo.size() - riga))
        riga = static_cast<std::size_t>(static_cast<const char*>(cr) - testo.data()) + 1;
    if (riga > senzaRighe)
        return riga;
    const CampiTesto campi(testo);
    std::size_t ultimo = 0;
    std::size_t pos = 0;
    while (pos < testo.size()) {
        std::size_t q = pos;
        while (q < testo.size() && testo[q] == ' ')
            ++q;
        std::size_t da = pos;
        if (q < testo.size() && testo[q] == '"') {
            const std::size_t chiusura = campi.fineCitazione(q + 1);
            if (chiusura >= testo.size())
                return ultimo;  // the closing mark may be in what follows
            da = chiusura + 1;
        }
        const std::size_t d = campi.fineCampo(da);
        if (d >= testo.size())
            return ultimo;
        pos = ultimo = d + 1;
    }
    return ultimo;
}

}  // namespace host
