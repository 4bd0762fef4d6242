#include "qt/Disegni.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

// The artwork lives in a static library, so its registration must be
// pulled in explicitly, from outside any namespace.
static void registraRisorse()
{
    Q_INIT_RESOURCE(fendrix);
}

namespace qt {

void caricaRisorse()
{
    registraRisorse();
}

QPixmap disegno(const QString& nome, QSize dimensione, qreal rapporto)
{
    caricaRisorse();
    QSvgRenderer sorgente(nome);
    QPixmap pixmap(QSize(static_cast<int>(std::ceil(dimensione.width() * rapporto)),
                         static_cast<int>(std::ceil(dimensione.height() * rapporto))));
    pixmap.fill(Qt::transparent);
    QPainter pittore(&pixmap);
    pittore.setRenderHint(QPainter::Antialiasing);
    sorgente.render(&pittore);
    pittore.end();
    pixmap.setDevicePixelRatio(rapporto);
    return pixmap;
}

QIcon iconaDisegnata(const QString& nome, int lato)
{
    QIcon icona;
    for (const int volte2 : {2, 3, 4, 6})  // 1, 1.5, 2 and 3 times
        icona.addPixmap(disegno(nome, QSize(lato * volte2 / 2, lato * volte2 / 2), 1.0));
    return icona;
}

QIcon iconaProgramma()
{
    QIcon icona;
    for (const int lato : {16, 24, 32, 48, 64, 128, 256})
        icona.addPixmap(disegno(QStringLiteral(":/fendrix/stella.svg"), QSize(lato, lato), 1.0));
    return icona;
}

}  // namespace qt
