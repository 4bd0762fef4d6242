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

namespace {

void leggiSezione(host::CampiTesto& campi, std::vector<std::string_view>& righe)
{
    // The emptiness test comes before trimming: a field of spaces only is an
    // item, stored as "".
    while (!campi.fine()) {
        const std::string_view voce = campi.prossimo();
        if (!voce.empty())
            righe.push_back(host::togliSpazi(voce));
    }
}

// Below this size one thread reads faster than two.
constexpr std::size_t sogliaParallela = std::size_t{1} << 20;

}  // namespace

void leggiRighe(host::LettoreVoci& file, std::vector<std::string_view>& righe)
{
    const unsigned fili = file.byteLetti() >= sogliaParallela ? nucleo::fili() : 1;
    std::vector<host::CampiTesto>& parti = file.sezioni(fili);
    // Room for the items the start of the file promises, and a margin: the
    // lists then seldom move while they grow. Room never used costs no memory.
    const std::size_t previste = parti.front().stimaCampi() * 9 / 8 + 16;
    righe.reserve(righe.size() + previste);
    if (parti.size() == 1) {
        leggiSezione(parti[0], righe);
        return;
    }
    std::vector<std::string_view> seconda;
    seconda.reserve(previste / parti.size());
    nucleo::inParallelo([&] { leggiSezione(parti[0], righe); }, [&] { leggiSezione(parti[1], seconda); });
    righe.insert(righe.end(), seconda.begin(), seconda.end());
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

void scriviCopia(const QString& percorso, const nucleo::Elenco& righe, bool bom)
{
    host::ScrittoreRighe file(percorso);
    if (bom)
        file.scrivi(host::bomUtf8);
    righe.visita([&](std::string_view riga) { file.scriviRiga(riga); });
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
    nucleo::Elenco Uniche = nucleo::tieniUniche(std::move(Righe));
    const std::int64_t eliminate = Totale - Uniche.size();
    if (eliminate == 0) {
        host::mostraMessaggio(QString::fromUtf8(testoNessunaRipetizione), host::Icona::Avviso);
        return;
    }
    // The stop icon, although the run succeeds: that is how the program has
    // always announced a cleaned file.
    host::mostraMessaggio(testoEliminate(eliminate), host::Icona::Errore);

    Uniche.ordina();
    scriviCopia(percorsoCopia(Variabili::FileDaElaborare), Uniche, sorgente.haBom());
}
