#include "host/ErroreRuntime.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

namespace host {

ErroreRuntime::ErroreRuntime(CodiceErrore codice, QString dettaglio)
    : codice_(codice), dettaglio_(std::move(dettaglio)), what_(descrizione().toStdString())
{
}

QString ErroreRuntime::testo() const
{
    switch (codice_) {
    case CodiceErrore::MemoriaEsaurita: return QStringLiteral("Memoria esaurita");
    case CodiceErrore::ErroreInterno: return QStringLiteral("Errore interno");
    case CodiceErrore::FileNonTrovato: return QStringLiteral("Impossibile trovare il file");
    case CodiceErrore::ErroreIO: return QStringLiteral("Errore di I/O della periferica");
    case CodiceErrore::DiscoPieno: return QStringLiteral("Disco pieno");
    case CodiceErrore::AutorizzazioneNegata: return QStringLiteral("Autorizzazione negata");
    case CodiceErrore::AccessoPercorso: return QStringLiteral("Errore di accesso al percorso/file");
    case CodiceErrore::PercorsoNonTrovato: return QStringLiteral("Impossibile trovare il percorso");
    }
    return QStringLiteral("Errore sconosciuto");
}

QString ErroreRuntime::descrizione() const
{
    QString d = QStringLiteral("Errore di run-time '%1':\n\n%2").arg(numero()).arg(testo());
    if (!dettaglio_.isEmpty())
        d += QStringLiteral("\n\n") + QDir::toNativeSeparators(dettaglio_);
    return d;
}

ErroreRuntime ErroreRuntime::daErrno(int numeroErrno, const QString& percorso)
{
    switch (numeroErrno) {
    case ENOENT: {
        const QString cartella = QFileInfo(percorso).absolutePath();
        return ErroreRuntime(QFileInfo(cartella).isDir() ? CodiceErrore::FileNonTrovato
                                                         : CodiceErrore::PercorsoNonTrovato,
                             percorso);
    }
    case ENOTDIR:
        return ErroreRuntime(CodiceErrore::PercorsoNonTrovato, percorso);
    case EACCES:
    case EPERM:
    case EROFS:
        return ErroreRuntime(CodiceErrore::AutorizzazioneNegata, percorso);
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
        return ErroreRuntime(CodiceErrore::DiscoPieno, percorso);
    case EIO:
        return ErroreRuntime(CodiceErrore::ErroreIO, percorso);
    case ENOMEM:
        return ErroreRuntime(CodiceErrore::MemoriaEsaurita, percorso);
    default:
        return ErroreRuntime(CodiceErrore::AccessoPercorso, percorso);
    }
}

}  // namespace host
