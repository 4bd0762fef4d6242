#include "ui/Caratteri.h"

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
