#include "Oracolo.h"

#include <algorithm>
#include <vector>

namespace oracolo {

int confronta(std::string_view a, std::string_view b)
{
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

namespace {

// Leading and trailing spaces (the space character only) are not part of an item.
std::string senzaSpazi(std::string_view s)
{
    std::size_t inizio = 0;
    std::size_t fine = s.size();
    while (inizio < fine && s[inizio] == ' ')
        ++inizio;
    while (fine > inizio && s[fine - 1] == ' ')
        --fine;
    return std::string(s.substr(inizio, fine - inizio));
}

// The lines of a text: CR LF, LF and a lone CR each end one.
std::vector<std::string_view> righe(std::string_view testo)
{
    std::vector<std::string_view> righe;
    std::size_t inizio = 0;
    for (std::size_t i = 0; i < testo.size(); ++i) {
        if (testo[i] != '\r' && testo[i] != '\n')
            continue;
        righe.push_back(testo.substr(inizio, i - inizio));
        if (testo[i] == '\r' && i + 1 < testo.size() && testo[i + 1] == '\n')
            ++i;
        inizio = i + 1;
    }
    righe.push_back(testo.substr(inizio));
    return righe;
}

}  // namespace

std::vector<std::string> voci(std::string_view testo)
{
    std::vector<std::string> voci;
    for (const std::string_view riga : righe(testo)) {
        // The fields of one line, each ended by a comma or by the line's end.
        std::size_t inizio = 0;
        for (;;) {
            std::string campo;
            std::size_t fine;
            std::size_t primo = inizio;
            while (primo < riga.size() && riga[primo] == ' ')
                ++primo;
            const std::size_t chiusura = primo < riga.size() && riga[primo] == '"'
                                             ? riga.find('"', primo + 1)
                                             : std::string_view::npos;
            if (chiusura != std::string_view::npos) {
                // Quoted: the text inside the marks, then what follows the
                // closing mark up to the next comma.
                fine = std::min(riga.find(',', chiusura + 1), riga.size());
                campo = std::string(riga.substr(primo + 1, chiusura - primo - 1)) +
                        std::string(riga.substr(chiusura + 1, fine - chiusura - 1));
            } else {
                fine = std::min(riga.find(',', inizio), riga.size());
                campo = riga.substr(inizio, fine - inizio);
            }
            // An empty field is no item; a field of spaces is the item "".
            if (!campo.empty())
                voci.push_back(senzaSpazi(campo));
            if (fine == riga.size())
                break;
            inizio = fine + 1;
        }
    }
    return voci;
}

Esito esegui(std::string_view contenuto)
{
    Esito esito;
    const std::string_view bom = "\xEF\xBB\xBF";
    const bool conBom = contenuto.substr(0, 3) == bom;
    if (conBom)
        contenuto.remove_prefix(3);

    const std::vector<std::string> Letti = voci(contenuto);
    std::vector<std::string> Righe;
    const auto Totale = static_cast<std::int64_t>(Letti.size());
    esito.letti = Totale;

    // Elimination: an item survives if no later item equals it.
    Righe.clear();
    for (std::int64_t i = 0; i + 1 < Totale; ++i) {
        bool ripetuta = false;
        for (std::int64_t j = i + 1; j < Totale && !ripetuta; ++j)
            ripetuta = confronta(Letti[j], Letti[i]) == 0;
        if (!ripetuta)
            Righe.push_back(Letti[i]);
    }
    if (Totale > 0)
        Righe.push_back(Letti[Totale - 1]);
    const auto Uniche = static_cast<std::int64_t>(Righe.size());
    esito.eliminate = Totale - Uniche;
    if (esito.eliminate == 0)
        return esito;

    // Shell sort with gaps n/2, n/4, ..., 1.
    for (std::int64_t Passo = Uniche / 2; Passo >= 1; Passo /= 2) {
        for (std::int64_t h = Passo; h < Uniche; ++h) {
            for (std::int64_t l = h - Passo; l >= 0; l -= Passo) {
                if (confronta(Righe[l], Righe[l + Passo]) <= 0)
                    break;
                std::swap(Righe[l], Righe[l + Passo]);
            }
        }
    }

    esito.copia = true;
    if (conBom)
        esito.byte += bom;
    for (const std::string& r : Righe)
        esito.byte += r + "\r\n";
    return esito;
}

}  // namespace oracolo
