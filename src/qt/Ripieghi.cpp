#include "qt/Ripieghi.h"

#include <QStringList>

namespace qt {

namespace {

// Names that fontconfig resolves through its alias rules, not faces.
bool generica(const QString& famiglia)
{
    for (const char* nome : {"Sans Serif", "Sans", "sans-serif", "SansSerif"})
        if (famiglia.compare(QLatin1String(nome), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QStringList famiglie(const QString& famiglia)
{
    QStringList f;
    if (!generica(famiglia))
        f << famiglia;
    if (famiglia.startsWith(QLatin1String("Segoe UI")))
        f << QStringLiteral("Segoe UI") << QStringLiteral("Open Sans") << QStringLiteral("Noto Sans");
    else if (famiglia == QLatin1String("Verdana"))
        f << QStringLiteral("DejaVu Sans") << QStringLiteral("Bitstream Vera Sans");
    else if (famiglia == QLatin1String("Trebuchet MS"))
        f << QStringLiteral("Fira Sans") << QStringLiteral("Ubuntu") << QStringLiteral("Open Sans");
    f << QStringLiteral("DejaVu Sans") << QStringLiteral("Bitstream Vera Sans") << QStringLiteral("Liberation Sans")
      << QStringLiteral("Nimbus Sans") << QStringLiteral("Nimbus Sans L") << QStringLiteral("FreeSans")
      << QStringLiteral("Noto Sans") << QStringLiteral("Sans Serif");
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

QFont conRipieghi(QFont font)
{
    font.setFamilies(famiglie(font.family()));
    return font;
}

}  // namespace qt
