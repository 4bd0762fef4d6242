#include "ui/Risorse.h"

void caricaRisorse()
{
    // The artwork lives in a static library, so its registration must be
    // pulled in explicitly.
    Q_INIT_RESOURCE(fendrix);
}

QIcon iconaProgramma()
{
    caricaRisorse();
    return QIcon(QStringLiteral(":/fendrix/stella.png"));
}
