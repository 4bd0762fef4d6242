#include "ui/Caratteri.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QStringList>

namespace {

QStringList famiglie(const QString& famiglia)
{
    QStringList f{famiglia};
    if (famiglia.startsWith(QLatin1String("Segoe UI")))
        f << QStringLiteral("Segoe UI") << QStringLiteral("Open Sans") << QStringLiteral("Noto Sans")
          << QStringLiteral("DejaVu Sans");
    else if (famiglia == QLatin1String("Verdana"))
        f << QStringLiteral("DejaVu Sans") << QStringLiteral("Bitstream Vera Sans");
    else if (famiglia == QLatin1String("Trebuchet MS"))
        f << QStringLiteral("Fira Sans") << QStringLiteral("Ubuntu") << QStringLiteral("Open Sans")
          << QStringLiteral("DejaVu Sans");
    f << QStringLiteral("DejaVu Sans") << QStringLiteral("Sans Serif");
    f.removeDuplicates();
    return f;
}

constexpr qreal puntiMinimi = 7.0;
constexpr qreal passo = 0.5;

}  // namespace

QFont carattere(const QString& famiglia, qreal punti, int peso, bool corsivo)
{
    QFont font;
    font.setFamilies(famiglie(famiglia));
    font.setPointSizeF(punti);
    font.setWeight(static_cast<QFont::Weight>(peso));
    font.setItalic(corsivo);
    return font;
}

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
        p.setColor(gruppo, QPalette::Highlight, spento ? QColor(0xd0, 0xd0, 0xd0) : QColor(0x30, 0x8c, 0xc6));
        p.setColor(gruppo, QPalette::HighlightedText, spento ? testo : bianco);
        p.setColor(gruppo, QPalette::Link, QColor(0x00, 0x55, 0xaa));
    }
    return p;
}
