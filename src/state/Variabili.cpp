#include "state/Variabili.h"

#include "host/Testo.h"

#include <QStringList>

namespace Variabili {

QString NomeDaPercorso(const QString& percorso)
{
    const QStringList pezzi = percorso.split(host::separatore());
    return host::maiuscolo(pezzi.last());
}

}  // namespace Variabili
