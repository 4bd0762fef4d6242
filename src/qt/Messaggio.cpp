#include "qt/Messaggio.h"

#include "qt/Ripieghi.h"
#include "qt/CursoreForzato.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace qt {

namespace {

// The icon's side in the box, in the screen's logical pixels.
constexpr int latoIcona = 32;

// The warning triangle or the error disc, drawn from shapes at `rapporto`
// times the side: as many pixels as the screen shows, so the icon stays
// sharp at any scale, where the style's own icons are 32-pixel bitmaps.
QPixmap disegnaIcona(Icona icona, qreal rapporto)
{
    const int lato = static_cast<int>(std::ceil(latoIcona * rapporto));
    QPixmap pixmap(lato, lato);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(lato / 32.0, lato / 32.0);  // drawn on a 32 by 32 grid
    if (icona == Icona::Avviso) {
        QPainterPath triangolo;
        triangolo.moveTo(16, 2.5);
        triangolo.lineTo(30.5, 28.5);
        triangolo.lineTo(1.5, 28.5);
        triangolo.closeSubpath();
        p.setPen(QPen(QColor(0x3a, 0x30, 0x00), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0xf7, 0xd0, 0x1c));
        p.drawPath(triangolo);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        QPainterPath asta;
        asta.moveTo(14.2, 10.5);
        asta.lineTo(17.8, 10.5);
        asta.lineTo(17.0, 20.5);
        asta.lineTo(15.0, 20.5);
        asta.closeSubpath();
        p.drawPath(asta);
        p.drawEllipse(QPointF(16, 24.3), 1.9, 1.9);
    } else {
        p.setPen(QPen(QColor(0x80, 0x10, 0x0c), 1.2));
        p.setBrush(QColor(0xd8, 0x26, 0x1e));
        p.drawEllipse(QPointF(16, 16), 14.4, 14.4);
        p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
        p.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
    }
    p.end();
    pixmap.setDevicePixelRatio(rapporto);
    return pixmap;
}

// The button's icon asked of the style at its size times the screen's
// ratio, so the largest of the style's pictures serves a scaled screen.
void iconaNitida(QAbstractButton* pulsante, qreal rapporto)
{
    if (pulsante == nullptr || pulsante->icon().isNull())
        return;
    QIcon nitida;
    nitida.addPixmap(pulsante->icon().pixmap(pulsante->iconSize(), rapporto));
    pulsante->setIcon(nitida);
}

}  // namespace

void mostraMessaggio(const QString& testo, Icona icona)
{
    QMessageBox box(icona == Icona::Avviso ? QMessageBox::Warning : QMessageBox::Critical,
                    QString::fromLatin1(titoloApplicazione), testo, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setWindowModality(Qt::ApplicationModal);
    // The windows' fallbacks, so a font configuration without alias rules
    // never shows the text in symbols or a mathematical face.
    // The button takes the desktop's button font, not the box's: both need them.
    box.setFont(conRipieghi(box.font()));
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setFont(conRipieghi(ok->font()));

    // The native window first, so its screen's pixel ratio is known.
    box.winId();
    const qreal rapporto = box.windowHandle() != nullptr ? box.windowHandle()->devicePixelRatio()
                                                         : box.devicePixelRatioF();
    if (auto* immagine = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"))) {
        immagine->setPixmap(disegnaIcona(icona, rapporto));
        immagine->setAccessibleName(icona == Icona::Avviso ? QStringLiteral("Avviso") : QStringLiteral("Errore"));
    }
    iconaNitida(box.button(QMessageBox::Ok), rapporto);
    if (auto* pannello = box.findChild<QWidget*>(QStringLiteral("qt_msgbox_buttonbox")))
        pannello->setAccessibleName(QStringLiteral("Pulsanti"));

    // The plain arrow over the message, even in the middle of a busy run.
    const CursoreForzato freccia(Qt::ArrowCursor);
    box.exec();
}

}  // namespace qt
