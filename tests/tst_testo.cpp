// Text helpers, NomeDaPercorso and the mapping of system errors to the
// program's error numbers.
#include "host/ErroreRuntime.h"
#include "host/Percorsi.h"
#include "host/CampiTesto.h"
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
    void percorsiSenzaPerdite_data();
    void percorsiSenzaPerdite();
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
    // Not valid UTF-8: ASCII letters upper-cased, every other byte kept,
    // even the bytes of valid characters beside them.
    QTest::newRow("not valid UTF-8") << host::percorsoDaByte("/d\xE9/caf\xE9.txt")
                                     << host::percorsoDaByte("CAF\xE9.TXT");
    QTest::newRow("not valid UTF-8, accented letter kept")
        << host::percorsoDaByte("/x/citt\xC3\xA0-\xFF.txt") << host::percorsoDaByte("CITT\xC3\xA0-\xFF.TXT");
}

void TstTesto::nomeDaPercorso()
{
    QFETCH(QString, percorso);
    QFETCH(QString, atteso);
    QCOMPARE(Variabili::NomeDaPercorso(QDir::toNativeSeparators(percorso)), atteso);
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
    const QString percorso = host::percorsoDaByte(byte);
    QCOMPARE(host::byteDiPercorso(percorso), byte);
    QCOMPARE(host::haByteGrezzi(percorso), grezzi);
    QCOMPARE(host::testoVisibile(percorso), visibile);
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
    const std::string_view r = host::CampiTesto::senzaSpazi(std::string_view(voce.constData(), voce.size()));
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
