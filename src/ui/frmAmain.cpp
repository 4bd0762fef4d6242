#include "ui/frmAmain.h"
#include "ui_frmAmain.h"

#include "host/GestioneErrori.h"
#include "processing/EliminaDuplicati.h"
#include "processing/Passi.h"
#include "state/Variabili.h"
#include "ui/Caratteri.h"
#include "ui/Risorse.h"
#include "ui/frmSelezione.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

frmAmain::frmAmain(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::frmAmain>())
{
    caricaRisorse();
    ui->setupUi(this);
    setWindowIcon(iconaProgramma());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    setFont(carattere(QStringLiteral("Verdana"), 8.25));

    ui->cmdDuplicate->setIcon(QIcon(QStringLiteral(":/fendrix/cartella.png")));
    ui->Image1->setPixmap(QPixmap(QStringLiteral(":/fendrix/banner.png")));
    Label1 = {ui->Label1_0, ui->Label1_1, ui->Label1_2, ui->Label1_3};
    for (QLabel* riga : Label1)
        riga->setFont(carattere(QStringLiteral("Trebuchet MS"), 9, QFont::Normal, true));

    // Enter on the focused picture button runs the command, like Space.
    ui->cmdDuplicate->installEventFilter(this);
    connect(ui->cmdDuplicate, &QPushButton::clicked, this,
            [this] { host::eseguiGestore([this] { cmdDuplicate_Click(); }); });

    host::eseguiGestore([this] { Form_Load(); });
}

frmAmain::~frmAmain() = default;

void frmAmain::Form_Load()
{
    Variabili::CartellaCorrente = elaborazione::cartellaDati();
}

void frmAmain::cmdDuplicate_Click()
{
    Variabili::ModoSelezione = 1;
    Variabili::Filtro = QStringLiteral("*.TXT");
    if (!selezione_)
        selezione_ = std::make_unique<frmSelezione>();
    selezione_->mostraModale();
    Variabili::FileDaElaborare = Variabili::PercorsoScelto;
    if (!Variabili::FileDaElaborare.isEmpty())
        EliminaDuplicati();
}

void frmAmain::showEvent(QShowEvent* e)
{
    if (!centrata_) {
        centrata_ = true;
        if (const QScreen* schermo = QGuiApplication::primaryScreen())
            move(schermo->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(e);
}

bool frmAmain::eventFilter(QObject* oggetto, QEvent* e)
{
    if (oggetto == ui->cmdDuplicate && e->type() == QEvent::KeyPress) {
        const int tasto = static_cast<QKeyEvent*>(e)->key();
        if (tasto == Qt::Key_Return || tasto == Qt::Key_Enter) {
            ui->cmdDuplicate->animateClick();
            return true;
        }
    }
    return QWidget::eventFilter(oggetto, e);
}
