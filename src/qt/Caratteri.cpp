#include "qt/Caratteri.h"

#include <QFontMetricsF>
#include <QLabel>

namespace qt {

namespace {

constexpr qreal puntiMinimi = 7.0;
constexpr qreal passo = 0.5;

}  // namespace

void adattaAllaLarghezza(QLabel* etichetta, const QFont& voluto)
{
    const qreal larghezza = etichetta->contentsRect().width() - 2 * etichetta->margin();
    QFont font = voluto;
    for (qreal punti = voluto.pointSizeF(); punti > puntiMinimi; punti -= passo) {
        font.setPointSizeF(punti);
        if (QFontMetricsF(font, etichetta).horizontalAdvance(etichetta->text()) <= larghezza) {
            etichetta->setFont(font);
            return;
        }
    }
    font.setPointSizeF(puntiMinimi);
    etichetta->setFont(font);
}

QPalette tavolozzaChiara()
{
    const QColor bianco(Qt::white);
    const QColor testo(0x20, 0x20, 0x20);
    const QColor grigio(0x5f, 0x5f, 0x5f);  // greyed, still 6:1 against the box
    QPalette p(QColor(0xf0, 0xf0, 0xf0), bianco);
    for (const auto gruppo : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool spento = gruppo == QPalette::Disabled;
        p.setColor(gruppo, QPalette::Window, bianco);
        p.setColor(gruppo, QPalette::Base, spento ? QColor(0xf4, 0xf4, 0xf4) : bianco);
        p.setColor(gruppo, QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf5));
        p.setColor(gruppo, QPalette::Button, bianco);
        for (const auto ruolo : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(gruppo, ruolo, spento ? grigio : testo);
        p.setColor(gruppo, QPalette::PlaceholderText, grigio);
        // A selection where the focus is not (the other list, or an
        // inactive window) shows grey with dark text, the focused one blue.
        const bool piena = gruppo == QPalette::Active;
        p.setColor(gruppo, QPalette::Highlight,
                   piena ? QColor(0x30, 0x8c, 0xc6) : spento ? QColor(0xd0, 0xd0, 0xd0) : QColor(0xd9, 0xd9, 0xd9));
        p.setColor(gruppo, QPalette::HighlightedText, piena ? bianco : testo);
        p.setColor(gruppo, QPalette::Link, QColor(0x00, 0x55, 0xaa));
    }
    return p;
}

}  // namespace qt
