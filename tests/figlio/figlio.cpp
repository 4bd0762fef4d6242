// A child process for the cases that end the process or need process
// limits. It runs one piece of the program the way the program does, inside
// its event-handler guard:
//
//   fendrix-figlio esegui PROGRAM_FOLDER SOURCE [FILE_SIZE_LIMIT_BYTES [MEMORY_LIMIT_BYTES]]
//       one duplicate-removal run on SOURCE;
//   fendrix-figlio dialogo PROGRAM_FOLDER START_FOLDER
//       the file selection dialog opened on START_FOLDER, then closed with OK.
//
// Every message box is answered with OK and reported on stdout as one line
// "MESSAGGIO<TAB>title<TAB>icon<TAB>text" (newlines in the text as "\n").
#include "host/CartellaProgramma.h"
#include "host/GestioneErrori.h"
#include "processing/EliminaDuplicati.h"
#include "state/Variabili.h"
#include "ui/frmSelezione.h"

#include "RispostaMessaggi.h"

#include <QApplication>
#include <QPushButton>
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
    const QStringList argomenti = QApplication::arguments();
    if (argomenti.size() < 4 || (argomenti[1] != QLatin1String("esegui") && argomenti[1] != QLatin1String("dialogo"))) {
        std::fprintf(stderr, "usage: fendrix-figlio esegui|dialogo PROGRAM_FOLDER PATH [FSIZE [AS]]\n");
        return 120;
    }
    const bool dialogo = argomenti[1] == QLatin1String("dialogo");
    host::impostaCartellaProgramma(argomenti[2]);

    RispostaMessaggi risposta;
    risposta.suFinestra([](QWidget* finestra) {
        if (auto* d = qobject_cast<frmSelezione*>(finestra))
            d->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    risposta.suMessaggio([](const RispostaMessaggi::Messaggio& m) {
        QString testo = m.testo;
        testo.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        std::printf("MESSAGGIO\t%s\t%d\t%s\n", qPrintable(m.titolo), int(m.icona),
                    testo.toUtf8().constData());
        std::fflush(stdout);
    });

    frmSelezione finestra;
    QTimer::singleShot(0, [&] {
        if (dialogo) {
            Variabili::ModoSelezione = 1;
            Variabili::Filtro = QStringLiteral("*.TXT");
            Variabili::CartellaCorrente = argomenti[3];
            finestra.mostraModale();
            std::printf("SCELTO\t%s\n", Variabili::PercorsoScelto.toUtf8().constData());
        } else {
            // Limits go on only now, after the toolkit has started.
#if defined(Q_OS_UNIX)
            if (argc > 4)
                limita(RLIMIT_FSIZE, argv[4]);
            if (argc > 5)
                limita(RLIMIT_AS, argv[5]);
#endif
            Variabili::FileDaElaborare = argomenti[3];
            host::eseguiGestore([] { EliminaDuplicati(); });
        }
        QApplication::exit(0);
    });
    return QApplication::exec();
}
