#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace qt {

// Registers the embedded artwork (the banner, the red folder, the star);
// the windows call it before they use any of it. Safe to call again.
void caricaRisorse();

// The embedded picture `nome` (":/fendrix/banner.svg") drawn from its vector
// source at `dimensione` for a screen of pixel ratio `rapporto`: as many
// pixels as the screen shows, so it stays sharp at any scale.
QPixmap disegno(const QString& nome, QSize dimensione, qreal rapporto);

// The same picture as an icon, drawn at `lato` and at 1.5, 2 and 3 times it,
// so that the sharpest one serves each scale.
QIcon iconaDisegnata(const QString& nome, int lato);

// The program's icon: a star, half orange and half white.
QIcon iconaProgramma();

}  // namespace qt
