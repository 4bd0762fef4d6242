#include "host/interazione/GestioneErrori.h"
#include "host/Processo.h"
#include "ui/Risorse.h"
#include "ui/Schermo.h"
#include "ui/frmAmain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    host::preparaProcesso();
    if (!schermoDisponibile(argc, argv))
        return 1;
    QApplication app(argc, argv);
    schermoAperto();
    QApplication::setApplicationName(QStringLiteral("Fendrix"));
    QApplication::setWindowIcon(iconaProgramma());
    frmAmain finestra;
    finestra.show();
    return QApplication::exec();
}
