#include "qt/GestioneErrori.h"
#include "sistema/Processo.h"
#include "qt/Disegni.h"
#include "qt/Schermo.h"
#include "qt/frmAmain.h"

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
