#pragma once

#include <QIcon>

// Registers the embedded artwork (the banner, the red folder, the star);
// the windows call it before they use any of it. Safe to call again.
void caricaRisorse();

// The program's icon: a star, half orange and half white.
QIcon iconaProgramma();
