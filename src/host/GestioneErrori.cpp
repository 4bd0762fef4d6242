#include "host/GestioneErrori.h"

#include "host/Messaggio.h"

#include <QApplication>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace host {

void terminaPerErrore(const ErroreRuntime& errore)
{
    const QString testo = errore.descrizione();
    std::fprintf(stderr, "Fendrix: %s\n", testo.toLocal8Bit().constData());
    std::fflush(stderr);
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        mostraMessaggio(testo, Icona::Errore);
    std::fflush(nullptr);
    // Quick exit: nothing is left to clean up (the handler's stack has already
    // unwound), and running the toolkit's global destructors while windows are
    // still open only risks turning a clean error exit into a crash.
    std::_Exit(errore.numero());
}

void preparaProcesso()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
#if defined(__GLIBC__)
    // Large blocks (the file's bytes, the lists of items) always come from
    // and go back to the system: otherwise the allocator raises its
    // threshold after the first large block is freed and keeps the memory
    // of a run long after the run has ended.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

}  // namespace host
