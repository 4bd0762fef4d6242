// Runs on each file exactly the steps of EliminaDuplicati (read and dedupe,
// sort, write; no message box) and prints their times.
//
//   fendrix-bench FILE... [--out DIR] [--items FILE] [--memory SIZE]
//                 [--threads N] [--fan-in N]
//
// --out DIR      write "NEW - NAME" into DIR (otherwise into a temporary
//                folder that is removed at the end)
// --items FILE   also write the trimmed items of the (last) file, one per
//                line with LF, in file order: the input for `sort -u`
// --memory SIZE  the memory the run may use, in bytes (K, M, G suffixes),
//                instead of what the machine has: a small size forces the
//                sorted runs on disk
// --threads N    the number of threads instead of the processors available
// --fan-in N     how many runs one merge pass takes (default 64)
#include "host/testo/CampiTesto.h"
#include "host/CartellaProgramma.h"
#include "host/ErroreRuntime.h"
#include "host/LettoreVoci.h"
#include "host/Percorsi.h"
#include "host/Processo.h"
#include "processing/passi/Passi.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <stdexcept>

#include <unistd.h>

namespace {

using Orologio = std::chrono::steady_clock;

double ms(Orologio::time_point da, Orologio::time_point a)
{
    return std::chrono::duration<double, std::milli>(a - da).count();
}

// The peak resident memory of this process's own image (VmHWM): unlike
// getrusage's, it does not carry the peak of the process that started it.
double piccoMb()
{
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0;
    char riga[256];
    double kb = 0;
    while (std::fgets(riga, sizeof riga, f) != nullptr)
        if (std::sscanf(riga, "VmHWM: %lf kB", &kb) == 1)
            break;
    std::fclose(f);
    return kb / 1024.0;
}

std::size_t dimensione(const QString& testo)
{
    bool ok = false;
    std::size_t per = 1;
    QString numero = testo.trimmed().toUpper();
    if (numero.endsWith(QLatin1Char('K')))
        per = std::size_t{1} << 10;
    else if (numero.endsWith(QLatin1Char('M')))
        per = std::size_t{1} << 20;
    else if (numero.endsWith(QLatin1Char('G')))
        per = std::size_t{1} << 30;
    if (per != 1)
        numero.chop(1);
    const qulonglong n = numero.toULongLong(&ok);
    if (!ok || n == 0)
        throw std::invalid_argument("not a size: " + testo.toStdString());
    return static_cast<std::size_t>(n) * per;
}

void scriviVoci(const QString& sorgente, const QString& percorso)
{
    std::FILE* f = std::fopen(host::byteDiPercorso(percorso).constData(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + percorso.toStdString());
    host::LettoreVoci lettore(sorgente);
    std::string blocco;
    for (;;) {
        const std::string_view pezzo = lettore.prossimoPezzo(std::size_t{8} << 20, std::size_t{1} << 40);
        if (pezzo.empty())
            break;
        host::CampiTesto campi(pezzo);
        while (!campi.fine()) {
            const std::string_view v = campi.prossimo();
            if (v.empty())
                continue;
            blocco.append(host::CampiTesto::senzaSpazi(v)).push_back('\n');
            if (blocco.size() > (1 << 20)) {
                std::fwrite(blocco.data(), 1, blocco.size(), f);
                blocco.clear();
            }
        }
    }
    std::fwrite(blocco.data(), 1, blocco.size(), f);
    std::fclose(f);
}

}  // namespace

int main(int argc, char* argv[])
{
    host::preparaProcesso();
    QCoreApplication app(argc, argv);
    QStringList file;
    QString uscita;
    QString voci;
    elaborazione::Opzioni opzioni;
    // Names by their very bytes, which need not be valid UTF-8.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << host::percorsoDaByte(QByteArray(argv[i]));
    try {
        for (int i = 0; i < args.size(); ++i) {
            const bool valore = i + 1 < args.size();
            if (args[i] == QLatin1String("--out") && valore)
                uscita = args[++i];
            else if (args[i] == QLatin1String("--items") && valore)
                voci = args[++i];
            else if (args[i] == QLatin1String("--memory") && valore)
                opzioni.memoria = dimensione(args[++i]);
            else if (args[i] == QLatin1String("--threads") && valore)
                opzioni.fili = static_cast<unsigned>(dimensione(args[++i]));
            else if (args[i] == QLatin1String("--fan-in") && valore)
                opzioni.fanIn = static_cast<unsigned>(dimensione(args[++i]));
            else
                file << args[i];
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: fendrix-bench FILE... [--out DIR] [--items FILE] [--memory SIZE] "
                             "[--threads N] [--fan-in N]\n");
        return 2;
    }

    // The copy goes to PROGRAM/Shared/Sistemi: a temporary program folder
    // whose data folder is DIR (through a link) or a folder of its own.
    QTemporaryDir programma;
    QDir(programma.path()).mkdir(QStringLiteral("Shared"));
    const QString dati = programma.path() + QStringLiteral("/Shared/Sistemi");
    QByteArray destinazione = host::byteDiPercorso(uscita);
    if (!destinazione.startsWith('/')) {
        char* qui = ::getcwd(nullptr, 0);
        destinazione = QByteArray(qui ? qui : ".") + '/' + destinazione;
        std::free(qui);
    }
    const bool pronta = uscita.isEmpty() ? QDir().mkdir(dati)
                                         : ::symlink(destinazione.constData(), QFile::encodeName(dati).constData()) == 0;
    if (!pronta) {
        std::fprintf(stderr, "cannot prepare the output folder\n");
        return 1;
    }
    host::impostaCartellaProgramma(programma.path());

    try {
        for (const QString& percorso : file) {
            if (!voci.isEmpty())
                scriviVoci(percorso, voci);
            const auto t0 = Orologio::now();
            elaborazione::Esecuzione righe(opzioni);
            host::Codifica codifica;
            {
                host::LettoreVoci sorgente(percorso);
                righe.leggi(sorgente);
                codifica = sorgente.codifica();
            }
            const auto t1 = Orologio::now();
            const std::int64_t eliminate = righe.totale() - righe.uniche();
            auto t2 = t1;
            auto t3 = t1;
            if (eliminate > 0) {
                righe.ordina();
                t2 = Orologio::now();
                elaborazione::scriviCopia(elaborazione::percorsoCopia(percorso), righe, codifica, percorso);
                t3 = Orologio::now();
            }
            std::printf("%s: items %lld kept %lld dropped %lld threads %u memory_mb %.0f runs %zu read_dedupe_ms %.1f "
                        "sort_ms %.1f write_ms %.1f total_ms %.1f peak_rss_mb %.1f\n",
                        qPrintable(host::testoVisibile(QFileInfo(percorso).fileName())), static_cast<long long>(righe.totale()),
                        static_cast<long long>(righe.uniche()), static_cast<long long>(eliminate), righe.fili(),
                        static_cast<double>(righe.memoria()) / (1 << 20), righe.corseScritte(), ms(t0, t1), ms(t1, t2), ms(t2, t3), ms(t0, t3), piccoMb());
            std::fflush(stdout);
        }
    } catch (const host::ErroreRuntime& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return e.numero();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "out of memory\n");
        return 7;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
