#include "passi/EliminaDuplicati.h"

#include "sistema/LettoreVoci.h"
#include "passi/Passi.h"
#include "stato/Variabili.h"

#include <optional>

namespace passi {

std::string testoEliminate(std::int64_t eliminate)
{
    return "Eliminate " + std::to_string(eliminate) + "  combinazioni ripetute..! ";
}

void EliminaDuplicati(Interfaccia& interfaccia)
{
    const std::filesystem::path percorso = Variabili::FileDaElaborare;

    // The source is read and closed before the message; its encoding is
    // what the copy is written in.
    std::optional<testo::Codifica> codifica;
    Esecuzione Righe;
    interfaccia.attendi(testoAttesaLettura, [&] {
        sistema::LettoreVoci sorgente(percorso);
        Righe.leggi(sorgente);
        codifica = sorgente.codifica();
    });
    const std::int64_t Totale = Righe.totale();
    const std::int64_t Uniche = Righe.uniche();

    // A file without any item keeps nothing and drops nothing: it is reported
    // as having no repeats, like any other.
    const std::int64_t eliminate = Totale - Uniche;
    if (eliminate == 0) {
        interfaccia.messaggio(testoNessunaRipetizione, Icona::Avviso);
        return;
    }
    // The stop icon, although the run succeeds: a cleaned file is announced
    // with it.
    interfaccia.messaggio(testoEliminate(eliminate), Icona::Errore);

    const std::filesystem::path copia = percorsoCopia(percorso);
    interfaccia.attendi(testoAttesaScrittura, [&] { scriviCopia(copia, Righe, *codifica, percorso); });
}

}  // namespace passi
