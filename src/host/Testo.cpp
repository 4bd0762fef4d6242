#include "host/Testo.h"

#include <QDir>

namespace host {

QChar separatore()
{
    return QDir::separator();
}

QString maiuscolo(const QString& s)
{
    return s.toUpper();
}

QString decimale(std::int64_t n)
{
    return QString::number(n);
}

QString ultimi(const QString& s, qsizetype n)
{
    return s.right(n);
}

QString unisciPercorso(const QString& cartella, const QString& nome)
{
    if (cartella.endsWith(separatore()))
        return cartella + nome;
    return cartella + separatore() + nome;
}

}  // namespace host
