// The file selection dialog, shown modally with real widgets on real folders.
#include "host/ErroreRuntime.h"
#include "state/Variabili.h"
#include "ui/ListaCartelle.h"
#include "ui/ListaFile.h"
#include "ui/frmSelezione.h"

#include "CartellaProva.h"
#include "RispostaMessaggi.h"

#include <QAccessible>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryFile>
#include <QtTest>

#include <functional>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#include <unistd.h>
#endif

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
    Variabili::Filtro = QStringLiteral("*.TXT");
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

void scegli(const Controlli& c, const QString& nome)
{
    const auto voci = c.File1->findItems(nome, Qt::MatchExactly);
    QCOMPARE(voci.size(), 1);
    const QRect r = c.File1->visualItemRect(voci.first());
    QTest::mouseClick(c.File1->viewport(), Qt::LeftButton, {}, r.center());
}

void apriCartella(const Controlli& c, const QString& nome)
{
    const auto voci = c.Dir1->findItems(nome, Qt::MatchExactly | Qt::MatchRecursive);
    QCOMPARE(voci.size(), 1);
    c.Dir1->setCurrentItem(voci.first());
    QTest::keyClick(c.Dir1, Qt::Key_Return);
}

QStringList nomiElencati(const ListaFile* lista)
{
    QStringList nomi;
    for (int i = 0; i < lista->count(); ++i)
        nomi << lista->item(i)->text();
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
    Variabili::CartellaCorrente = cartella_->dati();
    Variabili::PercorsoScelto = QStringLiteral("left over from before");
}

void TstFrmSelezione::okSenzaClic()
{
    frmSelezione dialogo;
    mostra(dialogo, [](const Controlli& c) { c.cmdOK->click(); });
    QCOMPARE(Variabili::PercorsoScelto, QString());
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
    QCOMPARE(Variabili::PercorsoScelto, cartella_->dati() + QStringLiteral("B.TXT"));
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
        QTest::keyClick(c.File1, Qt::Key_Down);  // focus alone chose nothing: this picks the first
        QTest::keyClick(c.File1, Qt::Key_Down);
        QTest::keyClick(c.File1, Qt::Key_Tab);  // past the disabled name box
        QCOMPARE(QApplication::focusWidget(), c.cmdOK);
        QTest::keyClick(c.cmdOK, static_cast<Qt::Key>(tasto));
        QTRY_VERIFY(!c.dialogo->isVisible());
    });
    QCOMPARE(Variabili::PercorsoScelto, cartella_->dati() + QStringLiteral("B.TXT"));
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
        QCOMPARE(Variabili::PercorsoScelto, cartella_->dati() + QStringLiteral("a.txt"));
        if (come == QLatin1String("close"))
            c.dialogo->close();
        else
            QTest::keyClick(c.dialogo, Qt::Key_Escape);
    });
    QCOMPARE(Variabili::PercorsoScelto, QString());
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{0});
}

void TstFrmSelezione::cartellaRicordata_data()
{
    QTest::addColumn<bool>("conOK");
    QTest::newRow("closed with OK") << true;
    QTest::newRow("closed with the close box") << false;
}

void TstFrmSelezione::cartellaRicordata()
{
    QFETCH(bool, conOK);
    QVERIFY(QDir(cartella_->dati()).mkdir(QStringLiteral("Vecchi")));
    scriviFile(cartella_->dati() + QStringLiteral("Vecchi/c.txt"), "3");
    const QString sotto = cartella_->dati() + QStringLiteral("Vecchi");

    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        QCOMPARE(nomiElencati(c.File1), (QStringList{"a.txt", "B.TXT"}));
        apriCartella(c, QStringLiteral("Vecchi"));
        QCOMPARE(c.Dir1->percorso(), sotto);
        QCOMPARE(nomiElencati(c.File1), QStringList{"c.txt"});
        QCOMPARE(Variabili::CartellaCorrente, sotto);
        scegli(c, QStringLiteral("c.txt"));  // the focus goes to the file list
        if (conOK)
            c.cmdOK->click();
        else
            c.dialogo->close();
    });
    QCOMPARE(Variabili::CartellaCorrente, sotto);

    // The next showing opens there, from a fresh state, with the focus back
    // in the folder list.
    mostra(dialogo, [&](const Controlli& c) {
        QTRY_COMPARE(QApplication::focusWidget(), c.Dir1);
        QCOMPARE(c.Dir1->percorso(), sotto);
        QCOMPARE(c.File1->cartella(), sotto);
        QCOMPARE(nomiElencati(c.File1), QStringList{"c.txt"});
        QCOMPARE(c.txtNome->text(), QString());
        QVERIFY(c.File1->selectedItems().isEmpty());
        scegli(c, QStringLiteral("c.txt"));
        c.cmdOK->click();
    });
    QCOMPARE(Variabili::PercorsoScelto, sotto + QStringLiteral("/c.txt"));
}

void TstFrmSelezione::soloFileCorrispondenti()
{
    const QString d = cartella_->dati();
    scriviFile(d + QStringLiteral("c.TxT"), "");
    scriviFile(d + QStringLiteral("d.csv"), "");
    scriviFile(d + QStringLiteral("e.txt.bak"), "");
    scriviFile(d + QStringLiteral(".nascosto.txt"), "");
    QVERIFY(QDir(d).mkdir(QStringLiteral("cartella.txt")));
#if defined(Q_OS_UNIX)
    QCOMPARE(::mkfifo(QFile::encodeName(d + QStringLiteral("tubo.txt")).constData(), 0600), 0);
#endif
    frmSelezione dialogo;
    mostra(dialogo, [](const Controlli& c) {
        QCOMPARE(nomiElencati(c.File1), (QStringList{"a.txt", "B.TXT", "c.TxT"}));
        c.cmdOK->click();
    });
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

    // The chain from the root, one step further in at each level.
    const QString atteso = QDir::cleanPath(cartella_->dati());
    QCOMPARE(lista.percorso(), atteso);
    QCOMPARE(lista.topLevelItemCount(), 1);
    QTreeWidgetItem* voce = lista.topLevelItem(0);
    QCOMPARE(voce->text(0), QStringLiteral("/"));
    const QStringList parti = atteso.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& parte : parti) {
        QVERIFY(voce->childCount() >= 1);
        voce = voce->child(0);
        QCOMPARE(voce->text(0), parte);
    }
    QCOMPARE(lista.currentItem(), voce);
    QStringList sottocartelle;
    for (int i = 0; i < voce->childCount(); ++i)
        sottocartelle << voce->child(i)->text(0);
    QCOMPARE(sottocartelle, (QStringList{"Alfa", "zeta"}));

    // Opening an upper level of the chain moves there.
    lista.setCurrentItem(voce->parent());
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
    Variabili::CartellaCorrente = QStringLiteral("/");
    frmSelezione dialogo;
    mostra(dialogo, [&](const Controlli& c) {
        QCOMPARE(c.File1->cartella(), QStringLiteral("/"));
        scegli(c, nome);
        c.cmdOK->click();
    });
    QCOMPARE(Variabili::PercorsoScelto, QStringLiteral("/") + nome);
    QCOMPARE(Variabili::CartellaCorrente, QStringLiteral("/"));
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
    } catch (const host::ErroreRuntime& e) {
        QCOMPARE(e.numero(), numero);
    }
    QCOMPARE(cambi.count(), 0);
    QCOMPARE(lista.percorso(), QDir::cleanPath(cartella_->dati()));
}

QTEST_MAIN(TstFrmSelezione)
#include "tst_frmselezione.moc"
