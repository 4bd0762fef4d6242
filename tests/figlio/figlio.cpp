// A child process that runs one duplicate-removal run the way the program
// does (inside the program's event-handler guard), for the cases that end
// the process or need process limits.
//
//   fendrix-figlio PROGRAM_FOLDER SOURCE [FILE_SIZE_LIMIT_BYTES [MEMORY_LIMIT_BYTES]]
//
// Every message box is answered with OK and reported on stdout as one line
// "MESSAGGIO<TAB>title<TAB>icon<TAB>text" (newlines in the text as "\n").
#include "host/CartellaProgramma.h"
#include "host/GestioneErrori.h"
#include "processing/EliminaDuplicati.h"
#include "state/Variabili.h"

#include "RispostaMessaggi.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

namespace {

void limita(int risorsa, const char* valore)
{
#if defined(Q_OS_UNIX)
    const rlim_t n = std::strtoull(valore, nullptr, 10);
    if (n == 0)
        return;
    const rlimit limite{n, n};
    if (::setrlimit(risorsa, &limite) != 0) {
        std::perror("setrlimit");
        std::_Exit(120);
    }
#else
    (void)risorsa;
    (void)valore;
#endif
}

}  // namespace

int main(int argc, char* argv[])
{
    host::preparaProcesso();
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: fendrix-figlio PROGRAM_FOLDER SOURCE [FSIZE [AS]]\n");
        return 120;
    }
    host::impostaCartellaProgramma(QString::fromLocal8Bit(argv[1]));
    Variabili::FileDaElaborare = QString::fromLocal8Bit(argv[2]);

    RispostaMessaggi risposta;
    risposta.suMessaggio([](const RispostaMessaggi::Messaggio& m) {
        QString testo = m.testo;
        testo.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        std::printf("MESSAGGIO\t%s\t%d\t%s\n", qPrintable(m.titolo), int(m.icona),
                    testo.toUtf8().constData());
        std::fflush(stdout);
    });

    QTimer::singleShot(0, [&] {
        // Limits go on only now, after the toolkit has started.
#if defined(Q_OS_UNIX)
        if (argc > 3)
            limita(RLIMIT_FSIZE, argv[3]);
        if (argc > 4)
            limita(RLIMIT_AS, argv[4]);
#endif
        host::eseguiGestore([] { EliminaDuplicati(); });
        QApplication::exit(0);
    });
    return QApplication::exec();
}
