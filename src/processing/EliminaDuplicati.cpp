#include "processing/EliminaDuplicati.h"

#include "host/CartellaProgramma.h"
#include "host/LettoreVoci.h"
#include "host/Messaggio.h"
#include "host/ScrittoreRighe.h"
#include "host/Testo.h"
#include "processing/Nucleo.h"
#include "state/Variabili.h"

namespace elaborazione {

QString testoEliminate(std::int64_t eliminate)
{
    return QStringLiteral("Eliminate ") + host::decimale(eliminate) +
           QStringLiteral("  combinazioni ripetute..! ");
}

void leggiRighe(host::LettoreVoci& file, std::vector<std::string_view>& righe)
{
    // The emptiness test comes before trimming: a field of spaces only is an
    // item, stored as "".
    while (!file.fine()) {
        const std::string_view voce = file.leggiVoce();
        if (!voce.empty())
            righe.push_back(host::togliSpazi(voce));
    }
}

QString cartellaDati()
{
    const QChar sep = host::separatore();
    return host::unisciPercorso(host::cartellaProgramma(),
                                QStringLiteral("Shared") + sep + QStringLiteral("Sistemi") + sep);
}

QString percorsoCopia(const QString& sorgente)
{
    return cartellaDati() + QStringLiteral("NEW - ") + Variabili::NomeDaPercorso(sorgente);
}

void scriviCopia(const QString& percorso, std::span<const std::string_view> righe, bool bom)
{
    host::ScrittoreRighe file(percorso);
    if (bom)
        file.scrivi(host::bomUtf8);
    for (const std::string_view riga : righe)
        file.scriviRiga(riga);
    file.completa();
}

}  // namespace elaborazione

void EliminaDuplicati()
{
    using namespace elaborazione;

    // Righe views the bytes the reader holds, so the reader lives to the end.
    host::LettoreVoci sorgente(Variabili::FileDaElaborare);
    std::vector<std::string_view> Righe;
    leggiRighe(sorgente, Righe);
    const auto Totale = static_cast<std::int64_t>(Righe.size());

    // A file without any item keeps nothing and drops nothing: it is reported
    // as having no repeats, like any other.
    const std::int64_t Uniche = nucleo::tieniUniche(Righe);
    const std::int64_t eliminate = Totale - Uniche;
    if (eliminate == 0) {
        host::mostraMessaggio(QString::fromUtf8(testoNessunaRipetizione), host::Icona::Avviso);
        return;
    }
    // The stop icon, although the run succeeds: that is how the program has
    // always announced a cleaned file.
    host::mostraMessaggio(testoEliminate(eliminate), host::Icona::Errore);

    nucleo::ordina(Righe);
    scriviCopia(percorsoCopia(Variabili::FileDaElaborare), Righe, sorgente.haBom());
}
