#include "processing/EliminaDuplicati.h"

#include "host/Attesa.h"
#include "host/LettoreVoci.h"
#include "host/Messaggio.h"
#include "host/Testo.h"
#include "processing/Nucleo.h"
#include "processing/Passi.h"
#include "state/Variabili.h"

#include <optional>

namespace elaborazione {

QString testoEliminate(std::int64_t eliminate)
{
    return QStringLiteral("Eliminate ") + host::decimale(eliminate) +
           QStringLiteral("  combinazioni ripetute..! ");
}

}  // namespace elaborazione

void EliminaDuplicati()
{
    using namespace elaborazione;
    const QString percorso = Variabili::FileDaElaborare;

    // The items view the bytes the reader holds, so the reader lives to the end.
    std::optional<host::LettoreVoci> sorgente;
    std::int64_t Totale = 0;
    nucleo::Elenco Uniche;
    host::attendi(QString::fromUtf8(testoAttesaLettura), [&] {
        sorgente.emplace(percorso);
        std::vector<nucleo::Raccolta> Righe;
        Totale = leggiRighe(*sorgente, Righe);
        Uniche = nucleo::tieniUniche(std::move(Righe));
    });

    // A file without any item keeps nothing and drops nothing: it is reported
    // as having no repeats, like any other.
    const std::int64_t eliminate = Totale - Uniche.size();
    if (eliminate == 0) {
        host::mostraMessaggio(QString::fromUtf8(testoNessunaRipetizione), host::Icona::Avviso);
        return;
    }
    // The stop icon, although the run succeeds: that is how the program has
    // always announced a cleaned file.
    host::mostraMessaggio(testoEliminate(eliminate), host::Icona::Errore);

    const QString copia = percorsoCopia(percorso);
    host::attendi(QString::fromUtf8(testoAttesaScrittura), [&] {
        Uniche.ordina();
        scriviCopia(copia, Uniche, sorgente->codifica());
    });
}
