#include "qt/frmSelezione.h"
#include "ui_frmSelezione.h"

#include "qt/GestioneErrori.h"
#include "qt/PercorsiQt.h"
#include "passi/Comando.h"
#include "stato/Variabili.h"
#include "qt/Caratteri.h"
#include "qt/Disegni.h"
#include "Tastiera.h"

#include <QApplication>
#include <QCloseEvent>
#include <QScreen>
#include <QWindow>

namespace qt {

frmSelezione::frmSelezione(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::frmSelezione>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    setWindowIcon(iconaProgramma());
    setPalette(tavolozzaChiara());

    const QFont liste = carattere(QStringLiteral("Segoe UI Light"), 11.25, QFont::Light);
    const QFont piccolo = carattere(QStringLiteral("Segoe UI Light"), 9.75, QFont::Light);
    ui->Dir1->setFont(liste);
    ui->File1->setFont(liste);
    ui->txtNome->setFont(piccolo);
    ui->cmdOK->setFont(piccolo);

    connect(ui->Dir1, &ListaCartelle::cambiato, this, [this] { qt::eseguiGestore([this] { Dir1_Change(); }); });
    connect(ui->File1, &ListaFile::clic, this, [this] { qt::eseguiGestore([this] { File1_Click(); }); });
    invioPreme(ui->cmdOK);
    connect(ui->cmdOK, &QPushButton::clicked, this, [this] { qt::eseguiGestore([this] { cmdOK_Click(); }); });
}

frmSelezione::~frmSelezione() = default;

void frmSelezione::mostraModale(const QWidget* sopra)
{
    qt::eseguiGestore([this] { Form_Load(); });
    if (const QScreen* schermo = QGuiApplication::primaryScreen())
        move(schermo->availableGeometry().center() - rect().center());
    // Every showing starts in the folder list, wherever the focus was left.
    ui->Dir1->setFocus();
    // Transient for the window that shows it, whether or not that window is
    // active (without a window manager, or with the focus elsewhere, none
    // is), at the window-system level only: it stays above that window and
    // out of the taskbar, while no Qt owner passes it a style or a position.
    create();
    const QWidget* finestra = sopra != nullptr ? sopra->window() : nullptr;
    windowHandle()->setTransientParent(finestra != nullptr && finestra != this ? finestra->windowHandle() : nullptr);
    exec();
}

bool frmSelezione::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        qt::eseguiGestore([this] { Form_Activate(); });
    return QDialog::event(e);
}

void frmSelezione::Form_Load()
{
    // The controls start from their layout values at every load.
    ui->Dir1->svuota();
    ui->File1->svuota();
    ui->txtNome->clear();
    ui->txtNome->setEnabled(true);
    setWindowTitle(QString());

    passi::selezioneAperta();
    if (Variabili::ModoSelezione == 1)
        Titolo = QStringLiteral(" Seleziona file ");
    // A folder removed since the last showing gives way to the nearest one
    // above it that is still there; at the first showing a missing data
    // folder ends the program with its run-time error.
    ui->Dir1->impostaPercorso(qt::testoDiPercorso(
        giaMostrato_ ? sistema::cartellaEsistente(Variabili::CartellaCorrente) : Variabili::CartellaCorrente));
    giaMostrato_ = true;
    ui->File1->impostaFiltro(QString::fromStdString(Variabili::Filtro));
}

void frmSelezione::Form_Activate()
{
    Estensione = QString::fromStdString(Variabili::Filtro).right(4);
    setWindowTitle(Titolo + Estensione);
    if (Variabili::ModoSelezione == 1)
        ui->txtNome->setEnabled(false);
}

void frmSelezione::Dir1_Change()
{
    ui->File1->impostaCartella(ui->Dir1->percorso(), ui->Dir1->elenco());
    Variabili::CartellaCorrente = qt::percorsoDiTesto(ui->File1->cartella());
}

void frmSelezione::File1_Click()
{
    ui->txtNome->setText(qt::testoDiPercorso(
        passi::fileScelto(qt::percorsoDiTesto(ui->File1->cartella()), qt::percorsoDiTesto(ui->File1->nomeSelezionato()))));
}

void frmSelezione::cmdOK_Click()
{
    scarica(chiusoDaCodice);
}

void frmSelezione::Form_QueryUnload(int motivo)
{
    passi::selezioneChiusa(motivo == chiusoDallUtente);
}

void frmSelezione::scarica(int motivo)
{
    qt::eseguiGestore([&] { Form_QueryUnload(motivo); });
    done(motivo == chiusoDaCodice ? QDialog::Accepted : QDialog::Rejected);
}

void frmSelezione::reject()
{
    scarica(chiusoDallUtente);
}

void frmSelezione::closeEvent(QCloseEvent* e)
{
    e->accept();
    if (isVisible())
        scarica(chiusoDallUtente);
}

}  // namespace qt
