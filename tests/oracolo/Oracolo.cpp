#include "Oracolo.h"

#include "host/CampiTesto.h"

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

}  // namespace

Esito esegui(std::string_view contenuto)
{
    Esito esito;
    const std::string_view bom = "\xEF\xBB\xBF";
    const bool conBom = contenuto.substr(0, 3) == bom;
    if (conBom)
        contenuto.remove_prefix(3);

    // Reading: empty fields are skipped, the others trimmed.
    std::vector<std::string> Righe;
    host::CampiTesto file(contenuto);
    while (!file.fine()) {
        const std::string_view voce = file.prossimo();
        if (!voce.empty())
            Righe.push_back(senzaSpazi(voce));
    }
    const std::vector<std::string> Letti = Righe;
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
