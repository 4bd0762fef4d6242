// Failures that end the program: each case runs in a child process
// (fendrix-figlio), which runs the duplicate-removal run inside the
// program's event-handler guard.
#include "CartellaProva.h"
#include "oracolo/Oracolo.h"

#include "sistema/FileTemporaneo.h"
#include "qt/PercorsiQt.h"
#include "stato/Variabili.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

class TstGuasti : public QObject {
    Q_OBJECT
private slots:
    void terminaConErrore_data();
    void terminaConErrore();
    void riuscitaEsceConZero_data();
    void riuscitaEsceConZero();
    void sottoOgniLimite_data();
    void sottoOgniLimite();
    void riuscita_data();
    void riuscita();
    void interrottoMentreScrive_data();
    void interrottoMentreScrive();
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

struct Utente {
    uid_t uid;
    gid_t gid;
};

// Who runs a child where permissions matter: an ordinary user. The tests'
// own user when it is one (`come` left empty); as root, "nobody", to whom
// the whole tree below `radice` is handed, with a copy of the child
// program in it (`programma`), as the build may lie in a folder nobody
// cannot enter. Null, or why that cannot be done.
const char* utenteComune(const QString& radice, std::optional<Utente>& come, QString& programma)
{
    come.reset();
    if (::geteuid() != 0)
        return nullptr;
    const passwd* p = ::getpwnam("nobody");
    if (p == nullptr)
        return "no user \"nobody\" to run as";
    come = Utente{p->pw_uid, p->pw_gid};
    programma = radice + QStringLiteral("/figlio");
    std::error_code e;
    bool dato = std::filesystem::copy_file(FENDRIX_FIGLIO, programma.toStdString(), e) &&
                ::lchown(QFile::encodeName(radice).constData(), p->pw_uid, p->pw_gid) == 0;
    QDirIterator voci(radice, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                      QDirIterator::Subdirectories);
    while (dato && voci.hasNext())
        dato = ::lchown(QFile::encodeName(voci.next()).constData(), p->pw_uid, p->pw_gid) == 0;
    return dato ? nullptr : "cannot hand the temporary folder to \"nobody\"";
}

void preparaFiglio(QProcess& figlio, const std::optional<Utente>& come)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    figlio.setProcessEnvironment(env);
    if (come) {
        figlio.setChildProcessModifier([u = *come] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(u.gid) != 0 || ::setuid(u.uid) != 0)
                ::_exit(125);
        });
    }
}

Esito eseguiFiglio(const QStringList& argomenti, const std::optional<Utente>& come = std::nullopt,
                   const QString& programma = QStringLiteral(FENDRIX_FIGLIO))
{
    QProcess figlio;
    preparaFiglio(figlio, come);
    figlio.start(programma, argomenti);
    if (!figlio.waitForFinished(120000))
        figlio.kill();
    return {figlio.exitCode(), figlio.exitStatus(), QString::fromUtf8(figlio.readAllStandardOutput()),
            QString::fromUtf8(figlio.readAllStandardError())};
}

// Files by the very bytes of their paths, which need not be valid UTF-8.
QByteArray leggiByte(const QByteArray& percorso)
{
    std::ifstream f(percorso.toStdString(), std::ios::binary);
    return f ? QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(f), {})) : QByteArray();
}

void scriviByte(const QByteArray& percorso, const QByteArray& contenuto)
{
    std::ofstream f(percorso.toStdString(), std::ios::binary);
    f.write(contenuto.constData(), contenuto.size());
    if (!f.flush())
        qFatal("cannot write test file %s", percorso.constData());
}

// Every name in a folder, hidden ones included.
QList<QByteArray> nomiIn(const QByteArray& cartella)
{
    QList<QByteArray> nomi;
    if (DIR* d = ::opendir(cartella.constData())) {
        while (const dirent* v = ::readdir(d))
            if (qstrcmp(v->d_name, ".") != 0 && qstrcmp(v->d_name, "..") != 0)
                nomi << QByteArray(v->d_name);
        ::closedir(d);
    }
    std::sort(nomi.begin(), nomi.end());
    return nomi;
}

unsigned umaskAttuale()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

// What is left in the data folder after a run of X.TXT where a killed
// writer's temporary (nothing removes it in that instant), an old file of
// a run, an old file another instance holds locked, a fresh one and a
// symbolic link lie.
QStringList restaDopoLaProssima(const CartellaProva& cartella)
{
    const QString d = cartella.dati();
    QStringList vecchi = cartella.fileDati();
    vecchi << QStringLiteral(".fendrix-Vecchi") << QStringLiteral(".fx0000000a.tmp");
    for (const char* nome : {".fendrix-Vecchi", ".fx0000000a.tmp", ".fendrix-Nuovo1"})
        scriviFile(d + QLatin1String(nome), "x");
    for (const QString& nome : vecchi)
        std::filesystem::last_write_time(QFile::encodeName(d + nome).toStdString(),
                                         std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    QFile::link(d + QStringLiteral("NEW - LISTA.TXT"), d + QStringLiteral(".fx0000000b.tmp"));
    const int tenuto = ::open(QFile::encodeName(d + QStringLiteral(".fx0000000a.tmp")).constData(), O_RDONLY);
    const auto chiudi = qScopeGuard([tenuto] { ::close(tenuto); });
    ::flock(tenuto, LOCK_EX);
    eseguiFiglio({QStringLiteral("esegui"), cartella.programma(),
                  cartella.scriviSorgente(QStringLiteral("x.txt"), "b\r\nb\r\n")});
    QStringList resta = cartella.fileDati();
    std::sort(resta.begin(), resta.end());
    return resta;
}

QByteArray sorgenteGrande()
{
    // About 300 KB with repeats: larger than the file-size limit below.
    QByteArray s;
    for (int i = 0; i < 30000; ++i)
        s += "combinazione " + QByteArray::number(i % 25000) + "\r\n";
    return s;
}

// `voci` lines of hexadecimal numbers, `distinte` of them different, in no
// order: too many for the reference, whose search is quadratic.
QByteArray listaSemplice(int voci, int distinte)
{
    QByteArray s;
    for (int i = 0; i < voci; ++i)
        s += QByteArray::number(static_cast<quint32>(i % distinte) * 2654435761u, 16) + "\r\n";
    return s;
}

// What a run gives for such a list (no spaces, quotes or commas): its lines
// sorted, each once.
oracolo::Esito esitoSemplice(const QByteArray& lista)
{
    std::vector<std::string> righe;
    for (const QByteArray& r : lista.split('\n'))
        if (!r.isEmpty())
            righe.push_back(r.chopped(1).toStdString());
    oracolo::Esito e;
    e.letti = static_cast<std::int64_t>(righe.size());
    std::sort(righe.begin(), righe.end());
    righe.erase(std::unique(righe.begin(), righe.end()), righe.end());
    e.eliminate = e.letti - static_cast<std::int64_t>(righe.size());
    e.copia = e.eliminate > 0;
    for (const std::string& r : righe)
        e.byte += r + "\r\n";
    return e;
}

// While it lives, temporary folders (and the children's $TMPDIR) are on
// /dev/shm, a file system that keeps its files in memory; `valido` is false
// where there is none.
class TemporaneiInMemoria {
public:
    explicit TemporaneiInMemoria(bool si)
    {
        if (!si)
            return;
        valido = sistema::inMemoria("/dev/shm");
        if (valido)
            qputenv("TMPDIR", "/dev/shm");
    }
    ~TemporaneiInMemoria()
    {
        if (!valido)
            return;
        if (c_era_)
            qputenv("TMPDIR", prima_);
        else
            qunsetenv("TMPDIR");
    }
    TemporaneiInMemoria(const TemporaneiInMemoria&) = delete;
    TemporaneiInMemoria& operator=(const TemporaneiInMemoria&) = delete;
    bool valido = false;

private:
    QByteArray prima_ = qgetenv("TMPDIR");
    bool c_era_ = qEnvironmentVariableIsSet("TMPDIR");
};

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
    QTest::newRow("earlier copy write-protected") << "copia protetta" << 70 << "Autorizzazione negata";
    QTest::newRow("source replaced by a folder") << "sorgente cartella" << 75
                                                 << "Errore di accesso al percorso/file";
    QTest::newRow("disk fills while writing") << "disco pieno" << 61 << "Disco pieno";
    QTest::newRow("disk fills while spilling runs") << "disco pieno, corse" << 61 << "Disco pieno";
    // The data folder keeps its files in memory: the copy is memory too,
    // more than the run may use, so it does not start.
    QTest::newRow("copy in memory past the budget") << "copia in memoria" << 61 << "Disco pieno";
    QTest::newRow("a FIFO named *.TXT") << "fifo" << 75 << "Errore di accesso al percorso/file";
    QTest::newRow("a device named *.TXT") << "device" << 75 << "Errore di accesso al percorso/file";
#if !defined(FENDRIX_SANITIZE)  // the sanitizers' shadow memory cannot live under an address-space limit
    QTest::newRow("larger than the memory allowed") << "memoria" << 7 << "Memoria esaurita";
#endif
}

void TstGuasti::terminaConErrore()
{
    QFETCH(QString, caso);
    QFETCH(int, numero);
    QFETCH(QString, testo);

    const TemporaneiInMemoria temporanei(caso == QLatin1String("copia in memoria"));
    if (caso == QLatin1String("copia in memoria") && !temporanei.valido)
        QSKIP("no memory file system at /dev/shm");
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
    } else if (caso == QLatin1String("copia in memoria")) {
        // 256 KiB for the run: the items go to runs on disk; the copy takes
        // more.
        argomenti << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("262144");
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
    std::optional<Utente> come;
    QString programma = QStringLiteral(FENDRIX_FIGLIO);
    if (caso == QLatin1String("copia protetta")) {
        QCOMPARE(::chmod(QFile::encodeName(copia).constData(), 0444), 0);
        if (const char* perche = utenteComune(QFileInfo(cartella.programma()).path(), come, programma))
            QSKIP(perche);
    }
    // Not hashed: what cannot be read, and the 4 GiB file (its size is checked).
    const QByteArray hashSorgente =
        caso == QLatin1String("fifo") || caso == QLatin1String("device") || caso == QLatin1String("memoria")
            ? QByteArray()
            : hashFile(sorgente);
    argomenti.prepend(sorgente);
    argomenti.prepend(cartella.programma());
    argomenti.prepend(QStringLiteral("esegui"));

    const Esito esito = eseguiFiglio(argomenti, come, programma);

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
    if (caso == QLatin1String("disco pieno") || caso == QLatin1String("copia in memoria"))
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
    // The source: "" for "a\r\na\r\n", a file it links to, or a list made
    // here; then the child's limits.
    QTest::addColumn<QString>("origine");
    QTest::addColumn<QStringList>("limiti");
    QTest::newRow("a repeated line") << "" << QStringList();
    // Reports a size of 0: read to its end all the same.
    QTest::newRow("larger than its reported size") << "/proc/cpuinfo" << QStringList();
    // Its spaces stream through a buffer far smaller than the field.
    QTest::newRow("a field of 5 MB of spaces, 64 KiB of memory") << "spazi" << QStringList{"0", "0", "65536"};
    // Spaces counted while a field fills the buffer: after a comma of a
    // line whose quote is never closed they are a field of their own, after
    // `""` they make the field an item; after a quote that is only a byte,
    // or one already closed, a comma ends the field.
    QTest::newRow("long runs of spaces around quotes, 64 KiB") << "spazi e virgolette"
                                                              << QStringList{"0", "0", "65536"};
    // The round lists a line of a million fields fills give their memory
    // back before the next such line is read.
    QTest::newRow("two lines of a million fields, a quote left open, 10 MiB")
        << "virgolette" << QStringList{"0", "0", "10485760"};
    // Over a hundred runs on disk, more than the descriptors allow open.
    QTest::newRow("runs on disk past 70 descriptors") << "corse" << QStringList{"0", "0", "65536", "0", "70"};
    // The data folder keeps its files in memory: the runs go to a folder on
    // disk, and the copy fits in what the run may use.
    QTest::newRow("data folder in memory, 2 MiB") << "corse in memoria" << QStringList{"0", "0", "2097152"};
}

void TstGuasti::riuscitaEsceConZero()
{
    QFETCH(QString, origine);
    QFETCH(QStringList, limiti);
    const TemporaneiInMemoria temporanei(origine == QLatin1String("corse in memoria"));
    if (origine == QLatin1String("corse in memoria") && !temporanei.valido)
        QSKIP("no memory file system at /dev/shm");
    CartellaProva cartella;
    QByteArray contenuto = "a\r\na\r\n";
    if (origine == QLatin1String("spazi")) {
        contenuto = QByteArray(5000000, ' ') + "\r\n  ,x, \r\n";
    } else if (origine == QLatin1String("spazi e virgolette")) {
        const QByteArray spazi(20000, ' ');
        const QByteArray molti(3000000, ' ');
        contenuto = "\"a ," + spazi + "\n \n\"\"" + spazi + "\n \nabc\"" + molti + ",x\nabc\"\n\"ab,c\" d" + molti +
                    ",x\n\"ab,c\" d\n";
    } else if (origine == QLatin1String("virgolette")) {
        contenuto = ("\"" + QByteArray("a,").repeated(1 << 20) + "\r\n").repeated(2);
    } else if (origine.startsWith(QLatin1String("corse"))) {
        contenuto = listaSemplice(80000, 60000);
    }
    QString sorgente;
    if (!origine.startsWith(QLatin1Char('/'))) {
        sorgente = cartella.scriviSorgente(QStringLiteral("lista.txt"), contenuto);
    } else {
        sorgente = cartella.utente() + QStringLiteral("/LISTA.TXT");
        QVERIFY(QFile::link(origine, sorgente));
        QFile f(origine);
        QVERIFY(f.open(QIODevice::ReadOnly));
        contenuto = f.readAll();
    }
    const oracolo::Esito atteso = origine.startsWith(QLatin1String("corse")) ? esitoSemplice(contenuto)
                                  : oracolo::esegui(std::string_view(contenuto.constData(), contenuto.size()));
    if (atteso.eliminate == 0)
        QSKIP("nothing repeats in it on this machine");
    const Esito esito = eseguiFiglio(QStringList{QStringLiteral("esegui"), cartella.programma(), sorgente} + limiti);
    QCOMPARE(esito.stato, 0);
    QCOMPARE(esito.out, QStringLiteral("MESSAGGIO\tFendrix\t%1\tEliminate %2  combinazioni ripetute..! \n")
                            .arg(int(QMessageBox::Critical))
                            .arg(atteso.eliminate));
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - LISTA.TXT")), QByteArray::fromStdString(atteso.byte));
}

void TstGuasti::sottoOgniLimite_data()
{
    QTest::addColumn<int>("posizione");  // of the limit among the child's arguments
    QTest::newRow("address space") << 1;
    QTest::newRow("data") << 3;
}

void TstGuasti::sottoOgniLimite()
{
#if defined(FENDRIX_SANITIZE)
    QSKIP("the sanitizers' shadow memory cannot live under an address-space limit");
#endif
    // From the least room in which the windowed child can start (below it
    // the toolkit cannot start its painting threads), 1 MiB at a time, 40
    // MiB up: every step must complete with the same count and copy. The
    // list's distinct items take more than the memory of every step, so
    // each goes through runs on disk.
    QFETCH(int, posizione);
    constexpr qint64 minimo = qint64(9) << 20;
    const QByteArray contenuto = listaSemplice(700000, 560000);
    const oracolo::Esito atteso = esitoSemplice(contenuto);
    const QString messaggio = QStringLiteral("MESSAGGIO\tFendrix\t%1\tEliminate %2  combinazioni ripetute..! \n")
                                  .arg(int(QMessageBox::Critical))
                                  .arg(atteso.eliminate);
    // Two children at a time, each with a program folder of its own.
    CartellaProva cartelle[2];
    QString sorgenti[2];
    for (int k = 0; k < 2; ++k)
        sorgenti[k] = cartelle[k].scriviSorgente(QStringLiteral("lista.txt"), contenuto);
    for (qint64 stanza = minimo; stanza <= minimo + (qint64(40) << 20); stanza += qint64(2) << 20) {
        QProcess figli[2];
        for (int k = 0; k < 2; ++k) {
            QStringList limiti{QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")};
            limiti[posizione] = QStringLiteral("+%1").arg(stanza + (qint64(k) << 20));
            preparaFiglio(figli[k], std::nullopt);
            figli[k].start(QStringLiteral(FENDRIX_FIGLIO),
                           QStringList{QStringLiteral("esegui"), cartelle[k].programma(), sorgenti[k]} + limiti);
        }
        for (int k = 0; k < 2; ++k) {
            const QString dove = QStringLiteral("%1 MiB above what the child holds")
                                     .arg((stanza >> 20) + k);
            // A child that does not end is killed and waited for, so that it
            // shows as a crash, not as the exit status 0 of one not yet seen.
            const bool finito = figli[k].waitForFinished(60000);
            if (!finito) {
                figli[k].kill();
                figli[k].waitForFinished();
            }
            QVERIFY2(finito, qPrintable(dove + QStringLiteral(": still running after a minute")));
            QVERIFY2(figli[k].exitStatus() == QProcess::NormalExit && figli[k].exitCode() == 0, qPrintable(dove));
            QVERIFY2(QString::fromUtf8(figli[k].readAllStandardOutput()) == messaggio, qPrintable(dove));
            QVERIFY2(leggiFile(cartelle[k].dati() + QStringLiteral("NEW - LISTA.TXT")) ==
                         QByteArray::fromStdString(atteso.byte),
                     qPrintable(dove));
        }
    }
}

void TstGuasti::riuscita_data()
{
    QTest::addColumn<QString>("caso");
    QTest::newRow("private source, private copy") << "sorgente privata";
    QTest::newRow("read-only source, writable copy") << "sorgente sola lettura";
    QTest::newRow("earlier copy's mode, owner and group kept where they read the source") << "modo precedente";
    QTest::newRow("earlier copy's owner who cannot read the source not kept") << "proprietario estraneo";
    QTest::newRow("earlier copy's group that cannot read the source not kept") << "gruppo estraneo";
    QTest::newRow("symbolic link at the copy's name replaced") << "link";
    QTest::newRow("copy name of 255 bytes") << "nome lungo";
    QTest::newRow("program folder not valid UTF-8") << "programma non UTF-8";
    QTest::newRow("chosen name not valid UTF-8") << "nome non UTF-8";
    QTest::newRow("UTF-16 halves of a pair joined") << "meta UTF-16";
}

void TstGuasti::riuscita()
{
    // Runs that must end well, each copy in place with the right name, bytes
    // and rights, the source as it was and nothing else left behind.
    QFETCH(QString, caso);
    CartellaProva cartella;
    const QString radice = QFileInfo(cartella.programma()).path();
    QByteArray datiByte = qt::byteDiPercorso(cartella.dati());
    QByteArray contenuto = "a\r\na\r\n";
    QByteArray attesa = "a\r\n";
    QString nome = QStringLiteral("lista.txt");
    if (caso == QLatin1String("nome lungo"))
        nome = QString(245, QLatin1Char('n')) + QStringLiteral(".txt");
    if (caso == QLatin1String("meta UTF-16")) {
        // '"\ud800"\udc00' and U+10000: one character, one item.
        contenuto = b("\xFF\xFE" "\"\0\x00\xD8\"\0\x00\xDC\r\0\n\0" "\x00\xD8\x00\xDC\r\0\n\0", 22);
        attesa = b("\xFF\xFE" "\x00\xD8\x00\xDC\r\0\n\0", 10);
    }
    QString programma = QStringLiteral(FENDRIX_FIGLIO);
    QStringList argomenti;
    QByteArray sorgente;
    // Names the temporary folder's own clean-up cannot reach.
    RimozioneAllaFine daRimuovere;
    if (caso == QLatin1String("nome non UTF-8")) {
        // Chosen in the dialog, which opens on the data folder.
        sorgente = datiByte + "caf\xE9.txt";
        daRimuovere << sorgente << datiByte + "NEW - CAF\xE9.TXT";
        scriviByte(sorgente, contenuto);
        argomenti = QStringList{QStringLiteral("scelta"), cartella.programma(), QStringLiteral("caf\uFFFD.txt"),
                                QStringLiteral("ok")};
    } else if (caso == QLatin1String("programma non UTF-8")) {
        // The program itself in such a folder, started through a link, and
        // left to find its folder by itself.
        const QByteArray cartellaProgramma = qt::byteDiPercorso(radice) + "/programma\xFF";
        datiByte = cartellaProgramma + "/Shared/Sistemi/";
        daRimuovere << cartellaProgramma;
        std::filesystem::create_directories(datiByte.toStdString());
        std::filesystem::copy_file(FENDRIX_FIGLIO, (cartellaProgramma + "/figlio").toStdString());
        programma = radice + QStringLiteral("/lancia");
        QCOMPARE(::symlink((cartellaProgramma + "/figlio").constData(), QFile::encodeName(programma).constData()), 0);
        sorgente = QFile::encodeName(cartella.scriviSorgente(nome, contenuto));
        argomenti = QStringList{QStringLiteral("esegui"), QStringLiteral("-"), QFile::decodeName(sorgente)};
    } else {
        sorgente = QFile::encodeName(cartella.scriviSorgente(nome, contenuto));
        argomenti = QStringList{QStringLiteral("esegui"), cartella.programma(), QFile::decodeName(sorgente)};
    }
    const QByteArray nomeCopia = "NEW - " + QByteArray::fromStdString(Variabili::NomeDaPercorso(sorgente.toStdString()).native());
    const QByteArray copia = datiByte + nomeCopia;

    const unsigned predefinito = 0666 & ~umaskAttuale();
    unsigned modoAtteso = predefinito;
    std::optional<Utente> come;
    std::optional<std::pair<uid_t, gid_t>> proprieta;  // the copy's owner and group, where they matter
    QByteArray altrove;
    if (caso == QLatin1String("sorgente privata")) {
        QCOMPARE(::chmod(sorgente.constData(), 0600), 0);
        modoAtteso = (predefinito & ~0044u) | 0600;
    } else if (caso == QLatin1String("sorgente sola lettura")) {
        QCOMPARE(::chmod(sorgente.constData(), 0444), 0);
        modoAtteso = predefinito | 0600;
    } else if (caso == QLatin1String("modo precedente") || caso == QLatin1String("proprietario estraneo") ||
               caso == QLatin1String("gruppo estraneo")) {
        const passwd* nobody = ::getpwnam("nobody");
        const uid_t u = nobody != nullptr ? nobody->pw_uid : 0;
        const group* nogroup = ::getgrnam("nogroup");
        if (::geteuid() != 0 || u == 0 || nogroup == nullptr)
            QSKIP("only root can give files to nobody and nogroup here");
        const gid_t g = nogroup->gr_gid, radice = ::getegid();
        // The source's owner, group and mode, the earlier copy's, the copy's.
        const bool tiene = caso == QLatin1String("modo precedente");  // nobody and nogroup read the source
        const bool gruppo = caso == QLatin1String("gruppo estraneo");  // root's group reads it, not nogroup
        const unsigned ms = tiene || gruppo ? 0640 : 0600, mc = tiene ? 0664 : ms;
        modoAtteso = tiene ? 0660 : ms;
        proprieta = tiene ? std::pair{u, g} : std::pair{uid_t{0}, radice};
        scriviByte(copia, "precedente");
        QCOMPARE(::chown(sorgente.constData(), tiene ? u : 0, tiene ? g : radice), 0);
        QCOMPARE(::chmod(sorgente.constData(), ms), 0);
        QCOMPARE(::chown(copia.constData(), gruppo ? 0 : u, g), 0);
        QCOMPARE(::chmod(copia.constData(), mc), 0);
    } else if (caso == QLatin1String("link")) {
        // A link to a file the user may not write: replaced, not followed.
        altrove = QFile::encodeName(cartella.utente()) + "/altrove.txt";
        scriviByte(altrove, "intoccabile");
        QCOMPARE(::chmod(altrove.constData(), 0444), 0);
        QCOMPARE(::symlink(altrove.constData(), copia.constData()), 0);
        if (const char* perche = utenteComune(radice, come, programma))
            QSKIP(perche);
    }
    const QByteArray hashSorgente = QCryptographicHash::hash(leggiByte(sorgente), QCryptographicHash::Sha256);

    const Esito esito = eseguiFiglio(argomenti, come, programma);
    QCOMPARE(esito.modo, QProcess::NormalExit);
    QVERIFY2(esito.stato == 0, qPrintable(esito.out + esito.err));
    QCOMPARE(esito.out, QStringLiteral("MESSAGGIO\tFendrix\t%1\tEliminate 1  combinazioni ripetute..! \n")
                            .arg(int(QMessageBox::Critical)));

    QCOMPARE(leggiByte(copia), attesa);
    QCOMPARE(QCryptographicHash::hash(leggiByte(sorgente), QCryptographicHash::Sha256), hashSorgente);
    QList<QByteArray> attesi{nomeCopia};
    if (caso == QLatin1String("nome non UTF-8"))
        attesi << "caf\xE9.txt";
    QCOMPARE(nomiIn(datiByte), attesi);
    struct stat st {};
    QCOMPARE(::lstat(copia.constData(), &st), 0);
    QVERIFY(S_ISREG(st.st_mode));
    QCOMPARE(QString::number(st.st_mode & 07777, 8), QString::number(modoAtteso, 8));
    if (proprieta) {
        QCOMPARE(st.st_uid, proprieta->first);
        QCOMPARE(st.st_gid, proprieta->second);
    }
    if (!altrove.isEmpty())
        QCOMPARE(leggiByte(altrove), QByteArray("intoccabile"));
}

void TstGuasti::interrottoMentreScrive_data()
{
    QTest::addColumn<int>("segnale");
    QTest::addColumn<bool>("conNome");
    QTest::newRow("SIGTERM, unnamed temporary") << int(SIGTERM) << false;
    QTest::newRow("SIGKILL, unnamed temporary") << int(SIGKILL) << false;
    QTest::newRow("SIGTERM, named temporary") << int(SIGTERM) << true;
    QTest::newRow("SIGKILL, named temporary, removed by the next run") << int(SIGKILL) << true;
    QTest::newRow("SIGINT, named temporary") << int(SIGINT) << true;
    QTest::newRow("SIGHUP, named temporary") << int(SIGHUP) << true;
}

void TstGuasti::interrottoMentreScrive()
{
    // Ended by a signal while the copy is written: the process ends by that
    // signal, the earlier copy stays as it was, and nothing is left behind.
    QFETCH(int, segnale);
    QFETCH(bool, conNome);
    CartellaProva cartella;
    const QString copia = cartella.dati() + QStringLiteral("NEW - LISTA.TXT");
    scriviFile(copia, "precedente");
    QProcess figlio;
    preparaFiglio(figlio, std::nullopt);
    figlio.start(QStringLiteral(FENDRIX_FIGLIO),
                 {QStringLiteral("scrivi"), cartella.programma(), QStringLiteral("NEW - LISTA.TXT"),
                  conNome ? QStringLiteral("con-nome") : QStringLiteral("senza-nome")});
    QByteArray uscita;
    while (!uscita.contains("SCRIVENDO\n")) {
        QVERIFY2(figlio.waitForReadyRead(120000), figlio.readAllStandardError().constData());
        uscita += figlio.readAllStandardOutput();
    }
    // While it is written, the copy has a name only when asked to.
    const QStringList durante = cartella.fileDati();
    if (!conNome && durante.size() == 2)
        QSKIP("this file system has no unnamed temporary files");
    QCOMPARE(durante.size(), conNome ? 2 : 1);

    QCOMPARE(::kill(figlio.processId(), segnale), 0);
    QVERIFY(figlio.waitForFinished(120000));
    QCOMPARE(figlio.exitStatus(), QProcess::CrashExit);
    QCOMPARE(figlio.exitCode(), segnale);
    if (segnale == SIGKILL && conNome) {
        QCOMPARE(cartella.fileDati().size(), 2);
        QCOMPARE(restaDopoLaProssima(cartella),
                 (QStringList{".fendrix-Nuovo1", ".fx0000000a.tmp", ".fx0000000b.tmp", "NEW - LISTA.TXT", "NEW - X.TXT"}));
        QCOMPARE(leggiFile(copia), QByteArray("precedente"));
        return;
    }
    QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - LISTA.TXT")});
    QCOMPARE(leggiFile(copia), QByteArray("precedente"));
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
