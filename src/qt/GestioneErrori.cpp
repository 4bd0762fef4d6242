#include "qt/GestioneErrori.h"

#include "qt/Messaggio.h"
#include "qt/PercorsiQt.h"

#include <cstdio>
#include <cstdlib>

namespace qt {

void terminaPerErrore(const sistema::ErroreRuntime& errore)
{
    // The path in it is bytes, which need not be UTF-8: shown as any path is.
    const std::string descrizione = errore.descrizione();
    const QString testo = percorsoDaByte(QByteArray::fromStdString(descrizione));
    std::fprintf(stderr, "Fendrix: %s\n", testo.toLocal8Bit().constData());
    std::fflush(stderr);
    mostraMessaggio(testo, Icona::Errore);
    std::fflush(nullptr);
    // Quick exit: nothing is left to clean up (the handler's stack has already
    // unwound), and running the toolkit's global destructors while windows are
    // still open only risks turning a clean error exit into a crash.
    std::_Exit(errore.numero());
}

}  // namespace qt
