// Text helpers, NomeDaPercorso and the mapping of system errors to the
// program's error numbers.
#include "host/ErroreRuntime.h"
#include "host/Testo.h"
#include "state/Variabili.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

class TstTesto : public QObject {
    Q_OBJECT
private slots:
    void nomeDaPercorso_data();
    void nomeDaPercorso();
    void togliSpazi_data();
    void togliSpazi();
    void unisciPercorso_data();
    void unisciPercorso();
    void erroreDaErrno_data();
    void erroreDaErrno();
    void descrizioneErrore();
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
}

void TstTesto::nomeDaPercorso()
{
    QFETCH(QString, percorso);
    QFETCH(QString, atteso);
    QCOMPARE(Variabili::NomeDaPercorso(QDir::toNativeSeparators(percorso)), atteso);
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
    const std::string_view r = host::togliSpazi(std::string_view(voce.constData(), voce.size()));
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
    QCOMPARE(host::unisciPercorso(QDir::toNativeSeparators(cartella), nome),
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
    const host::ErroreRuntime e =
        host::ErroreRuntime::daErrno(numeroErrno, cartella + QStringLiteral("/x.txt"));
    QCOMPARE(e.numero(), numero);
    QCOMPARE(e.testo(), testo);
}

void TstTesto::descrizioneErrore()
{
    const host::ErroreRuntime e(host::CodiceErrore::FileNonTrovato, QStringLiteral("/d/x.txt"));
    QCOMPARE(e.descrizione(),
             QStringLiteral("Errore di run-time '53':\n\nImpossibile trovare il file\n\n") +
                 QDir::toNativeSeparators(QStringLiteral("/d/x.txt")));
    QCOMPARE(QString::fromUtf8(e.what()), e.descrizione());
}

QTEST_GUILESS_MAIN(TstTesto)
#include "tst_testo.moc"
