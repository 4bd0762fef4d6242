// The real run against the plain reference (oracolo), which reads fields
// with code of its own, on thousands of random files of any bytes. Built a
// second time (FENDRIX_HASH_DEGENERE) on the tests' build of the core, whose
// hash each global row makes degenerate: then two different items share
// their hash at every turn, and the result must still be the reference's.
#include "testo/CampiTesto.h"
#include "nucleo/Hash.h"
#ifdef FENDRIX_HASH_DEGENERE
#include "nucleo/HashDiProva.h"
#endif

#include "Campi.h"
#include "oracolo/Oracolo.h"

#include <QTemporaryDir>
#include <QtTest>

#include <numeric>
#include <random>
#include <set>

namespace {

// A random file of any bytes, weighted towards the ones the reading rules
// name (spaces, commas, quotes, line ends), and with short and long items
// that recur, so that repeats and fields past sixteen bytes come up often.
std::string fileCasuale(std::mt19937_64& caso, std::size_t lunghezzaMassima)
{
    static const std::string alfabeto[] = {
        " ", ",", "\"", "\r", "\n", "\r\n", "a", "b", "ab", "\xEF\xBB\xBF", "0123456789abcdefXY",
        "0123456789abcdefXZ", "0123456789abcdef", "0123456789abcde"};
    std::string s;
    if (caso() % 8 == 0)
        s += "\xEF\xBB\xBF";
    const std::size_t n = caso() % (lunghezzaMassima + 1);
    while (s.size() < n) {
        const auto k = caso() % (std::size(alfabeto) + 6);
        if (k < std::size(alfabeto))
            s += alfabeto[k];
        else
            s += static_cast<char>(caso());
    }
    // A UTF-16 mark would make it text to decode, which the reference does not.
    if (s.starts_with("\xFF\xFE") || s.starts_with("\xFE\xFF"))
        s.erase(0, 1);
    return s;
}

QByteArray mostra(const std::string& s)
{
    return QByteArray::fromStdString(s).toPercentEncoding();
}

bool uguali(const oracolo::Esito& a, const oracolo::Esito& b)
{
    return a.letti == b.letti && a.eliminate == b.eliminate && a.copia == b.copia && a.byte == b.byte;
}

// The run's options for a row: a memory of a few KiB forces sorted runs on
// disk (in `corse`), a small fan-in several merge passes, small blocks many
// rounds of lines made on all threads.
passi::Opzioni opzioni(int memoria, int fili, int fanIn, int blocco, const QTemporaryDir& corse)
{
    passi::Opzioni o;
    o.blocco = static_cast<std::size_t>(blocco);
    o.memoria = static_cast<std::size_t>(memoria);
    o.fili = static_cast<unsigned>(fili);
    o.fanIn = static_cast<unsigned>(fanIn);
    o.cartellaCorse = corse.path().toStdString();
    return o;
}

}  // namespace

class TstOracolo : public QObject {
    Q_OBJECT
private slots:
#ifdef FENDRIX_HASH_DEGENERE
    void initTestCase_data();
    void init();
    void cleanupTestCase();
#endif
    void fileCasuali_data();
    void fileCasuali();
    void listeGrandi_data();
    void listeGrandi();
    void lungheNelBilancio_data();
    void lungheNelBilancio();
    void sezioniEquivalenti();
    void buildDelloHash_data();
    void buildDelloHash();
    void hashSceltoAllAvvio();
};

#ifdef FENDRIX_HASH_DEGENERE
void TstOracolo::initTestCase_data()
{
    QTest::addColumn<int>("hash");
    QTest::newRow("one hash for all items") << int(nucleo::prova::Hash::unico);
    QTest::newRow("four hashes") << int(nucleo::prova::Hash::pochi);
}

void TstOracolo::init()
{
    QFETCH_GLOBAL(int, hash);
    nucleo::prova::usaHash(static_cast<nucleo::prova::Hash>(hash));
}

void TstOracolo::cleanupTestCase()
{
    nucleo::prova::usaHash(nucleo::prova::Hash::vero);
}
#endif

void TstOracolo::fileCasuali_data()
{
    QTest::addColumn<quint64>("seme");
    QTest::addColumn<int>("casi");
    QTest::addColumn<int>("lunghezza");
    QTest::addColumn<int>("memoria");  // 0: as measured
    QTest::addColumn<int>("fili");     // 0: as many as there are
    QTest::addColumn<int>("fanIn");    // 0: the default
    QTest::addColumn<int>("blocco");   // 0: the default
    QTest::newRow("short files") << quint64(1) << 3000 << 24 << 0 << 0 << 0 << 0;
    QTest::newRow("longer files") << quint64(2) << 1500 << 200 << 0 << 0 << 0 << 0;
    QTest::newRow("long files") << quint64(3) << 200 << 2000 << 0 << 0 << 0 << 0;
    QTest::newRow("runs on disk, one thread") << quint64(4) << 600 << 600 << 1024 << 1 << 2 << 0;
    QTest::newRow("runs on disk, three threads") << quint64(5) << 300 << 2000 << 3000 << 3 << 3 << 64;
    QTest::newRow("runs on disk, eight threads") << quint64(6) << 300 << 2000 << 4096 << 8 << 4 << 0;
    QTest::newRow("in memory, eight threads") << quint64(7) << 300 << 2000 << 0 << 8 << 0 << 0;
    QTest::newRow("in memory, small blocks, two threads") << quint64(8) << 300 << 2000 << 0 << 2 << 0 << 16;
    QTest::newRow("in memory, small blocks, three threads") << quint64(9) << 300 << 2000 << 0 << 3 << 0 << 100;
}

void TstOracolo::fileCasuali()
{
    QFETCH(quint64, seme);
    QFETCH(int, casi);
    QFETCH(int, lunghezza);
    QFETCH(int, memoria);
    QFETCH(int, fili);
    QFETCH(int, fanIn);
    QFETCH(int, blocco);
    QTemporaryDir corse;
    const passi::Opzioni o = opzioni(memoria, fili, fanIn, blocco, corse);
    std::mt19937_64 caso(seme);
    int piuPassate = 0;  // cases merged in more than one pass
    for (int i = 0; i < casi; ++i) {
        const std::string file = fileCasuale(caso, static_cast<std::size_t>(lunghezza));
        const QString dove = QStringLiteral("case %1: file %2").arg(i).arg(QString::fromLatin1(mostra(file)));
        const oracolo::Esito ottenuto = oracolo::reale(file, o);
        QVERIFY2(uguali(ottenuto, oracolo::esegui(file)), qPrintable(dove));
        piuPassate += ottenuto.corse > o.fanIn;
        // UTF-16, which the reference does not read, comes out of the runs
        // on disk exactly as it comes out of memory.
        if (memoria != 0) {
            const std::string utf16 = "\xFF\xFE" + file.substr(0, file.size() & ~std::size_t{1});
            QVERIFY2(uguali(oracolo::reale(utf16, o), oracolo::reale(utf16)), qPrintable(dove));
        }
    }
    QVERIFY(memoria == 0 || piuPassate > casi / 4);
    // Nothing is left behind in the runs' folder.
    QCOMPARE(QDir(corse.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

void TstOracolo::listeGrandi_data()
{
    QTest::addColumn<quint64>("seme");
    QTest::addColumn<int>("voci");
    QTest::addColumn<int>("distinte");
    QTest::addColumn<int>("memoria");
    QTest::addColumn<int>("fili");
    QTest::addColumn<int>("fanIn");
    QTest::addColumn<int>("blocco");
    QTest::addColumn<int>("lunghe");  // every how many values a long item (0: none; -1: no item past 16 bytes)
    QTest::newRow("few distinct, one core") << quint64(10) << 5000 << 300 << 0 << 0 << 0 << 0 << 0;
#ifdef FENDRIX_HASH_DEGENERE
    // With a degenerate hash every item is compared with all the distinct
    // items of its part: the larger lists would take quadratic time.
    return;
#endif
    QTest::newRow("many items, both cores") << quint64(11) << 150000 << 60000 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("all distinct, both cores") << quint64(12) << 400000 << 1000000000 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("many items, runs on disk, three threads")
        << quint64(13) << 150000 << 60000 << (256 << 10) << 3 << 4 << 0 << 0;
    QTest::newRow("all distinct, runs on disk, many passes")
        << quint64(14) << 200000 << 1000000000 << (64 << 10) << 2 << 2 << 0 << 0;
    QTest::newRow("many items, eight threads, many blocks")
        << quint64(15) << 150000 << 60000 << 0 << 8 << 0 << 4096 << 0;
    QTest::newRow("long items crowded together, three threads")
        << quint64(16) << 100000 << 30000 << 0 << 3 << 0 << 0 << 50;
    // Only short items: past the table's size they go to buckets, which
    // burst, drop their repeats near the end of the budget, and spill.
    QTest::newRow("short items only, both cores")
        << quint64(17) << 700000 << 500000 << 0 << 2 << 0 << 0 << -1;
    QTest::newRow("short items only, runs on disk, one thread")
        << quint64(18) << 400000 << 150000 << (2 << 20) << 1 << 0 << 0 << -1;
}

void TstOracolo::listeGrandi()
{
    // Lists past the sizes where reading, dedupe and sort use both cores,
    // against std::set (the quadratic reference would take too long).
    QFETCH(quint64, seme);
    QFETCH(int, voci);
    QFETCH(int, distinte);
    QFETCH(int, memoria);
    QFETCH(int, fili);
    QFETCH(int, fanIn);
    QFETCH(int, blocco);
    QFETCH(int, lunghe);
    QTemporaryDir corse;
    std::mt19937_64 caso(seme);
    static const char* const separatori[] = {"\r\n", "\n", "\r", ",", " , ", "\r\n\r\n"};
    std::string file;
    std::set<std::string, decltype([](const std::string& a, const std::string& b) {
                 return oracolo::confronta(a, b) < 0;
             })> insieme;
    for (int i = 0; i < voci; ++i) {
        const auto valore = caso() % static_cast<std::uint64_t>(distinte);
        // Short items, items sharing long prefixes, runs of one byte of
        // many lengths (up to 40 bytes, and up to 640, so that many items
        // share most of their bytes; some go on with a second run), quoted
        // items with commas, and sixteen-byte items that differ only in
        // their second eight bytes (among so many, some share the hash bits
        // the set stores, so the full comparison gets exercised).
        std::string voce;
        switch (valore % 5) {
        case 0: voce = std::to_string(valore); break;
        case 1: voce.append("prefisso-comune-lungo-").append(std::to_string(valore)); break;
        case 2:
            voce.assign(valore % (valore % 10 == 2 ? 40 : 640), 'x').push_back(char(valore % 7));
            if (valore % 3 == 0)
                voce.append(valore % 50, 'y').push_back(char(valore % 7));
            break;
        case 3: voce.append("q").append(std::to_string(valore)).append(",r"); break;
        default: {
            char esadecimale[17];
            std::snprintf(esadecimale, sizeof esadecimale, "%08llx", static_cast<unsigned long long>(valore));
            voce = std::string("PREFISSO") + esadecimale;
            break;
        }
        }
        // Long items sharing their start, so that they crowd together in
        // the order: some too long to be copied into the copy's lines, most
        // of a few KB, together several blocks' worth.
        if (lunghe < 0 && voce.size() > 16)
            voce = std::to_string(valore);
        if (lunghe > 0 && valore % static_cast<std::uint64_t>(lunghe) == 0)
            voce = (valore / static_cast<std::uint64_t>(lunghe) % 50 == 0 ? std::string(70000, 'z')
                                                                             : std::string(5000, 'y')) +
                   std::to_string(valore);
        insieme.insert(voce);
        if (valore % 5 == 3)
            file += "\"" + voce + "\"";
        else
            file += voce;
        // Not " , " last: the space after its comma would be one more item.
        file += i + 1 < voci ? separatori[caso() % std::size(separatori)] : "\n";
    }
    const oracolo::Esito ottenuto = oracolo::reale(file, opzioni(memoria, fili, fanIn, blocco, corse));
    QCOMPARE(ottenuto.letti, std::int64_t(voci));
    QVERIFY(memoria == 0 || ottenuto.corse > static_cast<std::size_t>(fanIn));
    // Lines go out in blocks of about 1 MiB however they crowd.
    QVERIFY2(ottenuto.bloccoMassimo < (std::size_t{2} << 20), qPrintable(QString::number(ottenuto.bloccoMassimo)));
    QCOMPARE(ottenuto.eliminate, std::int64_t(voci) - std::int64_t(insieme.size()));
    if (ottenuto.eliminate > 0) {
        std::string atteso;
        for (const auto& v : insieme)
            atteso += v + "\r\n";
        QVERIFY(ottenuto.byte == atteso);
    }
}

void TstOracolo::lungheNelBilancio_data()
{
    QTest::addColumn<int>("memoria");
    QTest::addColumn<int>("fili");
    QTest::addColumn<int>("fanIn");
    QTest::addColumn<int>("distinte");
    QTest::addColumn<int>("minima");   // the shortest item, bytes
    QTest::addColumn<int>("massima");  // the longest
    QTest::newRow("items of a quarter of the budget, 4 MiB, both cores") << (4 << 20) << 2 << 0 << 24 << (600 << 10)
                                                                         << (1000 << 10);
    QTest::newRow("items of up to a third, 3 MiB, one thread, fan-in 3") << (3 << 20) << 1 << 3 << 16 << (300 << 10)
                                                                         << (1000 << 10);
}

void TstOracolo::lungheNelBilancio()
{
    // Long items, each in a run of its own or nearly: the merges hold the
    // runs' longest items whole, so they take only as many runs as those
    // items fit in the budget, which the account never passes.
    QFETCH(int, memoria);
    QFETCH(int, fili);
    QFETCH(int, fanIn);
    QFETCH(int, distinte);
    QFETCH(int, minima);
    QFETCH(int, massima);
    std::mt19937_64 caso(26);
    std::vector<std::string> voci;
    for (int i = 0; i < distinte; ++i) {
        std::string v(static_cast<std::size_t>(minima + static_cast<int>(caso() % static_cast<unsigned>(massima - minima))), 'a');
        for (char& c : v)
            c = static_cast<char>('a' + caso() % 26);
        voci.push_back(std::move(v));
    }
    std::vector<std::size_t> ordine(voci.size());
    std::iota(ordine.begin(), ordine.end(), std::size_t{0});
    for (int i = 0; i < distinte / 4; ++i)
        ordine.push_back(caso() % voci.size());
    std::shuffle(ordine.begin(), ordine.end(), caso);
    std::string file;
    for (const std::size_t i : ordine)
        file += voci[i] + "\n";
    std::sort(voci.begin(), voci.end());
    std::string atteso;
    for (const auto& v : voci)
        atteso += v + "\r\n";

    QTemporaryDir corse;
    const oracolo::Esito ottenuto = oracolo::reale(file, opzioni(memoria, fili, fanIn, 0, corse));
    QCOMPARE(ottenuto.eliminate, std::int64_t(ordine.size() - voci.size()));
    QVERIFY(ottenuto.byte == atteso);
    QVERIFY2(ottenuto.corse > 4, qPrintable(QString::number(ottenuto.corse)));
    QVERIFY2(ottenuto.memoriaMassima <= std::size_t(memoria), qPrintable(QString::number(ottenuto.memoriaMassima)));
}

void TstOracolo::sezioniEquivalenti()
{
    // Cutting a text at line ends, for reading on several cores, gives the
    // very same fields as reading it whole.
#ifdef FENDRIX_HASH_DEGENERE
    QSKIP("no item is hashed here");
#endif
    std::mt19937_64 caso(20);
    for (int i = 0; i < 3000; ++i) {
        const std::string testo = fileCasuale(caso, 300);
        testo::CampiTesto intero(testo);
        const std::vector<std::string_view> attesi = tuttiICampi(intero);
        for (std::size_t quante = 1; quante <= 4; ++quante) {
            std::vector<testo::CampiTesto> parti = testo::CampiTesto(testo).sezioni(quante);
            QVERIFY(parti.size() >= 1 && parti.size() <= quante);
            std::vector<std::string_view> letti;
            for (auto& p : parti) {
                const std::vector<std::string_view> campi = tuttiICampi(p);
                letti.insert(letti.end(), campi.begin(), campi.end());
            }
            QVERIFY2(letti == attesi, qPrintable(QString::fromLatin1(mostra(testo))));
        }
    }
}

void TstOracolo::buildDelloHash_data()
{
    QTest::addColumn<int>("da");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("passo");
    QTest::newRow("0-4096 bytes") << 0 << 4096 << 1;
    QTest::newRow("around the long path's blocks") << 4096 << 70000 << 1021;
    QTest::newRow("a few MiB") << (1 << 20) << (5 << 20) << (1 << 20) + 4093;
}

void TstOracolo::buildDelloHash()
{
    // The AVX2 build and the portable one give the same value for every
    // length and alignment; where the processor has no AVX2 there is only
    // one build, and the choice made at start must be it.
    QFETCH(int, da);
    QFETCH(int, a);
    QFETCH(int, passo);
    const nucleo::FunzioneHash avx2 = nucleo::hashAvx2();
    if (!avx2)
        QSKIP("no AVX2 build of the hash on this processor or in this build");
    std::mt19937_64 caso(static_cast<std::uint64_t>(da));
    std::string dati(static_cast<std::size_t>(a) + 64, '\0');
    for (char& c : dati)
        c = static_cast<char>(caso());
    for (int n = da; n <= a; n += passo)
        for (int allineamento : {0, 1, 7, 32, 63}) {
            const char* p = dati.data() + allineamento;
            const auto atteso = nucleo::hashPortabile(p, static_cast<std::size_t>(n));
            QVERIFY2(avx2(p, static_cast<std::size_t>(n)) == atteso, qPrintable(QString::number(n)));
            QVERIFY2(nucleo::hashTesto(p, static_cast<std::size_t>(n)) == atteso, qPrintable(QString::number(n)));
        }
}

void TstOracolo::hashSceltoAllAvvio()
{
    __builtin_cpu_init();
    const bool processoreAvx2 = __builtin_cpu_supports("avx2");
#if defined(__x86_64__)
    QCOMPARE(nucleo::hashScelto() == nucleo::hashAvx2() && nucleo::hashAvx2() != nullptr, processoreAvx2);
#endif
    if (!processoreAvx2)
        QVERIFY(nucleo::hashScelto() == &nucleo::hashPortabile);
}

QTEST_GUILESS_MAIN(TstOracolo)
#include "tst_oracolo.moc"
