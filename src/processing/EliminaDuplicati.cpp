#include "processing/EliminaDuplicati.h"

#include "host/interazione/Attesa.h"
#include "host/LettoreVoci.h"
#include "host/interazione/Messaggio.h"
#include "processing/passi/Passi.h"
#include "state/Variabili.h"

#include <optional>

namespace elaborazione {

QString testoEliminate(std::int64_t eliminate)
{
    return QStringLiteral("Eliminate ") + QString::number(eliminate) +
           QStringLiteral("  combinazioni ripetute..! ");
}

}  // namespace elaborazione

void EliminaDuplicati()
{
    using namespace elaborazione;
    const QString percorso = Variabili::FileDaElaborare;

    // The source is read and closed before the message; its encoding is
    // what the copy is written in.
    std::optional<host::Codifica> codifica;
    Esecuzione Righe;
    host::attendi(QString::fromUtf8(testoAttesaLettura), [&] {
        host::LettoreVoci sorgente(percorso);
        Righe.leggi(sorgente);
        codifica = sorgente.codifica();
    });
    const std::int64_t Totale = Righe.totale();
    const std::int64_t Uniche = Righe.uniche();

    // A file without any item keeps nothing and drops nothing: it is reported
    // as having no repeats, like any other.
    const std::int64_t eliminate = Totale - Uniche;
    if (eliminate == 0) {
        host::mostraMessaggio(QString::fromUtf8(testoNessunaRipetizione), host::Icona::Avviso);
        return;
    }
    // The stop icon, although the run succeeds: a cleaned file is announced
    // with it.
    host::mostraMessaggio(testoEliminate(eliminate), host::Icona::Errore);

    const QString copia = percorsoCopia(percorso);
    host::attendi(QString::fromUtf8(testoAttesaScrittura),
                  [&] { scriviCopia(copia, Righe, *codifica, percorso); });
}
