// Runs on each file exactly the steps of EliminaDuplicati (read, dedupe,
// sort, write; no message box) and prints their times.
//
//   fendrix-bench FILE... [--out DIR] [--items FILE]
//
// --out DIR     write "NEW - NAME" into DIR (otherwise into a temporary
//               folder that is removed at the end)
// --items FILE  also write the trimmed items of the (last) file, one per
//               line with LF, in file order: the input for `sort -u`
#include "host/CartellaProgramma.h"
#include "host/ErroreRuntime.h"
#include "host/Processo.h"
#include "host/LettoreVoci.h"
#include "host/ScrittoreRighe.h"
#include "processing/Passi.h"
#include "processing/Nucleo.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <exception>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

namespace {

using Orologio = std::chrono::steady_clock;

double ms(Orologio::time_point da, Orologio::time_point a)
{
    return std::chrono::duration<double, std::milli>(a - da).count();
}

double piccoMb()
{
#if defined(Q_OS_UNIX)
    rusage uso{};
    getrusage(RUSAGE_SELF, &uso);
    return static_cast<double>(uso.ru_maxrss) / 1024.0;
#else
    return 0;
#endif
}

void scriviVoci(const QString& percorso, const std::vector<nucleo::Raccolta>& voci)
{
    std::FILE* f = std::fopen(QFile::encodeName(percorso).constData(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + percorso.toStdString());
    std::string blocco;
    for (const auto& raccolta : voci) {
        raccolta.visita([&](std::string_view v) {
            blocco.append(v).push_back('\n');
            if (blocco.size() > (1 << 20)) {
                std::fwrite(blocco.data(), 1, blocco.size(), f);
                blocco.clear();
            }
        });
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
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--out") && i + 1 < args.size())
            uscita = args[++i];
        else if (args[i] == QLatin1String("--items") && i + 1 < args.size())
            voci = args[++i];
        else
            file << args[i];
    }
    if (file.isEmpty()) {
        std::fprintf(stderr, "usage: fendrix-bench FILE... [--out DIR] [--items FILE]\n");
        return 2;
    }

    // The copy goes to PROGRAM/Shared/Sistemi: a temporary program folder
    // whose data folder is DIR (through a link) or a folder of its own.
    QTemporaryDir programma;
    QDir(programma.path()).mkdir(QStringLiteral("Shared"));
    const QString dati = programma.path() + QStringLiteral("/Shared/Sistemi");
    const bool pronta = uscita.isEmpty() ? QDir().mkdir(dati)
                                         : QFile::link(QDir(uscita).absolutePath(), dati);
    if (!pronta) {
        std::fprintf(stderr, "cannot prepare the output folder\n");
        return 1;
    }
    host::impostaCartellaProgramma(programma.path());

    try {
        for (const QString& percorso : file) {
            const auto t0 = Orologio::now();
            host::LettoreVoci sorgente(percorso);
            std::vector<nucleo::Raccolta> righe;
            const std::int64_t totale = elaborazione::leggiRighe(sorgente, righe);
            if (!voci.isEmpty())
                scriviVoci(voci, righe);
            const auto t1 = Orologio::now();
            nucleo::Elenco elenco = nucleo::tieniUniche(std::move(righe));
            const std::int64_t uniche = elenco.size();
            const auto t2 = Orologio::now();
            const std::int64_t eliminate = totale - uniche;
            auto t3 = t2, t4 = t2;
            if (eliminate > 0) {
                elenco.ordina();
                t3 = Orologio::now();
                elaborazione::scriviCopia(elaborazione::percorsoCopia(percorso), elenco, sorgente.codifica());
                t4 = Orologio::now();
            }
            std::printf("%s: items %lld kept %lld dropped %lld read_ms %.1f dedupe_ms %.1f sort_ms %.1f "
                        "write_ms %.1f total_ms %.1f peak_rss_mb %.1f\n",
                        qPrintable(QFileInfo(percorso).fileName()), static_cast<long long>(totale),
                        static_cast<long long>(uniche), static_cast<long long>(eliminate), ms(t0, t1),
                        ms(t1, t2), ms(t2, t3), ms(t3, t4), ms(t0, t4), piccoMb());
            std::fflush(stdout);
        }
    } catch (const host::ErroreRuntime& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return e.numero();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
