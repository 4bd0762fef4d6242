// The item reader: how text splits into fields, and how files are loaded.
#include "testo/CampiTesto.h"
#include "sistema/ErroreRuntime.h"
#include "sistema/LettoreVoci.h"
#include "sistema/Processo.h"

#include "Campi.h"
#include "CartellaProva.h"

#include <QFile>
#include <QtTest>

#include <csignal>

#include <sys/stat.h>

using Campi = QList<QByteArray>;

namespace {

Campi campiDi(const QByteArray& testo)
{
    testo::CampiTesto campi(std::string_view(testo.constData(), testo.size()));
    return campiInByte(campi);
}

}  // namespace

class TstLettore : public QObject {
    Q_OBJECT
private slots:
    void campi_data();
    void campi();
    void campiCompostiRestanoValidi();
    void metaCoppieUtf16_data();
    void metaCoppieUtf16();
    void bom_data();
    void bom();
    void erroriApertura_data();
    void erroriApertura();
    void fileNonRegolari_data();
    void fileNonRegolari();
    void fileCheSiAccorcia_data();
    void fileCheSiAccorcia();
};

void TstLettore::campi_data()
{
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<Campi>("attesi");

    // Delimiters and line ends.
    QTest::newRow("commas") << b("1,2,3") << Campi{"1", "2", "3"};
    QTest::newRow("CR LF, LF, CR") << b("a\r\nb\nc\rd") << Campi{"a", "b", "c", "d"};
    QTest::newRow("lone CR before CR LF") << b("\r\r\n") << Campi{"", ""};
    QTest::newRow("LF CR is two ends") << b("a\n\rb") << Campi{"a", "", "b"};
    QTest::newRow("blank line") << b("a\r\n\r\nb") << Campi{"a", "", "b"};
    QTest::newRow("empty between commas") << b("a,,b") << Campi{"a", "", "b"};
    QTest::newRow("last comma ends the file") << b("a,b,") << Campi{"a", "b"};
    QTest::newRow("last line end ends the file") << b("a\r\n") << Campi{"a"};
    QTest::newRow("no final line end") << b("a\r\nb") << Campi{"a", "b"};
    QTest::newRow("empty file") << b("") << Campi{};
    QTest::newRow("one blank line") << b("\r\n") << Campi{""};
    QTest::newRow("commas only") << b(",,,") << Campi{"", "", ""};
    QTest::newRow("spaces kept for the caller") << b("  a  ,b") << Campi{"  a  ", "b"};
    QTest::newRow("tabs are not delimiters") << b("\ta\t,b") << Campi{"\ta\t", "b"};

    // Quotation marks.
    QTest::newRow("quoted comma") << b("\"a,b\",c") << Campi{"a,b", "c"};
    QTest::newRow("spaces before the quote") << b("  \"a,b\"\r\nc") << Campi{"a,b", "c"};
    QTest::newRow("spaces inside the quotes") << b("\"  \",x") << Campi{"  ", "x"};
    QTest::newRow("empty quotes") << b("\"\",x") << Campi{"", "x"};
    QTest::newRow("text after the closing quote") << b("\"1,2\" x,y") << Campi{"1,2 x", "y"};
    QTest::newRow("quote after the closing quote")
        << b("\"ab\"cd\"ef\",g") << Campi{"abcd\"ef\"", "g"};
    QTest::newRow("quote inside a field") << b("ab\"c,d\"") << Campi{"ab\"c", "d\""};
    QTest::newRow("line end inside quotes")
        << b("\"a,b\nc\",d") << Campi{"\"a", "b", "c\"", "d"};
    QTest::newRow("never closed") << b("x\r\n\"abc,def\r\nlast")
                                  << Campi{"x", "\"abc", "def", "last"};
    QTest::newRow("never closed at end of file") << b("\"abc") << Campi{"\"abc"};
    QTest::newRow("lone quote") << b("\"") << Campi{"\""};
    QTest::newRow("quoted then CR LF") << b("\"a\"\r\nb") << Campi{"a", "b"};
    QTest::newRow("quoted then CR") << b("\"a\"\rb") << Campi{"a", "b"};

    // Bytes pass through.
    QTest::newRow("NUL bytes") << b("a\0b,\0", 5) << Campi{b("a\0b", 3), b("\0", 1)};
    QTest::newRow("high bytes") << b("\xE0\xFF,\x80\x81") << Campi{"\xE0\xFF", "\x80\x81"};
    QTest::newRow("UTF-8") << b("città,perché") << Campi{"città", "perché"};
}

void TstLettore::campi()
{
    QFETCH(QByteArray, testo);
    QFETCH(Campi, attesi);
    QCOMPARE(campiDi(testo), attesi);
}

void TstLettore::campiCompostiRestanoValidi()
{
    // Assembled fields live in the scanner's own storage; many of them must
    // all stay valid together.
    QByteArray testo;
    for (int i = 0; i < 2000; ++i)
        testo += "\"q" + QByteArray::number(i) + "\"t" + QByteArray::number(i) + "\n";
    testo::CampiTesto campi(std::string_view(testo.constData(), testo.size()));
    const std::vector<std::string_view> viste = tuttiICampi(campi);
    QCOMPARE(viste.size(), std::size_t{2000});
    for (int i = 0; i < 2000; ++i) {
        const QByteArray atteso = "q" + QByteArray::number(i) + "t" + QByteArray::number(i);
        QCOMPARE(QByteArray(viste[i].data(), qsizetype(viste[i].size())), atteso);
    }
}

void TstLettore::metaCoppieUtf16_data()
{
    // Halves of surrogate pairs as decoded UTF-16 keeps them on their own:
    // D800 is ED A0 80, DBFF ED AF BF, DC00 ED B0 80, DFFF ED BF BF.
    QTest::addColumn<QByteArray>("testo");
    QTest::addColumn<bool>("utf16");
    QTest::addColumn<Campi>("attesi");
    QTest::newRow("halves meet after the quotes")
        << b("\"\xED\xA0\x80\"\xED\xB0\x80,x") << true << Campi{"\xF0\x90\x80\x80", "x"};
    QTest::newRow("last pair, with more after it")
        << b("\"a\xED\xAF\xBF\"\xED\xBF\xBF" "b") << true << Campi{"a\xF4\x8F\xBF\xBF" "b"};
    QTest::newRow("second half first") << b("\"\xED\xB0\x80\"\xED\xA0\x80") << true
                                       << Campi{"\xED\xB0\x80\xED\xA0\x80"};
    QTest::newRow("two first halves") << b("\"\xED\xA0\x80\"\xED\xA0\x80") << true
                                      << Campi{"\xED\xA0\x80\xED\xA0\x80"};
    QTest::newRow("a space between") << b("\"\xED\xA0\x80\" \xED\xB0\x80") << true
                                     << Campi{"\xED\xA0\x80 \xED\xB0\x80"};
    QTest::newRow("bytes of a file that is not UTF-16 pass unchanged")
        << b("\"\xED\xA0\x80\"\xED\xB0\x80") << false << Campi{"\xED\xA0\x80\xED\xB0\x80"};
}

void TstLettore::metaCoppieUtf16()
{
    QFETCH(QByteArray, testo);
    QFETCH(bool, utf16);
    QFETCH(Campi, attesi);
    // Read whole and in parts alike.
    const testo::CampiTesto tutto(std::string_view(testo.constData(), testo.size()), utf16);
    for (testo::CampiTesto campi : tutto.sezioni(1))
        QCOMPARE(campiInByte(campi), attesi);
}

void TstLettore::bom_data()
{
    QTest::addColumn<QByteArray>("contenuto");
    QTest::addColumn<bool>("haBom");
    QTest::addColumn<Campi>("attesi");
    QTest::newRow("mark at the start") << b("\xEF\xBB\xBF" "abc\r\nx") << true << Campi{"abc", "x"};
    QTest::newRow("mark only") << b("\xEF\xBB\xBF") << true << Campi{};
    QTest::newRow("mark not at the start") << b("x\n\xEF\xBB\xBF" "abc") << false
                                           << Campi{"x", "\xEF\xBB\xBF" "abc"};
    QTest::newRow("partial mark") << b("\xEF\xBB" "abc") << false << Campi{"\xEF\xBB" "abc"};
}

void TstLettore::bom()
{
    QFETCH(QByteArray, contenuto);
    QFETCH(bool, haBom);
    QFETCH(Campi, attesi);
    CartellaProva cartella;
    sistema::LettoreVoci lettore(fp(cartella.scriviSorgente(QStringLiteral("a.txt"), contenuto)));
    QCOMPARE(lettore.codifica() == testo::Codifica::Utf8, haBom);
    Campi letti;
    for (std::string_view pezzo; !(pezzo = lettore.prossimoPezzo(4096, 1 << 20)).empty();) {
        testo::CampiTesto campi(pezzo);
        letti += campiInByte(campi);
    }
    QCOMPARE(letti, attesi);
}

void TstLettore::erroriApertura_data()
{
    QTest::addColumn<QString>("relativo");
    QTest::addColumn<int>("numero");
    QTest::newRow("missing file") << "manca.txt" << 53;
    QTest::newRow("missing folder") << "manca/a.txt" << 76;
    QTest::newRow("folder in the path is a file") << "file.txt/a.txt" << 76;
    QTest::newRow("a folder") << "cartella.txt" << 75;
}

void TstLettore::erroriApertura()
{
    QFETCH(QString, relativo);
    QFETCH(int, numero);
    CartellaProva cartella;
    cartella.scriviSorgente(QStringLiteral("file.txt"), "x");
    QVERIFY(QDir(cartella.utente()).mkdir(QStringLiteral("cartella.txt")));
    const QString percorso = cartella.utente() + QLatin1Char('/') + relativo;
    try {
        sistema::LettoreVoci lettore(fp(percorso));
        QFAIL("no error raised");
    } catch (const sistema::ErroreRuntime& e) {
        QCOMPARE(e.numero(), numero);
        QCOMPARE(qs(e.dettaglio()), percorso);
    }
}

void TstLettore::fileNonRegolari_data()
{
    QTest::addColumn<QString>("tipo");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("character device") << "device";
}

void TstLettore::fileNonRegolari()
{
    QFETCH(QString, tipo);
    CartellaProva cartella;
    const QString percorso = cartella.utente() + QStringLiteral("/SPECIALE.TXT");
    if (tipo == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(percorso).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), percorso));
    // Must neither block on the FIFO nor read the endless device.
    try {
        sistema::LettoreVoci lettore(fp(percorso));
        QFAIL("a non-regular file was read");
    } catch (const sistema::ErroreRuntime& e) {
        QCOMPARE(e.numero(), 75);
    }
}

void TstLettore::fileCheSiAccorcia_data()
{
    QTest::addColumn<qint64>("resta");  // bytes kept; below 0, that many fewer than the piece
    QTest::addColumn<int>("byte");      // the file's size
    QTest::newRow("to nothing") << qint64(0) << (3 << 20);
    QTest::newRow("to half of the piece") << qint64(300000) << (3 << 20);
    // Within the piece's last page: no page is lost, its end reads as zeros.
    QTest::newRow("to just short of the piece's end") << qint64(-10) << (3 << 20);
    // Read into the buffer, not mapped: the piece keeps its bytes.
    QTest::newRow("a small file read into the buffer, to half") << qint64(200000) << (600 << 10);
}

void TstLettore::fileCheSiAccorcia()
{
    // A large file's piece views the file itself: when the file shrinks
    // under it, the bytes it lost read as zeros instead of ending the
    // process, and the reader raises an I/O error. That is the program's
    // SIGBUS handler at work, which the test library's crash handler
    // replaces while a test runs: it is put back for this one.
    struct sigaction bus {};
    struct sigaction prima {};
    bus.sa_sigaction = sistema::gestoreFinestre;
    bus.sa_flags = SA_SIGINFO;
    sigemptyset(&bus.sa_mask);
    QCOMPARE(::sigaction(SIGBUS, &bus, &prima), 0);
    const auto ripristina = qScopeGuard([&] { ::sigaction(SIGBUS, &prima, nullptr); });
    QFETCH(qint64, resta);
    QFETCH(int, byte);
    CartellaProva cartella;
    QByteArray righe;
    for (int i = 0; righe.size() < byte; ++i)
        righe += "riga " + QByteArray::number(i) + "\r\n";
    const QString percorso = cartella.scriviSorgente(QStringLiteral("LUNGO.TXT"), righe);
    sistema::LettoreVoci lettore(fp(percorso));
    const std::string_view pezzo = lettore.prossimoPezzo(1 << 20, 2 << 20);
    if (resta < 0)
        resta += qint64(pezzo.size());
    QVERIFY(pezzo.size() > std::size_t(resta) && pezzo.size() <= std::size_t(1 << 20));
    QVERIFY(QByteArray(pezzo.data(), qsizetype(pezzo.size())) == righe.left(qsizetype(pezzo.size())));
    QVERIFY(QFile::resize(percorso, resta));
    const QByteArray visto(pezzo.data(), qsizetype(pezzo.size()));
    QVERIFY(visto.left(resta) == righe.left(resta));
    QCOMPARE(visto.count('\0'), byte < (1 << 20) ? 0 : qsizetype(pezzo.size()) - resta);
    try {
        lettore.prossimoPezzo(1 << 20, 2 << 20);
        QFAIL("no error raised");
    } catch (const sistema::ErroreRuntime& e) {
        QCOMPARE(e.numero(), 57);
    }
}

QTEST_GUILESS_MAIN(TstLettore)
#include "tst_lettore.moc"
