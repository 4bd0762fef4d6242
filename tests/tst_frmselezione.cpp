// The file selection dialog, shown modally with real widgets on real folders.
#include "sistema/ErroreRuntime.h"
#include "qt/PercorsiQt.h"
#include "stato/Variabili.h"
#include "qt/ElencoCartella.h"
#include "qt/ListaCartelle.h"
#include "qt/ListaFile.h"
#include "qt/VoceLista.h"
#include "qt/frmSelezione.h"

#include "CartellaProva.h"
#include "RispostaMessaggi.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QtTest>

#include <filesystem>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The front end under test.
using namespace qt;

namespace {

struct Controlli {
    frmSelezione* dialogo;
    ListaCartelle* Dir1;
    ListaFile* File1;
    QLineEdit* txtNome;
    QPushButton* cmdOK;
};

Controlli controlli(QWidget* finestra)
{
    auto* d = qobject_cast<frmSelezione*>(finestra);
    return {d, d->findChild<ListaCartelle*>(QStringLiteral("Dir1")),
            d->findChild<ListaFile*>(QStringLiteral("File1")),
            d->findChild<QLineEdit*>(QStringLiteral("txtNome")),
            d->findChild<QPushButton*>(QStringLiteral("cmdOK"))};
}

// Shows the dialog as the main window does and lets `azioni` act on it
// while it is open; returns once it has been closed.
void mostra(frmSelezione& dialogo, const std::function<void(const Controlli&)>& azioni)
{
    Variabili::ModoSelezione = 1;
    Variabili::Filtro = "*.TXT";
    RispostaMessaggi risposta;
    bool agito = false;
    risposta.suFinestra([&](QWidget* finestra) {
        if (agito || qobject_cast<frmSelezione*>(finestra) == nullptr)
            return;
        agito = true;
        const Controlli c = controlli(finestra);
        azioni(c);
        if (c.dialogo->isVisible())  // the actions forgot to close it: fail, don't hang
            c.dialogo->done(QDialog::Rejected);
    });
    dialogo.mostraModale();
    QVERIFY(agito);
}

// The rows of a list that show `testo`.
QModelIndexList trova(const QAbstractItemView* lista, const QString& testo)
{
    return lista->model()->match(lista->model()->index(0, 0), Qt::DisplayRole, testo, -1, Qt::MatchExactly);
}

void scegli(const Controlli& c, const QString& nome)
{
    const auto voci = trova(c.File1, nome);
    QCOMPARE(voci.size(), 1);
    const QRect r = c.File1->visualRect(voci.first());
    QTest::mouseClick(c.File1->viewport(), Qt::LeftButton, {}, r.center());
}

void apriCartella(const Controlli& c, const QString& nome)
{
    const auto voci = trova(c.Dir1, nome);
    QCOMPARE(voci.size(), 1);
    c.Dir1->setCurrentIndex(voci.first());
    QTest::keyClick(c.Dir1, Qt::Key_Return);
}

// A file or folder by the very bytes of its path; returns that path. The
// temporary folder's own clean-up cannot remove such names: the guard does.
QByteArray creaByte(const QByteArray& percorso, bool cartella)
{
    const int fd = cartella ? ::mkdir(percorso.constData(), 0755)
                            : ::open(percorso.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        qFatal("cannot create %s", percorso.constData());
    if (!cartella)
        ::close(fd);
    return percorso;
}

QStringList nomiElencati(const ListaFile* lista)
{
    QStringList nomi;
    for (int i = 0; i < lista->count(); ++i)
        nomi << lista->model()->index(i, 0).data().toString();
    return nomi;
}

}  // namespace

class TstFrmSelezione : public QObject {
    Q_OBJECT
private slots:
    void init();
    void okSenzaClic();
    void ultimoFileScelto();
    void sceltaDaTastiera_data();
    void sceltaDaTastiera();
    void chiusuraAnnulla_data();
    void chiusuraAnnulla();
    void cartellaRicordata_data();
    void cartellaRicordata();
    void soloFileCorrispondenti();
    void ordineDiSempre_data();
    void ordineDiSempre();
    void didascaliaENome();
    void elencoCartelle();
    void fileNellaRadice();
    void cartellaIllegibile_data();
    void cartellaIllegibile();

private:
    std::unique_ptr<CartellaProva> cartella_;
};

void TstFrmSelezione::init()
{
    cartella_ = std::make_unique<CartellaProva>();
    scriviFile(cartella_->dati() + QStringLiteral("a.txt"), "1");
    scriviFile(cartella_->dati() + QStringLiteral("B.TXT"), "2");
    Variabili::CartellaCorrente = fp(cartella_->dati());
    Variabili::PercorsoScelto = fp(QStringLiteral("left over from before"));
}

void TstFrmSelezione::okSenzaClic()
{
    frmSelezione dialogo;
    mostra(dialogo, [](const Controlli& c) { c.cmdOK->click(); });
    QCOMPARE(qs(Variabili::PercorsoScelto), QString());
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{1});
}

void TstFrmSelezione::ultimoFileScelto()
{
    frmSelezione dialogo;
    mostra(dialogo, [](const Controlli& c) {
        scegli(c, QStringLiteral("a.txt"));
        scegli(c, QStringLiteral("B.TXT"));
        QTest::mouseClick(c.cmdOK, Qt::LeftButton);
    });
    QCOMPARE(qs(Variabili::PercorsoScelto), cartella_->dati() + QStringLiteral("B.TXT"));
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{1});
}

void TstFrmSelezione::sceltaDaTastiera_data()
{
    QTest::addColumn<int>("tasto");  // pressed on OK
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TstFrmSelezione::sceltaDaTastiera()
{
    QFETCH(int, tasto);
    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        QTRY_COMPARE(QApplication::focusWidget(), c.Dir1);
        QTest::keyClick(c.Dir1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), c.File1);
        QVERIFY(!c.File1->selectionModel()->hasSelection());  // focus alone chooses nothing
        // The first Down chooses the first file, as a click on it does.
        QTest::keyClick(c.File1, Qt::Key_Down);
        QCOMPARE(c.txtNome->text(), QStringLiteral("A.TXT"));
        QCOMPARE(qs(Variabili::PercorsoScelto), cartella_->dati() + QStringLiteral("a.txt"));
        QTest::keyClick(c.File1, Qt::Key_Down);
        QCOMPARE(c.txtNome->text(), QStringLiteral("B.TXT"));
        QTest::keyClick(c.File1, Qt::Key_Tab);  // past the disabled name box
        QCOMPARE(QApplication::focusWidget(), c.cmdOK);
        QTest::keyClick(c.cmdOK, static_cast<Qt::Key>(tasto));
        QTRY_VERIFY(!c.dialogo->isVisible());
    });
    QCOMPARE(qs(Variabili::PercorsoScelto), cartella_->dati() + QStringLiteral("B.TXT"));
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{1});
}

void TstFrmSelezione::chiusuraAnnulla_data()
{
    QTest::addColumn<QString>("come");
    QTest::newRow("close box") << "close";
    QTest::newRow("Escape") << "escape";
}

void TstFrmSelezione::chiusuraAnnulla()
{
    QFETCH(QString, come);
    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        scegli(c, QStringLiteral("a.txt"));
        QCOMPARE(qs(Variabili::PercorsoScelto), cartella_->dati() + QStringLiteral("a.txt"));
        if (come == QLatin1String("close"))
            c.dialogo->close();
        else
            QTest::keyClick(c.dialogo, Qt::Key_Escape);
    });
    QCOMPARE(qs(Variabili::PercorsoScelto), QString());
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{0});
}

void TstFrmSelezione::cartellaRicordata_data()
{
    QTest::addColumn<bool>("conOK");
    QTest::addColumn<QByteArray>("nome");
    QTest::addColumn<int>("rimossi");  // 0: none; 1: the folder; 2: the folder and the one above it
    QTest::newRow("closed with OK") << true << QByteArray("Vecchi") << 0;
    QTest::newRow("closed with the close box") << false << QByteArray("Vecchi") << 0;
    QTest::newRow("name not valid UTF-8") << true << QByteArray("vecchi\xFF") << 0;
    QTest::newRow("folder removed since") << true << QByteArray("Vecchi") << 1;
    QTest::newRow("folder and the one above removed") << false << QByteArray("Vecchi") << 2;
}

void TstFrmSelezione::cartellaRicordata()
{
    QFETCH(bool, conOK);
    QFETCH(QByteArray, nome);
    QFETCH(int, rimossi);
    const QString dati = QDir::cleanPath(cartella_->dati());
    const QString sotto = dati + QLatin1Char('/') + qt::percorsoDaByte(nome);
    const QByteArray sottoByte = creaByte(qt::byteDiPercorso(sotto), true);
    const RimozioneAllaFine pulizia(sottoByte);
    creaByte(sottoByte + "/Sotto", true);
    creaByte(sottoByte + "/c.txt", false);
    const QString aperta = rimossi == 2 ? sotto + QStringLiteral("/Sotto") : sotto;

    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        QCOMPARE(nomiElencati(c.File1), (QStringList{"a.txt", "B.TXT"}));
        apriCartella(c, qt::testoVisibile(qt::percorsoDaByte(nome)));
        QCOMPARE(c.Dir1->percorso(), sotto);
        QCOMPARE(nomiElencati(c.File1), QStringList{"c.txt"});
        if (rimossi == 2)
            apriCartella(c, QStringLiteral("Sotto"));
        QCOMPARE(qs(Variabili::CartellaCorrente), aperta);
        if (rimossi != 2)
            scegli(c, QStringLiteral("c.txt"));  // the focus goes to the file list
        if (conOK)
            c.cmdOK->click();
        else
            c.dialogo->close();
    });
    QCOMPARE(qs(Variabili::CartellaCorrente), aperta);

    // The next showing opens there, from a fresh state, with the focus back
    // in the folder list; in the nearest folder above that is still there
    // when it has gone.
    if (rimossi > 0)
        QVERIFY(std::filesystem::remove_all(sottoByte.toStdString()) > 0);
    const QString attesa = rimossi > 0 ? dati : aperta;
    mostra(dialogo, [&](const Controlli& c) {
        QTRY_COMPARE(QApplication::focusWidget(), c.Dir1);
        QCOMPARE(c.Dir1->percorso(), attesa);
        QCOMPARE(c.File1->cartella(), attesa);
        QCOMPARE(c.txtNome->text(), QString());
        QVERIFY(!c.File1->selectionModel()->hasSelection());
        scegli(c, rimossi > 0 ? QStringLiteral("a.txt") : QStringLiteral("c.txt"));
        c.cmdOK->click();
    });
    QCOMPARE(qs(Variabili::CartellaCorrente), attesa);
    QCOMPARE(qt::byteDiPercorso(qs(Variabili::PercorsoScelto)),
             rimossi > 0 ? qt::byteDiPercorso(dati) + "/a.txt" : sottoByte + "/c.txt");
}

void TstFrmSelezione::soloFileCorrispondenti()
{
    const QString d = cartella_->dati();
    scriviFile(d + QStringLiteral("c.TxT"), "");
    scriviFile(d + QStringLiteral("d.csv"), "");
    scriviFile(d + QStringLiteral("e.txt.bak"), "");
    scriviFile(d + QStringLiteral(".nascosto.txt"), "");
    QVERIFY(QDir(d).mkdir(QStringLiteral("cartella.txt")));
    QCOMPARE(::mkfifo(QFile::encodeName(d + QStringLiteral("tubo.txt")).constData(), 0600), 0);
    // What a name leads to counts: a device behind a link is no file, nor
    // is a broken link; a file that cannot be read is (choosing it is the
    // run's matter); a name that is not valid UTF-8 is listed and chosen by
    // its real bytes.
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), d + QStringLiteral("Z.TXT")));
    QVERIFY(QFile::link(d + QStringLiteral("a.txt"), d + QStringLiteral("collegamento.txt")));
    QVERIFY(QFile::link(d + QStringLiteral("manca.txt"), d + QStringLiteral("rotto.txt")));
    scriviFile(d + QStringLiteral("illeggibile.txt"), "");
    QVERIFY(QFile::setPermissions(d + QStringLiteral("illeggibile.txt"), {}));
    const QByteArray caffe = creaByte(qt::byteDiPercorso(d) + "caf\xE9.txt", false);
    const RimozioneAllaFine pulizia(caffe);
    frmSelezione dialogo;
    mostra(dialogo, [](const Controlli& c) {
        QCOMPARE(nomiElencati(c.File1), (QStringList{"a.txt", "B.TXT", "c.TxT", "caf\uFFFD.txt", "collegamento.txt",
                                                     "illeggibile.txt"}));
        scegli(c, QStringLiteral("caf\uFFFD.txt"));
        c.cmdOK->click();
    });
    QCOMPARE(qt::byteDiPercorso(qs(Variabili::PercorsoScelto)), caffe);
}

void TstFrmSelezione::ordineDiSempre_data()
{
    QTest::addColumn<int>("altri");  // plain names besides the hard ones
    QTest::newRow("a small folder, read at once") << 0;
    QTest::newRow("a large folder, read on a thread") << ElencoCartella::vociSubito + 500;
}

// Both lists keep the order and the pattern's matching of a plain reading:
// every name decoded, matched against the pattern's expression, sorted by
// QString::compare() ignoring case, then by the real name; and a large
// folder fills them once read, for the keys and the mouse alike, after a
// reading given up halfway has left nothing behind.
void TstFrmSelezione::ordineDiSempre()
{
    QFETCH(int, altri);
    const QString utente = cartella_->utente();
    scriviFile(utente + QStringLiteral("/fuori.txt"), "");
    const QByteArray radice = creaByte(qt::byteDiPercorso(utente) + "/ordine", true);
    const RimozioneAllaFine pulizia(radice);
    QByteArrayList nomi{"a.txt", "A.txt", "B.TXT", "[.txt", "Z.txt", "_.txt", "~.txt", "1.txt", "\xC3\xA9.txt",
                        "\xC3\x89.TXT", "e.txt", "\xC3\x9F.txt", "ss.TXT", "Stra\xC3\x9F" "e.txt", "\xE2\x84\xAA.txt",
                        "k.txt", "\xF0\x90\x90\x80.txt", "\xF0\x90\x90\xA8.txt", "\xFF.txt", "caf\xE9.txt",
                        "x.TXT.bak", "x.tx", "citt\xC3\xA0.t\xC3\xA8xt", "Z.t\xE2\x84\xAA" "t"};
    for (int i = 0; i < altri; ++i)
        nomi << (i % 2 ? "lista " : "Lista ") + QByteArray::number(altri - i) + (i % 3 ? ".txt" : ".TXT");
    for (const QByteArray& nome : nomi) {
        creaByte(radice + '/' + nome, false);
        if (nome.size() < 12)
            creaByte(radice + "/d" + nome, true);
    }
    QCOMPARE(::symlink("a.txt", (radice + "/collegamento.txt").constData()), 0);
    QCOMPARE(::symlink("da.txt", (radice + "/dcollegata").constData()), 0);

    QStringList file, cartelle;
    const QRegularExpression modello(QRegularExpression::wildcardToRegularExpression(QStringLiteral("*.TXT")),
                                     QRegularExpression::CaseInsensitiveOption);
    for (const QByteArray& nome : nomi + QByteArrayList{"collegamento.txt"}) {
        const QString n = qt::percorsoDaByte(nome);
        if (modello.match(qt::testoVisibile(n)).hasMatch())
            file << n;
        if (nome.size() < 12 || nome == "collegamento.txt")
            cartelle << qt::percorsoDaByte(nome == "collegamento.txt" ? QByteArray("dcollegata") : "d" + nome);
    }
    for (QStringList* l : {&file, &cartelle})
        std::sort(l->begin(), l->end(), [](const QString& a, const QString& b) {
            const int c = qt::testoVisibile(a).compare(qt::testoVisibile(b), Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
    const QString ultimo = file.last();  // its real name
    for (QStringList* l : {&file, &cartelle})
        std::transform(l->begin(), l->end(), l->begin(), qt::testoVisibile);

    Variabili::CartellaCorrente = fp(qt::percorsoDaByte(radice));
    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        // Another folder at once, whatever the first reading has got to.
        apriCartella(c, QStringLiteral("utente"));
        QCOMPARE(nomiElencati(c.File1), QStringList{"fuori.txt"});
        QTest::qWait(altri > 0 ? 300 : 0);
        QCOMPARE(nomiElencati(c.File1), QStringList{"fuori.txt"});

        apriCartella(c, QStringLiteral("ordine"));
        QTRY_COMPARE_WITH_TIMEOUT(c.File1->count(), file.size(), 30000);
        QCOMPARE(nomiElencati(c.File1), file);
        const int livelli = c.Dir1->count() - cartelle.size();
        QStringList sotto;
        for (int i = livelli; i < c.Dir1->count(); ++i)
            sotto << c.Dir1->model()->index(i, 0).data().toString();
        QCOMPARE(sotto, cartelle);
        QCOMPARE(c.Dir1->currentIndex().data().toString(), QStringLiteral("ordine"));

        // End reaches the last file, as a click on it would.
        QTest::keyClick(c.Dir1, Qt::Key_Tab);
        QTest::keyClick(c.File1, Qt::Key_End);
        QCOMPARE(c.txtNome->text(), qs(Variabili::NomeDaPercorso(fp(ultimo))));
        c.cmdOK->click();
    });
    QCOMPARE(qs(Variabili::PercorsoScelto), qt::percorsoDaByte(radice) + QLatin1Char('/') + ultimo);
}

void TstFrmSelezione::didascaliaENome()
{
    scriviFile(cartella_->dati() + QStringLiteral("città.txt"), "");
    frmSelezione dialogo;
    QVERIFY(dialogo.windowTitle().isEmpty());
    mostra(dialogo, [](const Controlli& c) {
        QTRY_COMPARE(c.dialogo->windowTitle(), QStringLiteral(" Seleziona file .TXT"));
        QVERIFY(!c.txtNome->isEnabled());
        QCOMPARE(c.txtNome->text(), QString());
        scegli(c, QStringLiteral("città.txt"));
        QCOMPARE(c.txtNome->text(), QStringLiteral("CITTÀ.TXT"));
        QCOMPARE(c.dialogo->size(), QSize(417, 455));
        QVERIFY(!(c.dialogo->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(c.dialogo->windowFlags() & Qt::WindowMinimizeButtonHint));
        // What a screen reader announces for each control.
        const QList<QPair<QWidget*, QString>> nomi{{c.Dir1, QStringLiteral("Cartelle")},
                                                   {c.File1, QStringLiteral("File di testo")},
                                                   {c.txtNome, QStringLiteral("File scelto")},
                                                   {c.cmdOK, QStringLiteral("OK")}};
        // The folder list's rows are all it shows to a screen reader: no header.
        QAccessibleInterface* cartelle = QAccessible::queryAccessibleInterface(c.Dir1);
        QCOMPARE(cartelle->childCount(), c.Dir1->count());
        QCOMPARE(cartelle->child(0)->text(QAccessible::Name), QStringLiteral("/"));
        for (const auto& [controllo, nome] : nomi) {
            QAccessibleInterface* accessibile = QAccessible::queryAccessibleInterface(controllo);
            QVERIFY(accessibile);
            QCOMPARE(accessibile->text(QAccessible::Name), nome);
            QVERIFY(!accessibile->text(QAccessible::Description).isEmpty());
        }
        c.cmdOK->click();
    });
}

void TstFrmSelezione::elencoCartelle()
{
    QVERIFY(QDir(cartella_->dati()).mkdir(QStringLiteral("zeta")));
    QVERIFY(QDir(cartella_->dati()).mkdir(QStringLiteral("Alfa")));
    QVERIFY(QDir(cartella_->dati()).mkdir(QStringLiteral(".nascosta")));
    ListaCartelle lista;
    QSignalSpy cambi(&lista, &ListaCartelle::cambiato);
    lista.impostaPercorso(cartella_->dati());
    QCOMPARE(cambi.count(), 1);
    lista.impostaPercorso(cartella_->dati() + QStringLiteral("."));  // the same folder
    QCOMPARE(cambi.count(), 1);

    // The chain from the root, one step further in at each level, then the
    // subfolders one step further still.
    const QString atteso = QDir::cleanPath(cartella_->dati());
    QCOMPARE(lista.percorso(), atteso);
    const QStringList catena = QStringList{QStringLiteral("/")} + atteso.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList attese = catena + QStringList{QStringLiteral("Alfa"), QStringLiteral("zeta")};
    QCOMPARE(lista.count(), attese.size());
    for (int i = 0; i < lista.count(); ++i) {
        QCOMPARE(lista.model()->index(i, 0).data().toString(), attese[i]);
        QCOMPARE(lista.model()->index(i, 0).data(VoceLista::livelloVoce).toInt(), std::min<int>(i, catena.size()));
    }
    const QModelIndex voce = lista.model()->index(catena.size() - 1, 0);
    QCOMPARE(lista.currentIndex(), voce);

    // Opening an upper level of the chain moves there.
    lista.setCurrentIndex(lista.model()->index(catena.size() - 2, 0));
    QTest::keyClick(&lista, Qt::Key_Return);
    QCOMPARE(cambi.count(), 2);
    QCOMPARE(lista.percorso(), cartella_->programma() + QStringLiteral("/Shared"));
}

void TstFrmSelezione::fileNellaRadice()
{
    // A file in the root folder joins with a single separator.
    const QString nome = QStringLiteral("fendrix-prova-%1.TXT").arg(QCoreApplication::applicationPid());
    QFile file(QStringLiteral("/") + nome);
    if (!file.open(QIODevice::WriteOnly))
        QSKIP("the root folder is not writable here");
    file.close();
    const auto rimuovi = qScopeGuard([&] { file.remove(); });
    Variabili::CartellaCorrente = fp(QStringLiteral("/"));
    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        QCOMPARE(c.File1->cartella(), QStringLiteral("/"));
        scegli(c, nome);
        c.cmdOK->click();
    });
    QCOMPARE(qs(Variabili::PercorsoScelto), QStringLiteral("/") + nome);
    QCOMPARE(qs(Variabili::CartellaCorrente), QStringLiteral("/"));
}

void TstFrmSelezione::cartellaIllegibile_data()
{
    QTest::addColumn<QString>("cartella");
    QTest::addColumn<int>("numero");
    QTest::newRow("missing") << "manca" << 76;
    QTest::newRow("a file") << "file.txt" << 76;
}

void TstFrmSelezione::cartellaIllegibile()
{
    QFETCH(QString, cartella);
    QFETCH(int, numero);
    scriviFile(cartella_->utente() + QStringLiteral("/file.txt"), "");
    ListaCartelle lista;
    lista.impostaPercorso(cartella_->dati());
    QSignalSpy cambi(&lista, &ListaCartelle::cambiato);
    try {
        lista.impostaPercorso(cartella_->utente() + QLatin1Char('/') + cartella);
        QFAIL("no error raised");
    } catch (const sistema::ErroreRuntime& e) {
        QCOMPARE(e.numero(), numero);
    }
    QCOMPARE(cambi.count(), 0);
    QCOMPARE(lista.percorso(), QDir::cleanPath(cartella_->dati()));
}

QTEST_MAIN(TstFrmSelezione)
#include "tst_frmselezione.moc"
