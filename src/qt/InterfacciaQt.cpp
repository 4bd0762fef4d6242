#include "qt/InterfacciaQt.h"

#include "qt/Attesa.h"
#include "qt/Messaggio.h"

#include <QString>

namespace qt {

namespace {
QString daUtf8(std::string_view testo)
{
    return QString::fromUtf8(testo.data(), static_cast<qsizetype>(testo.size()));
}
}  // namespace

void InterfacciaQt::messaggio(std::string_view testo, passi::Icona icona)
{
    mostraMessaggio(daUtf8(testo), icona == passi::Icona::Avviso ? Icona::Avviso : Icona::Errore);
}

void InterfacciaQt::attendi(std::string_view testo, const std::function<void()>& lavoro)
{
    qt::attendi(daUtf8(testo), lavoro);
}

InterfacciaQt& interfacciaQt()
{
    static InterfacciaQt interfaccia;
    return interfaccia;
}

}  // namespace qt
