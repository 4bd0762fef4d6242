// The duplicate-removal run on real files, through the real message box.
#include "passi/EliminaDuplicati.h"
#include "stato/Variabili.h"

#include "CartellaProva.h"
#include "sistema/FileTemporaneo.h"
#include "sistema/LettoreVoci.h"
#include "sistema/ScrittoreRighe.h"
#include "qt/Attesa.h"
#include "qt/InterfacciaQt.h"
#include "RegistroInterfaccia.h"
#include "RispostaMessaggi.h"

#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <random>

namespace {

const QString nessunaRipetizione = QStringLiteral("Il file non ha combinazioni ripetute..! ");

QString eliminate(int d)
{
    return QStringLiteral("Eliminate %1  combinazioni ripetute..! ").arg(d);
}

// `testo` as UTF-16 code units, with the byte-order mark first.
QByteArray utf16(const QString& testo, bool bigEndian)
{
    QByteArray r = bigEndian ? b("\xFE\xFF") : b("\xFF\xFE");
    for (const QChar c : testo) {
        const char alto = static_cast<char>(c.unicode() >> 8);
        const char basso = static_cast<char>(c.unicode() & 0xFF);
        r += bigEndian ? alto : basso;
        r += bigEndian ? basso : alto;
    }
    return r;
}

// Runs EliminaDuplicati on `sorgente`, answering its message; returns the
// messages shown. A short run shows no progress window, and the cursor over
// the message is the plain arrow.
QList<RispostaMessaggi::Messaggio> esegui(const QString& sorgente)
{
    RispostaMessaggi risposta;
    bool altreFinestre = false;
    risposta.suFinestra([&](QWidget*) { altreFinestre = true; });
    bool freccia = true;
    risposta.suMessaggio([&](const RispostaMessaggi::Messaggio&) {
        freccia &= QApplication::overrideCursor() == nullptr ||
                   QApplication::overrideCursor()->shape() == Qt::ArrowCursor;
    });
    Variabili::FileDaElaborare = fp(sorgente);
    passi::EliminaDuplicati(qt::interfacciaQt());
    [&] {
        QVERIFY(!altreFinestre);
        QVERIFY(freccia);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }();
    return risposta.messaggi();
}

}  // namespace

class TstEliminaDuplicati : public QObject {
    Q_OBJECT
private slots:
    void esecuzione_data();
    void esecuzione();
    void sorgenteMaiCambiata();
    void sostituisceUnaCopiaPrecedente();
    void linkSimbolicoAllaCopia();
    void copiaDiUnaCopia();
    void nomeAccentato();
    void copiaApertaSoloDopoIlMessaggio();
    void moltiElementi_data();
    void moltiElementi();
    void rigaDaCentoMega();
    void cartellaDelleCorse_data();
    void cartellaDelleCorse();
    void gestoriDiSegnaleIntatti_data();
    void gestoriDiSegnaleIntatti();
};

void TstEliminaDuplicati::esecuzione_data()
{
    QTest::addColumn<QByteArray>("sorgente");
    QTest::addColumn<QString>("messaggio");
    QTest::addColumn<int>("icona");
    QTest::addColumn<QByteArray>("copia");  // null: no copy is written

    const int avviso = QMessageBox::Warning;
    const int errore = QMessageBox::Critical;
    const QByteArray nessuna;

    QTest::newRow("one item") << b("abc") << nessunaRipetizione << avviso << nessuna;
    QTest::newRow("distinct items") << b("b\r\na\r\nc\r\n") << nessunaRipetizione << avviso << nessuna;
    QTest::newRow("empty file") << b("") << nessunaRipetizione << avviso << nessuna;
    QTest::newRow("blank lines only") << b("\r\n\r\n\n\r") << nessunaRipetizione << avviso << nessuna;
    QTest::newRow("commas only") << b(",,,\r\n,,") << nessunaRipetizione << avviso << nessuna;
    QTest::newRow("n equal items") << b("x\r\nx\r\nx\r\nx") << eliminate(3) << errore << b("x\r\n");
    QTest::newRow("letter case counts")
        << b("abc\r\nABC\r\nabc\r\n") << eliminate(1) << errore << b("ABC\r\nabc\r\n");
    QTest::newRow("outer spaces do not")
        << b(" abc\r\nabc \r\nabc") << eliminate(2) << errore << b("abc\r\n");
    QTest::newRow("blank lines are not repeats")
        << b("a\r\n\r\n\r\na\r\n,,\r\n") << eliminate(1) << errore << b("a\r\n");
    QTest::newRow("items end at commas")
        << b("1,2,3\r\n3,2,1") << eliminate(3) << errore << b("1\r\n2\r\n3\r\n");
    QTest::newRow("binary order")
        << b("9\r\n10\r\nabc\r\nABC\r\nAB\r\n9") << eliminate(1) << errore
        << b("10\r\n9\r\nAB\r\nABC\r\nabc\r\n");
    QTest::newRow("spaces-only items become empty items")
        << b("   \r\n \r\nx") << eliminate(1) << errore << b("\r\nx\r\n");
    QTest::newRow("LF and CR line ends")
        << b("b\na\rb\r\na") << eliminate(2) << errore << b("a\r\nb\r\n");
    QTest::newRow("quoted commas")
        << b("\"1,2\",\"1,2\"\r\n1") << eliminate(1) << errore << b("1\r\n1,2\r\n");
    QTest::newRow("Windows-1252 bytes")
        << b("citt\xE0\r\ncitt\xE0\r\nperch\xE9") << eliminate(1) << errore
        << b("citt\xE0\r\nperch\xE9\r\n");
    QTest::newRow("invalid UTF-8 and NUL")
        << b("a\0b\r\na\0b\r\na\0c\r\n\xFF\xFE\xC3", 18) << eliminate(1) << errore
        << b("a\0b\r\na\0c\r\n\xFF\xFE\xC3\r\n", 15);
    QTest::newRow("UTF-8 in code-point order")
        << b("é\r\nz\r\nz\r\nä") << eliminate(1) << errore << b("z\r\nä\r\né\r\n");
    QTest::newRow("byte-order mark kept, not part of the item")
        << b("\xEF\xBB\xBF" "abc\r\nabc\r\nb") << eliminate(1) << errore
        << b("\xEF\xBB\xBF" "abc\r\nb\r\n");
    QTest::newRow("tabs are part of items")
        << b("a\t\r\na\r\na") << eliminate(1) << errore << b("a\r\na\t\r\n");
    QTest::newRow("prefix first")
        << b("abc\r\nab\r\na\r\nab") << eliminate(1) << errore << b("a\r\nab\r\nabc\r\n");
    // Items that agree in their first sixteen bytes, one the other's prefix:
    // past the bytes the items are first compared by.
    QTest::newRow("prefix first, 16 and 17 bytes")
        << b("0123456789abcdefg\r\n0123456789abcdef\r\n0123456789abcdefg") << eliminate(1) << errore
        << b("0123456789abcdef\r\n0123456789abcdefg\r\n");
    QTest::newRow("prefix first, 24 and 25 bytes")
        << b("0123456789abcdefghijklmno\r\n0123456789abcdefghijklmn\r\n0123456789abcdefghijklmn") << eliminate(1)
        << errore << b("0123456789abcdefghijklmn\r\n0123456789abcdefghijklmno\r\n");

    // UTF-16 is text: decoded, compared and sorted by code point, written
    // back in the same byte order with the same mark. U+FF5E comes before
    // U+1F600 by code point, though not by UTF-16 code unit.
    const QString tilde = QString(QChar(0xFF5E));
    const QString faccina = QString::fromUcs4(U"\U0001F600");
    const QString solitario = QString(QChar(0xD800));  // a surrogate without its pair
    for (const bool be : {false, true}) {
        const char* nome = be ? "UTF-16BE" : "UTF-16LE";
        QTest::addRow("%s", nome)
            << utf16(QStringLiteral("b\r\na,\"c,d\"\r\n  b \r\nè"), be) << eliminate(1) << errore
            << utf16(QStringLiteral("a\r\nb\r\nc,d\r\nè\r\n"), be);
        QTest::addRow("%s in code-point order", nome)
            << utf16(faccina + "\n" + tilde + "\n" + faccina, be) << eliminate(1) << errore
            << utf16(tilde + "\r\n" + faccina + "\r\n", be);
        QTest::addRow("%s keeps a lone surrogate", nome)
            << utf16("x" + solitario + "\r\nx" + solitario + "\r\n" + solitario, be) << eliminate(1) << errore
            << utf16("x" + solitario + "\r\n" + solitario + "\r\n", be);
        QTest::addRow("%s without repeats", nome)
            << utf16(QStringLiteral("a\r\nb"), be) << nessunaRipetizione << avviso << nessuna;
    }
    QTest::newRow("odd length is no UTF-16")
        << b("\xFF\xFE,a,a,bb") << eliminate(1) << errore << b("a\r\nbb\r\n\xFF\xFE\r\n");
}

void TstEliminaDuplicati::esecuzione()
{
    QFETCH(QByteArray, sorgente);
    QFETCH(QString, messaggio);
    QFETCH(int, icona);
    QFETCH(QByteArray, copia);

    CartellaProva cartella;
    const QString percorso = cartella.scriviSorgente(QStringLiteral("lista.txt"), sorgente);
    const auto messaggi = esegui(percorso);

    QCOMPARE(messaggi.size(), 1);
    QCOMPARE(messaggi[0].titolo, QStringLiteral("Fendrix"));
    QCOMPARE(messaggi[0].testo, messaggio);
    QCOMPARE(int(messaggi[0].icona), icona);
    QCOMPARE(messaggi[0].pulsanti, 1);

    if (copia.isNull()) {
        QCOMPARE(cartella.fileDati(), QStringList());
    } else {
        QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - LISTA.TXT")});
        QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - LISTA.TXT")), copia);
    }
    QCOMPARE(leggiFile(percorso), sorgente);

    // The same run through a front end without windows: the same message
    // (the stop icon for a cleaned file), shown before any copy exists,
    // the reading waited for and the writing too when there is a copy.
    CartellaProva senzaFinestre;
    Variabili::FileDaElaborare = fp(senzaFinestre.scriviSorgente(QStringLiteral("lista.txt"), sorgente));
    RegistroInterfaccia registro;
    QStringList datiAlMessaggio;
    registro.alMessaggio = [&] { datiAlMessaggio = senzaFinestre.fileDati(); };
    passi::EliminaDuplicati(registro);
    QCOMPARE(registro.messaggi.size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(registro.messaggi[0].testo), messaggio);
    QCOMPARE(registro.messaggi[0].icona == passi::Icona::Errore, icona == QMessageBox::Critical);
    QCOMPARE(datiAlMessaggio, QStringList());
    std::vector<std::string> attese{passi::testoAttesaLettura};
    if (!copia.isNull())
        attese.emplace_back(passi::testoAttesaScrittura);
    QVERIFY(registro.attese == attese);
    QCOMPARE(senzaFinestre.fileDati(), cartella.fileDati());
    if (!copia.isNull())
        QCOMPARE(leggiFile(senzaFinestre.dati() + QStringLiteral("NEW - LISTA.TXT")), copia);
}

void TstEliminaDuplicati::sorgenteMaiCambiata()
{
    // The source lies in the data folder itself, under the name a copy of
    // it would take if it were not upper-cased: the run still only reads it.
    CartellaProva cartella;
    const QByteArray contenuto = "z\r\ny\r\nz\r\n";
    const QString percorso = cartella.dati() + QStringLiteral("new - lista.txt");
    scriviFile(percorso, contenuto);
    const QByteArray prima = hashFile(percorso);
    esegui(percorso);
    QCOMPARE(hashFile(percorso), prima);
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - NEW - LISTA.TXT")), b("y\r\nz\r\n"));
}

void TstEliminaDuplicati::sostituisceUnaCopiaPrecedente()
{
    CartellaProva cartella;
    scriviFile(cartella.dati() + QStringLiteral("NEW - A.TXT"), "vecchia copia\r\n");
    const auto messaggi = esegui(cartella.scriviSorgente(QStringLiteral("a.txt"), "q,q,r"));
    QCOMPARE(messaggi.size(), 1);
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - A.TXT")), b("q\r\nr\r\n"));
    QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - A.TXT")});
}

void TstEliminaDuplicati::linkSimbolicoAllaCopia()
{
    // A link at the copy's name pointing back at the source: writing through
    // it would destroy the source. The link itself must be replaced.
    CartellaProva cartella;
    const QByteArray contenuto = "k\r\nk\r\nj\r\n";
    const QString sorgente = cartella.scriviSorgente(QStringLiteral("a.txt"), contenuto);
    const QString copia = cartella.dati() + QStringLiteral("NEW - A.TXT");
    if (!QFile::link(sorgente, copia))
        QSKIP("symbolic links are not available here");
    esegui(sorgente);
    QCOMPARE(leggiFile(sorgente), contenuto);
    QVERIFY(!QFileInfo(copia).isSymLink());
    QCOMPARE(leggiFile(copia), b("j\r\nk\r\n"));
}

void TstEliminaDuplicati::copiaDiUnaCopia()
{
    CartellaProva cartella;
    const QString copia = cartella.dati() + QStringLiteral("NEW - A.TXT");
    scriviFile(copia, "b\r\na\r\na\r\n");
    esegui(copia);
    QCOMPARE(leggiFile(copia), b("b\r\na\r\na\r\n"));
    QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - NEW - A.TXT")), b("a\r\nb\r\n"));
}

void TstEliminaDuplicati::nomeAccentato()
{
    CartellaProva cartella;
    esegui(cartella.scriviSorgente(QStringLiteral("città.txt"), "1\r\n1"));
    QCOMPARE(cartella.fileDati(), QStringList{QStringLiteral("NEW - CITTÀ.TXT")});
}

void TstEliminaDuplicati::copiaApertaSoloDopoIlMessaggio()
{
    CartellaProva cartella;
    const QString copia = cartella.dati() + QStringLiteral("NEW - A.TXT");
    scriviFile(copia, "prima");
    QStringList visti;
    RispostaMessaggi risposta;
    risposta.suMessaggio([&](const RispostaMessaggi::Messaggio&) {
        visti = cartella.fileDati();
        visti.append(QString::fromLatin1(leggiFile(copia)));
    });
    Variabili::FileDaElaborare = fp(cartella.scriviSorgente(QStringLiteral("a.txt"), "x,x"));
    passi::EliminaDuplicati(qt::interfacciaQt());
    QCOMPARE(visti, (QStringList{QStringLiteral("NEW - A.TXT"), QStringLiteral("prima")}));
    QCOMPARE(leggiFile(copia), b("x\r\n"));
}

void TstEliminaDuplicati::moltiElementi_data()
{
    QTest::addColumn<int>("distinte");
    QTest::addColumn<int>("ripetute");
    QTest::newRow("40,000 distinct, none repeated") << 40000 << 0;
    QTest::newRow("40,000 distinct, 25,000 repeats") << 40000 << 25000;
    QTest::newRow("past 16-bit counts") << 70000 << 70000;
}

void TstEliminaDuplicati::moltiElementi()
{
    QFETCH(int, distinte);
    QFETCH(int, ripetute);
    std::mt19937 caso(12345);
    std::vector<std::string> voci;
    for (int i = 0; i < distinte; ++i) {
        std::string voce = "c";
        voce += std::to_string(caso());
        voce += '-';
        voce += std::to_string(i);
        voci.push_back(std::move(voce));
    }
    std::vector<std::string> file = voci;
    for (int i = 0; i < ripetute; ++i)
        file.push_back(voci[caso() % voci.size()]);
    std::shuffle(file.begin(), file.end(), caso);

    QByteArray contenuto;
    for (const auto& v : file)
        contenuto += QByteArray::fromStdString(v) + "\r\n";
    std::sort(voci.begin(), voci.end());
    QByteArray attesa;
    for (const auto& v : voci)
        attesa += QByteArray::fromStdString(v) + "\r\n";

    CartellaProva cartella;
    const auto messaggi = esegui(cartella.scriviSorgente(QStringLiteral("grande.txt"), contenuto));
    QCOMPARE(messaggi.size(), 1);
    if (ripetute == 0) {
        QCOMPARE(messaggi[0].testo, nessunaRipetizione);
        QCOMPARE(cartella.fileDati(), QStringList());
    } else {
        QCOMPARE(messaggi[0].testo, eliminate(ripetute));
        QCOMPARE(leggiFile(cartella.dati() + QStringLiteral("NEW - GRANDE.TXT")), attesa);
    }
}

void TstEliminaDuplicati::rigaDaCentoMega()
{
    // One line of 100 MB between short repeated ones: it is one item like
    // any other, compared and written in full.
    QByteArray lunga(100 << 20, 'x');
    for (qsizetype i = 0; i < lunga.size(); i += 4099)
        lunga[i] = static_cast<char>('a' + i % 23);
    CartellaProva cartella;
    const QString sorgente =
        cartella.scriviSorgente(QStringLiteral("lunga.txt"), "z\r\n" + lunga + "\nz\rA");
    // What counts here is the content, not how long 300 MB of copying takes.
    qt::impostaRitardoAttesa(60000);
    const auto ripristina = qScopeGuard([] { qt::impostaRitardoAttesa(1000); });
    const auto messaggi = esegui(sorgente);
    QCOMPARE(messaggi.size(), 1);
    QCOMPARE(messaggi[0].testo, eliminate(1));
    const QByteArray copia = leggiFile(cartella.dati() + QStringLiteral("NEW - LUNGA.TXT"));
    QCOMPARE(copia.size(), lunga.size() + 8);
    QVERIFY(copia.startsWith("A\r\n" + lunga.left(1000)));
    QVERIFY(copia == "A\r\n" + lunga + "\r\nz\r\n");
}

void TstEliminaDuplicati::cartellaDelleCorse_data()
{
    // The folders whose file system keeps its files in memory, $TMPDIR, and
    // where the runs go; "-" for a folder that is not there.
    QTest::addColumn<QStringList>("inMemoria");
    QTest::addColumn<QString>("tmpdir");
    QTest::addColumn<QString>("attesa");
    QTest::addColumn<bool>("contate");
    QTest::newRow("data folder on disk") << QStringList{"tmp"} << "tmp" << "dati" << false;
    QTest::newRow("data folder in memory, $TMPDIR on disk") << QStringList{"dati"} << "tmp" << "tmp" << false;
    QTest::newRow("$TMPDIR in memory too") << QStringList{"dati", "tmp"} << "tmp" << "/var/tmp" << false;
    QTest::newRow("$TMPDIR not there") << QStringList{"dati"} << "-" << "/var/tmp" << false;
    QTest::newRow("$TMPDIR unset, /var/tmp in memory") << QStringList{"dati", "/var/tmp"} << "" << "/tmp" << false;
    QTest::newRow("no folder on disk: runs counted in memory")
        << QStringList{"dati", "tmp", "/var/tmp", "/tmp"} << "tmp" << "dati" << true;
}

void TstEliminaDuplicati::cartellaDelleCorse()
{
    QFETCH(QStringList, inMemoria);
    QFETCH(QString, tmpdir);
    QFETCH(QString, attesa);
    QFETCH(bool, contate);
    CartellaProva cartella;
    const QString dati = cartella.dati();
    const QString tmp = cartella.utente();
    const auto nome = [&](const QString& n) {
        return n == QLatin1String("dati") ? dati : n == QLatin1String("tmp") ? tmp : n;
    };
    QStringList memoria;
    for (const QString& n : inMemoria)
        memoria << nome(n);
    const QByteArray prima = qgetenv("TMPDIR");
    const bool cEra = qEnvironmentVariableIsSet("TMPDIR");
    const auto ripristina = qScopeGuard([&] {
        if (cEra)
            qputenv("TMPDIR", prima);
        else
            qunsetenv("TMPDIR");
    });
    if (tmpdir.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", QFile::encodeName(tmpdir == QLatin1String("-") ? tmp + QStringLiteral("/manca") : nome(tmpdir)));
    const sistema::CartellaCorse scelta =
        sistema::cartellaCorse(fp(dati), [&](const std::filesystem::path& c) { return memoria.contains(qs(c)); });
    QCOMPARE(qs(scelta.cartella), nome(attesa));
    QCOMPARE(scelta.inMemoria, contate);
}

namespace {
extern "C" void gestoreDiProva(int) {}
}  // namespace

void TstEliminaDuplicati::gestoriDiSegnaleIntatti_data()
{
    QTest::addColumn<bool>("durante");  // installed while the file is read and the copy written
    QTest::newRow("installed before a run") << false;
    QTest::newRow("installed while a large file is read and a named copy written") << true;
}

void TstEliminaDuplicati::gestoriDiSegnaleIntatti()
{
    // The signal handlers are the program's to set, once, at start: a
    // handler of its own that a host program installs, before a run or
    // during one, is still in place after it.
    QFETCH(bool, durante);
    const int segnali[] = {SIGTERM, SIGINT, SIGHUP, SIGBUS, SIGXFSZ};
    struct sigaction prima[std::size(segnali)] {};
    struct sigaction nostra {};
    nostra.sa_handler = gestoreDiProva;
    sigemptyset(&nostra.sa_mask);
    const auto installa = [&] {
        for (std::size_t i = 0; i < std::size(segnali); ++i)
            QCOMPARE(::sigaction(segnali[i], &nostra, nullptr), 0);
    };
    const auto ripristina = qScopeGuard([&] {
        for (std::size_t i = 0; i < std::size(segnali); ++i)
            ::sigaction(segnali[i], &prima[i], nullptr);
        sistema::usaSoloTemporaneiConNome(false);
    });
    for (std::size_t i = 0; i < std::size(segnali); ++i)
        ::sigaction(segnali[i], nullptr, &prima[i]);
    if (!durante)
        installa();

    CartellaProva cartella;
    QByteArray righe;
    for (int i = 0; righe.size() < (3 << 20); ++i)
        righe += "riga " + QByteArray::number(i % 50000) + "\r\n";
    const QString sorgente = cartella.scriviSorgente(QStringLiteral("grande.txt"), righe);
    sistema::usaSoloTemporaneiConNome(true);
    {
        sistema::LettoreVoci lettore(fp(sorgente));
        sistema::ScrittoreRighe copia(fp(cartella.dati() + QStringLiteral("NEW - GRANDE.TXT")));
        std::string_view pezzo = lettore.prossimoPezzo(1 << 20, 2 << 20);
        QVERIFY(!pezzo.empty());
        if (durante)
            installa();
        for (; !pezzo.empty(); pezzo = lettore.prossimoPezzo(1 << 20, 2 << 20))
            copia.scriviTesto(pezzo.substr(0, pezzo.rfind('\n') + 1));
        lettore.verifica();
        copia.completa();
    }
    // And through the whole run.
    QCOMPARE(esegui(sorgente).size(), 1);
    for (const int segnale : segnali) {
        struct sigaction attuale {};
        QCOMPARE(::sigaction(segnale, nullptr, &attuale), 0);
        QVERIFY2(attuale.sa_handler == gestoreDiProva, qPrintable(QString::number(segnale)));
    }
}

QTEST_MAIN(TstEliminaDuplicati)
#include "tst_eliminaduplicati.moc"
