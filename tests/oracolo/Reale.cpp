#include "Oracolo.h"

#include "host/Codifica.h"
#include "host/LettoreVoci.h"
#include "processing/Passi.h"
#include "processing/Nucleo.h"

namespace oracolo {

Esito reale(std::string_view contenuto)
{
    host::LettoreVoci lettore = host::LettoreVoci::daByte(contenuto);
    std::vector<nucleo::Raccolta> righe;
    Esito esito;
    esito.letti = elaborazione::leggiRighe(lettore, righe);
    nucleo::Elenco uniche = nucleo::tieniUniche(std::move(righe));
    esito.eliminate = esito.letti - uniche.size();
    if (esito.eliminate == 0)
        return esito;
    uniche.ordina();
    esito.copia = true;
    esito.byte += host::marca(lettore.codifica());
    uniche.visita([&](std::string_view v) {
        esito.byte += v;
        esito.byte += "\r\n";
    });
    return esito;
}

}  // namespace oracolo
