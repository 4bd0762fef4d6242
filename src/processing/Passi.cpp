#include "processing/Passi.h"

#include "host/CartellaProgramma.h"
#include "host/LettoreVoci.h"
#include "host/ScrittoreRighe.h"
#include "host/Testo.h"
#include "processing/Nucleo.h"
#include "state/Variabili.h"

namespace elaborazione {

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
