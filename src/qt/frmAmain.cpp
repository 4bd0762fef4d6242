#include "qt/frmAmain.h"
#include "ui_frmAmain.h"

#include "sistema/CartellaProgramma.h"
#include "qt/GestioneErrori.h"
#include "qt/InterfacciaQt.h"
#include "passi/Comando.h"
#include "stato/Variabili.h"
#include "qt/Caratteri.h"
#include "qt/Disegni.h"
#include "Tastiera.h"
#include "qt/frmSelezione.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace qt {

namespace {

// Screen readers announce the main window as a window, like any other.
QAccessibleInterface* accessibileFinestra(const QString& classe, QObject* oggetto)
{
    if (classe == QLatin1String("qt::frmAmain") && oggetto != nullptr && oggetto->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(oggetto), QAccessible::Window);
    return nullptr;
}

}  // namespace

frmAmain::frmAmain(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::frmAmain>())
{
    static const bool fabbrica = (QAccessible::installFactory(accessibileFinestra), true);
    Q_UNUSED(fabbrica);
    caricaRisorse();
    ui->setupUi(this);
    setWindowIcon(iconaProgramma());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(size());
    setFont(carattere(QStringLiteral("Verdana"), 8.25));
    // Its own colours, which its child widgets share but its message boxes,
    // being windows, do not: they follow the desktop.
    setPalette(tavolozzaChiara());

    ui->cmdDuplicate->setIcon(iconaDisegnata(QStringLiteral(":/fendrix/cartella.svg"), 128));
    Label1 = {ui->Label1_0, ui->Label1_1, ui->Label1_2, ui->Label1_3};
    didascalie_ = carattere(QStringLiteral("Trebuchet MS"), 9, QFont::Normal, true);
    adattaAlloSchermo();

    invioPreme(ui->cmdDuplicate);
    connect(ui->cmdDuplicate, &QPushButton::clicked, this,
            [this] { qt::eseguiGestore([this] { cmdDuplicate_Click(); }); });

    qt::eseguiGestore([this] { Form_Load(); });
}

frmAmain::~frmAmain() = default;

void frmAmain::Form_Load()
{
    Variabili::CartellaCorrente = sistema::cartellaDati();
}

void frmAmain::cmdDuplicate_Click()
{
    passi::comandoDuplicati(
        [this] {
            if (!selezione_)
                selezione_ = std::make_unique<frmSelezione>();
            selezione_->mostraModale(this);
        },
        interfacciaQt());
}

void frmAmain::adattaAlloSchermo()
{
    ui->Image1->setPixmap(disegno(QStringLiteral(":/fendrix/banner.svg"), ui->Image1->size(), devicePixelRatioF()));
    for (QLabel* riga : Label1)
        adattaAllaLarghezza(riga, didascalie_);
}

void frmAmain::showEvent(QShowEvent* e)
{
    if (!centrata_) {
        centrata_ = true;
        // Drawn again for the screen the window is on, and whenever it moves
        // to another one, whose scale or resolution may differ.
        adattaAlloSchermo();
        if (QWindow* finestra = windowHandle())
            connect(finestra, &QWindow::screenChanged, this, &frmAmain::adattaAlloSchermo);
        if (const QScreen* schermo = QGuiApplication::primaryScreen())
            move(schermo->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(e);
}

}  // namespace qt
