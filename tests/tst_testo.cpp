// Text helpers, NomeDaPercorso, the mapping of system errors to the
// program's error numbers, and the reading of the process's limits.
#include "sistema/ErroreRuntime.h"
#include "qt/PercorsiQt.h"
#include "testo/CampiTesto.h"
#include "sistema/Risorse.h"
#include "stato/Variabili.h"

#include "CartellaProva.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

class TstTesto : public QObject {
    Q_OBJECT
private slots:
    void nomeDaPercorso_data();
    void nomeDaPercorso();
    void percorsiSenzaPerdite_data();
    void percorsiSenzaPerdite();
    void togliSpazi_data();
    void togliSpazi();
    void unisciPercorso_data();
    void unisciPercorso();
    void erroreDaErrno_data();
    void erroreDaErrno();
    void descrizioneErrore();
    void limiti_data();
    void limiti();
    void descrittori_data();
    void descrittori();
};

void TstTesto::nomeDaPercorso_data()
{
    QTest::addColumn<QString>("percorso");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("full path") << "/dati/estrazioni.txt" << "ESTRAZIONI.TXT";
    QTest::newRow("no separator") << "estrazioni.txt" << "ESTRAZIONI.TXT";
    QTest::newRow("trailing separator") << "/dati/" << "";
    QTest::newRow("root file") << "/NAME.TXT" << "NAME.TXT";
    QTest::newRow("many pieces") << "/a/b/c/d/e/f/g.txt" << "G.TXT";
    QTest::newRow("accented") << "/dati/città.txt" << "CITTÀ.TXT";
    QTest::newRow("sharp s widens") << "/dati/straße.txt" << "STRASSE.TXT";
    QTest::newRow("already output") << "/x/NEW - A.TXT" << "NEW - A.TXT";
    QTest::newRow("spaces kept") << "/x/ a b .txt" << " A B .TXT";
    // Not valid UTF-8: ASCII letters upper-cased, every other byte kept,
    // even the bytes of valid characters beside them.
    QTest::newRow("not valid UTF-8") << qt::percorsoDaByte("/d\xE9/caf\xE9.txt")
                                     << qt::percorsoDaByte("CAF\xE9.TXT");
    QTest::newRow("not valid UTF-8, accented letter kept")
        << qt::percorsoDaByte("/x/citt\xC3\xA0-\xFF.txt") << qt::percorsoDaByte("CITT\xC3\xA0-\xFF.TXT");
}

void TstTesto::nomeDaPercorso()
{
    QFETCH(QString, percorso);
    QFETCH(QString, atteso);
    QCOMPARE(qs(Variabili::NomeDaPercorso(fp(QDir::toNativeSeparators(percorso)))), atteso);
}

void TstTesto::percorsiSenzaPerdite_data()
{
    QTest::addColumn<QByteArray>("byte");
    QTest::addColumn<bool>("grezzi");  // not valid UTF-8
    QTest::addColumn<QString>("visibile");
    QTest::newRow("ASCII") << QByteArray("/dati/a.txt") << false << "/dati/a.txt";
    QTest::newRow("UTF-8") << QByteArray("/citt\xC3\xA0/\xF0\x9F\x98\x80") << false << "/città/\U0001F600";
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9.txt") << true << "caf\uFFFD.txt";
    QTest::newRow("0xFF and 0x80") << QByteArray("\xFF\x80") << true << "\uFFFD\uFFFD";
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << true << "\uFFFD\uFFFD";
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xB3\xA9") << true << "\uFFFD\uFFFD\uFFFD";
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << true << "\uFFFD\uFFFD\uFFFD\uFFFD";
    QTest::newRow("cut short") << QByteArray("a\xE2\x82") << true << "a\uFFFD\uFFFD";
}

void TstTesto::percorsiSenzaPerdite()
{
    // Every byte comes back exactly; the user sees replacement characters.
    QFETCH(QByteArray, byte);
    QFETCH(bool, grezzi);
    QFETCH(QString, visibile);
    const QString percorso = qt::percorsoDaByte(byte);
    QCOMPARE(qt::byteDiPercorso(percorso), byte);
    QCOMPARE(qt::haByteGrezzi(percorso), grezzi);
    QCOMPARE(qt::testoVisibile(percorso), visibile);
    if (!grezzi)
        QCOMPARE(percorso, QString::fromUtf8(byte));
}

void TstTesto::togliSpazi_data()
{
    QTest::addColumn<QByteArray>("voce");
    QTest::addColumn<QByteArray>("attesa");
    QTest::newRow("none") << QByteArray("abc") << QByteArray("abc");
    QTest::newRow("both sides") << QByteArray("  a b  ") << QByteArray("a b");
    QTest::newRow("only spaces") << QByteArray("   ") << QByteArray("");
    QTest::newRow("tabs stay") << QByteArray("\tabc\t") << QByteArray("\tabc\t");
    QTest::newRow("nbsp stays") << QByteArray("\xC2\xA0x ") << QByteArray("\xC2\xA0x");
    QTest::newRow("NUL stays") << QByteArray(" \0x\0 ", 5) << QByteArray("\0x\0", 3);
    QTest::newRow("empty") << QByteArray("") << QByteArray("");
}

void TstTesto::togliSpazi()
{
    QFETCH(QByteArray, voce);
    QFETCH(QByteArray, attesa);
    const std::string_view r = testo::CampiTesto::senzaSpazi(std::string_view(voce.constData(), voce.size()));
    QCOMPARE(QByteArray(r.data(), qsizetype(r.size())), attesa);
}

void TstTesto::unisciPercorso_data()
{
    QTest::addColumn<QString>("cartella");
    QTest::addColumn<QString>("nome");
    QTest::addColumn<QString>("atteso");
    QTest::newRow("plain") << "/dati" << "A.TXT" << "/dati/A.TXT";
    QTest::newRow("trailing") << "/dati/" << "A.TXT" << "/dati/A.TXT";
    QTest::newRow("root") << "/" << "A.TXT" << "/A.TXT";
}

void TstTesto::unisciPercorso()
{
    QFETCH(QString, cartella);
    QFETCH(QString, nome);
    QFETCH(QString, atteso);
    QCOMPARE(qt::unisciPercorso(QDir::toNativeSeparators(cartella), nome),
             QDir::toNativeSeparators(atteso));
}

void TstTesto::erroreDaErrno_data()
{
    QTest::addColumn<int>("numeroErrno");
    QTest::addColumn<bool>("cartellaEsiste");
    QTest::addColumn<int>("numero");
    QTest::addColumn<QString>("testo");
    QTest::newRow("missing file") << ENOENT << true << 53 << "Impossibile trovare il file";
    QTest::newRow("missing folder") << ENOENT << false << 76 << "Impossibile trovare il percorso";
    QTest::newRow("not a folder") << ENOTDIR << true << 76 << "Impossibile trovare il percorso";
    QTest::newRow("denied") << EACCES << true << 70 << "Autorizzazione negata";
    QTest::newRow("read-only fs") << EROFS << true << 70 << "Autorizzazione negata";
    QTest::newRow("no space") << ENOSPC << true << 61 << "Disco pieno";
    QTest::newRow("too big") << EFBIG << true << 61 << "Disco pieno";
    QTest::newRow("io") << EIO << true << 57 << "Errore di I/O della periferica";
    QTest::newRow("memory") << ENOMEM << true << 7 << "Memoria esaurita";
    QTest::newRow("is a folder") << EISDIR << true << 75 << "Errore di accesso al percorso/file";
    QTest::newRow("loop") << ELOOP << true << 75 << "Errore di accesso al percorso/file";
}

void TstTesto::erroreDaErrno()
{
    QFETCH(int, numeroErrno);
    QFETCH(bool, cartellaEsiste);
    QFETCH(int, numero);
    QFETCH(QString, testo);
    QTemporaryDir dir;
    const QString cartella = cartellaEsiste ? dir.path() : dir.path() + QStringLiteral("/manca");
    const sistema::ErroreRuntime e =
        sistema::ErroreRuntime::daErrno(numeroErrno, fp(cartella + QStringLiteral("/x.txt")));
    QCOMPARE(e.numero(), numero);
    QCOMPARE(QString::fromStdString(e.testo()), testo);
}

void TstTesto::descrizioneErrore()
{
    const sistema::ErroreRuntime e(sistema::CodiceErrore::FileNonTrovato, fp(QStringLiteral("/d/x.txt")));
    QCOMPARE(QString::fromStdString(e.descrizione()),
             QStringLiteral("Errore di run-time '53':\n\nImpossibile trovare il file\n\n") +
                 QDir::toNativeSeparators(QStringLiteral("/d/x.txt")));
    QCOMPARE(QString::fromUtf8(e.what()), QString::fromStdString(e.descrizione()));
}

void TstTesto::limiti_data()
{
    // Files as "PATH=VALUE": @ is proc/self/, ~ is sys/fs/cgroup, "NM" N MiB
    // in bytes, "NP" N MiB in pages, ";" a line end, "big" v1's "no limit".
    // Limits in MiB, -1 for none; 8 GiB of physical memory.
    QTest::addColumn<QStringList>("file");
    QTest::addColumn<qint64>("limiteIndirizzi");
    QTest::addColumn<qint64>("limiteDati");
    QTest::addColumn<qint64>("atteso");
    QTest::addColumn<int>("processori");
    const QString v2 = "@mountinfo=30 23 0:26 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate";
    const QString v1 = "@mountinfo=22 27 0:21 / /proc rw - proc proc rw;32 31 0:29 / /sys/fs/cgroup/cpu,cpuacct rw shared:9 - "
                       "cgroup cgroup rw,cpu,cpuacct;35 31 0:32 / /sys/fs/cgroup/memory rw shared:12 - cgroup cgroup rw,memory";
    const QString mem = "proc/meminfo=MemTotal: 9000000 kB;MemAvailable: 1048576 kB", statm = "@statm=100P 1 1 1 0 50P 0";
    QTest::newRow("half of MemAvailable") << QStringList{mem} << -1LL << -1LL << 512LL << 0;
    QTest::newRow("address space") << QStringList{mem, statm} << 400LL << 1000LL << 300LL << 0;
    QTest::newRow("data") << QStringList{statm} << 1000LL << 200LL << 150LL << 0;
    QTest::newRow("v2") << QStringList{v2, "@cgroup=0::/a/x", "~/a/x/memory.max=300M", "~/a/x/memory.current=100M",
                                       "~/a/x/cpu.max=150000 100000"} << -1LL << -1LL << 200LL << 2;
    QTest::newRow("v2 max") << QStringList{v2, "@cgroup=0::/x", "~/x/memory.max=max", "~/x/memory.current=100M",
                                           "~/x/cpu.max=max 100000"} << -1LL << -1LL << 4096LL << 0;
    QTest::newRow("v2 nested, tightest above")
        << QStringList{v2, "@cgroup=0::/a/b", "~/a/b/memory.max=1000M", "~/a/b/memory.current=100M", "~/a/b/cpu.max=400000 100000",
                       "~/a/memory.max=250M", "~/a/memory.current=200M", "~/a/cpu.max=100000 100000"} << -1LL << -1LL << 50LL << 1;
    QTest::newRow("v2 cache counted as free") << QStringList{v2, "@cgroup=0::/x", "~/x/memory.max=300M", "~/x/memory.current=290M",
        "~/x/memory.stat=active_file 5;inactive_file 100M;shmem 0"} << -1LL << -1LL << 110LL << 0;
    QTest::newRow("v2 group's files missing") << QStringList{v2, "@cgroup=0::/a/gone", "~/a/memory.max=300M",
        "~/a/memory.current=100M", "~/b/memory.max=10M"} << -1LL << -1LL << 200LL << 0;
    QTest::newRow("v1, cache counted as free") << QStringList{v1, "@cgroup=4:memory:/x;2:cpu,cpuacct:/x;0::/",
        "~/memory/x/memory.limit_in_bytes=300M", "~/memory/x/memory.usage_in_bytes=50M",
        "~/memory/x/memory.stat=inactive_file 1;hierarchical_memory_limit 300M;total_inactive_file 20M",
        "~/memory/memory.limit_in_bytes=big", "~/memory/memory.usage_in_bytes=4000M",
        "~/cpu,cpuacct/x/cpu.cfs_quota_us=250000", "~/cpu,cpuacct/x/cpu.cfs_period_us=100000"} << -1LL << -1LL << 270LL << 3;
    QTest::newRow("v1 no limit") << QStringList{v1, "@cgroup=4:memory:/x;2:cpu,cpuacct:/", "~/memory/x/memory.limit_in_bytes=big",
        "~/memory/x/memory.usage_in_bytes=2891776", "~/memory/x/memory.stat=hierarchical_memory_limit big",
        "~/cpu,cpuacct/cpu.cfs_quota_us=-1", "~/cpu,cpuacct/cpu.cfs_period_us=100000"} << -1LL << -1LL << 4096LL << 0;
    // The mount's root is /docker/ab: the group /docker/ab/job is its folder job.
    QTest::newRow("v1 mount root stripped, limit above the mount") << QStringList{"@cgroup=4:memory:/docker/ab/job",
        "@mountinfo=35 31 0:32 /docker/ab /sys/fs/cgroup/m\\040m rw - cgroup cgroup rw,memory",
        "~/m m/job/memory.limit_in_bytes=big", "~/m m/job/memory.usage_in_bytes=20M", "~/m m/job/memory.stat=hierarchical_memory_limit 150M",
        "~/m m/memory.limit_in_bytes=big", "~/m m/memory.usage_in_bytes=100M", "~/m m/memory.stat=hierarchical_memory_limit 300M"}
        << -1LL << -1LL << 130LL << 0;
    for (const auto& [nome, v2Max, atteso] : {std::tuple{"hybrid, v1 tighter", 500, 200LL}, {"hybrid, v2 tighter", 150, 150LL}})
        QTest::newRow(nome) << QStringList{v1 + ";41 31 0:38 / /sys/fs/cgroup/unified rw - cgroup2 cgroup2 rw", "@cgroup=4:memory:/x;1:cpu:/;0::/x",
            "~/memory/x/memory.limit_in_bytes=200M", QString("~/unified/x/memory.max=%1M").arg(v2Max)} << -1LL << -1LL << atteso << 0;
}

void TstTesto::limiti()
{
    QFETCH(QStringList, file);
    QFETCH(qint64, limiteIndirizzi);
    QFETCH(qint64, limiteDati);
    QFETCH(qint64, atteso);
    QFETCH(int, processori);
    QTemporaryDir radice;
    static const QRegularExpression mib("\\b(\\d+)([MP])\\b");
    for (QString f : file) {
        f.replace('@', "proc/self/").replace('~', "sys/fs/cgroup").replace(';', '\n').replace("big", "9223372036854771712");
        for (QRegularExpressionMatch m; (m = mib.match(f)).hasMatch();) {
            const qint64 n = m.captured(1).toLongLong() << 20;
            f.replace(m.capturedStart(), m.capturedLength(), QString::number(m.captured(2) == "M" ? n : n / ::sysconf(_SC_PAGESIZE)));
        }
        QVERIFY(QDir(radice.path()).mkpath(QFileInfo(f.section('=', 0, 0)).path()));
        scriviFile(radice.filePath(f.section('=', 0, 0)), f.section('=', 1).toUtf8() + '\n');
    }
    const auto limite = [](qint64 n) { return n < 0 ? sistema::senzaLimite : std::uint64_t(n) << 20; };
    const sistema::Limiti letti = sistema::leggiLimiti(radice.path().toStdString());
    QCOMPARE(sistema::memoriaDa(letti, limite(limiteIndirizzi), limite(limiteDati), 8ULL << 30), std::uint64_t(atteso) << 20);
    QCOMPARE(letti.processori, unsigned(processori));
}

void TstTesto::descrittori_data()
{
    // The soft limit is set to the descriptors open now plus `margine`, then
    // `nuovi` more are opened.
    QTest::addColumn<int>("margine");
    QTest::addColumn<int>("nuovi");
    QTest::addColumn<int>("atteso");
    QTest::newRow("room of ten") << 10 << 0 << 10;
    QTest::newRow("three opened") << 10 << 3 << 7;
    QTest::newRow("limit below those open") << -3 << 0 << 0;
}

void TstTesto::descrittori()
{
    QFETCH(int, margine);
    QFETCH(int, nuovi);
    QFETCH(int, atteso);
    rlimit prima{};
    QVERIFY(::getrlimit(RLIMIT_NOFILE, &prima) == 0);
    int aperti = 0;
    for (int fd = 0; fd < 4096; ++fd)
        aperti += ::fcntl(fd, F_GETFD) != -1;
    rlimit basso{rlim_t(aperti + margine), prima.rlim_max};
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &basso) == 0);
    QList<int> fds;
    for (int i = 0; i < nuovi; ++i)
        fds << ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const std::size_t restano = sistema::descrittoriDisponibili();
    for (int fd : fds)
        ::close(fd);
    QVERIFY(::setrlimit(RLIMIT_NOFILE, &prima) == 0);
    QCOMPARE(restano, std::size_t(atteso));
}

QTEST_GUILESS_MAIN(TstTesto)
#include "tst_testo.moc"
