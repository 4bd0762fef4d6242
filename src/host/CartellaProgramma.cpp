#include "host/CartellaProgramma.h"

#include <QCoreApplication>
#include <QDir>

namespace host {

namespace {
QString& cartellaImposta()
{
    static QString cartella;
    return cartella;
}
}  // namespace

QString cartellaProgramma()
{
    const QString cartella = cartellaImposta().isEmpty() ? QCoreApplication::applicationDirPath()
                                                         : cartellaImposta();
    return QDir::toNativeSeparators(QDir::cleanPath(cartella));
}

void impostaCartellaProgramma(const QString& cartella)
{
    cartellaImposta() = cartella;
}

}  // namespace host
