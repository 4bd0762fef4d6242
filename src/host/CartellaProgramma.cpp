#include "host/CartellaProgramma.h"

#include "host/Percorsi.h"

#include <QCoreApplication>
#include <QDir>

#include <unistd.h>

namespace host {

namespace {
QString& cartellaImposta()
{
    static QString cartella;
    return cartella;
}

// The folder of the running executable from the very bytes of its path, so
// that a folder whose name is not valid UTF-8 is found all the same. Without
// /proc, the toolkit's own answer.
QString cartellaEseguibile()
{
    QByteArray percorso(4096, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", percorso.data(), static_cast<std::size_t>(percorso.size()));
        if (n < 0)
            return QCoreApplication::applicationDirPath();
        if (n < percorso.size()) {
            percorso.truncate(n);
            break;
        }
        percorso.resize(percorso.size() * 2);
    }
    // The link always holds an absolute path.
    const qsizetype taglio = percorso.lastIndexOf('/');
    percorso.truncate(taglio == 0 ? 1 : taglio);
    return percorsoDaByte(percorso);
}
}  // namespace

QString cartellaProgramma()
{
    const QString cartella = cartellaImposta().isEmpty() ? cartellaEseguibile() : cartellaImposta();
    return QDir::toNativeSeparators(QDir::cleanPath(cartella));
}

void impostaCartellaProgramma(const QString& cartella)
{
    cartellaImposta() = cartella;
}

QString cartellaDati()
{
    const QChar sep = QDir::separator();
    return unisciPercorso(cartellaProgramma(), QStringLiteral("Shared") + sep + QStringLiteral("Sistemi") + sep);
}

}  // namespace host
