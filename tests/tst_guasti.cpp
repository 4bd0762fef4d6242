// Failures that end the program: each case runs in a child process
// (fendrix-figlio), which runs the duplicate-removal run inside the
// program's event-handler guard.
#include "CartellaProva.h"
#include "oracolo/Oracolo.h"

#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

class TstGuasti : public QObject {
    Q_OBJECT
private slots:
    void terminaConErrore_data();
    void terminaConErrore();
    void riuscitaEsceConZero_data();
    void riuscitaEsceConZero();
    void dialogoSuCartellaMancante();
    void sceltaPoiScomparsa_data();
    void sceltaPoiScomparsa();
};

namespace {

struct Esito {
    int stato = -1;
    QProcess::ExitStatus modo = QProcess::CrashExit;
    QString out;
    QString err;
};

Esito eseguiFiglio(const QStringList& argomenti)
{
    QProcess figlio;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    figlio.setProcessEnvironment(env);
    figlio.start(QStringLiteral(FENDRIX_FIGLIO), argomenti);
    if (!figlio.waitForFinished(120000))
        figlio.kill();
    return {figlio.exitCode(), figlio.exitStatus(), QString::fromUtf8(figlio.readAllStandardOutput()),
            QString::fromUtf8(figlio.readAllStandardError())};
}

QByteArray sorgenteGrande()
{
    // About 300 KB with repeats: larger than the file-size limit below.
    QByteArray s;
    for (int i = 0; i < 30000; ++i)
        s += "combinazione " + QByteArray::number(i % 25000) + "\r\n";
    return s;
}

}  // namespace

void TstGuasti::terminaConErrore_data()
{
    QTest::addColumn<QString>("caso");
    QTest::addColumn<int>("numero");
    QTest::addColumn<QString>("testo");
    QTest::newRow("missing source") << "sorgente mancante" << 53 << "Impossibile trovare il file";
    QTest::newRow("missing source folder") << "cartella mancante" << 76
                                           << "Impossibile trovare il percorso";
    QTest::newRow("data folder missing") << "dati mancanti" << 76 << "Impossibile trovare il percorso";
    QTest::newRow("data folder is a file") << "dati file" << 76 << "Impossibile trovare il percorso";
    QTest::newRow("copy name taken by a folder") << "copia cartella" << 75
                                                 << "Errore di accesso al percorso/file";
    QTest::newRow("source replaced by a folder") << "sorgente cartella" << 75
                                                 << "Errore di accesso al percorso/file";
#if defined(Q_OS_UNIX)
    QTest::newRow("disk fills while writing") << "disco pieno" << 61 << "Disco pieno";
    QTest::newRow("disk fills while spilling runs") << "disco pieno, corse" << 61 << "Disco pieno";
    QTest::newRow("a FIFO named *.TXT") << "fifo" << 75 << "Errore di accesso al percorso/file";
    QTest::newRow("a device named *.TXT") << "device" << 75 << "Errore di accesso al percorso/file";
#if !defined(FENDRIX_SANITIZE)  // the sanitizers' shadow memory cannot live under an address-space limit
    QTest::newRow("larger than the memory allowed") << "memoria" << 7 << "Memoria esaurita";
#endif
#endif
}

void TstGuasti::terminaConErrore()
{
    QFETCH(QString, caso);
    QFETCH(int, numero);
    QFETCH(QString, testo);

    CartellaProva cartella;
    const QByteArray contenuto = sorgenteGrande();
    QString sorgente = cartella.scriviSorgente(QStringLiteral("lista.txt"), contenuto);
    const QString copia = cartella.dati() + QStringLiteral("NEW - LISTA.TXT");
    const QByteArray precedente = "copia precedente\r\n";
    QStringList argomenti;

    if (caso == QLatin1String("sorgente mancante")) {
        sorgente = cartella.utente() + QStringLiteral("/manca.txt");
    } else if (caso == QLatin1String("cartella mancante")) {
        sorgente = cartella.utente() + QStringLiteral("/manca/lista.txt");
    } else if (caso == QLatin1String("dati mancanti")) {
        QVERIFY(QDir(cartella.dati()).removeRecursively());
    } else if (caso == QLatin1String("dati file")) {
        QVERIFY(QDir(cartella.dati()).removeRecursively());
        scriviFile(cartella.programma() + QStringLiteral("/Shared/Sistemi"), "x");
    } else if (caso == QLatin1String("copia cartella")) {
        QVERIFY(QDir(cartella.dati()).mkdir(QStringLiteral("NEW - LISTA.TXT")));
    } else if (caso == QLatin1String("disco pieno")) {
        argomenti << QStringLiteral("65536");
    } else if (caso == QLatin1String("disco pieno, corse")) {
        // 16 KiB for the run: the items go to runs on disk, and merging
        // them passes the file-size limit before the count is known.
        argomenti << QStringLiteral("65536") << QStringLiteral("0") << QStringLiteral("16384");
    } else if (caso == QLatin1String("sorgente cartella")) {
        QVERIFY(QFile::remove(sorgente));
        QVERIFY(QDir().mkdir(sorgente));
    } else if (caso == QLatin1String("fifo")) {
        sorgente = cartella.utente() + QStringLiteral("/TUBO.TXT");
        QCOMPARE(::mkfifo(QFile::encodeName(sorgente).constData(), 0600), 0);
    } else if (caso == QLatin1String("device")) {
        sorgente = cartella.utente() + QStringLiteral("/ZERI.TXT");
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), sorgente));
    } else if (caso == QLatin1String("memoria")) {
        // A sparse 4 GiB file under a 1 GiB address-space limit.
        QFile grande(sorgente);
        QVERIFY(grande.open(QIODevice::ReadWrite) && grande.resize(qint64(4) << 30));
        argomenti << QStringLiteral("0") << QString::number(qint64(1) << 30);
    }
    const bool datiIntatti = caso != QLatin1String("dati mancanti") && caso != QLatin1String("dati file") &&
                             caso != QLatin1String("copia cartella");
    if (datiIntatti)
        scriviFile(copia, precedente);
    // Not hashed: what cannot be read, and the 4 GiB file (its size is checked).
    const QByteArray hashSorgente =
        caso == QLatin1String("fifo") || caso == QLatin1String("device") || caso == QLatin1String("memoria")
            ? QByteArray()
            : hashFile(sorgente);
    argomenti.prepend(sorgente);
    argomenti.prepend(cartella.programma());
    argomenti.prepend(QStringLiteral("esegui"));

    const Esito esito = eseguiFiglio(argomenti);

    QCOMPARE(esito.modo, QProcess::NormalExit);
    QCOMPARE(esito.stato, numero);
    const QString descrizione = QStringLiteral("Errore di run-time '%1':\\n\\n%2").arg(numero).arg(testo);
    // The message of the run ("Eliminate ...") may come first; the error's
    // message, titled Fendrix with the stop icon, is the last.
    const QStringList righe = esito.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(!righe.isEmpty(), qPrintable(esito.err));
    const QStringList ultimo = righe.last().split(QLatin1Char('\t'));
    QCOMPARE(ultimo.size(), 4);
    QCOMPARE(ultimo[1], QStringLiteral("Fendrix"));
    QCOMPARE(ultimo[2].toInt(), int(QMessageBox::Critical));
    QVERIFY2(ultimo[3].startsWith(descrizione), qPrintable(ultimo[3]));
    QVERIFY2(esito.err.contains(QStringLiteral("Errore di run-time '%1':\n\n%2").arg(numero).arg(testo)),
             qPrintable(esito.err));

    // Nothing lost: the source as it was, an earlier copy untouched, no
    // temporary file left behind.
    if (!hashSorgente.isNull())
        QCOMPARE(hashFile(sorgente), hashSorgente);
    if (caso == QLatin1String("memoria"))
        QCOMPARE(QFileInfo(sorgente).size(), qint64(4) << 30);
    if (caso == QLatin1String("disco pieno"))
        QCOMPARE(righe.size(), 2);  // the run's own message came first
    if (caso == QLatin1String("disco pieno, corse"))
        QCOMPARE(righe.size(), 1);  // before the count, so before any message
    if (datiIntatti) {
        QCOMPARE(leggiFile(copia), precedente);
        QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - LISTA.TXT")});
    } else if (caso == QLatin1String("copia cartella")) {
        QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - LISTA.TXT")});
        QVERIFY(QFileInfo(copia).isDir());
    }
}

void TstGuasti::riuscitaEsceConZero_data()
{
    QTest::addColumn<QString>("origine");  // "" for a file of "a\r\na\r\n"
    QTest::newRow("a repeated line") << "";
#if defined(Q_OS_LINUX)
    // Reports a size of 0: read to its end all the same.
    QTest::newRow("larger than its reported size") << "/proc/cpuinfo";
#endif
}

void TstGuasti::riuscitaEsceConZero()
{
    QFETCH(QString, origine);
    CartellaProva cartella;
    QByteArray contenuto = "a\r\na\r\n";
    QString sorgente;
    if (origine.isEmpty()) {
        sorgente = cartella.scriviSorgente(QStringLiteral("lista.txt"), contenuto);
    } else {
        sorgente = cartella.utente() + QStringLiteral("/LISTA.TXT");
        QVERIFY(QFile::link(origine, sorgente));
        QFile f(origine);
        QVERIFY(f.open(QIODevice::ReadOnly));
        contenuto = f.readAll();
    }
    const oracolo::Esito atteso = oracolo::esegui(std::string_view(contenuto.constData(), contenuto.size()));
    if (atteso.eliminate == 0)
        QSKIP("nothing repeats in it on this machine");
    const Esito esito = eseguiFiglio({QStringLiteral("esegui"), cartella.programma(), sorgente});
    QCOMPARE(esito.stato, 0);
    QCOMPARE(esito.out, QStringLiteral("MESSAGGIO\tFendrix\t%1\tEliminate %2  combinazioni ripetute..! \n")
                            .arg(int(QMessageBox::Critical))
                            .arg(atteso.eliminate));
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - LISTA.TXT")), QByteArray::fromStdString(atteso.byte));
}

void TstGuasti::dialogoSuCartellaMancante()
{
    // The data folder is missing: the dialog cannot open its start folder.
    CartellaProva cartella;
    QVERIFY(QDir(cartella.dati()).removeRecursively());
    const Esito esito = eseguiFiglio({QStringLiteral("dialogo"), cartella.programma(), cartella.dati()});
    QCOMPARE(esito.modo, QProcess::NormalExit);
    QCOMPARE(esito.stato, 76);
    QVERIFY2(esito.out.startsWith(QStringLiteral("MESSAGGIO\tFendrix\t%1\tErrore di run-time '76':\\n\\nImpossibile trovare il percorso")
                                      .arg(int(QMessageBox::Critical))),
             qPrintable(esito.out));
    QVERIFY(!esito.out.contains(QStringLiteral("SCELTO")));
}

void TstGuasti::sceltaPoiScomparsa_data()
{
    QTest::addColumn<QString>("azione");
    QTest::addColumn<int>("numero");
    QTest::newRow("deleted after the click") << "cancella" << 53;
    QTest::newRow("replaced by a folder after the click") << "cartella" << 75;
}

void TstGuasti::sceltaPoiScomparsa()
{
    // Through the real windows: the file is chosen in the dialog, then goes
    // away before OK. The run ends the program with the error, and an
    // earlier copy stays as it was.
    QFETCH(QString, azione);
    QFETCH(int, numero);
    CartellaProva cartella;
    scriviFile(cartella.dati() + QStringLiteral("lista.txt"), "a\r\na\r\n");
    scriviFile(cartella.dati() + QStringLiteral("NEW - LISTA.TXT"), "precedente");
    const Esito esito =
        eseguiFiglio({QStringLiteral("scelta"), cartella.programma(), QStringLiteral("lista.txt"), azione});
    QCOMPARE(esito.modo, QProcess::NormalExit);
    QCOMPARE(esito.stato, numero);
    QVERIFY2(esito.out.contains(QStringLiteral("Errore di run-time '%1'").arg(numero)), qPrintable(esito.out));
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - LISTA.TXT")), QByteArray("precedente"));
}

QTEST_GUILESS_MAIN(TstGuasti)
#include "tst_guasti.moc"
