#include "Oracolo.h"

#include "testo/Codifica.h"
#include "sistema/LettoreVoci.h"
#include "passi/Passi.h"

#include <algorithm>

namespace oracolo {

Esito reale(std::string_view contenuto, const passi::Opzioni& opzioni)
{
    sistema::LettoreVoci lettore(sistema::LettoreVoci::DaByte{contenuto});
    passi::Esecuzione righe(opzioni);
    righe.leggi(lettore);
    Esito esito;
    esito.letti = righe.totale();
    esito.eliminate = esito.letti - righe.uniche();
    esito.corse = righe.corseScritte();
    esito.memoriaMassima = righe.memoriaMassima();
    if (esito.eliminate == 0)
        return esito;
    esito.copia = true;
    esito.byte += testo::marca(lettore.codifica());
    righe.righe([&](std::string_view blocco) {
        esito.byte += blocco;
        esito.bloccoMassimo = std::max(esito.bloccoMassimo, blocco.size());
    });
    esito.memoriaMassima = righe.memoriaMassima();
    return esito;
}

}  // namespace oracolo
