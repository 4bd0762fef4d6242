// The main window, end to end through the real dialog and message box.
#include "stato/Variabili.h"
#include "qt/Caratteri.h"
#include "qt/ListaCartelle.h"
#include "qt/ListaFile.h"
#include "qt/frmAmain.h"
#include "qt/Schermo.h"
#include "qt/frmSelezione.h"

#include "CartellaProva.h"
#include "RispostaMessaggi.h"

#include <QAccessible>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <functional>

// The front end under test.
using namespace qt;

namespace {

using Azione = std::function<void(frmSelezione*)>;

QPushButton* pulsante(frmAmain& finestra)
{
    return finestra.findChild<QPushButton*>(QStringLiteral("cmdDuplicate"));
}

void scegli(frmSelezione* d, const QString& nome)
{
    auto* lista = d->findChild<ListaFile*>(QStringLiteral("File1"));
    const auto voci = lista->model()->match(lista->model()->index(0, 0), Qt::DisplayRole, nome, -1, Qt::MatchExactly);
    QCOMPARE(voci.size(), 1);
    QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, lista->visualRect(voci.first()).center());
}

void ok(frmSelezione* d)
{
    QTest::mouseClick(d->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
}

// Presses the picture button with `premi`; `nelDialogo` acts in the dialog
// when it shows. Returns the messages shown after the dialog closed.
QList<RispostaMessaggi::Messaggio> premi(frmAmain& finestra, const Azione& nelDialogo,
                                         const std::function<void()>& premi = {})
{
    RispostaMessaggi risposta;
    int dialoghi = 0;
    risposta.suFinestra([&](QWidget* w) {
        if (auto* d = qobject_cast<frmSelezione*>(w)) {
            ++dialoghi;
            nelDialogo(d);
            if (d->isVisible())
                d->done(QDialog::Rejected);  // never hang on a failed step
        }
    });
    if (premi)
        premi();
    else
        QTest::mouseClick(pulsante(finestra), Qt::LeftButton);
    [&] { QCOMPARE(dialoghi, 1); }();
    return risposta.messaggi();
}

}  // namespace

class TstFrmAmain : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void comando_data();
    void comando();
    void secondaPressione();
    void tastiera_data();
    void tastiera();
    void aspetto();
    void coloriPropri_data();
    void coloriPropri();
    void dialogoSopraLaFinestra();
    void didascalie_data();
    void didascalie();
    void senzaSchermo_data();
    void senzaSchermo();

private:
    std::unique_ptr<CartellaProva> cartella_;
    std::unique_ptr<frmAmain> finestra_;
};

void TstFrmAmain::init()
{
    cartella_ = std::make_unique<CartellaProva>();
    Variabili::ModoSelezione = 0;
    Variabili::Filtro.clear();
    finestra_ = std::make_unique<frmAmain>();
    finestra_->show();
    QVERIFY(QTest::qWaitForWindowExposed(finestra_.get()));
}

void TstFrmAmain::cleanup()
{
    finestra_.reset();
    cartella_.reset();
}

void TstFrmAmain::comando_data()
{
    QTest::addColumn<QByteArray>("contenuto");
    QTest::addColumn<QString>("azione");
    QTest::addColumn<QString>("messaggio");  // "" for none
    QTest::addColumn<QByteArray>("copia");    // null for none
    QTest::newRow("repeats removed")
        << QByteArray("12 34\r\n5 6\r\n12 34\r\n") << "ok" << "Eliminate 1  combinazioni ripetute..! "
        << QByteArray("12 34\r\n5 6\r\n");
    QTest::newRow("no repeats") << QByteArray("a\r\nb\r\n") << "ok"
                                << "Il file non ha combinazioni ripetute..! " << QByteArray();
    QTest::newRow("close box") << QByteArray("a\r\na\r\n") << "chiudi" << "" << QByteArray();
    QTest::newRow("OK without a file") << QByteArray("a\r\na\r\n") << "ok senza file" << ""
                                       << QByteArray();
}

void TstFrmAmain::comando()
{
    QFETCH(QByteArray, contenuto);
    QFETCH(QString, azione);
    QFETCH(QString, messaggio);
    QFETCH(QByteArray, copia);
    scriviFile(cartella_->dati() + QStringLiteral("lista.txt"), contenuto);

    const auto messaggi = premi(*finestra_, [&](frmSelezione* d) {
        if (azione == QLatin1String("ok senza file")) {
            ok(d);
            return;
        }
        scegli(d, QStringLiteral("lista.txt"));
        if (azione == QLatin1String("ok"))
            ok(d);
        else
            d->close();
    });

    if (messaggio.isEmpty()) {
        QCOMPARE(messaggi.size(), 0);
    } else {
        QCOMPARE(messaggi.size(), 1);
        QCOMPARE(messaggi[0].titolo, QStringLiteral("Fendrix"));
        QCOMPARE(messaggi[0].testo, messaggio);
    }
    const QString percorsoCopia = cartella_->dati() + QStringLiteral("NEW - LISTA.TXT");
    if (copia.isNull())
        QVERIFY(!QFileInfo::exists(percorsoCopia));
    else
        QCOMPARE(leggiFile(percorsoCopia), copia);
    QCOMPARE(leggiFile(cartella_->dati() + QStringLiteral("lista.txt")), contenuto);
}

void TstFrmAmain::secondaPressione()
{
    QVERIFY(QDir(cartella_->dati()).mkdir(QStringLiteral("Vecchi")));
    scriviFile(cartella_->dati() + QStringLiteral("Vecchi/x.txt"), "r,r");
    const QString sotto = cartella_->dati() + QStringLiteral("Vecchi");
    QCOMPARE(qs(Variabili::CartellaCorrente), cartella_->dati());

    // First press: move to the subfolder, then close through the close box.
    premi(*finestra_, [&](frmSelezione* d) {
        QCOMPARE(Variabili::ModoSelezione, std::int16_t{1});
        QCOMPARE(QString::fromStdString(Variabili::Filtro), QStringLiteral("*.TXT"));
        auto* dir = d->findChild<ListaCartelle*>(QStringLiteral("Dir1"));
        dir->setCurrentIndex(
            dir->model()->match(dir->model()->index(0, 0), Qt::DisplayRole, QStringLiteral("Vecchi"), -1, Qt::MatchExactly).first());
        QTest::keyClick(dir, Qt::Key_Return);
        d->close();
    });
    QCOMPARE(Variabili::ModoSelezione, std::int16_t{0});
    Variabili::Filtro = "*.XYZ";

    // Second press: mode and pattern set again, the dialog opens where it was left.
    const auto messaggi = premi(*finestra_, [&](frmSelezione* d) {
        QCOMPARE(Variabili::ModoSelezione, std::int16_t{1});
        QCOMPARE(QString::fromStdString(Variabili::Filtro), QStringLiteral("*.TXT"));
        QCOMPARE(d->findChild<ListaCartelle*>(QStringLiteral("Dir1"))->percorso(), sotto);
        scegli(d, QStringLiteral("x.txt"));
        ok(d);
    });
    QCOMPARE(messaggi.size(), 1);
    QCOMPARE(leggiFile(cartella_->dati() + QStringLiteral("NEW - X.TXT")), QByteArray("r\r\n"));
}

void TstFrmAmain::tastiera_data()
{
    QTest::addColumn<int>("tasto");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
}

void TstFrmAmain::tastiera()
{
    QFETCH(int, tasto);
    scriviFile(cartella_->dati() + QStringLiteral("lista.txt"), "k\r\nk\r\n");
    QPushButton* cmd = pulsante(*finestra_);
    finestra_->activateWindow();
    // The picture button is the window's only tab stop: it has the focus at
    // start and keeps it through Tab.
    QTRY_COMPARE(QApplication::focusWidget(), cmd);
    QTest::keyClick(cmd, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), cmd);

    const auto messaggi = premi(
        *finestra_,
        [](frmSelezione* d) {
            scegli(d, QStringLiteral("lista.txt"));
            ok(d);
        },
        [&] {
            QTest::keyClick(cmd, static_cast<Qt::Key>(tasto));
            if (tasto != Qt::Key_Space)  // Enter animates the click: let it land
                QTRY_VERIFY(Variabili::ModoSelezione == 1);
            QTRY_COMPARE_WITH_TIMEOUT(QFileInfo::exists(cartella_->dati() + QStringLiteral("NEW - LISTA.TXT")),
                                      true, 5000);
        });
    QCOMPARE(messaggi.size(), 1);
    QCOMPARE(messaggi[0].testo, QStringLiteral("Eliminate 1  combinazioni ripetute..! "));
}

void TstFrmAmain::aspetto()
{
    QCOMPARE(finestra_->windowTitle(), QStringLiteral("  by Quorvanta"));
    QCOMPARE(finestra_->size(), QSize(479, 204));
    QCOMPARE(finestra_->minimumSize(), finestra_->maximumSize());
    const Qt::WindowFlags flags = finestra_->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!finestra_->windowIcon().isNull());

    const QStringList attesi{QStringLiteral("ELIMINA LE RIGHE O COMBINAZIONI RIPETUTE"),
                             QStringLiteral("IN UN FILE DI TIPO TESTO- ASCII"),
                             QStringLiteral("CREANDO UNA COPIA ORDINATA"),
                             QStringLiteral("CON UN SEMPLICISSIMO CLICK")};
    int yPrecedente = -1;
    for (int i = 0; i < 4; ++i) {
        auto* riga = finestra_->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        QVERIFY(riga);
        QCOMPARE(riga->text(), attesi[i]);
        QVERIFY(riga->font().italic());
        QCOMPARE(riga->alignment(), Qt::AlignCenter);
        QVERIFY(riga->y() > yPrecedente);
        yPrecedente = riga->y();
    }
    auto* cmd = pulsante(*finestra_);
    QVERIFY(cmd->text().isEmpty());
    QVERIFY(!cmd->icon().isNull());
    QVERIFY(!cmd->accessibleName().isEmpty());
    auto* banner = finestra_->findChild<QLabel*>(QStringLiteral("Image1"));
    QCOMPARE(banner->pixmap().deviceIndependentSize(), QSizeF(250, 48));
    QAccessibleInterface* accessibile = QAccessible::queryAccessibleInterface(finestra_.get());
    QVERIFY(accessibile);
    QCOMPARE(accessibile->role(), QAccessible::Window);
    QCOMPARE(accessibile->text(QAccessible::Name), QStringLiteral("  by Quorvanta"));
    QCOMPARE(finestra_->findChild<QFrame*>(QStringLiteral("Frame3"))->accessibleName(),
             QStringLiteral("Descrizione e comando"));
    QCOMPARE(qs(Variabili::CartellaCorrente), cartella_->dati());
}

void TstFrmAmain::coloriPropri_data()
{
    QTest::addColumn<QString>("foglio");  // the application's style sheet
    QTest::addColumn<bool>("tavolozzaScura");
    QTest::newRow("dark style sheet") << "QWidget { background-color: #202020; color: #e8e8e8; }" << false;
    QTest::newRow("dark palette") << "" << true;
}

void TstFrmAmain::coloriPropri()
{
    QFETCH(QString, foglio);
    QFETCH(bool, tavolozzaScura);
    const QPalette prima = QApplication::palette();
    const auto ripristina = qScopeGuard([&] {
        qApp->setStyleSheet(QString());
        QApplication::setPalette(prima);
    });
    finestra_.reset();
    qApp->setStyleSheet(foglio);
    if (tavolozzaScura) {
        QPalette scura(QColor(0x30, 0x30, 0x30), QColor(0x20, 0x20, 0x20));
        scura.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xe8));
        scura.setColor(QPalette::Text, QColor(0xe8, 0xe8, 0xe8));
        QApplication::setPalette(scura);
    }
    frmAmain finestra;
    finestra.show();
    QVERIFY(QTest::qWaitForWindowExposed(&finestra));
    // What is drawn, not what is asked: a light background behind dark text,
    // in each caption and around the frame.
    const QImage immagine = finestra.grab().toImage();
    for (int i = 0; i < 4; ++i) {
        auto* riga = finestra.findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        const QRect r(riga->mapTo(&finestra, QPoint(0, 0)), riga->size());
        int chiara = 255, scura = 255;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const int l = qGray(immagine.pixel(x, y));
                scura = std::min(scura, l);
                if (x == r.left())
                    chiara = std::min(chiara, l);  // the edge holds no text
            }
        QVERIFY2(chiara > 230, qPrintable(riga->text()));
        QVERIFY2(scura < 80, qPrintable(riga->text()));
    }
    QVERIFY(qGray(immagine.pixel(3, 3)) > 230);
}

void TstFrmAmain::dialogoSopraLaFinestra()
{
    // Another window is active (the focus elsewhere, or no window manager
    // to give it to the main window): the dialog is still transient for the
    // window that shows it.
    QWidget altrove;
    altrove.show();
    altrove.activateWindow();
    QTRY_VERIFY(QApplication::activeWindow() == &altrove);
    const QWindow* sopra = nullptr;
    premi(
        *finestra_,
        [&](frmSelezione* d) {
            sopra = d->windowHandle()->transientParent();
            QVERIFY(d->parent() == nullptr);  // no Qt owner
            d->close();
        },
        [&] { pulsante(*finestra_)->click(); });
    QCOMPARE(sopra, finestra_->windowHandle());
}

void TstFrmAmain::didascalie_data()
{
    QTest::addColumn<QFont>("voluto");  // null: the window's own
    QTest::newRow("the window's own font") << QFont();
    // A missing family falls back to whatever is installed; the spacing
    // makes that fallback wider than any caption's label.
    QFont largo = carattere(QStringLiteral("Fendrix Nessun Carattere"), 9, QFont::Normal, true);
    largo.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    QTest::newRow("wide fallback font") << largo;
}

void TstFrmAmain::didascalie()
{
    QFETCH(QFont, voluto);
    for (int i = 0; i < 4; ++i) {
        auto* riga = finestra_->findChild<QLabel*>(QStringLiteral("Label1_%1").arg(i));
        QFont atteso = carattere(QStringLiteral("Trebuchet MS"), 9, QFont::Normal, true);
        if (voluto != QFont()) {
            adattaAllaLarghezza(riga, voluto);
            atteso = voluto;
        }
        const qreal larghezza = riga->contentsRect().width();
        const auto misura = [&](qreal punti) {
            QFont f = atteso;
            f.setPointSizeF(punti);
            return QFontMetricsF(f, riga).horizontalAdvance(riga->text());
        };
        const qreal punti = riga->font().pointSizeF();
        QCOMPARE(riga->font().families(), atteso.families());
        QVERIFY(riga->font().italic());
        // Its own size where the text fits, else the largest half point that
        // fits, never below 7 pt.
        QVERIFY(punti >= 7 && punti <= 9);
        QCOMPARE(std::fmod(punti * 2, 1.0), 0.0);
        if (punti > 7)
            QVERIFY2(misura(punti) <= larghezza, qPrintable(riga->text()));
        if (punti < 9)
            QVERIFY(misura(punti + 0.5) > larghezza);
    }
    if (voluto != QFont()) {  // that font cannot fit the longest caption at its size
        QVERIFY(finestra_->findChild<QLabel*>(QStringLiteral("Label1_0"))->font().pointSizeF() < 9);
    }
}

void TstFrmAmain::senzaSchermo_data()
{
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("wayland");
    QTest::addColumn<QByteArray>("piattaforma");  // QT_QPA_PLATFORM
    QTest::addColumn<QByteArray>("argomento");    // -platform
    QTest::addColumn<bool>("disponibile");
    QTest::newRow("X11") << QByteArray(":0") << QByteArray() << QByteArray() << QByteArray() << true;
    QTest::newRow("Wayland") << QByteArray() << QByteArray("wayland-0") << QByteArray() << QByteArray() << true;
    QTest::newRow("nothing") << QByteArray() << QByteArray() << QByteArray() << QByteArray() << false;
    QTest::newRow("offscreen") << QByteArray() << QByteArray() << QByteArray("offscreen") << QByteArray() << true;
    QTest::newRow("xcb without X11") << QByteArray() << QByteArray("wayland-0") << QByteArray("xcb")
                                     << QByteArray() << false;
    QTest::newRow("either, one there") << QByteArray() << QByteArray("wayland-0") << QByteArray("xcb;wayland")
                                       << QByteArray() << true;
    QTest::newRow("-platform wins") << QByteArray(":0") << QByteArray() << QByteArray("offscreen")
                                    << QByteArray("wayland") << false;
}

void TstFrmAmain::senzaSchermo()
{
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, wayland);
    QFETCH(QByteArray, piattaforma);
    QFETCH(QByteArray, argomento);
    QFETCH(bool, disponibile);
    const QList<QByteArray> nomi{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    QList<QByteArray> prima;
    for (const QByteArray& nome : nomi)
        prima << qgetenv(nome.constData());
    const auto ripristina = qScopeGuard([&] {
        schermoAperto();  // gives the test's message handler back
        for (int i = 0; i < nomi.size(); ++i)
            qputenv(nomi[i].constData(), prima[i]);
    });
    const QList<QByteArray> valori{display, wayland, piattaforma};
    for (int i = 0; i < nomi.size(); ++i) {
        if (valori[i].isEmpty())
            qunsetenv(nomi[i].constData());
        else
            qputenv(nomi[i].constData(), valori[i]);
    }
    QByteArray programma("fendrix"), opzione("-platform");
    QList<char*> argv{programma.data()};
    if (!argomento.isEmpty())
        argv << opzione.data() << argomento.data();
    QCOMPARE(schermoDisponibile(int(argv.size()), argv.data()), disponibile);
}

QTEST_MAIN(TstFrmAmain)
#include "tst_frmamain.moc"
