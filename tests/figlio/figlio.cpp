// A child process for the cases that end the process or need process
// limits. It runs one piece of the program the way the program does, inside
// its event-handler guard:
//
//   fendrix-figlio esegui PROGRAM_FOLDER SOURCE [FILE_SIZE_LIMIT [MEMORY_LIMIT [RUN_MEMORY
//                 [DATA_LIMIT [OPEN_FILES]]]]]
//       one duplicate-removal run on SOURCE (limits in bytes, 0 for none;
//       "+N" for a memory or data limit N bytes above what the process
//       holds when the limits go on; RUN_MEMORY, the memory the run may
//       use, forces sorted runs on disk; OPEN_FILES limits the descriptors);
//   fendrix-figlio dialogo PROGRAM_FOLDER START_FOLDER
//       the file selection dialog opened on START_FOLDER, then closed with OK;
//   fendrix-figlio scelta PROGRAM_FOLDER NAME cancella|cartella|ok
//       the main window's command: NAME is chosen in the dialog, then
//       deleted (or replaced by a folder, or left as it is) before OK is
//       pressed;
//   fendrix-figlio scrivi PROGRAM_FOLDER NAME con-nome|senza-nome
//       a copy NAME being written in the data folder, through a named
//       temporary file or as the system allows: prints "SCRIVENDO" once a
//       line is written, then waits to be ended by a signal.
//
// A PROGRAM_FOLDER of "-" leaves the program folder to the executable's path.
//
// Every message box is answered with OK and reported on stdout as one line
// "MESSAGGIO<TAB>title<TAB>icon<TAB>text" (newlines in the text as "\n").
#include "sistema/CartellaProgramma.h"
#include "qt/GestioneErrori.h"
#include "qt/InterfacciaQt.h"
#include "sistema/Processo.h"
#include "sistema/ScrittoreRighe.h"
#include "qt/PercorsiQt.h"
#include "passi/EliminaDuplicati.h"
#include "passi/Passi.h"
#include "stato/Variabili.h"
#include "qt/ListaFile.h"
#include "qt/frmAmain.h"
#include "qt/frmSelezione.h"

#include "CartellaProva.h"
#include "RispostaMessaggi.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>
#include <unistd.h>

// The front end under test.
using namespace qt;

namespace {

// What the process holds now, in bytes: its address space (the first
// number of /proc/self/statm) or its data and stack (the sixth).
rlim_t inUso(int risorsa)
{
    unsigned long long campi[6] = {};
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        for (auto& c : campi)
            if (std::fscanf(f, "%llu", &c) != 1)
                break;
        std::fclose(f);
    }
    return static_cast<rlim_t>(campi[risorsa == RLIMIT_AS ? 0 : 5] * static_cast<unsigned long long>(::sysconf(_SC_PAGESIZE)));
}

void limita(int risorsa, const QString& valore)
{
    rlim_t n = valore.startsWith(QLatin1Char('+')) ? inUso(risorsa) + valore.mid(1).toULongLong() : valore.toULongLong();
    if (n == 0)
        return;
    const rlimit limite{n, n};
    if (::setrlimit(risorsa, &limite) != 0) {
        std::perror("setrlimit");
        std::_Exit(120);
    }
}

[[noreturn]] void uso()
{
    std::fprintf(stderr, "usage: fendrix-figlio esegui|dialogo|scelta|scrivi PROGRAM_FOLDER ARG...\n");
    std::_Exit(120);
}

void clicOK(QWidget* dialogo)
{
    dialogo->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
}

}  // namespace

int main(int argc, char* argv[])
{
    sistema::preparaProcesso();
    QApplication app(argc, argv);
    const QStringList a = QApplication::arguments();
    if (a.size() < 4)
        uso();
    const QString modo = a[1];
    if (a[2] != QLatin1String("-"))
        sistema::impostaCartellaProgramma(fp(a[2]));

    RispostaMessaggi risposta;
    risposta.suMessaggio([](const RispostaMessaggi::Messaggio& m) {
        QString testo = m.testo;
        testo.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        std::printf("MESSAGGIO\t%s\t%d\t%s\n", qPrintable(m.titolo), int(m.icona), testo.toUtf8().constData());
        std::fflush(stdout);
    });

    if (modo == QLatin1String("esegui")) {
        QTimer::singleShot(0, [&] {
            // Limits go on only now, after the toolkit has started.
            if (a.size() > 4)
                limita(RLIMIT_FSIZE, a[4]);
            if (a.size() > 5)
                limita(RLIMIT_AS, a[5]);
            if (a.size() > 6)
                passi::opzioniProgramma().memoria = a[6].toULongLong();
            if (a.size() > 7)
                limita(RLIMIT_DATA, a[7]);
            if (a.size() > 8)
                limita(RLIMIT_NOFILE, a[8]);
            Variabili::FileDaElaborare = fp(a[3]);
            qt::eseguiGestore([] { passi::EliminaDuplicati(qt::interfacciaQt()); });
            QApplication::exit(0);
        });
        return QApplication::exec();
    }

    if (modo == QLatin1String("dialogo")) {
        frmSelezione dialogo;
        risposta.suFinestra([](QWidget* w) {
            if (qobject_cast<frmSelezione*>(w))
                clicOK(w);
        });
        QTimer::singleShot(0, [&] {
            Variabili::ModoSelezione = 1;
            Variabili::Filtro = "*.TXT";
            Variabili::CartellaCorrente = fp(a[3]);
            dialogo.mostraModale();
            std::printf("SCELTO\t%s\n", qs(Variabili::PercorsoScelto).toUtf8().constData());
            QApplication::exit(0);
        });
        return QApplication::exec();
    }

    if (modo == QLatin1String("scrivi") && a.size() >= 5) {
        sistema::usaSoloTemporaneiConNome(a[4] == QLatin1String("con-nome"));
        qt::eseguiGestore([&] {
            sistema::ScrittoreRighe copia(fp(qt::unisciPercorso(qs(sistema::cartellaDati()), a[3])));
            copia.scriviTesto("una riga\r\n");
            std::printf("SCRIVENDO\n");
            std::fflush(stdout);
            for (;;)
                ::pause();
        });
    }

    if (modo == QLatin1String("scelta") && a.size() >= 5) {
        frmAmain finestra;
        finestra.show();
        const QString nome = a[3];
        const QString azione = a[4];
        risposta.suFinestra([&](QWidget* w) {
            if (!qobject_cast<frmSelezione*>(w))
                return;
            auto* lista = w->findChild<ListaFile*>(QStringLiteral("File1"));
            const auto voci = lista->model()->match(lista->model()->index(0, 0), Qt::DisplayRole, nome, -1, Qt::MatchExactly);
            if (voci.size() != 1)
                std::_Exit(121);
            lista->setCurrentIndex(voci.first());
            // Between the click and the run, the file goes away.
            const QString percorso = qs(Variabili::PercorsoScelto);
            if (azione != QLatin1String("ok"))
                QFile::remove(percorso);
            if (azione == QLatin1String("cartella"))
                QDir().mkdir(percorso);
            clicOK(w);
        });
        QTimer::singleShot(0, [&] {
            finestra.findChild<QPushButton*>(QStringLiteral("cmdDuplicate"))->click();
            QApplication::exit(0);
        });
        return QApplication::exec();
    }
    uso();
}
