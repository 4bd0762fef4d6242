#include "processing/EliminaDuplicati.h"

#include "host/Attesa.h"
#include "host/CartellaProgramma.h"
#include "host/LettoreVoci.h"
#include "host/Messaggio.h"
#include "host/ScrittoreRighe.h"
#include "host/Testo.h"
#include "processing/Nucleo.h"
#include "state/Variabili.h"

#include <optional>

namespace elaborazione {

QString testoEliminate(std::int64_t eliminate)
{
    return QStringLiteral("Eliminate ") + host::decimale(eliminate) +
           QStringLiteral("  combinazioni ripetute..! ");
}

namespace {

void leggiSezione(host::CampiTesto& campi, nucleo::Raccolta& righe)
{
    // The emptiness test comes before trimming: a field of spaces only is an
    // item, stored as "".
    while (!campi.fine()) {
        const std::string_view voce = campi.prossimo();
        if (!voce.empty())
            righe.aggiungi(host::togliSpazi(voce));
    }
}

// Below this size one thread reads faster than two.
constexpr std::size_t sogliaParallela = std::size_t{1} << 20;

}  // namespace

std::int64_t leggiRighe(host::LettoreVoci& file, std::vector<nucleo::Raccolta>& righe)
{
    const unsigned fili = file.byteLetti() >= sogliaParallela ? nucleo::fili() : 1;
    std::vector<host::CampiTesto>& parti = file.sezioni(fili);
    righe.resize(parti.size());
    if (parti.size() == 1)
        leggiSezione(parti[0], righe[0]);
    else
        nucleo::inParallelo([&] { leggiSezione(parti[0], righe[0]); }, [&] { leggiSezione(parti[1], righe[1]); });
    std::int64_t totale = 0;
    for (const auto& r : righe)
        totale += static_cast<std::int64_t>(r.size());
    return totale;
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

void scriviCopia(const QString& percorso, const nucleo::Elenco& righe, host::Codifica codifica)
{
    host::ScrittoreRighe file(percorso, codifica);
    righe.visita([&](std::string_view riga) { file.scriviRiga(riga); });
    file.completa();
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
