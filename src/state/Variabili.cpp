#include "state/Variabili.h"

#include "host/Percorsi.h"

#include <QDir>
#include <QStringList>

namespace Variabili {

QString NomeDaPercorso(const QString& percorso)
{
    const QStringList pezzi = percorso.split(QDir::separator());
    QString nome = pezzi.last();
    if (!host::haByteGrezzi(nome))
        return nome.toUpper();
    // Not valid UTF-8: no letters to speak of beyond ASCII, so only those
    // change and every other byte stays as it is.
    for (QChar& c : nome)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return nome;
}

}  // namespace Variabili
